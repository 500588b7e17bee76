#pragma once
#include <functional>
// What a round of writes to the preferences table is and what its commit reports: shared by the
// preferences domain, which makes the rounds, and the writer thread, which commits them. No threads
// here: a store that includes the domain sees nothing of the writer.
#include "platform/PrefsSplice.h"
#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <variant>
#include <vector>

struct sqlite3;
struct PrefsCommitGate;

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

// A round's splices of a key not put in, because the stored value is not the one they were made for
// (another program wrote it): what is stored, as a launch reads it.
struct PrefsRefused {
    QString key;
    qint64 found = -1;                              // the size of the data value stored (-1: none)
    std::optional<PrefsValue> value = std::nullopt; // a value of another type the app knows, stored there
    // A row of a type the app does not know stored there, exactly as stored.
    struct Foreign {
        QByteArray type;
        int storage = 0; // SQLite storage class of the value
        QByteArray bytes;
    };
    std::optional<Foreign> foreign = std::nullopt;
};

struct PrefsCommit {
    bool ok = false;
    int code = 0; // SQLite's extended result code when it failed
    QString error;
    std::vector<std::pair<QString, QString>> keptAside; // rows of unknown type copied before being replaced
    bool drained = false; // committed, and nothing else was waiting to be written
    // Splices not put in because the stored value is not the one they were made for (another program
    // wrote it). What is stored stays.
    std::vector<PrefsRefused> refused;
    // Data values another program had written in place of ours, copied aside before a write of ours
    // replaced them: the key and the key of the copy.
    std::vector<std::pair<QString, QString>> replacedAside;
    // Copies (PrefsBatch::copies) put under another name than the one chosen, which another program
    // had taken meanwhile with a row of its own: the name chosen and the name the copy has.
    std::vector<std::pair<QString, QString>> copiesRenamed;

    static PrefsCommit success() { return PrefsCommit{true, 0, {}, {}, false, {}, {}, {}}; }
    static PrefsCommit failure(int code, const QString &error) {
        return PrefsCommit{false, code, error, {}, false, {}, {}, {}};
    }
};

// Commits a round in one transaction, rolled back on any error. A row of a type the app does not know
// is copied aside byte for byte before a write replaces or removes it, unless an identical copy is kept.
// With a gate, the commit is marked in flight there before its COMMIT and published after it.
//
// Splices go only into the exact bytes they were made for: when the gate knows the digest of the
// key's value (the session wrote or loaded it) and another connection has committed since the last
// transaction here (PRAGMA data_version), the stored value is compared with it, and splices into a
// value that differs are refused. A whole write over a data value of ours that another program has
// changed copies that value aside first (once: an identical copy already kept is enough).
// With cut, the commit gives up (rolled back, code SQLITE_INTERRUPT) as soon as cut() holds: between
// statements, between the stretches of a large value, and before its COMMIT.
PrefsCommit commitPrefsBatch(sqlite3 *db, const PrefsBatch &batch, PrefsCommitGate *gate = nullptr,
                             const std::function<bool()> &cut = {});
