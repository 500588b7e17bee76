#include "notes/PieceCuts.h"

#include "notes/NoteDocument.h"
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>

namespace NoteDocument {
void removeSelection(QTextCursor &c) {
    const bool firstContinues = continues(c.document()->findBlock(c.selectionStart()));
    c.removeSelectedText();
    if (const QTextBlock joined = c.block(); continues(joined) != firstContinues) {
        QTextBlockFormat f = joined.blockFormat();
        if (firstContinues)
            f.setProperty(kContinues, true);
        else
            f.clearProperty(kContinues);
        c.setBlockFormat(f);
    }
}

void mendCuts(QTextCursor &c, int from, int to, const std::function<void()> &begin) {
    const QTextDocument *doc = c.document();
    QTextBlock b = doc->findBlock(from);
    // The cut at the start of the edited piece may be the one broken: its piece before starts at a
    // cut the edit did not reach.
    if (continues(b) && b.previous().isValid()) b = b.previous();
    bool began = false;
    while (b.isValid()) {
        const QTextBlock next = b.next();
        if (!next.isValid() || !continues(next)) return;
        const QString text = b.text(), after = next.text();
        // Whether b ends in a flag half without its pair (b starts at a whole cut or a line's start).
        bool open = false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (isRegionalIndicatorAt(text, i))
                open = !open, ++i;
            else
                open = false;
        }
        qsizetype cut = text.size(); // where the cut belongs, in b's text followed by next's
        if (isRegionalIndicatorAt(after, 0)) {
            if (open) cut = text.size() > 2 ? text.size() - 2 : text.size() + 2;
        } else if (!after.isEmpty()) {
            qsizetype tail = std::min<qsizetype>(text.size(), 64);
            if (tail < text.size() && text[text.size() - tail].isLowSurrogate()) ++tail;
            const QString around = text.right(tail) + after.left(32);
            QTextBoundaryFinder f(QTextBoundaryFinder::Grapheme, around);
            f.setPosition(tail);
            if (!f.isAtBoundary()) {
                const qsizetype before = f.toPreviousBoundary();
                if (before > 0) {
                    cut = text.size() - tail + before;
                } else {
                    f.setPosition(tail);
                    const qsizetype beyond = f.toNextBoundary();
                    cut = beyond > 0 ? text.size() - tail + beyond : text.size();
                }
            }
        }
        if (cut == text.size()) {
            // Past the edit the text is as it was, and so are the cuts from a whole one on.
            if (next.position() > to) return;
            b = next;
            continue;
        }
        if (!began) begin(), began = true;
        const QTextBlockFormat piece = next.blockFormat();
        const int start = b.position();
        c.setPosition(next.position() - 1);
        c.setPosition(next.position(), QTextCursor::KeepAnchor);
        c.removeSelectedText(); // b and next are one paragraph now
        if (cut > 0 && cut < text.size() + after.size()) {
            c.setPosition(start + int(cut));
            c.insertBlock(piece, c.charFormat());
            b = c.block();
        } else {
            b = doc->findBlock(start);
        }
    }
}
} // namespace NoteDocument
