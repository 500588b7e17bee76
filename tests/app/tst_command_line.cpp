#include "app/CommandLine.h"
#include "common/TestEnv.h"
#include "platform/Keys.h"
#include "platform/Prefs.h"
#include "platform/SingleInstance.h"
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The program's options: answered before any display, database or running instance is touched.
class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }

    void parse_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("textHas");
        using A = CommandLine::Action;
        const auto row = [](const char *name, QStringList args, A action, const char *has) {
            args.prepend(QStringLiteral("/usr/bin/mivo"));
            QTest::newRow(name) << args << int(action) << QString::fromUtf8(has);
        };
        row("nothing starts the app", {}, A::Run, "");
        row("--help", {QStringLiteral("--help")}, A::Print, "Usage: mivo [options]");
        row("-h", {QStringLiteral("-h")}, A::Print, "--version");
        row("--version", {QStringLiteral("--version")}, A::Print, "mivo 0.1");
        row("-v", {QStringLiteral("-v")}, A::Print, "mivo 0.1");
        row("help wins over a Qt option",
            {QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("-h")}, A::Print, "Usage:");
        row("Qt's own options pass",
            {QStringLiteral("-style"), QStringLiteral("Fusion"), QStringLiteral("--reverse")}, A::Run, "");
        row("browser window with its arguments",
            {QStringLiteral("--browser-window"), QStringLiteral("/run/x"), QStringLiteral("en"),
             QStringLiteral("dark"), QStringLiteral("1")},
            A::BrowserWindow, "");
        row("unknown long option", {QStringLiteral("--frobnicate")}, A::Refuse,
            "Unknown option 'frobnicate'");
        row("unknown short option", {QStringLiteral("-x")}, A::Refuse, "Unknown option 'x'");
        row("stray argument", {QStringLiteral("notes.txt")}, A::Refuse, "Unexpected argument 'notes.txt'");
    }
    void parse() {
        QFETCH(QStringList, args);
        QFETCH(int, action);
        QFETCH(QString, textHas);
        const CommandLine c = CommandLine::parse(args);
        QCOMPARE(int(c.action), action);
        QVERIFY2(c.text.contains(textHas), qPrintable(c.text));
        if (c.action == CommandLine::Action::Refuse) QVERIFY(c.text.contains(QStringLiteral("mivo --help")));
    }

    // The built program with no display at all (QApplication would abort), while another process
    // owns the data: it prints, exits with the right code, creates no database and asks the owner
    // nothing.
    void programAnswersWithoutDisplayOrData_data() {
        QTest::addColumn<QString>("arg");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("--help") << QStringLiteral("--help") << 0 << QStringLiteral("-v, --version")
                                << QString();
        QTest::newRow("-h") << QStringLiteral("-h") << 0 << QStringLiteral("-h, --help") << QString();
        QTest::newRow("--version") << QStringLiteral("--version") << 0 << QStringLiteral("mivo 0.1\n")
                                   << QString();
        QTest::newRow("-v") << QStringLiteral("-v") << 0 << QStringLiteral("mivo 0.1\n") << QString();
        QTest::newRow("unknown") << QStringLiteral("--nope") << 2 << QString()
                                 << QStringLiteral("Unknown option 'nope'");
    }
    void programAnswersWithoutDisplayOrData() {
        QFETCH(QString, arg);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir data;
        QVERIFY(data.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        const QString database = Prefs::defaultPath();
        QVERIFY(database.startsWith(data.path()));

        SingleInstance owner(QString::fromLatin1(kBundleId), database);
        QCOMPARE(owner.claim(), SingleInstance::Claim::Owner);
        int asked = 0;
        connect(&owner, &SingleInstance::activationRequested, this, [&asked] { ++asked; });

        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(MIVO_BIN), {arg});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        const QString stdOut = QString::fromLocal8Bit(p.readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(p.exitCode() == exitCode,
                 qPrintable(QStringLiteral("%1: %2").arg(p.exitCode()).arg(stdErr)));
        if (out.isEmpty())
            QVERIFY(stdOut.isEmpty());
        else
            QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
        if (err.isEmpty())
            QVERIFY2(stdErr.isEmpty(), qPrintable(stdErr));
        else
            QVERIFY2(stdErr.contains(err), qPrintable(stdErr));

        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(asked, 0);
        QVERIFY(!QFile::exists(database));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_command_line.moc"
