#include "ui/DraggableDivider.h"
#include "ui/RoundedCard.h"

#include "ui/Theme.h"
#include <QMouseEvent>
#include <QPainter>

DraggableDivider::DraggableDivider(QWidget *parent) : QWidget(parent) {
    // Qt keeps the cursor over the whole widget, whatever its size becomes.
    setCursor(Qt::SplitHCursor);
}

void DraggableDivider::mousePressEvent(QMouseEvent *e) {
    dragging_ = true;
    e->accept();
}

void DraggableDivider::mouseMoveEvent(QMouseEvent *e) {
    if (!dragging_ || !parentWidget()) return;
    if (onDrag) onDrag(mapToParent(e->position()).x());
}

void DraggableDivider::mouseReleaseEvent(QMouseEvent *) {
    dragging_ = false;
}

void DraggableDivider::paintEvent(QPaintEvent *e) {
    QPainter p(this);
    RoundedCard::fillRect(p, e->rect(), VF::border()); // a translucent line the page's height
}
