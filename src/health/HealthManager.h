#pragma once
#include "health/HReminder.h"
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <map>

class Ticker;

// The four interval health reminders. Each one that is switched on shows its banner (and "Pop", when
// both the global and its own sound switch allow) every interval, counts how often it was shown today,
// stops when the machine sleeps and starts a fresh, staggered interval on waking. Settings and counts
// live in the preferences domain; the engine keeps only its timers and next fire times.
//
// Stored intervals are read defensively: absent, zero, negative or non-finite means the default, and
// anything below one minute acts as one minute (a stray 0.001 would otherwise flood the screen).
// The stored value itself is never rewritten by reading it.
class HealthManager : public QObject {
    Q_OBJECT
public:
    // Created on first use; creation starts every reminder that is on and the one-second redraw beat.
    static HealthManager &shared();
    // Tests: destroys the engine so the next shared() builds a fresh one on the current clock and prefs.
    static void resetShared();

    // Water, eyes, posture, stretch, built afresh in the current language.
    std::vector<HReminder> list() const;

    // The interval in effect, in minutes.
    double mins(const HReminder &r) const;
    void setMins(double minutes, const HReminder &r);

    // Stops the reminder and, when it is on, starts it again: first fire after one interval plus
    // startOffset seconds, then every interval.
    void restart(const HReminder &r, double startOffset);
    void stop(const HReminder &r);

    bool isOn(const HReminder &r) const;
    void setOn(bool on, const HReminder &r);
    bool isSoundOn(const HReminder &r) const;
    void setSoundOn(bool on, const HReminder &r);

    int dailyTarget(const HReminder &r) const;
    void setDailyTarget(int n, const HReminder &r);
    int shownToday(const HReminder &r) const;
    QString todayCountString(const HReminder &r) const;

    // Seconds to the next fire, not below 0; -1 when the reminder is not running.
    double remaining(const HReminder &r) const;

    void broadcast();

    static constexpr double kMinMins = 1;
    static constexpr double kMaxMins = 366.0 * 24 * 60; // keeps millisecond maths far from overflow
    static constexpr double kStaggerSecs = 15;

private:
    HealthManager();
    void startStaggered();
    void onTick(const QString &key);
    void fire(const HReminder &r, qint64 intervalMs);
    void incrementShown(const HReminder &r);
    void onSleep();
    void onWake();
    void onLangChange();

    // One timer per reminder, reused: single-shot while waiting for the first fire, then repeating.
    struct Slot {
        Ticker *ticker = nullptr;
        HReminder r; // as it was at the last restart: banners keep that language
        qint64 intervalMs = 0;
        quint64 generation = 0;
    };
    std::map<QString, Slot> slots_;
    QHash<QString, QDateTime> nextFire_;
    Ticker *uiTimer_ = nullptr;
};
