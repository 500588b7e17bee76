#pragma once
#include <QFont>
#include <QStringList>

// Sizes are design points, which are Qt logical pixels. scaledFont applies the user's font scale;
// plainFont uses the size as given. Sizes keep their fraction (11.5 × 1.15 stays 13.225).
//
// The interface font is Inter, whose shapes and widths are close to the ones the layouts were drawn
// for; Noto Color Emoji follows it, so emoji and symbols (⏸, ✅, 💡) are drawn in colour rather
// than in whatever outline font happens to hold them.
namespace Fonts {
// Set (true) on a widget whose text keeps its size whatever the font scale (a sample of one size).
inline constexpr char kFixedSizeProperty[] = "mivoFixedSize";

QFont plainFont(double px, QFont::Weight weight = QFont::Normal);
QFont scaledFont(double px, QFont::Weight weight = QFont::Normal);
// Same, with digits of equal width (for clocks and counters).
QFont monoDigits(double px, QFont::Weight weight = QFont::Normal, bool scaled = true);
// Every character of equal width (addresses, code).
QFont monospaced(double px, QFont::Weight weight = QFont::Normal, bool scaled = true);

// font, made smaller when text set in it would be wider than width: for a symbol or a figure that
// must show whole in a fixed frame (an emoji icon, a clock inside a ring) at large font scales.
QFont shrunkToFit(QFont font, const QString &text, double width);

// The family lists the helpers above use.
QStringList uiFamilies();
QStringList digitFamilies();
// Makes Inter (with the emoji font behind it) the application's default font, at the platform's
// default size times scale, so what is not given a font of its own (Qt's menus, file dialogs,
// fields) matches the rest and follows the font scale. Call after QApplication (main() does, before
// the preferences may be read) and again with the font scale once they are read and whenever it
// changes.
void applyAppFont(double scale = 1.0);
// The application font's size at font scale 1.0, in points.
double appPointSize();
} // namespace Fonts
