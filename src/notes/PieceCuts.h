#pragma once
#include <QStringView>
#include <functional>

class QTextCursor;

// The cuts between the pieces of a long line (see NoteDocument::pieceStarts) as the text around them is
// edited: they fall between characters as shown, and a selection taken out across one keeps the
// line it belongs to.
namespace NoteDocument {
// s[at - 2, at) is one half of a flag (a regional indicator).
inline bool isRegionalIndicatorEnd(QStringView s, qsizetype at) {
    return at >= 2 && s[at - 2].unicode() == 0xD83C && s[at - 1].unicode() >= 0xDDE6 &&
           s[at - 1].unicode() <= 0xDDFF;
}
// s[at, at + 2) is one half of a flag.
inline bool isRegionalIndicatorAt(QStringView s, qsizetype at) {
    return at + 1 < s.size() && isRegionalIndicatorEnd(s, at + 2);
}

// Takes out c's selection. Taken out from a paragraph's start on, it leaves the paragraph it ends in
// joined to the text before it: a piece or a new line as the first one was, never a line break that
// was not typed.
void removeSelection(QTextCursor &c);

// Moves the cuts between pieces that an edit of from..to left inside a character as shown (a mark
// typed right after a cut, a flag whose halves pair otherwise once one half is typed or taken out)
// to the boundary before that character, or after it where the piece before holds nothing else.
// Flag halves pair from the start of their run, so one half more or less changes every cut of the
// run after it: the pieces are gone over until a cut past the edit is whole. A paragraph edited or
// mended is cut again where the edit moved a character of it to where it would be drawn in halves
// (see kShapedChars). begin is called before the first change, which c makes (it is left anywhere).
void mendCuts(QTextCursor &c, int from, int to, const std::function<void()> &begin);
} // namespace NoteDocument
