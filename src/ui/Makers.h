#pragma once
#include <QColor>
#include <QFont>

class QLabel;
class QPushButton;
class QWidget;

// Every label a maker returns is a FitLabel (ui/TextFit.h): a line too long for its frame is cut
// with "…" and shown whole in the tool tip, and a frame lower than the font's line grows to it.
//
// Centred labels without frame or background. The size is used as given, not scaled: callers that
// follow the font scale pass a scaled size. White text in the dark theme, black in the others, at
// opacity alpha.
QLabel *mkLbl(double size, QFont::Weight weight, double alpha);
// As mkLbl with digits of equal width; white at 0.9 in the dark theme, black at 0.88 in the others.
QLabel *mkMono(double size, QFont::Weight weight);

// Styles an existing button as a page-header button (rounded, radius 8, accent colours when
// primary, neutral otherwise), adds it to parent (or raises it in its current parent when parent is
// null) and returns it. Every call restyles it completely; the caller sets the frame.
QPushButton *makeHdrBtn(QPushButton *button, const QString &title, bool primary, QWidget *parent);
// The font makeHdrBtn gives a button.
QFont hdrBtnFont(bool primary);

// The width a header button needs so that its title fits whole, at least minimum. A page gives its
// header buttons this width so that every title fits in every language at font scale 1.0 (wider
// scales may elide, and the title then shows in the tool tip).
int hdrBtnWidth(const QPushButton *button, int minimum);

// A label in parent (may be null) with the text, in the interface font at size × the font scale, in
// the colour, aligned as given; no frame or background; plain text, cut for display
// (DisplayText::cut).
QLabel *mkText(QWidget *parent, const QString &text, double size, QFont::Weight weight, const QColor &color,
               Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);

// The colours a header button is painted with, as makeHdrBtn set them.
struct HdrBtnLook {
    QColor tint, background, border;
    bool primary = false;
};
HdrBtnLook hdrBtnLook(const QPushButton *button);
