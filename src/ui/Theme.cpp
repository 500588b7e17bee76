#include "ui/Theme.h"

#include "platform/Keys.h"
#include "platform/Prefs.h"
#include <atomic>
#include <cmath>

namespace {
QColor rgb(double r, double g, double b, double a = 1.0) { return QColor::fromRgbF(float(r), float(g), float(b), float(a)); }
QColor white(double w, double a) { return rgb(w, w, w, a); }

// One row of the palette table: the colour for dark, silver, pink and mint.
QColor pick(QColor dark, QColor silver, QColor pink, QColor mint) {
    switch (VF::theme()) {
    case AppTheme::dark: return dark;
    case AppTheme::silver: return silver;
    case AppTheme::pink: return pink;
    case AppTheme::mint: return mint;
    }
    return silver;
}
} // namespace

namespace AppThemes {
QString rawValue(AppTheme t) {
    switch (t) {
    case AppTheme::dark: return QStringLiteral("dark");
    case AppTheme::silver: return QStringLiteral("silver");
    case AppTheme::pink: return QStringLiteral("pink");
    case AppTheme::mint: return QStringLiteral("mint");
    }
    return QStringLiteral("silver");
}

std::optional<AppTheme> fromRaw(const QString &raw) {
    for (AppTheme t : {AppTheme::dark, AppTheme::silver, AppTheme::pink, AppTheme::mint})
        if (rawValue(t) == raw) return t;
    return std::nullopt;
}
} // namespace AppThemes

namespace VF {
namespace {
// Read from any thread that asks for a text or a colour; set on the window's thread.
std::atomic<const Look *> g_held = nullptr;
} // namespace

Look look() { return {L::lang(), theme(), fontScale()}; }

HeldLook::HeldLook(const Look &look) : look_(look), previous_(g_held.load()) { g_held.store(&look_); }

HeldLook::~HeldLook() { g_held.store(previous_); }

const Look *heldLook() { return g_held.load(); }

AppTheme theme() {
    if (const Look *held = heldLook()) return held->theme;
    auto v = Prefs::get().value(kTheme);
    if (!v || !std::holds_alternative<QString>(*v)) return AppTheme::silver;
    return AppThemes::fromRaw(std::get<QString>(*v)).value_or(AppTheme::silver);
}

void setTheme(AppTheme t) { Prefs::get().setString(kTheme, AppThemes::rawValue(t)); }

double fontScale() {
    if (const Look *held = heldLook()) return held->fontScale;
    const Prefs &p = Prefs::get();
    if (!p.contains(kFontScale)) return 1.0;
    const double s = p.doubleValue(kFontScale);
    // Above 100 no text would fit on screen; such a value can only come from a damaged store.
    if (!std::isfinite(s) || s <= 0 || s > 100) return 1.0;
    return s;
}

void setFontScale(double s) { Prefs::get().setDouble(kFontScale, s); }

double scaled(double points) { return points * fontScale(); }

QColor bg() { return pick(rgb(0.04, 0.09, 0.05), rgb(0.91, 0.93, 0.96), rgb(0.99, 0.93, 0.95), rgb(0.91, 0.96, 0.95)); }
QColor sidebar() { return pick(rgb(0.05, 0.11, 0.06), rgb(0.84, 0.87, 0.92), rgb(0.97, 0.87, 0.91), rgb(0.76, 0.90, 0.85)); }
QColor card() { return pick(rgb(0.07, 0.14, 0.08), rgb(0.95, 0.96, 0.99), rgb(1.00, 0.97, 0.98), rgb(0.95, 0.98, 0.97)); }
QColor gridLine() { return pick(white(1.0, 0.09), rgb(0.60, 0.68, 0.80, 0.22), rgb(0.85, 0.55, 0.65, 0.20), rgb(0.66, 0.84, 0.76, 0.22)); }
QColor accent() { return pick(rgb(0.13, 0.77, 0.37), rgb(0.07, 0.55, 0.28), rgb(0.85, 0.25, 0.45), rgb(0.23, 0.62, 0.49)); }
QColor accentDim() { return pick(rgb(0.10, 0.55, 0.28), rgb(0.05, 0.40, 0.20), rgb(0.65, 0.15, 0.30), rgb(0.18, 0.49, 0.39)); }
QColor text() { return pick(white(1.0, 0.90), white(0.0, 0.88), white(0.0, 0.82), white(0.0, 0.84)); }
QColor sub() { return pick(white(1.0, 0.45), white(0.0, 0.72), rgb(0.45, 0.18, 0.30, 0.88), rgb(0.08, 0.30, 0.22, 0.85)); }
QColor muted() { return pick(white(1.0, 0.25), white(0.0, 0.52), rgb(0.45, 0.18, 0.30, 0.62), rgb(0.08, 0.30, 0.22, 0.58)); }
QColor border() { return pick(white(1.0, 0.07), rgb(0.60, 0.68, 0.80, 0.30), rgb(0.85, 0.55, 0.65, 0.25), rgb(0.66, 0.84, 0.76, 0.30)); }
QColor today() { return pick(rgb(0.09, 0.22, 0.11), rgb(0.82, 0.87, 0.95), rgb(1.00, 0.88, 0.92), rgb(0.82, 0.94, 0.90)); }
QColor todayBorder() { return pick(rgb(0.13, 0.55, 0.28), rgb(0.07, 0.55, 0.28), rgb(0.85, 0.25, 0.45), rgb(0.23, 0.62, 0.49)); }
QColor activeSide() { return pick(rgb(0.10, 0.25, 0.13), rgb(0.76, 0.82, 0.91), rgb(1.00, 0.82, 0.88), rgb(0.75, 0.91, 0.86)); }
QColor hdrBg() { return pick(rgb(0.06, 0.12, 0.07), rgb(0.86, 0.89, 0.94), rgb(0.97, 0.84, 0.89), rgb(0.78, 0.91, 0.86)); }
} // namespace VF
