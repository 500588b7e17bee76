#include "pomodoro/PomStatCard.h"

#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/TextFit.h"
#include "ui/Theme.h"
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace {
QColor grey(double g, double a) { return QColor::fromRgbF(float(g), float(g), float(g), float(a)); }
QLabel *plain(QWidget *parent) {
    auto *l = new FitLabel(parent);
    l->setAlignment(Qt::AlignCenter);
    l->setAutoFillBackground(false);
    return l;
}
} // namespace

PomStatCard::PomStatCard(const QString &icon, const QString &label, QWidget *parent) : QWidget(parent) {
    icnLbl = plain(this);
    valLbl = plain(this);
    tagLbl = plain(this);
    icnLbl->setText(icon);
    valLbl->setText(QStringLiteral("0"));
    setCaption(label);
    applyThemeColors();
}

void PomStatCard::setCaption(const QString &label) { tagLbl->setText(label.toUpper()); }

void PomStatCard::applyThemeColors() {
    const bool dark = VF::theme() == AppTheme::dark;
    const double g = dark ? 1.0 : 0.0;
    bg_ = grey(g, dark ? 0.07 : 0.06);
    border_ = grey(g, dark ? 0.06 : 0.1);
    icnLbl->setFont(Fonts::scaledFont(16));
    valLbl->setFont(Fonts::monoDigits(22, QFont::Bold));
    tagLbl->setFont(Fonts::scaledFont(9, QFont::DemiBold));
    QPalette pv = valLbl->palette();
    pv.setColor(QPalette::WindowText, grey(g, dark ? 0.95 : 0.88));
    valLbl->setPalette(pv);
    QPalette pt = tagLbl->palette();
    pt.setColor(QPalette::WindowText, grey(g, dark ? 0.3 : 0.5));
    tagLbl->setPalette(pt);
    update();
}

void PomStatCard::resizeEvent(QResizeEvent *) {
    const double w = width(), h = height();
    icnLbl->setGeometry(yUp(h, 0, h - 26, w, 18));
    valLbl->setGeometry(yUp(h, 2, h - 54, w - 4, 28));
    tagLbl->setGeometry(yUp(h, 0, 5, w, 13));
}

void PomStatCard::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 12, 12);
    p.fillPath(path, bg_);
    p.setPen(QPen(border_, 0.5));
    p.drawPath(path);
}
