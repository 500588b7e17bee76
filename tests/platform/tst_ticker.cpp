#include "common/TestEnv.h"
#include "platform/Clock.h"
#include <QElapsedTimer>
#include <QtTest>

// The real ticker against wall time: a repeating tick stays on its schedule however late each
// tick is handled.
class TstTicker : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }

    void repeatingTickKeepsToItsSchedule_data() {
        QTest::addColumn<int>("busyMs");
        QTest::newRow("idle loop") << 0;
        QTest::newRow("each tick keeps the thread busy 12 ms") << 12;
    }
    void repeatingTickKeepsToItsSchedule() {
        QFETCH(int, busyMs);
        constexpr int kInterval = 100, kTicks = 30;
        QObject owner;
        Ticker *t = SystemClock().makeTicker(&owner);
        QElapsedTimer wall;
        QList<qint64> at;
        QObject::connect(t, &Ticker::timeout, &owner, [&] {
            at << wall.elapsed();
            QElapsedTimer busy;
            busy.start();
            while (busy.elapsed() < busyMs) {
            }
            if (at.size() == kTicks) t->stop();
        });
        wall.start();
        t->start(kInterval);
        QTRY_COMPARE_WITH_TIMEOUT(at.size(), kTicks, 10000);
        for (int i = 0; i < kTicks; ++i)
            QVERIFY2(at[i] >= (i + 1) * kInterval - 1,
                     qPrintable(QStringLiteral("tick %1 came early at %2 ms").arg(i).arg(at[i])));
        // Re-arming from the handler would put the last tick at least kTicks × busyMs late.
        const qint64 drift = at.last() - kTicks * kInterval;
        QVERIFY2(drift < 20,
                 qPrintable(QStringLiteral("drift after %1 ticks: %2 ms").arg(kTicks).arg(drift)));
        QVERIFY(!t->isActive());
    }

    void blockedThreadMergesMissedTicksAndKeepsThePhase() {
        QObject owner;
        Ticker *t = SystemClock().makeTicker(&owner);
        QElapsedTimer wall;
        QList<qint64> at;
        QObject::connect(t, &Ticker::timeout, &owner, [&] {
            at << wall.elapsed();
            if (at.size() == 1) QTest::qSleep(260); // blocks past the 2nd and 3rd due times
        });
        wall.start();
        t->start(100);
        QTRY_COMPARE_WITH_TIMEOUT(at.size(), 3, 5000);
        t->stop();
        // The missed ticks at 200 and 300 ms come as one, as soon as the thread is free; the next
        // keeps the 100 ms phase.
        QVERIFY2(at[1] >= 359 && at[1] < 399, qPrintable(QString::number(at[1])));
        QVERIFY2(at[2] >= 399 && at[2] < 420, qPrintable(QString::number(at[2])));
    }

    void singleShotFiresOnce() {
        QObject owner;
        Ticker *t = SystemClock().makeTicker(&owner);
        t->setSingleShot(true);
        int fired = 0;
        QObject::connect(t, &Ticker::timeout, &owner, [&] { ++fired; });
        t->start(20);
        QTRY_COMPARE(fired, 1);
        QTest::qWait(80);
        QCOMPARE(fired, 1);
        QVERIFY(!t->isActive());
    }
};

QTEST_MAIN(TstTicker)
#include "tst_ticker.moc"
