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

namespace PrefsDb {

// A connection waits this long for another program's lock before a try fails.
constexpr int kBusyMs = 1000;

bool setUpForWriting(sqlite3 *db, bool syncs = true);
sqlite3 *openForWriting(const QString &path, int busyMs, int *code, QString *error, bool setUp = true);
bool openWithoutSyncing(sqlite3 *db, const std::function<bool(sqlite3 *)> &loadRows);
sqlite3 *openForReading(const QString &path, bool closedCleanly = false);
std::optional<QByteArray> readBlobRange(sqlite3 *db, const QString &key, qint64 at, qint64 len);
std::optional<QByteArray> readStored(sqlite3 *db, const QString &key, qint64 at, qint64 len,
                                     const std::vector<PrefsPendingSplices> *pending, PrefsCommitGate &gate);
bool sameValue(const Prefs::Value &a, const Prefs::Value &b);

} // namespace PrefsDb
