#pragma once
// Fixture files written and read back by tests.
#include <QFile>
#include <QString>

// Writes bytes to path (replacing what was there) and gives the path back.
inline QString putFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
    return path;
}

// The file's bytes, or nothing when it cannot be read.
inline QByteArray fileBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
