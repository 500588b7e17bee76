#pragma once
#include "ui/EmojiText.h"
#include "ui/DisplayText.h"
#include "ui/Fonts.h"
#include "ui/Makers.h"
#include "ui/Theme.h"
#include <QColor>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <cmath>

// Small building helpers shared by the board, the calendar and their dialogs.
namespace BoardUi {
inline QColor alpha(QColor c, double a) {
    c.setAlphaF(float(a));
    return c;
}
inline QColor grey(double level, double a) {
    return QColor::fromRgbF(float(level), float(level), float(level), float(a));
}
inline bool dark() {
    return VF::theme() == AppTheme::dark;
}

// A plain-text label from the kit in the scaled system font, coloured and aligned.
inline QLabel *label(QWidget *parent, double size, QFont::Weight weight, const QColor &color,
                     Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    QLabel *l = mkLbl(VF::scaled(size), weight, 1.0);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    l->setAlignment(align);
    l->setParent(parent);
    return l;
}

// Sets the text, cut with "…" to the label's current width; the full text goes to the tooltip when
// it had to be cut. Call after the label has its frame.
inline void setFitted(QLabel *l, const QString &whole) {
    const QString text = DisplayText::cut(whole);
    l->setProperty("fullText", text);
    const QFontMetricsF fm(l->font());
    const double w = l->width();
    if (w <= 0 || fm.horizontalAdvance(text) <= w) {
        l->setText(text);
        l->setToolTip(QString());
        return;
    }
    l->setText(fm.elidedText(text, Qt::ElideRight, w));
    l->setToolTip(text);
}
// Re-fits a label's full text after its frame changed.
inline void refit(QLabel *l) {
    if (l) setFitted(l, l->property("fullText").toString());
}
// Sets the frame, grown about its centre to the font's line height where the design's frame is
// lower (larger font scales), then fits the text to the width.
inline void place(QLabel *l, const QRect &r) {
    QRect f = r;
    const int need = int(std::ceil(QFontMetricsF(l->font()).height()));
    if (need > f.height())
        f.adjust(0, -(need - f.height()) / 2, 0, need - f.height() - (need - f.height()) / 2);
    l->setGeometry(f);
    refit(l);
}

// Draws one line of text in r, cut with "…" when it does not fit.
inline void drawFitted(QPainter &p, const QRectF &r, const QString &text, Qt::Alignment align) {
    const QFontMetricsF fm(p.font());
    EmojiText::draw(p, r, int(align) | Qt::TextSingleLine, fm.elidedText(DisplayText::cut(text), Qt::ElideRight, r.width()));
}
} // namespace BoardUi
