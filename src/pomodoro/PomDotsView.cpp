#include "pomodoro/PomDotsView.h"

#include "ui/Theme.h"
#include <QPainter>
#include <algorithm>

PomDotsView::PomDotsView(QWidget *parent) : QWidget(parent), color_(VF::accent()) {}

void PomDotsView::paintDots(QPainter &p, const QSizeF &size, qint64 total, qint64 filled, const QColor &color) {
    if (total < 1) return;
    constexpr double kDot = 9, kPitch = 16;
    const double g = VF::theme() == AppTheme::dark ? 1.0 : 0.0;
    const QColor faint = QColor::fromRgbF(float(g), float(g), float(g), 0.18f);
    const double x0 = (size.width() - (kPitch * double(total) - 7)) / 2.0;
    const double y = (size.height() - kDot) / 2.0;
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    // Only the dots that can fall inside the view are drawn, however large the stored count.
    const qint64 first = std::max<qint64>(0, qint64((-x0 - kDot) / kPitch));
    for (qint64 i = first; i < total; ++i) {
        const double x = x0 + kPitch * double(i);
        if (x > size.width()) break;
        p.setBrush(i < filled ? color : faint);
        p.drawEllipse(QRectF(x, y, kDot, kDot));
    }
}

void PomDotsView::paintEvent(QPaintEvent *) {
    QPainter p(this);
    paintDots(p, size(), total_, filled_, color_);
}
