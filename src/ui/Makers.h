#pragma once
#include <QColor>
#include <QFont>

class QLabel;
class QPushButton;
class QWidget;

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

// The colours a header button is painted with, as makeHdrBtn set them.
struct HdrBtnLook {
    QColor tint, background, border;
    bool primary = false;
};
HdrBtnLook hdrBtnLook(const QPushButton *button);
