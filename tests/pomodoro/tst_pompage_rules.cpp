#include "common/Files.h"
#include "common/Records.h"
#include "common/TestEnv.h"
#include "pomodoro/PhotoCache.h"
#include "pomodoro/PomDialogRules.h"
#include "pomodoro/PomListRows.h"
#include "pomodoro/TaskListFile.h"
#include "pomodoro/TimerFigures.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

// The plain rules behind the Pomodoro page: list order and row ids, what the dialogs make of what
// was typed, the timer panel's figures and the task list file.
class TstPomPageRules : public QObject {
    Q_OBJECT
private slots:
    void init() { prefs_ = std::make_unique<TempPrefs>(); }
    void cleanup() { prefs_.reset(); }

    void todaysTasksAreOpenFirstInStoreOrder();
    void rowTexts();
    void wholeNumbersAndStepFields();
    void newStepFollowsTheLastOne();
    void addDialogsTrimAndDefault();
    void editMergeKeepsStoredCompletionAndCreation();
    void timerFigures_data();
    void timerFigures();
    void goalAndDots();
    void taskFileRoundTrip();
    void taskFileRejectsMalformedAndUnreadable();
    void failedWriteKeepsTheOldFile();
    void readOnlyFolderFails();
    void photosAreDecodedOnce();

private:
    std::unique_ptr<TempPrefs> prefs_;
};

namespace {
Task task(const QString &id, bool done, QDate d, const QString &cat = QStringLiteral("work")) {
    return makeTask(id, cat, d, done, id);
}
ProjectCheckpoint step(const QString &id, qint64 start, qint64 days, bool done = false) {
    return ProjectCheckpoint(id, id, QString(), days, start, done);
}
} // namespace

void TstPomPageRules::todaysTasksAreOpenFirstInStoreOrder() {
    const QDate today(2026, 3, 5);
    const std::vector<Task> all = {task("A", true, today), task("X", false, today.addDays(1)), task("B", false, today),
                                   task("C", true, today), task("D", false, today), task("Y", false, QDate(2025, 3, 5))};
    QStringList ids;
    for (int i : PomListRows::todaysTaskIndexes(all, today)) ids << all[size_t(i)].id;
    QCOMPARE(ids, QStringList({"B", "D", "A", "C"}));
}

void TstPomPageRules::rowTexts() {
    QCOMPARE(PomListRows::timerRow(Phase::work, 1500, false).subtitle, QStringLiteral("⏸  25:00"));
    QCOMPARE(PomListRows::timerRow(Phase::work, 1500.7, true).subtitle, QStringLiteral("▶  25:00 left"));
    L::setLang(AppLang::uk);
    QCOMPARE(PomListRows::timerRow(Phase::work, 61, true).subtitle, QStringLiteral("▶  01:01 залишилось"));
    L::setLang(AppLang::en);

    const PomListRow odd = PomListRows::taskRow(task("T", false, QDate(2026, 1, 1), QStringLiteral("garden")));
    QCOMPARE(odd.emoji, TaskCats::emoji(TaskCat::work));
    QCOMPARE(odd.accent, TaskCats::color(TaskCat::work));
    const PomListRow done = PomListRows::taskRow(task("T", true, QDate(2026, 1, 1)));
    QCOMPARE(done.subtitle, QStringLiteral("✓ Done"));
    QCOMPARE(done.accent, VF::accentDim());

    Project p;
    p.id = QStringLiteral("P");
    QCOMPARE(PomListRows::projectRow(p).subtitle, QStringLiteral("No steps"));
    p.checkpoints = {step("a", 0, 1, true), step("b", 0, 1, true), step("c", 0, 1)};
    QCOMPARE(PomListRows::projectRow(p).subtitle, QStringLiteral("2/3 steps · 66%"));
    QCOMPARE(PomListRows::projectRow(p).id, QStringLiteral("proj_P"));
}

void TstPomPageRules::wholeNumbersAndStepFields() {
    using namespace PomDialogRules;
    QCOMPARE(parseWholeNumber("-4"), std::optional<qint64>(-4));
    QCOMPARE(parseWholeNumber("+7"), std::optional<qint64>(7));
    QVERIFY(!parseWholeNumber("2a"));
    QVERIFY(!parseWholeNumber(" 2"));
    QVERIFY(!parseWholeNumber("-"));
    QVERIFY(!parseWholeNumber(""));
    QVERIFY(!parseWholeNumber("99999999999999999999"));
    QCOMPARE(stepStart("-2", 5), -2);
    QCOMPARE(stepStart("2a", 5), 5);
    QCOMPARE(stepStart("", 5), 5);
    QCOMPARE(stepStart("99999999", 5), 36500);
    QCOMPARE(stepStart("-99999999", 5), -36500);
    QCOMPARE(stepLength("0"), 1);
    QCOMPARE(stepLength("-4"), 1);
    QCOMPARE(stepLength(""), 1);
    QCOMPARE(stepLength("x"), 1);
    QCOMPARE(stepLength("12"), 12);
    QCOMPARE(stepLength("9223372036854775807"), 36500);
}

void TstPomPageRules::newStepFollowsTheLastOne() {
    using namespace PomDialogRules;
    const ProjectCheckpoint first = newStepAfter({});
    QCOMPARE(first.startOffset, 0);
    QCOMPARE(first.durationDays, 3);
    QVERIFY(!first.completed && !first.id.isEmpty());
    QCOMPARE(newStepAfter({step("a", 0, 5), step("b", 5, 2)}).startOffset, 7);
    // A stored step far out on the axis does not push the new one past the bounds.
    QCOMPARE(newStepAfter({step("a", std::numeric_limits<qint64>::max() - 1, 5)}).startOffset, 36500);
}

void TstPomPageRules::addDialogsTrimAndDefault() {
    using namespace PomDialogRules;
    TestClock clock(QDateTime(QDate(2026, 3, 6), QTime(0, 1)));
    QVERIFY(!newTask(" \t ", 0, {}, QDate(2026, 3, 5)));
    const auto t = newTask("  Report\t", 7, "\n\n  first\n\nsecond  \n\n", QDate(2026, 3, 5));
    QVERIFY(t);
    QCOMPARE(t->title, QStringLiteral("Report"));
    QCOMPARE(t->category, QStringLiteral("work"));
    QCOMPARE(t->description, QStringLiteral("first\n\nsecond"));
    QCOMPARE(t->day, 5); // the day the dialog showed, not the day it was confirmed
    QCOMPARE(newTask("x", 2, {}, QDate(2026, 3, 5))->category, QStringLiteral("personal"));
    QVERIFY(trimSpacesTabs(" a\n ").endsWith(QLatin1Char('\n'))); // line breaks are not spaces here

    QVERIFY(!newProject("   ", "🚀", {}));
    const auto p = newProject("  Garden  ", "  ", " x \n");
    QVERIFY(p);
    QCOMPARE(p->name, QStringLiteral("Garden"));
    QCOMPARE(p->emoji, QStringLiteral("📁"));
    QCOMPARE(p->description, QStringLiteral("x"));
    QCOMPARE(newProject("n", "ab", {})->emoji, QStringLiteral("ab"));
    QVERIFY(p->checkpoints.empty() && p->imagePaths.isEmpty());
}

void TstPomPageRules::editMergeKeepsStoredCompletionAndCreation() {
    using namespace PomDialogRules;
    Project stored;
    stored.id = QStringLiteral("P");
    stored.name = QStringLiteral("Old");
    stored.createdDateInterval = 1234;
    stored.checkpoints = {step("a", 0, 2, true), step("b", 2, 2, false)};
    // The panel opened before "a" was ticked off... and "b" ticked since; it renamed, reordered and added.
    ProjectEdit e;
    e.name = QStringLiteral("  New ");
    e.emoji = QStringLiteral(" 🚀 ");
    e.description = QStringLiteral("\n d \n");
    e.imagePaths = {QStringLiteral("/x.png")};
    e.steps = {step("b", 0, 9, false), step("a", 9, 1, false), step("new", 10, 3, false)};
    e.steps[0].title = QStringLiteral("  kept untrimmed ");
    const auto m = mergeEdit(stored, e);
    QVERIFY(m);
    QCOMPARE(m->id, QStringLiteral("P"));
    QCOMPARE(m->createdDateInterval, 1234.0);
    QCOMPARE(m->name, QStringLiteral("New"));
    QCOMPARE(m->emoji, QStringLiteral("🚀"));
    QCOMPARE(m->description, QStringLiteral("d"));
    QCOMPARE(m->imagePaths, QStringList{QStringLiteral("/x.png")});
    QCOMPARE(m->checkpoints.size(), std::size_t(3));
    QCOMPARE(m->checkpoints[0].id, QStringLiteral("b"));
    QCOMPARE(m->checkpoints[0].completed, false);
    QCOMPARE(m->checkpoints[0].durationDays, 9);
    QCOMPARE(m->checkpoints[0].title, QStringLiteral("  kept untrimmed "));
    QCOMPARE(m->checkpoints[1].completed, true);
    QCOMPARE(m->checkpoints[2].completed, false);
    e.name = QStringLiteral(" \t");
    QVERIFY(!mergeEdit(stored, e));
}

void TstPomPageRules::timerFigures_data() {
    QTest::addColumn<double>("remaining");
    QTest::addColumn<QString>("time");
    QTest::newRow("just under a minute") << 59.9 << "00:59";
    QTest::newRow("two-hour focus") << 7200.0 << "120:00";
    QTest::newRow("zero") << 0.0 << "00:00";
    QTest::newRow("negative") << -3.0 << "00:00";
    QTest::newRow("not a number") << std::nan("") << "00:00";
}

void TstPomPageRules::timerFigures() {
    QFETCH(double, remaining);
    QFETCH(QString, time);
    QCOMPARE(TimerFigures::timeText(remaining), time);
}

void TstPomPageRules::goalAndDots() {
    QCOMPARE(TimerFigures::focusText(3725), QStringLiteral("1h2m"));
    QCOMPARE(TimerFigures::focusText(3600), QStringLiteral("1h0m"));
    QCOMPARE(TimerFigures::focusText(59), QStringLiteral("0m"));
    auto g = TimerFigures::goal(3, 8);
    QCOMPARE(g.percent, QStringLiteral("38%"));
    QCOMPARE(g.fraction, 3.0 / 8);
    QVERIFY(!g.reached);
    g = TimerFigures::goal(10, 8);
    QCOMPARE(g.percent, QStringLiteral("100%"));
    QCOMPARE(g.fraction, 1.0);
    QVERIFY(g.reached);
    g = TimerFigures::goal(2, 0);
    QCOMPARE(g.goal, 8);
    // "%.0f%%" as C prints it: a half goes to the even neighbour, not up.
    QCOMPARE(TimerFigures::goal(1, 8).percent, QStringLiteral("12%"));
    QCOMPARE(TimerFigures::goal(5, 8).percent, QStringLiteral("62%"));
    QCOMPARE(TimerFigures::dotsTotal(0), 4);
    QCOMPARE(TimerFigures::dotsTotal(-3), 4);
    QCOMPARE(TimerFigures::dotsFilled(5, 4), 1);
    QCOMPARE(TimerFigures::dotsFilled(8, 4), 0);
    QCOMPARE(TimerFigures::dotsFilled(-1, 4), 3);
}

void TstPomPageRules::taskFileRoundTrip() {
    QTemporaryDir dir;
    const QString path = dir.filePath(TaskListFile::kProposedName);
    QVERIFY(TaskListFile::write(path, encodeTasks({})).ok);
    QCOMPARE(fileBytes(path), QByteArray("[]"));
    const std::vector<Task> tasks = {task("1", true, QDate(2026, 1, 2)), task("1", false, QDate(2026, 1, 3), "odd")};
    QVERIFY(TaskListFile::write(path, encodeTasks(tasks)).ok);
    const auto r = TaskListFile::read(path);
    QCOMPARE(r.error, TaskListFile::ReadError::none);
    QCOMPARE(r.tasks, tasks);
}

void TstPomPageRules::taskFileRejectsMalformedAndUnreadable() {
    QTemporaryDir dir;
    auto put = [&](const char *name, const QByteArray &b) { return putFile(dir.filePath(name), b); };
    using E = TaskListFile::ReadError;
    QCOMPARE(TaskListFile::read(put("a", "[{\"id\":\"1\"")).error, E::invalid);
    QCOMPARE(TaskListFile::read(put("b", R"([{"id":"1","title":"t","description":"","category":"work","day":"5","month":1,"year":2026,"completed":false}])")).error,
             E::invalid);
    QCOMPARE(TaskListFile::read(put("c", R"([{"id":"1","title":"t","description":"","category":"work","day":5,"month":1,"year":2026}])")).error,
             E::invalid);
    QCOMPARE(TaskListFile::read(put("d", QByteArray(1000, '[') + QByteArray(1000, ']'))).error, E::invalid);
    QCOMPARE(TaskListFile::read(put("e", "{}")).error, E::invalid);
    QCOMPARE(TaskListFile::read(dir.filePath("missing")).error, E::unreadable);
    QCOMPARE(TaskListFile::read(dir.path()).error, E::notAFile); // a folder
    QCOMPARE(TaskListFile::read(put("f", QByteArray(200, ' ') + "[]"), 100).error, E::tooLarge);
}

void TstPomPageRules::failedWriteKeepsTheOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(TaskListFile::kProposedName);
    QVERIFY(TaskListFile::write(path, "OLD").ok);
    const auto r = withFileSizeLimit(16, [&] { return TaskListFile::write(path, QByteArray(4096, 'x')); });
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QCOMPARE(fileBytes(path), QByteArray("OLD"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{TaskListFile::kProposedName}); // no temp left
}

void TstPomPageRules::readOnlyFolderFails() {
    QTemporaryDir dir;
    QVERIFY(TaskListFile::write(dir.filePath("notAFolder"), "x").ok);
    QVERIFY(!TaskListFile::write(dir.filePath("notAFolder/out.json"), "[]").ok);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    QFile probe(dir.filePath("probe"));
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("running with rights that ignore folder permissions");
    }
    const auto r = TaskListFile::write(dir.filePath("out.json"), "[]");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!r.ok);
}

void TstPomPageRules::photosAreDecodedOnce() {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.png");
    QImage img(40, 20, QImage::Format_RGB32);
    img.fill(Qt::red);
    QVERIFY(img.save(path));
    PhotoCache c;
    QCOMPARE(c.image(path).size(), QSize(40, 20));
    QCOMPARE(c.image(path).size(), QSize(40, 20));
    QCOMPARE(c.decodeCount(), 1);
    // A changed file is decoded again.
    QImage bigger(60, 20, QImage::Format_RGB32);
    bigger.fill(Qt::blue);
    QTest::qWait(1100);
    QVERIFY(bigger.save(path));
    QCOMPARE(c.image(path).size(), QSize(60, 20));
    QCOMPARE(c.decodeCount(), 2);
    QVERIFY(c.image(dir.filePath("none.png")).isNull());
    const QString junk = putFile(dir.filePath("junk.png"), "not an image");
    QVERIFY(c.exists(junk));
    QVERIFY(c.image(junk).isNull());
}

QTEST_MAIN(TstPomPageRules)
#include "tst_pompage_rules.moc"
