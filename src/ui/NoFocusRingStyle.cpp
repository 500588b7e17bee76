#include "ui/NoFocusRingStyle.h"

#include "ui/EmojiCache.h"
#include "ui/EmojiText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QStyleOption>

namespace {
bool isButton(const QWidget *w) {
    return qobject_cast<const QAbstractButton *>(w) != nullptr;
}

// Runs draw with a copy of the option whose focus state is cleared, when the option is one of the
// button kinds; other kinds are left alone (a sliced copy would lose their fields).
template <typename Draw> bool withoutFocus(const QStyleOption *opt, Draw draw) {
    if (auto *b = qstyleoption_cast<const QStyleOptionButton *>(opt)) {
        QStyleOptionButton c(*b);
        c.state &= ~QStyle::State_HasFocus;
        draw(&c);
        return true;
    }
    if (auto *t = qstyleoption_cast<const QStyleOptionToolButton *>(opt)) {
        QStyleOptionToolButton c(*t);
        c.state &= ~QStyle::State_HasFocus;
        draw(&c);
        return true;
    }
    return false;
}
} // namespace

void NoFocusRingStyle::drawItemText(QPainter *p, const QRect &rect, int flags, const QPalette &pal, bool enabled,
                                    const QString &text, QPalette::ColorRole textRole) const {
    // Emoji alone are drawn from kept pixmaps where the common style would draw them plainly (a
    // disabled text keeps the style's own look).
    const bool keptEmoji = enabled && EmojiCache::onlyEmoji(text);
    if (!p || (!EmojiText::needsColourFont(text) && !keptEmoji)) {
        QProxyStyle::drawItemText(p, rect, flags, pal, enabled, text, textRole);
        return;
    }
    // As the common style draws an item's text (the palette's group already says whether it is
    // enabled), with the emoji from the colour font, and kept drawn.
    const QPen saved = p->pen();
    if (textRole != QPalette::NoRole)
        p->setPen(QPen(pal.brush(textRole), saved.widthF()));
    Q_UNUSED(enabled)
    EmojiText::draw(*p, rect, flags, text);
    p->setPen(saved);
}

void NoFocusRingStyle::install() {
    if (qobject_cast<NoFocusRingStyle *>(QApplication::style())) return;
    QApplication::setStyle(new NoFocusRingStyle(QApplication::style()->name()));
}

void NoFocusRingStyle::drawPrimitive(PrimitiveElement pe, const QStyleOption *opt, QPainter *p,
                                     const QWidget *w) const {
    if (isButton(w)) {
        if (pe == PE_FrameFocusRect) return;
        if (opt && (opt->state & State_HasFocus) &&
            withoutFocus(opt, [&](const QStyleOption *o) { QProxyStyle::drawPrimitive(pe, o, p, w); }))
            return;
    }
    QProxyStyle::drawPrimitive(pe, opt, p, w);
}

void NoFocusRingStyle::drawControl(ControlElement ce, const QStyleOption *opt, QPainter *p,
                                   const QWidget *w) const {
    if (isButton(w) && opt && (opt->state & State_HasFocus) &&
        withoutFocus(opt, [&](const QStyleOption *o) { QProxyStyle::drawControl(ce, o, p, w); }))
        return;
    QProxyStyle::drawControl(ce, opt, p, w);
}

void NoFocusRingStyle::drawComplexControl(ComplexControl cc, const QStyleOptionComplex *opt, QPainter *p,
                                          const QWidget *w) const {
    if (isButton(w) && opt && (opt->state & State_HasFocus)) {
        if (auto *t = qstyleoption_cast<const QStyleOptionToolButton *>(opt)) {
            QStyleOptionToolButton c(*t);
            c.state &= ~State_HasFocus;
            QProxyStyle::drawComplexControl(cc, &c, p, w);
            return;
        }
    }
    QProxyStyle::drawComplexControl(cc, opt, p, w);
}
