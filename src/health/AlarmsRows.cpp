#include "health/AlarmsRows.h"

#include "ui/Lang.h"
#include "ui/Theme.h"
#include <algorithm>
#include <cmath>
#include <limits>

namespace AlarmsRows {
namespace {
const QString kHealthPrefix = QStringLiteral("health_");
const QString kCustomPrefix = QStringLiteral("custom_");

qint64 wholeSeconds(double s) {
    if (!std::isfinite(s) || s <= 0) return 0;
    if (s >= 9.0e15) return qint64(9.0e15);
    return qint64(s); // towards zero, never rounded up
}

QString everyDay() {
    return L::t({.en = "Every day",
                 .es = "Cada día",
                 .de = "Täglich",
                 .fr = "Chaque jour",
                 .uk = "Щодня",
                 .pl = "Każdego dnia"});
}
} // namespace

QString healthRowId(const QString &key) {
    return kHealthPrefix + key;
}
QString customRowId(const QString &id) {
    return kCustomPrefix + id;
}

AlarmSelection parse(const std::optional<QString> &selected) {
    if (!selected) return {};
    const QString &s = *selected;
    if (s == QLatin1String(kTimerId)) return {AlarmSelection::Kind::timer, {}};
    if (s.startsWith(kHealthPrefix)) return {AlarmSelection::Kind::health, s.mid(kHealthPrefix.size())};
    if (s.startsWith(kCustomPrefix)) return {AlarmSelection::Kind::custom, s.mid(kCustomPrefix.size())};
    return {AlarmSelection::Kind::other, {}};
}

QString mmss(double seconds) {
    const qint64 s = wholeSeconds(seconds);
    return QString::asprintf("%02lld:%02lld", s / 60, s % 60);
}

AlarmRow timerRow(Phase phase, double remaining, double total, bool running) {
    AlarmRow r;
    r.id = QString::fromLatin1(kTimerId);
    r.emoji = Phases::emoji(phase);
    r.title = QStringLiteral("Pomodoro · ") + Phases::label(phase);
    r.subtitle = (running ? QStringLiteral("▶  ") : QStringLiteral("⏸  ")) + mmss(remaining);
    r.pct = total > 0 ? std::clamp((total - remaining) / total, 0.0, 1.0) : 0.0;
    r.accent = Phases::accentColor(phase);
    return r;
}

AlarmRow healthRow(const HReminder &h, bool on, double remaining, double intervalMins, const QString &count) {
    AlarmRow r;
    r.id = healthRowId(h.key);
    r.emoji = h.emoji;
    r.title = h.name;
    r.accent = h.accent;
    if (!on) {
        r.subtitle = QStringLiteral("⏸  off");
    } else if (remaining < 0) {
        r.subtitle = QStringLiteral("⏳  starting…");
    } else {
        r.subtitle = QStringLiteral("⏱  ") + mmss(remaining) + QStringLiteral("  ·  ") + count;
        const double span = intervalMins * 60;
        r.pct = span > 0 ? std::clamp(1 - remaining / span, 0.0, 1.0) : 0.0;
    }
    return r;
}

bool isSpent(const CustomReminder &a, const QDateTime &now) {
    if (!a.hasStartDate() || a.dailyCheckpoint) return false;
    const auto start = a.startDate();
    return start && *start <= now;
}

AlarmState stateOf(const CustomReminder &a, const QDateTime &now) {
    if (a.done) return a.enabled ? AlarmState::done : AlarmState::doneOff;
    if (!a.enabled) return AlarmState::paused;
    if (isSpent(a, now)) return AlarmState::done;
    return a.dailyCheckpoint ? AlarmState::activeDaily : AlarmState::active;
}

QString alarmTitle(const CustomReminder &a) {
    if (!a.text.isEmpty()) return a.text;
    return L::t(
        {.en = "Alarm", .es = "Alarma", .de = "Alarm", .fr = "Alarme", .uk = "Нагадування", .pl = "Alarm"});
}

AlarmRow customRow(const CustomReminder &a, const QDateTime &now, const QString &count) {
    AlarmRow r;
    r.id = customRowId(a.id);
    r.title = alarmTitle(a);
    switch (stateOf(a, now)) {
    case AlarmState::active:
    case AlarmState::activeDaily:
        r.emoji = a.dailyCheckpoint ? QStringLiteral("🔁") : QStringLiteral("⏰");
        r.subtitle = QStringLiteral("🕐  ") + a.timeString() + QStringLiteral("  ·  ") + count;
        r.accent = VF::accent();
        r.pct = 1;
        break;
    case AlarmState::paused:
        r.emoji = QStringLiteral("🔕");
        r.subtitle = QStringLiteral("⏸  off");
        r.accent = VF::muted();
        break;
    case AlarmState::done:
        r.emoji = QStringLiteral("✅");
        r.subtitle = QStringLiteral("✓  done");
        r.accent = VF::accentDim();
        break;
    case AlarmState::doneOff:
        r.emoji = QStringLiteral("✅");
        r.subtitle = QStringLiteral("⏸  off");
        r.accent = VF::accentDim();
        break;
    }
    return r;
}

AlarmLook alarmLook(const CustomReminder &a, const QDateTime &now) {
    switch (stateOf(a, now)) {
    case AlarmState::done:
    case AlarmState::doneOff:
        return {QStringLiteral("✅"), VF::accentDim(),
                QStringLiteral("✓  ") + L::t({.en = "DONE",
                                              .es = "HECHO",
                                              .de = "ERLEDIGT",
                                              .fr = "TERMINÉ",
                                              .uk = "ВИКОНАНО",
                                              .pl = "GOTOWE"}),
                VF::accent()};
    case AlarmState::paused:
        return {QStringLiteral("🔕"), VF::muted(),
                QStringLiteral("⏸  ") + L::t({.en = "PAUSED",
                                                .es = "EN PAUSA",
                                                .de = "PAUSIERT",
                                                .fr = "EN PAUSE",
                                                .uk = "ПРИЗУПИНЕНО",
                                                .pl = "WSTRZYMANY"}),
                VF::muted()};
    case AlarmState::activeDaily:
        return {QStringLiteral("🔁"), VF::accent(),
                QStringLiteral("🔁  ") + L::t({.en = "ACTIVE · DAILY",
                                              .es = "ACTIVA · DIARIA",
                                              .de = "AKTIV · TÄGLICH",
                                              .fr = "ACTIVE · QUOTIDIENNE",
                                              .uk = "АКТИВНЕ · ЩОДНЯ",
                                              .pl = "AKTYWNY · CODZIENNIE"}),
                VF::accent()};
    case AlarmState::active:
        break;
    }
    return {QStringLiteral("⏰"), VF::accent(),
            QStringLiteral("⏰  ") + L::t({.en = "ACTIVE",
                                          .es = "ACTIVA",
                                          .de = "AKTIV",
                                          .fr = "ACTIVE",
                                          .uk = "АКТИВНЕ",
                                          .pl = "AKTYWNY"}),
            VF::accent()};
}

QString alarmTimeText(const CustomReminder &a) {
    QString s = a.timeString();
    if (a.hasStartDate())
        s += QStringLiteral("   ·   📅 ") + a.dateLabel();
    else
        s += QStringLiteral("   ·   ") + everyDay();
    if (a.dailyCheckpoint) s += QStringLiteral("   🔁");
    return s;
}

Countdown healthCountdown(bool on, double remaining, const QColor &accent) {
    if (!on) return {QStringLiteral("⏸  Off"), accent};
    const QColor red = QColor::fromRgbF(1.0f, 0.4f, 0.4f, 1.0f);
    if (remaining < 0) return {QStringLiteral("⏳  Starting…"), red};
    return {QStringLiteral("⏱  Next in  ") + mmss(remaining), remaining < 60 ? red : accent};
}

QString trimSpacesTabs(const QString &s) {
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

std::optional<qint64> parseWholeNumber(const QString &text) {
    const QString s = trimSpacesTabs(text);
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) {
        negative = s[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= s.size()) return std::nullopt;
    // Magnitudes up to 2^63 are accepted so that the most negative value parses too.
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    quint64 v = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt; // ASCII digits only: no "٣" or "３"
        const quint64 d = quint64(c - u'0');
        if (v > (limit - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    if (negative)
        return v == quint64(std::numeric_limits<qint64>::max()) + 1 ? std::numeric_limits<qint64>::min()
                                                                    : -qint64(v);
    return qint64(v);
}

StartDateInput parseStartDate(const QString &dayText, const QString &monthText, const QString &yearText) {
    const QString day = trimSpacesTabs(dayText), month = trimSpacesTabs(monthText);
    if (day.isEmpty()) return {month.isEmpty(), {}, {}, {}};
    const auto d = parseWholeNumber(day), m = parseWholeNumber(month), y = parseWholeNumber(yearText);
    if (!d || !m || !y) return {};
    // No check of the month's length (31 February runs on into March), but a year past 9999 has no
    // calendar date and would overflow the day arithmetic.
    if (*d < 1 || *d > 31 || *m < 1 || *m > 12 || *y < kMinYear || *y > kMaxYear) return {};
    return {true, d, m, y};
}

CustomReminder newAlarm(int hour, int minute, const QString &text, const StartDateInput &date,
                        bool checkpoint) {
    CustomReminder r;
    r.hour = hour;
    r.minute = minute;
    r.text = trimSpacesTabs(text);
    r.enabled = true;
    if (date.valid && date.day) {
        r.startDay = date.day;
        r.startMonth = date.month;
        r.startYear = date.year;
    }
    r.dailyCheckpoint = checkpoint;
    r.done = false;
    r.dailyTarget = 1;
    r.shownCount = 0;
    r.shownDate.clear();
    return r;
}
} // namespace AlarmsRows
