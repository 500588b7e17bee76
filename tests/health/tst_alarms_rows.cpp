#include "common/TestEnv.h"
#include "health/AlarmsRows.h"
#include "health/HReminder.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QtTest>

// The reminders page's rules without widgets: row ids, row texts and looks, the health countdown
// and the add-alarm sheet's date fields.
namespace {
const QDateTime kNow(QDate(2027, 3, 3), QTime(12, 0));

CustomReminder alarm(int h, int m, bool enabled, bool done, bool daily, std::optional<QDate> start = {}) {
    CustomReminder a;
    a.id = QStringLiteral("A1");
    a.hour = h;
    a.minute = m;
    a.enabled = enabled;
    a.done = done;
    a.dailyCheckpoint = daily;
    if (start) {
        a.startDay = start->day();
        a.startMonth = start->month();
        a.startYear = start->year();
    }
    return a;
}
} // namespace

Q_DECLARE_METATYPE(CustomReminder)

class TstAlarmsRows : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() { prefs = std::make_unique<TempPrefs>(); }
    void cleanup() { prefs.reset(); }

    void countdown_data() {
        QTest::addColumn<bool>("on");
        QTest::addColumn<double>("remaining");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("red");
        QTest::newRow("off") << false << 10.0 << QStringLiteral("⏸  Off") << false;
        QTest::newRow("not scheduled") << true << -1.0 << QStringLiteral("⏳  Starting…") << true;
        QTest::newRow("full hour, seconds cut")
            << true << 3599.9 << QStringLiteral("⏱  Next in  59:59") << false;
        QTest::newRow("three-digit minutes")
            << true << 14399.0 << QStringLiteral("⏱  Next in  239:59") << false;
        QTest::newRow("one minute is not red")
            << true << 60.0 << QStringLiteral("⏱  Next in  01:00") << false;
        QTest::newRow("under a minute is red")
            << true << 59.99 << QStringLiteral("⏱  Next in  00:59") << true;
    }
    void countdown() {
        QFETCH(bool, on);
        QFETCH(double, remaining);
        QFETCH(QString, text);
        QFETCH(bool, red);
        const QColor accent(10, 20, 30);
        const Countdown c = AlarmsRows::healthCountdown(on, remaining, accent);
        QCOMPARE(c.text, text);
        QCOMPARE(c.color, red ? QColor::fromRgbF(1.0f, 0.4f, 0.4f, 1.0f) : accent);
    }

    void timerAndHealthRows() {
        const AlarmRow t = AlarmsRows::timerRow(Phase::work, 1499.6, 1500, false);
        QCOMPARE(t.id, QStringLiteral("pom_timer"));
        QCOMPARE(t.subtitle, QStringLiteral("⏸  24:59"));
        QCOMPARE(t.title, QStringLiteral("Pomodoro · FOCUS"));
        QVERIFY(qAbs(t.pct - 0.4 / 1500) < 1e-9);
        QCOMPARE(AlarmsRows::timerRow(Phase::rest, 10, 0, true).pct, 0.0);
        QCOMPARE(AlarmsRows::timerRow(Phase::rest, 61, 300, true).subtitle, QStringLiteral("▶  01:01"));

        const HReminder water = HReminder::all().front();
        AlarmRow r = AlarmsRows::healthRow(water, true, 900, 60, QStringLiteral("2/8"));
        QCOMPARE(r.id, QStringLiteral("health_waterMins"));
        QCOMPARE(r.subtitle, QStringLiteral("⏱  15:00  ·  2/8"));
        QCOMPARE(r.pct, 0.75);
        r = AlarmsRows::healthRow(water, true, -1, 60, QStringLiteral("0/1"));
        QCOMPARE(r.subtitle, QStringLiteral("⏳  starting…"));
        QCOMPARE(r.pct, 0.0);
        r = AlarmsRows::healthRow(water, false, 900, 60, QStringLiteral("0/1"));
        QCOMPARE(r.subtitle, QStringLiteral("⏸  off"));
        QCOMPARE(r.pct, 0.0);
        // A wait longer than the interval (the stagger) leaves the bar empty, not negative.
        QCOMPARE(AlarmsRows::healthRow(water, true, 3615, 60, QStringLiteral("0/1")).pct, 0.0);
    }

    void alarmStates_data() {
        QTest::addColumn<CustomReminder>("a");
        QTest::addColumn<QString>("emoji");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<QString>("status");
        QTest::addColumn<double>("pct");
        const QString active = QStringLiteral("🕐  07:05  ·  0/1");
        QTest::newRow("daily") << alarm(7, 5, true, false, false) << "⏰" << active << "⏰  ACTIVE" << 1.0;
        QTest::newRow("checkpoint") << alarm(7, 5, true, false, true) << "🔁" << active << "🔁  ACTIVE · DAILY"
                                    << 1.0;
        QTest::newRow("paused") << alarm(7, 5, false, false, false) << "🔕"
                                << "⏸  off"
                                << "⏸  PAUSED" << 0.0;
        QTest::newRow("done") << alarm(7, 5, true, true, true) << "✅"
                              << "✓  done"
                              << "✓  DONE" << 0.0;
        QTest::newRow("done and off") << alarm(7, 5, false, true, true) << "✅"
                                      << "⏸  off"
                                      << "✓  DONE" << 0.0;
        QTest::newRow("dated, ahead") << alarm(12, 1, true, false, false, kNow.date()) << "⏰"
                                      << QStringLiteral("🕐  12:01  ·  0/1") << "⏰  ACTIVE" << 1.0;
        // Spent: a one-off whose moment has come can never fire again; it looks done, not active.
        QTest::newRow("dated, this minute") << alarm(12, 0, true, false, false, kNow.date()) << "✅"
                                            << "✓  done"
                                            << "✓  DONE" << 0.0;
        QTest::newRow("dated, past") << alarm(7, 5, true, false, false, QDate(2026, 1, 1)) << "✅"
                                     << "✓  done"
                                     << "✓  DONE" << 0.0;
        QTest::newRow("dated checkpoint, past") << alarm(7, 5, true, false, true, QDate(2026, 1, 1)) << "🔁"
                                                << active << "🔁  ACTIVE · DAILY" << 1.0;
        QTest::newRow("dated, past, off") << alarm(7, 5, false, false, false, QDate(2026, 1, 1)) << "🔕"
                                          << "⏸  off"
                                          << "⏸  PAUSED" << 0.0;
    }
    void alarmStates() {
        QFETCH(CustomReminder, a);
        QFETCH(QString, emoji);
        QFETCH(QString, subtitle);
        QFETCH(QString, status);
        QFETCH(double, pct);
        const AlarmRow r = AlarmsRows::customRow(a, kNow, QStringLiteral("0/1"));
        QCOMPARE(r.id, QStringLiteral("custom_A1"));
        QCOMPARE(r.emoji, emoji);
        QCOMPARE(r.subtitle, subtitle);
        QCOMPARE(r.pct, pct);
        const AlarmLook look = AlarmsRows::alarmLook(a, kNow);
        QCOMPARE(look.emoji, emoji);
        QCOMPARE(look.status, status);
        const bool doneLook = emoji == QStringLiteral("✅");
        if (doneLook) {
            QCOMPARE(r.accent, VF::accentDim());
            QCOMPARE(look.accent, VF::accentDim());
            QCOMPARE(look.statusColor, VF::accent());
        }
    }

    void alarmTitleAndTime() {
        CustomReminder a = alarm(7, 5, true, false, false, QDate(2027, 3, 3));
        QCOMPARE(AlarmsRows::alarmTitle(a), QStringLiteral("Alarm"));
        QCOMPARE(AlarmsRows::alarmTimeText(a), QStringLiteral("07:05   ·   📅 03.03.2027"));
        a.dailyCheckpoint = true;
        QCOMPARE(AlarmsRows::alarmTimeText(a), QStringLiteral("07:05   ·   📅 03.03.2027   🔁"));
        L::setLang(AppLang::de);
        const CustomReminder daily = alarm(7, 5, true, false, false);
        QCOMPARE(AlarmsRows::alarmTimeText(daily), QStringLiteral("07:05   ·   Täglich"));
        L::setLang(AppLang::uk);
        QCOMPARE(AlarmsRows::alarmTitle(daily), QStringLiteral("Нагадування"));
        L::setLang(AppLang::en);
    }

    void wholeNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("value");
        QTest::newRow("plain") << "5" << true << qint64(5);
        QTest::newRow("spaces") << " 5 " << true << qint64(5);
        QTest::newRow("plus") << "+5" << true << qint64(5);
        QTest::newRow("minus") << "-5" << true << qint64(-5);
        QTest::newRow("max") << "9223372036854775807" << true << std::numeric_limits<qint64>::max();
        QTest::newRow("min") << "-9223372036854775808" << true << std::numeric_limits<qint64>::min();
        QTest::newRow("one past max") << "9223372036854775808" << false << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0);
        QTest::newRow("sign only") << "+" << false << qint64(0);
        QTest::newRow("two signs") << "--5" << false << qint64(0);
        QTest::newRow("letter") << "5a" << false << qint64(0);
        QTest::newRow("inner space") << "1 2" << false << qint64(0);
        QTest::newRow("decimal") << "5.0" << false << qint64(0);
        QTest::newRow("arabic-indic digit") << QStringLiteral("٥") << false << qint64(0);
        QTest::newRow("full-width digit") << QStringLiteral("５") << false << qint64(0);
        QTest::newRow("newline is not trimmed") << "5\n" << false << qint64(0);
    }
    void wholeNumbers() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(qint64, value);
        const auto v = AlarmsRows::parseWholeNumber(text);
        QCOMPARE(v.has_value(), ok);
        if (ok) QCOMPARE(*v, value);
    }

    // Each case is "day|month|year=result", the result "daily", "invalid" or "d.m.y".
    void startDates_data() {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("result");
        QTest::newRow("blank day and month, year kept") << QStringLiteral("||2027") << QStringLiteral("daily");
        QTest::newRow("all blank") << QStringLiteral(" |\t|") << QStringLiteral("daily");
        QTest::newRow("month without day") << QStringLiteral("|3|2027") << QStringLiteral("invalid");
        QTest::newRow("year cleared") << QStringLiteral("3|3|") << QStringLiteral("invalid");
        QTest::newRow("month missing") << QStringLiteral("3||2027") << QStringLiteral("invalid");
        QTest::newRow("padded and signed") << QStringLiteral(" 5 |+5|2030") << QStringLiteral("5.5.2030");
        QTest::newRow("leap day") << QStringLiteral("29|02|2028") << QStringLiteral("29.2.2028");
        QTest::newRow("31 February runs on later") << QStringLiteral("31|2|2026") << QStringLiteral("31.2.2026");
        QTest::newRow("day 0") << QStringLiteral("0|1|2027") << QStringLiteral("invalid");
        QTest::newRow("day 32") << QStringLiteral("32|1|2027") << QStringLiteral("invalid");
        QTest::newRow("month 0") << QStringLiteral("1|0|2027") << QStringLiteral("invalid");
        QTest::newRow("month 13") << QStringLiteral("1|13|2027") << QStringLiteral("invalid");
        QTest::newRow("year 2019") << QStringLiteral("1|1|2019") << QStringLiteral("invalid");
        QTest::newRow("year 2020") << QStringLiteral("1|1|2020") << QStringLiteral("1.1.2020");
        QTest::newRow("year 9999") << QStringLiteral("31|12|9999") << QStringLiteral("31.12.9999");
        QTest::newRow("year 10000") << QStringLiteral("1|1|10000") << QStringLiteral("invalid");
        QTest::newRow("year at the 64-bit end") << QStringLiteral("1|1|9223372036854775807") << QStringLiteral("invalid");
        QTest::newRow("letters") << QStringLiteral("1a|1|2027") << QStringLiteral("invalid");
        QTest::newRow("non-ASCII digits") << QStringLiteral("٣|1|2027") << QStringLiteral("invalid");
    }
    void startDates() {
        QFETCH(QString, fields);
        QFETCH(QString, result);
        const QStringList f = fields.split(QLatin1Char('|'));
        const StartDateInput d = AlarmsRows::parseStartDate(f[0], f[1], f[2]);
        QString got = !d.valid      ? QStringLiteral("invalid")
                      : d.isDaily() ? QStringLiteral("daily")
                                    : QStringLiteral("%1.%2.%3").arg(*d.day).arg(*d.month).arg(*d.year);
        QCOMPARE(got, result);
    }

    void newAlarmRecord() {
        const CustomReminder daily = AlarmsRows::newAlarm(9, 0, QStringLiteral(" \t "),
                                                          AlarmsRows::parseStartDate("", "", "2027"), true);
        QCOMPARE(daily.text, QString());
        QVERIFY(!daily.startDay && !daily.startMonth && !daily.startYear);
        QVERIFY(daily.enabled && daily.dailyCheckpoint && !daily.done);
        QCOMPARE(daily.dailyTarget, qint64(1));
        QCOMPARE(daily.shownCount, qint64(0));
        QVERIFY(!daily.id.isEmpty());
        const CustomReminder dated = AlarmsRows::newAlarm(
            7, 5, QStringLiteral("  Take vitamins "), AlarmsRows::parseStartDate("3", "3", "2027"), false);
        QCOMPARE(dated.text, QStringLiteral("Take vitamins"));
        QCOMPARE(*dated.startDay, qint64(3));
        QCOMPARE(*dated.startYear, qint64(2027));
        QVERIFY(dated.startDate().has_value());
    }
};

QTEST_MAIN(TstAlarmsRows)
#include "tst_alarms_rows.moc"
