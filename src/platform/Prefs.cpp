#include "platform/Prefs.h"

#include "platform/DataNotices.h"
#include "platform/Prefault.h"
#include "platform/PrefsSql.h"
#include "platform/PrefsWriter.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>
#include <limits>
#include <vector>

namespace {
Prefs *g_installed = nullptr;

// How long the final commit at quit keeps trying while another process holds the database locked
// (each try also waits the connection's busy time-out).
constexpr int kFinalCommitRetryMs = 3000;
// The writer's connection waits this long for another process's lock before a try fails.
constexpr int kWriterBusyMs = 1000;
// A launch waits this long for another program's lock before it shows the data read-only.
constexpr int kOpenWaitMs = 1500;
// flush() and replace() wait at most this long for the writer.
constexpr int kFlushWaitMs = 5000;
constexpr int kReplaceWaitMs = 3000;
// Splices of one value waiting for the disk, in bytes, beyond which the value is held whole instead
// (at least the value's own size).
constexpr qint64 kPendingSpliceBytes = 16 << 20;

using namespace PrefsSql;

int primaryCode(int code) {
    return code & 0xff;
}

// A write that stores what is already there changes nothing; NaN counts as equal to NaN.
bool sameValue(const Prefs::Value &a, const Prefs::Value &b) {
    if (a.index() != b.index()) return false;
    if (auto da = std::get_if<double>(&a)) {
        const double db = std::get<double>(b);
        return (std::isnan(*da) && std::isnan(db)) || *da == db;
    }
    return a == b;
}

qint64 clampToInt(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.2e18) return std::numeric_limits<qint64>::max();
    if (d <= -9.2e18) return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d); // cut towards zero, as the platform's integer read does
}

// Leading number of a string, as the platform's loose numeric read takes it ("12abc" is 12, "x" is 0).
double leadingNumber(const QString &s) {
    const QByteArray b = s.trimmed().toUtf8();
    if (b.isEmpty()) return 0;
    char *end = nullptr;
    double d = std::strtod(b.constData(), &end);
    if (end == b.constData()) return 0;
    return d;
}

// The log in WAL mode and the table in place: writes that wait on the disk (switching a database to
// WAL, or creating the table, syncs the file), so only the writer's thread does them.
// A new, empty file has nothing to lose: it is set up without syncing (syncs false), wherever it is.
bool setUpForWriting(sqlite3 *db, bool syncs = true) {
    return exec(db, syncs ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=OFF") &&
           exec(db, "PRAGMA journal_mode=WAL") &&
           exec(db, "CREATE TABLE IF NOT EXISTS prefs(key TEXT PRIMARY KEY NOT NULL, type TEXT NOT NULL, value)");
}

// A connection that may write, set up for writing when setUp says so. Null (code and error set) when
// the file cannot be written now.
sqlite3 *openForWriting(const QString &path, int busyMs, int *code, QString *error, bool setUp = true) {
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
sqlite3 *openForReading(const QString &path, bool closedCleanly = false) {
    const auto tryOpen = [](const QByteArray &name, int flags) -> sqlite3 * {
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READONLY | flags, nullptr) == SQLITE_OK) {
            sqlite3_busy_timeout(db, kWriterBusyMs);
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

// Bytes [at, at + len) of key's stored data value (len < 0: to its end), read straight into the bytes
// handed back (incremental blob I/O: the rest of the value is not read, and a statement's column
// would hold a second copy of a document of tens of megabytes). Nothing when it cannot be read.
std::optional<QByteArray> readBlobRange(sqlite3 *db, const QString &key, qint64 at, qint64 len) {
    // One read transaction: a write committed between finding the row and reading it (a value
    // written anew gets a new row) cannot come between.
    if (!exec(db, "BEGIN")) return std::nullopt;
    struct End {
        sqlite3 *db;
        ~End() { exec(db, "COMMIT"); }
    } end{db};
    Stmt q(db, "SELECT rowid FROM prefs WHERE key = ?1 AND type = 'data'");
    if (!q) return std::nullopt;
    q.text(1, key.toUtf8());
    if (sqlite3_step(q.s) != SQLITE_ROW) return std::nullopt;
    const sqlite3_int64 rowid = sqlite3_column_int64(q.s, 0);
    sqlite3_reset(q.s);
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
    }
    sqlite3_blob_close(blob);
    return out;
}

// The same with the splices that the disk may not hold yet put on top.
std::optional<QByteArray> readStored(sqlite3 *db, const QString &key, qint64 at, qint64 len,
                                     const std::vector<PrefsPendingSplices> *pending, PrefsCommitGate &gate) {
    if (!pending || pending->empty()) return readBlobRange(db, key, at, len);
    return readThroughSplices(gate, *pending, at, len,
                              [&](qint64 a, qint64 n) { return readBlobRange(db, key, a, n); });
}
} // namespace

const char *prefsTypeName(const Prefs::Value &v) {
    return PrefsSql::typeName(v);
}

Prefs::Prefs(const QString &path, QObject *parent) : QObject(parent), path_(path) {
    openDatabase();
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { flush(); });
}

Prefs::~Prefs() {
    if (!close())
        qWarning("mivo: could not save settings to %s: %s", qPrintable(path_), qPrintable(lastErrorText_));
    if (g_installed == this) g_installed = nullptr;
}

Prefs &Prefs::get() {
    if (g_installed) return *g_installed;
    static Prefs *def = new Prefs(defaultPath()); // lives until exit; flushed on aboutToQuit
    return *def;
}

void Prefs::install(Prefs *prefs) {
    g_installed = prefs;
}

QString Prefs::defaultPath() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base + QStringLiteral("/mivo/mivo.sqlite3");
}

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
            sqlite3_busy_timeout(reader, kWriterBusyMs);
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
        if (type == "bool") {
            e.v = Value(sqlite3_column_int64(q.s, 2) != 0);
        } else if (type == "int") {
            e.v = Value(static_cast<qint64>(sqlite3_column_int64(q.s, 2)));
        } else if (type == "double") {
            // SQLite keeps NaN as NULL.
            e.v = Value(ct == SQLITE_NULL ? std::numeric_limits<double>::quiet_NaN()
                                          : sqlite3_column_double(q.s, 2));
        } else if (type == "string") {
            const auto *v = reinterpret_cast<const char *>(sqlite3_column_text(q.s, 2));
            e.v = Value(QString::fromUtf8(v ? v : ""));
        } else if (type == "data") {
            const auto *storage = reinterpret_cast<const char *>(sqlite3_column_text(q.s, 3));
            e.onDisk = ct == SQLITE_NULL && qstrcmp(storage, "blob") == 0;
            e.v = Value(e.onDisk ? QByteArray() : bytes());
            e.size = e.onDisk ? sqlite3_column_int64(q.s, 4) : 0;
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

void Prefs::startWriter(sqlite3 *db) {
    PrefsWriter::Hooks hooks;
    hooks.open = [this](int *code, QString *error) {
        sqlite3 *db = openForWriting(path_, kWriterBusyMs, code, error);
        if (db) access_ = Access::Writable;
        return db;
    };
    hooks.committed = [this](const PrefsBatch &b, const PrefsCommit &c) { afterCommit(b, c); };
    hooks.failed = [this](const PrefsCommit &c) { reportFailure(c); };
    writer_ = std::make_unique<PrefsWriter>(db, std::move(hooks), gate_);
    writer_->start();
}

// On the writer's thread, right after a commit.
void Prefs::afterCommit(const PrefsBatch &b, const PrefsCommit &c) {
    if (c.drained && lockMet_.exchange(false))
        QMetaObject::invokeMethod(
            this,
            [this] {
                // Saved once nothing is left, here or with the writer; otherwise the next commit
                // tells (armed before looking, so a commit in between is not missed).
                lockMet_ = true;
                if (hasPending()) return;
                lockMet_ = false;
                setSaveWaiting(false);
            },
            Qt::QueuedConnection);
    QMutexLocker l(&lock_);
    const quint64 committedBefore = onDiskSeq_;
    if (b.clear) foreign_.clear();
    for (const auto &[key, aside] : c.keptAside) {
        qWarning("mivo: %s had a type this version cannot read; kept as %s", qPrintable(key),
                 qPrintable(aside));
        if (auto f = foreign_.find(key); f != foreign_.end()) foreign_[aside] = f->second;
    }
    onDiskSeq_ = std::max(onDiskSeq_, b.seq);
    for (const auto &[key, v] : b.writes) {
        foreign_.erase(key);
        if (auto it = cache_.find(key); it != cache_.end()) dropIfOnDisk(key, it->second);
    }
    // What another program wrote in place of a value this session spliced stays, as it is stored,
    // and its store is told (it saves whole, or reads the value again).
    bool replaced = false;
    for (const auto &[key, found] : c.refused) {
        auto it = cache_.find(key);
        if (it == cache_.end()) continue;
        // A whole write of ours follows (it keeps the other program's value aside before it replaces
        // it), or the store has settled this already, after these splices were made.
        if (!it->second.onDisk || it->second.replacedAt > b.seq) continue;
        markReplaced(key, it->second, found, committedBefore);
        replaced = true;
    }
    if (replaced) QMetaObject::invokeMethod(this, [this] { settleReplaced(); }, Qt::QueuedConnection);
    for (const auto &[key, aside] : c.replacedAside) {
        qWarning("mivo: %s was changed by another program; its value is kept as %s", qPrintable(key),
                 qPrintable(aside));
        // Told once the loop runs (the notices belong to the window's thread).
        QMetaObject::invokeMethod(
            this,
            [key, aside, path = path_] {
                DataNotices::get().add({key, aside, path, DataNotice::Kind::otherProgramsValueKept});
            },
            Qt::QueuedConnection);
    }
    // Splices the disk holds now are read from there.
    for (const auto &kv : b.splices) {
        auto it = cache_.find(kv.first);
        if (it == cache_.end() || !it->second.pending) continue;
        auto left = std::make_shared<std::vector<PrefsPendingSplices>>();
        for (const PrefsPendingSplices &p : *it->second.pending)
            if (p.seq > b.seq) left->push_back(p);
        it->second.pending = left->empty() ? nullptr : std::move(left);
    }
}

// Called with lock_ held. Bytes on disk need not stay in memory too: documents a store holds, and
// large values. A value written after the last commit is not on disk yet and stays.
void Prefs::dropIfOnDisk(const QString &key, Entry &e) const {
    if (!canDrop_ || e.onDisk || e.seq > onDiskSeq_) return;
    const auto *bytes = std::get_if<QByteArray>(&e.v);
    if (bytes && (bytes->size() >= kLargeBytes || released_.count(key))) {
        e.size = bytes->size();
        e.v = QByteArray();
        e.onDisk = true;
    }
}

// On the writer's thread, when a round fails after the last one went through.
void Prefs::reportFailure(const PrefsCommit &c) {
    const bool locked = isBusy(c.code);
    lockMet_ = locked;
    qWarning("mivo: could not save settings (will try again): %s", qPrintable(c.error));
    QMetaObject::invokeMethod(
        this,
        [this, locked, message = c.error] {
            // Another program's lock is a wait, not a failure: nothing for the user to mend.
            setSaveWaiting(locked);
            if (locked) return;
            lastErrorText_ = message;
            emit writeFailed(message);
        },
        Qt::QueuedConnection);
}

void Prefs::setSaveWaiting(bool waiting) {
    if (saveWaiting_ == waiting) return;
    saveWaiting_ = waiting;
    emit saveWaiting(waiting);
}

template <class F> auto Prefs::withEntry(const QString &key, F f) const {
    QMutexLocker l(&lock_);
    auto it = cache_.find(key);
    return f(it == cache_.end() ? nullptr : &it->second.v);
}

bool Prefs::contains(const QString &key) const {
    QMutexLocker l(&lock_);
    return cache_.count(key) > 0;
}

bool Prefs::hasForeignRow(const QString &key) const {
    QMutexLocker l(&lock_);
    return foreign_.count(key) > 0;
}

bool Prefs::isData(const QString &key) const {
    return withEntry(key, [](const Value *v) { return v && std::holds_alternative<QByteArray>(*v); });
}

std::optional<Prefs::Value> Prefs::value(const QString &key) const {
    PendingSplices pending;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        if (it == cache_.end()) return std::nullopt;
        if (!it->second.onDisk) return it->second.v;
        pending = it->second.pending;
    }
    return Value(readFromDisk(key, pending));
}

QByteArray Prefs::data(const QString &key) const {
    PendingSplices pending;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        if (it == cache_.end()) return {};
        if (!it->second.onDisk) {
            const auto *b = std::get_if<QByteArray>(&it->second.v);
            return b ? *b : QByteArray();
        }
        pending = it->second.pending;
    }
    return readFromDisk(key, pending);
}

// Never under lock_. The stored value, checked against the digest of what this session last wrote or
// loaded there, with the pending splices the disk does not hold yet put on top; notOurs (out: the
// stored bytes) when it is another program's value.
Prefs::Read Prefs::readAsWritten(const QString &key, const PendingSplices &pending, QByteArray &out) const {
    QMutexLocker r(&readerLock_);
    sqlite3 *db = reader_ ? reader_ : openForReading(path_, true);
    if (!db) return Read::failed;
    Read result = Read::failed;
    {
        // No commit comes between the read and what it is checked against.
        std::lock_guard g(gate_->lock);
        if (std::optional<QByteArray> disk = readBlobRange(db, key, 0, -1)) {
            out = std::move(*disk);
            const auto known = gate_->known.find(key);
            result = known != gate_->known.end() && PrefsDigest::of(out) != known->second.digest ? Read::notOurs
                                                                                               : Read::ok;
            if (result == Read::ok && pending)
                for (const PrefsPendingSplices &p : *pending) {
                    if (p.seq <= gate_->committed) continue;
                    if (out.size() != p.sizeBefore || !applySplices(out, p.splices)) {
                        result = Read::failed;
                        break;
                    }
                }
        }
    }
    if (db != reader_) sqlite3_close_v2(db);
    return result;
}

// Never under lock_: the window's thread must not wait for another thread's read.
QByteArray Prefs::readFromDisk(const QString &key, const PendingSplices &pending) const {
    QMutexLocker r(&readerLock_);
    sqlite3 *db = reader_ ? reader_ : openForReading(path_, true);
    if (!db) {
        qWarning("mivo: cannot read %s back from %s", qPrintable(key), qPrintable(path_));
        return {};
    }
    QByteArray out = readStored(db, key, 0, -1, pending.get(), *gate_).value_or(QByteArray());
    if (db != reader_) sqlite3_close_v2(db);
    return out;
}

bool Prefs::isBool(const QString &key) const {
    return withEntry(key, [](const Value *v) { return v && std::holds_alternative<bool>(*v); });
}

bool Prefs::boolValue(const QString &key) const {
    return withEntry(key, [](const Value *p) {
        if (!p) return false;
        const Value &v = *p;
        if (auto b = std::get_if<bool>(&v)) return *b;
        if (auto i = std::get_if<qint64>(&v)) return *i != 0;
        if (auto d = std::get_if<double>(&v)) return *d != 0 && !std::isnan(*d);
        if (auto s = std::get_if<QString>(&v)) {
            const QString t = s->trimmed().toLower();
            if (t == QLatin1String("yes") || t == QLatin1String("true")) return true;
            return leadingNumber(t) != 0;
        }
        return false;
    });
}

namespace {
double asDouble(const Prefs::Value *p) {
    if (!p) return 0;
    const Prefs::Value &v = *p;
    if (auto b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    if (auto i = std::get_if<qint64>(&v)) return static_cast<double>(*i);
    if (auto d = std::get_if<double>(&v)) return *d;
    if (auto s = std::get_if<QString>(&v)) return leadingNumber(*s);
    return 0;
}
} // namespace

double Prefs::doubleValue(const QString &key) const {
    return withEntry(key, asDouble);
}

qint64 Prefs::integer(const QString &key) const {
    return withEntry(key, [](const Value *p) {
        if (!p) return qint64(0);
        if (auto i = std::get_if<qint64>(p)) return *i;
        return clampToInt(asDouble(p));
    });
}

std::optional<QString> Prefs::string(const QString &key) const {
    return withEntry(key, [](const Value *p) -> std::optional<QString> {
        if (!p) return std::nullopt;
        const Value &v = *p;
        if (auto s = std::get_if<QString>(&v)) return *s;
        if (auto b = std::get_if<bool>(&v)) return QString::number(*b ? 1 : 0);
        if (auto i = std::get_if<qint64>(&v)) return QString::number(*i);
        if (auto d = std::get_if<double>(&v)) return QString::number(*d, 'g', 17);
        return std::nullopt;
    });
}

bool Prefs::switchOn(const QString &key) const {
    return withEntry(key, [](const Value *p) {
        const auto *b = p ? std::get_if<bool>(p) : nullptr;
        return b ? *b : true;
    });
}

QStringList Prefs::keys() const {
    QMutexLocker l(&lock_);
    QStringList out;
    out.reserve(int(cache_.size()));
    for (const auto &kv : cache_)
        out << kv.first;
    return out;
}

void Prefs::setValue(const QString &key, const Value &v) {
    quint64 seq = 0;
    if (frozen_) return;
    if (closed_) {
        qWarning("mivo: %s written after the final commit; not kept", qPrintable(key));
        return;
    }
    {
        QMutexLocker l(&lock_);
        // The timer, steppers and switches store values that often have not changed: nothing to write.
        auto it = cache_.find(key);
        if (it != cache_.end() && !it->second.onDisk && sameValue(it->second.v, v)) return;
        seq = ++seq_;
        cache_[key] = Entry{v, false, seq, 0, {}};
    }
    stage(key, v, seq);
}

void Prefs::remove(const QString &key) {
    if (frozen_ || closed_) return;
    quint64 seq = 0;
    {
        QMutexLocker l(&lock_);
        if (!cache_.count(key) && !foreign_.count(key)) return; // nothing stored, nothing to delete
        cache_.erase(key);
        seq = ++seq_;
    }
    stage(key, std::nullopt, seq);
}

void Prefs::clear() {
    if (frozen_ || closed_) return;
    {
        // Erasing everything is what the user asked for: unknown rows go too.
        QMutexLocker l(&lock_);
        foreign_.clear();
        cache_.clear();
    }
    staged_ = PrefsBatch();
    staged_.clear = true;
    staged_.seq = ++seq_;
    schedule();
}

void Prefs::stage(const QString &key, const std::optional<Value> &v, quint64 seq) {
    staged_.splices.erase(key); // the write replaces the value whole
    staged_.writes[key] = v;
    staged_.seq = std::max(staged_.seq, seq);
    schedule();
}

PrefsBatch Prefs::replacementOf(const std::map<QString, Value> &values, UnknownRows unknown) {
    PrefsBatch b;
    b.clear = true;
    b.keepUnknown = unknown == UnknownRows::keep;
    for (const auto &kv : values)
        b.writes[kv.first] = kv.second;
    b.seq = ++seq_;
    return b;
}

// Any thread, once the replacement is committed: memory changes only once the disk has, so a
// replacement that fails leaves both as they were.
void Prefs::adoptReplacement(const PrefsBatch &b, const PrefsCommit &c) {
    QMutexLocker l(&lock_);
    if (!b.keepUnknown) foreign_.clear();
    for (const auto &[key, aside] : c.keptAside)
        if (auto f = foreign_.find(key); f != foreign_.end()) foreign_[aside] = f->second;
    for (const auto &kv : b.writes)
        foreign_.erase(kv.first);
    cache_.clear();
    onDiskSeq_ = std::max(onDiskSeq_, b.seq);
    for (const auto &[key, v] : b.writes) {
        if (!v) continue;
        Entry &e = cache_[key];
        e = Entry{*v, false, b.seq, 0, {}};
        dropIfOnDisk(key, e);
    }
}

bool Prefs::replace(const std::map<QString, Value> &values, UnknownRows unknown) {
    if (frozen_ || closed_ || replacing_) return false;
    handOver(); // what was written before comes first
    if (!writer_) {
        lastErrorText_ = QStringLiteral("the database cannot be written");
        return false;
    }
    const PrefsCommit c =
        writer_->replace(replacementOf(values, unknown), kReplaceWaitMs,
                         [this](const PrefsBatch &b, const PrefsCommit &done) { adoptReplacement(b, done); });
    if (!c.ok) {
        lastErrorText_ = c.error;
        qWarning("mivo: could not replace the data: %s", qPrintable(c.error));
        return false;
    }
    return true;
}

void Prefs::replaceLater(const std::map<QString, Value> &values, QObject *context,
                         std::function<void(bool ok, const QString &error)> done, UnknownRows unknown) {
    QPointer<QObject> ctx(context);
    const auto answer = [this, ctx, done](bool ok, const QString &error) {
        QMetaObject::invokeMethod(
            this,
            [ctx, done, ok, error] {
                if (ctx) done(ok, error);
            },
            Qt::QueuedConnection);
    };
    if (frozen_ || closed_ || replacing_ || !writer_) {
        lastErrorText_ = replacing_ ? QStringLiteral("another replacement is in progress")
                                    : QStringLiteral("the database cannot be written");
        answer(false, lastErrorText_);
        return;
    }
    handOver(); // what was written before comes first
    replacing_ = true;
    writer_->replaceLater(replacementOf(values, unknown), kReplaceWaitMs,
                          [this, answer](const PrefsBatch &b, const PrefsCommit &c) {
                              if (c.ok) adoptReplacement(b, c);
                              QMetaObject::invokeMethod(
                                  this,
                                  [this, ok = c.ok, error = c.error] {
                                      replacing_ = false;
                                      if (ok) {
                                          staged_ = PrefsBatch(); // replaced, with everything else
                                      } else {
                                          lastErrorText_ = error;
                                          qWarning("mivo: could not replace the data: %s", qPrintable(error));
                                          handOver();
                                      }
                                  },
                                  Qt::QueuedConnection);
                              answer(c.ok, c.error);
                          });
}

void Prefs::releaseBytes(const QString &key) {
    QMutexLocker l(&lock_);
    released_.insert(key);
    // Not yet on disk: dropped once the writer has committed it.
    if (auto it = cache_.find(key); it != cache_.end()) dropIfOnDisk(key, it->second);
}

// Called with lock_ held.
QString Prefs::uniqueAsideKey(const QString &key) const {
    return freeKeptAsideKey(
        key, [this](const QString &name) { return cache_.count(name) || foreign_.count(name); });
}

QString Prefs::keepAside(const QString &key, bool *madeNew) {
    if (madeNew) *madeNew = false;
    const QString prefix = keptAsidePrefix(key);
    QStringList copies;
    {
        QMutexLocker l(&lock_);
        if (auto f = foreign_.find(key); f != foreign_.end()) {
            for (auto it = foreign_.lower_bound(prefix); it != foreign_.end() && it->first.startsWith(prefix);
                 ++it)
                if (it->second == f->second) return it->first;
            if (!writer_ || closed_) return {};
            // Copied inside the database, so type and value stay exactly as they were stored; the
            // writer makes the copy before any later write replaces the row.
            const QString aside = uniqueAsideKey(key);
            foreign_[aside] = f->second;
            l.unlock();
            staged_.copies.emplace_back(key, aside);
            staged_.seq = ++seq_;
            schedule();
            if (madeNew) *madeNew = true;
            return aside;
        }
        for (auto it = cache_.lower_bound(prefix); it != cache_.end() && it->first.startsWith(prefix); ++it)
            copies << it->first;
    }
    auto v = value(key);
    if (!v) return {};
    for (const QString &c : copies)
        if (auto kept = value(c); kept && sameValue(*kept, *v)) return c;
    QString aside;
    {
        QMutexLocker l(&lock_);
        aside = uniqueAsideKey(key);
    }
    const bool wasFrozen = frozen_;
    frozen_ = false;
    setValue(aside, *v); // committed before the store's next save, which comes later in order
    frozen_ = wasFrozen;
    if (!contains(aside)) return {};
    if (madeNew) *madeNew = true;
    return aside;
}

void Prefs::schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        scheduled_ = false;
        handOver();
    });
}

void Prefs::handOver() {
    // Writes made while a replacement is tried wait for its result.
    if (staged_.empty() || replacing_) return;
    PrefsBatch b = std::move(staged_);
    staged_ = PrefsBatch();
    if (writer_) {
        writer_->submit(std::move(b));
    } else if (access_ == Access::None) {
        // Nowhere to write: the values live in memory only, and the user is told. (A read-only
        // session was told once when it started.)
        lastErrorText_ = QStringLiteral("the database could not be opened");
        emit writeFailed(lastErrorText_);
    }
}

bool Prefs::hasPending() const {
    return !staged_.empty() || (writer_ && writer_->hasPending());
}

bool Prefs::flush() {
    const bool had = !staged_.empty();
    handOver();
    if (!writer_) return !had;
    PrefsCommit c = writer_->flush(kFlushWaitMs);
    // A value found to be another program's is settled by its store now, and what that writes is
    // part of this flush.
    if (settleReplaced()) {
        handOver();
        c = writer_->flush(kFlushWaitMs);
    }
    if (!c.ok) lastErrorText_ = c.error;
    return c.ok;
}

bool Prefs::close() {
    if (closed_) return true;
    int retryMs = kFinalCommitRetryMs;
    if (writer_ && !frozen_) {
        // The last rounds may find a value another program wrote: its store settles it while it can
        // still write. The time this takes counts towards the final commit's.
        QElapsedTimer spent;
        spent.start();
        handOver();
        writer_->flush(kFinalCommitRetryMs);
        settleReplaced();
        retryMs = int(std::max<qint64>(kWriterBusyMs, kFinalCommitRetryMs - spent.elapsed()));
    }
    const bool had = hasPending();
    closed_ = true;
    {
        // The writer's connection must be the last one, so that closing it removes the side files.
        QMutexLocker r(&readerLock_);
        sqlite3_close_v2(reader_);
        reader_ = nullptr;
    }
    bool ok = true;
    if (writer_) {
        writer_->submit(std::move(staged_));
        const PrefsCommit c = writer_->finish(retryMs);
        if (!c.ok) lastErrorText_ = c.error;
        ok = c.ok;
        writer_.reset();
    } else if (had && access_ == Access::None) {
        ok = false;
        lastErrorText_ = QStringLiteral("the database could not be opened");
    }
    staged_ = PrefsBatch();
    return ok;
}

std::function<std::optional<Prefs::Value>()> Prefs::readLater(const QString &key) const {
    PendingSplices pending;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        if (it == cache_.end()) return [] { return std::optional<Value>(); };
        if (!it->second.onDisk) return [v = it->second.v] { return std::optional<Value>(v); };
        pending = it->second.pending;
    }
    return [path = path_, key, pending, gate = gate_]() -> std::optional<Value> {
        sqlite3 *db = openForReading(path);
        if (!db) {
            qWarning("mivo: cannot read %s back from %s", qPrintable(key), qPrintable(path));
            return std::nullopt;
        }
        auto bytes = readStored(db, key, 0, -1, pending.get(), *gate);
        sqlite3_close_v2(db);
        if (!bytes) return std::nullopt;
        return Value(std::move(*bytes));
    };
}

std::optional<quint64> Prefs::version(const QString &key) const {
    QMutexLocker l(&lock_);
    auto it = cache_.find(key);
    if (it == cache_.end()) return std::nullopt;
    return it->second.seq;
}

std::optional<QByteArray> Prefs::readRange(const QString &key, qint64 at, qint64 len, quint64 version) const {
    if (at < 0 || len < 0) return std::nullopt;
    PendingSplices pending;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        if (it == cache_.end() || it->second.seq != version) return std::nullopt;
        if (!it->second.onDisk) {
            const auto *b = std::get_if<QByteArray>(&it->second.v);
            if (!b || at + len > b->size()) return std::nullopt;
            return b->mid(at, len);
        }
        pending = it->second.pending;
    }
    // On disk, the value is the one that write committed, with its pending splices on top: only this
    // thread writes, and a newer write would be held in memory (or as splices) until it is committed.
    QMutexLocker r(&readerLock_);
    if (!reader_) return std::nullopt;
    return readStored(reader_, key, at, len, pending.get(), *gate_);
}

std::function<std::optional<QByteArray>()> Prefs::readRangeLater(const QString &key, qint64 at, qint64 len,
                                                                 quint64 version) const {
    using Read = std::function<std::optional<QByteArray>()>;
    if (at < 0 || len < 0) return Read([] { return std::optional<QByteArray>(); });
    PendingSplices pending;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        if (it == cache_.end() || it->second.seq != version) return Read([] { return std::optional<QByteArray>(); });
        if (!it->second.onDisk) {
            const auto *b = std::get_if<QByteArray>(&it->second.v);
            if (!b || at + len > b->size()) return Read([] { return std::optional<QByteArray>(); });
            return Read([v = *b, at, len] { return std::optional<QByteArray>(v.mid(at, len)); });
        }
        pending = it->second.pending;
    }
    // Until this read, only the owner of the domain writes, and only a newer version: a caller that
    // still holds this version when the bytes arrive had them as they were.
    return Read([path = path_, key, at, len, pending, gate = gate_]() -> std::optional<QByteArray> {
        sqlite3 *db = openForReading(path);
        if (!db) return std::nullopt;
        auto bytes = readStored(db, key, at, len, pending.get(), *gate);
        sqlite3_close_v2(db);
        return bytes;
    });
}

std::optional<quint64> Prefs::spliceData(const QString &key, quint64 base, std::vector<PrefsSplice> splices) {
    if (frozen_ || closed_) return std::nullopt;
    QByteArray held;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        if (it == cache_.end() || it->second.seq != base) return std::nullopt;
        Entry &e = it->second;
        const auto *bytes = std::get_if<QByteArray>(&e.v);
        if (!bytes) return std::nullopt;
        if (splices.empty()) return base; // nothing changes, nothing is written
        const auto bytesOf = [](const std::vector<PrefsSplice> &list) {
            qint64 n = 0;
            for (const PrefsSplice &s : list) n += s.bytes.size();
            return n;
        };
        qint64 waiting = bytesOf(splices);
        if (e.pending)
            for (const PrefsPendingSplices &p : *e.pending) waiting += bytesOf(p.splices);
        // Splices that cannot reach the disk for a long while (no writer in a read-only session, or
        // another program's lock) would pile up: past a bound the value is held whole instead.
        const bool pileUp = !writer_ || waiting > std::max<qint64>(e.size, kPendingSpliceBytes);
        if (e.onDisk && pileUp) {
            const PendingSplices pending = e.pending;
            const qint64 size = e.size;
            l.unlock();
            // Only the bytes the splices were made for: a short read, or a value another program
            // wrote in their place, is never held (and so never written) as ours.
            const Read got = readAsWritten(key, pending, held);
            if (got == Read::notOurs) {
                QMutexLocker again(&lock_);
                auto now = cache_.find(key);
                if (now != cache_.end() && now->second.seq == base)
                    markReplaced(key, now->second, held.size(), onDiskSeq_);
                again.unlock();
                QTimer::singleShot(0, this, [this] { settleReplaced(); });
                return std::nullopt;
            }
            if (got != Read::ok || held.size() != size) return std::nullopt;
        } else if (e.onDisk) {
            const auto size = splicedSize(e.size, splices);
            if (!size) return std::nullopt;
            const quint64 version = ++seq_;
            auto pending = std::make_shared<std::vector<PrefsPendingSplices>>();
            if (e.pending) *pending = *e.pending;
            pending->push_back(PrefsPendingSplices{version, e.size, splices});
            e.pending = std::move(pending);
            e.size = *size;
            e.seq = version;
            l.unlock();
            auto &staged = staged_.splices[key];
            staged.insert(staged.end(), std::make_move_iterator(splices.begin()),
                          std::make_move_iterator(splices.end()));
            staged_.seq = std::max(staged_.seq, version);
            schedule();
            return version;
        } else {
            held = *bytes;
        }
    }
    // Held in memory (not yet on disk, or small): spliced there, and written whole.
    if (!applySplices(held, splices)) return std::nullopt;
    setValue(key, Value(std::move(held)));
    return version(key);
}

qint64 Prefs::pendingSpliceBytes(const QString &key) const {
    QMutexLocker l(&lock_);
    auto it = cache_.find(key);
    qint64 n = 0;
    if (it != cache_.end() && it->second.pending)
        for (const PrefsPendingSplices &p : *it->second.pending)
            for (const PrefsSplice &s : p.splices) n += s.bytes.size();
    return n;
}

// Under lock_: key's stored value is another program's (storedSize bytes, -1: none), not the one
// its splices were made for. Reads give what is stored from now on, under a new version, so that the
// store's next save finds its version gone; the splices the disk does not hold go nowhere.
void Prefs::markReplaced(const QString &key, Entry &e, qint64 storedSize, quint64 committedBefore) {
    qWarning("mivo: %s was changed by another program; Mivo's last changes to it were not written into it",
             qPrintable(key));
    const quint64 version = ++seq_;
    if (storedSize < 0) {
        cache_.erase(key);
    } else {
        e = Entry{Value(QByteArray()), true, version, storedSize, {}, version, committedBefore};
    }
    replaced_.insert(key);
}

// On this object's thread: the stores of the values found replaced are told. True when any was.
bool Prefs::settleReplaced() {
    std::set<QString> keys;
    {
        QMutexLocker l(&lock_);
        keys.swap(replaced_);
    }
    for (const QString &key : keys) emit storedValueReplaced(key);
    return !keys.empty();
}

std::optional<QByteArray> Prefs::dataAsWritten(const QString &key, quint64 version) const {
    PendingSplices pending;
    qint64 size = 0;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        if (it == cache_.end() || it->second.seq != version) return std::nullopt;
        const auto *b = std::get_if<QByteArray>(&it->second.v);
        if (!b) return std::nullopt;
        if (!it->second.onDisk) return *b;
        pending = it->second.pending;
        size = it->second.size;
    }
    QByteArray out;
    if (readAsWritten(key, pending, out) != Read::ok || out.size() != size) return std::nullopt;
    return out;
}

std::optional<quint64> Prefs::committedUpTo(const QString &key, quint64 version) const {
    QMutexLocker l(&lock_);
    auto it = cache_.find(key);
    if (it == cache_.end()) return std::nullopt;
    if (it->second.seq == version) return onDiskSeq_;
    if (version < it->second.replacedAt) return it->second.committedBefore;
    return std::nullopt;
}

void Prefs::recordLoaded(const QString &key, quint64 version, const PrefsDigest &digest) {
    if (frozen_ || closed_ || !writer_) return;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        if (it == cache_.end() || it->second.seq != version) return;
        const Entry &e = it->second;
        // The value as stored: not one with writes of ours the disk does not hold yet.
        if (e.onDisk ? bool(e.pending) : e.seq > onDiskSeq_) return;
    }
    staged_.splices.erase(key); // made for a value before the one read: void
    staged_.bases[key] = digest;
    schedule();
}

void Prefs::verifyStored(const QString &key) {
    if (frozen_ || closed_ || !writer_) return;
    staged_.splices.try_emplace(key); // no splices: only the comparison
    staged_.seq = std::max(staged_.seq, seq_.load());
    schedule();
}

QString Prefs::keepAsideData(const QString &key, const QByteArray &bytes) {
    if (frozen_ || closed_) return {};
    QString aside;
    {
        QMutexLocker l(&lock_);
        aside = uniqueAsideKey(key);
    }
    setValue(aside, Value(bytes));
    return contains(aside) ? aside : QString();
}
