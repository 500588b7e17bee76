#pragma once
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Median wall time of fn over runs runs, in milliseconds.
inline double medianMs(const std::function<void()> &fn, int runs = 15) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        fn();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

inline void report(const char *what, double ms) {
    std::printf("  %-60s %8.2f ms\n", what, ms);
}

// The longest stretch the window's thread spent between its first event after a wait and its next
// wait: the events it delivered (paints included) and whatever blocked it meanwhile.
class MeteredApp : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override {
        // Only the window's thread: an event a worker sends itself (a document moved to it) would
        // start a stretch that runs on while the window's thread waits.
        if (!busy_ && metering_ && QThread::currentThread() == thread()) {
            busy_ = true;
            clock_.start();
        }
        return QApplication::notify(receiver, event);
    }
    void startMetering() {
        if (metering_) return;
        metering_ = true;
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (busy_) {
                const double ms = double(clock_.nsecsElapsed()) / 1e6;
                longest_ = std::max(longest_, ms);
                if (ms >= 8) long_.push_back(ms);
            }
            busy_ = false;
        });
    }
    void reset() {
        longest_ = 0;
        busy_ = false;
        long_.clear();
    }
    double longest() const { return longest_; }
    // The stretches of 8 ms or more since the last reset, in order.
    const std::vector<double> &longStretches() const { return long_; }

private:
    QElapsedTimer clock_;
    bool metering_ = false, busy_ = false;
    double longest_ = 0;
    std::vector<double> long_;
};

inline void runLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs fn from the event loop, as a click would, waits for ready (at most 120 s) and then for
// settleMs more, and gives the longest stretch of the window's thread meanwhile.
inline double meteredStep(MeteredApp &meter, const std::function<void()> &fn,
                          const std::function<bool()> &ready = {}, int settleMs = 300) {
    runLoop(150);
    meter.reset();
    QTimer::singleShot(0, fn);
    QElapsedTimer t;
    t.start();
    runLoop(30);
    while (ready && !ready() && t.elapsed() < 120000)
        runLoop(10);
    runLoop(settleMs);
    return meter.longest();
}
