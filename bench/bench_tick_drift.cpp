// How far the real ticker drifts from wall time: 30 ticks of 100 ms with each tick's handler idle
// and busy 12 ms; the ticks around a thread blocked 260 ms; and a minute of 1-second ticks on an
// idle loop and with the main thread 12 % busy (each tick handled 120 ms late). The rule behind it
// (each tick aims at start + k × interval) is tested in tst_platform_ticker; these are the
// durations, which depend on the machine's load. Takes about two and a quarter real minutes.
#include "platform/Clock.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <cstdio>

namespace {
void busyFor(int ms) {
    QElapsedTimer busy;
    busy.start();
    while (busy.elapsed() < ms) {
    }
}

// When each of `ticks` ticks of `interval` ms came, with the handler busy `busyMs` (or, for the
// first tick only, `blockFirstMs`).
QList<qint64> tickTimes(QCoreApplication &app, int interval, int ticks, int busyMs, int blockFirstMs = 0) {
    QObject owner;
    Ticker *t = SystemClock().makeTicker(&owner);
    QElapsedTimer wall;
    QList<qint64> at;
    QObject::connect(t, &Ticker::timeout, &owner, [&] {
        at << wall.elapsed();
        busyFor(at.size() == 1 && blockFirstMs > 0 ? blockFirstMs : busyMs);
        if (at.size() == ticks) {
            t->stop();
            app.quit();
        }
    });
    wall.start();
    t->start(interval);
    app.exec();
    return at;
}

qint64 runMinute(QCoreApplication &app, int busyMs) {
    QObject owner;
    Ticker *t = SystemClock().makeTicker(&owner);
    QElapsedTimer wall;
    int ticks = 0;
    qint64 last = 0;
    QObject::connect(t, &Ticker::timeout, &owner, [&] {
        last = wall.elapsed();
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < busyMs) {
        }
        if (++ticks == 60) {
            t->stop();
            app.quit();
        }
    });
    wall.start();
    t->start(1000);
    app.exec();
    return last - 60000;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    for (int busy : {0, 12}) {
        const QList<qint64> at = tickTimes(app, 100, 30, busy);
        std::printf("30 ticks of 100 ms, handler busy %d ms: last tick %lld ms after 3 s\n", busy,
                    at.last() - 3000);
    }
    {
        const QList<qint64> at = tickTimes(app, 100, 3, 0, 260);
        std::printf("100 ms ticks, first handler blocks 260 ms: ticks at %lld, %lld, %lld ms "
                    "(due 100, then 200 and 300 merged, then 400)\n",
                    at[0], at[1], at[2]);
    }
    std::fflush(stdout);
    for (int busy : {0, 120}) {
        const qint64 drift = runMinute(app, busy);
        std::printf("60 ticks of 1 s, handler busy %d ms: last tick %lld ms after 60 s\n", busy, drift);
        std::fflush(stdout);
    }
    return 0;
}
