#include "ui/Stepper.h"

#include "ui/Theme.h"
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

Stepper::Stepper(double minimum, double maximum, double increment, QWidget *parent)
    : QWidget(parent), min_(minimum), max_(maximum), inc_(increment), value_(minimum) {
    setCursor(Qt::PointingHandCursor);
}

void Stepper::stepBy(int dir) {
    double v = value_ + dir * inc_;
    if (!(v >= min_)) v = min_;
    if (v > max_) v = max_;
    if (v == value_) return;
    value_ = v;
    update();
    emit valueChanged(value_);
}

void Stepper::mousePressEvent(QMouseEvent *e) {
    if (e->button() != Qt::LeftButton) return;
    e->position().y() < height() / 2.0 ? stepUp() : stepDown();
}

void Stepper::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double bw = std::min(22.0, double(width()));
    const QRectF box((width() - bw) / 2.0 + 0.5, 0.5, bw - 1, height() - 1.0);
    QPainterPath path;
    path.addRoundedRect(box, 5, 5);
    p.fillPath(path, VF::card());
    p.setPen(QPen(VF::border(), 1));
    p.drawPath(path);
    p.drawLine(QPointF(box.left() + 3, box.center().y()), QPointF(box.right() - 3, box.center().y()));
    const QColor arrow = VF::sub();
    auto tri = [&](double cy, bool up, bool enabled) {
        const double cx = box.center().x(), s = 3.5;
        QPolygonF t;
        if (up) t << QPointF(cx - s, cy + s / 2) << QPointF(cx + s, cy + s / 2) << QPointF(cx, cy - s / 2);
        else t << QPointF(cx - s, cy - s / 2) << QPointF(cx + s, cy - s / 2) << QPointF(cx, cy + s / 2);
        QColor c = arrow;
        if (!enabled) c.setAlphaF(0.3f);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawPolygon(t);
    };
    tri(box.top() + box.height() / 4, true, value_ < max_);
    tri(box.bottom() - box.height() / 4, false, value_ > min_);
}
