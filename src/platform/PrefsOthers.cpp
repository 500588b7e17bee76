#include "platform/PrefsDb.h"
#include "platform/PrefsGate.h"

#include "platform/Background.h"
#include "platform/DataNotices.h"
#include "platform/PrefsSql.h"
#include "platform/PrefsWriter.h"
#include "platform/UnsavedAtQuit.h"
#include <QFile>
#include <QFileInfo>
#include <QTimer>

// Values another program wrote in place of ours, and the copies kept aside ("<key>.unreadable-…").

using namespace PrefsSql;
using namespace PrefsDb;

// Never under lock_. The stored value, checked against the digest of what this session last wrote or
// loaded there, with the pending splices the disk does not hold yet put on top; notOurs (out: the
// stored bytes) when it is another program's value.
Prefs::Read Prefs::readAsWritten(const QString &key, const PendingSplices &pending,
                                 const std::optional<PrefsDigest> &loaded, QByteArray &out) const {
    QMutexLocker r(&readerLock_);
    sqlite3 *db = reader_ ? reader_ : openForReading(path_, true);
    if (!db) return Read::failed;
    const Read result = readAsWrittenOn(db, key, *gate_, pending, loaded, out);
    if (db != reader_) sqlite3_close_v2(db);
    return result;
}

// The same through db, on any thread.
Prefs::Read Prefs::readAsWrittenOn(sqlite3 *db, const QString &key, PrefsCommitGate &gate,
                                   const PendingSplices &pending, const std::optional<PrefsDigest> &loaded,
                                   QByteArray &out) {
    Read result = Read::failed;
    // The digest it is checked against, and the splices left out, are those of the commits its
    // snapshot holds.
    readSnapshot(db, key, gate, [&](const PrefsSnapshot &snapshot, std::optional<qint64> row) {
        std::optional<QByteArray> disk = row ? readDataRow(db, *row, 0, -1) : std::nullopt;
        if (!disk) return;
        out = std::move(*disk);
        const PrefsDigest digest = PrefsDigest::of(out);
        // No commit of ours has told what the value is since it was loaded (the digest it was loaded
        // with waits with the writes another program's lock holds back): it is ours only as loaded.
        const std::optional<PrefsDigest> ours = snapshot.known ? snapshot.known : loaded;
        if (ours && digest != *ours && !(loaded && digest == *loaded)) {
            result = Read::notOurs;
            return;
        }
        result = Read::ok;
        if (pending)
            for (const PrefsPendingSplices &p : *pending) {
                if (p.seq <= snapshot.heldUpTo) continue;
                if (out.size() != p.sizeBefore || !applySplices(out, p.splices)) {
                    result = Read::failed;
                    return;
                }
            }
    });
    return result;
}

// Splices of key's value pile up (another program's lock holds them, or nothing writes): a worker
// reads the value as this session wrote it, so that it is held whole from then on. The window's
// thread neither reads nor digests tens of megabytes for that.
void Prefs::holdWholeLater(const QString &key) {
    if (closing_ || holding_.count(key)) return;
    PendingSplices pending;
    std::optional<PrefsDigest> loaded;
    quint64 version = 0;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        if (it == cache_.end() || !it->second.onDisk) return;
        pending = it->second.pending;
        loaded = it->second.loaded;
        version = it->second.seq;
    }
    holding_.insert(key);
    struct Held {
        Read got = Read::failed;
        QByteArray bytes;
    };
    Background::run<Held>(
        this,
        [key, pending, loaded, path = path_, gate = gate_] {
            Held h;
            if (sqlite3 *db = openForReading(path)) {
                h.got = readAsWrittenOn(db, key, *gate, pending, loaded, h.bytes);
                sqlite3_close_v2(db);
            }
            return h;
        },
        [this, key, version](Held h) { holdWhole(key, version, h.got, std::move(h.bytes)); });
}

// bytes: key's value as write `version` left it (got ok), or another program's value (notOurs).
void Prefs::holdWhole(const QString &key, quint64 version, Read got, QByteArray &&bytes) {
    holding_.erase(key);
    if (frozen_ || closed_) return;
    QMutexLocker l(&lock_);
    auto it = cache_.find(key);
    // Changed since (written whole, spliced again, found to be another program's by the writer):
    // nothing to hold now; the next save past the bound reads it again.
    if (it == cache_.end() || !it->second.onDisk || it->second.seq != version) return;
    Entry &e = it->second;
    if (got == Read::notOurs) {
        // Only the bytes the splices were made for are ever held (and so written) as ours.
        markReplaced(key, e, bytes.size(), committedSeq(*gate_));
        l.unlock();
        settleReplaced();
        return;
    }
    if (got != Read::ok || bytes.size() != e.size) return; // read again at the next save past the bound
    e.v = Value(std::move(bytes));
    e.onDisk = false;
    e.size = 0;
    e.pending = nullptr;
    const Value whole = e.v;
    const quint64 seq = e.seq;
    l.unlock();
    // Written whole: the splices before it are given up for it (a later write replaces them).
    staged_.splices.erase(key);
    staged_.writes[key] = whole;
    staged_.seq = std::max(staged_.seq, seq);
    schedule();
}

// At quit, once the writer has had its try: every value whose splices the disk does not hold yet is
// read now, while the stored bytes they were made over are still there, and held whole. The final
// commit then writes (or keeps beside the database) the user's whole value, whatever another program
// writes while it waits; a value another program has written already goes to its store now, which
// keeps its changes aside. inParts: no commit can come (its share of the deadline is over), so each
// value is only kept beside the database, and it is held in the parts it is made of (the stored
// bytes its splices leave, and theirs): a whole copy of a note of a hundred megabytes would take a
// second of the quit's deadline under load.
void Prefs::holdWholeNow(bool inParts) {
    struct Held {
        QString key;
        quint64 version = 0;
        PendingSplices pending;
        std::optional<PrefsDigest> loaded;
    };
    std::vector<Held> held;
    {
        QMutexLocker l(&lock_);
        for (const auto &[key, e] : cache_)
            if (e.onDisk && e.pending) held.push_back({key, e.seq, e.pending, e.loaded});
    }
    for (Held &h : held) {
        if (inParts) {
            std::vector<QByteArray> parts;
            qint64 storedSize = 0;
            const Read got = readPartsAsWritten(h.key, h.pending, h.loaded, parts, storedSize);
            holdParts(h.key, h.version, got, storedSize, std::move(parts));
            continue;
        }
        QByteArray bytes;
        const Read got = readAsWritten(h.key, h.pending, h.loaded, bytes);
        holdWhole(h.key, h.version, got, std::move(bytes));
    }
}

QString Prefs::quitMarkFor(const QString &database) {
    return database + QStringLiteral(".quitting");
}

// The last quit ended with changes neither committed nor kept (there was no room to keep them, or it
// was stopped first): the user is told once. A quit that kept them after all left its file to write.
void Prefs::tellLostAtQuit() {
    const QString mark = quitMarkFor(path_);
    const QFileInfo found(mark);
    if (!found.isFile() || found.isSymLink()) return;
    if (!QFileInfo::exists(UnsavedAtQuit::pathFor(path_))) {
        qWarning("mivo: the last changes before Mivo last quit could not be saved");
        DataNotices::get().add({QString(), QString(), path_, DataNotice::Kind::lostAtQuit});
    }
    QFile::remove(mark);
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

// Under lock_: key's stored value is another program's (a data value of storedSize bytes, or other, a
// value of another type; else none), not the one its splices were made for. Reads give what is stored
// from now on, as a launch would, under a new version, so that the store's next save finds its version
// gone; the splices the disk does not hold go nowhere.
void Prefs::markReplaced(const QString &key, Entry &e, qint64 storedSize, quint64 committedBefore,
                         const std::optional<Value> &other) {
    qWarning("mivo: %s was changed by another program; Mivo's last changes to it were not written into it",
             qPrintable(key));
    const quint64 version = ++seq_;
    if (other) {
        e = Entry{*other, false, version, 0, {}, version, committedBefore};
    } else if (storedSize < 0) {
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
    std::optional<PrefsDigest> loaded;
    qint64 size = 0;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        if (it == cache_.end() || it->second.seq != version) return std::nullopt;
        const auto *b = std::get_if<QByteArray>(&it->second.v);
        if (!b) return std::nullopt;
        if (!it->second.onDisk) return *b;
        pending = it->second.pending;
        loaded = it->second.loaded;
        size = it->second.size;
    }
    QByteArray out;
    if (readAsWritten(key, pending, loaded, out) != Read::ok || out.size() != size) return std::nullopt;
    return out;
}

std::optional<quint64> Prefs::committedUpTo(const QString &key, quint64 version) const {
    QMutexLocker l(&lock_);
    auto it = cache_.find(key);
    if (it == cache_.end()) return std::nullopt;
    if (it->second.seq == version) return committedSeq(*gate_);
    if (version < it->second.replacedAt) return it->second.committedBefore;
    return std::nullopt;
}

void Prefs::recordLoaded(const QString &key, quint64 version, const PrefsDigest &digest) {
    if (frozen_ || closed_ || !writer_) return;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        if (it == cache_.end() || it->second.seq != version) return;
        Entry &e = it->second;
        // The value as stored: not one with writes of ours the disk does not hold yet.
        if (e.onDisk ? bool(e.pending) : e.seq > committedSeq(*gate_)) return;
        e.loaded = digest;
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

// Called with lock_ held.
QString Prefs::uniqueAsideKey(const QString &key) const {
    return chooseAsideKey(*gate_, key,
                          [this](const QString &name) { return cache_.count(name) || foreign_.count(name); });
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
