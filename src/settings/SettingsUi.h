#pragma once
#include "ui/Fonts.h"
#include "ui/TextFit.h"
#include "ui/UiKit.h"
#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>

// Building helpers shared by the settings and support pages.
namespace SettingsUi {
inline QColor withAlpha(QColor c, double a) {
    c.setAlphaF(float(a));
    return c;
}

// A plain-text label at a scaled size (the kit's FitLabel): text that does not fit its frame is cut
// with "…" when drawn and shown whole in the tooltip. Its emoji are drawn and measured through the
// emoji cache: a plain QLabel measured and laid out each one again, decoding its picture every time.
inline QLabel *label(QWidget *parent, const QString &text, double size, QFont::Weight weight, const QColor &color,
                     const QRectF &frame, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    QLabel *l = mkText(parent, text, size, weight, color, align);
    QRect r = frame.toRect();
    // Heights follow the font: a frame drawn for the unscaled size grows with the line height.
    r.setHeight(std::max(r.height(), TextFit::lineHeight(l->font())));
    l->setGeometry(r);
    return l;
}

// A button title that does not fit is cut with "…" and shown whole in the tooltip.
inline void fitButtonTitle(QAbstractButton *b, int padding = 12) {
    const QString full = b->toolTip().isEmpty() ? b->text() : b->toolTip();
    const QString shown = b->fontMetrics().elidedText(full, Qt::ElideRight, b->width() - padding);
    b->setText(shown);
    b->setToolTip(shown == full ? QString() : full);
}

// Horizontal scrolling only where the page is narrower than its content's minimum width.
inline void followWidth(QScrollArea *s, int pageWidth, int minWidth) {
    s->setHorizontalScrollBarPolicy(pageWidth >= minWidth ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
}

// The page's only child: a vertical scroll view without frame or background around a FlippedView.
inline QScrollArea *makeScroll(QWidget *page, QPointer<FlippedView> &flip) {
    FlippedView *doc = nullptr;
    QScrollArea *s = UiKit::scrollArea(page, &doc, true);
    flip = doc;
    return s;
}
} // namespace SettingsUi
