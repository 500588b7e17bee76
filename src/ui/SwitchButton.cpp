#include "ui/SwitchButton.h"

#include "ui/Theme.h"
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {
constexpr double kMaxTrackH = 22;
constexpr double kAspect = 1.75;
constexpr double kKnobInset = 2;
} // namespace

SwitchButton::SwitchButton(QWidget *parent) : QCheckBox(parent) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

QSize SwitchButton::sizeHint() const { return {int(kMaxTrackH * kAspect), int(kMaxTrackH)}; }

QRectF SwitchButton::trackRect() const {
    const double h = std::min({double(height()), kMaxTrackH, width() / kAspect});
    const double w = h * kAspect;
    return {width() - w, (height() - h) / 2, w, h};
}

void SwitchButton::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.45);
    const QRectF t = trackRect().adjusted(0.5, 0.5, -0.5, -0.5);
    const double r = t.height() / 2;
    const bool dark = VF::theme() == AppTheme::dark;
    QColor track = isChecked() ? VF::accent() : (dark ? QColor::fromRgbF(1, 1, 1, 0.18f) : QColor::fromRgbF(0, 0, 0, 0.14f));
    if (isDown()) track = track.darker(115);
    QPainterPath path;
    path.addRoundedRect(t, r, r);
    p.fillPath(path, track);
    // An outline keeps the off track visible on cards of nearly the same colour.
    p.setPen(QPen(dark ? QColor::fromRgbF(1, 1, 1, 0.22f) : QColor::fromRgbF(0, 0, 0, 0.18f), 1));
    p.drawPath(path);
    const double d = t.height() - 2 * kKnobInset;
    const double x = isChecked() ? t.right() - kKnobInset - d : t.left() + kKnobInset;
    const QRectF knob(x, t.top() + kKnobInset, d, d);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgbF(0, 0, 0, 0.25f));
    p.drawEllipse(knob.translated(0, 0.75));
    p.setBrush(Qt::white);
    p.drawEllipse(knob);
}

bool SwitchButton::hitButton(const QPoint &pos) const { return rect().contains(pos); }
