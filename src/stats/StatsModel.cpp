#include "stats/StatsModel.h"
#include "board/BoardRules.h"
#include "finance/FinReports.h"
#include "exercises/ExerciseHistory.h"
#include "finance/FinanceStore.h"
#include "platform/Clock.h"
#include "platform/Keys.h"
#include "platform/Prefs.h"
#include "pomodoro/PomodoroTimer.h"
#include "pomodoro/TaskStore.h"
#include <QHash>
#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {
// Amounts beyond this are held at it: sums stay finite and the page's texts stay short.
constexpr double kMaxAmount = 1e12;

qint64 satAdd(qint64 a, qint64 b) {
    qint64 r;
    if (__builtin_add_overflow(a, b, &r)) return b > 0 ? INT64_MAX : INT64_MIN;
    return r;
}
qint64 satMul(qint64 a, qint64 b) {
    qint64 r;
    if (__builtin_mul_overflow(a, b, &r)) return (a < 0) != (b < 0) ? INT64_MIN : INT64_MAX;
    return r;
}
double frac(double v) {
    return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0;
}
double cleanAmount(double v) {
    return std::isfinite(v) ? std::clamp(v, -kMaxAmount, kMaxAmount) : 0.0;
}
// Whole minutes of a stored length: the default when not a usable number.
qint64 wholeMinutes(double v, qint64 dflt) {
    if (!std::isfinite(v) || !(v > 0)) return dflt;
    return qint64(std::min(v, PomodoroTimer::kMaxMinutes));
}
QString pick(const Tr &t, AppLang l) {
    switch (l) {
    case AppLang::en: return QString::fromUtf8(t.en);
    case AppLang::es: return QString::fromUtf8(t.es);
    case AppLang::de: return QString::fromUtf8(t.de);
    case AppLang::fr: return QString::fromUtf8(t.fr);
    case AppLang::uk: return QString::fromUtf8(t.uk);
    case AppLang::pl: return QString::fromUtf8(t.pl);
    }
    return QString::fromUtf8(t.en);
}
QColor rgb(double r, double g, double b, double a = 1) {
    return QColor::fromRgbF(float(r), float(g), float(b), float(a));
}
const QColor kTomato = rgb(1.0, 0.38, 0.3);
const QColor kGreen = rgb(0.13, 0.77, 0.37);
const QColor kBlue = rgb(0.31, 0.62, 1.0);
const QColor kOrange = rgb(1.0, 0.353, 0.0);
const QColor kRed = rgb(1.0, 0.35, 0.35);

QColor catColor(TaskCat c) {
    switch (c) {
    case TaskCat::work: return kBlue;
    case TaskCat::health: return rgb(0.22, 0.8, 0.6);
    case TaskCat::personal: return kOrange;
    case TaskCat::projects: return rgb(0.9, 0.4, 0.7);
    }
    return kBlue;
}

// The displayed period as day, month and year numbers, and the in-the-period rule.
struct Range {
    StatsMode mode;
    qint64 d, m, y;
    bool has(qint64 day, qint64 month, qint64 year) const {
        return month == m && year == y && (mode == StatsMode::month || day == d);
    }
};
Range rangeOf(const StatsPeriod &p) {
    return {p.mode, p.date.day(), p.date.month(), p.date.year()};
}

std::vector<Task> periodTasks(const StatsSnapshot &s, const Range &r) {
    std::vector<Task> out;
    for (const Task &t : s.tasks)
        if (r.has(t.day, t.month, t.year)) out.push_back(t);
    return out;
}
std::vector<ExerciseRecord> periodRuns(const StatsSnapshot &s, const Range &r) {
    std::vector<ExerciseRecord> out;
    for (const ExerciseRecord &e : s.exercises)
        if (r.has(e.day, e.month, e.year)) out.push_back(e);
    return out;
}
// A negative duration (possible only in a hand-edited or restored history) counts as no time.
qint64 runSecs(const ExerciseRecord &e) {
    return std::max<qint64>(e.durationSecs, 0);
}
qint64 secondsOf(const std::vector<ExerciseRecord> &runs) {
    qint64 sum = 0;
    for (const ExerciseRecord &e : runs)
        sum = satAdd(sum, runSecs(e));
    return sum;
}
// The entries of the period with their amounts made safe to add, compare and print.
std::vector<FinEntry> periodEntries(const StatsSnapshot &s, const Range &r) {
    const QString day = finDateStr(int(r.d), int(r.m), int(r.y));
    std::vector<FinEntry> out;
    for (FinEntry e : s.finances) {
        const bool in = r.mode == StatsMode::day ? e.dateStr == day : (e.month == r.m && e.year == r.y);
        if (!in) continue;
        e.amount = cleanAmount(e.amount);
        out.push_back(std::move(e));
    }
    return out;
}
// Income and expenses of the period as the store sums them: the day's entries in Day mode, the
// month sums in Month mode.
struct Money {
    double income = 0, expenses = 0;
    double balance() const { return income - expenses; }
};
Money moneyOf(const StatsSnapshot &s, const Range &r) {
    Money m;
    if (r.mode == StatsMode::day) {
        for (const FinEntry &e : periodEntries(s, r))
            (e.type == FinType::income ? m.income : m.expenses) += e.amount;
        return m;
    }
    std::vector<FinEntry> all = s.finances;
    for (FinEntry &e : all) e.amount = cleanAmount(e.amount);
    const FinMonth fm = finMonth(all, r.m, r.y);
    return {fm.income, fm.expenses};
}

// Day of the timer counters ("y-m-d" without leading zeros); invalid when it does not parse.
QDate counterDay(const QString &s) {
    const QStringList parts = s.split(QLatin1Char('-'));
    if (parts.size() != 3) return {};
    bool ok1 = false, ok2 = false, ok3 = false;
    const QDate d(parts[0].toInt(&ok1), parts[1].toInt(&ok2), parts[2].toInt(&ok3));
    return ok1 && ok2 && ok3 ? d : QDate();
}

StatsSection timerSection(const StatsSnapshot &s, const StatsPeriod &p) {
    const TimerCounters &c = s.timer;
    const bool isDay = p.mode == StatsMode::day;
    const bool isToday = isDay && p.date == s.today;
    const bool curMonth = !isDay && p.date.month() == s.today.month() && p.date.year() == s.today.year();
    const QDate lastDay = counterDay(c.lastDate);
    const bool focusInMonth =
        !isDay && lastDay.isValid() && lastDay.month() == p.date.month() && lastDay.year() == p.date.year();

    const qint64 sessions = isDay ? (isToday ? c.todayCount : 0) : (curMonth ? c.totalCount : 0);
    // In Month mode the counter holds the focus time of its own day, which counts only in its month.
    const qint64 focusMin = isDay ? (isToday ? c.focusSecsToday / 60 : 0) : (focusInMonth ? c.focusSecs / 60 : 0);
    const qint64 goal = c.dailyGoal < 1 ? 8 : c.dailyGoal;
    const qint64 perLong = c.cyclesBeforeLong > 0 ? c.cyclesBeforeLong : 4;
    const qint64 longs = std::max<qint64>(c.cycleCount / perLong, 0);
    const qint64 shorts = std::max<qint64>(satAdd(c.cycleCount, -longs), 0);
    const qint64 shortMin = satMul(shorts, wholeMinutes(c.breakMins, 5));
    const qint64 longMin = satMul(longs, wholeMinutes(c.longBreakMins, 15));
    const double D = double(std::max<qint64>(satAdd(satAdd(focusMin, shortMin), longMin), 1));
    const double goalFrac = frac(double(sessions) / double(goal));

    StatsSection sec;
    sec.title = s.lang == AppLang::uk ? QStringLiteral("ПОМОДОРО") : QStringLiteral("POMODORO");
    sec.color = kTomato;
    const QString min = QStringLiteral(" min");
    auto add = [&](const char *emoji, const Tr &label, const QString &value, QColor col, double f) {
        sec.rows.push_back({QString::fromUtf8(emoji), pick(label, s.lang), value, frac(f), col, false});
    };
    add("🍅", {.en = "Total sessions", .es = "Sesiones", .de = "Sitzungen", .fr = "Séances", .uk = "Загальні сеанси", .pl = "Łączne sesje"},
        QString::number(sessions), kTomato, goalFrac);
    add("⏱", {.en = "Focus", .es = "Foco", .de = "Fokus", .fr = "Focus", .uk = "Фокус", .pl = "Skupienie"},
        QString::number(focusMin) + min, kTomato, double(focusMin) / D);
    QColor c65 = kTomato, c45 = kTomato;
    c65.setAlphaF(0.65f);
    c45.setAlphaF(0.45f);
    add("☕", {.en = "Break", .es = "Pausa", .de = "Pause", .fr = "Pause", .uk = "Перерва", .pl = "Przerwa"},
        QString::number(shortMin) + min, c65, double(shortMin) / D);
    add("🌙", {.en = "Long break", .es = "Pausa larga", .de = "Lange Pause", .fr = "Longue pause", .uk = "Довга перерва", .pl = "Długa przerwa"},
        QString::number(longMin) + min, c45, double(longMin) / D);
    add("🔥", {.en = "Streak", .es = "Racha", .de = "Serie", .fr = "Série", .uk = "Серія", .pl = "Seria"},
        QString::number(c.streak) + QStringLiteral(" d"), rgb(1.0, 0.6, 0.1), double(c.streak) / 30.0);
    add("🎯", {.en = "Daily goal", .es = "Meta diaria", .de = "Tagesziel", .fr = "Objectif jour", .uk = "Денна мета", .pl = "Cel dzienny"},
        QString::number(sessions) + QLatin1Char('/') + QString::number(goal), rgb(0.8, 0.4, 1.0), goalFrac);
    return sec;
}

StatsSection exerciseSection(const StatsSnapshot &s, const Range &r) {
    StatsSection sec;
    sec.title = pick({.en = "EXERCISES", .es = "EJERCICIOS", .de = "ÜBUNGEN", .fr = "EXERCICES", .uk = "ВПРАВИ", .pl = "ĆWICZENIA"}, s.lang);
    sec.color = kGreen;
    struct Group {
        QString emoji, name;
        qint64 count = 0;
    };
    std::vector<Group> groups;
    QHash<QString, size_t> at;
    for (const ExerciseRecord &e : periodRuns(s, r)) {
        auto it = at.find(e.name);
        if (it == at.end()) {
            it = at.insert(e.name, groups.size());
            groups.push_back({e.emoji, e.name, 0});
        }
        ++groups[*it].count;
    }
    if (groups.empty()) {
        sec.emptyText = pick({.en = "No exercise sessions recorded.", .es = "Sin sesiones registradas.",
                              .de = "Keine Übungen aufgezeichnet.", .fr = "Aucune séance enregistrée.",
                              .uk = "Сеансів вправ не записано.", .pl = "Brak zarejestrowanych sesji ćwiczeń."},
                             s.lang);
        return sec;
    }
    std::stable_sort(groups.begin(), groups.end(), [](const Group &a, const Group &b) { return a.count > b.count; });
    const double M = double(groups.front().count);
    for (const Group &g : groups)
        sec.rows.push_back({g.emoji, g.name, QString::number(g.count) + QStringLiteral("×"), frac(g.count / M), kGreen, false});
    return sec;
}

StatsSection taskSection(const StatsSnapshot &s, const Range &r) {
    StatsSection sec;
    sec.title = pick({.en = "TASKS", .es = "TAREAS", .de = "AUFGABEN", .fr = "TÂCHES", .uk = "ЗАВДАННЯ", .pl = "ZADANIA"}, s.lang);
    sec.color = kBlue;
    const std::vector<Task> tasks = periodTasks(s, r);
    const qint64 T = qint64(tasks.size());
    QColor total = kBlue;
    total.setAlphaF(0.6f);
    sec.rows.push_back({QStringLiteral("📋"),
                        pick({.en = "Total", .es = "Total", .de = "Gesamt", .fr = "Total", .uk = "Разом", .pl = "Razem"}, s.lang),
                        QString::number(T), T > 0 ? 1.0 : 0.0, total, false});
    for (TaskCat c : TaskCats::allCases) {
        qint64 n = 0, done = 0;
        for (const Task &t : tasks)
            if (t.category == TaskCats::rawValue(c)) {
                ++n;
                if (t.completed) ++done;
            }
        if (n == 0) continue;
        sec.rows.push_back({TaskCats::emoji(c), TaskCats::display(c),
                            QString::number(n) + QStringLiteral(" · ") + QString::number(done * 100 / n) + QLatin1Char('%'),
                            frac(double(n) / double(T)), catColor(c), false});
    }
    return sec;
}

QString finEmoji(const QString &cat, FinType type, AppLang l) {
    static const QHash<QString, QString> fixed = {
        {QStringLiteral("Food"), QStringLiteral("🍕")},       {QStringLiteral("Transport"), QStringLiteral("🚗")},
        {QStringLiteral("Housing"), QStringLiteral("🏠")},    {QStringLiteral("Entertainment"), QStringLiteral("🎮")},
        {QStringLiteral("Clothing"), QStringLiteral("👕")},   {QStringLiteral("Salary"), QStringLiteral("💼")},
        {QStringLiteral("Freelance"), QStringLiteral("💻")},  {QStringLiteral("Investment"), QStringLiteral("📈")},
        {QStringLiteral("Gift"), QStringLiteral("🎁")},
    };
    if (cat == pick({.en = "Health", .es = "Salud", .de = "Gesundheit", .fr = "Santé", .uk = "Здоров'я", .pl = "Zdrowie"}, l))
        return QStringLiteral("❤️");
    if (cat == pick({.en = "Other", .es = "Otro", .de = "Sonstige", .fr = "Autre", .uk = "Інше", .pl = "Inne"}, l))
        return QStringLiteral("📦");
    const auto it = fixed.find(cat);
    if (it != fixed.end()) return *it;
    return type == FinType::income ? QStringLiteral("💰") : QStringLiteral("📦");
}

StatsSection financeSection(const StatsSnapshot &s, const Range &r) {
    StatsSection sec;
    sec.title = pick({.en = "FINANCES", .es = "FINANZAS", .de = "FINANZEN", .fr = "FINANCES", .uk = "ФІНАНСИ", .pl = "FINANSE"}, s.lang);
    sec.color = kOrange;
    const std::vector<FinEntry> P = periodEntries(s, r);
    double inc = 0, exp = 0;
    bool anyInc = false, anyExp = false;
    for (const FinEntry &e : P) {
        if (e.type == FinType::income) {
            inc += e.amount;
            anyInc = true;
        } else {
            exp += e.amount;
            anyExp = true;
        }
    }
    const double bal = inc - exp;
    const bool pos = bal >= 0;
    sec.rows.push_back({pos ? QStringLiteral("💙") : QStringLiteral("🔴"),
                        pick({.en = "Balance", .es = "Balance", .de = "Saldo", .fr = "Solde", .uk = "Баланс", .pl = "Bilans"}, s.lang),
                        StatsText::money0(bal, true), 1.0, pos ? kGreen : kRed, false});
    const double both = std::max(inc + exp, 1.0);
    auto block = [&](FinType type, const Tr &head, const char *totalEmoji, const Tr &totalLabel, double total, QColor col) {
        StatsRow h;
        h.label = pick(head, s.lang);
        h.subHeader = true;
        sec.rows.push_back(h);
        const std::vector<FinCategorySum> sums = categorySums(P, type);
        const double M = sums.front().sum;
        for (const FinCategorySum &c : sums)
            sec.rows.push_back({finEmoji(c.category, type, s.lang), c.category, StatsText::money0(c.sum, false),
                                M > 0 ? frac(c.sum / M) : 0.0, col, false});
        sec.rows.push_back({QString::fromUtf8(totalEmoji), pick(totalLabel, s.lang), StatsText::money0(total, false),
                            frac(total / both), col, false});
    };
    if (anyInc)
        block(FinType::income, {.en = "INCOME", .es = "INGRESOS", .de = "EINNAHMEN", .fr = "REVENUS", .uk = "ДОХІД", .pl = "DOCHÓD"}, "➕",
              {.en = "Total income", .es = "Total ingresos", .de = "Einnahmen gesamt", .fr = "Total revenus", .uk = "Загальний дохід", .pl = "Całkowity dochód"},
              inc, kGreen);
    if (anyExp)
        block(FinType::expense, {.en = "EXPENSES", .es = "GASTOS", .de = "AUSGABEN", .fr = "DÉPENSES", .uk = "ВИТРАТИ", .pl = "WYDATKI"}, "➖",
              {.en = "Total expenses", .es = "Total gastos", .de = "Ausgaben gesamt", .fr = "Total dépenses", .uk = "Загальні витрати", .pl = "Całkowite wydatki"},
              exp, kRed);
    if (P.empty())
        sec.emptyText = pick({.en = "No finance entries.", .es = "Sin entradas.", .de = "Keine Finanzeinträge.",
                              .fr = "Aucune entrée.", .uk = "Фінансових записів немає.", .pl = "Brak wpisów finansowych."},
                             s.lang);
    return sec;
}

std::array<StatsCard, 4> cards(const StatsSnapshot &s, const Range &r) {
    const std::vector<ExerciseRecord> runs = periodRuns(s, r);
    const std::vector<Task> tasks = periodTasks(s, r);
    const qint64 T = qint64(tasks.size());
    const qint64 D = std::count_if(tasks.begin(), tasks.end(), [](const Task &t) { return t.completed; });
    const Money money = moneyOf(s, r);
    const double B = money.balance();
    auto title = [&](const Tr &t) { return pick(t, s.lang).toUpper(); };
    std::array<StatsCard, 4> c;
    c[0] = {QStringLiteral("🍅"), title({.en = "Pomodoro", .es = "Pomodoro", .de = "Pomodoro", .fr = "Pomodoro", .uk = "Помодоро", .pl = "Pomodoro"}),
            pick({.en = "Focus timer", .es = "Temporizador", .de = "Fokus-Timer", .fr = "Minuterie focus", .uk = "Таймер фокусу", .pl = "Timer skupienia"}, s.lang),
            kTomato};
    c[1] = {QStringLiteral("🏆"), title({.en = "Exercises", .es = "Ejercicios", .de = "Übungen", .fr = "Exercices", .uk = "Вправи", .pl = "Ćwiczenia"}),
            L::counted(qint64(runs.size()),
                       {.one = {.en = "session", .es = "sesión", .de = "Sitzung", .fr = "séance", .uk = "сеанс", .pl = "sesja"},
                        .few = {.en = "sessions", .es = "sesiones", .de = "Sitzungen", .fr = "séances", .uk = "сеанси", .pl = "sesje"},
                        .many = {.en = "sessions", .es = "sesiones", .de = "Sitzungen", .fr = "séances", .uk = "сеансів", .pl = "sesji"}},
                       s.lang) +
                QStringLiteral(" · ") +
                QString::number(secondsOf(runs) / 60) + (s.lang == AppLang::uk ? QStringLiteral("хв") : QStringLiteral("m")),
            kGreen};
    c[2] = {QStringLiteral("✅"), title({.en = "Tasks", .es = "Tareas", .de = "Aufgaben", .fr = "Tâches", .uk = "Завдання", .pl = "Zadania"}),
            QString::number(D) + QLatin1Char('/') + QString::number(T) + QStringLiteral(" · ") +
                QString::number(T > 0 ? D * 100 / T : 0) + QLatin1Char('%'),
            kBlue};
    c[3] = {QStringLiteral("💰"), title({.en = "Finances", .es = "Finanzas", .de = "Finanzen", .fr = "Finances", .uk = "Фінанси", .pl = "Finanse"}),
            QStringLiteral("Balance ") + StatsText::money0(B, true), kOrange};
    return c;
}

QString localeDate(const QDate &d, AppLang lang, const char *pattern) {
    return QLocale(AppLangs::localeId(lang)).toString(d, QString::fromLatin1(pattern));
}
} // namespace

StatsPeriod stepPeriod(const StatsPeriod &p, int step) {
    const QDate next = p.mode == StatsMode::day ? p.date.addDays(step) : p.date.addMonths(step);
    return next.isValid() ? StatsPeriod{p.mode, next} : p;
}

qint64 shownStreak(qint64 stored, const QString &lastDay, const QDate &today) {
    if (lastDay == PomodoroTimer::dayString(today) || lastDay == PomodoroTimer::dayString(today.addDays(-1)))
        return stored;
    return 0;
}

qint64 shownStreak() {
    const Prefs &prefs = Prefs::get();
    return shownStreak(prefs.integer(kPomStreak), prefs.string(kPomStreakLast).value_or(QString()),
                       Clock::get().now().toLocalTime().date());
}

std::vector<ExerciseRecord> StatsSnapshot::loadExerciseHistory() {
    return ExerciseHistory::shared().records();
}

namespace {
StatsSnapshot captureFigures() {
    StatsSnapshot s;
    const Prefs &prefs = Prefs::get();
    const PomodoroTimer &timer = PomodoroTimer::shared();
    s.today = Clock::get().now().toLocalTime().date();
    s.lang = L::lang();
    TimerCounters &c = s.timer;
    c.todayCount = timer.todayCount();
    c.focusSecsToday = timer.focusSecsToday();
    c.totalCount = prefs.integer(kPomTotalCount);
    c.focusSecs = prefs.integer(kPomFocusSecs);
    c.lastDate = prefs.string(kPomLastDate).value_or(QString());
    c.streak = shownStreak();
    c.dailyGoal = prefs.integer(kPomDailyGoal);
    c.cycleCount = prefs.integer(kCycleCount);
    c.cyclesBeforeLong = prefs.integer(kCyclesBeforeLong);
    c.breakMins = prefs.doubleValue(kBreakMins);
    c.longBreakMins = prefs.doubleValue(kLongBreakMins);
    return s;
}
} // namespace

StatsSnapshot StatsSnapshot::capture() {
    StatsSnapshot s = captureFigures();
    s.tasks = TaskStore::shared().tasks();
    s.finances = FinanceStore::shared().entries();
    s.exercises = loadExerciseHistory();
    return s;
}

StatsSnapshot StatsSnapshot::capture(const StatsPeriod &p) {
    StatsSnapshot s = captureFigures();
    const qint64 m = p.date.month(), y = p.date.year();
    for (const Task &t : TaskStore::shared().tasks())
        if (t.month == m && t.year == y) s.tasks.push_back(t);
    const QString day = finDateStr(p.date.day(), p.date.month(), p.date.year());
    for (const FinEntry &e : FinanceStore::shared().entries())
        if ((e.month == m && e.year == y) || e.dateStr == day) s.finances.push_back(e);
    for (const ExerciseRecord &e : ExerciseHistory::shared().records())
        if (e.month == m && e.year == y) s.exercises.push_back(e);
    return s;
}

StatsModel buildStatsModel(const StatsSnapshot &s, const StatsPeriod &p) {
    const Range r = rangeOf(p);
    StatsModel m;
    m.periodLabel = StatsText::periodLabel(p, s.lang);
    m.timer = timerSection(s, p);
    m.exercises = exerciseSection(s, r);
    m.tasks = taskSection(s, r);
    m.finances = financeSection(s, r);
    m.cards = cards(s, r);
    return m;
}

namespace StatsText {

QString money0(double v, bool signedForm) {
    v = cleanAmount(v);
    return (signedForm && v >= 0 ? QStringLiteral("+₴") : QStringLiteral("₴")) + QString::asprintf("%.0f", v);
}

QString periodLabel(const StatsPeriod &p, AppLang lang) {
    return p.mode == StatsMode::month ? L::monthYear(p.date, lang)
                                      : localeDate(p.date, lang, "d MMMM");
}

QString reportText(const StatsSnapshot &s, const StatsPeriod &p) {
    const Range r = rangeOf(p);
    const TimerCounters &c = s.timer;
    const QString dbl = QString(52, QChar(0x2550)), sgl = QString(40, QChar(0x2500));
    QStringList L;
    L << QString::fromUtf8(kReportTitle)
      << L::capitalizeWords(localeDate(p.date, s.lang, p.mode == StatsMode::month ? "MMMM yyyy" : "d MMMM yyyy")) << dbl
      << QString() << QStringLiteral("🍅 POMODORO") << sgl;
    if (p.mode == StatsMode::day && p.date == s.today) {
        L << QStringLiteral("  Sessions today:  ") + QString::number(c.todayCount)
          << QStringLiteral("  Focus time:      ") + QString::number(c.focusSecsToday / 60) + QStringLiteral(" min");
    } else {
        L << QStringLiteral("  Total sessions:  ") + QString::number(c.totalCount)
          << QStringLiteral("  Total focus:     ") + QString::number(c.focusSecs / 60) + QStringLiteral(" min");
    }
    L << QStringLiteral("  Streak:          ") + QString::number(c.streak) + QStringLiteral(" days") << QString();

    const std::vector<Task> tasks = periodTasks(s, r);
    const qint64 T = qint64(tasks.size());
    const qint64 D = std::count_if(tasks.begin(), tasks.end(), [](const Task &t) { return t.completed; });
    L << QStringLiteral("✅ TASKS") << sgl << QStringLiteral("  Total:     ") + QString::number(T)
      << QStringLiteral("  Completed: ") + QString::number(D)
      << QStringLiteral("  Rate:      ") +
             (T > 0 ? QString::number(qint64(double(D) / double(T) * 100.0)) + QLatin1Char('%') : QStringLiteral("—"));
    for (TaskCat cat : TaskCats::allCases) {
        qint64 n = 0, done = 0;
        for (const Task &t : tasks)
            if (t.category == TaskCats::rawValue(cat)) {
                ++n;
                if (t.completed) ++done;
            }
        if (n > 0)
            L << QStringLiteral("  ") + TaskCats::emoji(cat) + QLatin1Char(' ') + TaskCats::display(cat) +
                     QStringLiteral(": ") + QString::number(done) + QLatin1Char('/') + QString::number(n);
    }
    L << QString();

    const std::vector<ExerciseRecord> runs = periodRuns(s, r);
    L << QStringLiteral("🏆 EXERCISES") << sgl << QStringLiteral("  Sessions: ") + QString::number(runs.size())
      << QStringLiteral("  Time:     ") + QString::number(secondsOf(runs) / 60) + QStringLiteral(" min");
    for (const ExerciseRecord &e : runs)
        L << QStringLiteral("  · ") + e.name + QStringLiteral(" (") + QString::number(runSecs(e) / 60) +
                 QStringLiteral(" min)");
    L << QString();

    const Money m = moneyOf(s, r);
    const double bal = cleanAmount(m.balance());
    L << QStringLiteral("💰 FINANCES") << sgl << QStringLiteral("  Income:   ₴ ") + QString::asprintf("%.2f", m.income)
      << QStringLiteral("  Expenses: ₴ ") + QString::asprintf("%.2f", m.expenses)
      << QStringLiteral("  Balance:  ") + (bal >= 0 ? QStringLiteral("+") : QString()) + QStringLiteral("₴ ") +
             QString::asprintf("%.2f", bal)
      << QString() << dbl << QStringLiteral("Generated by Mivo");
    return L.join(QLatin1Char('\n'));
}

QString csvText(const StatsSnapshot &s, const StatsPeriod &p) {
    const Range r = rangeOf(p);
    const TimerCounters &c = s.timer;
    const std::vector<Task> tasks = periodTasks(s, r);
    const qint64 D = std::count_if(tasks.begin(), tasks.end(), [](const Task &t) { return t.completed; });
    QStringList L;
    L << QStringLiteral("Section,Key,Value") << QStringLiteral("Pomodoro,Sessions,") + QString::number(c.todayCount)
      << QStringLiteral("Pomodoro,Total Sessions,") + QString::number(c.totalCount)
      << QStringLiteral("Pomodoro,Streak Days,") + QString::number(c.streak)
      << QStringLiteral("Pomodoro,Focus Mins,") + QString::number(c.focusSecs / 60)
      << QStringLiteral("Tasks,Total,") + QString::number(tasks.size())
      << QStringLiteral("Tasks,Completed,") + QString::number(D);
    for (TaskCat cat : TaskCats::allCases) {
        const auto n = std::count_if(tasks.begin(), tasks.end(),
                                     [&](const Task &t) { return t.category == TaskCats::rawValue(cat); });
        L << QStringLiteral("Tasks,") + TaskCats::display(cat) + QLatin1Char(',') + QString::number(n);
    }
    const Money m = moneyOf(s, r);
    L << QStringLiteral("Finances,Income,") + QString::asprintf("%.2f", m.income)
      << QStringLiteral("Finances,Expenses,") + QString::asprintf("%.2f", m.expenses)
      << QStringLiteral("Finances,Balance,") + QString::asprintf("%.2f", cleanAmount(m.balance()));
    return L.join(QLatin1Char('\n'));
}

QString fileName(const StatsPeriod &p, const char *extension) {
    const QString date =
        QLocale(QStringLiteral("en_US")).toString(p.date, p.mode == StatsMode::day ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM"));
    return QStringLiteral("mivo-stats-") + date + QString::fromLatin1(extension);
}
QStringList rowEmoji() {
    QStringList out = {QStringLiteral("🍅"), QStringLiteral("⏱"), QStringLiteral("☕"), QStringLiteral("🌙"),
                       QStringLiteral("🔥"), QStringLiteral("🎯"), QStringLiteral("💙"), QStringLiteral("🔴"),
                       QStringLiteral("➕"), QStringLiteral("➖"), QStringLiteral("🍕"), QStringLiteral("🚗"),
                       QStringLiteral("🏠"), QStringLiteral("🎮"), QStringLiteral("👕"), QStringLiteral("💼"),
                       QStringLiteral("💻"), QStringLiteral("📈"), QStringLiteral("🎁"), QStringLiteral("📦"),
                       QStringLiteral("💰"), QStringLiteral("📋")};
    for (TaskCat c : TaskCats::allCases) out << TaskCats::emoji(c);
    return out;
}

QStringList cardIcons() {
    return {QStringLiteral("🍅"), QStringLiteral("🏆"), QStringLiteral("✅"), QStringLiteral("💰")};
}
} // namespace StatsText
