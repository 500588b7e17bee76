#pragma once
#include "ui/FadedScroller.h"
#include "ui/FlippedView.h"
#include "ui/Fonts.h"
#include "ui/Makers.h"
#include "ui/Theme.h"
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QWidget>

// Small building helpers shared by the pages' views and dialogs.
namespace UiKit {
inline QColor alpha(QColor c, double a) {
    c.setAlphaF(float(c.alphaF() * a));
    return c;
}
inline QColor white(double a) { return QColor::fromRgbF(1, 1, 1, float(a)); }

// A label without frame or background in the interface font at the scaled size; it elides a line
// too long for its frame (the kit's FitLabel).
inline QLabel *label(QWidget *parent, const QString &text, double size, QFont::Weight weight, const QColor &color,
                     Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    return mkText(parent, text, size, weight, color, align);
}

// A kit label in the given font, used as it is, and colour, centred vertically.
inline QLabel *fontLabel(QWidget *parent, const QFont &font, const QColor &color, Qt::Alignment align = Qt::AlignLeft) {
    QLabel *l = mkLbl(12, QFont::Normal, 1);
    l->setParent(parent);
    l->setFont(font);
    l->setAlignment(align | Qt::AlignVCenter);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    return l;
}

// An emoji or symbol alone in a frame of the given width: its scaled size shrinks where it would not
// fit whole, instead of being cut.
inline QLabel *iconLabel(QWidget *parent, const QString &icon, double size, double width,
                         Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    QLabel *l = mkText(parent, icon, size, QFont::Normal, VF::text(), align);
    l->setFont(Fonts::shrunkToFit(l->font(), icon, width));
    return l;
}

// A scroll view without frame or background, with faded scrollers over its content; it scrolls
// sideways only when asked.
inline QScrollArea *plainScrollArea(QWidget *parent, bool widgetResizable = false, bool horizontal = false) {
    auto *s = new QScrollArea(parent);
    s->setFrameShape(QFrame::NoFrame);
    if (!horizontal) s->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    s->setWidgetResizable(widgetResizable);
    s->viewport()->setAutoFillBackground(false);
    s->setAutoFillBackground(false);
    applyFadedScroller(s);
    return s;
}

// A vertical scroll view without frame or background whose document is a new FlippedView.
inline QScrollArea *scrollArea(QWidget *parent, FlippedView **doc, bool horizontal = false) {
    QScrollArea *s = plainScrollArea(parent, false, horizontal);
    *doc = new FlippedView;
    (*doc)->setAutoFillBackground(false);
    s->setWidget(*doc);
    return s;
}

// Paints the widget's background in c.
inline void fillBackground(QWidget *w, const QColor &c) {
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
}

// Dialogs and panels are windows of their own and so do not inherit the main window's palette. In
// the dark theme they take it over: their fields turn dark and the theme's light captions stay
// readable. The other themes keep the light system look, as the main window does.
inline void matchAppearance(QWidget *w, const QWidget *mainWindow) {
    if (!w || !mainWindow || VF::theme() != AppTheme::dark) return;
    w->setPalette(mainWindow->palette());
}

// The look of a dialog's multi-line text field: the theme's card colour behind the theme's text,
// with an inset around the text.
inline void styleTextBox(QPlainTextEdit *t, double inset) {
    QPalette p = t->palette();
    p.setColor(QPalette::Base, VF::card());
    p.setColor(QPalette::Text, VF::text());
    t->setPalette(p);
    t->document()->setDocumentMargin(inset);
}

// Removes every child widget now from view and deletes it later, so a click handler still running
// inside one of them returns safely.
inline void clearChildren(QWidget *w) {
    const auto kids = w->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *k : kids) {
        k->hide();
        k->setParent(nullptr);
        k->deleteLater();
    }
}
} // namespace UiKit
