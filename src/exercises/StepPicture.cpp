#include "exercises/StepPicture.h"

#include "platform/ImportFile.h"
#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <algorithm>

namespace {
QImage decode(QImageReader &reader, QSize box) {
    reader.setAutoTransform(true);
    // A square of the box's longer side: an upright turn after decoding swaps width and height.
    const int side = box.isEmpty() ? StepPicture::kFallbackSide : std::max(box.width(), box.height());
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > side || full.height() > side))
        reader.setScaledSize(full.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    return reader.read();
}
} // namespace

namespace StepPicture {
QImage read(const QString &path, QSize box) {
    // The user picked this file; a pipe or a device in its place must not hold the decoding thread.
    QFile file;
    if (!ImportFile::openRegular(path, file)) return {};
    QImageReader reader(&file);
    return decode(reader, box);
}

QImage fromData(const QByteArray &data, QSize box) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return decode(reader, box);
}

bool looksLikePicture(const QString &path) {
    QFile file;
    if (!ImportFile::openRegular(path, file)) return false;
    QImageReader reader(&file);
    return reader.canRead();
}
} // namespace StepPicture
