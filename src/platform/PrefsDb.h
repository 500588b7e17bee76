#pragma once
// What the parts of the preferences domain share about its database file: opening it for writing or
// for reading, and reading a stored data value's bytes. Private to the preferences domain.
#include "platform/Prefs.h"
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

struct sqlite3;
struct PrefsCommitGate;
struct PrefsSnapshot;

namespace PrefsDb {

// A connection waits this long for another program's lock before a try fails.
constexpr int kBusyMs = 1000;

bool setUpForWriting(sqlite3 *db, bool syncs = true);
sqlite3 *openForWriting(const QString &path, int busyMs, int *code, QString *error, bool setUp = true);
bool openWithoutSyncing(sqlite3 *db, const std::function<bool(sqlite3 *)> &loadRows);
sqlite3 *openForReading(const QString &path, bool closedCleanly = false);
std::optional<QByteArray> readBlobRange(sqlite3 *db, const QString &key, qint64 at, qint64 len);
std::optional<QByteArray> readDataRow(sqlite3 *db, qint64 rowid, qint64 at, qint64 len);
// Runs read in one read transaction on db, with what its snapshot holds of ours and the rowid of key's
// data row in it (nothing: none). Waits for no commit on its way to the disk, unless what the
// snapshot holds cannot be told after a few looks. False when no read could be made.
bool readSnapshot(sqlite3 *db, const QString &key, PrefsCommitGate &gate,
                  const std::function<void(const PrefsSnapshot &, std::optional<qint64> row)> &read);
std::optional<QByteArray> readStored(sqlite3 *db, const QString &key, qint64 at, qint64 len,
                                     const std::vector<PrefsPendingSplices> *pending, PrefsCommitGate &gate);
bool sameValue(const Prefs::Value &a, const Prefs::Value &b);
// Moves what the -wal file holds into the main file and empties it, by the deadline: cut short when
// it would run past it, and not begun when it has passed. False when the -wal file still holds some
// (it is safe there: the next open reads it, and its next checkpoint moves it).
// Begun only when what is left covers kCheckpointLeadMs and the -wal file's bytes at
// kCheckpointBytesPerMs (a loaded machine's disk: copied once, synced twice).
constexpr qint64 kCheckpointLeadMs = 200;
constexpr qint64 kCheckpointBytesPerMs = 40 * 1024;
bool checkpointBy(sqlite3 *db, const Deadline &deadline);
// Another connection holds the database's write lock now. Asked without waiting for it; nothing is
// written, and the -wal file is left as it is.
bool lockTaken(const QString &path);

} // namespace PrefsDb
