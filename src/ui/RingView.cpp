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

namespace {
// The arc's length as drawn: Qt takes angles in whole 1/16 degrees.
int drawnSpan(double shown) {
    return int(std::lround(shown * 360 * 16));
}
} // namespace

void RingView::setProgress(double p) {
    progress_ = p;
    const double s = std::isnan(p) ? 0.0 : std::clamp(p, 0.0, 1.0);
    shown_ = s;
    // The page sets it 30 times a second: repaint only when the arc's end has moved by half a
    // pixel or more (closer is the same picture), and only the part of the ring between the end
    // drawn and the new one; the rest of the picture stays as it is.
    const bool inside = painted_ > 0 && painted_ < 1 && s > 0 && s < 1;
    if (drawnSpan(painted_) == drawnSpan(s) || (inside && std::abs(s - painted_) * 2 * M_PI * radius() < 0.5))
        return;
    update(changedArea(painted_, s));
    painted_ = s;
}

QRect RingView::changedArea(double from, double to) const {
    const double r = radius();
    // Appearing, vanishing or closing into a full circle changes the caps at the start too.
    if (r <= 0 || from <= 0 || to <= 0 || from >= 1 || to >= 1) return rect();
    // Qt draws an arc as one curve per quarter of the circle from its start, the last one cut to
    // length, so all of the quarter the arc ends in is drawn anew when the end moves (its pixels
    // shift a little with the cut): the area starts at the beginning of that quarter.
    constexpr int kQuarter = 90 * 16;
    const int s0 = drawnSpan(std::min(from, to)) / kQuarter * kQuarter, s1 = drawnSpan(std::max(from, to));
    // The arc runs clockwise from 6 o'clock; on screen (y down) the point at angle a (radians,
    // from the start) is at 90° + a measured clockwise from 3 o'clock.
    const double a0 = s0 * M_PI / (180 * 16), a1 = s1 * M_PI / (180 * 16);
    const QPointF c = centre();
    auto at = [&](double a) { return QPointF(c.x() - r * std::sin(a), c.y() + r * std::cos(a)); };
    QRectF box(at(a0), at(a0));
    auto grow = [&box](const QPointF &pt) {
        box.setLeft(std::min(box.left(), pt.x()));
        box.setRight(std::max(box.right(), pt.x()));
        box.setTop(std::min(box.top(), pt.y()));
        box.setBottom(std::max(box.bottom(), pt.y()));
    };
    grow(at(a1));
    // The extremes of the circle the arc passes over between its two ends.
    for (double q = M_PI / 2 * std::ceil(a0 / (M_PI / 2)); q < a1; q += M_PI / 2)
        grow(at(q));
    // The stroke's half width and its round cap, and a pixel of antialiasing around them.
    const double m = kLineWidth / 2 + 2;
    return box.adjusted(-m, -m, m, m).toAlignedRect().intersected(rect());
}

void RingView::resizeEvent(QResizeEvent *) {
    painted_ = shown_; // all of it is drawn again
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
    if (painted_ <= 0) return;
    QPen arc(color_, kLineWidth);
    arc.setCapStyle(Qt::RoundCap);
    p.setPen(arc);
    if (painted_ >= 1) {
        p.drawEllipse(circle);
        return;
    }
    // Qt counts angles counter-clockwise from 3 o'clock in 1/16 degrees: start at 6 o'clock and
    // sweep with a negative span to go clockwise.
    p.drawArc(circle, -90 * 16, -drawnSpan(painted_));
}
