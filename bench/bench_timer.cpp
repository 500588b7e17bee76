// How long the timer takes to catch up on a long absence with the shortest phases, and what one tick
// costs while the main window is hidden (the only work the app does then, once a second).
#include "platform/Keys.h"
#include "app/MainWindow.h"
#include "app/StatusItem.h"
#include "common/Fakes.h"
#include "platform/Notifier.h"
#include "platform/Prefs.h"
#include "pomodoro/PomodoroTimer.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {
const QDateTime kNow(QDate(2026, 2, 10), QTime(14, 0));
}

class TimerBench : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<Prefs> prefs;
    std::unique_ptr<FakeClock> clock;

    void setUpState(double minutes, double daysAway) {
        for (const char *k : {kWorkMins, kBreakMins, kLongBreakMins})
            prefs->setDouble(k, minutes);
        prefs->setString(kPhase, QStringLiteral("work"));
        prefs->setDouble(kRemaining, minutes * 60);
        prefs->setBool(kWasRunning, true);
        prefs->setInt(kCycleCount, 0);
        prefs->setDouble(kTimestamp, Clock::toRefSeconds(kNow) - daysAway * 86400);
    }

private slots:
    void init() {
        prefs = std::make_unique<Prefs>(dir.filePath(QStringLiteral("bench.sqlite3")));
        Prefs::install(prefs.get());
        clock = std::make_unique<FakeClock>(kNow);
        Clock::install(clock.get());
    }
    void cleanup() {
        Clock::install(nullptr);
        clock.reset();
        Prefs::install(nullptr);
        prefs.reset();
        QFile::remove(dir.filePath(QStringLiteral("bench.sqlite3")));
    }

    void catchUpTenYears_data() {
        QTest::addColumn<double>("minutes");
        QTest::newRow("0.01-minute phases") << 0.01;
        QTest::newRow("shortest accepted (1e-6 minutes)") << PomodoroTimer::kMinMinutes;
    }
    void catchUpTenYears() {
        QFETCH(double, minutes);
        setUpState(minutes, 3652.5);
        qint64 cycles = 0;
        QBENCHMARK {
            PomodoroTimer t; // restores the state and replays the ten years
            cycles = t.cycleCount();
        }
        static QSet<QByteArray> told; // QBENCHMARK runs the function several times
        if (!told.contains(QTest::currentDataTag())) {
            told.insert(QTest::currentDataTag());
            qInfo("cycle count after ten years: %lld", cycles);
        }
    }

    // For comparison: one pass per phase over one year of 0.01-minute phases (the way the stored
    // format was first replayed); ten years take ten times as long.
    void phaseByPhaseOneYearForComparison() {
        const PhaseLengths len{0.6, 0.6, 0.6, 4};
        QElapsedTimer el;
        el.start();
        TimerPosition pos{Phase::work, 0, 0.6, 0.6, 0};
        double e = 365.25 * 86400;
        while (e > 0) {
            if (e < pos.remaining) break;
            e -= pos.remaining;
            if (pos.phase == Phase::work) {
                ++pos.cycleCount;
                pos.phase = pos.cycleCount % 4 == 0 ? Phase::longRest : Phase::rest;
            } else {
                pos.phase = Phase::work;
            }
            pos.remaining = len.of(pos.phase);
        }
        qInfo("phase by phase, one year of 0.01-minute phases: %lld ms (%lld cycles)", qint64(el.elapsed()),
              pos.cycleCount);
    }

    void oneTickWindowHidden_data() {
        QTest::addColumn<int>("unused");
        QTest::newRow("tick") << 0;
        QTest::newRow("hour") << 0;
    }
    void oneTickWindowHidden() {
        MainWindow win; // hidden, as after launch
        PomodoroTimer t;
        StatusItem item(&win, t);
        int observers = 0;
        Notifier::get().observe(QLatin1String(Notify::pomodoroChanged), &item, [&](QObject *) {
            ++observers;
            item.onPomChanged();
        });
        t.start();
        QCoreApplication::processEvents();
        QVERIFY(!win.isVisible());
        if (QTest::currentDataTag() && QByteArray(QTest::currentDataTag()) == "hour") {
            // The worst tick of an hour: a minute boundary redraws the icon, every 30 s the state is saved.
            QElapsedTimer el;
            qint64 worst = 0, sum = 0;
            for (int i = 0; i < 3600; ++i) {
                el.start();
                clock->advance(1);
                QCoreApplication::processEvents();
                const qint64 ns = el.nsecsElapsed();
                worst = std::max(worst, ns);
                sum += ns;
            }
            qInfo("3600 ticks: mean %.1f us, worst %.1f us", sum / 3600.0 / 1000, worst / 1000.0);
            return;
        }
        QBENCHMARK {
            clock->advance(1);                 // one tick: count down, post, maybe save
            QCoreApplication::processEvents(); // the status item's queued redraw
        }
        QVERIFY(observers > 0);
    }
};

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TimerBench b;
    return QTest::qExec(&b, argc, argv);
}
#include "bench_timer.moc"
