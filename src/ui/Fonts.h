#pragma once
#include <QFont>

// Sizes are design points, which are Qt logical pixels. scaledFont applies the user's font scale;
// plainFont uses the size as given.
namespace Fonts {
QFont plainFont(double px, QFont::Weight weight = QFont::Normal);
QFont scaledFont(double px, QFont::Weight weight = QFont::Normal);
// Same, with digits of equal width (for clocks and counters).
QFont monoDigits(double px, QFont::Weight weight = QFont::Normal, bool scaled = true);
} // namespace Fonts
