// The timer after a restart: restored as written, and caught up on the time away when it was running.
#include "platform/Keys.h"
#include "common/TestEnv.h"
#include "common/Fakes.h"
#include "platform/Notifier.h"
#include "pomodoro/PomodoroTimer.h"
#include <QRandomGenerator>
#include <QtTest>
#include <tuple>

namespace {
const QDateTime kNow(QDate(2026, 2, 10), QTime(14, 0));

// The replay exactly as the stored format was designed: one pass per phase. The engine must reach the
// same end state without stepping through every phase.
TimerPosition replayPhaseByPhase(TimerPosition pos, double e, const PhaseLengths &len) {
    while (e > 0) {
        if (e < pos.remaining) {
            pos.remaining -= e;
            break;
        }
        e -= pos.remaining;
        if (pos.phase == Phase::work) {
            ++pos.cycleCount;
            pos.phase = pos.cycleCount % len.cyclesBeforeLong == 0 ? Phase::longRest : Phase::rest;
        } else {
            pos.phase = Phase::work;
        }
        ++pos.phasesEnded;
        pos.total = pos.remaining = len.of(pos.phase);
    }
    return pos;
}

void writeState(Prefs &p, const QString &phase, double remaining, bool running, qint64 cycles,
                double agoSecs) {
    p.setString(kPhase, phase);
    p.setDouble(kRemaining, remaining);
    p.setBool(kWasRunning, running);
    p.setInt(kCycleCount, cycles);
    p.setDouble(kTimestamp, Clock::toRefSeconds(kNow) - agoSecs);
}
} // namespace

class TimerCatchUpTest : public QObject {
    Q_OBJECT
private slots:
    void restoredState_data() {
        QTest::addColumn<QString>("phase");
        QTest::addColumn<double>("remaining");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("cycles");
        QTest::addColumn<double>("ago");
        QTest::addColumn<QString>("expPhase");
        QTest::addColumn<double>("expTotal");
        QTest::addColumn<double>("expRemaining");
        QTest::addColumn<int>("expCycles");
        QTest::newRow("focus ends into the long break")
            << "work" << 600.0 << true << 3 << 900.0 << "longRest" << 900.0 << 600.0 << 4;
        QTest::newRow("break used up exactly")
            << "work" << 600.0 << true << 0 << 900.0 << "work" << 1500.0 << 1500.0 << 1;
        QTest::newRow("paused: as written")
            << "rest" << 412.5 << false << 2 << 5000.0 << "rest" << 300.0 << 412.5 << 2;
        QTest::newRow("unknown phase")
            << "pause" << 100.0 << false << 0 << 0.0 << "work" << 1500.0 << 100.0 << 0;
        QTest::newRow("no remaining time")
            << "longRest" << 0.0 << false << 0 << 0.0 << "longRest" << 900.0 << 900.0 << 0;
        QTest::newRow("clock set back")
            << "work" << 600.0 << true << 1 << -3600.0 << "work" << 1500.0 << 600.0 << 1;
        QTest::newRow("longer than the phase stays")
            << "rest" << 7000.0 << true << 1 << 1000.0 << "rest" << 300.0 << 6000.0 << 1;
    }
    void restoredState() {
        QFETCH(QString, phase);
        QFETCH(double, remaining);
        QFETCH(bool, running);
        QFETCH(int, cycles);
        QFETCH(double, ago);
        TempPrefs temp;
        TestClock clock(kNow);
        RecordingBanners banners;
        RecordingSound sound;
        writeState(temp.prefs(), phase, remaining, running, cycles, ago);
        temp.prefs().setString(kPomLastDate, QStringLiteral("2026-2-9"));
        temp.prefs().setInt(kPomTodayCount, 3);
        const double stamp = temp.prefs().doubleValue(kTimestamp);
        QObject ctx;
        int posts = 0;
        Notifier::get().observe(QLatin1String(Notify::pomodoroChanged), &ctx, [&](QObject *) { ++posts; });

        PomodoroTimer t;
        QTEST(Phases::rawValue(t.phase()), "expPhase");
        QTEST(t.total(), "expTotal");
        QTEST(t.remaining(), "expRemaining");
        QTEST(int(t.cycleCount()), "expCycles");
        QVERIFY(!t.isRunning());
        // The replay counts nothing, announces nothing and writes nothing.
        QCOMPARE(temp.prefs().integer(kPomTodayCount), 3);
        QVERIFY(!temp.prefs().contains(kPomTotalCount));
        QCOMPARE(temp.prefs().doubleValue(kTimestamp), stamp);
        QCOMPARE(posts, 0);
        QVERIFY(banners.shown.isEmpty() && sound.played.isEmpty());

        // After launch it always runs, from where it was restored.
        const double before = t.remaining();
        t.start();
        clock.advance(2);
        QCOMPARE(t.remaining(), before - 2);
    }

    void aDayAwayReplaysAboutEightyEightPhases() {
        TempPrefs temp;
        TestClock clock(kNow);
        writeState(temp.prefs(), QStringLiteral("work"), 1500, true, 0, 24 * 3600);
        PomodoroTimer t;
        // 11 cycles of 130 minutes (88 phases), then 600 of the next focus phase's 1500 seconds.
        QCOMPARE(t.cycleCount(), 44);
        QCOMPARE(t.remaining(), 900.0);
        const auto pos = PomodoroTimer::replay({Phase::work, 0, 1500, 1500, 0}, 86400, PhaseLengths{});
        QCOMPARE(pos.phasesEnded, 88);
        QVERIFY(!temp.prefs().contains(kPomTodayCount));
    }

    // Whole cycles are skipped by arithmetic; the end state must be the one a phase-by-phase replay
    // reaches, from any phase, count (negative ones included) and time away, exact boundaries too.
    void skippingCyclesMatchesThePhaseByPhaseReplay() {
        QRandomGenerator rng(20260105);
        for (int i = 0; i < 20000; ++i) {
            PhaseLengths len;
            len.work = rng.bounded(1, 120);
            len.rest = rng.bounded(1, 60);
            len.longRest = rng.bounded(1, 200);
            len.cyclesBeforeLong = rng.bounded(1, 7);
            TimerPosition start;
            start.phase = Phase(rng.bounded(3));
            start.cycleCount = rng.bounded(-9, 30);
            start.total = len.of(start.phase);
            start.remaining = rng.bounded(1, 400) / 2.0;
            const double cycle = len.cyclesBeforeLong * (len.work + len.rest) - len.rest + len.longRest;
            double e = rng.bounded(0, int(cycle * 9)) / 2.0;
            if (i % 3 == 0) e = start.remaining + cycle * rng.bounded(0, 5) + len.work; // on a boundary
            const auto fast = PomodoroTimer::replay(start, e, len);
            const auto slow = replayPhaseByPhase(start, e, len);
            const QString where = QStringLiteral("case %1, elapsed %2").arg(i).arg(e);
            QVERIFY2(std::tie(fast.phase, fast.cycleCount, fast.remaining, fast.total, fast.phasesEnded) ==
                         std::tie(slow.phase, slow.cycleCount, slow.remaining, slow.total, slow.phasesEnded),
                     qPrintable(where));
        }
    }

    // A long absence with very short phases must not hold up the start.
    void longAbsencesWithTinyPhasesStartAtOnce_data() {
        QTest::addColumn<double>("minutes");
        QTest::addColumn<double>("ago");
        QTest::newRow("a year, 0.01-minute phases") << 0.01 << 365 * 86400.0;
        QTest::newRow("ten years, 1e-6-minute phases") << 1e-6 << 3652 * 86400.0;
        QTest::newRow("since 2001, tiny stamp") << 0.01 << -1.0;
    }
    void longAbsencesWithTinyPhasesStartAtOnce() {
        QFETCH(double, minutes);
        QFETCH(double, ago);
        TempPrefs temp;
        TestClock clock(kNow);
        for (const char *k : {kWorkMins, kBreakMins, kLongBreakMins})
            temp.prefs().setDouble(k, minutes);
        writeState(temp.prefs(), QStringLiteral("work"), 1, true, 0, ago);
        if (ago < 0) temp.prefs().setDouble(kTimestamp, 1e-9);
        QElapsedTimer el;
        el.start();
        PomodoroTimer t;
        QVERIFY(el.elapsed() < 1000);
        // Eight phases of equal length make one cycle of four focus phases.
        const double away = Clock::toRefSeconds(kNow) - temp.prefs().doubleValue(kTimestamp) - 1;
        const double expected = away / (minutes * 60 * 8) * 4 + 1;
        QVERIFY2(qAbs(double(t.cycleCount()) - expected) < expected * 1e-9 + 8,
                 qPrintable(QStringLiteral("%1 vs %2").arg(t.cycleCount()).arg(expected)));
        QVERIFY(t.remaining() > 0 && t.remaining() <= minutes * 60);
    }

    // What the quit path writes, a restart reads: the countdown stands where it would have stood.
    void quitAndRestartCatchesUp() {
        TempPrefs temp;
        TestClock clock(kNow);
        {
            PomodoroTimer t;
            t.start();
            clock.advance(900); // 600 s left in the first focus phase
            t.skip();           // into a break (counted)
            clock.advance(100);
            t.saveState();
            QVERIFY(temp.prefs().flush());
        }
        temp.reopen();
        clock.advance(200 + 1500 + 60); // the break ends, a focus phase ends, 60 s into the next break
        PomodoroTimer t;
        QCOMPARE(t.phase(), Phase::rest);
        QCOMPARE(t.cycleCount(), 2);
        QCOMPARE(t.remaining(), 240.0);
        QCOMPARE(temp.prefs().integer(kPomTotalCount), 1); // only the skip was counted
    }
};

QTEST_GUILESS_MAIN(TimerCatchUpTest)
#include "tst_timer_catchup.moc"
