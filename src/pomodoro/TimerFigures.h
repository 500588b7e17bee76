#pragma once
#include <QString>
#include <QtGlobal>

// The figures the timer panel shows, worked out without widgets.
namespace TimerFigures {
// "%02d:%02d" of the whole seconds left (cut towards zero); minutes may pass 99.
QString timeText(double remaining);
// "1h2m" from an hour on, else "59m", "0m".
QString focusText(qint64 seconds);

struct Goal {
    qint64 done = 0;
    qint64 goal = 8;
    double fraction = 0; // done / goal, at most 1
    QString percent;     // "38%"
    bool reached = false;
};
// storedGoal not above zero counts as 8.
Goal goal(qint64 doneToday, qint64 storedGoal);

// One dot per focus phase before a long break (stored value not above zero: 4); the filled ones are
// the focus phases of the current cycle.
qint64 dotsTotal(qint64 storedCycles);
qint64 dotsFilled(qint64 cycleCount, qint64 total);

// The ring's side and the row of control buttons for a panel of width w.
double ringSize(double w);
struct ControlRow {
    double x = 0;     // left edge of the start button
    double width = 0; // start button width; reset and skip are 80 each, 6 apart
};
ControlRow controlRow(double w);
} // namespace TimerFigures
