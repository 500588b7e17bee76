#include "HealthTestEnv.h"
#include "app/Keys.h"
#include <QtTest>

// What the app does at launch (engine created, alarms armed), then a minute of use and a suspend
// that only the jump detector notices.
class HealthLaunchTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void oneMinuteReminderAndAlarmFireThenSleepRestartsReminders() {
        const QDateTime start(QDate(2024, 5, 6), QTime(9, 0, 30));
        HealthEnv env(start);
        Prefs &p = env.prefs.prefs();
        p.setDouble(kWaterMins, 1);
        for (const char *k : {kEyesOn, kPostureOn, kStretchOn})
            p.setBool(k, false);
        p.setData(kCustomReminders,
                  QByteArray("[{\"id\":\"A\",\"hour\":9,\"minute\":1,\"text\":\"Call\",\"enabled\":true,"
                             "\"dailyCheckpoint\":false,\"done\":false,\"dailyTarget\":1,\"shownCount\":0,"
                             "\"shownDate\":\"\"}]"));

        HealthManager &h = HealthManager::shared();
        CustomReminderStore::shared().scheduleAll();

        env.clock.advance(60);
        QCOMPARE(env.banners.when,
                 (QList<QDateTime>{QDateTime(QDate(2024, 5, 6), QTime(9, 1)), start.addSecs(60)}));
        QCOMPARE(env.banners.shown[0].title, QStringLiteral("⏰ Call"));
        QCOMPARE(env.banners.shown[1].title, QStringLiteral("💧 Water"));
        QCOMPARE(env.sound.played, (QStringList{"Tink", "Pop"}));

        // Two hours asleep, noticed only as a jump of the wall clock.
        env.clock.setNow(env.clock.now().addSecs(2 * 3600));
        env.watcher.probe();
        QCOMPARE(env.banners.dismissed, 1);
        QCOMPARE(h.remaining(h.list()[0]), 60.0);
        QCOMPARE(env.banners.shown.size(), 2); // the missed reminders are not made up for
        env.clock.advance(60);
        QCOMPARE(env.banners.shown.size(), 3);
        QCOMPARE(*CustomReminderStore::shared().nextFire(QStringLiteral("A")),
                 QDateTime(QDate(2024, 5, 7), QTime(9, 1)));
    }
};

QTEST_MAIN(HealthLaunchTest)
#include "tst_health_launch.moc"
