#include "platform/PrefsWriter.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <sqlite3.h>

namespace {
// After a failed round the writer tries again after this long (sooner when someone waits for it).
constexpr int kRetryMs = 1000;
// Between tries of a replacement or of the last commit while another process holds the lock.
constexpr int kBusyPauseMs = 100;

bool isBusy(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool knownType(const QByteArray &t) {
    return t == "bool" || t == "int" || t == "double" || t == "string" || t == "data";
}

const char *typeName(const PrefsValue &v) {
    static const char *const names[] = {"bool", "int", "double", "string", "data"};
    return names[v.index()];
}

struct Stmt {
    sqlite3_stmt *s = nullptr;
    Stmt(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Stmt() { sqlite3_finalize(s); }
    explicit operator bool() const { return s != nullptr; }
    void text(int i, const QByteArray &b) {
        sqlite3_bind_text(s, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
    }
    int step() {
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        return rc;
    }
};

bool exec(sqlite3 *db, const char *sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A row of a type we do not know is copied aside before anything of ours replaces it, unless an
// identical copy (same type, same storage, same bytes) is already kept. False on a database error.
bool keepForeignRow(sqlite3 *db, const QString &key, PrefsCommit &out) {
    const QByteArray k = key.toUtf8();
    Stmt type(db, "SELECT type FROM prefs WHERE key = ?1");
    if (!type) return false;
    type.text(1, k);
    const int rc = sqlite3_step(type.s);
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) return false;
    const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(type.s, 0));
    if (knownType(QByteArray(t ? t : ""))) return true;
    const QByteArray prefix = (key + QStringLiteral(".unreadable-")).toUtf8();
    Stmt same(db, "SELECT 1 FROM prefs c, prefs o WHERE o.key = ?1 AND substr(c.key, 1, ?3) = ?2 AND "
                  "c.type IS o.type AND typeof(c.value) = typeof(o.value) AND c.value IS o.value");
    if (!same) return false;
    same.text(1, k);
    same.text(2, prefix);
    sqlite3_bind_int(same.s, 3, int(prefix.size()));
    const int found = same.step();
    if (found == SQLITE_ROW) return true;
    if (found != SQLITE_DONE) return false;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    Stmt taken(db, "SELECT 1 FROM prefs WHERE key = ?1");
    Stmt copy(db, "INSERT INTO prefs(key, type, value) SELECT ?1, type, value FROM prefs WHERE key = ?2");
    if (!taken || !copy) return false;
    QString aside = key + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2;; ++n) {
        taken.text(1, aside.toUtf8());
        if (taken.step() != SQLITE_ROW) break;
        aside = key + QStringLiteral(".unreadable-") + stamp + QLatin1Char('-') + QString::number(n);
    }
    copy.text(1, aside.toUtf8());
    copy.text(2, k);
    if (copy.step() != SQLITE_DONE) return false;
    out.keptAside.emplace_back(key, aside);
    return true;
}
} // namespace

void PrefsBatch::append(PrefsBatch &&later) {
    if (later.clear) {
        *this = std::move(later);
        return;
    }
    copies.insert(copies.end(), later.copies.begin(), later.copies.end());
    for (auto &kv : later.writes)
        writes[kv.first] = std::move(kv.second);
    seq = std::max(seq, later.seq);
}

PrefsCommit commitPrefsBatch(sqlite3 *db, const PrefsBatch &b) {
    PrefsCommit r;
    bool ok = exec(db, "BEGIN IMMEDIATE");
    if (ok && b.clear) ok = exec(db, "DELETE FROM prefs");
    if (ok && !b.copies.empty()) {
        // An identical key already there is an older copy of the same row: nothing to add.
        Stmt copy(db, "INSERT OR IGNORE INTO prefs(key, type, value) SELECT ?1, type, value FROM prefs "
                      "WHERE key = ?2");
        ok = bool(copy);
        for (auto it = b.copies.begin(); ok && it != b.copies.end(); ++it) {
            copy.text(1, it->second.toUtf8());
            copy.text(2, it->first.toUtf8());
            ok = copy.step() == SQLITE_DONE;
        }
    }
    if (ok && !b.writes.empty()) {
        Stmt put(db, "INSERT OR REPLACE INTO prefs(key, type, value) VALUES(?1, ?2, ?3)");
        Stmt del(db, "DELETE FROM prefs WHERE key = ?1");
        ok = put && del;
        for (auto it = b.writes.begin(); ok && it != b.writes.end(); ++it) {
            ok = b.clear || keepForeignRow(db, it->first, r);
            if (!ok) break;
            const QByteArray k = it->first.toUtf8();
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
                sqlite3_bind_blob(put.s, 3, buf.constData(), int(buf.size()), SQLITE_STATIC);
                break;
            }
            ok = put.step() == SQLITE_DONE;
            sqlite3_clear_bindings(put.s);
        }
    }
    if (ok) ok = exec(db, "COMMIT");
    if (!ok) {
        r.code = sqlite3_extended_errcode(db);
        r.error = QString::fromUtf8(sqlite3_errmsg(db));
        exec(db, "ROLLBACK");
        r.keptAside.clear();
        return r;
    }
    r.ok = true;
    return r;
}

PrefsWriter::PrefsWriter(sqlite3 *db, Hooks hooks) : hooks_(std::move(hooks)), db_(db) {
    last_.ok = true;
}

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

quint64 PrefsWriter::committedSeq() const {
    std::lock_guard l(m_);
    return committedSeq_;
}

PrefsCommit PrefsWriter::attempt(const PrefsBatch &batch) {
    if (!db_ && hooks_.open) {
        PrefsCommit r;
        db_ = hooks_.open(&r.code, &r.error);
        if (!db_) return r;
    }
    if (!db_)
        return PrefsCommit{false, SQLITE_CANTOPEN, QStringLiteral("the database could not be opened"), {}};
    return commitPrefsBatch(db_, batch);
}

void PrefsWriter::run() {
    std::unique_lock l(m_);
    Clock::time_point retryAt;
    for (;;) {
        if (stopping_) break;
        const bool haveReplacement = replacement_ && !replaceTaken_;
        if (pending_.empty() && !haveReplacement) {
            wake_.wait(l);
            continue;
        }
        if (failing_ && !urgent_ && !haveReplacement && Clock::now() < retryAt) {
            wake_.wait_until(l, retryAt);
            continue;
        }
        urgent_ = false;
        if (haveReplacement) {
            // Writes made before the replacement are wiped by it: they are tried only if it fails.
            replaceTaken_ = true;
            busy_ = true;
            const PrefsBatch b = *replacement_;
            const Clock::time_point until = replaceDeadline_;
            l.unlock();
            PrefsCommit c = attempt(b);
            while (!c.ok && isBusy(c.code) &&
                   Clock::now() + std::chrono::milliseconds(kBusyPauseMs) < until) {
                QThread::msleep(kBusyPauseMs);
                c = attempt(b);
            }
            l.lock();
            busy_ = false;
            if (c.ok) {
                pending_ = PrefsBatch();
                submittedSeq_ = committedSeq_ = std::max(submittedSeq_, b.seq);
                failing_ = false;
                l.unlock();
                if (hooks_.committed) hooks_.committed(b, c);
                l.lock();
            }
            replacement_.reset();
            replaceTaken_ = false;
            replaceResult_ = c;
            done_.notify_all();
            continue;
        }
        PrefsBatch b = std::move(pending_);
        pending_ = PrefsBatch();
        busy_ = true;
        l.unlock();
        const PrefsCommit c = attempt(b);
        l.lock();
        if (c.ok) {
            committedSeq_ = std::max(committedSeq_, b.seq);
            failing_ = false;
            l.unlock();
            if (hooks_.committed) hooks_.committed(b, c);
            l.lock();
        } else {
            // Kept, under anything newer, for the next try.
            b.append(std::move(pending_));
            pending_ = std::move(b);
            const bool first = !failing_;
            failing_ = true;
            retryAt = Clock::now() + std::chrono::milliseconds(kRetryMs);
            if (first && hooks_.failed) {
                l.unlock();
                hooks_.failed(c);
                l.lock();
            }
        }
        busy_ = false;
        ++tries_;
        last_ = c;
        done_.notify_all();
    }
}

PrefsCommit PrefsWriter::flush(int timeoutMs) {
    std::unique_lock l(m_);
    const quint64 target = submittedSeq_;
    if (committedSeq_ >= target && pending_.empty() && !busy_) return PrefsCommit{true, 0, {}, {}};
    // A try already running may have started before the last writes came: wait for one more.
    const quint64 enough = tries_ + (busy_ ? 2 : 1);
    urgent_ = true;
    wake_.notify_all();
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (committedSeq_ < target) {
        if (tries_ >= enough && !last_.ok) return last_;
        if (done_.wait_until(l, until) == std::cv_status::timeout && committedSeq_ < target)
            return PrefsCommit{false, SQLITE_BUSY, QStringLiteral("the database is busy"), {}};
    }
    return PrefsCommit{true, 0, {}, {}};
}

PrefsCommit PrefsWriter::replace(PrefsBatch &&batch, int timeoutMs) {
    std::unique_lock l(m_);
    replacement_ = std::move(batch);
    replaceTaken_ = false;
    replaceResult_.reset();
    replaceDeadline_ = Clock::now() + std::chrono::milliseconds(timeoutMs);
    urgent_ = true;
    wake_.notify_all();
    while (!replaceResult_) {
        if (!replaceTaken_ && Clock::now() >= replaceDeadline_) {
            // Never taken (the writer was still busy with older writes): dropped, never written.
            replacement_.reset();
            return PrefsCommit{false, SQLITE_BUSY, QStringLiteral("database is locked"), {}};
        }
        if (replaceTaken_)
            done_.wait(l);
        else
            done_.wait_until(l, replaceDeadline_);
    }
    PrefsCommit c = *replaceResult_;
    replaceResult_.reset();
    return c;
}

PrefsCommit PrefsWriter::finish(int retryMs) {
    {
        std::lock_guard l(m_);
        stopping_ = true;
        replacement_.reset();
        wake_.notify_all();
    }
    wait();
    // The thread has ended: its connection and queue are ours now.
    std::lock_guard l(m_);
    PrefsCommit c{true, 0, {}, {}};
    if (!pending_.empty()) {
        PrefsBatch b = std::move(pending_);
        pending_ = PrefsBatch();
        QElapsedTimer waited;
        waited.start();
        while (!(c = attempt(b)).ok && isBusy(c.code) && waited.elapsed() < retryMs)
            QThread::msleep(kBusyPauseMs);
        if (c.ok) {
            committedSeq_ = std::max(committedSeq_, b.seq);
            if (hooks_.committed) hooks_.committed(b, c);
        } else {
            pending_ = std::move(b);
        }
    }
    if (db_) {
        // Moves everything from the -wal file into the main file; closing the last connection then
        // removes the side files, so copying mivo.sqlite3 alone copies all of it.
        if (sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) !=
            SQLITE_OK)
            qWarning("mivo: could not move the last changes into the database file: %s", sqlite3_errmsg(db_));
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    return c;
}
