#pragma once
#include "platform/Deadline.h"
#include "platform/PrefsBatch.h"
#include <QByteArray>
#include <QString>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <variant>
#include <vector>

struct sqlite3;
struct PrefsCommitGate;

// The one thread that writes the preferences database, with its own connection. The window's thread
// hands it rounds (submit) and never waits on the disk or on a lock; a round that fails stays queued,
// under anything newer, and is tried again. flush(), replace() and finish() are the few calls that
// wait for the writer, each for a bounded time; replaceLater() waits for nothing.
//
// Every hook and every completion runs with no lock of the writer held, so it may take locks of its
// own and call back into the writer.
class PrefsWriter : public QThread {
public:
    struct Hooks {
        // Runs a commit's connection: given nothing yet (the database was locked or read-only at
        // start, or its journal is still to be set up), it is asked before each try. Returns null
        // when it cannot be had yet.
        std::function<sqlite3 *(int *code, QString *error)> open;
        // After each commit of queued rounds (on the writer's thread, or in finish() on its caller's).
        std::function<void(const PrefsBatch &, const PrefsCommit &)> committed;
        // When a queued round fails after the last one succeeded, or fails for another kind of
        // reason than the try before it (a lock, or anything else).
        std::function<void(const PrefsCommit &)> failed;
        // Above 0: a try waits this long for another connection's lock, and not at all once finish()
        // has begun (a try under way then must not hold the quit up). 0: the connection's own busy
        // handling is left as it is.
        int busyMs = 0;
    };
    using Done = std::function<void(const PrefsBatch &, const PrefsCommit &)>;

    PrefsWriter(sqlite3 *db, Hooks hooks, std::shared_ptr<PrefsCommitGate> gate = {});
    ~PrefsWriter() override; // finish() must have run

    void submit(PrefsBatch &&batch);
    bool hasPending() const;
    // Every round up to this one is committed and its completion has run (the gate keeps it).
    quint64 committedSeq() const;
    // Waits until everything submitted so far is committed and its completions have run, or a try at
    // it has failed.
    PrefsCommit flush(int timeoutMs) { return flush(Deadline(timeoutMs)); }
    PrefsCommit flush(const Deadline &deadline);
    // Commits the replacement as one transaction once the writes before it are done (or tried),
    // trying again while another program holds the database. When it cannot be committed within
    // timeoutMs it is dropped: nothing of it is ever written. done runs once with the result, on the
    // writer's thread (on the caller's when it was dropped before the writer took it).
    void replaceLater(PrefsBatch &&batch, int timeoutMs, Done done);
    // replaceLater(), waiting for the result; onCommit runs on the writer's thread once it is
    // committed, before this returns.
    PrefsCommit replace(PrefsBatch &&batch, int timeoutMs, Done onCommit = {});
    // The last commit: retries while the database is busy until the deadline (one try at least),
    // checkpoints the log into the main file and closes the connection. The thread has ended when this
    // returns. A try the writer's thread is making meanwhile stops waiting for another program's lock.
    // No try starts once the deadline has passed, and one under way then is cut short (rolled back,
    // its rounds kept for takeUnwritten()).
    PrefsCommit finish(int retryMs) { return finish(Deadline(retryMs)); }
    PrefsCommit finish(const Deadline &deadline);
    // From now on no try runs past the deadline: one under way when it passes is cut short and rolled
    // back (its rounds stay queued), and none begins after it. finish() sets its own deadline likewise;
    // this sets it earlier, for the waits before it.
    void cutAt(const Deadline &deadline);
    // After a finish() that failed: what it could not commit (it is not written later).
    PrefsBatch takeUnwritten();
    // After finish(): its commits were not moved from the -wal file into the main file (they are safe
    // there, and the next open moves them).
    bool walLeft() const { return walLeft_; }
    // A try is waiting for another connection's lock now.
    bool waitsForLock() const { return waitsForLock_; }
    // A try is under way (it may hold the database's lock itself).
    bool isTrying() const;
    // The last try was refused (another program's lock, a full disk): what is queued waits in memory
    // until a try goes through.
    bool isRefused() const;

protected:
    void run() override;

private:
    using Clock = std::chrono::steady_clock;
    enum class Round {
        queued,      // the rounds submitted: kept and tried again when they fail
        replacement, // all or nothing: dropped when it fails
        last,        // finish(): kept when it fails, for the caller to report
    };
    struct Replacement {
        PrefsBatch batch;
        Deadline deadline;
        Done done;
        bool taken = false; // the writer is trying it: only its result ends it now
    };

    PrefsCommit attempt(const PrefsBatch &batch);
    PrefsCommit commit(std::unique_lock<std::mutex> &l, PrefsBatch b, Round round, const Deadline *busyUntil,
                       const Done &done = {});
    static int onBusy(void *self, int count);
    static int onProgress(void *self);
    bool cut() const;
    std::optional<Replacement> dropReplacement(bool evenIfDue);

    Hooks hooks_;
    std::shared_ptr<PrefsCommitGate> gate_;
    sqlite3 *db_ = nullptr;
    mutable std::mutex m_;
    std::condition_variable wake_; // work for the writer
    std::condition_variable done_; // a try ended
    PrefsBatch pending_;
    std::optional<Replacement> replacement_;
    bool busy_ = false; // a round is being tried outside the lock
    bool urgent_ = false;
    bool stopping_ = false;
    std::atomic<bool> quitting_ = false; // finish() has begun: no try waits for a lock any more
    std::atomic<bool> waitsForLock_ = false;
    bool walLeft_ = false;
    sqlite3 *handled_ = nullptr;         // the connection onBusy() is set on
    sqlite3 *watched_ = nullptr;         // the connection onProgress() is set on
    mutable std::mutex cutM_;
    std::optional<Deadline> cutAt_; // cutM_: no try runs past it
    bool failing_ = false;
    bool failingBusy_ = false; // the last failure was another program's lock
    quint64 submittedSeq_ = 0;
    quint64 tries_ = 0;
    PrefsCommit last_ = PrefsCommit::success();
    // Keys whose stored value another program wrote: splices made for the value before it are not
    // put into it, until a write of the whole value or a new base (a store read the value again).
    std::set<QString> refused_;
};
