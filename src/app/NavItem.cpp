#include "app/NavItem.h"

#include "ui/EmojiText.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Theme.h"
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

NavItem::NavItem(const QString &emoji, const QString &title, const QString &id, QWidget *parent)
    : QWidget(parent), id_(id), emoji_(emoji), title_(title) {
    // Colour glyphs for every item, also those (⚙️, ❤️) that have a plain text form.
    emojiFont_ = emojiFont();
    titleFont_ = Fonts::scaledFont(13, QFont::Medium);
    setCursor(Qt::PointingHandCursor);
    updateAppearance();
}

void NavItem::setActive(bool a) {
    active_ = a;
    updateAppearance();
}

void NavItem::updateAppearance() {
    back_ = active_ ? VF::activeSide() : QColor(Qt::transparent);
    titleColor_ = active_ ? VF::text() : VF::sub();
    emojiAlpha_ = active_ ? 1.0 : (VF::theme() == AppTheme::dark ? 0.65 : 0.82);
    update();
}

QFont NavItem::emojiFont() { return EmojiText::colourFirst(Fonts::scaledFont(15)); }
QRect NavItem::emojiRectIn(int h) { return yUp(h, 12, (h - 20) / 2.0, 22, 20); }
QRect NavItem::emojiRect() const { return emojiRectIn(height()); }

void NavItem::paintEmoji(QPainter &p, const QRect &frame, const QString &emoji, const QFont &font) {
    p.setFont(font);
    p.setPen(VF::text());
    EmojiText::drawPlain(p, frame.adjusted(0, -2, 4, 2), Qt::AlignLeft | Qt::AlignVCenter, emoji);
}

void NavItem::drawEmojiAhead(const QString &emoji, double dpr) {
    // The painter set up as paintEvent sets it (the opacity aside, which the copy takes later): the
    // picture is kept for the same font, pen, hints and frame.
    const QRect frame = emojiRectIn(kHeight);
    const QPoint corner = frame.adjusted(0, -2, 4, 2).bottomRight() + QPoint(2, 2);
    QImage scratch(QSize(int(std::ceil(corner.x() * dpr)), int(std::ceil(corner.y() * dpr))),
                   QImage::Format_ARGB32_Premultiplied);
    scratch.setDevicePixelRatio(dpr);
    scratch.fill(Qt::transparent);
    QPainter p(&scratch);
    p.setLayoutDirection(QGuiApplication::layoutDirection()); // a widget's, where an image has none
    p.setRenderHint(QPainter::Antialiasing);
    paintEmoji(p, frame, emoji, emojiFont());
}
QRect NavItem::titleRect() const { return yUp(height(), 40, (height() - 18) / 2.0, width() - 50, 18); }

void NavItem::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (back_.alpha() > 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(back_);
        p.drawRoundedRect(rect(), 8, 8);
    }
    p.setOpacity(emojiAlpha_);
    paintEmoji(p, emojiRect(), emoji_, emojiFont_);
    p.setOpacity(1.0);
    p.setFont(titleFont_);
    p.setPen(titleColor_);
    const QRect tr = titleRect().adjusted(0, -2, 0, 2);
    p.drawText(tr, Qt::AlignLeft | Qt::AlignVCenter, p.fontMetrics().elidedText(title_, Qt::ElideRight, tr.width()));
}

void NavItem::mousePressEvent(QMouseEvent *e) {
    if (e->button() == Qt::LeftButton) pressed_ = true;
}

void NavItem::mouseReleaseEvent(QMouseEvent *e) {
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    if (click) tapped();
}

void NavItem::tapped() {
    if (onTap) onTap();
}
