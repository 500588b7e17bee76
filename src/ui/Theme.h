#pragma once
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
