#include "app/AppDelegate.h"
#include "common/Files.h"
#include "common/Instrumented.h"
#include "common/TestEnv.h"
#include "platform/Keys.h"
#include "platform/Prefs.h"
#include "platform/SingleInstance.h"
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
const QString kId = QString::fromLatin1(kBundleId);

QString dataPath() {
    return Prefs::defaultPath();
}

// The real app, started with the test's environment and, where given, another runtime directory
// (an empty string: none at all, as from a shell without a session).
struct App {
    QProcess p;
    explicit App(const std::optional<QString> &runtimeDir = std::nullopt) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (runtimeDir) {
            if (runtimeDir->isEmpty())
                env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
            else
                env.insert(QStringLiteral("XDG_RUNTIME_DIR"), *runtimeDir);
        }
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.start(QStringLiteral(MIVO_BIN), {});
    }
    ~App() {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
    // Up: it owns the data (its pid is in the lock beside the database).
    bool waitUntilOwner(int ms = 15000) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < scaledWaitMs(ms)) {
            QFile f(dataPath() + QStringLiteral(".lock"));
            if (f.open(QIODevice::ReadOnly) && f.readLine().trimmed().toLongLong() == p.processId())
                return true;
            if (p.state() == QProcess::NotRunning) return false;
            QTest::qWait(50);
        }
        return false;
    }
    // Waits with the event loop running: the test process may be the owner that must answer.
    bool finish(int ms = 15000) {
        QElapsedTimer t;
        t.start();
        while (p.state() != QProcess::NotRunning && t.elapsed() < scaledWaitMs(ms))
            QTest::qWait(20);
        return p.state() == QProcess::NotRunning && p.exitStatus() == QProcess::NormalExit;
    }
};

void removeData() {
    QDir(QFileInfo(dataPath()).absolutePath()).removeRecursively();
}
} // namespace

class TstSingleInstance : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }
private slots:
    void cleanup() { removeData(); }
    void secondLaunchRaisesFirstAndWritesNothing();
    void ownerOnAFullDiskIsStillFound();
    void oneOwnerPerDatabaseWhateverTheRuntimeDirectory();
    void lockNoLiveProcessHoldsIsTakenOver_data();
    void lockNoLiveProcessHoldsIsTakenOver();
    void unusableLockSaysWhyAndFails();
    void ownerThatDoesNotAnswerIsReportedNotSilent();
    void appStartsOverBadLocksAndQuitsCleanly_data();
    void appStartsOverBadLocksAndQuitsCleanly();
    void finalSaveThatFailsEndsWithAFailureCode();
    void finalSaveUnderAnotherProgramsLockIsKeptForTheNextStart();
    void racingLaunchesLeaveExactlyOne();
    void readOnlyFolderWithoutALockFileKeepsOneOwner();
    void readOnlyDatabaseFileGetsNothingBesideIt();
};

// The test process plays the running instance; the real app binary is the second launch.
void TstSingleInstance::secondLaunchRaisesFirstAndWritesNothing() {
    SingleInstance first(kId, dataPath());
    QCOMPARE(first.claim(), SingleInstance::Claim::Owner);
    QSignalSpy raised(&first, &SingleInstance::activationRequested);

    QElapsedTimer t;
    t.start();
    App second;
    QVERIFY(second.finish());
    QCOMPARE(second.p.exitCode(), 0);
    QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    QTRY_COMPARE(raised.count(), 1);
    QVERIFY2(!QFile::exists(dataPath()), "the second launch created the preferences database");
}

// On a full disk the owner cannot write its details into the lock file; a later launch must still
// find it and bring its window forward rather than report it as not answering.
void TstSingleInstance::ownerOnAFullDiskIsStillFound() {
    QVERIFY(QDir().mkpath(QFileInfo(dataPath()).absolutePath()));
    SingleInstance first(kId, dataPath());
    QCOMPARE(withFileSizeLimit(0, [&] { return first.claim(); }), SingleInstance::Claim::Owner);
    QCOMPARE(QFileInfo(dataPath() + QStringLiteral(".lock")).size(), 0);
    QSignalSpy raised(&first, &SingleInstance::activationRequested);
    App second;
    QVERIFY(second.finish());
    QVERIFY2(second.p.exitCode() == 0, second.p.readAllStandardError().constData());
    QTRY_COMPARE(raised.count(), 1);
}

// Two launches that differ only in their runtime directory (or have none) share one database: the
// later one must find the first, not run beside it.
void TstSingleInstance::oneOwnerPerDatabaseWhateverTheRuntimeDirectory() {
    QTemporaryDir runA, runB;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runA.path().toUtf8());
    SingleInstance first(kId, dataPath());
    QCOMPARE(first.claim(), SingleInstance::Claim::Owner);
    QVERIFY(first.socketPath().startsWith(runA.path()));
    QSignalSpy raised(&first, &SingleInstance::activationRequested);

    qputenv("XDG_RUNTIME_DIR", runB.path().toUtf8());
    SingleInstance second(kId, dataPath());
    QCOMPARE(second.claim(), SingleInstance::Claim::Running);
    QCOMPARE(second.ownerPid(), qint64(::getpid()));
    // Another database is another owner, even in the same runtime directory.
    QTemporaryDir otherData;
    SingleInstance elsewhere(kId, otherData.filePath(QStringLiteral("mivo.sqlite3")));
    QCOMPARE(elsewhere.claim(), SingleInstance::Claim::Owner);
    QVERIFY(elsewhere.socketPath() != first.socketPath());
    qputenv("XDG_RUNTIME_DIR", saved);

    for (const std::optional<QString> &dir :
         {std::optional<QString>(runB.path()), std::optional<QString>(QString())}) {
        App app(dir);
        QVERIFY(app.finish());
        QCOMPARE(app.p.exitCode(), 0);
    }
    QTRY_COMPARE(raised.count(), 2); // both found the first through the lock beside the data
    QVERIFY(!QFile::exists(dataPath()));
}

void TstSingleInstance::lockNoLiveProcessHoldsIsTakenOver_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty") << "empty";
    QTest::newRow("garbage") << "garbage";
    QTest::newRow("huge") << "huge";
    QTest::newRow("another host") << "host";
    QTest::newRow("dead pid of this host") << "dead";
    QTest::newRow("live pid that does not hold it") << "live";
    QTest::newRow("empty directory") << "dir";
    QTest::newRow("dangling link") << "dangling";
    QTest::newRow("link to a file") << "link";
    QTest::newRow("not ours to open") << "mode000";
}

// Whatever a lock file contains, only a live holder counts.
void TstSingleInstance::lockNoLiveProcessHoldsIsTakenOver() {
    QFETCH(QString, kind);
    QTemporaryDir dir, outside;
    const QString db = dir.filePath(QStringLiteral("mivo.sqlite3"));
    const QString lock = db + QStringLiteral(".lock");
    const QString target = outside.filePath(QStringLiteral("someone-elses-file"));
    const auto write = putFile;
    if (kind == "empty") write(lock, {});
    if (kind == "garbage") write(lock, QByteArray("\x00\xff\xfe not a lock \n\n\n\n", 19));
    if (kind == "huge") write(lock, QByteArray(1 << 20, 'x'));
    if (kind == "host") write(lock, "4242\nsome-other-machine\n/run/user/1000/com.mivo.app-abc\n");
    if (kind == "dead") write(lock, "999999\n" + QSysInfo::machineHostName().toUtf8() + "\n\n");
    if (kind == "live") write(lock, QByteArray::number(qint64(::getppid())) + "\nhost\n\n");
    if (kind == "dir") QVERIFY(QDir().mkpath(lock));
    if (kind == "mode000") {
        write(lock, "1\nhost\n\n");
        QVERIFY(QFile::setPermissions(lock, QFileDevice::Permissions()));
    }
    if (kind == "dangling") QVERIFY(QFile::link(outside.filePath(QStringLiteral("gone")), lock));
    if (kind == "link") {
        write(target, "keep me");
        QVERIFY(QFile::link(target, lock));
    }
    SingleInstance owner(kId, db);
    QCOMPARE(owner.claim(), SingleInstance::Claim::Owner);
    SingleInstance later(kId, db);
    QCOMPARE(later.claim(), SingleInstance::Claim::Running);
    QCOMPARE(later.ownerPid(), qint64(::getpid()));
    if (kind == "link") QCOMPARE(fileBytes(target), QByteArray("keep me")); // a link is replaced, never written through
}

void TstSingleInstance::unusableLockSaysWhyAndFails() {
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("mivo.sqlite3"));
    QVERIFY(QDir().mkpath(db + QStringLiteral(".lock/someone's files")));
    SingleInstance si(kId, db);
    QCOMPARE(si.claim(), SingleInstance::Claim::Failed);
    QVERIFY2(si.errorString().contains(db + QStringLiteral(".lock")), qPrintable(si.errorString()));
    QVERIFY(QDir(db + QStringLiteral(".lock/someone's files")).exists()); // nothing of theirs removed

    // The app itself: an alert and a failure code, no window, no database.
    QVERIFY(QDir().mkpath(dataPath() + QStringLiteral(".lock/x")));
    TestDialogs dialogs;
    {
        AppDelegate app;
        QVERIFY(!app.launch());
        QCOMPARE(app.exitCode(), AppDelegate::kExitCannotStart);
        QVERIFY(!app.mainWin());
    }
    QCOMPARE(dialogs.alertsShown.size(), 1);
    QVERIFY2(dialogs.alertsShown[0].startsWith(
                 "Mivo cannot start: the lock that guards your data cannot be taken.|"),
             qPrintable(dialogs.alertsShown[0]));
    QVERIFY(dialogs.alertsShown[0].contains(dataPath() + QStringLiteral(".lock")));
    QVERIFY(!QFile::exists(dataPath()));
}

// Held by something that never answers (a hung instance, another program): said, not swallowed, in
// the language the user chose.
void TstSingleInstance::ownerThatDoesNotAnswerIsReportedNotSilent() {
    {
        Prefs p(dataPath());
        p.setString(QString::fromLatin1(kLanguage), QStringLiteral("de"));
    }
    const QByteArray lock = QFile::encodeName(dataPath() + QStringLiteral(".lock"));
    const int fd = ::open(lock.constData(), O_RDWR | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    TestDialogs dialogs;
    {
        AppDelegate app;
        QVERIFY(!app.launch());
        QCOMPARE(app.exitCode(), AppDelegate::kExitCannotStart);
    }
    ::close(fd);
    QCOMPARE(dialogs.alertsShown.size(), 1);
    QVERIFY2(dialogs.alertsShown[0].startsWith("Mivo läuft bereits mit deinen Daten, antwortet aber nicht.|"),
             qPrintable(dialogs.alertsShown[0]));
}

void TstSingleInstance::appStartsOverBadLocksAndQuitsCleanly_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("no lock") << "none";
    QTest::newRow("garbage lock beside the data") << "garbage";
    QTest::newRow("old runtime lock: garbage") << "runtime-garbage";
    QTest::newRow("old runtime lock: directory") << "runtime-dir";
    QTest::newRow("runtime directory too long for a socket") << "long-runtime";
}

// The app starts whatever lock files it finds, and a clean quit leaves the main database file holding
// the session's last write, with no -wal or -shm beside it.
void TstSingleInstance::appStartsOverBadLocksAndQuitsCleanly() {
    QFETCH(QString, kind);
    QTemporaryDir run;
    std::optional<QString> runtime;
    QVERIFY(QDir().mkpath(QFileInfo(dataPath()).absolutePath()));
    if (kind == "garbage") putFile(dataPath() + QStringLiteral(".lock"), "garbage\x01\x02");
    if (kind.startsWith("runtime")) {
        runtime = run.path();
        const QString old = run.filePath(kId + QStringLiteral(".lock"));
        if (kind == "runtime-dir")
            QVERIFY(QDir().mkpath(old + QStringLiteral("/inside")));
        else
            putFile(old, "12\nother-host\nxyz");
    }
    if (kind == "long-runtime") {
        runtime = run.filePath(QString(120, QLatin1Char('r')));
        QVERIFY(QDir().mkpath(*runtime));
        QFile::setPermissions(*runtime,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    App app(runtime);
    QVERIFY2(app.waitUntilOwner(), app.p.readAllStandardError().constData());
    QTest::qWait(1100); // the timer's state changes by then: the quit has something to write
    // Seconds since 2001, as the timer stores them. The state written is the quit's own: stamped
    // after the terminate was sent, however long the quit then takes on a loaded machine.
    const auto since2001 = [] { return QDateTime::currentMSecsSinceEpoch() / 1000.0 - 978307200.0; };
    const double terminated = since2001();
    app.p.terminate();
    QVERIFY(app.finish());
    QVERIFY2(app.p.exitCode() == 0, app.p.readAllStandardError().constData());
    QVERIFY(!QFile::exists(dataPath() + QStringLiteral("-wal")));
    QVERIFY(!QFile::exists(dataPath() + QStringLiteral("-shm")));
    // The timer's state written at quit is in the main file alone.
    sqlite3 *db = nullptr;
    QTemporaryDir copyDir;
    const QString copy = copyDir.filePath(QStringLiteral("copy.sqlite3"));
    QVERIFY(QFile::copy(dataPath(), copy));
    QCOMPARE(sqlite3_open_v2(copy.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT value FROM prefs WHERE key = 'savedTimestamp'", -1, &st, nullptr);
    QCOMPARE(sqlite3_step(st), SQLITE_ROW);
    const double stamp = sqlite3_column_double(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    const double now = since2001();
    QVERIFY2(stamp > terminated - 0.5 && stamp < now + 0.5,
             qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(stamp, 0, 'f', 3).arg(terminated, 0, 'f', 3).arg(now, 0, 'f', 3)));
}

// At quit on a disk that takes no more bytes, the user's last state is not on disk: said on stderr
// and in the exit code.
void TstSingleInstance::finalSaveThatFailsEndsWithAFailureCode() {
    const QString prlimit = QStandardPaths::findExecutable(QStringLiteral("prlimit"));
    if (prlimit.isEmpty()) QSKIP("prlimit is not installed");
    App app;
    QVERIFY(app.waitUntilOwner());
    QTest::qWait(1100);
    // No file of the process may grow by a byte more, as on a full disk.
    QCOMPARE(QProcess::execute(prlimit, {QStringLiteral("--pid"), QString::number(app.p.processId()),
                                         QStringLiteral("--fsize=1")}),
             0);
    app.p.terminate();
    QVERIFY(app.finish());
    const QByteArray err = app.p.readAllStandardError();
    QCOMPARE(app.p.exitCode(), AppDelegate::kExitSaveFailed);
    QVERIFY2(err.contains("mivo: your last changes could not be saved to " + QFile::encodeName(dataPath())),
             err.constData());
}

// SIGTERM while another program holds the database: the quit does not lose the timer's last state
// (it is kept beside the database), ends normally and says where; the next start writes it.
void TstSingleInstance::finalSaveUnderAnotherProgramsLockIsKeptForTheNextStart() {
    const QString unsaved = dataPath() + QStringLiteral(".unsaved");
    {
        App app;
        QVERIFY(app.waitUntilOwner());
        QTest::qWait(1100);
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(dataPath().toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        app.p.terminate();
        QVERIFY(app.finish(30000));
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        const QByteArray err = app.p.readAllStandardError();
        QVERIFY2(app.p.exitCode() == 0, err.constData());
        QVERIFY2(err.contains("they are kept in " + QFile::encodeName(unsaved)), err.constData());
        // Nothing of them is in the database's -wal file, and nothing says so.
        QVERIFY2(!err.contains("changes stay in the database's -wal"), err.constData());
        QVERIFY(QFile::exists(unsaved));
    }
    App again;
    QVERIFY(again.waitUntilOwner());
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(unsaved), scaledWaitMs(10000));
    again.p.terminate();
    QVERIFY(again.finish());
    QVERIFY2(again.p.exitCode() == 0, again.p.readAllStandardError().constData());
}

// Launched five times at once (a double click, autostart and a shell): one runs, the others find it,
// ask it to come forward and leave quietly, even while it is still starting.
void TstSingleInstance::racingLaunchesLeaveExactlyOne() {
    std::vector<std::unique_ptr<App>> apps;
    for (int i = 0; i < 5; ++i)
        apps.push_back(std::make_unique<App>());
    QElapsedTimer t;
    t.start();
    auto running = [&] {
        return int(std::count_if(apps.begin(), apps.end(),
                                 [](auto &a) { return a->p.state() != QProcess::NotRunning; }));
    };
    while (running() > 1 && t.elapsed() < scaledWaitMs(20000))
        QTest::qWait(50);
    QCOMPARE(running(), 1);
    for (auto &a : apps) {
        if (a->p.state() != QProcess::NotRunning) {
            QVERIFY(a->waitUntilOwner());
            a->p.terminate();
            QVERIFY(a->finish());
        }
        QVERIFY2(a->p.exitCode() == 0, a->p.readAllStandardError().constData());
    }
}

// A data folder the user may not write, with no lock file in it: the first launch owns the data
// through a lock in the runtime directory, and a second launch finds it there instead of running
// beside it.
void TstSingleInstance::readOnlyFolderWithoutALockFileKeepsOneOwner() {
    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    {
        WithoutFileRights user;
        if (QFile probe(dir.filePath("probe")); probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("running with rights that ignore folder permissions");
        }
        SingleInstance first(kId, path);
        QCOMPARE(first.claim(), SingleInstance::Claim::Owner);
        QVERIFY(!first.socketPath().isEmpty());
        SingleInstance second(kId, path);
        QCOMPARE(second.claim(), SingleInstance::Claim::Running);
        QCOMPARE(second.ownerPid(), qint64(::getpid()));
        QCOMPARE(second.socketPath(), first.socketPath());
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// A database file the user may not write, in a folder they may: shown read-only, one owner, and
// nothing is made beside it (no lock file, no -wal or -shm).
void TstSingleInstance::readOnlyDatabaseFileGetsNothingBesideIt() {
    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    const QByteArray big(200 * 1024, 'r');
    {
        Prefs p(path);
        p.setString("appTheme", "dark");
        p.setData("doc", big);
        QVERIFY(p.close());
    }
    QFile::setPermissions(path, QFile::ReadOwner);
    {
        WithoutFileRights user;
        if (QFile probe(path); probe.open(QIODevice::ReadWrite)) {
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
            QSKIP("running with rights that ignore file permissions");
        }
        SingleInstance first(kId, path);
        QCOMPARE(first.claim(), SingleInstance::Claim::Owner);
        SingleInstance second(kId, path);
        QCOMPARE(second.claim(), SingleInstance::Claim::Running);
        Prefs p(path);
        QCOMPARE(p.access(), Prefs::Access::ReadOnly);
        QCOMPARE(p.string("appTheme").value_or(""), QStringLiteral("dark"));
        QCOMPARE(p.data("doc"), big);
        QVERIFY(p.close());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"mivo.sqlite3"}));
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

QTEST_MAIN(TstSingleInstance)
#include "tst_single_instance.moc"
