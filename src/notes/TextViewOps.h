#pragma once
#include <QList>
#include <QTextCursor>
#include <QTextEdit>

class QAbstractScrollArea;
class QScrollArea;

// What the two kinds of text view a note is shown in (a rich QTextEdit, laid out whole, and a
// QPlainTextEdit, laid out as it is drawn) both offer, reached through either; nothing for any other
// widget. Lets find, the reader's place and the format bar work on whichever view shows a note.
namespace TextViewOps {
bool isTextView(const QAbstractScrollArea *view);
QTextDocument *document(const QAbstractScrollArea *view);
QTextCursor textCursor(const QAbstractScrollArea *view);
void setTextCursor(QAbstractScrollArea *view, const QTextCursor &cursor);
bool isReadOnly(const QAbstractScrollArea *view);
QRect cursorRect(const QAbstractScrollArea *view, const QTextCursor &cursor);
QTextCursor cursorForPosition(const QAbstractScrollArea *view, const QPoint &pos);
void setExtraSelections(QAbstractScrollArea *view, const QList<QTextEdit::ExtraSelection> &sels);
QList<QTextEdit::ExtraSelection> extraSelections(const QAbstractScrollArea *view);

// The document positions of the characters the user can see of the view: within its viewport and,
// when the view lies in a scroll area that scrolls it (outer), within what that area shows.
// (-1, -1) when nothing of it is shown.
std::pair<int, int> visibleRange(const QAbstractScrollArea *view, const QScrollArea *outer = nullptr);
// The first character of the first line the user sees (at least half of it): where the reader is.
int firstVisiblePosition(const QAbstractScrollArea *view, const QScrollArea *outer = nullptr);
// Scrolls the view (and outer, when the view lies in it) so that the line holding pos is the first
// one shown; the view's caret stays where it is.
void scrollToTop(QAbstractScrollArea *view, int pos, QScrollArea *outer = nullptr);
// The line a view that scrolls by lines (its scroll bar counts them) shows at its top to have pos
// there; -1 for a view that does not scroll itself that way.
int topLine(QAbstractScrollArea *view, int pos);
// Scrolls as little as needed for the characters from..to to be shown, with some room around them.
void reveal(QAbstractScrollArea *view, int from, int to, QScrollArea *outer = nullptr);
} // namespace TextViewOps
