// Quitting has one deadline, shared by every wait in it: a wait that takes all it is given leaves the
// ones after it less, never more, and the changes another program's lock keeps out are still kept
// beside the database before it passes.
#include "app/AppDelegate.h"
#include "app/DataNoticeAlert.h"
#include "common/Fakes.h"
#include "common/HeldPool.h"
#include "common/TestEnv.h"
#include "notes/NoteDocument.h"
#include "notes/NoteStore.h"
#include "platform/AtomicFile.h"
#include "platform/Background.h"
#include "platform/DataNotices.h"
#include "platform/Prefs.h"
#include "platform/PrefsDb.h"
#include "platform/PrefsGate.h"
#include "platform/PrefsSplice.h"
#include "platform/StoreLoader.h"
#include "platform/UnsavedAtQuit.h"
#include <QFileInfo>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QThread>
#include <QtTest>
#include <sqlite3.h>

namespace {
// The next start after a quit that kept a large note's edit: nothing was named as lost, and the note
// reads back whole, as the user saved it.
void expectWholeAtNextStart(TempPrefs &t, const QString &keptNotices, const Note &big) {
    DataNotices::get().take();
    DataNotices::get().restoreKept(keptNotices);
    for (const DataNotice &n : DataNotices::get().take())
        QVERIFY2(n.kind != DataNotice::Kind::editLostAtQuit, qPrintable(n.what));
    t.reopen();
    NoteStore::resetForTests();
    const Note *found = NoteStore::shared().find(big.id);
    QVERIFY(found);
    QCOMPARE(found->body.size(), big.body.size());
    QVERIFY(found->body == big.body);
}

void endNotes() {
    NoteStore::resetForTests();
    QCoreApplication::processEvents();
    Background::pool().waitForDone();
}

// Every warning the code under test prints meanwhile.
struct Warnings {
    static inline QStringList *seen = nullptr;
    QStringList lines;
    QtMessageHandler before;
    Warnings() {
        seen = &lines;
        before = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) {
            seen->append(m);
        });
    }
    ~Warnings() {
        qInstallMessageHandler(before);
        seen = nullptr;
    }
};
// Closes p by quit while another program holds the lock (taken before), and says how much of the
// deadline was left when keeping the changes beside the database began (-1: it never began).
qint64 leftWhenKeeping(Prefs &p, const Deadline &quit, sqlite3 *other) {
    qint64 left = -1;
    AtomicFile::setStretchHookForTests([&] {
        if (left < 0) left = quit.remainingMs();
    });
    const bool committed = p.close(quit);
    AtomicFile::setStretchHookForTests({});
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    if (committed || p.keptUnsavedIn().isEmpty()) return -1;
    return left;
}

// Another program's connection, holding the database's write lock.
sqlite3 *lockedByAnother(const QString &path) {
    sqlite3 *other = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &other);
    if (sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) qFatal("no lock");
    return other;
}
} // namespace

class TstQuitDeadline : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void aWaitThatTakesItsWholeShareLeavesTheRestTheirs() {
        TempPrefs t;
        TestDialogs dialogs;
        AppDelegate app;
        QVERIFY(app.launch());
        NoteStore &notes = NoteStore::shared();
        QVERIFY(notes.notes().empty()); // loaded
        sqlite3 *other = nullptr;
        sqlite3_open(QFile::encodeName(t.path()).constData(), &other);
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        const QString key = QStringLiteral("changedJustBeforeQuitting");
        t.prefs().setInt(key, 42);
        {
            HeldPool pool; // the bytes of the large note below are never made
            Note big(NoteType::text, QStringLiteral("📝"), QStringLiteral("Big"));
            big.body = QString(8 << 20, u'b');
            notes.add(big);
            SteppedTime time;
            const qint64 start = time.nowMs();
            // What the end of the event loop sends, as the quit item's exit() does.
            QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
            const qint64 spent = time.nowMs() - start;
            QVERIFY2(spent >= 2000, qPrintable(QString::number(spent))); // the notes' wait took its share
            QVERIFY2(spent <= 4500, qPrintable(QString::number(spent)));
        }
        QVERIFY(t.prefs().isClosed());
        QCOMPARE(t.prefs().keptUnsavedIn(), UnsavedAtQuit::pathFor(t.path()));
        const auto kept = UnsavedAtQuit::read(t.prefs().keptUnsavedIn());
        QVERIFY(kept);
        QVERIFY(std::any_of(kept->edits.begin(), kept->edits.end(), [&](const UnsavedAtQuit::Edit &e) {
            return e.key == key && e.value && *e.value == PrefsValue(qint64(42));
        }));
        QCOMPARE(app.exitCode(), 0);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }

    // The deadline counts from the request to quit, not from the end of the event loop: a signal that
    // waited for a busy window's thread, and the loop's own way to its end, come out of it. The waits
    // (a save no worker takes up, another program's lock) still take all they are given.
    void theDeadlineCountsFromTheRequestToQuit() {
        TempPrefs t;
        TestDialogs dialogs;
        AppDelegate app;
        QVERIFY(app.launch());
        NoteStore &notes = NoteStore::shared();
        QVERIFY(notes.notes().empty()); // loaded
        sqlite3 *other = nullptr;
        sqlite3_open(QFile::encodeName(t.path()).constData(), &other);
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        {
            HeldPool pool; // the large note's bytes are made by the quit itself
            Note big(NoteType::text, QStringLiteral("📝"), QStringLiteral("Big"));
            big.body = QString(1 << 20, u'b');
            notes.add(big);
            SteppedTime time;
            const qint64 signalled = time.nowMs();
            time.advance(1000);
            app.quitApp(1000); // the signal came a second before the window's thread took it
            time.advance(1000); // and the loop took another to end
            QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
            const qint64 spent = time.nowMs() - signalled;
            QVERIFY2(spent <= 4500, qPrintable(QString::number(spent)));
        }
        QVERIFY(t.prefs().isClosed());
        QCOMPARE(t.prefs().keptUnsavedIn(), UnsavedAtQuit::pathFor(t.path()));
        QCOMPARE(app.exitCode(), 0);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        endNotes();
    }

    // Once the quit has run, the process ends at once: work still running on a worker (a document read
    // again after another program wrote it) no longer matters and does not hold the exit, and neither
    // does freeing what the stores and windows hold. The changes are on disk before it ends. Before
    // the quit has run, nothing ends the process.
    void workStillRunningAtTheQuitsEndDoesNotHoldTheExit() {
        TempPrefs t;
        TestDialogs dialogs;
        QSemaphore started, release;
        std::atomic<bool> ended = false;
        std::vector<int> exits;
        bool closedAtExit = false, runningAtExit = false;
        AppDelegate::setExitForTests([&](int code) {
            exits.push_back(code);
            closedAtExit = t.prefs().isClosed();
            runningAtExit = !ended;
        });
        {
            AppDelegate app;
            QVERIFY(app.launch());
            QVERIFY(NoteStore::shared().notes().empty()); // loaded
            app.endProcess(0);
            QVERIFY(exits.empty()); // no quit yet: the usual teardown follows
            t.prefs().setInt(QStringLiteral("changedJustBeforeQuitting"), 7);
            StoreLoader::get().start(
                QStringLiteral("savedNotes"),
                [&] {
                    started.release();
                    // Bounded only so that a fault here fails the test rather than hanging it.
                    release.tryAcquire(1, 60'000);
                    ended = true;
                },
                [] {});
            started.acquire();
            const auto letItEnd = qScopeGuard([&] { release.release(); });
            QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
            app.endProcess(3);
            QCOMPARE(exits, std::vector<int>{3});
            QVERIFY(closedAtExit);
            QVERIFY(runningAtExit);
        }
        AppDelegate::setExitForTests({});
        Prefs again(t.path());
        QCOMPARE(again.integer(QStringLiteral("changedJustBeforeQuitting")), qint64(7));
        endNotes();
    }

    // The final commit is the last thing the quit waits for: moving the -wal file into the main file
    // after it would run past the deadline for a large value, and it is not needed to keep it (the
    // next open reads the -wal file). So with no time left it is not done, and the values are there.
    void nothingIsMovedIntoTheMainFileAfterTheDeadline() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
        {
            Prefs p(path);
            p.setData(QStringLiteral("doc"), QByteArray(256 * 1024, 'a'));
            QVERIFY(p.flush());
            p.setString(QStringLiteral("last"), QStringLiteral("written at quit"));
            SteppedTime time;
            const Deadline quit(100);
            time.advance(200);
            QVERIFY(!p.close(quit)); // too late for a commit: the last change is kept beside it
            QCOMPARE(p.keptUnsavedIn(), UnsavedAtQuit::pathFor(path));
        }
        QVERIFY(QFile::exists(path + QStringLiteral("-wal")));
        Prefs again(path);
        QCOMPARE(again.string(QStringLiteral("last")).value_or(QString()), QStringLiteral("written at quit"));
        QCOMPARE(again.data(QStringLiteral("doc")).size(), 256 * 1024);
    }

    // Saves the quit cannot wait for (no worker takes them up): a long note's text still to be read
    // from its document, another one's bytes still to be made. Both edits are kept whole (committed,
    // or beside the database and written at the next start), and neither is named as lost.
    void aSaveTheQuitCannotWaitForIsKeptWhole() {
        TempPrefs t;
        TestDialogs dialogs;
        DataNotices::get().take();
        const QString kept = DataNotices::keptPath(t.path());
        Note big(NoteType::text, QStringLiteral("📝"), QStringLiteral("Travel plans"));
        big.body = QString(4 << 20, u'b');
        Note diary(NoteType::text, QStringLiteral("📝"), QStringLiteral("Diary"));
        diary.body = QStringLiteral("dear");
        {
            AppDelegate app;
            QVERIFY(app.launch());
            NoteStore &notes = NoteStore::shared();
            QVERIFY(notes.notes().empty()); // loaded
            notes.add(big);
            notes.add(diary);
            notes.save(); // on disk before the edits
            QObject page;
            HeldPool pool;
            big.body[0] = u'B';
            notes.update(big);
            Note fields = diary;
            fields.body = QString();
            auto *doc = new QTextDocument;
            doc->setPlainText(QStringLiteral("dear diary"));
            // As the note's page stores what it read.
            NoteDocument::readKeeping(doc, fields, &page, [fields](NoteDocument::Saved &s, QTextDocument *d) {
                NoteStore::shared().updateEncoded(fields, s.preview, std::move(s.record));
                delete d;
            });
            SteppedTime time;
            QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
            QCOMPARE(app.exitCode(), 0);
        }
        expectWholeAtNextStart(t, kept, big);
        const Note *dear = NoteStore::shared().find(diary.id);
        QVERIFY(dear);
        QCOMPARE(dear->body, QStringLiteral("dear diary"));
        endNotes();
    }

    // A save a worker is making when the saves' share of the quit passes (a note's bytes, a page's
    // read of its document): the quit waits for the worker, and never makes the save again on the
    // window's thread (under load that took seconds more and left keeping the edit no time). The edit
    // is kept whole, and nothing is named as lost. A worker that ends late (a loaded machine) still
    // leaves the quit within its deadline: the edit is kept beside the database at once, with no
    // commit tried in time that is not there.
    void aSaveAWorkerIsMakingAtTheDeadlineIsKeptWhole_data() {
        QTest::addColumn<bool>("fromPage");
        QTest::addColumn<bool>("late");
        QTest::newRow("a note's bytes") << false << false;
        QTest::newRow("a page's save") << true << false;
        QTest::newRow("a note's bytes, made late") << false << true;
        QTest::newRow("a page's save, made late") << true << true;
    }
    void aSaveAWorkerIsMakingAtTheDeadlineIsKeptWhole() {
        QFETCH(bool, fromPage);
        QFETCH(bool, late);
        TempPrefs t;
        TestDialogs dialogs;
        DataNotices::get().take();
        const QString kept = DataNotices::keptPath(t.path());
        Note big(NoteType::text, QStringLiteral("📝"), QStringLiteral("Travel plans"));
        big.body = QString(1 << 20, u'b');
        {
            AppDelegate app;
            QVERIFY(app.launch());
            NoteStore &notes = NoteStore::shared();
            QVERIFY(notes.notes().empty()); // loaded
            notes.add(big);
            notes.save(); // on disk before the edit
            // The worker making the edit is held at its first stretch (it asks first as it starts)
            // until the quit hurries it.
            QSemaphore atStretch, go;
            SteppedTime *stepping = nullptr;
            std::atomic<int> asked = 0;
            std::atomic<bool> askedHere = false; // the save made on the window's thread
            Background::setHurryHooksForTests(
                [&] {
                    if (QThread::currentThread() == qApp->thread()) askedHere = true;
                    if (asked++ != 1) return;
                    atStretch.release();
                    go.acquire();
                },
                [&] {
                    // The worker, hurried, takes most of what the quit has left.
                    if (late) stepping->advance(1500);
                    go.release();
                });
            big.body[0] = u'B';
            big.body[big.body.size() - 1] = u'E';
            QObject page;
            if (fromPage) {
                Note fields = big;
                fields.body = QString();
                auto *doc = new QTextDocument;
                doc->setPlainText(big.body);
                NoteDocument::readKeeping(doc, fields, &page,
                                          [fields](NoteDocument::Saved &s, QTextDocument *d) {
                                              NoteStore::shared().updateEncoded(fields, s.preview,
                                                                                std::move(s.record));
                                              delete d;
                                          });
            } else {
                notes.update(big);
            }
            atStretch.acquire();
            qint64 spent = 0;
            {
                SteppedTime stepped;
                stepping = &stepped;
                const qint64 start = stepped.nowMs();
                QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
                spent = stepped.nowMs() - start;
                stepping = nullptr;
            }
            go.release(); // in case it was never waited for
            Background::setHurryHooksForTests({}, {});
            QVERIFY(!askedHere);
            QCOMPARE(app.exitCode(), 0);
            QVERIFY2(spent <= 4500, qPrintable(QString::number(spent)));
            if (late) QCOMPARE(Prefs::get().keptUnsavedIn(), UnsavedAtQuit::pathFor(t.path()));
        }
        Background::pool().waitForDone();
        expectWholeAtNextStart(t, kept, big);
        endNotes();
    }

    // No commit runs past the quit's deadline: one under way when it passes is cut short and one not
    // begun by then never begins. What they would have written is kept beside the database, whole,
    // and written at the next start.
    void aCommitNeverRunsPastTheQuitsDeadline() {
        // Time that passes while the quit waits lets a commit held at its end go on.
        struct ReleasingTime : SteppedTime {
            QSemaphore *go = nullptr;
            void waitUntil(qint64 untilMs) override {
                SteppedTime::waitUntil(untilMs);
                go->release();
            }
        };
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
        const QByteArray was(2 << 20, 'a'), now(2 << 20, 'b');
        {
            Prefs p(path);
            p.setData(QStringLiteral("doc"), was);
            QVERIFY(p.flush());
            // The commit of the new value is held just before its end, until the quit has waited.
            QSemaphore inFlight, go;
            std::atomic<bool> held = false;
            setPrefsCommitHookForTests([&](bool made) {
                if (made || held.exchange(true)) return;
                inFlight.release();
                go.acquire();
            });
            p.setData(QStringLiteral("doc"), now);
            QCoreApplication::processEvents(); // handed to the writer
            inFlight.acquire();
            ReleasingTime time;
            time.go = &go;
            const bool committed = p.close(Deadline(1500));
            setPrefsCommitHookForTests({});
            QVERIFY(!committed);
            QCOMPARE(p.keptUnsavedIn(), UnsavedAtQuit::pathFor(path));
        }
        {
            Prefs again(path);
            QVERIFY(again.data(QStringLiteral("doc")) == now);
            again.setInt(QStringLiteral("late"), 7);
            SteppedTime time;
            const Deadline quit(1500);
            time.advance(600); // what the commit had of it is gone
            QVERIFY(!again.close(quit));
            QCOMPARE(again.keptUnsavedIn(), UnsavedAtQuit::pathFor(path));
        }
        Prefs third(path);
        QCOMPARE(third.integer(QStringLiteral("late")), 7);
        QVERIFY(third.data(QStringLiteral("doc")) == now);
    }

    // Keeping the changes beside the database is not cut short by the quit's deadline: a disk so slow
    // that it passes after the first stretch still gets the whole file (a quit a few seconds late is
    // better than the changes lost), and the next start writes them.
    void changesKeptPastTheDeadlineAreWrittenWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
        const QByteArray was(256 * 1024, 'a'), edited(12 << 20, 'b');
        DataNotices::get().take();
        {
            Prefs p(path);
            p.setData(QStringLiteral("doc"), was);
            QVERIFY(p.flush());
            sqlite3 *other = nullptr;
            sqlite3_open(QFile::encodeName(path).constData(), &other);
            QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
            p.setData(QStringLiteral("doc"), edited); // several stretches of the file
            SteppedTime time;
            int stretches = 0;
            AtomicFile::setStretchHookForTests([&] {
                ++stretches;
                time.advance(10'000); // the disk is slow: the deadline passes after the first stretch
            });
            const bool committed = p.close(Deadline(4500));
            AtomicFile::setStretchHookForTests({});
            QVERIFY(!committed);
            QVERIFY2(stretches > 1, qPrintable(QString::number(stretches)));
            QCOMPARE(p.keptUnsavedIn(), UnsavedAtQuit::pathFor(path));
            sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(other);
        }
        Prefs again(path);
        QVERIFY(again.data(QStringLiteral("doc")) == edited);
        const std::vector<DataNotice> told = DataNotices::get().take();
        QVERIFY(std::none_of(told.begin(), told.end(),
                             [](const DataNotice &n) { return n.kind == DataNotice::Kind::lostAtQuit; }));
    }

    // The share of the deadline kept for writing the changes beside the database grows with what there
    // is to write: while another program holds the lock, the commit's tries stop early enough for a
    // value of many megabytes to be kept. The commit has a try of its own when there is time for both;
    // when there is not, the keep still gets what its bytes take, or a lock that outlasts the try
    // would lose the changes.
    void theKeepsShareIsSizedToWhatItWrites_data() {
        QTest::addColumn<qint64>("deadlineMs");
        QTest::addColumn<bool>("commitTries");
        QTest::newRow("time for both") << qint64(4500) << true;
        QTest::newRow("the keep comes first") << qint64(2500) << false;
    }
    void theKeepsShareIsSizedToWhatItWrites() {
        QFETCH(qint64, deadlineMs);
        QFETCH(bool, commitTries);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
        const QByteArray edited(64 << 20, 'b');
        const qint64 sized = edited.size() / (32 * 1024); // what writing it takes
        {
            Prefs p(path);
            p.setData(QStringLiteral("doc"), QByteArray(1024, 'a'));
            QVERIFY(p.flush());
            sqlite3 *other = lockedByAnother(path);
            p.setData(QStringLiteral("doc"), edited);
            QVERIFY(!p.flush()); // the lock is met
            SteppedTime time;
            const qint64 leftToKeep = leftWhenKeeping(p, Deadline(deadlineMs), other);
            QVERIFY2(leftToKeep >= sized, qPrintable(QString::number(leftToKeep)));
            if (commitTries)
                QVERIFY2(leftToKeep <= deadlineMs - PrefsDb::kBusyMs, qPrintable(QString::number(leftToKeep)));
        }
        Prefs again(path);
        QVERIFY(again.data(QStringLiteral("doc")) == edited);
    }

    // A lock no try has met before the quit is asked for as the quit begins: keeping the changes
    // still gets the time its bytes take, not what the commit's tries leave. What is said of it names
    // no -wal file: nothing of the changes was written there.
    void aLockFoundOnlyAtTheQuitLeavesTheKeepItsShare() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
        const QByteArray edited(64 << 20, 'b');
        const qint64 deadlineMs = 4500;
        {
            Prefs p(path);
            p.setData(QStringLiteral("doc"), QByteArray(1024, 'a'));
            QVERIFY(p.flush());
            sqlite3 *other = lockedByAnother(path);
            p.setData(QStringLiteral("doc"), edited); // the writer has not tried it yet
            SteppedTime time;
            Warnings warned;
            const qint64 leftToKeep = leftWhenKeeping(p, Deadline(deadlineMs), other);
            QVERIFY2(leftToKeep >= edited.size() / (32 * 1024), qPrintable(QString::number(leftToKeep)));
            for (const QString &line : warned.lines)
                QVERIFY2(!line.contains(QLatin1String("-wal")), qPrintable(line));
        }
        Prefs again(path);
        QVERIFY(again.data(QStringLiteral("doc")) == edited);
    }

    // A value on disk whose splices the lock keeps out is read whole at the quit before it is kept:
    // the keep's share covers that read as well as the write.
    void theKeepsShareCoversReadingASplicedValueWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
        const QString key = QStringLiteral("doc");
        const QByteArray was(32 << 20, 'a');
        const qint64 oneWay = was.size() / (32 * 1024); // what writing it alone takes
        {
            Prefs p(path);
            p.setData(key, was);
            QVERIFY(p.flush()); // on disk, no longer held in memory
            sqlite3 *other = lockedByAnother(path);
            QVERIFY(p.spliceData(key, *p.version(key), {PrefsSplice{0, 1, "B"}}));
            SteppedTime time;
            const qint64 leftToKeep = leftWhenKeeping(p, Deadline(6000), other);
            QVERIFY2(leftToKeep >= 2 * oneWay, qPrintable(QString::number(leftToKeep)));
        }
        Prefs again(path);
        const QByteArray now = again.data(key);
        QCOMPARE(now.size(), was.size());
        QCOMPARE(now.left(2), QByteArray("Ba"));
    }

    // Splices the quit's last saves pile up (a note's save handed back as the quit begins, under
    // another program's lock) are read whole by the quit alone: a read on a worker beside it read and
    // copied the same value again, side by side with it, on the deadline's time.
    void aValueSplicedAsTheQuitBeginsIsReadOnce() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
        const QString key = QStringLiteral("doc");
        const QByteArray was(1 << 20, 'a');
        const QByteArray note(17 << 20, 'n'); // past the bound where splices pile up
        std::atomic<int> reads = 0;
        {
            Prefs p(path);
            p.setData(key, was);
            QVERIFY(p.flush()); // on disk, no longer held in memory
            sqlite3 *other = lockedByAnother(path);
            setPrefsLookHookForTests([&](int) { ++reads; });
            p.beginClosing();
            QVERIFY(p.spliceData(key, *p.version(key), {PrefsSplice{1, 1, note}}));
            SteppedTime time;
            QVERIFY(leftWhenKeeping(p, Deadline(4500), other) >= 0);
            Background::pool().waitForDone();
            setPrefsLookHookForTests({});
        }
        QCOMPARE(reads.load(), 1);
        QByteArray edited = was;
        edited.replace(1, 1, note);
        Prefs again(path);
        QVERIFY(again.data(key) == edited);
    }

    // When another program's lock leaves the commit no time, a value with splices waiting is only
    // kept, from the parts it is made of: the stored bytes around the splices and the splices' own.
    // A whole copy made first (of a note of a hundred megabytes: a second of the deadline under
    // load) left the keep too little time. The next start has the value whole, as the user made it.
    void aValueOnlyKeptIsNotMadeWholeFirst() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
        const QString key = QStringLiteral("doc");
        QByteArray was;
        for (int i = 0; was.size() < (6 << 20); ++i) was += QByteArray::number(i) + ',';
        QByteArray edited = was;
        {
            Prefs p(path);
            p.setData(key, was);
            QVERIFY(p.flush());
            sqlite3 *other = lockedByAnother(path);
            p.beginClosing();
            // Two saves, one near each end: the stored bytes between them and after the last are kept.
            const std::vector<PrefsSplice> first{PrefsSplice{3, 5, "XYZ"}};
            const std::vector<PrefsSplice> second{PrefsSplice{edited.size() - 40, 20, QByteArray(20 << 20, 'n')}};
            for (const auto &splices : {first, second}) {
                QVERIFY(applySplices(edited, splices));
                QVERIFY(p.spliceData(key, *p.version(key), splices));
            }
            SteppedTime time;
            // Less than the keep's bytes take: the commit gets no try.
            QVERIFY(leftWhenKeeping(p, Deadline(500), other) >= 0);
            QVERIFY(p.pendingSpliceBytes(key) > 0); // still splices: never made whole here
        }
        Prefs again(path);
        QCOMPARE(again.data(key).size(), edited.size());
        QVERIFY(again.data(key) == edited);
    }

    // Moving the -wal file into the main file is not begun when what is left of the deadline would
    // not cover it: it could not be stopped in time (its syncs), and the file is safe as it is.
    void theCheckpointIsNotBegunWithoutTimeForIt() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        QVERIFY(PrefsDb::setUpForWriting(db));
        sqlite3_exec(db, "CREATE TABLE t(v BLOB)", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "INSERT INTO t VALUES(zeroblob(4000000))", nullptr, nullptr, nullptr);
        const QString wal = path + QStringLiteral("-wal");
        const qint64 walBytes = QFileInfo(wal).size();
        QVERIFY(walBytes >= 4000000);
        {
            SteppedTime time;
            QVERIFY(!PrefsDb::checkpointBy(db, Deadline(PrefsDb::kCheckpointLeadMs + 10)));
            QCOMPARE(QFileInfo(wal).size(), walBytes);
            QVERIFY(PrefsDb::checkpointBy(db, Deadline(60'000)));
            QCOMPARE(QFileInfo(wal).size(), 0);
        }
        sqlite3_close(db);
    }
};

QTEST_MAIN(TstQuitDeadline)
#include "tst_quit_deadline.moc"
