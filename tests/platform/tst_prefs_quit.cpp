// Closing the preferences database and sharing it with other programs: the final commit (waiting out a
// brief lock, failing on a full disk, leaving the main file complete), what a quit keeps beside the
// database, and saves and restores while another program holds the lock.
#include "common/Files.h"
#include "common/PrefsRaw.h"
#include "common/TestEnv.h"
#include "platform/DataNotices.h"
#include "platform/Prefs.h"
#include "platform/PrefsDb.h"
#include "platform/UnsavedAtQuit.h"
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <sqlite3.h>
#include <thread>

class TstPrefsQuit : public QObject {
    Q_OBJECT
private slots:
    void cleanCloseLeavesTheMainFileComplete();
    void finalCommitWaitsOutABriefLockAndReportsOneThatStays();
    void finalCommitOnAFullDiskFails();
    void changesKeptAtQuitAreWrittenWholeOrNotAtAll();
    void savesNeverWaitForAnotherProgramsLock();
    void replaceThatCannotBeCommittedLeavesNothingBehind();
    void databaseLockedAtStartIsShownAndSavedOnceTheLockGoes_data();
    void databaseLockedAtStartIsShownAndSavedOnceTheLockGoes();
};

// After a clean close the main file alone holds everything: a user who copies only mivo.sqlite3
// (a backup, a move to a new machine) gets the last state.
void TstPrefsQuit::cleanCloseLeavesTheMainFileComplete() {
    QTemporaryDir dir, copyDir;
    const QString path = dir.filePath("mivo.sqlite3");
    Prefs p(path);
    for (int i = 0; i < 50; ++i) {
        p.setInt("round", i);
        p.setData("doc", QByteArray(3000, char('a' + i % 26)));
        QVERIFY(p.flush());
    }
    p.setString("last", "written at quit");
    QVERIFY(QFile::exists(path + "-wal"));
    QVERIFY(p.close());
    QVERIFY(!QFile::exists(path + "-wal"));
    QVERIFY(!QFile::exists(path + "-shm"));
    QVERIFY(QFile::copy(path, copyDir.filePath("copy.sqlite3")));
    Prefs copy(copyDir.filePath("copy.sqlite3"));
    QCOMPARE(copy.string("last").value_or(""), QStringLiteral("written at quit"));
    QCOMPARE(copy.integer("round"), 49);

    // Values stay readable after the close; a late write is refused, not half-done.
    QCOMPARE(p.integer("round"), 49);
    p.setInt("round", 50);
    QCOMPARE(p.integer("round"), 49);
    QVERIFY(!p.hasPending());
}

void TstPrefsQuit::finalCommitWaitsOutABriefLockAndReportsOneThatStays() {
    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    auto holdLock = [&](sqlite3 *&db) {
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_busy_timeout(db, 2000);
        return sqlite3_exec(db, "BEGIN EXCLUSIVE; UPDATE prefs SET value = 0 WHERE key = 'x';", nullptr,
                            nullptr, nullptr) == SQLITE_OK;
    };
    {
        // Another process writes for a moment (longer than one busy wait): the quit waits for it.
        Prefs p(path);
        p.setInt("x", 1);
        QVERIFY(p.flush());
        std::atomic<bool> locked = false;
        std::thread other([&] {
            sqlite3 *db = nullptr;
            locked = holdLock(db);
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        });
        QTRY_VERIFY(locked);
        p.setInt("x", 2);
        const bool closed = p.close();
        other.join();
        QVERIFY2(closed, qPrintable(p.lastError()));
    }
    QCOMPARE(Prefs(path).integer("x"), 2);
    const QString unsaved = path + QStringLiteral(".unsaved");
    {
        // A lock that stays: the final commit gives up after a while and says so; the change is kept
        // beside the database.
        Prefs p(path);
        p.setString("gone", QStringLiteral("removed before quitting"));
        QVERIFY(p.flush());
        p.setInt("x", 3);
        p.remove(QStringLiteral("gone"));
        sqlite3 *db = nullptr;
        QVERIFY(holdLock(db));
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!p.close());
        QVERIFY2(waited.elapsed() < 10000, qPrintable(QString::number(waited.elapsed())));
        QVERIFY2(p.lastError().contains("locked"), qPrintable(p.lastError()));
        QCOMPARE(p.keptUnsavedIn(), unsaved);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    QCOMPARE(rawRows(path, "x"), QStringList{"x int integer 2"});
    DataNotices::get().take();
    {
        // The next start writes it, removes the file once it is in, and tells the user.
        Prefs p(path);
        QCOMPARE(p.integer("x"), 3);
        QVERIFY(!p.contains(QStringLiteral("gone")));
        QVERIFY(p.flush());
        QCOMPARE(rawRows(path, "x"), QStringList{"x int integer 3"});
        QVERIFY(!QFile::exists(unsaved));
        const std::vector<DataNotice> told = DataNotices::get().take();
        QCOMPARE(told.size(), size_t(1));
        QCOMPARE(told[0].kind, DataNotice::Kind::savedAtStart);
    }
    QVERIFY(!Prefs(path).contains(QStringLiteral("gone")));
}

void TstPrefsQuit::finalCommitOnAFullDiskFails() {
    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    {
        Prefs p(path);
        p.setInt("x", 1);
        QVERIFY(p.flush());
        p.setData("doc", QByteArray(256 * 1024, 'd'));
        // No file may grow any more, as on a full disk.
        const bool closed = withFileSizeLimit(1, [&] { return p.close(); });
        QVERIFY(!closed);
        QVERIFY(!p.lastError().isEmpty());
        QVERIFY(p.keptUnsavedIn().isEmpty()); // no room beside the database either: the quit says so
    }
    Prefs again(path);
    QCOMPARE(again.integer("x"), 1);
    QVERIFY(!again.contains("doc"));
}

// The changes a quit kept come back exactly (every kind of value, a removal, the digest they were made
// over); a file cut short or damaged gives nothing of them, and stays for the user rather than being
// half applied or removed.
void TstPrefsQuit::changesKeptAtQuitAreWrittenWholeOrNotAtAll() {
    UnsavedAtQuit kept;
    kept.edits = {{"on", PrefsValue(true), std::nullopt},
                  {"n", PrefsValue(qint64(-7)), std::nullopt},
                  {"f", PrefsValue(0.1), std::nullopt},
                  {"s", PrefsValue(QStringLiteral("é ✓")), std::nullopt},
                  {"doc", PrefsValue(QByteArray("[1,2]")), PrefsDigest::of("[1]")},
                  {"gone", std::nullopt, std::nullopt}};
    const QByteArray bytes = kept.encode();
    const auto back = UnsavedAtQuit::decode(bytes);
    QVERIFY(back);
    QCOMPARE(back->edits.size(), kept.edits.size());
    for (size_t i = 0; i < kept.edits.size(); ++i) {
        QCOMPARE(back->edits[i].key, kept.edits[i].key);
        QVERIFY(back->edits[i].value == kept.edits[i].value);
        QVERIFY(back->edits[i].base == kept.edits[i].base);
    }
    for (qsizetype cut = 0; cut < bytes.size(); ++cut)
        QVERIFY2(!UnsavedAtQuit::decode(bytes.left(cut)), qPrintable(QString::number(cut)));
    QVERIFY(!UnsavedAtQuit::decode(bytes + 'x'));

    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    {
        Prefs p(path);
        p.setInt("n", 1);
        QVERIFY(p.close());
    }
    const QString file = UnsavedAtQuit::pathFor(path);
    putFile(file, bytes.left(bytes.size() - 3));
    {
        Prefs p(path);
        QCOMPARE(p.integer("n"), 1);
        QVERIFY(!p.contains("on"));
    }
    QVERIFY(!QFile::exists(file) && !DataNotices::get().take().empty()); // kept under another name, and told
}

// The window's thread hands its writes over and goes on, however long another program holds the
// database; the user is told once that saving waits, and the newest values land when the lock goes.
void TstPrefsQuit::savesNeverWaitForAnotherProgramsLock() {
    TempPrefs t;
    Prefs &p = t.prefs();
    p.setInt("n", 0);
    QVERIFY(p.flush());
    HeldLock other(t.path(), "BEGIN IMMEDIATE");
    QVERIFY(other.held);
    QSignalSpy failed(&p, &Prefs::writeFailed);
    QSignalSpy waiting(&p, &Prefs::saveWaiting);
    qint64 worst = 0;
    QByteArray last;
    for (int i = 1; i <= 30; ++i) {
        last = QByteArray(256 * 1024, char('a' + i % 26));
        QElapsedTimer e;
        e.start();
        p.setData("doc", last);
        p.setInt("n", i);
        QCoreApplication::processEvents(); // the end of the turn: the round goes to the writer
        worst = std::max(worst, e.elapsed());
        QTest::qWait(40);
    }
    // A save that waited for the lock would hold the window's thread a whole busy timeout; half of it
    // tells that apart from a loaded machine's delays without depending on the machine's speed.
    QVERIFY2(worst < PrefsDb::kBusyMs / 2,
             qPrintable(QStringLiteral("the window's thread was held %1 ms").arg(worst)));
    QTRY_COMPARE_WITH_TIMEOUT(waiting.count(), 1, 5000);
    QCOMPARE(waiting.last().first().toBool(), true);
    QCOMPARE(p.integer("n"), 30);
    QCOMPARE(rawRows(t.path(), "n"), QStringList({"n int integer 0"}));
    other.release();
    QVERIFY(p.flush());
    QTRY_COMPARE(waiting.count(), 2); // and told again once everything is saved
    QCOMPARE(waiting.last().first().toBool(), false);
    QCOMPARE(failed.count(), 0); // a lock is a wait, not a failure the user must mend
    // Thirty rounds, one commit of the newest bytes: the log holds one copy of the document.
    QVERIFY2(QFileInfo(t.path() + "-wal").size() < 1024 * 1024,
             qPrintable(QString::number(QFileInfo(t.path() + "-wal").size())));
    t.reopen();
    QCOMPARE(t.prefs().integer("n"), 30);
    QCOMPARE(t.prefs().data("doc"), last);
}

// A restore that cannot be committed (another program holds the lock) changes nothing: memory stays
// what is on disk, and no part of it reaches the disk later, mixed with the next edits.
void TstPrefsQuit::replaceThatCannotBeCommittedLeavesNothingBehind() {
    TempPrefs t;
    Prefs &p = t.prefs();
    p.setString("appTheme", "dark");
    p.setData("savedTasks", "[old]");
    QVERIFY(p.flush());
    HeldLock other(t.path(), "BEGIN IMMEDIATE");
    QVERIFY(other.held);
    QElapsedTimer e;
    e.start();
    QVERIFY(!p.replace({{"savedFinances", Prefs::Value(QByteArray("[restored]"))},
                        {"savedTasks", Prefs::Value(QByteArray("[restored]"))}}));
    QVERIFY2(e.elapsed() < 6000, qPrintable(QString::number(e.elapsed())));
    QCOMPARE(p.keys(), QStringList({"appTheme", "savedTasks"}));
    QCOMPARE(p.data("savedTasks"), QByteArray("[old]"));
    QCOMPARE(p.string("appTheme").value_or(""), QStringLiteral("dark"));
    other.release();
    p.setInt("later", 1);
    QVERIFY(p.flush());
    t.reopen();
    QCOMPARE(t.prefs().keys(), QStringList({"appTheme", "later", "savedTasks"}));
    QCOMPARE(t.prefs().data("savedTasks"), QByteArray("[old]"));
}

void TstPrefsQuit::databaseLockedAtStartIsShownAndSavedOnceTheLockGoes_data() {
    QTest::addColumn<QByteArray>("sql");
    QTest::newRow("immediate") << QByteArray("BEGIN IMMEDIATE; UPDATE prefs SET value = 8 WHERE key = 'kept';");
    QTest::newRow("exclusive") << QByteArray("BEGIN EXCLUSIVE; UPDATE prefs SET value = 8 WHERE key = 'kept';");
}

// Another program holds the database (a rollback-journal file, as other tools leave it) when Mivo
// starts: after a short wait the user's data is shown, never an empty domain and never set aside, and
// the changes made meanwhile are saved once the lock goes.
void TstPrefsQuit::databaseLockedAtStartIsShownAndSavedOnceTheLockGoes() {
    QFETCH(QByteArray, sql);
    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    const QByteArray big(100 * 1024, 'd');
    {
        Prefs p(path);
        p.setInt("kept", 7);
        p.setData("doc", big);
        QVERIFY(p.close());
    }
    QVERIFY(rawExec(path, "PRAGMA journal_mode=DELETE"));
    HeldLock other(path, sql.constData());
    QVERIFY(other.held);
    QElapsedTimer e;
    e.start();
    Prefs p(path);
    QVERIFY2(e.elapsed() < 5000, qPrintable(QString::number(e.elapsed())));
    QCOMPARE(p.access(), Prefs::Access::Locked);
    QVERIFY(p.setAsidePath().isEmpty());
    QCOMPARE(p.integer("kept"), 7);
    QCOMPARE(p.data("doc"), big);
    QSignalSpy failed(&p, &Prefs::writeFailed);
    p.setInt("kept", 9);
    QCoreApplication::processEvents();
    QTest::qWait(1500); // the writer tries, and waits for the lock
    QVERIFY(p.hasPending());
    QCOMPARE(p.integer("kept"), 9);
    other.release();
    QTRY_VERIFY_WITH_TIMEOUT(!p.hasPending(), 8000);
    QCOMPARE(p.access(), Prefs::Access::Writable);
    QCOMPARE(failed.count(), 0); // the user was told once, at start, that saving waits for the lock
    QVERIFY(p.close());
    QVERIFY(QDir(dir.path()).entryList({"*.unreadable-*"}).isEmpty());
    Prefs again(path);
    QCOMPARE(again.integer("kept"), 9);
    QCOMPARE(again.data("doc"), big);
}

QTEST_GUILESS_MAIN(TstPrefsQuit)
#include "tst_prefs_quit.moc"
