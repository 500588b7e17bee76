#include "HealthTestEnv.h"
#include "platform/Keys.h"
#include <QtTest>
#include <ctime>
#include <tuple>

namespace {
// JSON fixtures are written with ' for " to stay readable; \q stands for an escaped quote.
QByteArray dq(const char *s) {
    return QByteArray(s).replace('\'', '"').replace("\\q", "\\\"");
}

QDateTime at(int y, int mo, int d, int h, int mi, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

CustomReminder alarm(int hour, int minute, const QString &text = QStringLiteral("Pills")) {
    CustomReminder r;
    r.hour = hour;
    r.minute = minute;
    r.text = text;
    return r;
}

CustomReminder dated(int hour, int minute, int day, int month, int year, bool checkpoint) {
    CustomReminder r = alarm(hour, minute);
    r.startDay = day;
    r.startMonth = month;
    r.startYear = year;
    r.dailyCheckpoint = checkpoint;
    return r;
}
} // namespace

class AlarmStoreTest : public QObject {
    Q_OBJECT
public:
    static void initMain() {
        // Daylight-saving cases are written for this zone.
        qputenv("TZ", "Europe/Berlin");
        tzset();
        useOffscreenWhenHeadless();
    }

private slots:
    void cleanup() { CustomReminderStore::resetShared(); }

    void dailyAlarmArmsStrictlyAfterNow_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("first");
        QTest::newRow("before the minute") << at(2024, 5, 6, 7, 0) << at(2024, 5, 6, 7, 30);
        QTest::newRow("at the minute") << at(2024, 5, 6, 7, 30) << at(2024, 5, 7, 7, 30);
    }
    void dailyAlarmArmsStrictlyAfterNow() {
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, first);
        HealthEnv env(now);
        CustomReminderStore &s = CustomReminderStore::shared();
        const CustomReminder r = alarm(7, 30);
        s.add(r);
        QCOMPARE(*s.nextFire(r.id), first);
        env.clock.advance(double(now.secsTo(first)) - 1);
        QVERIFY(env.banners.shown.isEmpty());
        env.clock.advance(1);
        QCOMPARE(env.banners.when, QList<QDateTime>{first});
        QCOMPARE(env.banners.shown[0].title, QStringLiteral("⏰ Pills"));
        QCOMPARE(*s.nextFire(r.id), first.addDays(1));
    }

    // A daily alarm keeps its clock time on the days the clocks change, and on those days a time the
    // change skips or repeats fires once.
    void wallClockTimeAcrossDaylightSaving_data() {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<QList<QDateTime>>("fires");
        QTest::newRow("spring forward 07:30")
            << at(2024, 3, 30, 8, 0) << 7 << 30
            << QList<QDateTime>{at(2024, 3, 31, 7, 30), at(2024, 4, 1, 7, 30), at(2024, 4, 2, 7, 30)};
        QTest::newRow("fall back 07:30")
            << at(2024, 10, 26, 8, 0) << 7 << 30
            << QList<QDateTime>{at(2024, 10, 27, 7, 30), at(2024, 10, 28, 7, 30), at(2024, 10, 29, 7, 30)};
        QTest::newRow("skipped 02:30 fires at 03:30")
            << at(2024, 3, 30, 8, 0) << 2 << 30
            << QList<QDateTime>{at(2024, 3, 31, 3, 30), at(2024, 4, 1, 2, 30), at(2024, 4, 2, 2, 30)};
        QTest::newRow("repeated 02:30 fires once")
            << at(2024, 10, 26, 8, 0) << 2 << 30
            << QList<QDateTime>{at(2024, 10, 27, 2, 30), at(2024, 10, 28, 2, 30), at(2024, 10, 29, 2, 30)};
    }
    void wallClockTimeAcrossDaylightSaving() {
        QFETCH(QDateTime, start);
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(QList<QDateTime>, fires);
        HealthEnv env(start);
        CustomReminderStore::shared().add(alarm(hour, minute));
        env.clock.advance(double(start.secsTo(fires.last())) + 3600);
        QCOMPARE(env.banners.when, fires);
    }

    void startDateKinds() {
        HealthEnv env(at(2024, 5, 6, 9, 0));
        CustomReminderStore &s = CustomReminderStore::shared();
        const CustomReminder once = dated(8, 0, 10, 5, 2024, false);
        const CustomReminder fromThen = dated(8, 0, 10, 5, 2024, true);
        const CustomReminder pastOnce = dated(8, 0, 1, 5, 2024, false);
        const CustomReminder pastDaily = dated(8, 0, 1, 5, 2024, true);
        for (const auto &r : {once, fromThen, pastOnce, pastDaily})
            s.add(r);
        QVERIFY(!s.nextFire(pastOnce.id));
        env.clock.advance(6 * 86400.0); // to 12 May 09:00
        QCOMPARE(env.banners.when,
                 (QList<QDateTime>{at(2024, 5, 7, 8, 0), at(2024, 5, 8, 8, 0), at(2024, 5, 9, 8, 0),
                                   at(2024, 5, 10, 8, 0), at(2024, 5, 10, 8, 0), at(2024, 5, 10, 8, 0),
                                   at(2024, 5, 11, 8, 0), at(2024, 5, 11, 8, 0), at(2024, 5, 12, 8, 0),
                                   at(2024, 5, 12, 8, 0)}));
        // The one-off fired once and stays finished after a restart; the checkpoint repeats until done.
        CustomReminderStore::resetShared();
        CustomReminderStore::shared().scheduleAll();
        QVERIFY(!CustomReminderStore::shared().nextFire(once.id));
        QCOMPARE(*CustomReminderStore::shared().nextFire(fromThen.id), at(2024, 5, 13, 8, 0));
        CustomReminderStore::shared().markDone(fromThen.id);
        QVERIFY(!CustomReminderStore::shared().nextFire(fromThen.id));
    }

    void doneDisabledAndDeletedAlarmsDoNotFire() {
        HealthEnv env(at(2024, 5, 6, 9, 0));
        CustomReminderStore &s = CustomReminderStore::shared();
        const CustomReminder r = alarm(10, 0), gone = alarm(11, 0);
        s.add(r);
        s.add(gone);
        s.remove(gone.id);
        s.markDone(r.id);
        QVERIFY(!s.nextFire(r.id));
        s.toggleEnabled(r.id); // disabled while done
        s.markDone(r.id);      // not done, but disabled: stays unarmed
        QVERIFY(!s.nextFire(r.id));
        s.toggleEnabled(r.id);
        QCOMPARE(*s.nextFire(r.id), at(2024, 5, 6, 10, 0));
        s.toggleEnabled(r.id);
        env.clock.advance(2 * 86400.0);
        QVERIFY(env.banners.shown.isEmpty());
        QCOMPARE(int(s.items().size()), 1);
    }

    void countsTargetsAndTexts() {
        HealthEnv env(at(2024, 5, 6, 23, 0));
        CustomReminderStore &s = CustomReminderStore::shared();
        CustomReminder r = alarm(23, 30, QString());
        r.shownDate = QStringLiteral("2024-05-05");
        r.shownCount = 7;
        r.dailyTarget = 250; // as stored: printed unclamped
        s.add(r);
        QCOMPARE(s.todayCountString(s.items()[0]), QStringLiteral("0/250"));
        env.clock.advance(1800);
        QCOMPARE(s.todayCountString(s.items()[0]), QStringLiteral("1/250"));
        QCOMPARE(env.banners.shown[0].title, QStringLiteral("⏰ Reminder"));
        QCOMPARE(env.banners.shown[0].body, QStringLiteral("Time!"));
        env.clock.advance(3600); // 00:30 next day, before its fire
        QCOMPARE(s.todayCountString(s.items()[0]), QStringLiteral("0/250"));

        s.setDailyTarget(250, r.id);
        QCOMPARE(s.items()[0].dailyTarget, 99);

        // A checkpoint alarm always asks to be marked done.
        CustomReminder c = alarm(1, 0, QStringLiteral("Stretch"));
        c.dailyCheckpoint = true;
        s.add(c);
        env.clock.advance(3600);
        QCOMPARE(env.banners.shown.last().title, QStringLiteral("⏰ Stretch"));
        QCOMPARE(env.banners.shown.last().body,
                 QStringLiteral("Daily checkpoint — tap ✓ Done when completed"));
    }

    void outOfRangeValuesAreNotArmedAndStayStored_data() {
        QTest::addColumn<QByteArray>("member");
        QTest::newRow("hour 25") << QByteArray(dq("'hour':25,'minute':0"));
        QTest::newRow("minute 60") << QByteArray(dq("'hour':7,'minute':60"));
        QTest::newRow("huge hour") << QByteArray(dq("'hour':9000000000000,'minute':0"));
        QTest::newRow("month 13") << QByteArray(
            dq("'hour':7,'minute':0,'startDay':1,'startMonth':13,'startYear':2030"));
        QTest::newRow("day 40") << QByteArray(
            dq("'hour':7,'minute':0,'startDay':40,'startMonth':5,'startYear':2030"));
        QTest::newRow("year 100000") << QByteArray(
            dq("'hour':7,'minute':0,'startDay':1,'startMonth':5,'startYear':100000"));
    }
    void outOfRangeValuesAreNotArmedAndStayStored() {
        QFETCH(QByteArray, member);
        HealthEnv env(at(2024, 5, 6, 9, 0));
        const QByteArray doc = dq("[{'id':'A',") + member +
                               dq(",'text':'x','enabled':true,'dailyCheckpoint':true,'done':false,'"
                                  "dailyTarget':1,'shownCount':0,'shownDate':''}]");
        env.prefs.prefs().setData(kCustomReminders, doc);
        CustomReminderStore &s = CustomReminderStore::shared();
        QCOMPARE(int(s.items().size()), 1);
        s.scheduleAll();
        QVERIFY(!s.nextFire(QStringLiteral("A")));
        env.clock.advance(3 * 86400.0);
        QVERIFY(env.banners.shown.isEmpty());
        s.setDailyTarget(2, QStringLiteral("A")); // a save writes the odd values back as they were
        const auto b = CustomReminderDoc::decode(doc)->at(0);
        const auto a = CustomReminderDoc::decode(env.prefs.prefs().data(kCustomReminders))->at(0);
        QCOMPARE(a.dailyTarget, 2);
        QCOMPARE(std::tie(a.hour, a.minute, a.startDay, a.startMonth, a.startYear),
                 std::tie(b.hour, b.minute, b.startDay, b.startMonth, b.startYear));
    }

    // A suspend or a clock set by hand moves the wall clock without the timers noticing; the alarm
    // looks again when the watcher reports it.
    void alarmFollowsTheWallClockAfterSleepAndClockChanges() {
        HealthEnv env(at(2024, 5, 6, 7, 0));
        CustomReminderStore &s = CustomReminderStore::shared();
        const CustomReminder r = alarm(7, 30);
        s.add(r);
        // Asleep from 07:00 to 08:00: the alarm's minute passed, so it fires on waking, once.
        env.clock.setNow(at(2024, 5, 6, 8, 0));
        env.watcher.probe();
        QCOMPARE(env.banners.when, QList<QDateTime>{at(2024, 5, 6, 8, 0)});
        QCOMPARE(*s.nextFire(r.id), at(2024, 5, 7, 7, 30));

        // The clock set back an hour on the next morning: the alarm still waits for 07:30.
        env.clock.advance(23 * 3600.0); // 07:00 on the 7th
        env.clock.setNow(at(2024, 5, 7, 6, 0));
        env.watcher.probe();
        env.clock.advance(90 * 60 - 1);
        QCOMPARE(env.banners.when.size(), 1);
        env.clock.advance(1);
        QCOMPARE(env.banners.when.last(), at(2024, 5, 7, 7, 30));
    }

    void unreadableDocumentIsKeptAsideAndReplacedOnlyByTheNextChange() {
        HealthEnv env(at(2024, 5, 6, 9, 0));
        // One record lacks "dailyTarget": the whole document is unreadable.
        const QByteArray bad = dq("[{'id':'A','hour':7,'minute':0,'text':'x','enabled':true,'dailyCheckpoint'"
                                  ":false,'done':false,'dailyTarget':1,'shownCount':0,'shownDate':''},"
                                  "{'id':'B','hour':7,'minute':0,'text':'y','enabled':true,'dailyCheckpoint':"
                                  "false,'done':false,'shownCount':0,'shownDate':''}]");
        env.prefs.prefs().setData(kCustomReminders, bad);
        env.prefs.prefs().flush();
        CustomReminderStore &s = CustomReminderStore::shared();
        QVERIFY(s.items().empty());
        const QString aside = s.loadReport().keptAsideKey;
        QVERIFY(!aside.isEmpty());
        QCOMPARE(env.prefs.prefs().data(aside), bad);
        QCOMPARE(env.prefs.prefs().data(kCustomReminders), bad); // untouched until a change

        CustomReminder r = alarm(8, 5, QStringLiteral("Tea \"green\""));
        r.id = QStringLiteral("C");
        s.add(r);
        QCOMPARE(
            env.prefs.prefs().data(kCustomReminders),
            QByteArray(
                dq("[{'id':'C','hour':8,'minute':5,'text':'Tea \\qgreen\\q','enabled':true,"
                   "'dailyCheckpoint':false,'done':false,'dailyTarget':1,'shownCount':0,'shownDate':''}]")));
        env.prefs.reopen();
        QCOMPARE(env.prefs.prefs().data(aside), bad);
    }

    void documentDecoding_data() {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<int>("count"); // -1: unreadable
        const QByteArray ok =
            dq("[{'id':'A','hour':7,'minute':0,'text':'x','enabled':true,'dailyCheckpoint':false,"
               "'done':false,'dailyTarget':2,'shownCount':0,'shownDate':''}]");
        auto with = [&](const char *from, const char *to) {
            return QByteArray(ok).replace(dq(from), dq(to));
        };
        QTest::newRow("no start fields is a daily alarm") << ok << 1;
        QTest::newRow("null start fields and extra members")
            << with("'hour':7,", "'hour':7.0,'startDay':null,'other':[1],") << 1;
        QTest::newRow("empty array") << QByteArray("[]") << 0;
        QTest::newRow("hour as text") << with("'hour':7", "'hour':'7'") << -1;
        QTest::newRow("fractional minute") << with("'minute':0", "'minute':0.5") << -1;
        QTest::newRow("start day as text") << with("'enabled':true", "'enabled':true,'startDay':'1'") << -1;
        QTest::newRow("object, not array") << QByteArray(dq("{'id':'A'}")) << -1;
        QTest::newRow("truncated") << ok.left(70) << -1;
        QTest::newRow("deep nesting") << QByteArray(100000, '[') << -1;
        QTest::newRow("not JSON") << QByteArray("\xff\xfe garbage") << -1;
    }
    void documentDecoding() {
        QFETCH(QByteArray, doc);
        QFETCH(int, count);
        const auto got = CustomReminderDoc::decode(doc);
        QCOMPARE(got.has_value(), count >= 0);
        if (!got) return;
        QCOMPARE(int(got->size()), count);
        if (count) QCOMPARE(got->at(0).dateLabel(), QStringLiteral("Every day"));
    }

    void documentRoundTripsWithStartDate() {
        CustomReminder r = dated(6, 45, 3, 2, 2025, true);
        r.id = QStringLiteral("X");
        r.text = QStringLiteral("Йога 🧘");
        const QByteArray bytes = CustomReminderDoc::encode({r});
        QCOMPARE(bytes, QByteArray(dq("[{'id':'X','hour':6,'minute':45,'text':'Йога 🧘','enabled':true,"
                                      "'startDay':3,'startMonth':2,'startYear':2025,'dailyCheckpoint':true,"
                                      "'done':false,'dailyTarget':1,'shownCount':0,'shownDate':''}]")));
        const auto back = CustomReminderDoc::decode(bytes);
        QVERIFY(back);
        QCOMPARE(CustomReminderDoc::encode(*back), bytes);
    }
};

QTEST_MAIN(AlarmStoreTest)
#include "tst_alarm_store.moc"
