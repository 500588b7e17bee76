#include "ui/RingView.h"

#include "ui/Theme.h"
#include <QPainter>
#include <algorithm>
#include <cmath>

const QColor RingView::kSystemBlue = QColor(0, 122, 255);

RingView::RingView(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    track_ =
        VF::theme() == AppTheme::dark ? QColor::fromRgbF(1, 1, 1, 0.15f) : QColor::fromRgbF(0, 0, 0, 0.12f);
}

void RingView::setProgress(double p) {
    progress_ = p;
    const double s = std::isnan(p) ? 0.0 : std::clamp(p, 0.0, 1.0);
    if (s == shown_) return; // the page sets it 30 times a second; repaint only on change
    shown_ = s;
    update();
}

void RingView::setColor(const QColor &c) {
    color_ = c;
    update();
}

double RingView::radius() const {
    return (std::min(width(), height()) - kLineWidth) / 2;
}

QPointF RingView::centre() const {
    return QPointF(width() / 2.0, height() / 2.0);
}

void RingView::paintEvent(QPaintEvent *) {
    const double r = radius();
    if (r <= 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(centre().x() - r, centre().y() - r, 2 * r, 2 * r);
    p.setPen(QPen(track_, kLineWidth));
    p.drawEllipse(circle);
    if (shown_ <= 0) return;
    QPen arc(color_, kLineWidth);
    arc.setCapStyle(Qt::RoundCap);
    p.setPen(arc);
    if (shown_ >= 1) {
        p.drawEllipse(circle);
        return;
    }
    // Qt counts angles counter-clockwise from 3 o'clock in 1/16 degrees: start at 6 o'clock and
    // sweep with a negative span to go clockwise.
    p.drawArc(circle, -90 * 16, -int(std::lround(shown_ * 360 * 16)));
}
