#include "finance/FinStatCard.h"

#include "finance/FinUi.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "ui/EmojiText.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Makers.h"
#include "ui/Theme.h"
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {
QColor grey(double g, double a) {
    return QColor::fromRgbF(float(g), float(g), float(g), float(a));
}
QColor rgb(double r, double g, double b, double a = 1) {
    return QColor::fromRgbF(float(r), float(g), float(b), float(a));
}
QColor withAlpha(QColor c, double a) {
    c.setAlphaF(float(a));
    return c;
}

struct CardTheme {
    QColor bg, caption, line, track;
};
CardTheme cardTheme(AppTheme t) {
    switch (t) {
    case AppTheme::dark:
        return {rgb(0.07, 0.14, 0.08), grey(1, 0.45), grey(1, 0.25), grey(1, 0.07)};
    case AppTheme::silver:
        return {grey(1, 1), grey(0, 0.72), grey(0, 0.52), grey(0, 0.08)};
    case AppTheme::pink:
        return {grey(1, 1), rgb(0.45, 0.18, 0.3, 0.88), rgb(0.45, 0.18, 0.3, 0.62), grey(0, 0.08)};
    case AppTheme::mint:
        return {grey(1, 1), rgb(0.08, 0.3, 0.22, 0.85), rgb(0.08, 0.3, 0.22, 0.58), grey(0, 0.08)};
    }
    return {};
}

QLabel *cardLabel(QWidget *parent, const QFont &font) {
    QLabel *l = mkLbl(font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF(), QFont::Normal, 1);
    l->setFont(font);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setParent(parent);
    return l;
}
void setColor(QLabel *l, const QColor &c) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, c);
    l->setPalette(p);
}

// "1 запис", "3 записи", "5 записів": the count with the form it asks for.
QString entries(int count) {
    return L::counted(
        count,
        {.one = {.en = "entry", .es = "entrada", .de = "Eintrag", .fr = "entrée", .uk = "запис", .pl = "wpis"},
         .few = {.en = "entries", .es = "entradas", .de = "Einträge", .fr = "entrées", .uk = "записи", .pl = "wpisy"},
         .many = {.en = "entries", .es = "entradas", .de = "Einträge", .fr = "entrées", .uk = "записів", .pl = "wpisów"}});
}
} // namespace

FinStatCard::FinStatCard(const QString &icon, const QString &label, const QColor &accent, QWidget *parent)
    : QWidget(parent), accent_(accent) {
    border_ = withAlpha(accent, 0.25);
    fill_ = accent;
    const QFont emoji = EmojiText::colourFirst(Fonts::scaledFont(22)); // the icon in colour, as the sidebar's
    iconLbl_ = cardLabel(this, emoji);
    catLbl_ = cardLabel(this, Fonts::scaledFont(10, QFont::DemiBold));
    amtLbl_ = cardLabel(this, Fonts::monoDigits(22, QFont::Thin));
    subLbl_ = cardLabel(this, Fonts::scaledFont(11));
    setColor(iconLbl_, accent);
    FinUi::setElided(iconLbl_, icon);
    setColor(amtLbl_, accent);
    FinUi::setElided(amtLbl_, QStringLiteral("₴ 0"));
    FinUi::setElided(subLbl_, entries(0));
    setLabel(label);
    track_ = cardTheme(VF::theme()).track; // the track keeps the colour it was made with
    applyTheme();
    Notifier::get().observe(Notify::themeChanged, this, [this](QObject *) { applyTheme(); });
}

void FinStatCard::applyTheme() {
    const CardTheme t = cardTheme(VF::theme());
    bg_ = t.bg;
    setColor(catLbl_, t.caption);
    setColor(subLbl_, t.line);
    QWidget::update();
}

void FinStatCard::setLabel(const QString &label) {
    FinUi::setElided(catLbl_, label.toUpper());
}

void FinStatCard::setAmountColor(const QColor &c) {
    setColor(amtLbl_, c);
}

void FinStatCard::update(double amount, int count, double pct, const QString &prefix) {
    pct_ = std::clamp(std::isnan(pct) ? 0.0 : pct, 0.0, 1.0);
    FinUi::setElided(amtLbl_, prefix + QString::asprintf("%.2f", std::fabs(amount)));
    setAmountColor(accent_);
    FinUi::setElided(subLbl_, entries(count));
    QWidget::update();
}

void FinStatCard::updateBalance(double amount, int savingsPct) {
    pct_ = std::min(std::max(savingsPct, 0) / 100.0, 1.0);
    const QColor c = amount >= 0 ? accent_ : rgb(1.0, 0.35, 0.35);
    FinUi::setElided(amtLbl_, QString(amount >= 0 ? QLatin1Char('+') : QLatin1Char('-')) +
                                  QString::asprintf("%.2f", std::fabs(amount)));
    setAmountColor(c);
    border_ = withAlpha(c, 0.25);
    fill_ = c;
    FinUi::setElided(subLbl_, QString::number(savingsPct) + QStringLiteral("% ") +
                                  L::t({.en = "savings",
                                        .es = "ahorros",
                                        .de = "Ersparnisse",
                                        .fr = "épargne",
                                        .uk = "заощадження",
                                        .pl = "oszczędności"}));
    QWidget::update();
}

QString FinStatCard::amountText() const {
    return amtLbl_->property("finFullText").toString();
}
QString FinStatCard::lineText() const {
    return subLbl_->property("finFullText").toString();
}
QString FinStatCard::captionText() const {
    return catLbl_->property("finFullText").toString();
}
QColor FinStatCard::amountColor() const {
    return amtLbl_->palette().color(QPalette::WindowText);
}

double FinStatCard::fillWidth() const {
    return std::max(width() - 28.0, 0.0) * pct_;
}

void FinStatCard::resizeEvent(QResizeEvent *) {
    const double w = width(), h = height();
    FinUi::placeText(iconLbl_, h, 14, h - 42, 36, 28);
    FinUi::placeText(catLbl_, h, 52, h - 32, w - 60, 16);
    FinUi::placeText(amtLbl_, h, 14, h - 74, w - 28, 34);
    FinUi::placeText(subLbl_, h, 16, h - 90, w - 28, 16);
}

void FinStatCard::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 12, 12);
    p.fillPath(card, bg_);
    p.setPen(QPen(border_, 0.5));
    p.drawPath(card);
    const QRectF track = yUpF(height(), 14, 10, std::max(width() - 28.0, 0.0), 6);
    QPainterPath tp;
    tp.addRoundedRect(track, 3, 3);
    p.fillPath(tp, track_);
    if (fillWidth() > 0) {
        QPainterPath fp;
        fp.addRoundedRect(QRectF(track.topLeft(), QSizeF(fillWidth(), track.height())), 3, 3);
        p.fillPath(fp, fill_);
    }
}
