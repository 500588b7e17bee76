#include "platform/PrefsDb.h"

#include "platform/DataNotices.h"
#include "platform/Prefault.h"
#include "platform/PrefsGate.h"
#include "platform/PrefsSql.h"
#include "platform/PrefsWriter.h"
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <thread>
#include <unistd.h>

// Opening the preferences database, and reading its rows and values.

namespace {
using namespace PrefsSql;
using namespace PrefsDb;

// A launch waits this long for another program's lock before it shows the data read-only.
constexpr int kOpenWaitMs = 1500;

int primaryCode(int code) {
    return code & 0xff;
}

// A read that cannot tell what its snapshot holds looks again this many times before it waits for
// the commit in flight.
constexpr int kLooks = 3;

// A read transaction on db, ended (it only read) when this goes. Its first read takes its snapshot.
struct ReadTransaction {
    sqlite3 *db;
    bool open;
    explicit ReadTransaction(sqlite3 *d) : db(d), open(exec(d, "BEGIN")) {}
    ~ReadTransaction() {
        if (open) exec(db, "COMMIT");
    }
    ReadTransaction(const ReadTransaction &) = delete;
    ReadTransaction &operator=(const ReadTransaction &) = delete;
};

// The rowid of key's data row in the read transaction open on db (nothing: there is none). False when
// it cannot be read.
bool findDataRow(sqlite3 *db, const QString &key, std::optional<qint64> &row) {
    Stmt q(db, "SELECT rowid FROM prefs WHERE key = ?1 AND type = 'data'");
    if (!q) return false;
    q.text(1, key.toUtf8());
    const int rc = sqlite3_step(q.s);
    row = rc == SQLITE_ROW ? std::optional<qint64>(sqlite3_column_int64(q.s, 0)) : std::nullopt;
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}
} // namespace

namespace PrefsDb {
// A write that stores what is already there changes nothing; NaN counts as equal to NaN.
bool sameValue(const Prefs::Value &a, const Prefs::Value &b) {
    if (a.index() != b.index()) return false;
    if (auto da = std::get_if<double>(&a)) {
        const double db = std::get<double>(b);
        return (std::isnan(*da) && std::isnan(db)) || *da == db;
    }
    return a == b;
}

// The log in WAL mode and the table in place: writes that wait on the disk (switching a database to
// WAL, or creating the table, syncs the file), so only the writer's thread does them.
// A new, empty file has nothing to lose: it is set up without syncing (syncs false), wherever it is.
bool setUpForWriting(sqlite3 *db, bool syncs) {
    return exec(db, syncs ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=OFF") &&
           exec(db, "PRAGMA journal_mode=WAL") &&
           exec(db, "CREATE TABLE IF NOT EXISTS prefs(key TEXT PRIMARY KEY NOT NULL, type TEXT NOT NULL, value)");
}

// A connection that may write, set up for writing when setUp says so. Null (code and error set) when
// the file cannot be written now.
sqlite3 *openForWriting(const QString &path, int busyMs, int *code, QString *error, bool setUp) {
    // SQLite's own names for a database that lives in memory have no folder: made from the name, it
    // would be a folder called ":" wherever the program was started.
    if (path != QLatin1String(":memory:") && !path.isEmpty()) QDir().mkpath(QFileInfo(path).absolutePath());
    sqlite3 *db = nullptr;
    int rc =
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, busyMs);
        if (sqlite3_db_readonly(db, "main") == 1)
            rc = SQLITE_READONLY;
        else if (setUp && !setUpForWriting(db))
            rc = sqlite3_extended_errcode(db);
    }
    if (rc == SQLITE_OK) return db;
    *code = rc;
    *error = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close_v2(db);
    return nullptr;
}

// Opened by the window's thread at launch, where nothing may wait on the disk: the rows are read, a
// new file is set up without syncing, and a database another program holds is found (its write lock
// is asked for and let go, which writes nothing). Switching an existing database to WAL syncs: the
// writer's thread does that before its first commit. False (with the connection's error) when the
// database cannot be read or written now.
bool openWithoutSyncing(sqlite3 *db, const std::function<bool(sqlite3 *)> &loadRows) {
    Stmt q(db, "SELECT (SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'prefs'), "
               "(SELECT page_count FROM pragma_page_count)");
    if (!q || sqlite3_step(q.s) != SQLITE_ROW) return false;
    const bool table = sqlite3_column_int(q.s, 0) > 0;
    const bool empty = sqlite3_column_int(q.s, 1) == 0;
    sqlite3_finalize(q.s);
    q.s = nullptr;
    if (!table && empty && !setUpForWriting(db, false)) return false;
    if ((table || empty) && !loadRows(db)) return false;
    return exec(db, "BEGIN IMMEDIATE") && exec(db, "ROLLBACK");
}

// A connection that only reads. In a folder we may not write, a WAL database whose side files are
// gone cannot be opened the usual way; nobody can change it there, so it is read as it is.
sqlite3 *openForReading(const QString &path, bool closedCleanly) {
    const auto tryOpen = [](const QByteArray &name, int flags) -> sqlite3 * {
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READONLY | flags, nullptr) == SQLITE_OK) {
            sqlite3_busy_timeout(db, kBusyMs);
            Stmt probe(db, "SELECT 1 FROM prefs LIMIT 1");
            const int rc = probe ? sqlite3_step(probe.s) : SQLITE_ERROR;
            if (rc == SQLITE_ROW || rc == SQLITE_DONE) return db;
        }
        sqlite3_close_v2(db);
        return nullptr;
    };
    const bool logged = QFile::exists(path + QStringLiteral("-wal"));
    // A file this user may not write is read as it is too, so that no -wal or -shm is made beside it.
    const bool ours = ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
    sqlite3 *db = (closedCleanly || !ours) && !logged ? nullptr : tryOpen(path.toUtf8(), 0);
    if (!db && !logged) {
        const QByteArray uri =
            QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded).toUtf8() + "?immutable=1";
        db = tryOpen(uri, SQLITE_OPEN_URI);
    }
    return db;
}

// Bytes [at, at + len) of the data value in row rowid (len < 0: to its end), read straight into the
// bytes handed back (incremental blob I/O: the rest of the value is not read, and a statement's
// column would hold a second copy of a document of tens of megabytes). Nothing when it cannot be
// read. Inside a read transaction, so that every read of one value comes from one snapshot.
std::optional<QByteArray> readDataRow(sqlite3 *db, qint64 rowid, qint64 at, qint64 len) {
    std::optional<QByteArray> out;
    sqlite3_blob *blob = nullptr;
    if (sqlite3_blob_open(db, "main", "prefs", "value", rowid, 0, &blob) == SQLITE_OK) {
        const qint64 total = sqlite3_blob_bytes(blob);
        if (len < 0) len = total - at;
        if (at >= 0 && len >= 0 && at <= total && len <= total - at) {
            QByteArray bytes(len, Qt::Uninitialized);
            prefault(bytes);
            if (len == 0 || sqlite3_blob_read(blob, bytes.data(), int(len), int(at)) == SQLITE_OK)
                out = std::move(bytes);
        }
        sqlite3_blob_close(blob);
        return out;
    }
    sqlite3_blob_close(blob);
    // Another program stored a number or NULL there (a blob or a text opens above): its text, as a
    // launch reads it. A few bytes at most.
    Stmt q(db, "SELECT value FROM prefs WHERE rowid = ?1 AND typeof(value) NOT IN ('blob', 'text')");
    if (!q) return out;
    sqlite3_bind_int64(q.s, 1, rowid);
    if (sqlite3_step(q.s) != SQLITE_ROW) return out;
    const QByteArray whole = std::get<QByteArray>(storedValue("data", q.s, 0));
    if (len < 0) len = whole.size() - at;
    if (at >= 0 && len >= 0 && at <= whole.size() && len <= whole.size() - at) out = whole.mid(at, len);
    return out;
}

std::optional<QByteArray> readBlobRange(sqlite3 *db, const QString &key, qint64 at, qint64 len) {
    // One read transaction: a write committed between finding the row and reading it (a value
    // written anew gets a new row) cannot come between.
    const ReadTransaction t(db);
    std::optional<qint64> row;
    if (!t.open || !findDataRow(db, key, row) || !row) return std::nullopt;
    return readDataRow(db, *row, at, len);
}

bool readSnapshot(sqlite3 *db, const QString &key, PrefsCommitGate &gate,
                  const std::function<void(const PrefsSnapshot &, std::optional<qint64> row)> &read) {
    for (int look = 0; look <= kLooks; ++look) {
        // The last look waits for the commit in flight and reads under the lock, where no commit
        // comes between: for when the rowids could not tell (the table wiped) or commits kept coming.
        const bool last = look == kLooks;
        std::unique_lock held(gate.lock, std::defer_lock);
        if (last) {
            held.lock();
            gate.settledChanged.wait(held, [&] { return !gate.flight; });
        }
        const PrefsGateLook before =
            last ? PrefsGateLook::underLock(gate, key) : PrefsGateLook::of(gate, key);
        const ReadTransaction t(db);
        std::optional<qint64> row;
        if (!t.open || !findDataRow(db, key, row)) return false; // its first read took the snapshot
        if (!last) runPrefsLookHook(look);
        const PrefsGateLook after = last ? before : PrefsGateLook::of(gate, key);
        if (const std::optional<PrefsSnapshot> snapshot = snapshotBetween(before, after, row)) {
            read(*snapshot, row);
            return true;
        }
    }
    return false;
}

// The same with the splices that the disk may not hold yet put on top.
std::optional<QByteArray> readStored(sqlite3 *db, const QString &key, qint64 at, qint64 len,
                                     const std::vector<PrefsPendingSplices> *pending, PrefsCommitGate &gate) {
    if (!pending || pending->empty()) return readBlobRange(db, key, at, len);
    std::optional<QByteArray> out;
    readSnapshot(db, key, gate, [&](const PrefsSnapshot &snapshot, std::optional<qint64> row) {
        if (!row) return;
        out = readThroughSplices(snapshot.heldUpTo, *pending, at, len,
                                 [&](qint64 a, qint64 n) { return readDataRow(db, *row, a, n); });
    });
    return out;
}

bool checkpointBy(sqlite3 *db, const Deadline &deadline) {
    // What is left as the deadline's clock counts it, passed in real time: the checkpoint copies pages
    // and syncs the main file, and only another thread can stop it (it gives up at its next page).
    const qint64 leftMs = deadline.remainingMs();
    // Not begun when it would likely be cut short: its syncs cannot be stopped once begun, and a cut
    // one leaves the -wal file as it was all the same.
    const qint64 wal = QFileInfo(QString::fromUtf8(sqlite3_db_filename(db, "main")) + QStringLiteral("-wal")).size();
    if (leftMs < kCheckpointLeadMs + wal / kCheckpointBytesPerMs) return false;
    std::mutex m;
    std::condition_variable cv;
    bool over = false;
    std::thread watch([&] {
        std::unique_lock l(m);
        if (!cv.wait_for(l, std::chrono::milliseconds(leftMs), [&] { return over; })) sqlite3_interrupt(db);
    });
    const int rc = sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    {
        std::lock_guard l(m);
        over = true;
    }
    cv.notify_all();
    watch.join();
    return rc == SQLITE_OK;
}

bool lockTaken(const QString &path) {
    int code = 0;
    QString error;
    sqlite3 *db = openForWriting(path, 0, &code, &error, false);
    if (!db) return isBusy(code);
    // Closing it must not move the -wal file: that waits for the disk.
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    const int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) exec(db, "ROLLBACK");
    sqlite3_close_v2(db);
    return isBusy(rc);
}

} // namespace PrefsDb

std::optional<QString> Prefs::peekString(const QString &path, const QString &key) {
    if (!QFileInfo(path).isFile()) return std::nullopt;
    sqlite3 *db = nullptr;
    std::optional<QString> out;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 200);
        Stmt q(db, "SELECT value FROM prefs WHERE key = ?1 AND type = 'string'");
        const QByteArray k = key.toUtf8();
        if (q) {
            sqlite3_bind_text(q.s, 1, k.constData(), int(k.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(q.s) == SQLITE_ROW)
                if (const auto *v = reinterpret_cast<const char *>(sqlite3_column_text(q.s, 0)))
                    out = QString::fromUtf8(v);
        }
    }
    sqlite3_close_v2(db);
    return out;
}

void Prefs::openDatabase() {
    int code = SQLITE_OK;
    QString error;
    // Nothing here writes: the window's thread reads the rows and leaves setting the file up for
    // writing to the writer, so a slow disk never holds the launch.
    const auto openWritable = [&]() -> sqlite3 * {
        sqlite3 *db = openForWriting(path_, kOpenWaitMs, &code, &error, false);
        if (db && !openWithoutSyncing(db, [this](sqlite3 *d) { return loadRows(d, false); })) {
            code = sqlite3_extended_errcode(db);
            sqlite3_close_v2(db);
            db = nullptr;
        }
        return db;
    };
    sqlite3 *db = openWritable();
    if (!db && (primaryCode(code) == SQLITE_NOTADB || primaryCode(code) == SQLITE_CORRUPT)) {
        // Only a file that is not a readable database goes aside; a locked or read-only one is the
        // user's good data and stays where it is.
        moveAside();
        db = openWritable();
    }
    openError_ = code;
    if (db) {
        access_ = Access::Writable;
        // Opened (and reading) before this connection closes, so that closing it is not the last
        // close of a WAL database, which would checkpoint and sync here.
        sqlite3 *reader = nullptr;
        if (sqlite3_open_v2(path_.toUtf8().constData(), &reader, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_busy_timeout(reader, kBusyMs);
            exec(reader, "SELECT 1 FROM sqlite_master LIMIT 1");
            reader_ = reader;
        } else {
            sqlite3_close_v2(reader);
        }
        canDrop_ = reader_ != nullptr;
        sqlite3_close_v2(db);
        startWriter(nullptr); // opens and sets up its own connection on its thread
        return;
    }
    cache_.clear();
    foreign_.clear();
    if (isBusy(code)) {
        // Another program holds the database: show what it holds (all of it in memory, as reading
        // it back may be refused for as long as the lock stays), and write once the lock goes.
        access_ = Access::Locked;
        sqlite3 *ro = openForReading(path_);
        const bool read = ro && loadRows(ro, true);
        sqlite3_close_v2(ro);
        if (!read) {
            cache_.clear();
            foreign_.clear();
            if (!loadSnapshot())
                qWarning("mivo: the preferences database at %s is locked and cannot be read",
                         qPrintable(path_));
        }
        qWarning("mivo: the preferences database at %s is locked by another program; changes are saved "
                 "once it lets go",
                 qPrintable(path_));
        saveWaiting_ = true;
        lockMet_ = true;
        startWriter(nullptr);
        return;
    }
    if (QFileInfo::exists(path_)) {
        reader_ = openForReading(path_);
        if (reader_ && loadRows(reader_, false)) {
            access_ = Access::ReadOnly;
            canDrop_ = true;
            qWarning("mivo: the preferences database at %s is read-only; changes will not be kept",
                     qPrintable(path_));
            return;
        }
        sqlite3_close_v2(reader_);
        reader_ = nullptr;
        cache_.clear();
        foreign_.clear();
    } else if (!QFileInfo(QFileInfo(path_).absolutePath()).isWritable()) {
        access_ = Access::ReadOnly; // nothing stored yet, and nowhere to store it
        qWarning("mivo: %s cannot be created; changes will not be kept", qPrintable(path_));
        return;
    }
    access_ = Access::None;
    qWarning("mivo: cannot open the preferences database at %s (%s); settings will not be kept",
             qPrintable(path_), qPrintable(error));
}

bool Prefs::loadRows(sqlite3 *db, bool holdLarge) {
    // Large documents stay on disk until asked for: length() and typeof() read no value bytes.
    Stmt q(db, "SELECT key, type, CASE WHEN ?1 = 0 AND type = 'data' AND typeof(value) = 'blob' AND "
               "length(value) >= ?2 THEN NULL ELSE value END, typeof(value), length(value) FROM prefs");
    if (!q) return false;
    sqlite3_bind_int(q.s, 1, holdLarge ? 1 : 0);
    sqlite3_bind_int64(q.s, 2, kLargeBytes);
    QMutexLocker l(&lock_);
    int rc;
    while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
        const auto *k = reinterpret_cast<const char *>(sqlite3_column_text(q.s, 0));
        const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(q.s, 1));
        if (!k) continue; // no key: nothing of ours can ever replace it
        const QString key = QString::fromUtf8(k);
        const QByteArray type(t ? t : "");
        const int ct = sqlite3_column_type(q.s, 2);
        const auto bytes = [&] {
            const void *blob = sqlite3_column_blob(q.s, 2);
            return QByteArray(static_cast<const char *>(blob), blob ? sqlite3_column_bytes(q.s, 2) : 0);
        };
        Entry e;
        if (type == "data") {
            const auto *storage = reinterpret_cast<const char *>(sqlite3_column_text(q.s, 3));
            e.onDisk = ct == SQLITE_NULL && qstrcmp(storage, "blob") == 0;
            e.v = e.onDisk ? Value(QByteArray()) : storedValue(type, q.s, 2);
            e.size = e.onDisk ? sqlite3_column_int64(q.s, 4) : 0;
        } else if (knownType(type)) {
            e.v = storedValue(type, q.s, 2);
        } else {
            // A type we do not know ("json", "DATA", "blob", written by something else): not shown to
            // the app, and copied aside before anything of ours replaces it.
            foreign_[key] = RawRow{type, ct, bytes()};
            continue;
        }
        cache_[key] = std::move(e);
    }
    return rc == SQLITE_DONE;
}

bool Prefs::loadSnapshot() {
    // The lock keeps even readers out. The file as it is, with its rollback journal when there is one,
    // opened as a copy, gives the last committed state: SQLite rolls the copy's journal back.
    QTemporaryDir tmp;
    if (!tmp.isValid()) return false;
    const QString copy = tmp.filePath(QStringLiteral("snapshot.sqlite3"));
    if (!QFile::copy(path_, copy)) return false;
    for (const char *sfx : {"-journal", "-wal"}) {
        const QString side = path_ + QString::fromLatin1(sfx);
        if (QFile::exists(side)) QFile::copy(side, copy + QString::fromLatin1(sfx));
    }
    sqlite3 *db = nullptr;
    bool ok = sqlite3_open_v2(copy.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
              loadRows(db, true);
    sqlite3_close_v2(db);
    return ok;
}

void Prefs::moveAside() {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString target = path_ + QStringLiteral(".unreadable-") + stamp;
    if (QFile::exists(path_) && QFile::rename(path_, target)) setAside_ = target;
    for (const char *sfx : {"-wal", "-shm"}) {
        const QString side = path_ + QString::fromLatin1(sfx);
        if (QFile::exists(side)) QFile::rename(side, target + QString::fromLatin1(sfx));
    }
    if (!setAside_.isEmpty()) {
        qWarning("mivo: the preferences database could not be read; kept as %s", qPrintable(setAside_));
        DataNotices::get().add({QString(), setAside_, path_});
    }
}
