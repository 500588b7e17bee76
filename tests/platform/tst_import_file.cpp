// What an import may read: regular files only, within one bound, read on a worker and handed back on
// the caller's thread.
#include "common/Files.h"
#include "notes/NoteListImport.h"
#include "platform/Background.h"
#include "platform/ImportFile.h"
#include "pomodoro/TaskListFile.h"
#include <QLocalServer>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

class TestImportFile : public QObject {
    Q_OBJECT

    static QString fifo(const QTemporaryDir &dir, const char *name) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 ? path : QString();
    }

private slots:
    // Each of these froze the window for good (a pipe with no writer) or read without end (a device).
    void whatIsNotARegularFileIsRefusedAtOnce() {
        QTemporaryDir dir;
        const QString pipe = fifo(dir, "pipe.json");
        QVERIFY(!pipe.isEmpty());
        const QString linkToPipe = dir.filePath("link.json");
        QVERIFY(QFile::link(pipe, linkToPipe));
        QLocalServer socket;
        QVERIFY(socket.listen(dir.filePath("socket.json")));
        // /proc/self/mem says it is a regular file of no size, and no read of it succeeds.
        for (const QString &path :
             {pipe, linkToPipe, QStringLiteral("/dev/zero"), QStringLiteral("/dev/null"), dir.path(),
              socket.fullServerName(), QStringLiteral("/proc/self/mem")}) {
            const ImportFile::Result r = ImportFile::read(path);
            QVERIFY2(r.error == ImportFile::Error::notAFile, qPrintable(path));
            QVERIFY(r.bytes.isEmpty());
        }
        QVERIFY(!ImportFile::message(ImportFile::Error::notAFile).isEmpty());
    }

    void regularFilesAndLinksToThemAreReadWhole() {
        QTemporaryDir dir;
        const QByteArray bytes = QByteArray("[\"x\"]\n").repeated(50000);
        const QString path = putFile(dir.filePath("a.json"), bytes);
        QVERIFY(QFile::link(path, dir.filePath("link.json")));
        for (const QString &p : {path, dir.filePath("link.json")}) {
            const ImportFile::Result r = ImportFile::read(p);
            QCOMPARE(r.error, ImportFile::Error::none);
            QCOMPARE(r.bytes, bytes);
        }
        const ImportFile::Result empty = ImportFile::read(putFile(dir.filePath("e.json"), {}));
        QCOMPARE(empty.error, ImportFile::Error::none);
        QVERIFY(empty.bytes.isEmpty());
        QCOMPARE(ImportFile::read(dir.filePath("missing.json")).error, ImportFile::Error::unreadable);
        QCOMPARE(ImportFile::read(dir.filePath("missing/a.json")).error, ImportFile::Error::unreadable);
    }

    void filesOverTheBoundAreRefused() {
        QTemporaryDir dir;
        const QString path = putFile(dir.filePath("a.json"), QByteArray(1000, 'a'));
        QCOMPARE(ImportFile::read(path, 1000).bytes.size(), 1000);
        QCOMPARE(ImportFile::read(path, 999).error, ImportFile::Error::tooLarge);
        // The bound every import shares, met by a sparse file: refused by its size, nothing read.
        QFile big(dir.filePath("big.json"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(ImportFile::kMaxBytes + 1));
        big.close();
        QCOMPARE(ImportFile::read(big.fileName()).error, ImportFile::Error::tooLarge);
        QVERIFY(ImportFile::message(ImportFile::Error::tooLarge).contains(QStringLiteral("256")));
    }

    // What is looked at is what was opened and what is read: a path swapped for a pipe just before it
    // is opened is refused, and a file that grows past the bound once its size was taken is refused
    // rather than cut at the bound.
    void aFileChangedWhileItIsReadIsJudgedByWhatIsRead() {
        struct Unhook {
            ~Unhook() { ImportFile::setStepHookForTests({}); }
        } unhook;
        QTemporaryDir dir;
        const QString path = putFile(dir.filePath("a.json"), "[]");
        const QString pipe = fifo(dir, "pipe.json");
        QVERIFY(!pipe.isEmpty());
        ImportFile::setStepHookForTests([&](ImportFile::Step step) {
            if (step == ImportFile::Step::opening)
                QVERIFY(::rename(QFile::encodeName(pipe), QFile::encodeName(path)) == 0);
        });
        const ImportFile::Result swapped = ImportFile::read(path);
        QCOMPARE(swapped.error, ImportFile::Error::notAFile);

        const QString growing = putFile(dir.filePath("g.json"), QByteArray(100, 'a'));
        ImportFile::setStepHookForTests([&](ImportFile::Step step) {
            if (step != ImportFile::Step::sized) return;
            QFile f(growing);
            QVERIFY(f.open(QIODevice::Append));
            QCOMPARE(f.write(QByteArray(5000, 'b')), qint64(5000));
        });
        const ImportFile::Result grown = ImportFile::read(growing, 1000);
        ImportFile::setStepHookForTests({});
        QCOMPARE(grown.error, ImportFile::Error::tooLarge);
        QVERIFY(grown.bytes.isEmpty());
        QCOMPARE(ImportFile::read(growing, 6000).bytes.size(), 5100);
    }

    // The note list and the task list imports say the same of a file they could not read.
    void everyImportTellsAFileItCouldNotReadAlike() {
        QTemporaryDir dir;
        const QString big = putFile(dir.filePath("big.json"), QByteArray(200, ' ') + "[]");
        using N = NoteListImport::ReadError;
        using T = TaskListFile::ReadError;
        const struct {
            QString path;
            qint64 bound;
            N notes;
            T tasks;
        } cases[] = {{dir.path(), ImportFile::kMaxBytes, N::notAFile, T::notAFile},
                     {dir.filePath("missing.json"), ImportFile::kMaxBytes, N::unreadable, T::unreadable},
                     {big, 100, N::tooLarge, T::tooLarge},
                     {big, 1000, N::none, T::none}};
        for (const auto &c : cases) {
            QCOMPARE(NoteListImport::read(c.path, c.bound).error, c.notes);
            QCOMPARE(TaskListFile::read(c.path, c.bound).error, c.tasks);
        }
    }

    void aReadIsHandedBackOnTheCallersThreadOrNotAtAll() {
        QTemporaryDir dir;
        const QString path = putFile(dir.filePath("a.json"), "[]");
        QObject context;
        auto got = std::make_shared<std::optional<ImportFile::Result>>();
        auto thread = std::make_shared<QThread *>(nullptr);
        ImportFile::readLater(path, &context, [got, thread](ImportFile::Result r) {
            *got = std::move(r);
            *thread = QThread::currentThread();
        });
        QTRY_VERIFY(got->has_value());
        QCOMPARE((*got)->bytes, QByteArray("[]"));
        QCOMPARE(*thread, QThread::currentThread());

        // A context gone before the read is in: the result is dropped, nothing is called.
        auto called = std::make_shared<bool>(false);
        auto gone = std::make_unique<QObject>();
        ImportFile::readLater(path, gone.get(), [called](ImportFile::Result) { *called = true; });
        gone.reset();
        got->reset();
        ImportFile::readLater(path, &context, [got](ImportFile::Result r) { *got = std::move(r); });
        QTRY_VERIFY(got->has_value());
        QTRY_COMPARE(Background::pool().activeThreadCount(), 0);
        QCoreApplication::processEvents();
        QVERIFY(!*called);
    }
};

QTEST_MAIN(TestImportFile)
#include "tst_import_file.moc"
