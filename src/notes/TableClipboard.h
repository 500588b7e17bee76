#pragma once
#include "notes/Note.h"
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The geometry of a table note's cell selection: copy as tab-separated text, paste clipped at the
// table's edge, clear, and the cell editor's save. All work on a note value; the caller stores it.
namespace TableClipboard {
struct CellPos {
    int row = 0;
    int col = 0;
    bool operator==(const CellPos &) const = default;
};

// The rectangle spanned by two cells, both ends included.
struct CellRect {
    int top = 0, left = 0, bottom = 0, right = 0;
    static CellRect span(CellPos a, CellPos b);
};

using Block = std::vector<QStringList>;

// The rows of the rectangle that exist (none when it starts below the last row); every column of the
// rectangle, with "" where a row has no cell.
Block copyBlock(const Note &note, CellRect r);
// Texts of a row joined by "\t", rows by "\n", nothing after the last; no quoting.
QString blockText(const Block &b);
// Text from the general clipboard as a block. One trailing line break is dropped and carriage returns
// before line feeds are removed, so text copied from a spreadsheet does not blank an extra row; an
// empty text gives one line with one empty text.
Block blockFromText(const QString &text);

// Writes the block from the anchor cell: lines past the last row and texts past the last column are
// dropped; written cells lose their rich text; short rows are padded with "".
void paste(Note &note, CellPos anchor, const Block &b);
// Empties the cells of the rectangle that lie inside the table (rows below the row count, columns below
// the column count), padding short rows and dropping rich text.
void clear(Note &note, CellRect r);

// The cell editor's save, by the ids it remembered when it opened: writes the plain text and the RTF
// (none removes the cell's rich text) into the row with rowId at the column with colId. Returns false,
// writing nothing, when either is gone.
bool saveCell(Note &note, const QString &rowId, const QString &colId, const QString &plain,
              const std::optional<QByteArray> &rtf);
// The ids of the cell at (row, col), for an editor to remember; nothing when it is not in the table.
std::optional<std::pair<QString, QString>> cellIds(const Note &note, int row, int col);
} // namespace TableClipboard
