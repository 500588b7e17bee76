#include "platform/Keys.h"
#include "common/Files.h"
#include "common/TestEnv.h"
#include "common/PageTest.h"
#include "common/TextFitCheck.h"
#include "platform/Notifier.h"
#include "pomodoro/EditProjectPanel.h"
#include "pomodoro/PomodoroTimer.h"
#include "pomodoro/PomodoroView.h"
#include "pomodoro/PomDotsView.h"
#include "pomodoro/PomListView.h"
#include "pomodoro/ProjectStore.h"
#include "ui/DisplayText.h"
#include "ui/EmojiPrep.h"
#include "ui/Stepper.h"
#include "pomodoro/TaskStore.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include "platform/ImportFile.h"
#include <QtTest>
#include <sys/stat.h>

Q_DECLARE_METATYPE(AppLang)

namespace {
// Scripted dialogs that also fill in the accessory's fields before answering.
class FillingDialogs : public TestDialogs {
public:
    QHash<QString, QString> fill;
    int alert(QWidget *parent, const Alert &a) override {
        if (a.accessory) {
            for (auto it = fill.cbegin(); it != fill.cend(); ++it) {
                if (auto *l = a.accessory->findChild<QLineEdit *>(it.key())) l->setText(it.value());
                if (auto *t = a.accessory->findChild<QPlainTextEdit *>(it.key())) t->setPlainText(it.value());
            }
        }
        return TestDialogs::alert(parent, a);
    }
};

template <class T> T *find(QWidget *root, const QString &name) { return root->findChild<T *>(name); }

void clickOn(QWidget *root, const char *name) {
    QTest::mouseClick(find<QPushButton>(root, name), Qt::LeftButton);
    settle();
}

Project projectWithSteps(const QString &name) {
    Project p(name, QStringLiteral("🏡"), QString());
    p.checkpoints = {ProjectCheckpoint(QStringLiteral("S1"), "one", "", 2, 0, false),
                     ProjectCheckpoint(QStringLiteral("S2"), "two", "", 3, 2, false)};
    return p;
}
} // namespace

// The Pomodoro page as a user drives it: through its buttons, with the dialogs scripted.
class TstPomPageView : public QObject {
    Q_OBJECT
    std::unique_ptr<PageEnv<FillingDialogs>> env;
    ShownPage<PomodoroView> page;

    // Stores the project and opens its edit panel.
    Project openPanelFor(const Project &p) {
        ProjectStore::shared().add(p);
        page->showEditProjectDialog(p);
        return p;
    }
    void select(const std::optional<QString> &item) {
        page->setSelectedItem(item);
        settle();
    }

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        env = std::make_unique<PageEnv<FillingDialogs>>(QDateTime(QDate(2026, 3, 5), QTime(10, 0)));
        TaskStore::resetForTests();
        ProjectStore::resetForTests();
        PomodoroTimer::shared().reset();
        QVERIFY(page.open(980, 760));
    }
    void cleanup() {
        page.close();
        TaskStore::resetForTests();
        ProjectStore::resetForTests();
        env.reset();
    }

    void addingATaskSelectsItWhileThePauseLasts();
    void completingATaskRedrawsWithTheEmptyDetail();
    void addingAProjectSelectsIt();
    void stepCheckboxTogglesByStepId();
    void progressCountsStepsInTheirForm_data();
    void progressCountsStepsInTheirForm();
    void editPanelKeepsTicksAndCreationTime();
    void editPanelForADeletedProjectStaysOpen();
    void onePanelPerProject();
    void photosAreAddedSeveralAtATimeInOrder();
    void exportAndImportThroughTheDialogs();
    void exportFailureIsReportedAndOldFileKept();
    void unreadableOrMalformedImportShowsTheAlert();
    void timerPanelFigures();
    void focusStepperStoresAndAppliesSettings();
    void tickersStopWhileHidden();
    void aRunningTimerUpdatesInPlaceAndRebuildsOnPhaseChange();
    void rowsArePaintedAndAnyLengthCostsTheSameWidgets();
    void everyDetailFitsItsTextsInEveryLanguageAndScale();
    void aStoredHugeTitleIsShownCut();
    void emptyListHintsWrapWhole();
    void theEmojiItShowsFirstAreCopiedFromADrawingMadeAhead();
};

void TstPomPageView::addingATaskSelectsItWhileThePauseLasts() {
    QVERIFY(!PomodoroTimer::shared().isRunning());
    env->dialogs.fill = {{"titleField", "  Write report  "}, {"descriptionField", "\n\nsee https://example.org\n\n"}};
    env->dialogs.alertAnswers = {0};
    clickOn(page->listContent(), "addTaskButton");
    QCOMPARE(TaskStore::shared().tasks().size(), std::size_t(1));
    const Task t = TaskStore::shared().tasks()[0];
    QCOMPARE(t.title, QStringLiteral("Write report"));
    QCOMPARE(t.description, QStringLiteral("see https://example.org"));
    QCOMPARE(env->dialogs.alertsShown.last(), QStringLiteral("New task|Task will be added for today — 5.03.2026"));
    QCOMPARE(page->selectedItem(), std::optional<QString>("task_" + t.id));
    QVERIFY(!page->listView()->rowRect("task_" + t.id).isEmpty());
    QVERIFY(find<QPushButton>(page->detailHost(), "toggleTaskButton"));

    // A blank title adds nothing.
    env->dialogs.fill = {{"titleField", " \t "}};
    env->dialogs.alertAnswers = {0};
    clickOn(page->listContent(), "addTaskButton");
    QCOMPARE(TaskStore::shared().tasks().size(), std::size_t(1));
}

void TstPomPageView::completingATaskRedrawsWithTheEmptyDetail() {
    Task t(QStringLiteral("Call"), QStringLiteral("health"), QString());
    TaskStore::shared().add(t);
    select("task_" + t.id);
    QCOMPARE(find<QLabel>(page->detailHost(), "taskStatus")->text(), QStringLiteral("◯  IN PROGRESS"));
    clickOn(page->detailHost(), "toggleTaskButton");
    QVERIFY(TaskStore::shared().tasks()[0].completed);
    QVERIFY(!page->selectedItem());
    QVERIFY(find<QLabel>(page->detailHost(), "emptyDetail"));

    // Delete answered with Cancel keeps task and selection.
    select("task_" + t.id);
    env->dialogs.alertAnswers = {1};
    clickOn(page->detailHost(), "deleteTaskButton");
    QCOMPARE(TaskStore::shared().tasks().size(), std::size_t(1));
    QCOMPARE(env->dialogs.alertsShown.last(), QStringLiteral("Delete task?|«Call» will be deleted."));
    env->dialogs.alertAnswers = {0};
    clickOn(page->detailHost(), "deleteTaskButton");
    QVERIFY(TaskStore::shared().tasks().empty());
    QVERIFY(find<QLabel>(page->detailHost(), "emptyDetail"));
}

void TstPomPageView::addingAProjectSelectsIt() {
    env->dialogs.fill = {{"nameField", "  Garden  "}, {"emojiField", ""}};
    env->dialogs.alertAnswers = {0};
    clickOn(page->listContent(), "addProjectButton");
    QCOMPARE(ProjectStore::shared().projects().size(), std::size_t(1));
    const Project p = ProjectStore::shared().projects()[0];
    QCOMPARE(p.name, QStringLiteral("Garden")); // the dialog's fields reach the rules
    QCOMPARE(page->selectedItem(), std::optional<QString>("proj_" + p.id));
    QCOMPARE(find<QLabel>(page->detailHost(), "projectProgress")->text(), QStringLiteral("0/0 steps · 0% done"));
    QVERIFY(!find<QWidget>(page->detailHost(), "gantt"));
}

void TstPomPageView::stepCheckboxTogglesByStepId() {
    Project p = projectWithSteps("House");
    ProjectStore::shared().add(p);
    select("proj_" + p.id);
    QVERIFY(find<QWidget>(page->detailHost(), "gantt"));
    QCheckBox *second = find<QCheckBox>(page->detailHost(), "step_S2");
    QVERIFY(second);
    // The steps change order underneath before the detail has redrawn.
    Project reordered = ProjectStore::shared().projects()[0];
    std::swap(reordered.checkpoints[0], reordered.checkpoints[1]);
    ProjectStore::shared().update(reordered);
    QTest::mouseClick(second, Qt::LeftButton);
    settle();
    const auto &steps = ProjectStore::shared().projects()[0].checkpoints;
    QCOMPARE(steps[0].id, QStringLiteral("S2"));
    QVERIFY(steps[0].completed);
    QVERIFY(!steps[1].completed);
    QCOMPARE(find<QLabel>(page->detailHost(), "projectProgress")->text(), QStringLiteral("1/2 steps · 50% done"));
}

void TstPomPageView::progressCountsStepsInTheirForm_data() {
    QTest::addColumn<AppLang>("lang");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("expected");
    const QList<std::tuple<int, const char *, const char *, const char *>> rows = {
        {1, "1/1 крок · 100% виконано", "1/1 krok · 100% gotowe", "1/1 step · 100% done"},
        {2, "1/2 кроки · 50% виконано", "1/2 kroki · 50% gotowe", "1/2 steps · 50% done"},
        {5, "1/5 кроків · 20% виконано", "1/5 kroków · 20% gotowe", "1/5 steps · 20% done"},
        {21, "1/21 крок · 4% виконано", "1/21 kroków · 4% gotowe", "1/21 steps · 4% done"},
        {22, "1/22 кроки · 4% виконано", "1/22 kroki · 4% gotowe", "1/22 steps · 4% done"},
        {25, "1/25 кроків · 4% виконано", "1/25 kroków · 4% gotowe", "1/25 steps · 4% done"},
        {166, "1/166 кроків · 0% виконано", "1/166 kroków · 0% gotowe", "1/166 steps · 0% done"}};
    for (const auto &[n, uk, pl, en] : rows) {
        QTest::addRow("uk %d", n) << AppLang::uk << n << QString::fromUtf8(uk);
        QTest::addRow("pl %d", n) << AppLang::pl << n << QString::fromUtf8(pl);
        QTest::addRow("en %d", n) << AppLang::en << n << QString::fromUtf8(en);
    }
}

// The project's progress line counts its steps with the form their number asks for.
void TstPomPageView::progressCountsStepsInTheirForm() {
    QFETCH(AppLang, lang);
    QFETCH(int, n);
    L::setLang(lang);
    Project p(QStringLiteral("House"), QStringLiteral("🏡"), QString());
    for (int i = 0; i < n; ++i)
        p.checkpoints.emplace_back(QStringLiteral("S%1").arg(i), QStringLiteral("step"), QString(), 1, i, i == 0);
    ProjectStore::shared().add(p);
    select("proj_" + p.id);
    const QString shown = find<QLabel>(page->detailHost(), "projectProgress")->text();
    L::setLang(AppLang::en);
    QTEST(shown, "expected");
}

void TstPomPageView::editPanelKeepsTicksAndCreationTime() {
    Project p = projectWithSteps("House");
    p.createdDateInterval = 4242;
    ProjectStore::shared().add(p);
    select("proj_" + p.id);
    clickOn(page->detailHost(), "editProjectButton");
    EditProjectPanel *panel = page->editPanel(p.id);
    QVERIFY(panel);
    QPointer<EditProjectPanel> guard(panel);
    // Meanwhile the first step is ticked in the detail.
    find<QCheckBox>(page->detailHost(), "step_S1")->click();
    settle();
    QVERIFY(ProjectStore::shared().projects()[0].checkpoints[0].completed);

    find<QLineEdit>(panel, "nameField")->setText(QStringLiteral(" Home "));
    find<QLineEdit>(panel, "stepStart_1")->setText(QStringLiteral("-2"));
    find<QLineEdit>(panel, "stepLength_1")->setText(QStringLiteral("0"));
    find<QLineEdit>(panel, "stepTitle_0")->setText(QStringLiteral(" first "));
    clickOn(panel, "addStepButton");
    QCOMPARE(panel->workingSteps().size(), std::size_t(3));
    QCOMPARE(panel->workingSteps()[2].startOffset, 5); // from the second step as stored before, 2 + 3
    // The name typed next goes into the new step.
    QTRY_COMPARE(QApplication::focusWidget(), find<QLineEdit>(panel, "stepTitle_2"));
    clickOn(panel, "deleteStep_2");
    clickOn(panel, "saveButton");
    QVERIFY(!guard);
    const Project stored = ProjectStore::shared().projects()[0];
    QCOMPARE(stored.name, QStringLiteral("Home"));
    QCOMPARE(stored.createdDateInterval, 4242.0);
    QCOMPARE(stored.checkpoints.size(), std::size_t(2));
    QVERIFY(stored.checkpoints[0].completed); // the tick made while the panel was open stays
    QCOMPARE(stored.checkpoints[0].title, QStringLiteral(" first "));
    QCOMPARE(stored.checkpoints[1].startOffset, -2);
    QCOMPARE(stored.checkpoints[1].durationDays, 1);
    QCOMPARE(page->selectedItem(), std::optional<QString>("proj_" + p.id));
}

void TstPomPageView::editPanelForADeletedProjectStaysOpen() {
    const Project p = openPanelFor(projectWithSteps("House"));
    QPointer<EditProjectPanel> panel = page->editPanel(p.id);
    QVERIFY(panel);
    // Blank name: alert, nothing stored, panel stays.
    find<QLineEdit>(panel, "nameField")->setText(QStringLiteral("  "));
    QVERIFY(!panel->save());
    QCOMPARE(env->dialogs.alertsShown.last(), QStringLiteral("Enter project name|"));
    ProjectStore::shared().remove(p.id);
    find<QLineEdit>(panel, "nameField")->setText(QStringLiteral("Edited"));
    QVERIFY(!panel->save());
    settle();
    QVERIFY(panel && panel->isVisible());
    QVERIFY(env->dialogs.alertsShown.last().startsWith(QStringLiteral("Project not found|")));
    QVERIFY(ProjectStore::shared().projects().empty());
    panel->close();
    settle();
}

void TstPomPageView::photosAreAddedSeveralAtATimeInOrder() {
    Project p = projectWithSteps("House");
    p.imagePaths = {QStringLiteral("/photos/a.png")};
    openPanelFor(p);
    QPointer<EditProjectPanel> panel = page->editPanel(p.id);
    QVERIFY(panel);
    env->dialogs.openManyAnswers = {{QStringLiteral("/photos/c.jpg"), QStringLiteral("/photos/a.png")}, {}};
    panel->addPhoto();
    panel->addPhoto(); // cancelled: nothing changes
    QCOMPARE(panel->workingPhotos(), QStringList({"/photos/a.png", "/photos/c.jpg", "/photos/a.png"}));
    QVERIFY(panel->save());
    settle();
    QCOMPARE(ProjectStore::shared().projects()[0].imagePaths,
             QStringList({"/photos/a.png", "/photos/c.jpg", "/photos/a.png"}));
}

void TstPomPageView::onePanelPerProject() {
    const Project p = openPanelFor(projectWithSteps("House"));
    EditProjectPanel *first = page->editPanel(p.id);
    page->showEditProjectDialog(p);
    QCOMPARE(page->editPanel(p.id), first);
    int visible = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        visible += qobject_cast<EditProjectPanel *>(w) && w->isVisible();
    QCOMPARE(visible, 1);
    first->close();
    settle();
    QVERIFY(!page->editPanel(p.id));
}

void TstPomPageView::exportAndImportThroughTheDialogs() {
    QTemporaryDir dir;
    const QString path = dir.filePath("pomodoro-tasks.json");
    Task a(QStringLiteral("A"), QStringLiteral("work"), QString());
    Task b(QStringLiteral("B"), QStringLiteral("garden"), QStringLiteral("d"));
    b.completed = true;
    b.day = 1;
    TaskStore::shared().add(a);
    TaskStore::shared().add(b);
    const std::vector<Task> before = TaskStore::shared().tasks();
    env->dialogs.savePaths = {path};
    page->doExportPom();
    QVERIFY(QFile::exists(path));

    TaskStore::shared().replaceAll({});
    env->dialogs.openPathAnswers = {path};
    env->dialogs.alertAnswers = {1}; // declined
    page->doImportPom();
    QVERIFY(env->dialogs.waitForAlertsAfter(0));
    QVERIFY(TaskStore::shared().tasks().empty());
    QCOMPARE(env->dialogs.alertsShown.last(),
             QStringLiteral("Replace all tasks?|2 tasks will be loaded. All current tasks will be replaced."));
    L::setLang(AppLang::de);
    env->dialogs.openPathAnswers = {path};
    env->dialogs.alertAnswers = {0};
    page->doImportPom();
    QVERIFY(env->dialogs.waitForAlertsAfter(1));
    L::setLang(AppLang::en);
    QCOMPARE(TaskStore::shared().tasks(), before);
    QVERIFY(env->dialogs.alertsShown.last().startsWith(QStringLiteral("Alle Aufgaben ersetzen?|2 tasks will be loaded.")));
    settle();
    QVERIFY(!page->listView()->rowRect("task_" + a.id).isEmpty());
}

void TstPomPageView::exportFailureIsReportedAndOldFileKept() {
    QTemporaryDir dir;
    const QString path = dir.filePath("pomodoro-tasks.json");
    putFile(path, "OLD");
    for (int i = 0; i < 50; ++i) TaskStore::shared().add(Task(QStringLiteral("t"), QStringLiteral("work"), QString()));
    env->dialogs.savePaths = {path};
    withFileSizeLimit(64, [&] { page->doExportPom(); });
    QVERIFY(env->dialogs.alertsShown.last().startsWith(QStringLiteral("Export failed|The file could not be written:")));
    QCOMPARE(fileBytes(path), QByteArray("OLD"));
    // A folder that is not there also ends in the alert.
    env->dialogs.savePaths = {dir.filePath("missing/dir/pomodoro-tasks.json")};
    const qsizetype shown = env->dialogs.alertsShown.size();
    page->doExportPom();
    QCOMPARE(env->dialogs.alertsShown.size(), shown + 1);
}

void TstPomPageView::unreadableOrMalformedImportShowsTheAlert() {
    QTemporaryDir dir;
    TaskStore::shared().add(Task(QStringLiteral("keep"), QStringLiteral("work"), QString()));
    const QString bad = putFile(dir.filePath("bad.json"), R"([{"id":"1","title":"t","description":"","category":"work","day":"5","month":1,"year":2026,"completed":false}])");
    for (const QString &path : {bad, dir.filePath("gone.json")}) {
        env->dialogs.openPathAnswers = {path};
        const qsizetype shown = env->dialogs.alertsShown.size();
        page->doImportPom();
        QVERIFY(env->dialogs.waitForAlertsAfter(shown));
        QCOMPARE(env->dialogs.alertsShown.last(), QStringLiteral("Import error|Invalid Mivo Tasks JSON file."));
    }
    // What is no regular file is refused unread, in words of its own: a named pipe with no writer
    // froze the window for good. The page goes on to the next import.
    const QString pipe = dir.filePath("pipe.json");
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString &path : {pipe, dir.path(), QStringLiteral("/dev/zero")}) {
        env->dialogs.openPathAnswers = {path};
        const qsizetype shown = env->dialogs.alertsShown.size();
        page->doImportPom();
        QVERIFY(env->dialogs.waitForAlertsAfter(shown));
        QCOMPARE(env->dialogs.alertsShown.last(),
                 QStringLiteral("Import error|") + ImportFile::message(ImportFile::Error::notAFile));
    }
    QCOMPARE(TaskStore::shared().tasks().size(), std::size_t(1));
    env->dialogs.openPathAnswers = {putFile(dir.filePath("ok.json"), "[]")};
    env->dialogs.alertAnswers = {0};
    const qsizetype shown = env->dialogs.alertsShown.size();
    page->doImportPom();
    QVERIFY(env->dialogs.waitForAlertsAfter(shown));
    QVERIFY(env->dialogs.alertsShown.last().startsWith(QStringLiteral("Replace all tasks?|0 tasks")));
    QVERIFY(TaskStore::shared().tasks().empty());
}

void TstPomPageView::timerPanelFigures() {
    for (int i = 0; i < 9; ++i) PomodoroTimer::shared().skip(); // five focus phases ended
    QCOMPARE(PomodoroTimer::shared().cycleCount(), 5);
    Prefs &p = Prefs::get();
    p.setInt(kPomTodayCount, 3);
    p.setString(kPomLastDate, PomodoroTimer::dayString(QDate(2026, 3, 5)));
    p.setInt(kPomFocusSecs, 3725);
    p.setInt(kPomDailyGoal, 8);
    page->requestRebuild();
    settle();
    QWidget *host = page->detailHost();
    QVERIFY(find<QLabel>(host, "goalLabel")->text().endsWith(QStringLiteral("Daily goal: 3/8")));
    QCOMPARE(find<QLabel>(host, "goalPercent")->text(), QStringLiteral("38%"));
    auto *dots = find<PomDotsView>(host, "dots");
    QCOMPARE(dots->total(), 4);
    QCOMPARE(dots->filled(), 1);
    bool sawFocus = false;
    for (QLabel *l : host->findChildren<QLabel *>()) sawFocus |= l->text() == QStringLiteral("1h2m");
    QVERIFY(sawFocus);
}

void TstPomPageView::focusStepperStoresAndAppliesSettings() {
    PomodoroTimer::shared().skip();
    QCOMPARE(PomodoroTimer::shared().phase(), Phase::rest);
    page->requestRebuild();
    settle();
    auto *st = find<Stepper>(page->detailHost(), "stepper_workMins");
    QCOMPARE(st->value(), 25.0);
    st->stepUp();
    QCOMPARE(Prefs::get().doubleValue(kWorkMins), 26.0);
    QCOMPARE(PomodoroTimer::shared().phase(), Phase::work); // applied: a fresh focus phase
    settle();
    QCOMPARE(find<QLabel>(page->detailHost(), "timeLabel")->text(), QStringLiteral("26:00"));
    find<Stepper>(page->detailHost(), "stepper_cyclesBeforeLong")->stepUp();
    QCOMPARE(Prefs::get().integer(kCyclesBeforeLong), 5);
    QVERIFY(std::holds_alternative<qint64>(*Prefs::get().value(kCyclesBeforeLong)));
}

void TstPomPageView::tickersStopWhileHidden() {
    QVERIFY(page->clockRunning());
    QVERIFY(page->ringTickerRunning());
    const int before = page->rebuildCount();
    page->hide();
    QVERIFY(!page->clockRunning());
    QVERIFY(!page->ringTickerRunning());
    for (int i = 0; i < 5; ++i) Notifier::get().post(Notify::pomodoroChanged);
    settle();
    QCOMPARE(page->rebuildCount(), before);
    page->show();
    settle();
    QVERIFY(page->clockRunning());
    QVERIFY(page->ringTickerRunning());
    QCOMPARE(page->rebuildCount(), before + 1);
    // Away from the timer the ring ticker is not needed.
    select(std::nullopt);
    QVERIFY(!page->ringTickerRunning());
}

void TstPomPageView::aRunningTimerUpdatesInPlaceAndRebuildsOnPhaseChange() {
    PomodoroTimer &t = PomodoroTimer::shared();
    t.start();
    settle();
    const int before = page->rebuildCount();
    QLabel *time = find<QLabel>(page->detailHost(), "timeLabel");
    env->clock.advanceMs(5040); // five beats, and a ring frame after the last one shows its time
    settle();
    QCOMPARE(page->rebuildCount(), before); // no rebuild
    QCOMPARE(find<QLabel>(page->detailHost(), "timeLabel"), time); // the same widget, updated
    QCOMPARE(time->text(), QStringLiteral("24:55"));
    QVERIFY(page->listView()->timerRow().subtitle.contains(QStringLiteral("24:55")));
    t.pause(); // the run state is structure: the start button's title changes
    settle();
    QCOMPARE(page->rebuildCount(), before + 1);
    t.skip();
    settle();
    QCOMPARE(page->rebuildCount(), before + 2);
}

void TstPomPageView::rowsArePaintedAndAnyLengthCostsTheSameWidgets() {
    std::vector<Task> many;
    for (int i = 0; i < 3; ++i) {
        Task t(QStringLiteral("Task %1 with a title much longer than the list is wide").arg(i), "work", QString());
        t.day = 5, t.month = 3, t.year = 2026;
        t.completed = i == 0; // the done one goes last
        many.push_back(t);
    }
    TaskStore::shared().replaceAll(many);
    settle();
    PomListView *list = page->listView();
    QCOMPARE(list->rowCount(), 4);
    const QRect first = list->rowRect("task_" + many[1].id), last = list->rowRect("task_" + many[0].id);
    QVERIFY(first.isValid() && last.isValid() && first.top() < last.top());
    QTest::mouseClick(list, Qt::LeftButton, {}, last.center());
    settle();
    QCOMPARE(page->selectedItem(), std::optional<QString>("task_" + many[0].id));
    QVERIFY(find<QPushButton>(page->detailHost(), "toggleTaskButton"));
    const qsizetype widgets = list->findChildren<QWidget *>().size();

    for (int i = 0; i < 20000; ++i) many.push_back(many[1]);
    TaskStore::shared().replaceAll(many);
    settle();
    QCOMPARE(list->rowCount(), 20004);
    QCOMPARE(list->findChildren<QWidget *>().size(), widgets);
    QVERIFY(list->height() > 20000 * 56);
}

// The render test sees the page as it opens (the timer panel); the task and project details and the
// list with rows are checked here, with long user texts, in every language and font scale.
void TstPomPageView::everyDetailFitsItsTextsInEveryLanguageAndScale() {
    Task t(QStringLiteral("Prepare the quarterly report for the board meeting on Thursday"), "study",
           QStringLiteral("Gather figures\nsee https://example.org/q3"));
    t.day = 5, t.month = 3, t.year = 2026;
    TaskStore::shared().add(t);
    Project p = projectWithSteps(QStringLiteral("Renovate the kitchen and the bathroom before the winter"));
    p.description = QStringLiteral("Tiles, paint and a new sink");
    ProjectStore::shared().add(p);
    QStringList cuts;
    for (AppLang lang : AppLangs::allCases) {
        for (double scale : {1.0, 1.15, 1.3}) {
            L::setLang(lang);
            VF::setFontScale(scale);
            page->clearContent();
            page->setup();
            for (const QString &sel : {QStringLiteral("pom_timer"), "task_" + t.id, "proj_" + p.id}) {
                select(sel);
                const QImage shot = page->grab().toImage();
                for (const CutText &c : TextFitCheck::findCutTexts(page.get(), scale == 1.0))
                    cuts << QStringLiteral("%1, %2, scale %3: %4")
                                .arg(sel.left(4), AppLangs::rawValue(lang))
                                .arg(scale)
                                .arg(c.describe());
            }
        }
    }
    L::setLang(AppLang::en);
    VF::setFontScale(1.0);
    QVERIFY2(cuts.isEmpty(), qPrintable(cuts.join('\n')));
}

// A document written elsewhere may hold a title of 10 MB. The page shows it, list row and detail, with
// every text cut for display: no label, row or tool tip holds more than the bound, so nothing measures
// the whole. The stored task keeps its text.
void TstPomPageView::aStoredHugeTitleIsShownCut() {
    page.close();
    const QString huge(10 * 1024 * 1024, QLatin1Char('w'));
    Task t(huge, "work", huge);
    t.day = 5, t.month = 3, t.year = 2026;
    env->prefs.prefs().setData(kTasks, encodeTasks({t}));
    TaskStore::resetForTests();
    QVERIFY(page.open(980, 760));
    const QString rowId = "task_" + TaskStore::shared().tasks().at(0).id;
    PomListView *list = page->listView();
    const auto row = list->rowAt(list->rowRect(rowId).center().y());
    QVERIFY(row);
    QCOMPARE(row->title, DisplayText::cut(huge));
    select(rowId);
    QVERIFY(find<QPushButton>(page->detailHost(), "toggleTaskButton"));
    QStringList whole;
    for (const QWidget *w : page->findChildren<QWidget *>()) {
        const auto *l = qobject_cast<const QLabel *>(w);
        if ((l && l->text().size() > DisplayText::kMaxShownChars) || w->toolTip().size() > DisplayText::kMaxShownChars)
            whole << w->objectName() + u'/' + QLatin1String(w->metaObject()->className());
    }
    QVERIFY2(whole.isEmpty(), qPrintable(whole.join(", ")));
    QCOMPARE(TaskStore::shared().tasks().at(0).title.size(), huge.size());
}

// With no task today and no project, the list's hints show whole in every language at the largest
// font scale: wrapped where the line is too long, with the buttons below them moved down.
void TstPomPageView::emptyListHintsWrapWhole() {
    bool wrapped = false;
    for (AppLang lang : AppLangs::allCases) {
        L::setLang(lang);
        VF::setFontScale(1.3);
        page->clearContent();
        page->setup();
        settle();
        QWidget *list = page->listContent();
        for (const auto &[hint, below] : {std::pair{"noTasksHint", "addTaskButton"}, std::pair{"noProjectsHint", "addProjectButton"}}) {
            auto *l = find<QLabel>(list, hint);
            QVERIFY2(l, hint);
            const QString where = AppLangs::rawValue(lang) + QLatin1Char(' ') + QLatin1String(hint);
            QVERIFY2(l->wordWrap(), qPrintable(where));
            QVERIFY2(l->height() >= l->heightForWidth(l->width()), qPrintable(where));
            QVERIFY2(l->geometry().right() < list->width(), qPrintable(where));
            QVERIFY2(find<QPushButton>(list, below)->y() > l->geometry().bottom(), qPrintable(where));
            wrapped = wrapped || l->height() > 2 * QFontMetrics(l->font()).height() - 4;
        }
    }
    L::setLang(AppLang::en);
    VF::setFontScale(1.0);
    QVERIFY(wrapped); // the Ukrainian project hint needs two lines here
}

// The texts with emoji the page is known to show are drawn ahead on a worker (the window's thread
// then decodes no emoji for the page's first show): the page draws every one of them from the copy,
// and looks as it did when it drew them itself.
void TstPomPageView::theEmojiItShowsFirstAreCopiedFromADrawingMadeAhead() {
    EmojiCache &cache = EmojiCache::shared();
    cache.clear();
    const QImage drawnHere = page->grab().toImage();
    const QList<EmojiPrep::Text> texts = PomodoroView::emojiShown();
    EmojiPrep::prepareNow(texts);
    const int before = cache.preparedDrawn();
    const QImage copied = page->grab().toImage();
    // Every text listed that the page shows (the timer's phase is focus, the list has no rows):
    // all but the rest and long-rest phases' icons (two sizes each) and the start button's title (▶,
    // which the text font draws).
    QCOMPARE(cache.preparedDrawn() - before, texts.size() - 4 - 1 - 1);
    QCOMPARE(copied.size(), drawnHere.size());
    int worst = 0;
    for (int y = 0; y < copied.height(); ++y)
        for (int x = 0; x < copied.width(); ++x) {
            const QRgb a = drawnHere.pixel(x, y), b = copied.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
        }
    QVERIFY2(worst <= 3, qPrintable(QString::number(worst)));
}

QTEST_MAIN(TstPomPageView)
#include "tst_pompage_view.moc"
