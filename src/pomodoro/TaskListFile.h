#pragma once
#include "platform/AtomicFile.h"
#include "platform/ImportFile.h"
#include "platform/LongText.h"
#include "pomodoro/Task.h"
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// The task list file that the Pomodoro page exports and imports: the task store's own document.
namespace TaskListFile {
inline constexpr char kProposedName[] = "pomodoro-tasks.json";
// Writes the bytes atomically.
using AtomicFile::WriteResult;
using AtomicFile::write;

enum class ReadError { none, unreadable, notAFile, tooLarge, invalid, textTooLong };
struct ReadResult {
    std::vector<Task> tasks;
    ReadError error = ReadError::none;
    std::optional<LongText::Found> tooLong; // with textTooLong: the field
};
// Only a regular file of at most maxBytes is read (see ImportFile); call it on a worker.
ReadResult read(const QString &path, qint64 maxBytes = ImportFile::kMaxBytes);
// The alert text for a file that could not be read as a file (notAFile, tooLarge); empty otherwise.
QString fileMessage(ReadError e);
} // namespace TaskListFile
