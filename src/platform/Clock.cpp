#include "platform/Clock.h"

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

// QTimer holds at most INT_MAX milliseconds; longer waits are done in legs.
class SystemTicker : public Ticker {
public:
    explicit SystemTicker(QObject *parent) : Ticker(parent) {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { onLeg(); });
    }
    void start(qint64 ms) override {
        interval_ = std::max<qint64>(0, ms);
        left_ = interval_;
        timer_.setTimerType(precise_ ? Qt::PreciseTimer : Qt::CoarseTimer);
        armLeg();
    }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    void armLeg() {
        const qint64 leg = std::min<qint64>(left_, std::numeric_limits<int>::max());
        left_ -= leg;
        timer_.start(int(leg));
    }
    void onLeg() {
        if (left_ > 0) {
            armLeg();
            return;
        }
        if (!singleShot_) {
            left_ = interval_;
            armLeg();
        }
        emit timeout();
    }
    QTimer timer_;
    qint64 left_ = 0;
};
} // namespace

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

void Clock::install(Clock *clock) { g_clock = clock; }

Ticker *SystemClock::makeTicker(QObject *parent) { return new SystemTicker(parent); }
