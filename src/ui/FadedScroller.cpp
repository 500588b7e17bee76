#include "ui/FadedScroller.h"

#include <QAbstractScrollArea>
#include <QPainter>
#include <QStyleOptionSlider>

void FadedScroller::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setOpacity(0.5);
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    opt.subControls = QStyle::SC_All;
    style()->drawComplexControl(QStyle::CC_ScrollBar, &opt, &p, this);
}

void applyFadedScroller(QAbstractScrollArea *area) {
    area->setVerticalScrollBar(new FadedScroller(Qt::Vertical));
    area->setHorizontalScrollBar(new FadedScroller(Qt::Horizontal));
}
