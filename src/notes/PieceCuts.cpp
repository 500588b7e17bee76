#include "notes/PieceCuts.h"

#include "notes/NoteDocument.h"
#include "notes/NoteDocumentParts.h"
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

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

namespace {
// Cuts the paragraphs from the one holding from to the one holding to where a character of theirs
// would be drawn in halves (see shapedCuts): an edit moves the text after it along its paragraph.
void cutShaped(QTextCursor &c, int from, int to, const std::function<void()> &begin) {
    QTextDocument *doc = c.document();
    QTextCursor last(doc);
    last.setPosition(std::clamp(to, 0, doc->characterCount() - 1));
    for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() <= last.position();) {
        // A paragraph no longer than a run is shaped whole.
        const std::vector<qsizetype> cuts =
            b.length() - 1 > kShapedChars ? shapedCuts(b.text()) : std::vector<qsizetype>();
        if (cuts.empty()) {
            b = b.next();
            continue;
        }
        begin();
        QTextBlockFormat piece = b.blockFormat();
        piece.setProperty(kContinues, true);
        const int start = b.position(), length = b.length();
        for (auto it = cuts.rbegin(); it != cuts.rend(); ++it) {
            c.setPosition(start + int(*it));
            c.insertBlock(piece, c.charFormat());
        }
        b = doc->findBlock(start + length + int(cuts.size()));
    }
}
} // namespace

void mendCuts(QTextCursor &c, int from, int to, const std::function<void()> &begin) {
    const QTextDocument *doc = c.document();
    QTextBlock b = doc->findBlock(from);
    // The cut at the start of the edited piece may be the one broken: its piece before starts at a
    // cut the edit did not reach.
    if (continues(b) && b.previous().isValid()) b = b.previous();
    const int first = b.position();
    bool began = false;
    const auto beginOnce = [&] {
        if (!began) begin(), began = true;
    };
    while (b.isValid()) {
        const QTextBlock next = b.next();
        if (!next.isValid() || !continues(next)) break;
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
            if (next.position() > to) break;
            b = next;
            continue;
        }
        beginOnce();
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
    // The paragraphs edited or mended, up to the one the edit ends in.
    cutShaped(c, first, std::max(to, b.isValid() ? b.position() : to), beginOnce);
}
} // namespace NoteDocument
