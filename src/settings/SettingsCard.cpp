#include "settings/SettingsCard.h"
#include "ui/RoundedCard.h"
#include <QMouseEvent>
#include <QPainter>

SettingsCard::SettingsCard(const QColor &fill, const QColor &border, double borderWidth, double radius,
                           QWidget *parent)
    : QWidget(parent), fill_(fill), border_(border), borderW_(borderWidth), radius_(radius) {}

void SettingsCard::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double inset = borderW_ / 2;
    RoundedCard::paint(p, QRectF(rect()).adjusted(inset, inset, -inset, -inset), radius_, fill_, border_,
                       borderW_);
}

void SettingsCard::mouseReleaseEvent(QMouseEvent *e) {
    if (onClick && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) {
        // The handler may rebuild the page; it is queued there, so this card outlives the call.
        const auto fn = onClick;
        fn();
        return;
    }
    QWidget::mouseReleaseEvent(e);
}
