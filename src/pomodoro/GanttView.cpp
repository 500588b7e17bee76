#include "pomodoro/GanttView.h"

#include "ui/DisplayText.h"
#include "pomodoro/Project.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Theme.h"
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {
QColor white(double alpha) {
    return QColor::fromRgbF(1, 1, 1, float(alpha));
}
const QColor kOpenBar = QColor::fromRgbF(0.31f, 0.62f, 1.0f, 0.75f);

// Bars of steps far outside the axis (offsets near the integer limits) are cut to a little beyond the
// view, so the painter never sees coordinates it cannot represent.
constexpr double kOffView = 64;

// Text whose line box has its bottom left corner at (x, y), y-up.
void drawAt(QPainter &p, double H, double x, double y, const QString &whole, const QFont &font,
            const QColor &color) {
    const QString text = DisplayText::cut(whole);
    const QFontMetricsF fm(font);
    p.setFont(font);
    p.setPen(color);
    p.drawText(yUpF(H, x, y, fm.horizontalAdvance(text) + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop,
               text);
}

void fillRounded(QPainter &p, const QRectF &r, const QColor &color) {
    QPainterPath path;
    path.addRoundedRect(r, GanttView::kBarRadius, GanttView::kBarRadius);
    p.fillPath(path, color);
}
} // namespace

GanttView::GanttView(QWidget *parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void GanttView::setCheckpoints(std::vector<ProjectCheckpoint> steps) {
    checkpoints_ = std::move(steps);
    updateGeometry();
    update();
}

int GanttView::intrinsicHeight(std::size_t steps) {
    // Beyond a few thousand rows nothing more is visible anyway; keep the height a sane int.
    const std::size_t rows = std::min<std::size_t>(steps, 1'000'000);
    return std::max(int(kRowPitch) * int(rows) + 24, 40);
}

QSize GanttView::sizeHint() const {
    return QSize(0, intrinsicHeight(checkpoints_.size()));
}
QSize GanttView::minimumSizeHint() const {
    return QSize(0, intrinsicHeight(checkpoints_.size()));
}

qint64 GanttView::scaleStep(qint64 totalDays) {
    return totalDays >= kScaleDivisions ? totalDays / kScaleDivisions : 1;
}

std::vector<qint64> GanttView::scaleDays(qint64 totalDays) {
    std::vector<qint64> days;
    if (totalDays < 1) return days;
    const qint64 s = scaleStep(totalDays);
    // k * s never passes totalDays, so no sum here can overflow even for the largest totals.
    for (qint64 k = 0, n = totalDays / s; k <= n; ++k)
        days.push_back(k * s);
    return days;
}

QString GanttView::stepName(const ProjectCheckpoint &step, std::size_t index) {
    if (!step.title.isEmpty()) return step.title;
    return QStringLiteral("Step %1").arg(qulonglong(index) + 1);
}

void GanttView::paintChart(QPainter &p, const QSizeF &size, const std::vector<ProjectCheckpoint> &steps) {
    if (steps.empty()) return;
    const qint64 T = totalDaysOf(steps);
    if (T < 1) return;
    const double W = size.width(), H = size.height();
    const double A = W - kLabelColumn - kRightMargin;
    const auto xOf = [&](double d) { return A * d / double(T) + kLabelColumn; };

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QFont scaleFont = Fonts::scaledFont(8, QFont::Medium);
    for (qint64 d : scaleDays(T)) {
        const double x = xOf(double(d));
        drawAt(p, H, x - 8, H - 14, QString::number(d) + QLatin1Char('d'), scaleFont, white(0.25));
        p.fillRect(yUpF(H, x, 0, 0.5, H - kTopBand), white(0.07));
    }

    const QFont daysFont = Fonts::monoDigits(8, QFont::DemiBold, false);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const ProjectCheckpoint &c = steps[i];
        const double y = H - kTopBand - kRowPitch * double(i + 1);
        if (y <= -26) break;

        // One line whose baseline is the bottom edge of the name box (8, y + 6.5, 104, 13), so the
        // name sits level with the lower half of its bar; cut with an ellipsis at the box's width.
        const QFont nameFont = Fonts::scaledFont(10, c.completed ? QFont::DemiBold : QFont::Normal);
        const QRectF nameRect = yUpF(H, 8, y + 6.5, 104, 13);
        QString name = stepName(c, i);
        name.replace(QLatin1Char('\n'), QLatin1Char(' '));
        p.setFont(nameFont);
        p.setPen(c.completed ? VF::accent() : VF::text());
        p.drawText(nameRect.bottomLeft(),
                   QFontMetricsF(nameFont).elidedText(DisplayText::cut(name), Qt::ElideRight, nameRect.width()));

        fillRounded(p, yUpF(H, kLabelColumn, y + 4, A, kBarHeight), white(0.05));

        const double x = xOf(double(c.startOffset));
        const double w = std::max(A * double(c.durationDays) / double(T), kMinBarWidth);
        const double left = std::clamp(x, -kOffView, W + kOffView);
        const double right = std::clamp(x + w, -kOffView, W + kOffView);
        if (right > left)
            fillRounded(p, yUpF(H, left, y + 4, right - left, kBarHeight),
                        c.completed ? VF::accent() : kOpenBar);
        if (w > kDaysTextMinWidth && x + 4 > -kOffView && x + 4 < W)
            drawAt(p, H, x + 4, y + 8, QString::number(c.durationDays) + QLatin1Char('d'), daysFont,
                   white(0.85));
    }
    p.restore();
}

void GanttView::paintEvent(QPaintEvent *) {
    QPainter p(this);
    paintChart(p, QSizeF(size()), checkpoints_);
}
