#pragma once
#include "exercises/ExerciseRecord.h"
#include "finance/FinEntry.h"
#include "pomodoro/Task.h"
#include "ui/Lang.h"
#include <QColor>
#include <QDate>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

// The statistics page's figures, worked out from a snapshot of the stores and counters and nothing
// else, so the page, the reports and the tests all see the same numbers.

enum class StatsMode { day, month };

struct StatsPeriod {
    StatsMode mode = StatsMode::month;
    QDate date; // the day shown, or any day of the month shown
    bool operator==(const StatsPeriod &) const = default;
};
// One day or one month further (step +1) or back (-1); a month step from the 31st lands on the last
// day of a shorter month.
StatsPeriod stepPeriod(const StatsPeriod &p, int step);

// The streak to show: the stored streak only while its last day is today or the calendar day before;
// older streaks are broken, though the timer only resets the stored value at its next focus phase.
// Both the statistics page and the Pomodoro page show this.
qint64 shownStreak(qint64 stored, const QString &lastDay, const QDate &today);
// The same, read from the preferences and the clock.
qint64 shownStreak();

// The timer's counters and settings as stored, with the accessors' today rule already applied.
struct TimerCounters {
    qint64 todayCount = 0;     // 0 unless the counters' day is today
    qint64 focusSecsToday = 0; // likewise
    qint64 totalCount = 0;
    qint64 focusSecs = 0;  // of the day named by lastDate
    QString lastDate;      // the counters' day, "y-m-d" without leading zeros
    qint64 streak = 0;     // already passed through shownStreak
    qint64 dailyGoal = 0;  // as stored
    qint64 cycleCount = 0; // as stored
    qint64 cyclesBeforeLong = 0;
    double breakMins = 0, longBreakMins = 0;
    bool operator==(const TimerCounters &) const = default;
};

struct StatsSnapshot {
    QDate today;
    AppLang lang = AppLang::en;
    TimerCounters timer;
    std::vector<Task> tasks;
    std::vector<FinEntry> finances;
    std::vector<ExerciseRecord> exercises;
    bool operator==(const StatsSnapshot &) const = default;

    // Reads the task and finance stores, the exercise history, the timer counters and the language now.
    static StatsSnapshot capture();
    // The same with only the records that p's figures and reports can use (those of p's month, and
    // the finance entries dated p's day): the page redraws every second while the timer runs, and
    // copying and comparing years of records each time would cost more than drawing the page.
    static StatsSnapshot capture(const StatsPeriod &p);
    // The exerciseHistory document; missing or unreadable reads as no records.
    static std::vector<ExerciseRecord> loadExerciseHistory();
};

// One figure row: emoji, label, value text and a bar of fraction (0…1) in colour. A sub-header row
// carries only its label.
struct StatsRow {
    QString emoji, label, value;
    double fraction = 0;
    QColor color;
    bool subHeader = false;
    bool operator==(const StatsRow &) const = default;
};

struct StatsSection {
    QString title;
    QColor color;
    std::vector<StatsRow> rows;
    QString emptyText; // shown below the rows when not empty
    bool operator==(const StatsSection &) const = default;
};

struct StatsCard {
    QString icon, title, figure;
    QColor color;
    bool operator==(const StatsCard &) const = default;
};

struct StatsModel {
    QString periodLabel;
    StatsSection timer, exercises, tasks, finances;
    std::array<StatsCard, 4> cards;
    bool operator==(const StatsModel &) const = default;
};

StatsModel buildStatsModel(const StatsSnapshot &s, const StatsPeriod &p);

namespace StatsText {
// The text report's first line, and its PDF's title.
inline constexpr char kReportTitle[] = "Mivo — Statistics Report";
// "December 2026" (Month) or "5 December" (Day) in the snapshot's language.
QString periodLabel(const StatsPeriod &p, AppLang lang);
// The exports: English labels, category names and the period line in the snapshot's language.
QString reportText(const StatsSnapshot &s, const StatsPeriod &p);
QString csvText(const StatsSnapshot &s, const StatsPeriod &p);
// "mivo-stats-2026-03-05" (Day) or "mivo-stats-2026-03" (Month) + extension.
QString fileName(const StatsPeriod &p, const char *extension);
// "₴1500", "+₴0", "₴-301": whole units; sign only for the balance form.
QString money0(double v, bool signedForm);
// The emoji a section's row or a card may show whatever the data (an exercise's own emoji aside).
QStringList rowEmoji();
QStringList cardIcons();
} // namespace StatsText
