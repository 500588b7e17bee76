// The phase timer's settings, its phases and counters, its announcements and its save rhythm.
#include "platform/Keys.h"
#include "common/TestEnv.h"
#include "common/Fakes.h"
#include "platform/Notifier.h"
#include "pomodoro/PomodoroTimer.h"
#include "ui/Lang.h"
#include <QtTest>
#include <cmath>
#include <limits>
#include <memory>

namespace {
QDateTime local(int y, int mo, int d, int h, int mi) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi));
}

// Everything a timer test needs, fresh for each case: preferences, a clock, banner and sound recorders,
// and a count of pomodoroChanged posts.
struct Rig {
    TempPrefs temp;
    TestClock clock;
    RecordingBanners banners;
    RecordingSound sound;
    QObject ctx;
    int posts = 0;
    explicit Rig(const QDateTime &start = local(2026, 1, 5, 9, 0)) : clock(start) {
        Notifier::get().observe(QLatin1String(Notify::pomodoroChanged), &ctx, [this](QObject *) { ++posts; });
    }
    Prefs &prefs() { return temp.prefs(); }
    // True when the timer wrote its state since the last call.
    bool saved() {
        const bool s = prefs().contains(kTimestamp);
        prefs().remove(kTimestamp);
        return s;
    }
};
} // namespace

class TimerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }

    void badSettingsReadAsDefaultsAndStayStored() {
        Rig rig;
        PomodoroTimer t;
        rig.prefs().setDouble(kWorkMins, -5);
        QCOMPARE(t.durationFor(Phase::work), 1500.0);
        QCOMPARE(rig.prefs().doubleValue(kWorkMins), -5.0); // nothing corrects it
        rig.prefs().setDouble(kWorkMins, 0.5);
        QCOMPARE(t.durationFor(Phase::work), 30.0);
        rig.prefs().setInt(kCyclesBeforeLong, 0);
        QCOMPARE(t.cyclesBeforeLong(), 4);
        rig.prefs().setString(kSoundOn, QStringLiteral("no")); // not a Boolean: counts as on
        QVERIFY(t.soundEnabled());
    }

    void damagedLengthsReadAsTheDefault_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("savedRemaining");
        const double inf = std::numeric_limits<double>::infinity(),
                     nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("inf") << QVariant(inf) << inf;
        QTest::newRow("nan") << QVariant(nan) << nan;
        QTest::newRow("1e-300") << QVariant(1e-300) << -inf;
        QTest::newRow("string inf") << QVariant(QStringLiteral("inf")) << 1e300;
    }
    void damagedLengthsReadAsTheDefault() {
        QFETCH(QVariant, stored);
        QFETCH(double, savedRemaining);
        Rig rig;
        for (const char *key : {kWorkMins, kBreakMins, kLongBreakMins}) {
            if (stored.typeId() == QMetaType::QString)
                rig.prefs().setString(key, stored.toString());
            else
                rig.prefs().setDouble(key, stored.toDouble());
        }
        rig.prefs().setDouble(kRemaining, savedRemaining);
        PomodoroTimer t;
        QCOMPARE(t.workMins(), 25.0);
        QCOMPARE(t.longBreakMins(), 15.0);
        QCOMPARE(t.remaining(), 1500.0);
        t.skip(); // credits the focus length: must not overflow
        QCOMPARE(rig.prefs().integer(kPomFocusSecs), 1500);
        QCOMPARE(t.remaining(), 300.0);
    }

    // A focus phase of 1500 s ends by itself on 5 January 2026 after a day counted on the 4th.
    void focusEndCountsTheDayAndTheStreak() {
        Rig rig;
        auto &p = rig.prefs();
        p.setString(kPomLastDate, QStringLiteral("2026-1-4"));
        p.setInt(kPomTodayCount, 6);
        p.setInt(kPomFocusSecs, 9000);
        p.setString(kPomStreakLast, QStringLiteral("2026-1-4"));
        p.setInt(kPomStreak, 3);
        p.setInt(kPomTotalCount, 40);
        PomodoroTimer t;
        t.start();
        rig.clock.advance(1500);
        QCOMPARE(t.phase(), Phase::rest);
        QCOMPARE(p.integer(kPomTodayCount), 1);
        QCOMPARE(p.integer(kPomFocusSecs), 1500);
        QCOMPARE(*p.string(kPomStreakLast), QStringLiteral("2026-1-5"));
        QCOMPARE(p.integer(kPomStreak), 4);
        QCOMPARE(p.integer(kPomTotalCount), 41);
        QCOMPARE(rig.banners.shown[0].title, QStringLiteral("\U0001F375 Break time!"));
        QCOMPARE(rig.banners.shown[0].body, QStringLiteral("Great work! 5-min break."));
        QCOMPARE(rig.sound.played, QStringList{QStringLiteral("Ping")});

        // The break ends, then a second focus phase on the same day: streak kept, today counted on.
        rig.clock.advance(300);
        QCOMPARE(rig.banners.shown.last().title, QStringLiteral("\U0001F4AA Time to work!"));
        QCOMPARE(rig.sound.played.last(), QStringLiteral("Glass"));
        rig.clock.advance(1500);
        QCOMPARE(p.integer(kPomStreak), 4);
        QCOMPARE(p.integer(kPomTodayCount), 2);
        QCOMPARE(p.integer(kPomFocusSecs), 3000);

        // Next day, before any focus phase: today's figures read 0, the stored ones stay.
        rig.clock.setNow(local(2026, 1, 6, 8, 0));
        QCOMPARE(t.todayCount(), 0);
        QCOMPARE(t.focusSecsToday(), 0);
        QCOMPARE(p.integer(kPomTodayCount), 2);
    }

    // Around a daylight-saving change "now minus 24 hours" names the wrong day; the calendar does not.
    // A gap of a day starts the streak again.
    void streakAcrossDaylightSavingDays_data() {
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<QString>("streakLast");
        QTest::addColumn<int>("expected");
        // 30 March 00:30 CEST minus 24 h is 28 March: the 29th must still count as yesterday.
        QTest::newRow("after spring forward") << local(2026, 3, 30, 0, 30) << "2026-3-29" << 6;
        // 25 October 23:30 CET minus 24 h is still the 25th: today must not count twice.
        QTest::newRow("fall back, same day") << local(2026, 10, 25, 23, 30) << "2026-10-25" << 5;
        QTest::newRow("fall back, yesterday") << local(2026, 10, 25, 23, 30) << "2026-10-24" << 6;
        QTest::newRow("after a gap") << local(2026, 1, 5, 9, 0) << "2026-1-3" << 1;
    }
    void streakAcrossDaylightSavingDays() {
        QFETCH(QDateTime, at);
        QFETCH(QString, streakLast);
        QFETCH(int, expected);
        Rig rig(at);
        rig.prefs().setString(kPomStreakLast, streakLast);
        rig.prefs().setInt(kPomStreak, 5);
        PomodoroTimer t;
        t.skip();
        QCOMPARE(rig.prefs().integer(kPomStreak), expected);
    }

    void cycleRhythm_data() {
        QTest::addColumn<int>("cycles");
        QTest::addColumn<QString>("breaks"); // the break after each of 8 focus phases, L long, s short
        QTest::newRow("every 4th") << 4 << "sssLsssL";
        QTest::newRow("every one") << 1 << "LLLLLLLL";
    }
    void cycleRhythm() {
        QFETCH(int, cycles);
        QFETCH(QString, breaks);
        Rig rig;
        rig.prefs().setInt(kCyclesBeforeLong, cycles);
        PomodoroTimer t;
        QString seen;
        for (int i = 0; i < 8; ++i) {
            t.skip();
            seen += t.phase() == Phase::longRest ? u'L' : u's';
            t.skip();
            QCOMPARE(t.phase(), Phase::work);
        }
        QCOMPARE(seen, breaks);
        t.skip();
        t.applyNewSettings(); // counts from 0 again, from a focus phase
        QCOMPARE(t.cycleCount(), 0);
        QCOMPARE(t.phase(), Phase::work);
    }

    void skippingCreditsTheFullLengthQuietly() {
        Rig rig;
        PomodoroTimer t;
        t.start();
        rig.clock.advance(300); // 20 of 25 minutes left
        QCOMPARE(t.remaining(), 1200.0);
        t.skip();
        QCOMPARE(rig.prefs().integer(kPomFocusSecs), 1500);
        QVERIFY(rig.banners.shown.isEmpty() && rig.sound.played.isEmpty());
        rig.clock.advance(10);
        QCOMPARE(t.remaining(), 290.0);
    }

    void announcementSwitchesAndLanguage() {
        Rig rig;
        rig.prefs().setBool(kNotifOn, false);
        PomodoroTimer t;
        t.start();
        rig.clock.advance(1500);
        QVERIFY(rig.banners.shown.isEmpty() && rig.sound.played.isEmpty()); // no banner, no sound either
        // Banners on, sound off: banner only, in the current language.
        L::setLang(AppLang::fr);
        rig.prefs().setBool(kNotifOn, true);
        rig.prefs().setBool(kSoundOn, false);
        rig.prefs().setDouble(kWorkMins, 30);
        rig.clock.advance(300);
        QCOMPARE(rig.banners.shown.size(), 1);
        QCOMPARE(rig.banners.shown[0].title, QStringLiteral("\U0001F4AA Au travail !"));
        QCOMPARE(rig.banners.shown[0].body, QStringLiteral("30 min de focus !"));
        QVERIFY(rig.sound.played.isEmpty());
    }

    void aTickToZeroEndsThePhase() {
        Rig rig;
        rig.prefs().setDouble(kRemaining, 0.4);
        PomodoroTimer t;
        t.start();
        rig.clock.advance(1);
        QCOMPARE(t.phase(), Phase::rest);
        QCOMPARE(t.remaining(), 300.0);
    }

    void stateIsSavedOnWholeHalfMinutes() {
        Rig rig;
        rig.prefs().setDouble(kRemaining, 1231.6);
        PomodoroTimer t;
        t.start();
        QVERIFY(rig.saved());
        rig.clock.advance(1); // 1230.6 left: 1230 is a multiple of 30
        QVERIFY(rig.saved());
        QCOMPARE(rig.prefs().doubleValue(kRemaining), 1230.6);
        rig.clock.advance(1); // 1229.6
        QVERIFY(!rig.saved());
        rig.clock.advance(29); // 1200.6
        QVERIFY(rig.saved());
    }

    void startAndPausePostAndSave() {
        Rig rig;
        PomodoroTimer t;
        t.start();
        QVERIFY(rig.saved());
        t.start(); // already running: nothing
        QCOMPARE(rig.posts, 1);
        QVERIFY(!rig.saved());
        t.pause();
        QVERIFY(rig.saved());
        QVERIFY(!rig.prefs().boolValue(kWasRunning));
        QCOMPARE(rig.clock.activeTickers(), 0);
        rig.clock.advance(60);
        QCOMPARE(t.remaining(), 1500.0);
        // Pausing a paused timer changes nothing but posts and saves again.
        const int posted = rig.posts;
        t.pause();
        QCOMPARE(rig.posts, posted + 1);
        QVERIFY(rig.saved());
        QVERIFY(!t.isRunning());
        QCOMPARE(t.remaining(), 1500.0);
        QCOMPARE(rig.clock.activeTickers(), 0);
        t.start();
        rig.posts = 0;
        rig.clock.advance(10);
        QCOMPARE(rig.posts, 10);
    }

    void switchingPhaseKeepsTheRunStateAndTheCount() {
        Rig rig;
        PomodoroTimer t;
        t.skip();
        t.skip();
        t.start();
        t.switchToPhase(Phase::longRest);
        QCOMPARE(t.remaining(), 900.0);
        QVERIFY(t.isRunning());
        QCOMPARE(t.cycleCount(), 1);
    }

    // The ring follows the countdown: after a system sleep (time moves, the ticker did not run) it
    // must not jump ahead of the time shown.
    void smoothProgressFollowsTheRemainingTime() {
        Rig rig;
        PomodoroTimer t;
        QCOMPARE(t.smoothProgress(), 0.0);
        t.start();
        rig.clock.advance(10.5);
        QCOMPARE(t.remaining(), 1490.0);
        QVERIFY(qAbs(t.smoothProgress() - 10.5 / 1500) < 1e-9);
        rig.clock.setNow(rig.clock.now().addSecs(3600)); // slept an hour
        QVERIFY(t.smoothProgress() <= 11.0 / 1500 + 1e-9);
        t.pause();
        QCOMPARE(t.smoothProgress(), t.progress());
        QVERIFY(qAbs(t.progress() - 10.0 / 1500) < 1e-9);
    }
};

QTEST_GUILESS_MAIN(TimerTest)
#include "tst_timer.moc"
