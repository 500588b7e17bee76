// The preferences writer's promises, each driven to the moment where a careless change would break
// it: a try that fails while newer writes arrive, a replacement that waits too long, a lock that goes
// while a replacement waits, a flush that meets a round being committed, and where a failure is told.
#include "common/PrefsRaw.h"
#include "platform/Prefs.h"
#include "platform/PrefsWriter.h"
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <sqlite3.h>
#include <thread>

namespace {
sqlite3 *openTable(const QString &path) {
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_busy_timeout(db, 1000);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; CREATE TABLE IF NOT EXISTS prefs(key TEXT PRIMARY KEY NOT NULL, "
                 "type TEXT NOT NULL, value)",
                 nullptr, nullptr, nullptr);
    return db;
}

// The stored bytes of key as another program reads them; "-" when there is no such row.
QByteArray onDisk(const QString &path, const char *key) {
    sqlite3 *db = nullptr;
    QByteArray out = "-";
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db, "SELECT CAST(value AS BLOB) FROM prefs WHERE key = ?1", -1, &st, nullptr);
        sqlite3_bind_text(st, 1, key, -1, SQLITE_STATIC);
        if (sqlite3_step(st) == SQLITE_ROW)
            out = QByteArray(static_cast<const char *>(sqlite3_column_blob(st, 0)),
                             sqlite3_column_bytes(st, 0));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

PrefsBatch round(quint64 seq, std::initializer_list<std::pair<const char *, qint64>> values,
                 bool clear = false) {
    PrefsBatch b;
    b.clear = clear;
    b.seq = seq;
    for (const auto &[k, v] : values)
        b.writes[QString::fromLatin1(k)] = PrefsValue(v);
    return b;
}

// An open hook whose first call holds the writer inside a try until the test lets it go, then fails
// as a locked database does (or hands over the connection, when the test says so).
struct HeldFirstOpen {
    explicit HeldFirstOpen(const QString &p) : path(p) {}
    QString path;
    bool firstFails = true;
    std::atomic<int> calls = 0;
    std::atomic<bool> inside = false;
    std::promise<void> go;
    std::shared_future<void> released = go.get_future().share();

    PrefsWriter::Hooks hooks() {
        PrefsWriter::Hooks h;
        h.open = [this](int *code, QString *error) -> sqlite3 * {
            if (calls++ == 0) {
                inside = true;
                released.wait();
                if (firstFails) {
                    *code = SQLITE_BUSY;
                    *error = QStringLiteral("database is locked");
                    return nullptr;
                }
            }
            return openTable(path);
        };
        return h;
    }
};

// Counts the syncs SQLite asks of the disk on the thread that counts: a VFS in front of the default
// one, forwarding everything.
namespace SyncCount {
sqlite3_vfs *g_real = nullptr;
sqlite3_vfs g_vfs;
std::atomic<std::thread::id> g_counted;
std::atomic<int> g_syncs = 0;
struct File {
    sqlite3_file base;
    sqlite3_file *real;
};
sqlite3_file *real(sqlite3_file *f) {
    return reinterpret_cast<File *>(f)->real;
}
void counted() {
    if (std::this_thread::get_id() == g_counted.load()) ++g_syncs;
}
int xClose(sqlite3_file *f) {
    const int rc = real(f)->pMethods ? real(f)->pMethods->xClose(real(f)) : SQLITE_OK;
    return rc;
}
int xRead(sqlite3_file *f, void *b, int n, sqlite3_int64 o) {
    return real(f)->pMethods->xRead(real(f), b, n, o);
}
int xWrite(sqlite3_file *f, const void *b, int n, sqlite3_int64 o) {
    return real(f)->pMethods->xWrite(real(f), b, n, o);
}
int xTruncate(sqlite3_file *f, sqlite3_int64 n) {
    return real(f)->pMethods->xTruncate(real(f), n);
}
int xSync(sqlite3_file *f, int flags) {
    counted();
    return real(f)->pMethods->xSync(real(f), flags);
}
int xFileSize(sqlite3_file *f, sqlite3_int64 *n) {
    return real(f)->pMethods->xFileSize(real(f), n);
}
int xLock(sqlite3_file *f, int l) {
    return real(f)->pMethods->xLock(real(f), l);
}
int xUnlock(sqlite3_file *f, int l) {
    return real(f)->pMethods->xUnlock(real(f), l);
}
int xCheckReservedLock(sqlite3_file *f, int *o) {
    return real(f)->pMethods->xCheckReservedLock(real(f), o);
}
int xFileControl(sqlite3_file *f, int op, void *a) {
    return real(f)->pMethods->xFileControl(real(f), op, a);
}
int xSectorSize(sqlite3_file *f) {
    return real(f)->pMethods->xSectorSize(real(f));
}
int xDeviceCharacteristics(sqlite3_file *f) {
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}
int xShmMap(sqlite3_file *f, int i, int sz, int e, void volatile **p) {
    return real(f)->pMethods->xShmMap(real(f), i, sz, e, p);
}
int xShmLock(sqlite3_file *f, int o, int n, int fl) {
    return real(f)->pMethods->xShmLock(real(f), o, n, fl);
}
void xShmBarrier(sqlite3_file *f) {
    real(f)->pMethods->xShmBarrier(real(f));
}
int xShmUnmap(sqlite3_file *f, int d) {
    return real(f)->pMethods->xShmUnmap(real(f), d);
}
int xFetch(sqlite3_file *f, sqlite3_int64 o, int n, void **p) {
    return real(f)->pMethods->xFetch(real(f), o, n, p);
}
int xUnfetch(sqlite3_file *f, sqlite3_int64 o, void *p) {
    return real(f)->pMethods->xUnfetch(real(f), o, p);
}
const sqlite3_io_methods g_methods = {3,
                                      xClose,
                                      xRead,
                                      xWrite,
                                      xTruncate,
                                      xSync,
                                      xFileSize,
                                      xLock,
                                      xUnlock,
                                      xCheckReservedLock,
                                      xFileControl,
                                      xSectorSize,
                                      xDeviceCharacteristics,
                                      xShmMap,
                                      xShmLock,
                                      xShmBarrier,
                                      xShmUnmap,
                                      xFetch,
                                      xUnfetch};
int xOpen(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *f, int flags, int *out) {
    auto *file = reinterpret_cast<File *>(f);
    file->real = reinterpret_cast<sqlite3_file *>(file + 1);
    const int rc = g_real->xOpen(g_real, name, file->real, flags, out);
    file->base.pMethods = file->real->pMethods ? &g_methods : nullptr;
    return rc;
}
int xDelete(sqlite3_vfs *, const char *name, int syncDir) {
    if (syncDir) counted();
    return g_real->xDelete(g_real, name, syncDir);
}
int xAccess(sqlite3_vfs *, const char *n, int fl, int *o) {
    return g_real->xAccess(g_real, n, fl, o);
}
int xFullPathname(sqlite3_vfs *, const char *n, int sz, char *o) {
    return g_real->xFullPathname(g_real, n, sz, o);
}

// Installs the counting VFS as the default for the life of the object, counting on this thread.
struct OnThisThread {
    OnThisThread() {
        g_real = sqlite3_vfs_find(nullptr);
        g_vfs = *g_real;
        g_vfs.zName = "counting";
        g_vfs.szOsFile = int(sizeof(File)) + g_real->szOsFile;
        g_vfs.xOpen = xOpen;
        g_vfs.xDelete = xDelete;
        g_vfs.xAccess = xAccess;
        g_vfs.xFullPathname = xFullPathname;
        g_counted = std::this_thread::get_id();
        g_syncs = 0;
        sqlite3_vfs_register(&g_vfs, 1);
    }
    ~OnThisThread() {
        sqlite3_vfs_unregister(&g_vfs);
        sqlite3_vfs_register(g_real, 1);
    }
    int syncs() const { return g_syncs; }
};
} // namespace SyncCount
} // namespace

class TstPrefsWriter : public QObject {
    Q_OBJECT
private slots:
    void aFailedTryGoesUnderTheWritesMadeMeanwhile();
    void aReplacementThatWaitsTooLongIsNeverWritten_data();
    void aReplacementThatWaitsTooLongIsNeverWritten();
    void aReplacementIsTriedAgainWhenTheLockGoesWhileItWaits();
    void flushReturnsOnlyOnceTheRoundIsOnDisk();
    void flushReturnsOnlyOnceTheCommitIsTold();
    void writeFailedArrivesOnTheWindowsThread();
    void aLockIsAWaitToldOnTheWindowsThread();
    void openingNeverWaitsOnTheDisk();
    void splicesGoOnlyIntoTheValueTheyWereMadeFor();
    void aCommitMadeWhileTheWriterWaitsToBeginIsSeen();
    void aSplicedValueIsWrittenWholeOrNotAtAll();
};

// k=1 is being tried (and fails on a lock) when k=2 is written: k=2 is what stays.
void TstPrefsWriter::aFailedTryGoesUnderTheWritesMadeMeanwhile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.sqlite3");
    HeldFirstOpen open(path);
    PrefsWriter w(nullptr, open.hooks());
    w.start();
    w.submit(round(1, {{"k", 1}}));
    QTRY_VERIFY(open.inside);
    w.submit(round(2, {{"k", 2}}));
    open.go.set_value();
    const PrefsCommit flushed = w.flush(5000);
    QVERIFY2(flushed.ok, qPrintable(flushed.error));
    QVERIFY(w.finish(0).ok);
    QCOMPARE(open.calls.load(), 2);
    QCOMPARE(onDisk(path, "k"), QByteArray("2"));
}

void TstPrefsWriter::aReplacementThatWaitsTooLongIsNeverWritten_data() {
    QTest::addColumn<bool>("callerWaits");
    QTest::newRow("replace") << true;
    QTest::newRow("replaceLater") << false;
}

// While the writer is stuck on older writes, a replacement that is not taken in time fails and is
// dropped: it never reaches the disk later, whether its caller waited for it or not.
void TstPrefsWriter::aReplacementThatWaitsTooLongIsNeverWritten() {
    QFETCH(bool, callerWaits);
    QTemporaryDir dir;
    const QString path = dir.filePath("p.sqlite3");
    HeldFirstOpen open(path);
    open.firstFails = false;
    PrefsWriter w(nullptr, open.hooks());
    w.start();
    w.submit(round(1, {{"k", 1}}));
    QTRY_VERIFY(open.inside);
    std::atomic<int> answers = 0;
    std::atomic<bool> answeredOk = false;
    if (callerWaits) {
        answeredOk = w.replace(round(2, {{"restored", 1}}, true), 50).ok;
        ++answers;
    } else {
        QElapsedTimer queued;
        queued.start();
        w.replaceLater(round(2, {{"restored", 1}}, true), 50, [&](const PrefsBatch &, const PrefsCommit &c) {
            answeredOk = c.ok;
            ++answers;
        });
        QTRY_VERIFY(queued.hasExpired(60)); // its deadline passes while the writer is inside the older try
    }
    open.go.set_value();
    QTRY_COMPARE(answers.load(), 1);
    QVERIFY(!answeredOk);
    w.submit(round(3, {{"after", 1}}));
    QVERIFY(w.flush(5000).ok);
    QVERIFY(w.finish(0).ok);
    QCOMPARE(onDisk(path, "k"), QByteArray("1"));
    QCOMPARE(onDisk(path, "after"), QByteArray("1"));
    QCOMPARE(onDisk(path, "restored"), QByteArray("-"));
    QCOMPARE(answers.load(), 1);
}

// Another program holds the lock when a restore starts and lets go while it waits: the restore goes
// through.
void TstPrefsWriter::aReplacementIsTriedAgainWhenTheLockGoesWhileItWaits() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.sqlite3");
    sqlite3_close(openTable(path));
    std::atomic<int> refusals = 0;
    PrefsWriter::Hooks hooks;
    hooks.open = [&](int *, QString *) {
        sqlite3 *db = openTable(path);
        // Count every meeting with the lock, and do not wait in SQLite: the writer's own tries do.
        sqlite3_busy_handler(
            db,
            [](void *n, int) {
                ++*static_cast<std::atomic<int> *>(n);
                return 0;
            },
            &refusals);
        return db;
    };
    HeldLock other(path, "BEGIN IMMEDIATE");
    PrefsWriter w(nullptr, hooks);
    w.start();
    std::thread lettingGo([&] {
        while (refusals == 0)
            std::this_thread::yield();
        other.release();
    });
    const PrefsCommit c = w.replace(round(1, {{"restored", 1}}, true), 3000);
    lettingGo.join();
    QVERIFY2(c.ok, qPrintable(c.error));
    QVERIFY(w.finish(0).ok);
    QCOMPARE(onDisk(path, "restored"), QByteArray("1"));
}

// flush() is called while a round of large values is being committed: when it says yes, another
// program reads every value.
void TstPrefsWriter::flushReturnsOnlyOnceTheRoundIsOnDisk() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.sqlite3");
    const QByteArray big(4 * 1024 * 1024, 'b');
    std::mutex m;
    std::condition_variable cv;
    std::atomic<bool> inside = false, flushing = false;
    bool flushed = false;
    PrefsWriter::Hooks hooks;
    hooks.open = [&](int *, QString *) {
        inside = true;
        while (!flushing)
            std::this_thread::yield();
        // Holds the round in its try for a moment, or until a flush that does not wait has returned.
        std::unique_lock l(m);
        cv.wait_for(l, std::chrono::milliseconds(300), [&] { return flushed; });
        return openTable(path);
    };
    PrefsWriter w(nullptr, hooks);
    w.start();
    PrefsBatch b;
    b.seq = 1;
    for (const char *key : {"d0", "d1", "d2"})
        b.writes[QString::fromLatin1(key)] = PrefsValue(big);
    w.submit(std::move(b));
    QTRY_VERIFY(inside);
    QByteArray seen[3];
    bool ok = false;
    std::thread flusher([&] {
        flushing = true;
        ok = w.flush(5000).ok;
        int i = 0;
        for (const char *key : {"d0", "d1", "d2"})
            seen[i++] = onDisk(path, key);
        std::lock_guard l(m);
        flushed = true;
        cv.notify_all();
    });
    flusher.join();
    QVERIFY(ok);
    for (const QByteArray &s : seen)
        QVERIFY2(s == big, qPrintable(QString::number(s.size())));
    QVERIFY(w.finish(0).ok);
}

// flush() is called while the writer still tells the domain about a commit (a value found to be
// another program's, say): it returns only once that is done, so the domain settles it within the
// same flush (at quit, the last chance to).
void TstPrefsWriter::flushReturnsOnlyOnceTheCommitIsTold() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.sqlite3");
    std::promise<void> go;
    std::shared_future<void> released = go.get_future().share();
    std::atomic<bool> telling = false, told = false;
    PrefsWriter::Hooks hooks;
    hooks.open = [&](int *, QString *) { return openTable(path); };
    hooks.committed = [&](const PrefsBatch &, const PrefsCommit &) {
        telling = true;
        released.wait();
        told = true;
    };
    PrefsWriter w(nullptr, hooks);
    struct Release { // also when a check fails: the writer must be able to finish
        std::promise<void> &go;
        bool done = false;
        void operator()() {
            if (!std::exchange(done, true)) go.set_value();
        }
        ~Release() { (*this)(); }
    } release{go};
    w.start();
    w.submit(round(1, {{"a", 1}}));
    QTRY_VERIFY(telling);
    QCOMPARE(onDisk(path, "a"), QByteArray("1"));
    QVERIFY(!w.flush(50).ok); // gives up waiting: it has not been told yet
    release();
    QVERIFY(w.flush(5000).ok);
    QVERIFY(told);
    QCOMPARE(w.committedSeq(), quint64(1));
    QVERIFY(w.finish(0).ok);
}

// A write the database refuses (not a lock) is told to the window's thread, never from the writer's.
void TstPrefsWriter::writeFailedArrivesOnTheWindowsThread() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.sqlite3");
    Prefs p(path);
    p.setInt("a", 1);
    QVERIFY(p.flush());
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    QCOMPARE(
        sqlite3_exec(db,
                     "CREATE TRIGGER refuse BEFORE INSERT ON prefs BEGIN SELECT RAISE(ABORT, 'no room'); "
                     "END",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    std::atomic<QThread *> toldOn = nullptr;
    QString message;
    connect(
        &p, &Prefs::writeFailed, this,
        [&](const QString &m) {
            message = m;
            toldOn = QThread::currentThread();
        },
        Qt::DirectConnection);
    p.setInt("a", 2);
    QTRY_VERIFY(toldOn.load() != nullptr);
    QCOMPARE(toldOn.load(), QThread::currentThread());
    QVERIFY2(message.contains("no room"), qPrintable(message));
    QCOMPARE(p.integer("a"), 2); // kept in memory, and tried again
}

// Another program's lock is a wait, told (on the window's thread) when it starts and when all is saved.
void TstPrefsWriter::aLockIsAWaitToldOnTheWindowsThread() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.sqlite3");
    Prefs p(path);
    p.setInt("a", 1);
    QVERIFY(p.flush());
    QList<bool> told;
    bool elsewhere = false;
    connect(
        &p, &Prefs::saveWaiting, this,
        [&](bool waiting) {
            told << waiting;
            elsewhere |= QThread::currentThread() != thread();
        },
        Qt::DirectConnection);
    QSignalSpy failed(&p, &Prefs::writeFailed);
    auto *other = new HeldLock(path, "BEGIN IMMEDIATE");
    p.setInt("a", 2);
    QTRY_COMPARE(told, QList<bool>({true}));
    p.setInt("a", 3);
    delete other;
    QTRY_COMPARE(told, QList<bool>({true, false}));
    QVERIFY(!elsewhere);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(onDisk(path, "a"), QByteArray("3"));
}

// The window's thread opens the database at launch: it never asks the disk to sync, whether the
// file is new or still in another journal mode (switching it to WAL syncs: the writer does that).
void TstPrefsWriter::openingNeverWaitsOnTheDisk() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.sqlite3");
    {
        Prefs first(path);
        first.setInt("a", 1);
        QVERIFY(first.close());
    }
    QVERIFY(rawExec(path, "PRAGMA journal_mode=DELETE"));
    SyncCount::OnThisThread count;
    {
        Prefs p(path);
        QCOMPARE(p.access(), Prefs::Access::Writable);
        QCOMPARE(p.integer("a"), 1);
        Prefs fresh(dir.filePath("new.sqlite3"));
        QCOMPARE(fresh.access(), Prefs::Access::Writable);
        QCOMPARE(count.syncs(), 0);
        p.setInt("a", 2);
        fresh.setInt("b", 1);
        QVERIFY(p.flush() && fresh.flush());
        QCOMPARE(count.syncs(), 0); // the writers synced, on their threads
    }
    QVERIFY(count.syncs() > 0); // the last commit at close is this thread's: the count sees syncs
    QCOMPARE(onDisk(path, "a"), QByteArray("2"));
}

// Splices were made for one stored value; another program wrote another. Whether the writer knows
// the value (it wrote it) or only where the splices lie (written before), nothing is spliced into the
// other program's bytes, later splices made for the old value go nowhere either, and a whole write
// keeps the other program's value aside before replacing it, once.
void TstPrefsWriter::splicesGoOnlyIntoTheValueTheyWereMadeFor() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.sqlite3");
    sqlite3 *other = openTable(path);
    const auto otherWrites = [&](const char *bytes) {
        const QByteArray sql = QByteArray("INSERT OR REPLACE INTO prefs(key, type, value) VALUES('doc', 'data', "
                                          "CAST('") + bytes + "' AS BLOB))";
        QCOMPARE(sqlite3_exec(other, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    };
    otherWrites("abcdefghij");
    std::mutex m;
    PrefsCommit last;
    PrefsWriter::Hooks hooks;
    hooks.committed = [&](const PrefsBatch &, const PrefsCommit &c) {
        std::lock_guard l(m);
        last = c;
    };
    PrefsWriter w(openTable(path), hooks);
    w.start();
    quint64 seq = 0;
    const auto commit = [&](PrefsBatch b) {
        b.seq = ++seq;
        w.submit(std::move(b));
        QVERIFY(w.flush(5000).ok);
    };
    const auto splice = [&](qint64 at, qint64 len, const QByteArray &bytes) {
        PrefsBatch b;
        b.splices[QStringLiteral("doc")] = {PrefsSplice{at, len, bytes}};
        commit(std::move(b));
    };
    const auto write = [&](const QByteArray &bytes) {
        PrefsBatch b;
        b.writes[QStringLiteral("doc")] = PrefsValue(bytes);
        commit(std::move(b));
    };
    const auto refused = [&] {
        std::lock_guard l(m);
        return last.refused.size() == 1 && last.refused.front().key == QStringLiteral("doc");
    };

    // Written before this session: only where the splices lie tells. A shorter value they do not fit.
    otherWrites("abc");
    splice(5, 2, "XY");
    QVERIFY(refused());
    QCOMPARE(onDisk(path, "doc"), QByteArray("abc"));
    // A later splice made for the old value would fit the new one: it goes nowhere too.
    splice(0, 1, "Z");
    QCOMPARE(onDisk(path, "doc"), QByteArray("abc"));
    // Once a whole value of ours is written, splices go into it again.
    write("0123456789");
    splice(0, 1, "Q");
    QCOMPARE(onDisk(path, "doc"), QByteArray("Q123456789"));

    // A value the writer wrote is known by its bytes: another program's of the same size takes no
    // splice.
    otherWrites("abcdefghij");
    splice(0, 1, "R");
    QVERIFY(refused());
    QCOMPARE(onDisk(path, "doc"), QByteArray("abcdefghij"));
    // A whole write of ours keeps it aside first; the same value written again is kept once.
    for (const char *mine : {"mine", "mine again"}) {
        write(mine);
        QCOMPARE(onDisk(path, "doc"), QByteArray(mine));
        otherWrites("abcdefghij");
    }
    QString aside;
    {
        std::lock_guard l(m);
        QCOMPARE(last.replacedAside.size(), size_t(1));
        aside = last.replacedAside.front().second;
    }
    QVERIFY(aside.startsWith(QStringLiteral("doc.unreadable-")));
    QCOMPARE(onDisk(path, aside.toUtf8().constData()), QByteArray("abcdefghij"));
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(other, "SELECT count(*) FROM prefs WHERE key LIKE 'doc.unreadable-%'", -1, &st, nullptr);
    QCOMPARE(sqlite3_step(st), SQLITE_ROW);
    QCOMPARE(sqlite3_column_int(st, 0), 1);
    sqlite3_finalize(st);
    QVERIFY(w.finish(0).ok);
    sqlite3_close(other);
}

// Another program commits while the writer waits for the write lock to begin its round: the round
// sees that commit, so its splices are compared with what the other program wrote and go nowhere,
// rather than into bytes the writer takes for its own.
void TstPrefsWriter::aCommitMadeWhileTheWriterWaitsToBeginIsSeen() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.sqlite3");
    sqlite3 *other = openTable(path);
    sqlite3 *mine = openTable(path);
    std::mutex m;
    PrefsCommit last;
    PrefsWriter::Hooks hooks;
    hooks.committed = [&](const PrefsBatch &, const PrefsCommit &c) {
        std::lock_guard l(m);
        last = c;
    };
    PrefsWriter w(mine, hooks);
    w.start();
    PrefsBatch write;
    write.seq = 1;
    write.writes[QStringLiteral("doc")] = PrefsValue(QByteArray("0123456789"));
    w.submit(std::move(write));
    QVERIFY(w.flush(5000).ok);

    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    // The first time the writer finds the lock taken, the other program writes and lets go.
    struct Waiting {
        sqlite3 *other;
        bool committed = false;
    } waiting{other};
    sqlite3_busy_handler(
        mine,
        [](void *p, int) {
            auto *w = static_cast<Waiting *>(p);
            if (!w->committed) {
                w->committed = true;
                sqlite3_exec(w->other,
                             "UPDATE prefs SET value = CAST('abcdefghij' AS BLOB) WHERE key = 'doc'", nullptr,
                             nullptr, nullptr);
                sqlite3_exec(w->other, "COMMIT", nullptr, nullptr, nullptr);
            }
            sqlite3_sleep(5);
            return 1;
        },
        &waiting);
    PrefsBatch splice;
    splice.seq = 2;
    splice.splices[QStringLiteral("doc")] = {PrefsSplice{0, 1, "Z"}};
    w.submit(std::move(splice));
    QVERIFY(w.flush(5000).ok);
    QVERIFY(waiting.committed);
    QCOMPARE(onDisk(path, "doc"), QByteArray("abcdefghij"));
    {
        std::lock_guard l(m);
        QCOMPARE(last.refused.size(), size_t(1));
    }
    QVERIFY(w.finish(0).ok);
    sqlite3_close(other);
}

// A splice into a large value is written a stretch at a time, yet as one change: when the new value
// cannot be stored (here longer than the database allows, as on a full disk) nothing of it is, the
// old row stays as it was and nothing the writer made for the while is left behind; once it can be,
// the value is exactly the spliced bytes, in a new row. The digest the writer keeps of what it wrote
// is the one a later comparison (after another program's commit) reads back.
void TstPrefsWriter::aSplicedValueIsWrittenWholeOrNotAtAll() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.sqlite3");
    sqlite3 *db = openTable(path);
    sqlite3 *other = openTable(path);
    const auto rows = [&](const char *sql) {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(other, sql, -1, &st, nullptr);
        const qint64 n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
        sqlite3_finalize(st);
        return n;
    };
    std::mutex m;
    PrefsCommit last;
    PrefsWriter::Hooks hooks;
    hooks.committed = [&](const PrefsBatch &, const PrefsCommit &c) {
        std::lock_guard l(m);
        last = c;
    };
    PrefsWriter w(db, hooks);
    w.start();
    // Three megabytes and a bit: several stretches of the writer's, and a last one cut short.
    QByteArray model(3 * 1024 * 1024 + 12345, Qt::Uninitialized);
    for (qsizetype i = 0; i < model.size(); ++i)
        model[i] = char('a' + (i * 7 + i / 4099) % 26);
    PrefsBatch whole;
    whole.seq = 1;
    whole.writes[QStringLiteral("doc")] = PrefsValue(model);
    w.submit(std::move(whole));
    QVERIFY(w.flush(5000).ok);
    const qint64 rowBefore = rows("SELECT rowid FROM prefs WHERE key = 'doc'");

    const std::vector<PrefsSplice> splices{PrefsSplice{5, 3, "FIVE"}, PrefsSplice{(1 << 20) - 2, 4, "seam"},
                                           PrefsSplice{model.size() - 10, 0, "near the end"},
                                           PrefsSplice{2 * 1024 * 1024, 70000, ""}};
    QByteArray spliced = model;
    QVERIFY(applySplices(spliced, splices));
    QVERIFY(spliced.size() > model.size() - 70000);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, int(spliced.size() - 1)); // the writer is idle
    PrefsBatch b;
    b.seq = 2;
    b.splices[QStringLiteral("doc")] = splices;
    w.submit(std::move(b));
    QVERIFY(!w.flush(5000).ok);
    QCOMPARE(onDisk(path, "doc"), model);
    QCOMPARE(rows("SELECT rowid FROM prefs WHERE key = 'doc'"), rowBefore);
    QCOMPARE(rows("SELECT count(*) FROM prefs"), qint64(1));

    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1000 * 1000 * 1000);
    QVERIFY(w.flush(5000).ok);
    QCOMPARE(onDisk(path, "doc"), spliced);
    QVERIFY(rows("SELECT rowid FROM prefs WHERE key = 'doc'") != rowBefore);
    QCOMPARE(rows("SELECT count(*) FROM prefs"), qint64(1));

    // Another program commits: the next splice compares what is stored with what the writer wrote.
    QCOMPARE(sqlite3_exec(other, "INSERT INTO prefs(key, type, value) VALUES('n', 'int', 1)", nullptr,
                          nullptr, nullptr),
             SQLITE_OK);
    PrefsBatch again;
    again.seq = 3;
    again.splices[QStringLiteral("doc")] = {PrefsSplice{0, 1, "Q"}};
    w.submit(std::move(again));
    QVERIFY(w.flush(5000).ok);
    {
        std::lock_guard l(m);
        QVERIFY(last.refused.empty());
    }
    spliced[0] = 'Q';
    QCOMPARE(onDisk(path, "doc"), spliced);
    QVERIFY(w.finish(0).ok);
    sqlite3_close(other);
}

QTEST_GUILESS_MAIN(TstPrefsWriter)
#include "tst_prefs_writer.moc"
