#include "common/TestEnv.h"
#include "exercises/ExerciseFormat.h"
#include "exercises/ExerciseRecord.h"
#include "exercises/StepPicture.h"
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

// The page's texts, colours and file names, the import size limit and the history record's format.
class TstExerciseFiles : public QObject {
    Q_OBJECT
private slots:
    void durStr_data() {
        QTest::addColumn<qint64>("secs");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << "0 sec";
        QTest::newRow("60") << qint64(60) << "1 min";
        QTest::newRow("61") << qint64(61) << "1 min 1 s";
        QTest::newRow("75") << qint64(75) << "1 min 15 s";
        QTest::newRow("huge") << qint64(9223372036854775807LL) << "153722867280912930 min 7 s";
    }
    void durStr() {
        QFETCH(qint64, secs);
        QFETCH(QString, text);
        QCOMPARE(ExerciseFormat::durStr(secs), text);
    }

    void hexRgb_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rgb"); // -1: none
        QTest::newRow("plain") << "FF8800" << int(0xFF8800);
        QTest::newRow("hash and case") << "#4488ff" << int(0x4488FF);
        QTest::newRow("punctuation both ends") << "(#22C970)!" << int(0x22C970);
        QTest::newRow("0x prefix") << "0x123456" << int(0x123456);
        QTest::newRow("stops at non-hex") << "12zz" << int(0x12);
        QTest::newRow("higher bits ignored") << "1FF8800" << int(0xFF8800);
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("zz") << "zz" << -1;
        QTest::newRow("only punctuation") << "#!" << -1;
    }
    void hexRgb() {
        QFETCH(QString, text);
        QFETCH(int, rgb);
        const auto got = ExerciseFormat::hexRgb(text);
        QCOMPARE(got ? int(*got & 0xFFFFFF) : -1, rgb);
    }

    void exportFileName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("file");
        QTest::newRow("ampersand") << "Neck & Shoulders"
                                   << "exercise-neck--shoulders.json";
        QTest::newRow("digits") << "4-7-8 Breathing"
                                << "exercise-4-7-8-breathing.json";
        QTest::newRow("punctuation only") << "?!"
                                          << "exercise-ID-1.json";
        QTest::newRow("cyrillic stays") << "Шия та плечі"
                                        << "exercise-шия-та-плечі.json";
        QTest::newRow("slashes dropped") << "../../etc/passwd"
                                         << "exercise-etcpasswd.json";
    }
    void exportFileName() {
        QFETCH(QString, name);
        QFETCH(QString, file);
        QCOMPARE(ExerciseFormat::exportFileName(name, QStringLiteral("ID-1")), file);
    }

    void longNamesFitTheFileSystem() {
        for (const QString &unit : {QStringLiteral("a"), QStringLiteral("ж"), QStringLiteral("𝒜")}) {
            const QString name = unit.repeated(400);
            const QString file = ExerciseFormat::exportFileName(name, QStringLiteral("x"));
            QVERIFY2(file.toUtf8().size() <= 255, qPrintable(QString::number(file.toUtf8().size())));
            QVERIFY(file.endsWith(QLatin1String(".json")));
            QVERIFY(file.toUtf8().size() > 240);
            QCOMPARE(QString::fromUtf8(file.toUtf8()), file); // no broken character
            QTemporaryDir dir;
            QFile f(dir.filePath(file));
            QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(f.errorString()));
        }
    }

    void importFilesAboveTheLimitAreRefused() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.json"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(ImportFile::kMaxBytes + 1)); // sparse: nothing of it is read
        f.close();
        QCOMPARE(int(ExerciseFile::read(path).error), int(ExerciseFile::ReadError::tooLarge));
        QVERIFY(f.resize(1001));
        QCOMPARE(int(ExerciseFile::read(path, 1000).error), int(ExerciseFile::ReadError::tooLarge));
        QVERIFY(f.resize(1000));
        QCOMPARE(int(ExerciseFile::read(path, 1000).error), int(ExerciseFile::ReadError::none));
        QCOMPARE(int(ExerciseFile::read(dir.filePath("missing.json")).error),
                 int(ExerciseFile::ReadError::unreadable));
    }

    void historyRecordGolden() {
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(0, 0, 30)));
        ExerciseRecord r =
            ExerciseRecord::make(QStringLiteral("Box \"Breathing\""), QStringLiteral("🟦"), 32);
        QCOMPARE(r.id.size(), 36);
        QCOMPARE(r.id, r.id.toUpper());
        r.id = QStringLiteral("00000000-0000-0000-0000-000000000001");
        const QByteArray golden =
            "[{\"id\":\"00000000-0000-0000-0000-000000000001\",\"name\":\"Box \\\"Breathing\\\"\","
            "\"emoji\":\"🟦\",\"day\":1,\"month\":3,\"year\":2026,\"durationSecs\":32}]";
        QCOMPARE(ExerciseHistoryJson::encode({r}), golden);
        QCOMPARE(ExerciseHistoryJson::decode(golden)->front(), r);
        QVERIFY(ExerciseHistoryJson::decode("[]")->empty());
        QVERIFY(!ExerciseHistoryJson::decode(QByteArray(golden).replace(",\"durationSecs\":32", "")));
        QVERIFY(!ExerciseHistoryJson::decode(QByteArray(golden).replace("\"day\":1", "\"day\":\"1\"")));
        QVERIFY(ExerciseHistoryJson::decode(QByteArray(golden).replace("}]", ",\"extra\":null}]")));
    }

    // A step's picture is a file the user picked: a named pipe in its place once held the runner's
    // window (the header check) and then a pool thread for good.
    void stepPicturesAreReadOnlyFromRegularFiles() {
        QTemporaryDir dir;
        const QString png = dir.filePath(QStringLiteral("p.png"));
        QImage img(40, 20, QImage::Format_RGB32);
        img.fill(Qt::red);
        QVERIFY(img.save(png));
        QVERIFY(StepPicture::looksLikePicture(png));
        QCOMPARE(StepPicture::read(png, QSize(100, 100)).size(), QSize(40, 20));
        const QString pipe = dir.filePath(QStringLiteral("pipe.png"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        const QString link = dir.filePath(QStringLiteral("link.png"));
        QVERIFY(QFile::link(pipe, link));
        for (const QString &path : {pipe, link, QStringLiteral("/dev/zero"), dir.path()}) {
            QVERIFY2(!StepPicture::looksLikePicture(path), qPrintable(path));
            QVERIFY(StepPicture::read(path, QSize(100, 100)).isNull());
        }
    }
};

QTEST_GUILESS_MAIN(TstExerciseFiles)
#include "tst_exercise_files.moc"
