#pragma once
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Step pictures decoded no larger than they are shown. A phone photo (36–48 megapixels) decoded whole
// is over the image decoder's memory limit and would come out empty; decoded to the shown size it
// stays small and quick. Safe to call from any thread.
namespace StepPicture {
// The picture turned upright and fitted into a square of box's longer side (never enlarged); null
// when the file or data is not a picture, or the path names no regular file (a pipe, a device). A
// box without a size decodes to kFallbackSide.
QImage read(const QString &path, QSize box);
QImage fromData(const QByteArray &data, QSize box);
// Whether the file starts like a picture this build can decode (reads its header only).
bool looksLikePicture(const QString &path);

inline constexpr int kFallbackSide = 1600;
} // namespace StepPicture
