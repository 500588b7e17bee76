#include "notes/NoteTextView.h"

#include "notes/PacedLayout.h"
#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>

// Qt sets the scroll range to the document's rows less those that fit the last screenful, counted
// by the lines of its paragraphs: a row a piece goes on along counts twice there (in the piece, and
// in the paragraph before it). The range stopped short of the end by a row for each such piece on
// the last screenful, and where a screenful held more pieces than the text has rows beyond it (a
// line of emoji of a few KB), the whole text seemed to fit: no range at all, and the end of the text
// out of reach. The rows are counted again as Qt counts them, a shared one once.
void NoteTextView::countSharedRowsOnce() {
    QScrollBar *bar = verticalScrollBar();
    // Hidden, the view counts no last screenful (its range reaches the last row).
    if (fittingRange_ || !isVisible() || centerOnScroll()) return;
    const QTextDocument *doc = document();
    QAbstractTextDocumentLayout *layout = doc->documentLayout();
    const qreal visible = viewport()->rect().height() - doc->documentMargin() - 1;
    qreal y = 0;
    int fit = 0;
    for (QTextBlock b = doc->lastBlock(); b.isValid(); b = b.previous()) {
        if (!b.isVisible()) continue;
        const QTextLayout *tl = b.layout();
        // Not laid out yet (a document just taken, a paste, a paragraph put off): Qt's count stands
        // until the last screenful is, and is made again then. Laying it out may change no count
        // that would tell the view (a paragraph of one row), so it is made again here.
        if (!tl || tl->lineCount() == 0) {
            // A view laid out whole lays out the rest anyway, and sizes its range then.
            if (!laysOutEveryParagraph()) fitRangeLater();
            return;
        }
        y += layout->blockBoundingRect(b).height();
        const int first = NoteDocument::continues(b) && tl->lineAt(0).y() < 0 ? 1 : 0;
        if (y > visible) {
            int line = first;
            while (line < tl->lineCount() && tl->lineAt(line).naturalTextRect().top() < y - visible)
                ++line;
            fit += tl->lineCount() - line;
            break;
        }
        fit += tl->lineCount() - first;
    }
    const int max = std::max(0, doc->lineCount() - fit);
    if (max == bar->maximum() && fit == bar->pageStep()) return;
    // A view at the end (the caret after a paste, Ctrl+End) stays there. Told before the value is
    // kept within Qt's count, which is short of the end by the shared rows: a value past it was at
    // the end too. One at the top stays at the top, where Qt's count had the whole text fit.
    const bool atEnd = bar->value() > 0 && bar->value() >= bar->maximum();
    fittingRange_ = true;
    bar->setMaximum(max);
    bar->setPageStep(fit);
    if (atEnd) bar->setValue(max);
    fittingRange_ = false;
}

// Lays out the paragraphs of the last screenful from its top down, paced as a drawing is (at least
// one per turn), and then counts the rows again on their real lines.
void NoteTextView::fitRangeLater() {
    if (fitQueued_) return;
    fitQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        fitQueued_ = false;
        const QTextDocument *doc = document();
        auto *paced = dynamic_cast<NoteDocument::PacedLayout *>(doc->documentLayout());
        if (!paced || !isVisible()) return; // counted again when shown
        // Where the last screenful may start, a paragraph not laid out yet taken for one row (the
        // screenful taken longer rather than shorter; counted again once laid out).
        const qreal visible = viewport()->rect().height() - doc->documentMargin() - 1;
        const qreal row = QFontMetricsF(doc->defaultFont()).lineSpacing();
        QTextBlock top = doc->lastBlock();
        for (qreal y = 0; top.previous().isValid(); top = top.previous()) {
            const QTextLayout *tl = top.layout();
            if (top.isVisible())
                y += tl && tl->lineCount() > 0 ? paced->blockBoundingRect(top).height() : row;
            if (y > visible) break;
        }
        {
            // Top down: a piece is laid out going on from the one before it.
            const NoteDocument::PacedLayout::Pacing pacing(doc, this, true);
            for (QTextBlock b = top; b.isValid(); b = b.next()) {
                if (!b.isVisible() || (b.layout() && b.layout()->lineCount() > 0)) continue;
                paced->blockBoundingRect(b);
                if (b.layout() && b.layout()->lineCount() > 0) continue;
                // Put off to the next turn; else it cannot be laid out yet (no width): left to the
                // next change of the range.
                if (paced->puttingOff()) fitRangeLater();
                return;
            }
        }
        countSharedRowsOnce();
    });
}
