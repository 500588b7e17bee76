#pragma once
#include "notes/Note.h"
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// Filling a table note from a CSV file or the first worksheet of an XLSX workbook. The readers give
// rows of texts in file order (the first row is the header) or a failure whose alert texts are below;
// tableFromRows() turns the rows into the note's columns and rows.
namespace TableImport {
inline constexpr qint64 kMaxCsvBytes = 32LL * 1024 * 1024;
inline constexpr qint64 kMaxXlsxBytes = 64LL * 1024 * 1024;
inline constexpr int kMaxDataRows = 10000; // the header not counted
inline constexpr int kMaxColumns = 1000;
// A cell longer than this is refused: in a CSV file, one unclosed quote makes the rest of it one cell.
inline constexpr qsizetype kMaxCellChars = 1024 * 1024;

using Rows = std::vector<QStringList>;

enum class Failure {
    none,
    nothingToImport, // a CSV file without a non-blank line: no message, the table stays
    couldNotRead,    // unreadable file, or a CSV file that is not UTF-8
    notAFile,        // a folder, a named pipe, a device or a socket: refused unopened
    noData,          // not a zip, an old XLS file, no worksheet, or a worksheet without cells
    xlsxFailed,      // a corrupt archive, a member or ratio over its cap, a DTD, broken XML
    tooLarge,        // a file or member over its size cap, or more rows or columns than the table caps
    cellTooLarge,    // one cell over kMaxCellChars
    outOfMemory,     // the memory ran out while reading: nothing imported, the app goes on
};

struct Result {
    Rows rows;
    Failure failure = Failure::none;
};

enum class Kind { csv, xlsx };
// By the file's extension, in any case: "xlsx" and "xls" are workbooks, everything else is CSV.
Kind kindForPath(const QString &path);

// RFC 4180 over the whole text: "" inside quotes is one quote, line breaks inside quotes stay in the
// field (CRLF there becomes "\n"), LF or CRLF ends a record, a leading BOM is dropped. Spaces are kept,
// a trailing comma gives an empty last field, blank records are dropped, a quote inside an unquoted
// field is kept, an unclosed quote runs to the end of the text (and so fails as cellTooLarge when
// that is more than a cell may hold).
Result parseCsv(const QByteArray &bytes);
Result readCsvFile(const QString &path);

// Reads the whole file (a regular file within the import bound, see ImportFile) and parses it by its
// kind, each kind within its own cap. Call it on a worker.
Result readFile(const QString &path);

struct Table {
    std::vector<NoteTableColumn> columns;
    std::vector<NoteRow> rows;
};
// The first row becomes the columns (fresh ids, titles as they are); every further row a NoteRow with a
// fresh id, padded with empty texts to the column count (texts beyond it stay) and no rich text.
Table tableFromRows(const Rows &rows);

// readFile() and tableFromRows() in one: the import as the note editor runs it. An allocation that
// fails on the way ends as outOfMemory, never as the end of the process.
Failure importFile(const QString &path, Table &out);

// The alert for a failure (English in every language, but for notAFile); empty message for none and
// nothingToImport.
QString alertMessage(Failure f);
QString alertInformative(Failure f);
// The open panel's message, the same English text in every language.
QString openPanelMessage();
} // namespace TableImport
