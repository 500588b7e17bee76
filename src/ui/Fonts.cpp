#include "ui/Fonts.h"

#include "ui/Theme.h"
#include <algorithm>
#include <cmath>

namespace Fonts {
QFont plainFont(double px, QFont::Weight weight) {
    QFont f;
    f.setPixelSize(std::max(1, int(std::lround(px))));
    f.setWeight(weight);
    return f;
}

QFont scaledFont(double px, QFont::Weight weight) { return plainFont(VF::scaled(px), weight); }

QFont monoDigits(double px, QFont::Weight weight, bool scaled) {
    QFont f = scaled ? scaledFont(px, weight) : plainFont(px, weight);
    // DejaVu Sans draws every digit at the same width, so counting numbers do not jitter.
    f.setFamilies({QStringLiteral("DejaVu Sans"), f.family()});
    return f;
}
} // namespace Fonts
