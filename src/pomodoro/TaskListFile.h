#pragma once
#include "platform/AtomicFile.h"
#include "platform/LongText.h"
#include "pomodoro/Task.h"
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// The task list file that the Pomodoro page exports and imports: the task store's own document.
namespace TaskListFile {
inline constexpr char kProposedName[] = "pomodoro-tasks.json";
// Larger files are refused rather than read into memory whole.
inline constexpr qint64 kMaxImportBytes = 64LL * 1024 * 1024;

// Writes the bytes atomically.
using AtomicFile::WriteResult;
using AtomicFile::write;

enum class ReadError { none, unreadable, invalid, textTooLong };
struct ReadResult {
    std::vector<Task> tasks;
    ReadError error = ReadError::none;
    std::optional<LongText::Found> tooLong; // with textTooLong: the field
};
ReadResult read(const QString &path, qint64 maxBytes = kMaxImportBytes);
} // namespace TaskListFile
