#pragma once
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class Deadline;

class QFileDevice;
class QSaveFile;

// Files written whole or not at all.
namespace AtomicFile {
// On failure an existing file of that name is left as it was and error says why.
struct WriteResult {
    bool ok = false;
    QString error;
};
WriteResult write(const QString &path, const QByteArray &bytes);
// Finishes a save file the caller has written: flushed first, so a full disk is a failure rather
// than a short file; cancelled when anything went wrong.
WriteResult commit(QSaveFile &f);
// Why a write to f failed, for the user. Call it at once, before anything else touches errno and
// before the half-written file is removed: a write that fills the disk part-way leaves Qt's own text
// at "Unknown error", so the system's reason (errno, or a file system with no room left) is used.
QString writeError(const QFileDevice &f);

// Files Mivo keeps for itself beside its database (the changes a quit could not write, the notices
// not yet told). Each is a regular file with a checksum over its whole content after it. It is
// written in place of whatever has its name, a link included, which is replaced and never written
// through; it is read back only when it is a regular file (not a link) and its checksum holds, so
// that damage is never taken for data.
enum class SideState {
    none,    // nothing has the name
    ok,      // content is what was written
    damaged, // something has the name, but not a whole side file: keep it aside, tell, apply nothing
};
struct SideFile {
    SideState state = SideState::none;
    QByteArray content;
    // damaged: the bytes of a regular file whose checksum does not hold (without it), never to be
    // applied; only to name to the user what it seemed to hold.
    QByteArray unchecked;
};
WriteResult writeSideFile(const QString &path, const QByteArray &content);
// The same by a deadline: written and put on disk a stretch at a time (some megabytes), the deadline
// looked at before each stretch after the first. One that passes first leaves nothing of it (and what
// had the name before, as it was).
WriteResult writeSideFile(const QString &path, const QByteArray &content, const Deadline &by);
// The same with the content in parts, written one after another (never joined in memory), by the
// deadline when one is given.
WriteResult writeSideFile(const QString &path, const std::vector<QByteArrayView> &parts, const Deadline *by);
// Tests: called after each stretch a write by a deadline has put on disk.
void setStretchHookForTests(std::function<void()> hook);
// Reads at most maxBytes of content.
SideFile readSideFile(const QString &path, qint64 maxBytes);
// Moves whatever has path's name (a file, a link, a folder) to a name beside it that nothing has,
// never over anything: the new path, or empty when it could not be moved.
QString keepAside(const QString &path);
} // namespace AtomicFile
