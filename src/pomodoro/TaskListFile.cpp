#include "pomodoro/TaskListFile.h"

namespace TaskListFile {

ReadResult read(const QString &path, qint64 maxBytes) {
    const ImportFile::Result file = ImportFile::read(path, maxBytes);
    if (file.error != ImportFile::Error::none) return {{}, ImportFile::readError<ReadError>(file.error), {}};
    if (auto tooLong = LongText::find(file.bytes)) return {{}, ReadError::textTooLong, tooLong};
    auto tasks = decodeTasks(file.bytes);
    if (!tasks) return {{}, ReadError::invalid, {}};
    return {std::move(*tasks), ReadError::none, {}};
}

QString fileMessage(ReadError e) {
    switch (e) {
    case ReadError::notAFile:
        return ImportFile::message(ImportFile::Error::notAFile);
    case ReadError::tooLarge:
        return ImportFile::message(ImportFile::Error::tooLarge);
    default:
        return {};
    }
}

} // namespace TaskListFile
