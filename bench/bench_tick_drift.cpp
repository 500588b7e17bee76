// How far the real 1-second ticker drifts from wall time over a minute, on an idle loop and with
// the main thread 12 % busy (each tick handled 120 ms late). Takes two real minutes.
#include "platform/Clock.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <cstdio>

namespace {
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
    for (int busy : {0, 120}) {
        const qint64 drift = runMinute(app, busy);
        std::printf("60 ticks of 1 s, handler busy %d ms: last tick %lld ms after 60 s\n", busy, drift);
        std::fflush(stdout);
    }
    return 0;
}
