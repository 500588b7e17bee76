#include "ui/LinkTextView.h"

#include "ui/WebLinks.h"
#include <QAbstractTextDocumentLayout>
#include <QMouseEvent>
#include <QScrollBar>

LinkTextView::LinkTextView(QWidget *parent) : QTextEdit(parent) {}

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
    if (e->button() == Qt::LeftButton) {
        if (const auto url = linkAt(e->position())) {
            WebLinks::open(*url);
            e->accept();
            return;
        }
    }
    QTextEdit::mousePressEvent(e);
}
