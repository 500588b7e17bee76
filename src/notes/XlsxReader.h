#pragma once
#include "notes/TableImport.h"

// The first worksheet of an XLSX workbook, read with libzip and QXmlStreamReader: the sheet is found
// through xl/workbook.xml and its relationships (else xl/worksheets/sheet1.xml). Members are looked up
// by their exact names and must be regular files; they are parsed as they inflate, never held whole.
// Each member's size (the bytes that really come out, not the directory's claim) and its compression
// ratio are capped; DTDs are refused; a cell longer than TableImport::kMaxCellChars is refused. Only
// cached values are read (never formulas): shared strings (rich runs joined, phonetic runs skipped),
// inline strings, numbers and the rest (booleans, errors, formula strings) as written. A cell's column
// comes from its r attribute, or follows the previous cell; columns beyond XFD are ignored. Each row
// stays at its number: rows the sheet leaves out come back blank, as wide as the widest row.
namespace XlsxReader {
inline constexpr qint64 kMaxMemberBytes = 64LL * 1024 * 1024;
// Allowed compression ratio for members larger than kRatioFloorBytes (XML compresses well, bombs far more).
inline constexpr qint64 kMaxRatio = 200;
inline constexpr qint64 kRatioFloorBytes = 1024 * 1024;
inline constexpr int kLastColumn = 16383; // XFD

TableImport::Result parse(const QByteArray &bytes);
} // namespace XlsxReader
