#include "pomodoro/PomStatCard.h"
#include "ui/RoundedCard.h"

#include "ui/EmojiText.h"
#include "ui/Fonts.h"
#include "ui/TextFit.h"
#include "ui/Theme.h"
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {
QColor grey(double g, double a) {
    return QColor::fromRgbF(float(g), float(g), float(g), float(a));
}
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

QFont PomStatCard::iconFont() { return Fonts::scaledFont(16); }

void PomStatCard::setCaption(const QString &label) {
    tagLbl->setText(label.toUpper());
}

void PomStatCard::applyThemeColors() {
    const bool dark = VF::theme() == AppTheme::dark;
    const double g = dark ? 1.0 : 0.0;
    bg_ = grey(g, dark ? 0.07 : 0.06);
    border_ = grey(g, dark ? 0.06 : 0.1);
    icnLbl->setFont(iconFont());
    valLbl->setFont(Fonts::monoDigits(22, QFont::Bold));
    tagLbl->setFont(Fonts::scaledFont(9, QFont::DemiBold));
    QPalette pv = valLbl->palette();
    pv.setColor(QPalette::WindowText, grey(g, dark ? 0.95 : 0.88));
    valLbl->setPalette(pv);
    QPalette pt = tagLbl->palette();
    pt.setColor(QPalette::WindowText, grey(g, dark ? 0.3 : 0.5));
    tagLbl->setPalette(pt);
    place(); // the fonts' rows may have changed with the scale
    update();
}

namespace {
constexpr double kTopPad = 8, kBottomPad = 5;
// A row is as high as its text's line; the icon's, as high as the colour emoji font's line where that
// is taller (an emoji comes from a font of its own, taller than the text font's line). Measured from
// the fonts' metrics: measuring an emoji's glyph decodes its picture.
double rowHeight(const QLabel *l, double design, bool emoji = false) {
    const double line = EmojiText::height(l->font());
    const double glyphs = emoji ? EmojiText::height(EmojiText::colourFirst(l->font())) : 0;
    return std::max({design, std::ceil(line), std::ceil(glyphs)});
}
} // namespace

PomStatCard::Rows PomStatCard::rows() const {
    // The value's row is measured on digits: which ones it shows must not move the rows.
    const QFontMetricsF digits(valLbl->font());
    return {rowHeight(icnLbl, 18, true), std::max(28.0, std::ceil(digits.height())), rowHeight(tagLbl, 13)};
}

int PomStatCard::neededHeight() const {
    const Rows r = rows();
    return int(std::ceil(kTopPad + r.icon + r.value + r.caption + kBottomPad));
}

void PomStatCard::resizeEvent(QResizeEvent *) {
    place();
}

void PomStatCard::place() {
    const double w = width(), h = height();
    const Rows r = rows();
    // Any room beyond what the rows need goes above and below them alike.
    const double top = kTopPad + std::max(0.0, h - neededHeight()) / 2;
    icnLbl->setGeometry(QRectF(0, top, w, r.icon).toRect());
    valLbl->setGeometry(QRectF(2, top + r.icon, w - 4, r.value).toRect());
    tagLbl->setGeometry(QRectF(0, top + r.icon + r.value, w, r.caption).toRect());
}

void PomStatCard::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    RoundedCard::paint(p, QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 12, bg_, border_, 0.5);
}
