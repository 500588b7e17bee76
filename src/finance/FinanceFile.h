#pragma once
#include "finance/FinEntry.h"
#include "platform/AtomicFile.h"
#include "platform/ImportFile.h"
#include "platform/LongText.h"
#include <QByteArray>
#include <QString>
#include <vector>

// The files the finance page writes and reads: the month's CSV, text and PDF reports and the JSON
// file of all entries (the savedFinances document itself).
namespace FinanceFile {
inline constexpr char kJsonName[] = "mivo-finances.json";
// Writes atomically.
using AtomicFile::WriteResult;
using AtomicFile::write;
// The report printed on A4 (595 × 842 points, margins 40 left and right, 48 top and bottom) in a
// fixed-pitch font of 11 points with 3 points between lines, whatever the interface's font scale.
// title is the document's title, the one PDF viewers show: the report's own first line.
WriteResult writePdf(const QString &path, const QString &text, const QString &title);

// An import file: every record must decode and carry a finite amount
// above 0. Ids that repeat an earlier record's get fresh ones, so deleting one row never deletes
// another.
struct ReadResult {
    bool ok = false;
    std::vector<FinEntry> entries;
    std::optional<LongText::Found> tooLong; // a text over LongText::kMaxChars, when that is why not ok
    ImportFile::Error fileError = ImportFile::Error::none; // when the file itself could not be read
};
// Only a regular file of at most maxBytes is read (see ImportFile); call it on a worker.
ReadResult read(const QString &path, qint64 maxBytes = ImportFile::kMaxBytes);
ReadResult readBytes(const QByteArray &bytes);
} // namespace FinanceFile
