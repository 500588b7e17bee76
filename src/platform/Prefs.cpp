#include "platform/Prefs.h"

#include "platform/AtomicFile.h"
#include "platform/DataNotices.h"
#include "platform/Handover.h"
#include "platform/PrefsDb.h"
#include "platform/PrefsGate.h"
#include "platform/PrefsSql.h"
#include "platform/PrefsWriter.h"
#include "platform/UnsavedAtQuit.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <limits>
#include <unistd.h>
#include <vector>

namespace {
Prefs *g_installed = nullptr;

// How long the final commit at quit keeps trying while another process holds the database locked,
// when the caller gives no deadline.
constexpr int kFinalCommitRetryMs = 3000;
// What the final commit's tries leave of the quit's deadline, at least, to keep what they could not
// commit beside the database.
constexpr int kKeepAtQuitMs = 1000;
// How fast that is written, in bytes a millisecond, on a disk a loaded machine shares: a value of
// tens of megabytes is given the time it takes, or it is lost whenever another program holds the
// lock to the end.
constexpr qint64 kKeepBytesPerMs = 32 * 1024;
// flush() and replace() wait at most this long for the writer.
constexpr int kFlushWaitMs = 5000;
constexpr int kReplaceWaitMs = 3000;
// Splices of one value waiting for the disk, in bytes, beyond which the value is held whole instead
// (at least the value's own size).
constexpr qint64 kPendingSpliceBytes = 16 << 20;

using namespace PrefsSql;
using namespace PrefsDb;

// Makes an empty file at path (one already there stays as it is), never through a link. An empty
// file takes no room on the disk, so this works on a full one too.
bool makeEmptyFile(const QString &path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// The value splices make of value, in a buffer of its own: value is only read. The writer may let go
// of the same bytes meanwhile (its round committed), and Qt reads their count with no ordering: a
// splice in place would write them with nothing ordering it after the writer's last reads.
std::optional<QByteArray> splicedCopy(const QByteArray &value, const std::vector<PrefsSplice> &splices) {
    const auto pieces = splicePieces(value.size(), splices);
    if (!pieces) return std::nullopt;
    QByteArray out;
    out.reserve(*splicedSize(value.size(), splices));
    for (const PrefsPiece &p : *pieces) {
        if (!p.bytes)
            out.append(value.constData() + p.from, p.len);
        else if (!p.bytes->appendTo(out, p.from, p.len))
            return std::nullopt;
    }
    return out;
}

} // namespace

const char *prefsTypeName(const Prefs::Value &v) {
    return PrefsSql::typeName(v);
}

Prefs::Prefs(const QString &path, QObject *parent)
    : QObject(parent), path_(path), gate_(std::make_shared<PrefsCommitGate>()) {
    openDatabase();
    tellLostAtQuit();
    applyUnsaved();
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






void Prefs::startWriter(sqlite3 *db) {
    PrefsWriter::Hooks hooks;
    hooks.open = [this](int *code, QString *error) {
        sqlite3 *db = openForWriting(path_, kBusyMs, code, error);
        if (db) access_ = Access::Writable;
        return db;
    };
    hooks.committed = [this](const PrefsBatch &b, const PrefsCommit &c) { afterCommit(b, c); };
    hooks.failed = [this](const PrefsCommit &c) { reportFailure(c); };
    hooks.busyMs = kBusyMs;
    writer_ = std::make_unique<PrefsWriter>(db, std::move(hooks), gate_);
    writer_->start();
}

// On the writer's thread, right after a commit.
void Prefs::afterCommit(const PrefsBatch &b, const PrefsCommit &c) {
    if (c.drained && lockMet_.exchange(false))
        QMetaObject::invokeMethod(
            this,
            Handover::queued([this] {
                // Saved once nothing is left, here or with the writer; otherwise the next commit
                // tells (armed before looking, so a commit in between is not missed).
                lockMet_ = true;
                if (hasPending()) return;
                lockMet_ = false;
                setSaveWaiting(false);
            }),
            Qt::QueuedConnection);
    if (const quint64 unsaved = unsavedSeq_; unsaved && c.ok && b.seq >= unsaved) {
        // What the last quit could not write is in the database now: its file goes, and the user hears.
        unsavedSeq_ = 0;
        QFile::remove(unsavedFrom_);
        if (unsavedTold_)
            DataNotices::get().add({QString(), unsavedFrom_, path_, DataNotice::Kind::savedAtStart});
    }
    QMutexLocker l(&lock_);
    // The commit is published (and so counted as committed) once what it means is done here.
    const quint64 committedBefore = committedSeq(*gate_);
    const quint64 committed = std::max(committedBefore, b.seq);
    if (b.clear) foreign_.clear();
    for (const auto &[key, aside] : c.keptAside) {
        qWarning("mivo: %s had a type this version cannot read; kept as %s", qPrintable(key),
                 qPrintable(aside));
        if (auto f = foreign_.find(key); f != foreign_.end()) foreign_[aside] = f->second;
    }
    for (const auto &[chosen, placed] : c.copiesRenamed) {
        if (auto f = foreign_.find(chosen); f != foreign_.end()) {
            foreign_[placed] = f->second;
            foreign_.erase(f);
        }
        const auto copied = std::find_if(b.copies.begin(), b.copies.end(),
                                         [&](const auto &copy) { return copy.second == chosen; });
        if (copied != b.copies.end())
            DataNotices::get().keptElsewhere({copied->first, chosen, path_}, placed);
    }
    for (const auto &[key, v] : b.writes) {
        foreign_.erase(key);
        if (auto it = cache_.find(key); it != cache_.end()) dropIfOnDisk(key, it->second, committed);
    }
    // What another program wrote in place of a value this session spliced stays, as it is stored,
    // and its store is told (it saves whole, or reads the value again).
    bool replaced = false;
    for (const PrefsRefused &f : c.refused) {
        auto it = cache_.find(f.key);
        if (it == cache_.end()) continue;
        // A whole write of ours follows (it keeps the other program's value aside before it replaces
        // it), or the store has settled this already, after these splices were made.
        if (!it->second.onDisk || it->second.replacedAt > b.seq) continue;
        markReplaced(f.key, it->second, f.found, committedBefore, f.value);
        // A row of a type the app does not know is kept as a launch keeps it: unread, and copied
        // aside before anything of ours replaces it.
        if (f.foreign) foreign_[f.key] = RawRow{f.foreign->type, f.foreign->storage, f.foreign->bytes};
        replaced = true;
    }
    if (replaced)
        QMetaObject::invokeMethod(this, Handover::queued([this] { settleReplaced(); }), Qt::QueuedConnection);
    for (const auto &[key, aside] : c.replacedAside) {
        qWarning("mivo: %s was changed by another program; its value is kept as %s", qPrintable(key),
                 qPrintable(aside));
        // Pending at once, so that one found by the final commit at quit is kept for the next start.
        DataNotices::get().add({key, aside, path_, DataNotice::Kind::otherProgramsValueKept});
    }
    // The writer knows the stored values stores have read now.
    for (const auto &kv : b.bases)
        if (auto it = cache_.find(kv.first); it != cache_.end()) it->second.loaded.reset();
    // Splices the disk holds now are read from there.
    for (const auto &kv : b.splices) {
        auto it = cache_.find(kv.first);
        if (it == cache_.end() || !it->second.pending) continue;
        auto left = std::make_shared<std::vector<PrefsPendingSplices>>();
        for (const PrefsPendingSplices &p : *it->second.pending)
            if (p.seq > b.seq) left->push_back(p);
        it->second.pending = left->empty() ? nullptr : std::move(left);
    }
    publishCommit(*gate_, b.seq);
}

// Called with lock_ held; committed: every write up to it is on disk. Bytes on disk need not stay in
// memory too: documents a store holds, and large values. A value written after the last commit is not
// on disk yet and stays.
void Prefs::dropIfOnDisk(const QString &key, Entry &e, quint64 committed) const {
    if (!canDrop_ || e.onDisk || e.seq > committed) return;
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
        Handover::queued([this, locked, message = c.error] {
            // Another program's lock is a wait, not a failure: nothing for the user to mend.
            setSaveWaiting(locked);
            if (locked) return;
            lastErrorText_ = message;
            emit writeFailed(message);
        }),
        Qt::QueuedConnection);
}

void Prefs::setSaveWaiting(bool waiting) {
    if (saveWaiting_ == waiting) return;
    saveWaiting_ = waiting;
    emit saveWaiting(waiting);
}


bool Prefs::contains(const QString &key) const {
    QMutexLocker l(&lock_);
    return cache_.count(key) > 0;
}

bool Prefs::hasForeignRow(const QString &key) const {
    QMutexLocker l(&lock_);
    return foreign_.count(key) > 0;
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
    for (const auto &[key, v] : b.writes) {
        if (!v) continue;
        Entry &e = cache_[key];
        e = Entry{*v, false, b.seq, 0, {}};
        dropIfOnDisk(key, e, b.seq);
    }
    publishCommit(*gate_, b.seq);
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
            Handover::queued([ctx, done, ok, error] {
                if (ctx) done(ok, error);
            }),
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
                                  Handover::queued([this, ok = c.ok, error = c.error] {
                                      replacing_ = false;
                                      if (ok) {
                                          staged_ = PrefsBatch(); // replaced, with everything else
                                      } else {
                                          lastErrorText_ = error;
                                          qWarning("mivo: could not replace the data: %s", qPrintable(error));
                                          handOver();
                                      }
                                  }),
                                  Qt::QueuedConnection);
                              answer(c.ok, c.error);
                          });
}

void Prefs::releaseBytes(const QString &key) {
    QMutexLocker l(&lock_);
    released_.insert(key);
    // Not yet on disk: dropped once the writer has committed it.
    if (auto it = cache_.find(key); it != cache_.end()) dropIfOnDisk(key, it->second, committedSeq(*gate_));
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
    return close(Deadline(kFinalCommitRetryMs + kKeepAtQuitMs));
}

bool Prefs::close(const Deadline &deadline) {
    if (closed_) return true;
    // Another program's lock is asked for now, without waiting: found only by the commit's tries, it
    // would leave keeping the changes the time those tries did not spend.
    if (writer_ && !frozen_ && !lockMet_ && hasPending() && lockHeldElsewhere()) lockMet_ = true;
    Deadline commitBy = deadline.before(keepShareMs(deadline));
    const bool lockKnown = lockMet_;
    if (writer_ && !frozen_) {
        // The last rounds may find a value another program wrote: its store settles it while it can
        // still write.
        // Nothing the writer tries from here on runs past the commit's share of the deadline.
        writer_->cutAt(commitBy);
        handOver();
        // One try's wait at most (under a lock, a try ends by its busy time): the tries of the final
        // commit come after it.
        writer_->flush(commitBy.within(2 * kBusyMs));
        // A lock that try met leaves the keep the time its bytes take, as one met before.
        if (!lockKnown && lockMet_) {
            commitBy = deadline.before(keepShareMs(deadline));
            writer_->cutAt(commitBy);
        }
        settleReplaced();
        // With no time left for the commit (another program's lock, a try cut short), the values are
        // only kept: held in parts.
        holdWholeNow(commitBy.passed());
    }
    const bool had = hasPending();
    // Until they are committed or kept, the changes are in memory only: a quit that ends before
    // either (a full disk, a kill) leaves this mark, and the next start tells the user.
    const QString mark = quitMarkFor(path_);
    const bool marked = had && writer_ && makeEmptyFile(mark);
    closed_ = true;
    {
        // The writer's connection must be the last one, so that closing it removes the side files.
        QMutexLocker r(&readerLock_);
        sqlite3_close_v2(reader_);
        reader_ = nullptr;
    }
    bool ok = true;
    bool keptAll = false;
    if (writer_) {
        writer_->submit(std::move(staged_));
        const PrefsCommit c = writer_->finish(commitBy);
        if (!c.ok) {
            lastErrorText_ = c.error;
            keptAll = keepUnwritten(writer_->takeUnwritten());
        }
        if (c.ok && writer_->walLeft()) tellCommittedToWal();
        ok = c.ok;
        writer_.reset();
    } else if (had && access_ == Access::None) {
        ok = false;
        lastErrorText_ = QStringLiteral("the database could not be opened");
    }
    staged_ = PrefsBatch();
    if (marked && (ok || keptAll)) QFile::remove(mark);
    return ok;
}

// The share of the deadline kept for writing what the final commit leaves. While another program's
// lock keeps the commit out, the time its bytes take: the commit gets one try's wait of what is left
// (the other program may end its transaction meanwhile), but a try that leaves the keep too little
// would lose the changes whenever the lock outlasts it, so the keep comes first; otherwise the
// commit under way writes the same bytes, and cutting it short would lose them.
qint64 Prefs::keepShareMs(const Deadline &deadline) const {
    if (!lockMet_) return kKeepAtQuitMs;
    // A value whose splices the disk does not hold is read whole before it is kept (holdWholeNow).
    const qint64 sized = (unwrittenBytes() + heldWholeBytes()) / kKeepBytesPerMs;
    return std::max<qint64>(kKeepAtQuitMs, std::min(sized, deadline.remainingMs()));
}

std::function<std::optional<Prefs::Value>()> Prefs::readLater(const QString &key) const {
    PendingSplices pending;
    {
        QMutexLocker l(&lock_);
        auto it = cache_.find(key);
        // A copy the writer kept aside in its own transaction (another program's value it replaced)
        // is on disk only: it is read from there, as the copy the user was told of.
        if (it == cache_.end()) {
            if (!isKeptAsideKey(key)) return [] { return std::optional<Value>(); };
        } else if (!it->second.onDisk) {
            return [v = it->second.v] { return std::optional<Value>(v); };
        } else {
            pending = it->second.pending;
        }
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
    // Asked before lock_ is taken: the writer's own lock is never waited for under it.
    const bool refused = writer_ && writer_->isRefused();
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
        // another program's lock, a full disk) would pile up: past a bound the value is held whole
        // instead, once a worker has read it. Splices the writer takes are on their way to the disk:
        // however large, they are no pile-up, and reading the value whole beside them would only hold
        // it twice.
        const bool pileUp = !writer_ || (refused && waiting > std::max<qint64>(e.size, kPendingSpliceBytes));
        if (e.onDisk) {
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
            if (pileUp) holdWholeLater(key);
            return version;
        } else {
            held = *bytes;
        }
    }
    // Held in memory (not yet on disk, or small): spliced there, and written whole.
    auto spliced = splicedCopy(held, splices);
    if (!spliced) return std::nullopt;
    held = QByteArray();
    setValue(key, Value(std::move(*spliced)));
    return version(key);
}







// Before any store reads the domain: the changes the last session could not write at quit are made
// again, as whole writes over the values they were made over. A session that cannot write leaves
// them in their file for one that can.
void Prefs::applyUnsaved() {
    const QString file = UnsavedAtQuit::pathFor(path_);
    if (!writer_) return;
    bool unreadable = false;
    QStringList held;
    const std::optional<UnsavedAtQuit> unsaved = UnsavedAtQuit::read(file, &unreadable, &held);
    if (!unsaved) {
        if (!unreadable) return;
        // Nothing of a file that is not whole is applied. It is kept under another name, so that it is
        // not tried again at every start, and the user hears where.
        const QString aside = AtomicFile::keepAside(file);
        qWarning("mivo: the changes kept in %s could not be read; the file is kept as %s", qPrintable(file),
                 qPrintable(aside.isEmpty() ? file : aside));
        DataNotice n{QString(), aside.isEmpty() ? file : aside, path_, DataNotice::Kind::unsavedUnreadable};
        n.held = held;
        DataNotices::get().add(n);
        return;
    }
    if (unsaved->clear) clear();
    for (const UnsavedAtQuit::Edit &e : unsaved->edits) {
        if (!e.value) {
            remove(e.key);
            continue;
        }
        const auto before = version(e.key);
        setValue(e.key, *e.value);
        // Over the stored data value it was made over, or, when another program wrote that since,
        // over a copy of theirs kept aside first.
        if (e.base && version(e.key) != before && std::holds_alternative<QByteArray>(*e.value))
            staged_.bases[e.key] = *e.base;
    }
    if (staged_.empty()) {
        QFile::remove(file); // every change was there already
        return;
    }
    qWarning("mivo: writing the changes the last quit kept in %s", qPrintable(file));
    unsavedFrom_ = file;
    unsavedTold_ = unsaved->holdsUserChanges();
    unsavedSeq_ = staged_.seq;
}

