#include "platform/PrefsWriter.h"

#include "platform/PrefsDb.h"
#include "platform/PrefsGate.h"
#include "platform/PrefsSql.h"
#include "platform/ScratchFile.h"
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {
using namespace PrefsSql;

// After a failed round the writer tries again after this long (sooner when someone waits for it).
constexpr int kRetryMs = 1000;
// Between tries of a replacement or of the last commit while another process holds the lock.
constexpr int kBusyPauseMs = 100;
// Inside one try, the lock is looked at again this often, for up to the connection's busy time.
constexpr int kBusyStepMs = 10;
// How many of SQLite's steps a statement takes between looks at the quit's deadline.
constexpr int kProgressSteps = 1000;

// Copies key's row aside, byte for byte, under a name no copy has had (chooseAsideKey: not stored,
// not promised by the domain for a copy of its own), unless an identical copy (same type, same
// storage, same bytes) is kept already. *aside names the copy, *made says whether this call made it.
// False on a database error.
// Named as a copy of nameAs when given (a copy of a copy is named after the value it was made of).
bool copyRowAside(sqlite3 *db, PrefsCommitGate &gate, const QString &key, QString *aside, bool *made,
                  const QString *nameAs = nullptr) {
    *made = false;
    const QString &named = nameAs ? *nameAs : key;
    const QByteArray k = key.toUtf8();
    const QByteArray prefix = keptAsidePrefix(named).toUtf8();
    Stmt same(
        db, "SELECT c.key FROM prefs c, prefs o WHERE o.key = ?1 AND substr(c.key, 1, ?3) = ?2 AND "
            "c.key <> ?1 AND c.type IS o.type AND typeof(c.value) = typeof(o.value) AND c.value IS o.value");
    if (!same) return false;
    same.text(1, k);
    same.text(2, prefix);
    sqlite3_bind_int(same.s, 3, int(prefix.size()));
    const int found = sqlite3_step(same.s);
    if (found == SQLITE_ROW) {
        *aside = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(same.s, 0)));
        return true;
    }
    if (found != SQLITE_DONE) return false;
    Stmt taken(db, "SELECT 1 FROM prefs WHERE key = ?1");
    Stmt copy(db, "INSERT INTO prefs(key, type, value) SELECT ?1, type, value FROM prefs WHERE key = ?2");
    if (!taken || !copy) return false;
    *aside = chooseAsideKey(gate, named, [&](const QString &name) {
        taken.text(1, name.toUtf8());
        return taken.step() == SQLITE_ROW;
    });
    copy.text(1, aside->toUtf8());
    copy.text(2, k);
    if (copy.step() != SQLITE_DONE) return false;
    *made = true;
    return true;
}

// A row of a type we do not know is copied aside before anything of ours replaces it, unless an
// identical copy is already kept. False on a database error.
bool keepForeignRow(sqlite3 *db, PrefsCommitGate &gate, const QString &key, PrefsCommit &out) {
    Stmt type(db, "SELECT type FROM prefs WHERE key = ?1");
    if (!type) return false;
    type.text(1, key.toUtf8());
    const int rc = sqlite3_step(type.s);
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) return false;
    const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(type.s, 0));
    if (knownType(QByteArray(t ? t : ""))) return true;
    QString aside;
    bool made = false;
    if (!copyRowAside(db, gate, key, &aside, &made)) return false;
    if (made) out.keptAside.emplace_back(key, aside);
    return true;
}

enum class Stored { data, other, none, error };
enum class Spliced { done, notFitting, dbError };

// Values are read and written in stretches of this size: no more of one is held at once.
constexpr qint64 kChunk = qint64(1) << 20;

// An open incremental-blob handle on one row's value, closed when this goes.
struct Blob {
    sqlite3_blob *b = nullptr;
    Blob(sqlite3 *db, sqlite3_int64 row, bool write) {
        if (sqlite3_blob_open(db, "main", "prefs", "value", row, write ? 1 : 0, &b) != SQLITE_OK) close();
    }
    ~Blob() { close(); }
    Blob(const Blob &) = delete;
    Blob &operator=(const Blob &) = delete;
    void close() {
        sqlite3_blob_close(b);
        b = nullptr;
    }
    qint64 size() const { return sqlite3_blob_bytes(b); }
    bool read(QByteArray &buf, qint64 at, qint64 len) const {
        buf.resize(len);
        return sqlite3_blob_read(b, buf.data(), int(len), int(at)) == SQLITE_OK;
    }
};

// Key's stored row, when it is of a type the app knows, read as a launch reads it: data, a data value
// of whatever storage class another program gave it, in bytes (a blob or a text read whole through
// incremental blob I/O: a statement's column would be a second copy of it); other: a value of another
// type (in *other when asked for); none: no row, or one of a type the app does not know.
// With blobRow, a blob or a text is not read: *blobRow is its row, for the caller to read in stretches.
Stored readStored(sqlite3 *db, const QString &key, QByteArray &bytes,
                  std::optional<PrefsValue> *other = nullptr,
                  std::optional<sqlite3_int64> *blobRow = nullptr) {
    Stmt find(db,
              "SELECT rowid, type, type = 'data' AND typeof(value) IN ('blob', 'text'), CASE WHEN type = "
              "'data' AND typeof(value) IN ('blob', 'text') THEN NULL ELSE value END FROM prefs WHERE key "
              "= ?1 AND type IN ('bool', 'int', 'double', 'string', 'data')");
    if (!find) return Stored::error;
    find.text(1, key.toUtf8());
    const int rc = sqlite3_step(find.s);
    if (rc == SQLITE_DONE) return Stored::none;
    if (rc != SQLITE_ROW) return Stored::error;
    const sqlite3_int64 row = sqlite3_column_int64(find.s, 0);
    const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(find.s, 1));
    const QByteArray type(t ? t : "");
    const bool whole = sqlite3_column_int(find.s, 2) != 0;
    if (!whole) {
        PrefsValue v = storedValue(type, find.s, 3);
        if (type == "data") {
            bytes = std::get<QByteArray>(v);
            return Stored::data;
        }
        if (other) *other = std::move(v);
        return Stored::other;
    }
    sqlite3_reset(find.s);
    if (blobRow) {
        *blobRow = row;
        return Stored::data;
    }
    const Blob blob(db, row, false);
    if (!blob.b) return Stored::error;
    return blob.read(bytes, 0, blob.size()) ? Stored::data : Stored::error;
}

// The digest of the value in row, read a stretch at a time. Nothing on a database error.
std::optional<PrefsDigest> digestRow(sqlite3 *db, sqlite3_int64 row) {
    const Blob blob(db, row, false);
    if (!blob.b) return std::nullopt;
    const qint64 size = blob.size();
    PrefsDigest::Stream d;
    QByteArray buf;
    for (qint64 at = 0; at < size; at += kChunk) {
        if (!blob.read(buf, at, std::min(kChunk, size - at))) return std::nullopt;
        d.add(buf);
    }
    return d.result();
}

// Key's stored data value (as readStored finds it) compared with digest: a blob or a text is read a
// stretch at a time. Nothing on a database error; none when there is no data value there.
std::optional<Stored> compareStored(sqlite3 *db, const QString &key, const PrefsDigest &digest, bool *same) {
    QByteArray small;
    std::optional<sqlite3_int64> row;
    const Stored s = readStored(db, key, small, nullptr, &row);
    if (s == Stored::error) return std::nullopt;
    *same = false;
    if (s != Stored::data) return s;
    if (!row) {
        *same = PrefsDigest::of(small) == digest;
        return s;
    }
    const std::optional<PrefsDigest> d = digestRow(db, *row);
    if (!d) return std::nullopt;
    *same = *d == digest;
    return s;
}

// Before a write of ours replaces key: a data value of ours that another program has changed since
// this session wrote or loaded it is copied aside, and said. False on a database error.
bool keepValueReplaced(sqlite3 *db, PrefsCommitGate &gate, const QString &key,
                       const std::map<QString, PrefsKnown> &known, PrefsCommit &out) {
    const auto it = known.find(key);
    if (it == known.end() || it->second.checked) return true;
    bool same = false;
    const std::optional<Stored> s = compareStored(db, key, it->second.digest, &same);
    if (!s) return false;
    if (*s == Stored::none || same) return true;
    QString aside;
    bool made = false;
    if (!copyRowAside(db, gate, key, &aside, &made)) return false;
    out.replacedAside.emplace_back(key, aside);
    return true;
}

// A copy kept aside is never written over: a row already under a name the domain chose for a new
// copy (another program made it meanwhile) is copied aside first. False on a database error.
bool keepEarlierCopy(sqlite3 *db, PrefsCommitGate &gate, const QString &key, PrefsCommit &out) {
    if (!isKeptAsideKey(key)) return true;
    Stmt there(db, "SELECT 1 FROM prefs WHERE key = ?1");
    if (!there) return false;
    there.text(1, key.toUtf8());
    const int rc = there.step();
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) return false;
    const QString named = key.left(key.indexOf(QLatin1String(".unreadable-")));
    QString aside;
    bool made = false;
    if (!copyRowAside(db, gate, key, &aside, &made, &named)) return false;
    if (made) out.replacedAside.emplace_back(key, aside);
    return true;
}

// Key's row of a type the app does not know, exactly as stored (as a launch keeps it). Nothing when
// there is none, or it cannot be read.
std::optional<PrefsRefused::Foreign> readForeignRow(sqlite3 *db, const QString &key) {
    Stmt q(db, "SELECT type, value FROM prefs WHERE key = ?1 AND type NOT IN ('bool', 'int', 'double', "
               "'string', 'data')");
    if (!q) return std::nullopt;
    q.text(1, key.toUtf8());
    if (sqlite3_step(q.s) != SQLITE_ROW) return std::nullopt;
    const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(q.s, 0));
    PrefsRefused::Foreign row{QByteArray(t ? t : ""), sqlite3_column_type(q.s, 1), {}};
    const void *blob = sqlite3_column_blob(q.s, 1);
    row.bytes = QByteArray(static_cast<const char *>(blob), blob ? sqlite3_column_bytes(q.s, 1) : 0);
    return row;
}

// Writes key's data value anew as the pieces make it from the value in row, never holding more than
// a stretch of it: the new row is filled through incremental blob I/O. It is a new row (a reader tells
// commits apart by rowid), written once, as a whole write is: an UPDATE, in place or of a key, would
// build the whole record in memory, and write the value's pages twice with SQLite's secure delete (on
// in Debian's build) zeroing what it frees. Key's new row can only be made once the old one is gone,
// so the old bytes the new value keeps wait meanwhile in a file with no name beside the database
// (a scratch row would be slower many times over: a write to one blob makes SQLite walk the other's
// pages from its start at every read). *after is the digest of the value written. False on an error,
// for the caller to roll the transaction back: the file's errno in *fileError when it was the file's.
bool rewriteRow(sqlite3 *db, const QString &key, sqlite3_int64 row, const std::vector<PrefsPiece> &pieces,
                PrefsDigest *after, int *fileError, const std::function<bool()> &cut) {
    qint64 newSize = 0;
    for (const PrefsPiece &p : pieces)
        newSize += p.len;
    QByteArray buf;
    const ScratchFile::Fd kept{ScratchFile::openBeside(sqlite3_db_filename(db, "main"))};
    const auto failed = [&] {
        *fileError = errno ? errno : EIO;
        return false;
    };
    if (kept.fd < 0) return failed();
    {
        const Blob from(db, row, false);
        if (!from.b) return false;
        for (const PrefsPiece &p : pieces)
            for (qint64 done = 0; !p.bytes && done < p.len;) {
                if (cut && cut()) return false;
                const qint64 n = std::min(kChunk, p.len - done);
                if (!from.read(buf, p.from + done, n)) return false;
                if (!ScratchFile::writeAll(kept.fd, buf.constData(), n)) return failed();
                done += n;
            }
    }
    if (::lseek(kept.fd, 0, SEEK_SET) != 0) return failed();
    // Replaced as a row: the old one goes (its pages zeroed), the new one has a new rowid.
    Stmt put(db, "INSERT OR REPLACE INTO prefs(key, type, value) VALUES(?1, 'data', ?2)");
    if (!put) return false;
    put.text(1, key.toUtf8());
    if (sqlite3_bind_zeroblob64(put.s, 2, sqlite3_uint64(newSize)) != SQLITE_OK || put.step() != SQLITE_DONE)
        return false;
    const Blob to(db, sqlite3_last_insert_rowid(db), true);
    if (!to.b) return false;
    PrefsDigest::Stream digest;
    qint64 at = 0;
    for (const PrefsPiece &p : pieces) {
        for (qint64 done = 0; done < p.len;) {
            if (cut && cut()) return false;
            // Bytes in memory go as they lie; those in a file, and the old ones, a chunk at a time.
            const bool inMemory = p.bytes && !p.bytes->inFile();
            const qint64 n = inMemory ? p.len : std::min(kChunk, p.len - done);
            QByteArrayView bytes;
            if (inMemory) {
                bytes = QByteArrayView(p.bytes->tail().constData() + p.from, n);
            } else if (p.bytes) {
                buf.resize(n);
                if (!p.bytes->read(p.from + done, n, buf.data())) return failed();
                bytes = buf;
            } else {
                buf.resize(n);
                if (!ScratchFile::readAll(kept.fd, buf.data(), n)) return failed();
                bytes = buf;
            }
            if (sqlite3_blob_write(to.b, bytes.data(), int(n), int(at)) != SQLITE_OK) return false;
            digest.add(bytes);
            done += n;
            at += n;
        }
    }
    *after = digest.result();
    return true;
}

// Puts splices into key's stored data value on this thread, never holding the whole of it.
// notFitting when the stored value is not one they were made for: no data value there, a value that
// is not the one known (another program wrote it), or a splice outside it; *found is then the stored
// size (-1: none). *after is the digest of the value written; *fileError is set when the error was
// one of a file of the writer's own rather than the database's.
Spliced spliceRow(sqlite3 *db, const QString &key, const std::vector<PrefsSplice> &splices,
                  const PrefsKnown *known, PrefsRefused *found, PrefsDigest *after, int *fileError,
                  const std::function<bool()> &cut) {
    found->found = -1;
    // None: only the comparison (a reader found bytes it did not expect).
    if (splices.empty() && (!known || known->checked)) {
        if (known) *after = known->digest;
        return Spliced::done;
    }
    QByteArray value;
    std::optional<sqlite3_int64> row;
    const Stored s = readStored(db, key, value, &found->value, &row);
    if (s == Stored::error) return Spliced::dbError;
    if (s == Stored::none) found->foreign = readForeignRow(db, key);
    if (s != Stored::data) return Spliced::notFitting;
    if (row) {
        qint64 size = 0;
        {
            const Blob blob(db, *row, false);
            if (!blob.b) return Spliced::dbError;
            size = blob.size();
        }
        found->found = size;
        if (known && !known->checked) {
            const std::optional<PrefsDigest> stored = digestRow(db, *row);
            if (!stored) return Spliced::dbError;
            if (*stored != known->digest) return Spliced::notFitting;
            *after = *stored;
            if (splices.empty()) return Spliced::done;
        }
        const std::optional<std::vector<PrefsPiece>> pieces = splicePieces(size, splices);
        if (!pieces) return Spliced::notFitting;
        return rewriteRow(db, key, *row, *pieces, after, fileError, cut) ? Spliced::done : Spliced::dbError;
    }
    // Another program stored a number or NULL as the value: a few bytes, spliced whole.
    found->found = value.size();
    if (known && !known->checked && PrefsDigest::of(value) != known->digest) return Spliced::notFitting;
    if (splices.empty()) {
        *after = PrefsDigest::of(value);
        return Spliced::done;
    }
    if (!applySplices(value, splices)) return Spliced::notFitting;
    *after = PrefsDigest::of(value);
    Stmt put(db, "INSERT OR REPLACE INTO prefs(key, type, value) VALUES(?1, 'data', ?2)");
    if (!put) return Spliced::dbError;
    put.text(1, key.toUtf8());
    sqlite3_bind_blob(put.s, 2, value.constData(), int(value.size()), SQLITE_STATIC);
    return put.step() == SQLITE_DONE ? Spliced::done : Spliced::dbError;
}

// The rowid of the data row each key the round writes or splices has once it is committed. False
// when one cannot be read.
bool rowsAfter(sqlite3 *db, const PrefsBatch &b, std::map<QString, std::optional<qint64>> &rows) {
    Stmt q(db, "SELECT rowid FROM prefs WHERE key = ?1 AND type = 'data'");
    if (!q) return false;
    const auto add = [&](const QString &key) {
        q.text(1, key.toUtf8());
        const int rc = sqlite3_step(q.s);
        if (rc == SQLITE_ROW) rows[key] = sqlite3_column_int64(q.s, 0);
        else if (rc == SQLITE_DONE) rows[key] = std::nullopt;
        sqlite3_reset(q.s);
        return rc == SQLITE_ROW || rc == SQLITE_DONE;
    };
    for (const auto &kv : b.writes)
        if (!add(kv.first)) return false;
    for (const auto &kv : b.splices)
        if (!add(kv.first)) return false;
    return true;
}

// Changes whenever another connection has committed since this one's last transaction.
std::optional<qint64> dataVersion(sqlite3 *db) {
    Stmt q(db, "PRAGMA data_version");
    if (!q || sqlite3_step(q.s) != SQLITE_ROW) return std::nullopt;
    return sqlite3_column_int64(q.s, 0);
}
} // namespace

PrefsCommit commitPrefsBatch(sqlite3 *db, const PrefsBatch &b, PrefsCommitGate *gate,
                             const std::function<bool()> &cut) {
    const auto isCut = [&] { return cut && cut(); };
    PrefsCommitGate own;
    if (!gate) gate = &own;
    PrefsCommit r;
    bool ok = !isCut() && exec(db, "BEGIN IMMEDIATE");
    // What the commits before left known, and what this one leaves: put in the gate with the commit.
    std::map<QString, PrefsKnown> known;
    std::optional<qint64> version;
    if (ok) {
        version = dataVersion(db);
        std::lock_guard g(gate->lock);
        known = gate->known;
        // Another connection committed since our last transaction: what it changed is not known.
        if (!version || !gate->dataVersion || *gate->dataVersion != *version)
            for (auto &kv : known) kv.second.checked = false;
    }
    if (b.clear) known.clear();
    for (const auto &[key, digest] : b.bases) known[key] = PrefsKnown{digest, false};
    if (ok && b.clear)
        ok = exec(db, b.keepUnknown
                          ? "DELETE FROM prefs WHERE type IN ('bool', 'int', 'double', 'string', 'data')"
                          : "DELETE FROM prefs");
    for (auto it = b.copies.begin(); ok && it != b.copies.end(); ++it)
        ok = copyStagedAside(db, *gate, it->first, it->second, &r.copiesRenamed);
    if (ok && !b.writes.empty()) {
        Stmt put(db, "INSERT OR REPLACE INTO prefs(key, type, value) VALUES(?1, ?2, ?3)");
        Stmt del(db, "DELETE FROM prefs WHERE key = ?1");
        ok = put && del;
        for (auto it = b.writes.begin(); ok && it != b.writes.end(); ++it) {
            const bool wiped = b.clear && !b.keepUnknown;
            ok = (wiped || keepForeignRow(db, *gate, it->first, r)) &&
                 keepValueReplaced(db, *gate, it->first, known, r) &&
                 (wiped || !it->second || keepEarlierCopy(db, *gate, it->first, r));
            if (!ok) break;
            const QByteArray k = it->first.toUtf8();
            known.erase(it->first);
            if (!it->second) {
                del.text(1, k);
                ok = del.step() == SQLITE_DONE;
                continue;
            }
            const PrefsValue &v = *it->second;
            put.text(1, k);
            sqlite3_bind_text(put.s, 2, typeName(v), -1, SQLITE_STATIC);
            QByteArray buf;
            switch (v.index()) {
            case 0:
                sqlite3_bind_int64(put.s, 3, std::get<bool>(v) ? 1 : 0);
                break;
            case 1:
                sqlite3_bind_int64(put.s, 3, std::get<qint64>(v));
                break;
            case 2:
                sqlite3_bind_double(put.s, 3, std::get<double>(v));
                break;
            case 3:
                buf = std::get<QString>(v).toUtf8();
                sqlite3_bind_text(put.s, 3, buf.constData(), int(buf.size()), SQLITE_STATIC);
                break;
            default:
                buf = std::get<QByteArray>(v);
                // A large value is put in a stretch at a time, below: bound whole, SQLite would build
                // its row in memory, a second copy of it.
                if (buf.size() >= kChunk)
                    sqlite3_bind_zeroblob64(put.s, 3, sqlite3_uint64(buf.size()));
                else
                    sqlite3_bind_blob(put.s, 3, buf.constData(), int(buf.size()), SQLITE_STATIC);
                known[it->first] = PrefsKnown{PrefsDigest::of(buf), true};
                break;
            }
            ok = put.step() == SQLITE_DONE;
            sqlite3_clear_bindings(put.s);
            if (ok && v.index() == 4 && buf.size() >= kChunk) {
                const Blob to(db, sqlite3_last_insert_rowid(db), true);
                ok = to.b != nullptr;
                for (qint64 at = 0; ok && at < buf.size(); at += kChunk)
                    ok = !isCut() && sqlite3_blob_write(to.b, buf.constData() + at, int(std::min(kChunk, buf.size() - at)),
                                            int(at)) == SQLITE_OK;
            }
        }
    }
    int fileError = 0;
    for (auto it = b.splices.begin(); ok && it != b.splices.end(); ++it) {
        PrefsRefused found{it->first};
        PrefsDigest after;
        const auto k = known.find(it->first);
        const Spliced done = spliceRow(db, it->first, it->second, k == known.end() ? nullptr : &k->second,
                                       &found, &after, &fileError, cut);
        ok = done != Spliced::dbError;
        if (done == Spliced::done && (k != known.end() || !it->second.empty()))
            known[it->first] = PrefsKnown{after, true};
        // Another program wrote the value: splicing into it would garble it, so it stays as it is
        // (and retrying would hold up every later write for nothing). What was known of ours stays
        // known, so that a whole write of ours keeps the other program's value aside first.
        if (done == Spliced::notFitting) r.refused.push_back(std::move(found));
    }
    if (ok) {
        // Marked in flight under the lock, committed without it: a reader tells from the rowids in
        // its own snapshot whether that holds this commit, so none waits for the sync. Once made, it
        // stays in flight until its completion has told what it means (publishCommit).
        PrefsCommitGate::Flight flight{b.seq, {}, !b.clear, std::move(known), version};
        if (!rowsAfter(db, b, flight.rows)) flight.rowsTell = false;
        {
            std::lock_guard g(gate->lock);
            gate->flight = std::move(flight);
        }
        runPrefsCommitHook(false);
        ok = !isCut() && exec(db, "COMMIT");
        runPrefsCommitHook(true);
        if (!ok) {
            std::lock_guard g(gate->lock);
            gate->flight.reset();
            ++gate->settled;
            gate->settledChanged.notify_all();
        }
    }
    if (!ok) {
        r.code = sqlite3_extended_errcode(db);
        r.error = QString::fromUtf8(sqlite3_errmsg(db));
        if (isCut()) {
            r.code = SQLITE_INTERRUPT;
            r.error = QStringLiteral("Mivo is quitting");
        } else if (fileError) {
            r.code = fileError == ENOSPC ? SQLITE_FULL : SQLITE_IOERR;
            r.error = QString::fromLocal8Bit(std::strerror(fileError));
        }
        exec(db, "ROLLBACK");
        r.keptAside.clear();
        r.refused.clear();
        r.replacedAside.clear();
        r.copiesRenamed.clear();
        return r;
    }
    r.ok = true;
    return r;
}

PrefsWriter::PrefsWriter(sqlite3 *db, Hooks hooks, std::shared_ptr<PrefsCommitGate> gate)
    : hooks_(std::move(hooks)), gate_(gate ? std::move(gate) : std::make_shared<PrefsCommitGate>()), db_(db) {}

PrefsWriter::~PrefsWriter() {
    if (isRunning() || db_) finish(0);
}

void PrefsWriter::submit(PrefsBatch &&batch) {
    if (batch.empty()) return;
    std::lock_guard l(m_);
    submittedSeq_ = std::max(submittedSeq_, batch.seq);
    pending_.append(std::move(batch));
    wake_.notify_all();
}

bool PrefsWriter::hasPending() const {
    std::lock_guard l(m_);
    return !pending_.empty() || busy_;
}

bool PrefsWriter::isTrying() const {
    std::lock_guard l(m_);
    return busy_;
}

bool PrefsWriter::isRefused() const {
    std::lock_guard l(m_);
    return failing_;
}

quint64 PrefsWriter::committedSeq() const {
    return ::committedSeq(*gate_);
}

// Another connection holds the lock: a try waits for it a while, in short steps, unless Mivo is
// quitting (the last commit paces its tries by the quit's deadline, and a try still under way on the
// writer's thread must not hold the quit up).
int PrefsWriter::onBusy(void *self, int count) {
    auto *w = static_cast<PrefsWriter *>(self);
    w->waitsForLock_ = true;
    if (w->quitting_ || w->cut() || count >= w->hooks_.busyMs / kBusyStepMs) return 0;
    QThread::msleep(kBusyStepMs);
    return 1;
}

// A statement under way when the quit's deadline passes gives up (and its transaction rolls back).
int PrefsWriter::onProgress(void *self) {
    return static_cast<const PrefsWriter *>(self)->cut() ? 1 : 0;
}

bool PrefsWriter::cut() const {
    std::lock_guard l(cutM_);
    return cutAt_ && cutAt_->passed();
}

void PrefsWriter::cutAt(const Deadline &deadline) {
    std::lock_guard l(cutM_);
    cutAt_ = deadline;
}

PrefsCommit PrefsWriter::attempt(const PrefsBatch &batch) {
    if (!db_ && hooks_.open) {
        PrefsCommit r;
        db_ = hooks_.open(&r.code, &r.error);
        if (!db_) return r;
    }
    if (!db_)
        return PrefsCommit::failure(SQLITE_CANTOPEN, QStringLiteral("the database could not be opened"));
    if (handled_ != db_ && hooks_.busyMs > 0) {
        sqlite3_busy_handler(db_, &PrefsWriter::onBusy, this);
        handled_ = db_;
    }
    if (watched_ != db_) {
        sqlite3_progress_handler(db_, kProgressSteps, &PrefsWriter::onProgress, this);
        watched_ = db_;
    }
    PrefsCommit c = commitPrefsBatch(db_, batch, gate_.get(), [this] { return cut(); });
    waitsForLock_ = false;
    return c;
}

// The one way a round reaches the disk. Entered and left with l held; the database is worked on, and
// the hooks run, with it released.
PrefsCommit PrefsWriter::commit(std::unique_lock<std::mutex> &l, PrefsBatch b, Round round,
                                const Deadline *busyUntil, const Done &done) {
    for (auto it = b.splices.begin(); it != b.splices.end();)
        it = refused_.count(it->first) && !b.writes.count(it->first) && !b.bases.count(it->first)
                 ? b.splices.erase(it)
                 : std::next(it);
    busy_ = true;
    l.unlock();
    PrefsCommit c = attempt(b);
    while (!c.ok && isBusy(c.code) && busyUntil && busyUntil->pause(kBusyPauseMs)) {
        PrefsCommit next = attempt(b);
        if (!next.ok && next.code == SQLITE_INTERRUPT) break; // cut at the deadline: the lock is why
        c = std::move(next);
    }
    l.lock();
    busy_ = false;
    ++tries_;
    bool tell = false;
    if (c.ok) {
        if (round == Round::replacement) {
            // Writes made before the replacement are wiped by it.
            pending_ = PrefsBatch();
            submittedSeq_ = std::max(submittedSeq_, b.seq);
        }
        failing_ = false;
        for (const auto &kv : b.writes) refused_.erase(kv.first);
        for (const auto &kv : b.bases) refused_.erase(kv.first);
        for (const PrefsRefused &f : c.refused)
            refused_.insert(f.key);
        c.drained = pending_.empty();
    } else if (round != Round::replacement) {
        // Kept, under anything newer, for the next try.
        b.append(std::move(pending_));
        pending_ = std::move(b);
        tell = round == Round::queued && (!failing_ || failingBusy_ != isBusy(c.code));
        failing_ = true;
        failingBusy_ = isBusy(c.code);
    }
    // Moved in, not assigned: the strings the last one held are let go of here, by Qt's inline code,
    // whose count ThreadSanitizer sees. Qt's own assignment lets them go inside its library, unseen,
    // and a copy handed to the window's thread (a failure told) and dropped there first then read as
    // a race with the free.
    last_ = PrefsCommit(c);
    l.unlock();
    if (done)
        done(b, c);
    else if (c.ok && hooks_.committed)
        hooks_.committed(b, c);
    else if (tell && hooks_.failed)
        hooks_.failed(c);
    // Counted as committed once the domain has been told (its completion may publish it itself, with
    // what it changed): a flush that returns finds what the commit changed there (a value found to be
    // another program's, say) already done.
    if (c.ok) publishCommit(*gate_, b.seq);
    l.lock();
    done_.notify_all();
    return c;
}

void PrefsWriter::run() {
    std::unique_lock l(m_);
    Clock::time_point retryAt;
    while (!stopping_) {
        if (replacement_) {
            Replacement r = std::move(*replacement_);
            replacement_.reset();
            if (r.deadline.passed()) {
                // It waited behind older writes for longer than its caller allowed: never written.
                l.unlock();
                r.done(r.batch, PrefsCommit::failure(SQLITE_BUSY, QStringLiteral("database is locked")));
                l.lock();
                done_.notify_all();
                continue;
            }
            commit(l, std::move(r.batch), Round::replacement, &r.deadline, r.done);
            continue;
        }
        if (pending_.empty()) {
            wake_.wait(l);
            continue;
        }
        if (failing_ && !urgent_ && Clock::now() < retryAt) {
            wake_.wait_until(l, retryAt);
            continue;
        }
        urgent_ = false;
        PrefsBatch b = std::move(pending_);
        pending_ = PrefsBatch();
        if (!commit(l, std::move(b), Round::queued, nullptr).ok)
            retryAt = Clock::now() + std::chrono::milliseconds(kRetryMs);
    }
}

PrefsCommit PrefsWriter::flush(const Deadline &deadline) {
    std::unique_lock l(m_);
    const quint64 target = submittedSeq_;
    if (committedSeq() >= target && pending_.empty() && !busy_) return PrefsCommit::success();
    // A try already running may have started before the last writes came: wait for one more.
    const quint64 enough = tries_ + (busy_ ? 2 : 1);
    urgent_ = true;
    wake_.notify_all();
    deadline.wait(done_, l, [&] { return committedSeq() >= target || (tries_ >= enough && !last_.ok); });
    if (committedSeq() >= target) return PrefsCommit::success();
    if (tries_ >= enough && !last_.ok) return last_;
    return PrefsCommit::failure(SQLITE_BUSY, QStringLiteral("the database is busy"));
}

PrefsCommit PrefsWriter::finish(const Deadline &deadline) {
    // A commit under way (a value of tens of megabytes being written) stops by the deadline: what it
    // would have written stays queued, for the caller to keep.
    cutAt(deadline);
    quitting_ = true;
    std::optional<Replacement> dropped;
    {
        std::lock_guard l(m_);
        stopping_ = true;
        dropped = std::move(replacement_);
        replacement_.reset();
        wake_.notify_all();
    }
    if (dropped)
        dropped->done(dropped->batch,
                      PrefsCommit::failure(SQLITE_INTERRUPT, QStringLiteral("Mivo is quitting")));
    wait();
    // The thread has ended: its connection and queue are ours now.
    PrefsCommit c = PrefsCommit::success();
    {
        std::unique_lock l(m_);
        if (!pending_.empty()) {
            // None begins once the deadline has passed: it could not end by it.
            if (deadline.passed()) {
                // Told why the tries before failed (another program's lock), when they did.
                c = last_.ok ? PrefsCommit::failure(SQLITE_INTERRUPT, QStringLiteral("Mivo is quitting")) : last_;
                last_ = c;
            } else {
                PrefsBatch b = std::move(pending_);
                pending_ = PrefsBatch();
                c = commit(l, std::move(b), Round::last, &deadline);
            }
        }
    }
    if (db_) {
        // Moves everything from the -wal file into the main file; closing the last connection then
        // removes the side files, so copying mivo.sqlite3 alone copies all of it. Not past the quit's
        // deadline: what is committed is safe in the -wal file, and the close must not move it either.
        walLeft_ = !PrefsDb::checkpointBy(db_, deadline);
        if (walLeft_) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_progress_handler(db_, 0, nullptr, nullptr);
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    return c;
}

PrefsBatch PrefsWriter::takeUnwritten() {
    std::lock_guard l(m_);
    PrefsBatch b = std::move(pending_);
    pending_ = PrefsBatch();
    return b;
}
