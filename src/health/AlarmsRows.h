#pragma once
#include "health/CustomReminder.h"
#include "health/HReminder.h"
#include "pomodoro/Phase.h"
#include <QColor>
#include <QDateTime>
#include <QString>
#include <optional>

// What the reminders page shows, worked out without widgets: the row ids that name the selection,
// the texts, colours and bars of the list rows, the look of an alarm and the rules of the add-alarm
// sheet's date fields.
struct AlarmRow {
    QString id;
    QString emoji;
    QString title;
    QString subtitle;
    double pct = 0; // the bar's fill, 0…1
    QColor accent;
};

// What a selection id names.
struct AlarmSelection {
    enum class Kind { none, timer, health, custom, other };
    Kind kind = Kind::none;
    QString key; // the reminder's interval key, or the alarm's id
};

// How an alarm stands, as the list and its pane show it.
enum class AlarmState {
    active,      // enabled, not done, armed once or daily
    activeDaily, // the same with the daily checkpoint
    paused,      // disabled, not done
    done,        // done (or spent, see isSpent) and enabled
    doneOff,     // done and disabled
};

// An alarm's look in its detail pane.
struct AlarmLook {
    QString emoji;
    QColor accent;
    QString status;
    QColor statusColor;
};

// The countdown of a health reminder's pane.
struct Countdown {
    QString text;
    QColor color;
};

// The start date typed into the add-alarm sheet: valid with all three numbers, valid without any
// (a daily alarm), or invalid.
struct StartDateInput {
    bool valid = false;
    std::optional<qint64> day, month, year;
    bool isDaily() const { return valid && !day; }
};

namespace AlarmsRows {
inline constexpr char kTimerId[] = "pom_timer";
QString healthRowId(const QString &key); // "health_" + key
QString customRowId(const QString &id);  // "custom_" + id
AlarmSelection parse(const std::optional<QString> &selected);

// Whole minutes and seconds of a time left, truncated; the minutes take as many digits as they need.
QString mmss(double seconds);

AlarmRow timerRow(Phase phase, double remaining, double total, bool running);
// on, remaining (−1 when not scheduled), the interval in minutes and today's "shown/target".
AlarmRow healthRow(const HReminder &r, bool on, double remaining, double intervalMins, const QString &count);

// A dated alarm without the daily checkpoint whose start moment is not later than now has fired (or
// missed its moment) and will never fire again.
bool isSpent(const CustomReminder &a, const QDateTime &now);
AlarmState stateOf(const CustomReminder &a, const QDateTime &now);
QString alarmTitle(const CustomReminder &a); // the text, or "Alarm" in the current language
AlarmRow customRow(const CustomReminder &a, const QDateTime &now, const QString &count);
AlarmLook alarmLook(const CustomReminder &a, const QDateTime &now);
// "07:05   ·   📅 03.03.2027   🔁" and the like.
QString alarmTimeText(const CustomReminder &a);

Countdown healthCountdown(bool on, double remaining, const QColor &accent);

// Spaces and tabs cut from both ends (not other white space).
QString trimSpacesTabs(const QString &s);
// A whole decimal number: spaces and tabs around it, an optional sign, ASCII digits only, within the
// 64-bit range. Anything else, the empty string included, is no number.
std::optional<qint64> parseWholeNumber(const QString &s);
// The three date fields as typed. A blank day and month make a daily alarm whatever the year says.
StartDateInput parseStartDate(const QString &day, const QString &month, const QString &year);
inline constexpr qint64 kMinYear = 2020;
inline constexpr qint64 kMaxYear = 9999;

// The record the sheet creates.
CustomReminder newAlarm(int hour, int minute, const QString &text, const StartDateInput &date,
                        bool checkpoint);
} // namespace AlarmsRows
