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

class FakeTicker : public Ticker {
public:
    FakeTicker(FakeClock *clock, QObject *parent) : Ticker(parent), clock_(clock) {
        clock_->tickers_.push_back(this);
    }
    ~FakeTicker() override {
        if (clock_) {
            auto &v = clock_->tickers_;
            v.erase(std::remove(v.begin(), v.end(), this), v.end());
        }
    }
    void start(qint64 ms) override {
        interval_ = std::max<qint64>(1, ms);
        due_ = clock_->now_.addMSecs(interval_);
        active_ = true;
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }

    FakeClock *clock_;
    QDateTime due_;
    bool active_ = false;
};

FakeClock::FakeClock(const QDateTime &start) : now_(start) {}

FakeClock::~FakeClock() {
    for (auto *t : tickers_) t->clock_ = nullptr;
}

Ticker *FakeClock::makeTicker(QObject *parent) { return new FakeTicker(this, parent); }

int FakeClock::activeTickers() const {
    return int(std::count_if(tickers_.begin(), tickers_.end(), [](auto *t) { return t->active_; }));
}

void FakeClock::advance(double seconds) { advanceMs(qint64(std::llround(seconds * 1000.0))); }

void FakeClock::advanceMs(qint64 ms) {
    const QDateTime end = now_.addMSecs(ms);
    for (;;) {
        FakeTicker *next = nullptr;
        for (auto *t : tickers_)
            if (t->active_ && t->due_ <= end && (!next || t->due_ < next->due_)) next = t;
        if (!next) break;
        now_ = next->due_;
        if (next->isSingleShot())
            next->active_ = false;
        else
            next->due_ = now_.addMSecs(next->interval());
        emit next->timeout(); // may start, stop or delete tickers
    }
    now_ = end;
}
