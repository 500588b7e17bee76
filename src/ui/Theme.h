#pragma once
#include "ui/Lang.h"
#include <QColor>
#include <QString>
#include <optional>

enum class AppTheme { dark, silver, pink, mint };

namespace AppThemes {
QString rawValue(AppTheme t);
std::optional<AppTheme> fromRaw(const QString &raw); // exact, case-sensitive
} // namespace AppThemes

// The current theme's palette and the font scale, computed from the preferences domain at each use:
// a view takes its colours when it is built.
namespace VF {
// The interface's look as the user chose it.
struct Look {
    AppLang lang = AppLang::en;
    AppTheme theme = AppTheme::silver;
    double fontScale = 1.0;
};
Look look(); // as the preferences hold it now
// While one lives, the language, the theme and the font scale read as held, whatever the preferences
// say: the last alert after an erase or a restore still belongs to the session the user was in,
// though the domain no longer holds its keys. The newest hold wins; one thread (the window's).
class HeldLook {
public:
    explicit HeldLook(const Look &look);
    ~HeldLook();
    HeldLook(const HeldLook &) = delete;
    HeldLook &operator=(const HeldLook &) = delete;

private:
    Look look_;
    const Look *previous_;
};
const Look *heldLook(); // the live hold's look, or nullptr

AppTheme theme();             // silver when missing or unknown
void setTheme(AppTheme t);    // posts nothing
double fontScale();           // 1.0 when missing, not a number or not above zero
void setFontScale(double s);  // stored as given; posts nothing
double scaled(double points); // points × fontScale()

QColor bg();
QColor sidebar();
QColor card();
QColor gridLine();
QColor accent();
QColor accentDim();
QColor text();
QColor sub();
QColor muted();
QColor border();
QColor today();
QColor todayBorder();
QColor activeSide();
QColor hdrBg();
} // namespace VF
