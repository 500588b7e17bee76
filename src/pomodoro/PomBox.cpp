#include "pomodoro/PomBox.h"

#include <QPainter>
#include <QPainterPath>

void PomBox::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, radius_ > 0);
    const double inset = borderW_ > 0 ? borderW_ / 2 : 0;
    const QRectF r = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QPainterPath path;
    if (radius_ > 0) path.addRoundedRect(r, radius_, radius_);
    else path.addRect(r);
    p.fillPath(path, fill_);
    if (borderW_ > 0 && border_.alpha() > 0) {
        p.setPen(QPen(border_, borderW_));
        p.drawPath(path);
    }
}
