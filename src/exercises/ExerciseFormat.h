#pragma once
#include "platform/ImportFile.h"
#include <QByteArray>
#include <QRgb>
#include <QString>
#include <optional>

// Texts, colours and file names of the exercises page, worked out without widgets.
namespace ExerciseFormat {
// "45 sec", "2 min", "1 min 15 s": the same in every language. Negative counts read as 0.
QString durStr(qint64 seconds);
// The RGB of a colour text such as "4488FF" or "#4488ff": punctuation trimmed from both ends, then a
// hexadecimal number read from the start ("0x" allowed), its low 24 bits. Nothing when no digit can
// be read (the caller uses the theme's accent).
std::optional<QRgb> hexRgb(const QString &text);

// "exercise-" + the name's words joined by "-", lower case, letters, digits and "-" only, + ".json";
// the id (filtered alike) stands in for an empty part. Never longer than a file name may be
// (255 bytes of UTF-8): a long name is cut at a character boundary.
QString exportFileName(const QString &name, const QString &id);
inline constexpr char kAllFileName[] = "exercises.json";
inline constexpr int kMaxFileNameBytes = 255;
} // namespace ExerciseFormat

// Reading an import file: whole, only a regular file, and only up to the import bound (see
// ImportFile); call it on a worker.
namespace ExerciseFile {
using ReadError = ImportFile::Error;
using ReadResult = ImportFile::Result;
ReadResult read(const QString &path, qint64 maxBytes = ImportFile::kMaxBytes);
} // namespace ExerciseFile
