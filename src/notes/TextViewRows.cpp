#include "notes/NoteTextView.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <optional>

// The rows a piece of a line goes on along (see PacedLayout): drawn, crossed by Home and End, and
// pointed at as the rest of the line is.

// Qt draws a paragraph only when the area to draw reaches into its own rows; the first line of a
// piece that goes on along the row before it (see PacedLayout) is drawn here when the area holds
// only that row (the caret blinking there, a selection made along it).
void NoteTextView::drawRowsGoneOn(const QRect &area) {
    const QAbstractTextDocumentLayout::PaintContext context = getPaintContext();
    std::optional<QPainter> painter;
    QPointF offset = contentOffset();
    for (QTextBlock b = firstVisibleBlock(); b.isValid() && offset.y() <= viewport()->height(); b = b.next()) {
        const QRectF r = blockBoundingRect(b).translated(offset);
        QTextLayout *tl = b.layout();
        const bool drawn = r.bottom() >= area.top() && r.top() <= area.bottom();
        if (!drawn && b.isVisible() && NoteDocument::continues(b) && tl && tl->lineCount() > 0 &&
            tl->lineAt(0).y() < 0 && tl->lineAt(0).rect().translated(offset).intersects(area)) {
            QList<QTextLayout::FormatRange> selections;
            for (const QAbstractTextDocumentLayout::Selection &sel : context.selections) {
                const int from = std::max(sel.cursor.selectionStart(), b.position()) - b.position();
                const int to = std::min(sel.cursor.selectionEnd(), b.position() + b.length() - 1) - b.position();
                if (from < to) selections.push_back({from, to - from, sel.format});
            }
            if (!painter) painter.emplace(viewport());
            tl->draw(&*painter, offset, selections, area);
            const int caret = context.cursorPosition - b.position();
            if (caret >= 0 && caret < b.length()) tl->drawCursor(&*painter, offset, caret, cursorWidth());
        }
        offset.ry() += r.height();
    }
}

// Qt takes End and Home to the ends of the caret's line in its paragraph; a row that a piece goes
// on along (see PacedLayout) holds the ends of two paragraphs, and the keys go to the row's ends.
void NoteTextView::toRowEdge(bool end, bool select) {
    const auto onRow = [](const QTextBlock &piece) {
        const QTextLayout *tl = piece.isValid() && NoteDocument::continues(piece) ? piece.layout() : nullptr;
        return tl && tl->lineCount() > 0 && tl->lineAt(0).y() < 0;
    };
    const auto mode = select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    QTextCursor c = textCursor();
    const int was = c.position();
    if (end) {
        while (c.atBlockEnd() && onRow(c.block().next())) {
            c.setPosition(c.block().next().position(), mode);
            c.movePosition(QTextCursor::EndOfLine, mode);
        }
    } else {
        while (c.atBlockStart() && onRow(c.block())) {
            c.setPosition(c.position() - 1, mode);
            c.movePosition(QTextCursor::StartOfLine, mode);
        }
    }
    if (c.position() != was) setTextCursor(c);
}

// Qt finds the paragraph whose row a point is on by the rows the paragraphs begin; on a row that a
// piece goes on along (see PacedLayout) it finds the paragraph before the piece, and gives the end of
// its text for every point past it. The piece's character there instead; -1 anywhere else.
int NoteTextView::pieceAt(const QPointF &pos) const {
    const QTextCursor found = cursorForPosition(pos.toPoint());
    QTextBlock b = found.block();
    if (found.position() != b.position() + b.length() - 1) return -1;
    QPointF offset = blockBoundingGeometry(b).translated(contentOffset()).topLeft();
    for (QTextBlock next = b.next(); next.isValid() && NoteDocument::continues(next); b = next, next = next.next()) {
        offset.ry() += blockBoundingRect(b).height();
        const QTextLayout *tl = next.layout();
        if (!tl || tl->lineCount() == 0 || tl->lineAt(0).y() >= 0) return -1;
        const QTextLine first = tl->lineAt(0);
        const QRectF row = first.rect().translated(offset);
        if (pos.y() < row.top() || pos.y() >= row.bottom() || pos.x() < row.left()) return -1;
        // A piece all on the row may have the next one go on after it.
        if (tl->lineCount() > 1 || pos.x() < row.left() + first.naturalTextWidth())
            return next.position() + first.xToCursor(pos.x() - offset.x());
    }
    return -1;
}

QString NoteTextView::linkAt(const QPointF &pos) const {
    const int at = pieceAt(pos);
    if (at < 0) return anchorAt(pos.toPoint());
    QTextCursor c(document());
    c.setPosition(at + 1);
    return c.charFormat().anchorHref();
}
