#pragma once
#include <QProxyStyle>

// No button in the app draws a focus ring: the style draws every button as if it had no focus,
// whatever the underlying Qt style would do. It also draws the texts of labels, buttons and pop-ups
// with their emoji in colour (ui/EmojiText.h). Install once, before windows are built.
class NoFocusRingStyle : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;
    static void install(); // on the application, wrapping its current style

    void drawPrimitive(PrimitiveElement pe, const QStyleOption *opt, QPainter *p,
                       const QWidget *w = nullptr) const override;
    void drawControl(ControlElement ce, const QStyleOption *opt, QPainter *p,
                     const QWidget *w = nullptr) const override;
    void drawComplexControl(ComplexControl cc, const QStyleOptionComplex *opt, QPainter *p,
                            const QWidget *w = nullptr) const override;
    void drawItemText(QPainter *p, const QRect &rect, int flags, const QPalette &pal, bool enabled,
                      const QString &text, QPalette::ColorRole textRole = QPalette::NoRole) const override;
};
