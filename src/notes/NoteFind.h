#pragma once
#include "notes/Note.h"
#include "notes/TableClipboard.h"
#include <QString>
#include <vector>

// Find in a note, case-insensitive in place (no lower-casing that changes lengths), on the text the
// note actually shows: the rich text's characters when its RTF reads, else the plain text.
namespace NoteFind {
inline constexpr int kMaxTextMatches = 501;

struct Range {
    int start = 0; // UTF-16 units into the searched text
    int length = 0;
    bool operator==(const Range &) const = default;
};

// What a text note shows; what a table cell shows (empty past the row's cells).
QString shownText(const Note &note);
QString shownCellText(const NoteRow &row, int col);

// Non-overlapping matches in text order, at most cap; none for an empty query.
std::vector<Range> textMatches(const QString &text, const QString &query, int cap = kMaxTextMatches);
// Matching cells row by row (only cells below the column count), then matching column titles as
// (-1, column).
std::vector<TableClipboard::CellPos> tableMatches(const Note &note, const QString &query);
// The next index after a step of delta (-1 or +1), wrapping both ways; 0 when there are no matches.
int step(int index, int delta, int count);

// "3 / 12" for the third of twelve.
QString countText(int index, int count);
QString noResultsText();
QString placeholderText();
} // namespace NoteFind
