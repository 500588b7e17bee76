#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

class QSaveFile;

// Files written whole or not at all, and files read with a size limit.
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

// The whole file, or nothing when it cannot be read or is larger than maxBytes.
std::optional<QByteArray> readLimited(const QString &path, qint64 maxBytes);
} // namespace AtomicFile
