#include "pomodoro/TaskListFile.h"

namespace TaskListFile {

ReadResult read(const QString &path, qint64 maxBytes) {
    const auto bytes = AtomicFile::readLimited(path, maxBytes);
    if (!bytes) return {{}, ReadError::unreadable, {}};
    if (auto tooLong = LongText::find(*bytes)) return {{}, ReadError::textTooLong, tooLong};
    auto tasks = decodeTasks(*bytes);
    if (!tasks) return {{}, ReadError::invalid, {}};
    return {std::move(*tasks), ReadError::none, {}};
}

} // namespace TaskListFile
