#include "platform/Prefs.h"

#include "platform/PrefsDb.h"
#include "platform/PrefsGate.h"
#include "platform/PrefsWriter.h"
#include "platform/UnsavedAtQuit.h"
#include <map>
#include <set>

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

// close() could not commit these: they are kept beside the database, each value whole (a value held
// on disk is read back with the splices the disk does not hold), for the next open to write. False
// when any of them could not be kept.
bool Prefs::keepUnwritten(const PrefsBatch &unwritten, const Deadline &by) {
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
        if (onDiskAt) {
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
    // Not past the quit's deadline: what cannot be kept by then is lost, and told at the next start.
    if (!kept.write(file, &error, &by)) {
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
