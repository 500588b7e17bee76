#include "exercises/RunnerDotsView.h"

#include "ui/Theme.h"
#include <QPainter>
#include <algorithm>

RunnerDotsView::RunnerDotsView(QWidget *parent) : QWidget(parent), accent(VF::accent()) {}

QList<QRectF> RunnerDotsView::dotRects() const {
    const int n = std::max(count, 1);
    const double total = n * kDot + (n - 1) * kGap;
    const double x0 = (width() - total) / 2, y0 = (height() - kDot) / 2;
    QList<QRectF> out;
    for (int i = 0; i < n; ++i)
        out << QRectF(x0 + i * (kDot + kGap), y0, kDot, kDot);
    return out;
}

void RunnerDotsView::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QColor done = accent, later = VF::theme() == AppTheme::dark ? QColor(Qt::white) : QColor(Qt::black);
    done.setAlphaF(0.55f);
    later.setAlphaF(0.15f);
    const QList<QRectF> dots = dotRects();
    for (int i = 0; i < dots.size(); ++i) {
        p.setBrush(i < current ? done : i == current ? accent : later);
        p.drawEllipse(dots[i]);
    }
}
