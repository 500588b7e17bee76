#include "pomodoro/TaskListFile.h"

#include <QFile>
#include <QSaveFile>

namespace TaskListFile {

WriteResult write(const QString &path, const QByteArray &bytes) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {false, f.errorString()};
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        const QString err = f.errorString();
        f.cancelWriting();
        return {false, err};
    }
    if (!f.commit()) return {false, f.errorString()};
    return {true, {}};
}

ReadResult read(const QString &path, qint64 maxBytes) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {{}, ReadError::unreadable};
    if (f.size() > maxBytes) return {{}, ReadError::unreadable};
    const QByteArray bytes = f.read(maxBytes + 1);
    if (f.error() != QFileDevice::NoError || bytes.size() > maxBytes) return {{}, ReadError::unreadable};
    auto tasks = decodeTasks(bytes);
    if (!tasks) return {{}, ReadError::invalid};
    return {std::move(*tasks), ReadError::none};
}

} // namespace TaskListFile
