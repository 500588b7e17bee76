#include "platform/AtomicFile.h"

#include <QFile>
#include <QSaveFile>

namespace AtomicFile {

WriteResult commit(QSaveFile &f) {
    if (f.error() != QFileDevice::NoError || !f.flush()) {
        const QString err = f.errorString();
        f.cancelWriting();
        return {false, err};
    }
    if (!f.commit()) return {false, f.errorString()};
    return {true, {}};
}

WriteResult write(const QString &path, const QByteArray &bytes) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {false, f.errorString()};
    if (f.write(bytes) != bytes.size()) {
        const QString err = f.errorString();
        f.cancelWriting();
        return {false, err};
    }
    return commit(f);
}

std::optional<QByteArray> readLimited(const QString &path, qint64 maxBytes) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    if (f.size() > maxBytes) return std::nullopt;
    QByteArray bytes = f.read(maxBytes + 1);
    if (f.error() != QFileDevice::NoError || bytes.size() > maxBytes) return std::nullopt;
    return bytes;
}

} // namespace AtomicFile
