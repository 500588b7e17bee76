#include "ui/Fonts.h"

#include "ui/EmojiCache.h"
#include "ui/EmojiText.h"
#include "ui/Theme.h"
#include <QApplication>
#include <QFontMetricsF>
#include <algorithm>

namespace {
// Qt logical pixels are 1/96 inch, points 1/72: a point size keeps the fraction a pixel size would
// round away.
constexpr double kPointsPerPixel = 72.0 / 96.0;
constexpr double kSmallestPx = 1.0;
} // namespace

namespace Fonts {
QStringList uiFamilies() {
    return {QStringLiteral("Inter"), QStringLiteral("Noto Color Emoji")};
}

// Inter's digits are proportional (its tabular figures need a font feature Qt 6.4 cannot ask for);
// DejaVu Sans draws every digit at the same width, so counting numbers do not jitter.
QStringList digitFamilies() {
    return {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Color Emoji")};
}

QFont plainFont(double px, QFont::Weight weight) {
    QFont f;
    f.setFamilies(uiFamilies());
    f.setPointSizeF(std::max(kSmallestPx, px) * kPointsPerPixel);
    f.setWeight(weight);
    return f;
}

QFont scaledFont(double px, QFont::Weight weight) {
    return plainFont(VF::scaled(px), weight);
}

QFont monoDigits(double px, QFont::Weight weight, bool scaled) {
    QFont f = scaled ? scaledFont(px, weight) : plainFont(px, weight);
    f.setFamilies(digitFamilies());
    return f;
}

QFont monospaced(double px, QFont::Weight weight, bool scaled) {
    QFont f = scaled ? scaledFont(px, weight) : plainFont(px, weight);
    f.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Noto Color Emoji")});
    f.setStyleHint(QFont::Monospace);
    return f;
}

QFont shrunkToFit(QFont font, const QString &text, double width) {
    if (width <= 0 || font.pointSizeF() <= 0) return font;
    // Bitmap fonts (the colour emoji) do not narrow in proportion to the size: measure again.
    for (int i = 0; i < 12; ++i) {
        // An emoji's width is measured once per font (or ahead, see EmojiPrep): measuring decodes it.
        const bool keptWidth = EmojiCache::mayHoldEmoji(text) && !EmojiText::needsColourFont(text);
        const double w = keptWidth ? EmojiText::advance(font, text) : QFontMetricsF(font).horizontalAdvance(text);
        if (w <= width || w <= 0) break;
        const double next =
            std::max(kSmallestPx * kPointsPerPixel, font.pointSizeF() * std::min(0.95, width / w));
        if (next >= font.pointSizeF()) break;
        font.setPointSizeF(next);
    }
    return font;
}

double appPointSize() {
    // The platform's default, taken before Mivo first scales it.
    static const double base = QApplication::font().pointSizeF() > 0 ? QApplication::font().pointSizeF() : 9.0;
    return base;
}

void applyAppFont(double scale) {
    QFont f = QApplication::font();
    f.setFamilies(uiFamilies());
    f.setPointSizeF(appPointSize() * scale);
    if (f != QApplication::font()) QApplication::setFont(f);
}
} // namespace Fonts
