#pragma once
#include "notes/Note.h"
#include "notes/TableClipboard.h"
#include <QString>
#include <vector>

// Edits of a table note's grid that the page and the editor dialog make: swaps, block moves, row and
// column removal, and the column-width rules. A cell's rich text (cellsRTF, keyed by column position)
// always travels with its text, so the grid never shows stale or foreign rich text.
namespace TableOps {
using TableClipboard::CellPos;
using TableClipboard::CellRect;

// True when the row exists and the column is below the column count.
bool inTable(const Note &note, CellPos p);

// Exchanges two cells' texts and rich text, padding short rows. Nothing changes (false) when either
// cell lies outside the table, e.g. its row or column was removed since the drag began.
bool swapCells(Note &note, CellPos a, CellPos b);

// Moves the block r by (dRow, dCol), texts with their rich text; the vacated cells become empty.
// Refused (false, nothing changed) when the block is not wholly inside the table or when a non-empty
// cell would land outside it.
bool moveBlock(Note &note, CellRect r, int dRow, int dCol);

// Removes column i: its title, cell i of every row that has one, and rich-text key i; higher keys
// move down by one. False for a column that does not exist.
bool deleteColumn(Note &note, int i);
bool deleteRow(Note &note, int r);

// Sets the text of a cell, padding the row; a changed text drops the cell's rich text.
void setCellText(NoteRow &row, int col, const QString &text);

// Column widths: the title's width plus 30, or the widest content line plus 24 capped at 300.
double columnWidth(double titleWidth, double widestLine);
// The width of the table band: the sum of the widths, at least the detail width less 104.
double tableWidth(const std::vector<double> &widths, double detailWidth);
// A resize step, never narrower than 60.
double resizedWidth(double width, double step);
inline constexpr double kMinColumnWidth = 60;
inline constexpr double kMaxContentWidth = 300;

// The column letter: A…Z, then A again for the 27th.
QString columnLetter(int i);

// True when the note in the store differs from the one the editor opened with (changed elsewhere).
bool changedSince(const Note &opened, const Note *now);
} // namespace TableOps
