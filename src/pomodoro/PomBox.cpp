#include "pomodoro/PomBox.h"
#include "ui/RoundedCard.h"

#include <QPainter>

void PomBox::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, radius_ > 0);
    const double inset = borderW_ > 0 ? borderW_ / 2 : 0;
    RoundedCard::paint(p, QRectF(rect()).adjusted(inset, inset, -inset, -inset), radius_, fill_, border_,
                       borderW_);
}
