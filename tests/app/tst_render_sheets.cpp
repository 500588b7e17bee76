#include "app/RenderWalk.h"
#include "board/CalendarView.h"
#include "board/TaskDetailPanel.h"
#include "board/TasksView.h"
#include "common/Records.h"
#include "health/AlarmsView.h"
#include "pomodoro/EditProjectPanel.h"
#include "pomodoro/PomodoroView.h"
#include "pomodoro/ProjectStore.h"
#include "pomodoro/TaskStore.h"
#include "ui/CommonAlerts.h"
#include "ui/Fonts.h"

// The sheets and panels of the reminders, Pomodoro, board and calendar pages, and the alerts they
// raise, in every look (app/RenderWalk.h).
class TstRenderSheets : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void initTestCase() { Fonts::applyAppFont(); }
    void everySheetFitsInEveryLook();
};

void TstRenderSheets::everySheetFitsInEveryLook() {
    TempPrefs prefs;
    TestClock clock(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
    RenderWalk walk;
    WalkDialogs dialogs(walk);
    TaskStore::shared().add(makeTask(QStringLiteral("t1"), QStringLiteral("work"), QDate(2026, 12, 7), false,
                                     QStringLiteral("Quarterly report for the board")));
    Project project(QStringLiteral("House"), QStringLiteral("🏡"), QStringLiteral("Roof and windows"));
    project.checkpoints = {ProjectCheckpoint(QStringLiteral("S1"), "Roof", "", 2, 0, false),
                           ProjectCheckpoint(QStringLiteral("S2"), "Windows", "", 3, 2, true)};
    ProjectStore::shared().add(project);

    for (const Look &look : allLooks()) {
        walk.look = look;
        applyLook(look);
        {
            auto alarms = openPage<AlarmsView>();
            QVERIFY(alarms);
            alarms->showAddAlarmDialog();
        }
        {
            auto pom = openPage<PomodoroView>();
            QVERIFY(pom);
            pom->showAddTaskDialog();
            pom->showAddProjectDialog();
            pom->showEditProjectDialog(project);
            EditProjectPanel *panel = pom->editPanel(project.id);
            QVERIFY(panel);
            settle();
            walk.check(panel, QStringLiteral("edit-project panel"));
            panel->close();
            alertExportFailed(pom.get(), QStringLiteral("No space left on device"));
            alertImportComplete(pom.get(), QStringLiteral("12 tasks loaded"));
        }
        {
            auto board = openPage<TasksView>();
            QVERIFY(board);
            board->addTaskDialog(7, TaskCat::health);
            board->showTaskDetail(QStringLiteral("t1"));
            settle();
            QCOMPARE(board->openPanels().size(), 1);
            TaskDetailPanel *panel = board->openPanels().first();
            walk.check(panel, QStringLiteral("task panel"));
            panel->confirmDelete(); // its question, answered "cancel"
            panel->close();
        }
        {
            auto cal = openPage<CalendarView>();
            QVERIFY(cal);
            cal->addTaskDialog(7);
        }
        settle();
    }
    QVERIFY2(dialogs.titles.size() >= 6 * allLooks().size(), qPrintable(dialogs.titles.join('\n')));
    walk.verify();
}

QTEST_MAIN(TstRenderSheets)
#include "tst_render_sheets.moc"
