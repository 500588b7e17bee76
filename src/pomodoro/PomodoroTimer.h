#pragma once
#include "pomodoro/Phase.h"
#include <QDate>
#include <QObject>

class Ticker;

// Where a timer stands: the phase, the focus phases counted so far and the time left.
struct TimerPosition {
    Phase phase = Phase::work;
    qint64 cycleCount = 0;
    double total = 0;
    double remaining = 0;
    qint64 phasesEnded = 0; // phases that ended while replaying (for callers that want to know)
};

// The phase lengths in seconds and the rhythm, as read once from the settings.
struct PhaseLengths {
    double work = 1500, rest = 300, longRest = 900;
    qint64 cyclesBeforeLong = 4;
    double of(Phase p) const { return p == Phase::work ? work : p == Phase::rest ? rest : longRest; }
};

// The process-wide phase timer: focus phases, short and long breaks, counted down by a 1-second ticker
// from the Clock. It posts pomodoroChanged on every change and every running second, keeps the day
// counters and the streak, and writes its state so that a restart finds it where it would have been
// had the program kept running. Settings are never cached: every read goes to the preferences, and a
// phase that is under way keeps its length until it ends or the settings are applied.
class PomodoroTimer : public QObject {
    Q_OBJECT
public:
    // Restores the saved state (catching up on the time away when it was running); paused afterwards.
    explicit PomodoroTimer(QObject *parent = nullptr);
    ~PomodoroTimer() override;
    static PomodoroTimer &shared();

    Phase phase() const { return phase_; }
    double remaining() const { return remaining_; }
    double total() const { return total_; }
    bool isRunning() const { return isRunning_; }
    qint64 cycleCount() const { return cycleCount_; }

    // Settings. Minutes that are not above zero, not finite or absurd read as the phase's default.
    double workMins() const { return minutesFor(Phase::work); }
    double breakMins() const { return minutesFor(Phase::rest); }
    double longBreakMins() const { return minutesFor(Phase::longRest); }
    void setWorkMins(double m);
    void setBreakMins(double m);
    void setLongBreakMins(double m);
    qint64 cyclesBeforeLong() const;
    void setCyclesBeforeLong(qint64 n);
    qint64 dailyGoal() const;
    void setDailyGoal(qint64 n);
    bool soundEnabled() const; // missing or not a Boolean: on
    void setSoundEnabled(bool on);
    bool notificationsEnabled() const; // missing or not a Boolean: on
    void setNotificationsEnabled(bool on);
    double minutesFor(Phase p) const;
    double durationFor(Phase p) const; // seconds
    PhaseLengths lengths() const;

    void start();              // nothing when already running
    void pause();              // posts and saves even when already paused
    void reset();              // fresh focus phase, cycle count 0, paused
    void advance(bool notify); // ends the phase now; notify only when it ended by itself
    void skip() { advance(false); }
    void applyNewSettings();     // fresh focus phase with the current lengths, run state kept
    void switchToPhase(Phase p); // phase p at its full length, run state kept

    double progress() const;
    // Progress for a ring redrawn many times a second: the remaining time plus the part of the current
    // second that has gone by, so ring and countdown always agree.
    double smoothProgress() const;

    qint64 todayCount() const;     // 0 unless the last counted day is today
    qint64 focusSecsToday() const; // likewise
    qint64 totalCount() const;
    qint64 streak() const;

    void saveState();

    // The counters' day form: year, month and day without leading zeros, joined by "-".
    static QString dayString(const QDate &d);
    // Plays elapsed seconds through the phases from pos, as if the timer had run all along, without
    // counting anything but the cycle count. Whole cycles are skipped arithmetically.
    static TimerPosition replay(TimerPosition pos, double elapsed, const PhaseLengths &len);

    static constexpr double kMinMinutes = 1e-6; // below this a stored length is taken as damaged
    static constexpr double kMaxMinutes = 1e6;  // above this likewise (about two years)

private:
    void loadState();
    void tick();
    void scheduleTicker();
    void post();
    QDate today() const;

    Phase phase_ = Phase::work;
    double remaining_ = 0;
    double total_ = 0;
    bool isRunning_ = false;
    qint64 cycleCount_ = 0;
    Ticker *ticker_ = nullptr;
    double lastTickAt_ = 0; // reference seconds of the last tick or start
};
