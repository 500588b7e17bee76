#include "platform/Clock.h"

#include <QElapsedTimer>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {
Clock *g_clock = nullptr;

const QDateTime &refEpoch() {
    static const QDateTime e(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return e;
}

// A repeating ticker keeps to its schedule: each wait is measured from the tick's due time on a
// monotonic clock, not from when the previous tick was handled, so the lateness of one tick (a busy
// main thread, the event loop's own delay) never adds up. A tick that falls far behind (the thread
// was blocked for longer than an interval) is dropped, and the next one keeps the original phase.
// QTimer holds at most INT_MAX milliseconds; longer waits are done in legs.
class SystemTicker : public Ticker {
public:
    explicit SystemTicker(QObject *parent) : Ticker(parent) {
        timer_.setSingleShot(true);
        // Precise: a coarse timer may fire up to 5 % early or late, which would shift every tick.
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { onFire(); });
    }
    void start(qint64 ms) override {
        interval_ = std::max<qint64>(0, ms);
        mono_.start();
        due_ = interval_;
        arm();
    }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    void arm() { timer_.start(TickSchedule::waitMs(due_, mono_.elapsed())); }
    void onFire() {
        const qint64 now = mono_.elapsed();
        if (now < due_) { // a leg of a long wait, or a wake-up a little early
            arm();
            return;
        }
        if (!singleShot_) {
            due_ = TickSchedule::nextDue(due_, interval_, now);
            arm();
        }
        emit timeout();
    }
    QTimer timer_;
    QElapsedTimer mono_;
    qint64 due_ = 0; // milliseconds after start() on mono_
};
} // namespace

qint64 TickSchedule::nextDue(qint64 due, qint64 interval, qint64 now) {
    due += interval;
    if (interval > 0 && due <= now) due += ((now - due) / interval + 1) * interval;
    return due;
}

int TickSchedule::waitMs(qint64 due, qint64 now) {
    return int(std::clamp<qint64>(due - now, 0, std::numeric_limits<int>::max()));
}

double Clock::toRefSeconds(const QDateTime &t) {
    return double(refEpoch().msecsTo(t)) / 1000.0;
}

QDateTime Clock::fromRefSeconds(double s) {
    if (!std::isfinite(s)) s = 0;
    s = std::clamp(s, -1e13, 1e13);
    return refEpoch().addMSecs(qint64(std::llround(s * 1000.0))).toLocalTime();
}

Clock &Clock::get() {
    if (g_clock) return *g_clock;
    static SystemClock sys;
    return sys;
}

void Clock::install(Clock *clock) {
    g_clock = clock;
}

Ticker *SystemClock::makeTicker(QObject *parent) {
    return new SystemTicker(parent);
}
