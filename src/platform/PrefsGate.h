#pragma once
// Which writes of ours a reader's snapshot of the database holds, told without the reader waiting
// for the disk. Shared by the writer, which commits, and the readers, which put the pending splices
// the disk does not hold yet on top of what they read. Private to the preferences domain.
#include "platform/PrefsSplice.h"
#include <QString>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

struct sqlite3;

// A seqlock around each commit. The writer marks its commit in flight (under lock), COMMITs without
// the lock (the sync to the disk), then publishes it once what the commit means has been told
// (publishCommit): committed, known and settled advance together.
// A reader looks at the gate before and after the first read of its read transaction (which takes
// the transaction's snapshot). When nothing settled in between, the snapshot holds exactly the
// commits published before, and perhaps the one in flight: whether it does, the rowid of the key's
// row tells, for every commit that changes a row writes it anew (a new row, with a rowid the key's
// row never had before it). Only when that cannot be told does a reader look again, and, after a few
// tries, wait for the commit in flight and read under the lock, where no commit comes between.
//
// With it, what the commits left: the digest of each data value of ours, and the database's
// data_version as the writer's connection last saw it inside a transaction of its own.
struct PrefsCommitGate {
    // A commit on its way to the disk.
    struct Flight {
        quint64 seq = 0;
        // The rowid each key it writes or splices has after it (nothing: no data row then).
        std::map<QString, std::optional<qint64>> rows;
        bool rowsTell = true; // false: a row may get back a rowid it had before (the table was wiped)
        std::map<QString, PrefsKnown> known; // what the gate knows once it is published
        std::optional<qint64> dataVersion;   // the database's data_version inside the commit
    };

    std::mutex lock;
    std::condition_variable settledChanged;
    // Every write of ours up to this one is committed and what its commit means has been told: the one
    // record of how far the writer got, which the readers, the writer's flush and the domain ask.
    quint64 committed = 0;               // guarded by lock
    quint64 settled = 0;                 // commits published or given up (lock)
    std::optional<Flight> flight;        // guarded by lock
    std::map<QString, PrefsKnown> known; // guarded by lock
    std::optional<qint64> dataVersion;   // guarded by lock
    // Every kept-aside name chosen in this session, by the domain or by the writer, whether on disk
    // yet or not: neither ever chooses one the other has (guarded by lock).
    std::set<QString> asideKeys;
};

// Publishes the commit in flight made for writes up to seq, once its COMMIT went through and its
// completion has told what it means; nothing when it is published already (or is another one).
void publishCommit(PrefsCommitGate &gate, quint64 seq);
// The gate's committed, read under its lock.
quint64 committedSeq(PrefsCommitGate &gate);

// The one way a name for a copy kept aside of key is chosen ("<key>.unreadable-<stamp>", "-2"… when
// taken): free in what the chooser sees stored (taken(name): the domain's memory, or the writer's
// transaction) and never chosen before in this session. The name is the caller's from then on.
QString chooseAsideKey(PrefsCommitGate &gate, const QString &key,
                       const std::function<bool(const QString &)> &taken);

// Inside the writer's transaction: copies key's row under aside, the name the domain chose for the
// copy (and told the user of). An identical row already there is an older copy of the same row:
// nothing is added. A different row there is another program's: it stays, and the copy goes under a
// name no row has, added to renamed as (aside, that name). False on a database error.
bool copyStagedAside(sqlite3 *db, PrefsCommitGate &gate, const QString &key, const QString &aside,
                     std::vector<std::pair<QString, QString>> *renamed);

// What a reader of one key saw in the gate at one moment.
struct PrefsGateLook {
    quint64 settled = 0;
    quint64 committed = 0;
    std::optional<PrefsDigest> known;
    bool inFlight = false;
    quint64 flightSeq = 0;
    bool flightWritesKey = false;
    bool flightRowsTell = true;
    std::optional<qint64> flightRow;        // the key's rowid once the commit in flight is made
    std::optional<PrefsDigest> flightKnown; // the key's digest known once it is published
    static PrefsGateLook of(PrefsCommitGate &gate, const QString &key); // takes the lock
    static PrefsGateLook underLock(const PrefsCommitGate &gate, const QString &key);
};

// What a read transaction's snapshot holds of ours: every write up to heldUpTo, and for the key the
// digest this session knows of its value there (nothing: not known).
struct PrefsSnapshot {
    quint64 heldUpTo = 0;
    std::optional<PrefsDigest> known;
};

// The snapshot taken between the looks before and after, in which the key's data row has the rowid
// row (nothing: no data row). Nothing when it cannot be told: look and read again.
std::optional<PrefsSnapshot> snapshotBetween(const PrefsGateLook &before, const PrefsGateLook &after,
                                             std::optional<qint64> row);

// Tests only: runs on the writer's thread just before (false) and just after (true) each COMMIT,
// while that commit is in flight. Empty: nothing runs.
void setPrefsCommitHookForTests(std::function<void(bool made)> hook);
void runPrefsCommitHook(bool made);
// Tests only: runs in a read between the first read of a look (which takes its snapshot) and the
// look at the gate after it, with the look's number, for every look but the last. Empty: nothing runs.
void setPrefsLookHookForTests(std::function<void(int look)> hook);
void runPrefsLookHook(int look);
