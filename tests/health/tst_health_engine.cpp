#include "HealthTestEnv.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "ui/Lang.h"
#include <QtTest>
#include <cmath>
#include <limits>

namespace {
const QDateTime kStart(QDate(2024, 5, 6), QTime(9, 0));
HReminder reminder(int i) {
    return HealthManager::shared().list().at(size_t(i));
}
} // namespace

class HealthEngineTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void cleanup() { HealthManager::resetShared(); }

    void defaultsFireStaggeredThenEveryInterval() {
        HealthEnv env(kStart);
        HealthManager &h = HealthManager::shared();
        QCOMPARE(h.remaining(reminder(0)), 3600.0);
        QCOMPARE(h.remaining(reminder(1)), 18 * 60 + 15.0);
        QCOMPARE(h.remaining(reminder(2)), 36 * 60 + 30.0);
        QCOMPARE(h.remaining(reminder(3)), 72 * 60 + 45.0);

        env.clock.advance(2.5 * 3600);
        QCOMPARE(env.banners.timesOf("Water"), (QList<qint64>{3600, 7200}));
        QCOMPARE(env.banners.timesOf("Eyes"),
                 (QList<qint64>{1095, 2175, 3255, 4335, 5415, 6495, 7575, 8655}));
        QCOMPARE(env.banners.timesOf("Posture"), (QList<qint64>{2190, 4350, 6510, 8670}));
        QCOMPARE(env.banners.timesOf("Stretch"), (QList<qint64>{4365, 8685}));
        QCOMPARE(env.banners.shown.first().body,
                 QStringLiteral("Look at something 20 ft away for 20 seconds."));
        QCOMPARE(env.sound.played.size(), env.banners.shown.size());
    }

    // The stagger belongs to the reminder's place in the list, not to its place among those switched on;
    // a switch stored as something other than a Boolean counts as on.
    void offsetFollowsListIndexAndNonBooleanSwitchesAreOn() {
        HealthEnv env(kStart);
        Prefs &p = env.prefs.prefs();
        p.setString(kWaterOn, QStringLiteral("no"));
        p.setInt(kWaterSnd, 0);
        p.setBool(kEyesOn, false);
        p.setBool(kStretchOn, false);
        HealthManager &h = HealthManager::shared();
        QVERIFY(h.isOn(reminder(0)) && h.isSoundOn(reminder(0)));
        QCOMPARE(h.remaining(reminder(1)), -1.0);
        env.clock.advance(3 * 3600);
        QCOMPARE(env.banners.timesOf("Posture"), (QList<qint64>{2190, 4350, 6510, 8670}));
        QCOMPARE(env.banners.timesOf("Water"), (QList<qint64>{3600, 7200, 10800}));
    }

    // Switching on or changing the interval starts a full interval at once, without the stagger.
    void switchingOnOrNewIntervalRestartsWithoutOffset() {
        HealthEnv env(kStart);
        env.prefs.prefs().setBool(kStretchOn, false);
        HealthManager &h = HealthManager::shared();
        env.clock.advance(100);
        h.setOn(true, reminder(3));
        QVERIFY(env.prefs.prefs().isBool(kStretchOn) && env.prefs.prefs().boolValue(kStretchOn));
        QCOMPARE(h.remaining(reminder(3)), 72 * 60.0);
        env.clock.advance(30);
        h.setMins(5, reminder(3));
        QCOMPARE(env.prefs.prefs().doubleValue(kStretchMins), 5.0);
        env.clock.advance(600);
        QCOMPARE(env.banners.timesOf("Stretch"), (QList<qint64>{430, 730}));

        h.setOn(false, reminder(3));
        env.clock.advance(3 * 3600);
        QCOMPARE(env.banners.timesOf("Stretch").size(), 2);
    }

    void sleepStopsAndWakeRestartsStaggeredAndDismissesBanners() {
        HealthEnv env(kStart);
        HealthManager &h = HealthManager::shared();
        env.clock.advance(20 * 60); // eyes fired once
        QCOMPARE(env.banners.shown.size(), 1);

        emit env.watcher.willSleep();
        QCOMPARE(h.remaining(reminder(0)), -1.0);
        env.clock.advance(8 * 3600);
        QCOMPARE(env.banners.shown.size(), 1);

        emit env.watcher.didWake();
        QCOMPARE(env.banners.dismissed, 1);
        QCOMPARE(h.remaining(reminder(1)), 18 * 60 + 15.0);
        QCOMPARE(h.remaining(reminder(3)), 72 * 60 + 45.0);
    }

    void storedIntervalIsReadSafely_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("effectiveMins");
        QTest::newRow("zero is the default") << QVariant(0.0) << 60.0;
        QTest::newRow("NaN is the default") << QVariant(std::nan("")) << 60.0;
        QTest::newRow("infinity is the default") << QVariant(std::numeric_limits<double>::infinity()) << 60.0;
        QTest::newRow("text is the default") << QVariant(QStringLiteral("soon")) << 60.0;
        QTest::newRow("a restored 0.001 acts as one minute") << QVariant(0.001) << 1.0;
        QTest::newRow("huge is capped") << QVariant(1e300) << HealthManager::kMaxMins;
        QTest::newRow("a plain value is kept") << QVariant(2.5) << 2.5;
    }
    void storedIntervalIsReadSafely() {
        QFETCH(QVariant, stored);
        QFETCH(double, effectiveMins);
        HealthEnv env(kStart);
        Prefs &p = env.prefs.prefs();
        for (const char *k : {kEyesOn, kPostureOn, kStretchOn})
            p.setBool(k, false);
        if (stored.typeId() == QMetaType::QString)
            p.setString(kWaterMins, stored.toString());
        else
            p.setDouble(kWaterMins, stored.toDouble());
        HealthManager &h = HealthManager::shared();
        QCOMPARE(h.mins(reminder(0)), effectiveMins);
        QCOMPARE(h.remaining(reminder(0)), effectiveMins * 60);
        if (effectiveMins <= 60) {
            env.clock.advance(10 * 60);
            QCOMPARE(env.banners.shown.size(), int(std::floor(10 / effectiveMins + 1e-9)));
        }
        // Reading never rewrites what the user (or a restore) stored.
        if (stored.typeId() == QMetaType::QString) QCOMPARE(*p.string(kWaterMins), stored.toString());
    }

    void dailyCountsAcrossMidnight() {
        const QDateTime start(QDate(2024, 5, 6), QTime(23, 10));
        HealthEnv env(start);
        Prefs &p = env.prefs.prefs();
        for (const char *k : {kEyesOn, kPostureOn, kStretchOn})
            p.setBool(k, false);
        p.setDouble(kWaterMins, 30);
        p.setString(kWaterShownDate, QStringLiteral("2024-05-06"));
        p.setInt(kWaterShown, 4);
        HealthManager &h = HealthManager::shared();
        const HReminder w = reminder(0);
        env.clock.advance(30 * 60); // 23:40
        QCOMPARE(h.todayCountString(w), QStringLiteral("5/1"));
        env.clock.advance(25 * 60); // 00:05, before the first fire of the new day
        QCOMPARE(h.shownToday(w), 0);
        QCOMPARE(*p.string(kWaterShownDate), QStringLiteral("2024-05-06"));
        env.clock.advance(5 * 60); // 00:10
        QCOMPARE(h.shownToday(w), 1);
        QCOMPARE(*p.string(kWaterShownDate), QStringLiteral("2024-05-07"));

        h.setDailyTarget(150, w);
        QCOMPARE(p.integer(kWaterTarget), 99);
        QCOMPARE(h.todayCountString(w), QStringLiteral("1/99"));
    }

    void soundNeedsBothSwitchesButTheBannerShowsAnyway() {
        HealthEnv env(kStart);
        Prefs &p = env.prefs.prefs();
        for (const char *k : {kWaterOn, kPostureOn, kStretchOn})
            p.setBool(k, false);
        p.setBool(kSoundOn, false);
        p.setBool(kNotifOn, false);
        HealthManager &h = HealthManager::shared();
        env.clock.advance(18 * 60 + 15);
        QCOMPARE(env.banners.shown.size(), 1);
        QVERIFY(env.sound.played.isEmpty());

        p.setBool(kSoundOn, true);
        h.setSoundOn(false, reminder(1));
        env.clock.advance(18 * 60);
        QCOMPARE(env.banners.shown.size(), 2);
        QVERIFY(env.sound.played.isEmpty());

        h.setSoundOn(true, reminder(1));
        env.clock.advance(18 * 60);
        QCOMPARE(env.sound.played, QStringList{QStringLiteral("Pop")});
    }

    void runningBannerKeepsItsLanguageWhileTheListFollows() {
        HealthEnv env(kStart);
        HealthManager &h = HealthManager::shared();
        L::setLang(AppLang::de);
        Notifier::get().post(Notify::languageChanged);
        QCOMPARE(h.list().at(0).name, QStringLiteral("Wasser"));
        env.clock.advance(18 * 60 + 15);
        QCOMPARE(env.banners.shown.last().title, QStringLiteral("👁 Eyes 20-20-20"));
        h.restart(h.list().at(1), 0);
        env.clock.advance(18 * 60);
        QCOMPARE(env.banners.shown.last().title, QStringLiteral("👁 Augen 20-20-20"));
    }
};

QTEST_MAIN(HealthEngineTest)
#include "tst_health_engine.moc"
