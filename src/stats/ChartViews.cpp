#include "stats/ChartViews.h"
#include "platform/Clock.h"
#include "stats/ChartGeometry.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include <QPainter>
#include <QPainterPath>

namespace {
void fillRounded(QPainter &p, double viewH, const QRectF &upRect, const QColor &c) {
    if (upRect.isEmpty()) return;
    QPainterPath path;
    path.addRoundedRect(yUpF(viewH, upRect.x(), upRect.y(), upRect.width(), upRect.height()), 2, 2);
    p.fillPath(path, c);
}
void dayLabel(QPainter &p, double viewH, const ChartGeometry::Slot &s) {
    if (!s.label) return;
    const QFont f = Fonts::monoDigits(7);
    const QFontMetricsF fm(f);
    const QString t = QString::number(s.day);
    p.setFont(f);
    p.setPen(s.today ? QColor::fromRgbF(0.13f, 0.77f, 0.37f) : QColor::fromRgbF(1, 1, 1, 0.3f));
    // The label's box sits on the y-up point (x, 2).
    const QRectF box = yUpF(viewH, s.labelAt.x(), s.labelAt.y(), fm.horizontalAdvance(t) + 1, fm.height());
    p.drawText(box, Qt::AlignLeft | Qt::AlignBottom, t);
}
QDate today() {
    return Clock::get().now().toLocalTime().date();
}
} // namespace

void PieChartView::configure(const std::vector<Slice> &slices) {
    slices_ = slices;
    update();
}

void PieChartView::paintEvent(QPaintEvent *) {
    std::vector<double> values;
    for (const Slice &s : slices_) values.push_back(s.value);
    const std::vector<ChartGeometry::Wedge> wedges = ChartGeometry::donut(values);
    if (wedges.empty()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QPointF c = QRectF(rect()).center();
    const double R = ChartGeometry::donutRadius(width(), height());
    const double r = ChartGeometry::holeRadius(R);
    for (size_t i = 0; i < wedges.size(); ++i) {
        // Qt's angles also run counter-clockwise on screen from three o'clock, as the design's do.
        p.setBrush(slices_[i].color);
        p.drawPie(QRectF(c.x() - R, c.y() - R, 2 * R, 2 * R), int(std::lround(wedges[i].startDeg * 16)),
                  int(std::lround(wedges[i].sweepDeg * 16)));
        p.setBrush(QColor::fromRgbF(0.04f, 0.09f, 0.05f));
        p.drawEllipse(c, r, r);
    }
}

void BarChartView::configure(const std::vector<long long> &totals, const std::vector<long long> &highs,
                             const QColor &totalColor, const QColor &highColor, int daysInMonth, int month, int year) {
    totals_ = totals;
    highs_ = highs;
    totalColor_ = totalColor;
    highColor_ = highColor;
    daysInMonth_ = daysInMonth;
    month_ = month;
    year_ = year;
    update();
}

void BarChartView::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double h = height();
    for (const ChartGeometry::Slot &s :
         ChartGeometry::bars(totals_, highs_, daysInMonth_, month_, year_, width(), h, today())) {
        fillRounded(p, h, s.bar, totalColor_);
        fillRounded(p, h, s.overlay, highColor_);
        dayLabel(p, h, s);
    }
}

void DualBarChartView::configure(const std::vector<long long> &bars1, const std::vector<long long> &bars2,
                                 const QColor &color1, const QColor &color2, int daysInMonth, int month, int year) {
    bars1_ = bars1;
    bars2_ = bars2;
    color1_ = color1;
    color2_ = color2;
    daysInMonth_ = daysInMonth;
    month_ = month;
    year_ = year;
    update();
}

void DualBarChartView::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double h = height();
    for (const ChartGeometry::Slot &s :
         ChartGeometry::dualBars(bars1_, bars2_, daysInMonth_, month_, year_, width(), h, today())) {
        fillRounded(p, h, s.bar, color1_);
        fillRounded(p, h, s.overlay, color2_);
        dayLabel(p, h, s);
    }
}
