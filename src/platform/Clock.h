#pragma once
#include <QDate>
#include <QDateTime>
#include <QObject>
#include <vector>

class Ticker;

// The one source of "now" and of timers for engines. The app runs on SystemClock; tests install a
// clock of their own and move time by hand, so days and hours pass without sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // A timer owned by parent that fires on this clock's time.
    virtual Ticker *makeTicker(QObject *parent) = 0;

    QDate today() const { return now().date(); }
    // Seconds since 1 January 2001 00:00 UTC, the reference of every stored time stamp.
    double refSeconds() const { return toRefSeconds(now()); }
    static double toRefSeconds(const QDateTime &t);
    static QDateTime fromRefSeconds(double s);

    static Clock &get();
    static void install(Clock *clock); // takes no ownership; nullptr returns to the system clock
};

// A timer on a Clock. Intervals are milliseconds and may exceed what one QTimer can hold.
class Ticker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void start(qint64 intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    void setSingleShot(bool s) { singleShot_ = s; }
    bool isSingleShot() const { return singleShot_; }
    void setPrecise(bool p) { precise_ = p; }
    qint64 interval() const { return interval_; }

signals:
    void timeout();

protected:
    bool singleShot_ = false;
    bool precise_ = false;
    qint64 interval_ = 0;
};

// The real ticker's schedule, worked out without a clock: times are milliseconds since start() on a
// monotonic clock. A repeating tick aims at start + k × interval, whatever time each tick is
// handled: lateness never adds up, ticks missed while the thread was blocked come as one, and the
// next keeps the phase.
namespace TickSchedule {
// The due time after a tick that was due at `due` and is handled at `now` (>= due).
qint64 nextDue(qint64 due, qint64 interval, qint64 now);
// What to arm the timer with at `now` for a tick due at `due`: never negative, at most what one
// QTimer holds (a longer wait is done in legs, each re-armed from the clock).
int waitMs(qint64 due, qint64 now);
} // namespace TickSchedule

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    Ticker *makeTicker(QObject *parent) override;
};
