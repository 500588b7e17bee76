#include "common/Fakes.h"
#include <QTest>
#include <algorithm>
#include <cmath>

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

int ScriptedDialogs::alert(QWidget *, const Alert &a) {
    if (!fills.isEmpty()) fills.takeFirst()(a);
    alertsShown << a.title + QLatin1Char('|') + a.text;
    return alertAnswers.isEmpty() ? 0 : alertAnswers.takeFirst();
}

bool ScriptedDialogs::waitForAlertsAfter(qsizetype before) {
    return QTest::qWaitFor([&] { return alertsShown.size() > before; }, 20000);
}

QString ScriptedDialogs::savePath(QWidget *, const QString &, const QString &name, const QStringList &) {
    proposed << name;
    return savePaths.isEmpty() ? QString() : savePaths.takeFirst();
}

QString ScriptedDialogs::openPath(QWidget *, const QString &, const QStringList &) {
    return openPathAnswers.isEmpty() ? QString() : openPathAnswers.takeFirst();
}

QStringList ScriptedDialogs::openPaths(QWidget *, const QString &, const QStringList &) {
    return openManyAnswers.isEmpty() ? QStringList() : openManyAnswers.takeFirst();
}
