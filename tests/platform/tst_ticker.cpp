#include "common/TestEnv.h"
#include "platform/Clock.h"
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>
#include <limits>

// The real ticker aims at the wall clock: a repeating tick is due at start + k × interval however
// late each tick is handled. The rule is checked on its own, with made-up handling times; the real
// ticker is checked only for what load cannot change (no tick early, a single shot fires once).
// How far it drifts on a real loop is a measurement: bench/bench_tick_drift.
class TstTicker : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }

    void nextDueKeepsThePhase_data() {
        QTest::addColumn<qint64>("due");
        QTest::addColumn<qint64>("interval");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<qint64>("next");
        QTest::newRow("on time") << qint64(100) << qint64(100) << qint64(100) << qint64(200);
        QTest::newRow("handled 12 ms late") << qint64(100) << qint64(100) << qint64(112) << qint64(200);
        QTest::newRow("handled just before the next")
            << qint64(100) << qint64(100) << qint64(199) << qint64(200);
        QTest::newRow("the next already due: merged")
            << qint64(100) << qint64(100) << qint64(200) << qint64(300);
        QTest::newRow("blocked 260 ms: 200 and 300 merged")
            << qint64(100) << qint64(100) << qint64(360) << qint64(400);
        QTest::newRow("a minute late on a 1 s tick")
            << qint64(5000) << qint64(1000) << qint64(65500) << qint64(66000);
        QTest::newRow("no interval") << qint64(5) << qint64(0) << qint64(9) << qint64(5);
    }
    void nextDueKeepsThePhase() {
        QFETCH(qint64, due);
        QFETCH(qint64, interval);
        QFETCH(qint64, now);
        QFETCH(qint64, next);
        QCOMPARE(TickSchedule::nextDue(due, interval, now), next);
    }

    void waitIsFromTheClockNotFromTheLastTick() {
        QCOMPARE(TickSchedule::waitMs(200, 150), 50);
        QCOMPARE(TickSchedule::waitMs(200, 200), 0);
        QCOMPARE(TickSchedule::waitMs(200, 260), 0); // late: at once
        // Longer than one QTimer holds: a leg, re-armed from the clock when it ends.
        QCOMPARE(TickSchedule::waitMs(qint64(3) << 31, 0), std::numeric_limits<int>::max());
    }

    // However long each tick takes to be handled, the next is due on the grid start + k × interval,
    // after the moment it was handled; handling shorter than an interval skips nothing, so the k-th
    // tick is due at exactly k × interval (re-arming from the handler would add up the lateness).
    void lateHandlingNeverAddsUp() {
        QRandomGenerator rng(20261207);
        for (qint64 interval : {33, 100, 1000}) {
            qint64 due = interval, now = 0, k = 1;
            for (int i = 0; i < 2000; ++i) {
                const bool blocked = rng.bounded(10) == 0; // now and then longer than an interval
                now = std::max(now, due) + qint64(rng.bounded(int(blocked ? 3 * interval : interval)));
                const qint64 next = TickSchedule::nextDue(due, interval, now);
                QVERIFY(next > now);
                QCOMPARE(next % interval, 0);
                k = next <= due + interval ? k + 1 : next / interval;
                QCOMPARE(next, k * interval);
                if (now < due + interval) QCOMPARE(next, due + interval);
                due = next;
            }
        }
    }

    void realTicksNeverComeEarly() {
        constexpr int kInterval = 50, kTicks = 10;
        QObject owner;
        Ticker *t = SystemClock().makeTicker(&owner);
        QElapsedTimer wall;
        QList<qint64> at;
        QObject::connect(t, &Ticker::timeout, &owner, [&] {
            at << wall.elapsed();
            if (at.size() == 1) QTest::qSleep(3 * kInterval); // the thread blocked past two due times
            if (at.size() == kTicks) t->stop();
        });
        wall.start();
        t->start(kInterval);
        QTRY_COMPARE_WITH_TIMEOUT(at.size(), kTicks, 30000);
        QVERIFY(!t->isActive());
        // After the block the missed ticks come as one and the next keeps the phase: from the
        // second tick on, tick i is not before (i + 3) × interval.
        for (int i = 0; i < kTicks; ++i) {
            const qint64 notBefore = (i == 0 ? 1 : i + 3) * kInterval - 1;
            QVERIFY2(at[i] >= notBefore,
                     qPrintable(QStringLiteral("tick %1 came early at %2 ms").arg(i).arg(at[i])));
        }
    }

    void singleShotFiresOnce() {
        QObject owner;
        Ticker *t = SystemClock().makeTicker(&owner);
        t->setSingleShot(true);
        int fired = 0;
        QObject::connect(t, &Ticker::timeout, &owner, [&] { ++fired; });
        t->start(20);
        QTRY_COMPARE(fired, 1);
        QVERIFY(!t->isActive()); // nothing armed: it cannot fire again
        QCoreApplication::processEvents();
        QCOMPARE(fired, 1);
    }
};

QTEST_MAIN(TstTicker)
#include "tst_ticker.moc"
