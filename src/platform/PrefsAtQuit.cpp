#include "platform/Prefs.h"

#include "platform/PrefsDb.h"
#include "platform/PrefsSplice.h"
#include "platform/PrefsGate.h"
#include "platform/PrefsWriter.h"
#include "platform/UnsavedAtQuit.h"
#include <cstring>
#include <map>
#include <set>
#include <sqlite3.h>

// What a quit could not commit, kept beside the database (".unsaved") for the next start to write.

// What keepUnwritten() would write if nothing more were committed: each value set since the last
// commit, whole.
qint64 Prefs::unwrittenBytes() const {
    const quint64 committed = committedSeq(*gate_);
    QMutexLocker l(&lock_);
    qint64 bytes = 0;
    for (const auto &kv : cache_) {
        const Entry &e = kv.second;
        if (e.seq <= committed) continue;
        if (e.onDisk)
            bytes += e.size;
        else if (const auto *data = std::get_if<QByteArray>(&e.v))
            bytes += data->size();
        else if (const auto *text = std::get_if<QString>(&e.v))
            bytes += text->size() * qint64(sizeof(QChar));
    }
    return bytes;
}

// What holdWholeNow() would read: each value on disk whose splices the disk may not hold yet, whole.
qint64 Prefs::heldWholeBytes() const {
    QMutexLocker l(&lock_);
    qint64 bytes = 0;
    for (const auto &kv : cache_)
        if (kv.second.onDisk && kv.second.pending) bytes += kv.second.size;
    return bytes;
}

// The stored value of key read as readAsWritten() reads it, a stretch at a time, without a buffer of
// the whole: parts (out) are the stored bytes the pending splices leave and the splices' bytes (shared,
// not copied), in order. storedSize (out): how many bytes are stored.
Prefs::Read Prefs::readPartsAsWritten(const QString &key, const PendingSplices &pending,
                                      const std::optional<PrefsDigest> &loaded, std::vector<QByteArray> &parts,
                                      qint64 &storedSize) const {
    constexpr qint64 kStretch = 4 << 20;
    QMutexLocker r(&readerLock_);
    sqlite3 *db = reader_ ? reader_ : PrefsDb::openForReading(path_, true);
    if (!db) return Read::failed;
    Read result = Read::failed;
    PrefsDb::readSnapshot(db, key, *gate_, [&](const PrefsSnapshot &snapshot, std::optional<qint64> row) {
        sqlite3_blob *blob = nullptr;
        if (!row || sqlite3_blob_open(db, "main", "prefs", "value", *row, 0, &blob) != SQLITE_OK) {
            sqlite3_blob_close(blob);
            return;
        }
        const qint64 stored = sqlite3_blob_bytes(blob);
        storedSize = stored;
        // The splices the snapshot does not hold, one after another, over the stored bytes.
        std::vector<PrefsSplice> splices;
        qint64 before = stored;
        bool first = true;
        if (pending)
            for (const PrefsPendingSplices &p : *pending) {
                if (p.seq <= snapshot.heldUpTo) continue;
                if (first) before = p.sizeBefore;
                first = false;
                splices.insert(splices.end(), p.splices.begin(), p.splices.end());
            }
        // Splices that do not fit the stored bytes fail the read, once the digest has told whose they are.
        const auto pieces = before == stored ? splicePieces(stored, splices) : std::nullopt;
        std::vector<QByteArray> made;
        if (pieces) {
            made.reserve(pieces->size());
            for (const PrefsPiece &piece : *pieces)
                if (!piece.bytes) {
                    made.emplace_back(piece.len, Qt::Uninitialized);
                } else if (auto bytes = piece.bytes->read(piece.from, piece.len)) {
                    made.push_back(std::move(*bytes));
                } else {
                    sqlite3_blob_close(blob); // a spooled record not readable back: the read fails
                    return;
                }
        }
        // Every stored byte is read for the digest (whose value it is); only those the splices leave
        // are kept.
        PrefsDigest::Stream digest;
        QByteArray stretch(std::min(stored, kStretch), Qt::Uninitialized);
        bool ok = true;
        for (qint64 at = 0; at < stored; at += stretch.size()) {
            const qint64 n = std::min<qint64>(stretch.size(), stored - at);
            ok = sqlite3_blob_read(blob, stretch.data(), int(n), int(at)) == SQLITE_OK;
            if (!ok) break;
            digest.add(QByteArrayView(stretch.constData(), n));
            for (size_t i = 0; pieces && i < pieces->size(); ++i) {
                const PrefsPiece &piece = (*pieces)[i];
                if (piece.bytes) continue;
                const qint64 a = std::max(at, piece.from), b = std::min(at + n, piece.from + piece.len);
                if (a < b) std::memcpy(made[i].data() + (a - piece.from), stretch.constData() + (a - at), size_t(b - a));
            }
        }
        sqlite3_blob_close(blob);
        if (!ok) return;
        const PrefsDigest d = digest.result();
        // No commit of ours has told what the value is since it was loaded (the digest it was loaded
        // with waits with the writes another program's lock holds back): it is ours only as loaded.
        const std::optional<PrefsDigest> ours = snapshot.known ? snapshot.known : loaded;
        if (ours && d != *ours && !(loaded && d == *loaded)) {
            result = Read::notOurs;
            return;
        }
        if (!pieces) return;
        parts = std::move(made);
        result = Read::ok;
    });
    if (db != reader_) sqlite3_close_v2(db);
    return result;
}

// parts: key's value as write `version` left it (got ok); another program's value is settled by its
// store, as holdWhole() does.
void Prefs::holdParts(const QString &key, quint64 version, Read got, qint64 storedSize,
                      std::vector<QByteArray> &&parts) {
    if (frozen_ || closed_) return;
    QMutexLocker l(&lock_);
    auto it = cache_.find(key);
    if (it == cache_.end() || !it->second.onDisk || it->second.seq != version) return;
    if (got == Read::notOurs) {
        markReplaced(key, it->second, storedSize, committedSeq(*gate_));
        l.unlock();
        settleReplaced();
        return;
    }
    qint64 size = 0;
    for (const QByteArray &p : parts) size += p.size();
    if (got == Read::ok && size == it->second.size) heldParts_[key] = {version, std::move(parts)};
}

// close() could not commit these: they are kept beside the database, each value whole (a value held
// on disk is read back with the splices the disk does not hold), for the next open to write. False
// when any of them could not be kept.
bool Prefs::keepUnwritten(const PrefsBatch &unwritten) {
    if (unwritten.empty()) return true;
    bool all = true;
    std::map<QString, PrefsKnown> known;
    {
        std::lock_guard g(gate_->lock);
        known = gate_->known;
    }
    std::set<QString> keys;
    for (const auto &kv : unwritten.writes)
        keys.insert(kv.first);
    for (const auto &kv : unwritten.splices)
        keys.insert(kv.first);
    UnsavedAtQuit kept;
    kept.clear = unwritten.clear;
    for (const QString &key : keys) {
        UnsavedAtQuit::Edit e{key, std::nullopt, std::nullopt};
        if (auto base = unwritten.bases.find(key); base != unwritten.bases.end())
            e.base = base->second;
        else if (auto k = known.find(key); k != known.end() && !unwritten.clear)
            e.base = k->second.digest;
        std::optional<quint64> onDiskAt;
        {
            QMutexLocker l(&lock_);
            if (auto it = cache_.find(key); it != cache_.end()) {
                if (it->second.onDisk)
                    onDiskAt = it->second.seq;
                else
                    e.value = it->second.v;
            }
        }
        if (auto held = heldParts_.find(key); onDiskAt && held != heldParts_.end() &&
                                               held->second.first == *onDiskAt && !held->second.second.empty()) {
            // Read at the quit's start in parts: written one after another.
            e.parts = std::move(held->second.second);
            heldParts_.erase(held);
        } else if (onDiskAt) {
            auto bytes = dataAsWritten(key, *onDiskAt);
            if (!bytes) {
                // The stored value is no longer the one the changes were made for: they cannot be made
                // into a whole value.
                qWarning("mivo: the last changes to %s cannot be kept: its stored value changed",
                         qPrintable(key));
                all = false;
                continue;
            }
            e.value = Value(std::move(*bytes));
        }
        kept.edits.push_back(std::move(e));
    }
    const QString file = UnsavedAtQuit::pathFor(path_);
    QString error;
    // Written whole even past the quit's deadline: the user's changes are worth a quit a few seconds
    // late (a loaded machine), and cutting the file short would lose every one of them.
    if (!kept.write(file, &error)) {
        qWarning("mivo: the last changes could not be kept in %s either: %s", qPrintable(file),
                 qPrintable(error));
        return false;
    }
    unsavedKept_ = file;
    return all;
}

// Whether another program holds the database's lock now. A try of the writer under way and not
// waiting for the lock may hold it itself: that is no other program's.
bool Prefs::lockHeldElsewhere() const {
    if (!writer_) return false;
    if (writer_->waitsForLock()) return true;
    return PrefsDb::lockTaken(path_) && (!writer_->isTrying() || writer_->waitsForLock());
}

// The last commit went through, but there was no time to move it from the -wal file into the main
// file: a copy of the main file alone lacks it until the next start moves it.
void Prefs::tellCommittedToWal() const {
    qWarning("mivo: the last changes are saved in %s-wal; the next start moves them into %s",
             qPrintable(path_), qPrintable(path_));
}
