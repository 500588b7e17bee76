#pragma once
#include "platform/LongText.h"
#include "platform/Prefs.h"
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>

// The full backup "mivo-backup.json": one JSON object whose members are the backed-up preference keys
// that have values, pretty-printed with sorted keys and "/" written as "\/"; store documents appear as
// standard Base64 strings. Restore checks the whole file before anything changes.
namespace Backup {
inline constexpr char kFileName[] = "mivo-backup.json";

// The 38 keys a backup carries.
const QStringList &backedUpKeys();
// The eight of them that hold store documents.
const QStringList &documentKeys();

// A backup always restores: each member is written in the type the restore expects for its key, as
// the app reads it (a switch stored as a number is written as the switch the app sees). What cannot be
// carried so is said, never silently dropped.
struct Export {
    QByteArray bytes;
    QStringList leftOut;   // document keys whose stored value could not be read: not in the file
    QStringList defaulted; // number keys whose stored value was not finite: written as their default
};
// The backup of prefs, or nothing when the serialiser refuses the tree.
std::optional<Export> exportJson(const Prefs &prefs);

// The values a backup file holds, keyed by preference key, or nothing when the file is not a backup
// this app could have written: the top level must be an object holding at least one backed-up key;
// each backed-up member must have the type the export writes for it (a number, never true or false, for
// a number; true or false, never a number, for a switch; numbers finite); each document
// must be strict Base64 of JSON of its kind (an object for playlistState, an array for the others).
// Members outside the backed-up keys are ignored.
// A document with a text longer than LongText::kMaxChars is refused too; tooLong, when given, then
// receives the field, named after the document's key ("savedTasks › title").
std::optional<std::map<QString, Prefs::Value>> parseRestore(const QByteArray &bytes,
                                                            LongText::Found *tooLong = nullptr);

// The whole domain after a restore of fromFile over current: the file's values, plus what a restore
// must never lose (the autostart default flag and the kept-aside copies of unreadable documents).
// Rows of types the app does not know are not among these values: the restore replaces the domain
// with Prefs::UnknownRows::keep, so they and their copies stay where they are.
std::map<QString, Prefs::Value> restoredDomain(const Prefs &current, const std::map<QString, Prefs::Value> &fromFile);

// Whether key holds a kept-aside copy of an unreadable document (never deleted by erase or restore).
bool isKeptAsideKey(const QString &key);
} // namespace Backup
