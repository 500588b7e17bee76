#include "ui/LinkTextView.h"

#include "ui/WebLinks.h"
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>

LinkTextView::LinkTextView(QWidget *parent) : QTextEdit(parent) {
    viewport()->setMouseTracking(true);
}

void LinkTextView::detectLinks(const QColor &linkColor) {
    WebLinks::applyDetected(document(), linkColor);
}

std::optional<QUrl> LinkTextView::linkAt(const QPointF &viewportPos) const {
    const QPointF docPos =
        viewportPos + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    // anchorAt only answers for a point inside a character's own box.
    const QString href = document()->documentLayout()->anchorAt(docPos);
    if (href.isEmpty()) return std::nullopt;
    return WebLinks::fromLinkValue(href);
}

void LinkTextView::mousePressEvent(QMouseEvent *e) {
    pressedLink_.reset();
    if (e->button() == Qt::LeftButton) {
        if (const auto url = linkAt(e->position())) {
            if (linksSelectable_) {
                pressedLink_ = url;
                pressPos_ = e->position();
            } else {
                WebLinks::open(*url);
                e->accept();
                return;
            }
        }
    }
    QTextEdit::mousePressEvent(e);
}

void LinkTextView::mouseMoveEvent(QMouseEvent *e) {
    QTextEdit::mouseMoveEvent(e);
    if (e->buttons() != Qt::NoButton) return;
    const bool selectable = textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextEditable);
    viewport()->setCursor(linkAt(e->position()) ? Qt::PointingHandCursor
                          : selectable          ? Qt::IBeamCursor
                                                : Qt::ArrowCursor);
}

void LinkTextView::mouseReleaseEvent(QMouseEvent *e) {
    QTextEdit::mouseReleaseEvent(e);
    if (e->button() != Qt::LeftButton || !pressedLink_) return;
    const QUrl url = *std::exchange(pressedLink_, std::nullopt);
    const bool moved = (e->position() - pressPos_).manhattanLength() >= QApplication::startDragDistance();
    if (!moved && !textCursor().hasSelection()) WebLinks::open(url);
}
