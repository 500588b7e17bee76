#include "pomodoro/TimerFigures.h"

#include "ui/CFormat.h"
#include <algorithm>
#include <cmath>

namespace TimerFigures {

QString timeText(double remaining) {
    const qint64 r = std::isfinite(remaining) && remaining > 0 ? qint64(remaining) : 0;
    return QStringLiteral("%1:%2").arg(r / 60, 2, 10, QLatin1Char('0')).arg(r % 60, 2, 10, QLatin1Char('0'));
}

QString focusText(qint64 seconds) {
    const qint64 f = std::max<qint64>(0, seconds);
    if (f >= 3600) return QStringLiteral("%1h%2m").arg(f / 3600).arg((f % 3600) / 60);
    return QStringLiteral("%1m").arg(f / 60);
}

Goal goal(qint64 doneToday, qint64 storedGoal) {
    Goal g;
    g.done = doneToday;
    g.goal = storedGoal > 0 ? storedGoal : 8;
    g.fraction = std::clamp(double(doneToday) / double(g.goal), 0.0, 1.0);
    g.reached = g.fraction >= 1.0;
    g.percent = cformat("%.0f%%", g.fraction * 100.0);
    return g;
}

qint64 dotsTotal(qint64 storedCycles) { return storedCycles > 0 ? storedCycles : 4; }

qint64 dotsFilled(qint64 cycleCount, qint64 total) {
    if (total < 1) return 0;
    const qint64 r = cycleCount % total;
    return r < 0 ? r + total : r;
}

double ringSize(double w) { return std::min(0.38 * w, 160.0); }

ControlRow controlRow(double w) {
    const double bw = std::max(w - 228.0, 90.0);
    return {(w - (bw + 172.0)) / 2.0, bw};
}

} // namespace TimerFigures
