#pragma once
#include "platform/PrefsSplice.h"
#include <QByteArray>
#include <QString>
#include <QThread>
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

using PrefsValue = std::variant<bool, qint64, double, QString, QByteArray>;

// One round of writes to the preferences table, committed in one transaction: first the wipe (when
// clear), then the copies of rows kept aside, then the writes. Rounds merge: the newer value of a key
// wins, so only the newest bytes of a key reach the disk.
struct PrefsBatch {
    bool clear = false;
    bool keepUnknown = false; // the wipe leaves rows of types the app does not know (and copies them
                              // aside before a write replaces them)
    std::vector<std::pair<QString, QString>> copies;     // row -> key of its copy
    std::map<QString, std::optional<PrefsValue>> writes; // nullopt removes the row
    // Parts of data values replaced, after the key's write in writes (if any): the value is read, spliced
    // and written back by the writer. A later write of the key replaces them.
    std::map<QString, std::vector<PrefsSplice>> splices;
    // The digest of the stored data value a store has just read (loaded) and will splice from now on:
    // put before the round's writes and splices, it voids the splices of the key that came before it.
    std::map<QString, PrefsDigest> bases;
    quint64 seq = 0; // the newest write in the round

    bool empty() const {
        return !clear && copies.empty() && writes.empty() && splices.empty() && bases.empty();
    }
    // Adds a later round on top of this one.
    void append(PrefsBatch &&later);
};

struct PrefsCommit {
    bool ok = false;
    int code = 0; // SQLite's extended result code when it failed
    QString error;
    std::vector<std::pair<QString, QString>> keptAside; // rows of unknown type copied before being replaced
    bool drained = false; // committed, and nothing else was waiting to be written
    // Splices not put in because the stored value is not the one they were made for (another program
    // wrote it): the key and the size of what is stored (-1: no data value). What is stored stays.
    std::vector<std::pair<QString, qint64>> refused;
    // Data values another program had written in place of ours, copied aside before a write of ours
    // replaced them: the key and the key of the copy.
    std::vector<std::pair<QString, QString>> replacedAside;

    static PrefsCommit success() { return PrefsCommit{true, 0, {}, {}, false, {}, {}}; }
    static PrefsCommit failure(int code, const QString &error) {
        return PrefsCommit{false, code, error, {}, false, {}, {}};
    }
};

// Commits a round in one transaction, rolled back on any error. A row of a type the app does not know
// is copied aside byte for byte before a write replaces or removes it, unless an identical copy is kept.
// With a gate, the commit and the gate's advance to batch.seq happen under its lock.
//
// Splices go only into the exact bytes they were made for: when the gate knows the digest of the
// key's value (the session wrote or loaded it) and another connection has committed since the last
// transaction here (PRAGMA data_version), the stored value is compared with it, and splices into a
// value that differs are refused. A whole write over a data value of ours that another program has
// changed copies that value aside first (once: an identical copy already kept is enough).
PrefsCommit commitPrefsBatch(sqlite3 *db, const PrefsBatch &batch, PrefsCommitGate *gate = nullptr);

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
    };
    using Done = std::function<void(const PrefsBatch &, const PrefsCommit &)>;

    PrefsWriter(sqlite3 *db, Hooks hooks, std::shared_ptr<PrefsCommitGate> gate = {});
    ~PrefsWriter() override; // finish() must have run

    void submit(PrefsBatch &&batch);
    bool hasPending() const;
    quint64 committedSeq() const;
    // Waits until everything submitted so far is committed, or a try at it has failed.
    PrefsCommit flush(int timeoutMs);
    // Commits the replacement as one transaction once the writes before it are done (or tried),
    // trying again while another program holds the database. When it cannot be committed within
    // timeoutMs it is dropped: nothing of it is ever written. done runs once with the result, on the
    // writer's thread (on the caller's when it was dropped before the writer took it).
    void replaceLater(PrefsBatch &&batch, int timeoutMs, Done done);
    // replaceLater(), waiting for the result; onCommit runs on the writer's thread once it is
    // committed, before this returns.
    PrefsCommit replace(PrefsBatch &&batch, int timeoutMs, Done onCommit = {});
    // The last commit: retries while the database is busy for up to retryMs, checkpoints the log into
    // the main file and closes the connection. The thread has ended when this returns.
    PrefsCommit finish(int retryMs);

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
        Clock::time_point deadline;
        Done done;
        bool taken = false; // the writer is trying it: only its result ends it now
    };

    PrefsCommit attempt(const PrefsBatch &batch);
    PrefsCommit commit(std::unique_lock<std::mutex> &l, PrefsBatch b, Round round,
                       Clock::time_point busyUntil, const Done &done = {});
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
    bool failing_ = false;
    bool failingBusy_ = false; // the last failure was another program's lock
    quint64 submittedSeq_ = 0;
    quint64 committedSeq_ = 0;
    quint64 tries_ = 0;
    PrefsCommit last_ = PrefsCommit::success();
    // Keys whose stored value another program wrote: splices made for the value before it are not
    // put into it, until a write of the whole value or a new base (a store read the value again).
    std::set<QString> refused_;
};
