#pragma once
#include "notes/NoteDocument.h"
#include <QTextCharFormat>
#include <atomic>
#include <vector>

class QTextCursor;
class QTextDocument;

// What the files of a note's document (NoteDocument*.cpp) and of its view share beyond the
// document's own functions; for no other caller.
namespace NoteDocument {
// Set as the application quits: a document still being built is of no use any more, and the
// process does not wait for it.
extern std::atomic<bool> g_quitting;

// The runs of equal format from..to, as (start, end, format).
struct FormatRun {
    int start, end;
    QTextCharFormat fmt;
};
std::vector<FormatRun> formatRuns(const QTextDocument &doc, int from, int to);

// Cuts the paragraphs of from..to longer than a piece into pieces (see NoteDocument.cpp).
bool cutLongParagraphs(QTextCursor &c, int from = 0, int to = -1, bool emojiOnly = false);
// Where a paragraph of text is cut for no character of it to be drawn in halves (see kShapedChars),
// as pieceStarts cuts a line for that; none when none is.
std::vector<qsizetype> shapedCuts(QStringView text);
// The look a plain paste takes from the text before it: all of it but its link.
QTextCharFormat plainLook(const QTextCharFormat &before);
// Builds the note's document, letting go of the note's text and rich text as it goes (see
// NoteDocument.cpp); into, when given, is the empty document to fill (PacedLayout::makeDocument),
// taken whatever comes of it.
QTextDocument *buildFrom(Note &note, const Style &style, bool takesText = false, bool *unread = nullptr,
                         QTextDocument *into = nullptr);
} // namespace NoteDocument
