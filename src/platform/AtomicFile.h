#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

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
} // namespace AtomicFile
