#include "common/TestEnv.h"
#include "platform/Keys.h"
#include "stats/StatsModel.h"
#include <QtTest>
#include <limits>

namespace {
Task task(const char *cat, int d, int m, int y, bool done) {
    Task t;
    t.id = QString::number(qHash(QString::fromLatin1(cat)) ^ uint(d * 31 + m));
    t.title = QStringLiteral("T");
    t.category = QString::fromLatin1(cat);
    t.day = d;
    t.month = m;
    t.year = y;
    t.completed = done;
    return t;
}
FinEntry fin(const char *date, const char *cat, FinType type, double amount) {
    FinEntry e;
    e.id = QString::fromLatin1(date) + QString::fromLatin1(cat);
    e.dateStr = QString::fromLatin1(date);
    e.category = QString::fromLatin1(cat);
    e.type = type;
    e.amount = amount;
    const QStringList p = e.dateStr.split(QLatin1Char('.'));
    e.month = p.value(1).toLongLong();
    e.year = p.value(2).toLongLong();
    return e;
}
ExerciseRecord run(const char *name, const char *emoji, int d, int m, int y, qint64 secs) {
    return {QStringLiteral("id"), QString::fromUtf8(name), QString::fromUtf8(emoji), d, m, y, secs};
}
StatsPeriod month(int m, int y) {
    return {StatsMode::month, QDate(y, m, 1)};
}
StatsPeriod day(int d, int m, int y) {
    return {StatsMode::day, QDate(y, m, d)};
}
// A snapshot with today the 10th of March 2026 and nothing recorded.
StatsSnapshot empty() {
    StatsSnapshot s;
    s.today = QDate(2026, 3, 10);
    return s;
}
const StatsRow *row(const StatsSection &sec, const QString &label) {
    for (const StatsRow &r : sec.rows)
        if (r.label == label) return &r;
    return nullptr;
}
} // namespace

// The statistics figures, the report and the CSV, worked from hand-made snapshots.
class TstStatsModel : public QObject {
    Q_OBJECT
    TempPrefs prefs;

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() { L::setLang(AppLang::en); }

    void timerFigures_data() {
        QTest::addColumn<qint64>("cycles");
        QTest::addColumn<qint64>("perLong");
        QTest::addColumn<double>("breakMins");
        QTest::addColumn<QString>("shortText");
        QTest::addColumn<QString>("longText");
        QTest::newRow("9 of 4") << qint64(9) << qint64(4) << 0.0 << "35 min" << "30 min";
        QTest::newRow("per-long 0 acts as 4") << qint64(9) << qint64(0) << 0.0 << "35 min" << "30 min";
        QTest::newRow("7.9 minutes count 7") << qint64(3) << qint64(4) << 7.9 << "21 min" << "0 min";
        QTest::newRow("not a number: default") << qint64(1) << qint64(4) << std::numeric_limits<double>::quiet_NaN()
                                               << "5 min" << "0 min";
        QTest::newRow("huge counts saturate") << std::numeric_limits<qint64>::max() << qint64(1) << 1e300
                                              << "0 min" << "9223372036854775807 min";
    }
    void timerFigures() {
        QFETCH(qint64, cycles);
        QFETCH(qint64, perLong);
        QFETCH(double, breakMins);
        StatsSnapshot s = empty();
        s.timer.cycleCount = cycles;
        s.timer.cyclesBeforeLong = perLong;
        s.timer.breakMins = breakMins;
        const StatsModel m = buildStatsModel(s, month(3, 2026));
        QCOMPARE(m.timer.rows.size(), size_t(6));
        QTEST(m.timer.rows[2].value, "shortText");
        QTEST(m.timer.rows[3].value, "longText");
    }

    void timerPeriods() {
        StatsSnapshot s = empty();
        s.timer = {.todayCount = 3, .focusSecsToday = 1500, .totalCount = 37, .focusSecs = 1500,
                   .lastDate = QStringLiteral("2026-3-10"), .streak = 15};
        // Current month: all-time sessions, goal row over the default goal, both bars full.
        StatsModel m = buildStatsModel(s, month(3, 2026));
        QCOMPARE(m.timer.rows[0].value, QStringLiteral("37"));
        QCOMPARE(m.timer.rows[1].value, QStringLiteral("25 min"));
        QCOMPARE(m.timer.rows[5].value, QStringLiteral("37/8"));
        QCOMPARE(m.timer.rows[5].fraction, 1.0);
        QCOMPARE(m.timer.rows[4].fraction, 0.5);
        // Another month: no sessions and no focus, the streak stays.
        m = buildStatsModel(s, month(2, 2026));
        QCOMPARE(m.timer.rows[0].value, QStringLiteral("0"));
        QCOMPARE(m.timer.rows[1].value, QStringLiteral("0 min"));
        QCOMPARE(m.timer.rows[4].value, QStringLiteral("15 d"));
        // The counters' day in the previous month: this month shows no focus time from it.
        s.timer.lastDate = QStringLiteral("2026-2-28");
        QCOMPARE(buildStatsModel(s, month(3, 2026)).timer.rows[1].value, QStringLiteral("0 min"));
        QCOMPARE(buildStatsModel(s, month(2, 2026)).timer.rows[1].value, QStringLiteral("25 min"));
        // Day mode: today's counters today, nothing on other days.
        QCOMPARE(buildStatsModel(s, day(10, 3, 2026)).timer.rows[5].value, QStringLiteral("3/8"));
        QCOMPARE(buildStatsModel(s, day(9, 3, 2026)).timer.rows[5].value, QStringLiteral("0/8"));
        s.lang = AppLang::uk;
        QCOMPARE(buildStatsModel(s, day(9, 3, 2026)).timer.title, QStringLiteral("ПОМОДОРО"));
    }

    void streakHelper_data() {
        QTest::addColumn<QString>("last");
        QTest::addColumn<qint64>("shown");
        QTest::newRow("today") << "2026-3-1" << qint64(6);
        QTest::newRow("yesterday across a month end") << "2026-2-28" << qint64(6);
        QTest::newRow("two days ago") << "2026-2-27" << qint64(0);
        QTest::newRow("never") << "" << qint64(0);
        QTest::newRow("padded form is not the timer's") << "2026-02-28" << qint64(0);
    }
    void streakHelper() {
        QFETCH(QString, last);
        QTEST(shownStreak(6, last, QDate(2026, 3, 1)), "shown");
        // The same through the preferences and the clock, as both pages read it.
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0)));
        prefs.prefs().setInt(kPomStreak, 6);
        prefs.prefs().setString(kPomStreakLast, last);
        QTEST(shownStreak(), "shown");
    }

    // The exercises card counts its sessions with the form their number asks for.
    void sessionsTakeTheirForm_data() {
        QTest::addColumn<int>("lang");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        const QList<std::tuple<int, const char *, const char *, const char *>> rows = {
            {0, "0 сеансів", "0 sesji", "0 sessions"},   {1, "1 сеанс", "1 sesja", "1 session"},
            {2, "2 сеанси", "2 sesje", "2 sessions"},    {5, "5 сеансів", "5 sesji", "5 sessions"},
            {21, "21 сеанс", "21 sesji", "21 sessions"}, {22, "22 сеанси", "22 sesje", "22 sessions"},
            {25, "25 сеансів", "25 sesji", "25 sessions"}, {166, "166 сеансів", "166 sesji", "166 sessions"}};
        for (const auto &[n, uk, pl, en] : rows) {
            QTest::addRow("uk %d", n) << int(AppLang::uk) << n << QString::fromUtf8(uk);
            QTest::addRow("pl %d", n) << int(AppLang::pl) << n << QString::fromUtf8(pl);
            QTest::addRow("en %d", n) << int(AppLang::en) << n << QString::fromUtf8(en);
        }
    }
    void sessionsTakeTheirForm() {
        QFETCH(int, lang);
        QFETCH(int, n);
        QFETCH(QString, expected);
        StatsSnapshot s = empty();
        s.lang = AppLang(lang);
        s.exercises.assign(size_t(n), run("Neck", "🙆", 1, 3, 2026, 0));
        const QString figure = buildStatsModel(s, day(1, 3, 2026)).cards[1].figure;
        QCOMPARE(figure.section(QStringLiteral(" · "), 0, 0), expected);
    }

    void exercisesAndCards() {
        StatsSnapshot s = empty();
        s.exercises = {run("Box Breathing", "📦", 1, 3, 2026, 50), run("Wrists", "✋", 2, 3, 2026, 40),
                       run("Box Breathing", "🫁", 3, 3, 2026, 90), run("Neck", "🙆", 3, 3, 2026, 30),
                       run("Box Breathing", "🫁", 4, 3, 2026, 90), run("Other month", "x", 4, 4, 2026, 999)};
        const StatsModel m = buildStatsModel(s, month(3, 2026));
        QCOMPARE(m.exercises.rows.size(), size_t(3));
        QCOMPARE(m.exercises.rows[0].label, QStringLiteral("Box Breathing"));
        QCOMPARE(m.exercises.rows[0].emoji, QStringLiteral("📦")); // the earliest record's
        QCOMPARE(m.exercises.rows[0].value, QStringLiteral("3×"));
        QCOMPARE(m.exercises.rows[1].label, QStringLiteral("Wrists")); // equal counts: first seen first
        QCOMPARE(m.exercises.rows[1].fraction, 1.0 / 3.0);
        QCOMPARE(m.cards[1].figure, QStringLiteral("5 sessions · 5m"));
        // 50 s + 40 s make one whole minute.
        QCOMPARE(buildStatsModel(s, day(1, 3, 2026)).cards[1].figure, QStringLiteral("1 session · 0m"));
        s.exercises.resize(2);
        s.exercises[1].day = 1;
        QCOMPARE(buildStatsModel(s, day(1, 3, 2026)).cards[1].figure, QStringLiteral("2 sessions · 1m"));
        s.lang = AppLang::uk;
        const StatsModel uk = buildStatsModel(s, day(1, 3, 2026));
        QCOMPARE(uk.cards[1].figure, QStringLiteral("2 сеанси · 1хв"));
        QCOMPARE(uk.cards[0].title, QStringLiteral("ПОМОДОРО"));
        QVERIFY(!buildStatsModel(s, day(2, 3, 2026)).exercises.emptyText.isEmpty());

        // A restored history may hold negative durations: they count as no time, never subtract.
        s.lang = AppLang::en;
        s.exercises = {run("Neck", "🙆", 1, 3, 2026, -600), run("Wrists", "✋", 1, 3, 2026, 120)};
        QCOMPARE(buildStatsModel(s, day(1, 3, 2026)).cards[1].figure, QStringLiteral("2 sessions · 2m"));
        const QString report = StatsText::reportText(s, day(1, 3, 2026));
        QVERIFY2(report.contains(QStringLiteral("\n  Time:     2 min\n  · Neck (0 min)\n")),
                 qPrintable(report));
    }

    void tasks() {
        StatsSnapshot s = empty();
        for (int i = 0; i < 4; ++i) s.tasks.push_back(task("work", 5, 3, 2026, i < 3));
        s.tasks.push_back(task("personal", 6, 3, 2026, false));
        s.tasks.push_back(task("health", 6, 4, 2026, true)); // planned for April
        s.tasks.push_back(task("chores", 6, 3, 2026, true));  // no known category: counts in the total only
        const StatsModel m = buildStatsModel(s, month(3, 2026));
        QCOMPARE(m.tasks.rows.size(), size_t(3));
        QCOMPARE(m.tasks.rows[0].value, QStringLiteral("6"));
        QCOMPARE(m.tasks.rows[1].value, QStringLiteral("4 · 75%"));
        QCOMPARE(m.tasks.rows[1].fraction, 4.0 / 6.0);
        QCOMPARE(m.tasks.rows[2].value, QStringLiteral("1 · 0%"));
        QCOMPARE(m.cards[2].figure, QStringLiteral("4/6 · 66%"));
        QCOMPARE(buildStatsModel(empty(), month(3, 2026)).cards[2].figure, QStringLiteral("0/0 · 0%"));
    }

    void finances() {
        StatsSnapshot s = empty();
        s.finances = {fin("05.03.2026", "Food", FinType::expense, 120.4),
                      fin("06.03.2026", "Transport", FinType::expense, 300),
                      fin("07.03.2026", "Food", FinType::expense, 80),
                      fin("07.03.2026", "Housing", FinType::expense, 200.4), // equal to Food: after it
                      fin("07.03.2026", "Investments", FinType::income, 100),
                      fin("07.03.2026", "Broken", FinType::income, std::numeric_limits<double>::quiet_NaN())};
        s.finances.push_back(fin("5.3.2026", "Gift", FinType::income, 1)); // a day written another way
        const StatsModel m = buildStatsModel(s, month(3, 2026));
        QStringList got;
        for (const StatsRow &r : m.finances.rows) got << r.emoji + r.label + QLatin1Char('=') + r.value;
        QCOMPARE(got, QStringList({"🔴Balance=₴-600", "INCOME=", "💰Investments=₴100", "🎁Gift=₴1", "💰Broken=₴0",
                                   "➕Total income=₴101", "EXPENSES=", "🚗Transport=₴300", "🍕Food=₴200",
                                   "🏠Housing=₴200", "➖Total expenses=₴701"}));
        QCOMPARE(row(m.finances, "Food")->fraction, 200.4 / 300);
        // Day mode matches the stored day string exactly.
        const StatsModel d5 = buildStatsModel(s, day(5, 3, 2026));
        QCOMPARE(d5.finances.rows.size(), size_t(4)); // balance, EXPENSES, Food, total: no Gift
        QCOMPARE(d5.cards[3].figure, QStringLiteral("Balance ₴-120"));
        const StatsModel none = buildStatsModel(s, day(9, 3, 2026));
        QCOMPARE(none.finances.rows.size(), size_t(1));
        QCOMPARE(none.finances.rows[0].value, QStringLiteral("+₴0"));
        QVERIFY(!none.finances.emptyText.isEmpty());
        QCOMPARE(StatsText::money0(-300.6, true), QStringLiteral("₴-301"));
        QCOMPARE(StatsText::money0(std::numeric_limits<double>::infinity(), true), QStringLiteral("+₴0"));
        QCOMPARE(StatsText::money0(-1e300, false), QStringLiteral("₴-1000000000000"));
        // German: "Gesundheit" is the health key, the English word is not.
        s.lang = AppLang::de;
        s.finances = {fin("05.03.2026", "Health", FinType::expense, 1), fin("05.03.2026", "Gesundheit", FinType::expense, 2)};
        const StatsModel de = buildStatsModel(s, month(3, 2026));
        QCOMPARE(row(de.finances, "Gesundheit")->emoji, QStringLiteral("❤️"));
        QCOMPARE(row(de.finances, "Health")->emoji, QStringLiteral("📦"));
    }

    void periods() {
        QCOMPARE(stepPeriod(day(31, 12, 2026), 1), day(1, 1, 2027));
        QCOMPARE(stepPeriod(day(1, 3, 2026), -1), day(28, 2, 2026));
        QCOMPARE(stepPeriod(month(1, 2026), -1), month(12, 2025));
        QCOMPARE(stepPeriod({StatsMode::month, QDate(2026, 1, 31)}, 1).date, QDate(2026, 2, 28));
        QCOMPARE(StatsText::periodLabel(month(12, 2026), AppLang::en), QStringLiteral("December 2026"));
        QCOMPARE(StatsText::periodLabel(day(5, 12, 2026), AppLang::en), QStringLiteral("5 December"));
        QCOMPARE(StatsText::periodLabel(day(5, 12, 2026), AppLang::fr), QStringLiteral("5 décembre"));
        QCOMPARE(StatsText::fileName(day(5, 3, 2026), ".txt"), QStringLiteral("mivo-stats-2026-03-05.txt"));
        QCOMPARE(StatsText::fileName(month(12, 2026), ".csv"), QStringLiteral("mivo-stats-2026-12.csv"));
    }

    void goldenReport() {
        QFile f(QStringLiteral(MIVO_TEST_DATA "/stats/report-month.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(StatsText::reportText(sample(), month(3, 2026)), QString::fromUtf8(f.readAll()));
        StatsSnapshot s = empty();
        s.timer = {.todayCount = 2, .focusSecsToday = 3000, .totalCount = 9, .focusSecs = 3000, .lastDate = {}, .streak = 0};
        const QString today = StatsText::reportText(s, day(10, 3, 2026));
        QVERIFY(today.contains(QStringLiteral("\n  Sessions today:  2\n  Focus time:      50 min\n")));
        QVERIFY(today.contains(QStringLiteral("\n  Total:     0\n  Completed: 0\n  Rate:      —\n\n")));
        QVERIFY(today.contains(QStringLiteral("\n  Balance:  +₴ 0.00\n")));
        QVERIFY(StatsText::reportText(s, day(9, 3, 2026)).contains(QStringLiteral("\n  Total sessions:  9\n")));
    }

    void goldenCsv() {
        QCOMPARE(StatsText::csvText(sample(), month(3, 2026)),
                 QStringLiteral("Section,Key,Value\nPomodoro,Sessions,2\nPomodoro,Total Sessions,40\n"
                                "Pomodoro,Streak Days,4\nPomodoro,Focus Mins,50\nTasks,Total,3\nTasks,Completed,2\n"
                                "Tasks,Work,2\nTasks,Health,1\nTasks,Personal,0\nTasks,Projects,0\n"
                                "Finances,Income,487.90\nFinances,Expenses,500.40\nFinances,Balance,-12.50"));
        L::setLang(AppLang::de);
        StatsSnapshot s = sample();
        s.lang = AppLang::de;
        QVERIFY(StatsText::csvText(s, month(3, 2026)).contains(QStringLiteral("\nTasks,Arbeit,2\n")));
    }

private:
    static StatsSnapshot sample() {
        StatsSnapshot s = empty();
        s.timer = {.todayCount = 2, .focusSecsToday = 3000, .totalCount = 40, .focusSecs = 3000,
                   .lastDate = QStringLiteral("2026-3-10"), .streak = 4};
        // April's task is outside March: no figure of March counts it.
        s.tasks = {task("work", 2, 3, 2026, true), task("health", 3, 3, 2026, false), task("work", 4, 3, 2026, true),
                   task("work", 2, 4, 2026, false)};
        s.exercises = {run("Box Breathing", "🫁", 1, 3, 2026, 90), run("Neck", "🙆", 2, 3, 2026, 90),
                       run("Neck", "🙆", 2, 3, 2026, 59)};
        s.finances = {fin("05.03.2026", "Food", FinType::expense, 120.4), fin("06.03.2026", "Transport", FinType::expense, 300),
                      fin("07.03.2026", "Food", FinType::expense, 80), fin("08.03.2026", "Salary", FinType::income, 487.9)};
        return s;
    }
};

QTEST_MAIN(TstStatsModel)
#include "tst_model.moc"
