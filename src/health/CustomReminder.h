#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

// One of the user's daily alarms. Numbers are kept as they were stored, even out of range, so that a
// load and save never rewrites them; the schedule checks them before it uses any (see isArmable()).
struct CustomReminder {
    static QString newId(); // a fresh UUID, upper-case, without braces

    QString id = newId();
    qint64 hour = 0;
    qint64 minute = 0;
    QString text;
    bool enabled = true;
    std::optional<qint64> startDay;
    std::optional<qint64> startMonth;
    std::optional<qint64> startYear;
    bool dailyCheckpoint = false; // repeats every day until marked done
    bool done = false;
    qint64 dailyTarget = 1;
    qint64 shownCount = 0;
    QString shownDate; // "yyyy-MM-dd" of shownCount

    QString timeString() const; // "07:05"
    QString dateLabel() const;  // "Every day" or "31.12.2025"

    // A start date counts only when all three fields are present.
    bool hasStartDate() const { return startDay && startMonth && startYear; }
    // The start moment in local time. A day past the month's end runs on into the next month (31 April
    // is 1 May). Absent without a start date, and also when the fields cannot make a date (month 13).
    std::optional<QDateTime> startDate() const;
    // Hour and minute make a clock time, and a start date, if there is one, makes a date.
    bool isArmable() const;
};

namespace CustomReminderDoc {
// Compact JSON array, members in field order, absent start fields left out.
QByteArray encode(const std::vector<CustomReminder> &items);
// nullopt when the text is not such an array or any record misses a member or has a wrong type.
std::optional<std::vector<CustomReminder>> decode(const QByteArray &bytes);
} // namespace CustomReminderDoc

// The wall-clock moment hour:minute on day d in the local zone. A time that a daylight-saving change
// skips that day is taken as that many hours and minutes after the start of the day (02:30 on a
// spring-forward day in Berlin is 03:30).
QDateTime localMoment(QDate d, int hour, int minute);
