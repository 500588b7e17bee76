#pragma once
#include <QBrush>
#include <QColor>
#include <QFont>
#include <QString>

class QTextCursor;
class QTextDocument;

// A rich paste into a note's document: it keeps its characters' formats, without highlights (as the
// rich editors do); its paragraphs become lines, with their indents. Lists keep their bullets and
// numbers as text; tables and pictures the text view could not lay out become their text. Reading
// the HTML and putting a long paste in may be done on a worker, into a document no view shows.
namespace RichPaste {
// What the runs pasted take from the note they go into.
struct Look {
    QFont font;         // the note's text font: what text of no size of its own is shown at
    QBrush paletteLink; // the colour Qt gives a link of no colour of its own
    QColor autoLinks;   // detected links are shown in it; none while it is invalid
};

// Reads html into pasted (empty), as it is to be put in.
void read(QTextDocument &pasted, const QString &html, const QFont &font);
// Reads rtf (a long copy from a note) into pasted (empty), its sizes shown sizeScale times as large
// as they are stored, as the note it goes into shows them (see RtfCodec::kSizeScale).
void readRtf(QTextDocument &pasted, const QByteArray &rtf, const QFont &font, double sizeScale);
// Puts the paragraphs of pasted at c, replacing its selection, each paragraph after the first a new
// line. False when the application quits meanwhile (the paste is then left part done).
bool put(QTextCursor &c, const QTextDocument &pasted, const Look &look);
// A long paste into doc: the characters from..to replaced by pasted, in one step that undo takes
// back, its long lines in pieces and its web addresses links. Returns the position after the paste;
// -1 when the application quits meanwhile.
int paste(QTextDocument &doc, int from, int to, const QTextDocument &pasted, const Look &look);
} // namespace RichPaste
