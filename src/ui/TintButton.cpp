#include "ui/TintButton.h"
#include "ui/RoundedCard.h"

#include "ui/TextFit.h"
#include <QPainter>

namespace {
QColor withAlpha(QColor c, double a) {
    c.setAlphaF(float(a));
    return c;
}
} // namespace

TintButton::TintButton(const QString &title, const QColor &tint, double bgAlpha, double borderAlpha,
                       double radius, QWidget *parent)
    : QPushButton(title, parent), tint_(tint), bg_(withAlpha(tint, bgAlpha)),
      border_(withAlpha(tint, borderAlpha)), radius_(radius) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void TintButton::setLook(const QColor &tint, const QColor &background, const QColor &border) {
    tint_ = tint;
    bg_ = background;
    border_ = border;
    update();
}

void TintButton::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    RoundedCard::paint(p, r, radius_, bg_);
    if (isDown()) RoundedCard::paint(p, r, radius_, QColor::fromRgbF(0.5f, 0.5f, 0.5f, 0.12f));
    RoundedCard::paint(p, r, radius_, Qt::transparent, border_, 1);
    p.setPen(isEnabled() ? tint_ : QColor::fromRgbF(0.5f, 0.5f, 0.5f, 0.5f));
    p.setFont(font());
    TextFit::drawText(p, this, QRectF(rect()).adjusted(radius_ / 2, 0, -radius_ / 2, 0), Qt::AlignCenter,
                      text());
}
