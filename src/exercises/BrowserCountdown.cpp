#include "exercises/BrowserCountdown.h"

#include "platform/Clock.h"
#include <algorithm>

BrowserCountdown::BrowserCountdown(QObject *parent) : QObject(parent) {
    ticker_ = Clock::get().makeTicker(this);
    connect(ticker_, &Ticker::timeout, this, [this] { tick(); });
}

QString BrowserCountdown::format(qint64 remaining) {
    const qint64 r = std::max<qint64>(remaining, 0);
    return QString::asprintf("⏱  %02lld:%02lld", static_cast<long long>(r / 60),
                             static_cast<long long>(r % 60));
}

void BrowserCountdown::start(qint64 seconds) {
    ticker_->stop();
    remaining_ = seconds;
    running_ = true;
    started_ = true;
    emit textChanged(format(remaining_));
    ticker_->start(1000);
}

void BrowserCountdown::stop() {
    ticker_->stop();
    running_ = false;
}

bool BrowserCountdown::isRunning() const {
    return running_;
}

void BrowserCountdown::tick() {
    if (!running_) return;
    --remaining_;
    emit textChanged(format(remaining_));
    if (remaining_ < 1) {
        stop();
        emit expired();
    }
}
