#include "HealthTestEnv.h"
#include <QtTest>

// Boundaries of the health engine and the alarm dates that a changed comparison would move.
class HealthEdgesTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void dailyTargetIsAtLeastOne_data() {
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("zero") << qint64(0) << 1;
        QTest::newRow("negative") << qint64(-5) << 1;
        QTest::newRow("one") << qint64(1) << 1;
        QTest::newRow("two") << qint64(2) << 2;
    }
    void dailyTargetIsAtLeastOne() {
        QFETCH(qint64, stored);
        QFETCH(int, shown);
        HealthEnv env(QDateTime(QDate(2024, 5, 6), QTime(9, 0)));
        HealthManager &h = HealthManager::shared();
        const HReminder r = h.list().at(0);
        Prefs::get().setInt(r.targetKey, stored);
        QCOMPARE(h.dailyTarget(r), shown);
        h.setDailyTarget(0, r); // the setter clamps to 1 as well
        QCOMPARE(Prefs::get().integer(r.targetKey), 1);
    }

    // A due time already passed (the clock moved on before the timer could fire) counts as 0 left,
    // never a negative time.
    void remainingIsZeroWhenPastDue() {
        HealthEnv env(QDateTime(QDate(2024, 5, 6), QTime(9, 0)));
        HealthManager &h = HealthManager::shared();
        const HReminder water = h.list().at(0);
        QCOMPARE(h.remaining(water), 3600.0);
        env.clock.setNow(env.clock.now().addSecs(3599));
        QCOMPARE(h.remaining(water), 1.0);
        env.clock.setNow(env.clock.now().addSecs(2));
        QCOMPARE(h.remaining(water), 0.0);
    }

    // A start day past the month's end runs on into the next month.
    void startDayPastTheMonthsEndRollsOver_data() {
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("month");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("31 April") << 31 << 4 << QDate(2024, 5, 1);
        QTest::newRow("31 June") << 31 << 6 << QDate(2024, 7, 1);
        QTest::newRow("30 February, leap year") << 30 << 2 << QDate(2024, 3, 1);
        QTest::newRow("31 May stays") << 31 << 5 << QDate(2024, 5, 31);
        QTest::newRow("31 December stays") << 31 << 12 << QDate(2024, 12, 31);
    }
    void startDayPastTheMonthsEndRollsOver() {
        QFETCH(int, day);
        QFETCH(int, month);
        QFETCH(QDate, expected);
        CustomReminder r;
        r.hour = 8;
        r.minute = 15;
        r.startDay = day;
        r.startMonth = month;
        r.startYear = 2024;
        QCOMPARE(r.startDate(), std::optional<QDateTime>(QDateTime(expected, QTime(8, 15))));
    }
};

QTEST_MAIN(HealthEdgesTest)
#include "tst_health_edges.moc"
