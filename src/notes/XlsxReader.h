#pragma once
#include "notes/TableImport.h"

// The first worksheet of an XLSX workbook, read in memory with libzip and QXmlStreamReader: the sheet
// is found through xl/workbook.xml and its relationships (else xl/worksheets/sheet1.xml). Members are
// looked up by their exact names and must be regular files; each member's uncompressed size and its
// compression ratio are capped, checked before and while inflating; DTDs are refused. Only cached
// values are read (never formulas): shared strings (rich runs joined, phonetic runs skipped), inline
// strings, numbers and the rest as written. A cell's column comes from its r attribute, or follows the
// previous cell; columns beyond XFD are ignored; rows close up (their numbers are not used).
namespace XlsxReader {
inline constexpr qint64 kMaxMemberBytes = 256LL * 1024 * 1024;
// Allowed compression ratio for members larger than kRatioFloorBytes (XML compresses well, bombs far more).
inline constexpr qint64 kMaxRatio = 200;
inline constexpr qint64 kRatioFloorBytes = 1024 * 1024;
inline constexpr int kLastColumn = 16383; // XFD

TableImport::Result parse(const QByteArray &bytes);
} // namespace XlsxReader
