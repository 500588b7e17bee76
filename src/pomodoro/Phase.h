#pragma once
#include <QColor>
#include <QString>
#include <optional>

// The three phases of the timer. The raw values are stored under "savedPhase": never change them.
enum class Phase { work, rest, longRest };

namespace Phases {
QString rawValue(Phase p);
// Exactly "work", "rest" or "longRest" (case-sensitive); anything else has no phase.
std::optional<Phase> fromRaw(const QString &raw);

QString emoji(Phase p);
// The phase name in capitals, in the current interface language (read at every call).
QString label(Phase p);
// Title of the banner that announces the start of the phase, in the current language.
QString notifyTitle(Phase p);
// Body of that banner: the phase's minutes setting (whole minutes) framed by the current language's text.
QString notifyBody(Phase p, double minutes);
QColor accentColor(Phase p);

// The one table that turns a phase into its minutes key and default length.
const char *lengthKey(Phase p);
double defaultMinutes(Phase p); // 25, 5, 15
} // namespace Phases
