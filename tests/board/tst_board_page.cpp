#include "board/BoardCards.h"
#include "board/BoardGrid.h"
#include "board/TaskDetailPanel.h"
#include "board/TasksView.h"
#include "common/PageTest.h"
#include "common/Records.h"
#include "common/Files.h"
#include "common/TestEnv.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "pomodoro/TaskStore.h"
#include "ui/LinkTextView.h"
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {
Task task(const QString &id, const QString &cat, qint64 d, qint64 m, qint64 y, bool done = false,
          const QString &title = {}) {
    return makeTask(id, cat, d, m, y, done, title.isEmpty() ? QStringLiteral("Task ") + id : title);
}
const Task *byId(const QString &id) {
    return taskById(TaskStore::shared().tasks(), id);
}

void typeTitle(const Dialogs::Alert &a, const QString &title, const QString &text = {}) {
    a.accessory->findChild<QLineEdit *>(QStringLiteral("titleField"))->setText(title);
    if (auto *d = a.accessory->findChild<QPlainTextEdit *>(QStringLiteral("descriptionField")))
        d->setPlainText(text);
}

QString readFile(const QString &path) {
    return QString::fromUtf8(fileBytes(path));
}
} // namespace

// The task board as a user drives it: clicks on chips, the dialogs, the exports and the import.
class TstBoardPage : public QObject {
    Q_OBJECT
    std::unique_ptr<PageEnv<>> env;
    ShownPage<TasksView> view;

    void settle() { QTRY_VERIFY(!view->rebuildPending()); }
    QPoint centre(const QRectF &r) { return r.center().toPoint(); }

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        env = std::make_unique<PageEnv<>>(QDateTime(QDate(2026, 3, 14), QTime(10, 0)));
        TaskStore::resetForTests();
        TaskStore::shared().replaceAll({task("a", "work", 1, 3, 2026, true),
                                        task("b", "work", 1, 3, 2026, true), task("c", "work", 2, 3, 2026),
                                        task("d", "health", 14, 3, 2026), task("e", "work", 1, 4, 2026),
                                        task("x", "misc", 3, 3, 2026)});
        QVERIFY(view.open(1000, 760));
        QTRY_VERIFY(view->isBuilt() && !view->rebuildPending());
    }
    void cleanup() {
        for (TaskDetailPanel *p : view->openPanels())
            delete p;
        view.close();
        TaskStore::resetForTests();
        env.reset();
    }

    void figuresTitleAndNavigation() {
        QCOMPARE(view->statCard(TaskCat::work)->pctText(), QStringLiteral("66%"));
        QCOMPARE(view->statCard(TaskCat::work)->fracText(), QStringLiteral("2/3"));
        QCOMPARE(view->overallPctText(), QStringLiteral("50%"));
        QCOMPARE(view->titleText(), QStringLiteral("Tasks — March 2026"));
        view->navMonth(1);
        settle();
        QCOMPARE(view->titleText(), QStringLiteral("Tasks — April 2026"));
        QCOMPARE(view->statCard(TaskCat::work)->fracText(), QStringLiteral("0/1"));
        for (int i = 0; i < 4; ++i)
            view->navMonth(-1);
        settle();
        QCOMPARE(view->displayMonth(), (BoardRules::YearMonth{2025, 12}));
        QCOMPARE(view->overallPctText(), QStringLiteral("0%"));
        QCOMPARE(view->progressTrack()->fillWidth(), 0.0);
    }

    void paintsOnlyVisibleRows() {
        std::vector<Task> many;
        for (int i = 0; i < 400; ++i)
            many.push_back(task(QString::number(i), "work", 1 + i % 31, 3, 2026));
        TaskStore::shared().replaceAll(many);
        settle();
        view->grid()->repaint();
        const int shown = view->grid()->paintedRows();
        QVERIFY2(shown > 0 && shown < 10, qPrintable(QString::number(shown)));
    }

    void tickOpenAndAddFromCells() {
        BoardGrid *g = view->grid();
        // The check box of day 2's work chip.
        QTest::mouseClick(g, Qt::LeftButton, {}, centre(g->checkRect(2, TaskCat::work, 0)));
        QVERIFY(byId("c")->completed);
        settle();
        // A press moved 5 points is still a click: it opens the detail panel.
        const QPoint p = centre(g->chipRect(2, TaskCat::work, 0)) + QPoint(20, 0);
        QTest::mousePress(g, Qt::LeftButton, {}, p);
        QTest::mouseMove(g, p + QPoint(3, 4));
        QTest::mouseRelease(g, Qt::LeftButton, {}, p + QPoint(3, 4));
        QTRY_COMPARE(view->openPanels().size(), 1);
        QCOMPARE(view->openPanels().first()->taskId(), QStringLiteral("c"));
        // A second click on the same chip opens a second panel.
        QTest::mouseClick(g, Qt::LeftButton, {}, p);
        QTRY_COMPARE(view->openPanels().size(), 2);

        // A double click on an empty part asks for a new task; a blank title keeps the sheet open.
        env->dialogs.fills = {[](const Dialogs::Alert &a) { typeTitle(a, QStringLiteral("   ")); },
                          [](const Dialogs::Alert &a) {
                              typeTitle(a, QStringLiteral("  Run  "), QStringLiteral("\nfast\n"));
                          }};
        env->dialogs.alertAnswers = {0, 0};
        const QPoint empty = centre(g->cellRect(20, TaskCat::health));
        // A real double click: press, release, press as double click, release.
        QTest::mouseClick(g, Qt::LeftButton, {}, empty);
        QTest::mouseDClick(g, Qt::LeftButton, {}, empty);
        QTest::mouseRelease(g, Qt::LeftButton, {}, empty);
        QTRY_COMPARE(env->dialogs.alertsShown.size(), 2);
        QCOMPARE(env->dialogs.alertsShown.first(), QStringLiteral("New task|🏃 Health · 20.03.2026"));
        const Task &added = TaskStore::shared().tasks().back();
        QCOMPARE(added.title, QStringLiteral("Run"));
        QCOMPARE(added.description, QStringLiteral("fast"));
        QCOMPARE((QList<qint64>{added.day, added.month, added.year}), (QList<qint64>{20, 3, 2026}));
        QCOMPARE(added.category, QStringLiteral("health"));
        QVERIFY(!added.completed);
    }

    // The hover "+" lies over the lowest chip of the fullest cell of a row; a click on it adds a task
    // there and never opens the chip's detail.
    void plusOverAChipAsksForANewTask() {
        BoardGrid *g = view->grid();
        struct Case {
            int day;
            int chipsBelow; // the chip the "+" overlaps
            QString date;
        };
        for (const Case &c : {Case{2, 0, QStringLiteral("· 2.03.2026")}, Case{1, 1, QStringLiteral("· 1.03.2026")}}) {
            const QPoint plus = centre(g->plusRect(c.day, TaskCat::work));
            QVERIFY(g->chipRect(c.day, TaskCat::work, c.chipsBelow).contains(plus));
            const int asked = int(env->dialogs.alertsShown.size());
            env->dialogs.alertAnswers = {1}; // the sheet is cancelled
            QTest::mouseMove(g, plus);
            QTest::mouseClick(g, Qt::LeftButton, {}, plus);
            QTRY_COMPARE(int(env->dialogs.alertsShown.size()), asked + 1);
            const QString shown = env->dialogs.alertsShown.last();
            QVERIFY2(shown.startsWith(QStringLiteral("New task|")) && shown.endsWith(c.date), qPrintable(shown));
            QCoreApplication::processEvents();
            QVERIFY(view->openPanels().isEmpty());
        }
        QCOMPARE(int(TaskStore::shared().tasks().size()), 6);
        QVERIFY(!byId("c")->completed);
        // Beside the "+" the chip still opens its task.
        QTest::mouseClick(g, Qt::LeftButton, {}, centre(g->chipRect(2, TaskCat::work, 0)));
        QTRY_COMPARE(view->openPanels().size(), 1);
        QCOMPARE(env->dialogs.alertsShown.size(), 2);
    }

    // Save writes title and text only: the day the task was dragged to meanwhile stays.
    void panelSaveKeepsADragMadeMeanwhile() {
        view->showTaskDetail(QStringLiteral("c"));
        TaskDetailPanel *panel = view->openPanels().value(0);
        QVERIFY(panel);
        // Named as its header reads (the category), never after the program.
        QCOMPARE(panel->windowTitle(), TaskCats::emoji(TaskCat::work) + QStringLiteral("  ") + TaskCats::display(TaskCat::work));
        TaskStore::shared().moveTask(QStringLiteral("c"), QStringLiteral("health"), 9, 3, 2026);
        panel->titleField()->setText(QStringLiteral("  Renamed "));
        panel->textView()->setPlainText(QStringLiteral("see https://example.org\n"));
        QVERIFY(panel->save());
        QTRY_VERIFY(view->openPanels().isEmpty());
        const Task *t = byId(QStringLiteral("c"));
        QCOMPARE(t->title, QStringLiteral("Renamed"));
        QCOMPARE(t->description, QStringLiteral("see https://example.org"));
        QCOMPARE(t->day, 9);
        QCOMPARE(t->category, QStringLiteral("health"));
    }

    void panelBlankTitleStaysOpen() {
        view->showTaskDetail(QStringLiteral("c"));
        TaskDetailPanel *panel = view->openPanels().value(0);
        panel->titleField()->setText(QStringLiteral(" \t"));
        QVERIFY(!panel->save());
        QVERIFY(panel->isVisible());
        QCOMPARE(byId(QStringLiteral("c"))->title, QStringLiteral("Task c"));
    }

    // The toggle stores the state the panel shows, even when the board ticked the task meanwhile.
    void panelToggleStoresShownState() {
        view->showTaskDetail(QStringLiteral("c"));
        TaskDetailPanel *panel = view->openPanels().value(0);
        TaskStore::shared().toggle(QStringLiteral("c")); // ticked on the board: now done
        panel->toggleDone();                             // the panel showed open, now shows done
        QVERIFY(panel->shownDone());
        QVERIFY(byId(QStringLiteral("c"))->completed);
        QCOMPARE(panel->badgeText(), QStringLiteral("✓  DONE"));
        QTRY_VERIFY(view->openPanels().isEmpty()); // closes by itself
    }

    void panelStaysOpenAfterToggleWhileEdited() {
        view->showTaskDetail(QStringLiteral("c"));
        QPointer<TaskDetailPanel> panel = view->openPanels().value(0);
        panel->titleField()->setText(QStringLiteral("half typed"));
        panel->toggleDone();
        QTest::qWait(TaskDetailPanel::kCloseAfterToggleMs + 150);
        QVERIFY(panel && panel->isVisible());
        QCOMPARE(byId(QStringLiteral("c"))->title, QStringLiteral("Task c"));
    }

    void panelDeleteAsks() {
        view->showTaskDetail(QStringLiteral("c"));
        TaskDetailPanel *panel = view->openPanels().value(0);
        env->dialogs.alertAnswers = {1};
        panel->confirmDelete();
        QVERIFY(byId(QStringLiteral("c")));
        env->dialogs.alertAnswers = {0};
        panel->confirmDelete();
        QVERIFY(!byId(QStringLiteral("c")));
        QTRY_VERIFY(view->openPanels().isEmpty());
    }

    void exportsWriteTheReports() {
        QTemporaryDir dir;
        env->dialogs.savePaths = {dir.filePath("t.csv"), dir.filePath("t.txt"), dir.filePath("t.pdf"),
                              dir.filePath("t.json")};
        view->doExportCSV();
        view->doExportTXT();
        view->doExportPDF();
        view->doExportJSON();
        QCOMPARE(readFile(dir.filePath("t.csv")), TaskStore::shared().exportCSV());
        QVERIFY(readFile(dir.filePath("t.csv"))
                    .startsWith(QStringLiteral(
                        "Category,Date,Task,Description,Done\n\"Work\",\"1.03.2026\",\"Task a\",\"\",Yes")));
        QCOMPARE(readFile(dir.filePath("t.txt")), TaskStore::shared().exportTXT());
        QFile pdf(dir.filePath("t.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.readAll().startsWith("%PDF"));
        QVERIFY(env->dialogs.alertsShown.isEmpty());

        // Round trip: the JSON written comes back unchanged, ids included.
        const std::vector<Task> before = TaskStore::shared().tasks();
        TaskStore::shared().replaceAll({});
        env->dialogs.openPathAnswers = {dir.filePath("t.json")};
        env->dialogs.alertAnswers = {0, 0};
        view->doImportJSON();
        QVERIFY(env->dialogs.waitForAlertsAfter(0));
        QCOMPARE(TaskStore::shared().tasks(), before);
        QCOMPARE(env->dialogs.alertsShown.last(),
                 QStringLiteral("Import complete|6 tasks loaded. All previous data replaced."));
    }

    void failedExportIsReportedAndKeepsTheFile() {
        QTemporaryDir dir;
        // The target is a folder: nothing can be written there, and it stays as it was.
        QDir(dir.path()).mkdir(QStringLiteral("tasks.csv"));
        env->dialogs.savePaths = {dir.filePath("tasks.csv"), dir.filePath("tasks.csv/sub/tasks.pdf")};
        view->doExportCSV();
        view->doExportPDF();
        QCOMPARE(env->dialogs.alertsShown.size(), 2);
        QVERIFY(env->dialogs.alertsShown[0].startsWith(QStringLiteral("Export failed|")));
        QVERIFY(env->dialogs.alertsShown[1].startsWith(QStringLiteral("Export failed|")));
        QVERIFY(QFileInfo(dir.filePath("tasks.csv")).isDir());
    }

    void importRefusesBadFilesAndCancels() {
        QTemporaryDir dir;
        const std::vector<Task> before = TaskStore::shared().tasks();
        env->dialogs.openPathAnswers = {putFile(
            dir.filePath("bad.json"),
            R"([{"id":"a","title":"t","description":"","category":"work","day":1,"month":2,"year":2026}])")};
        view->doImportJSON();
        QVERIFY(env->dialogs.waitForAlertsAfter(0));
        QCOMPARE(env->dialogs.alertsShown,
                 QStringList{"Import error|Could not read file. Make sure it is a valid Mivo JSON export."});
        QCOMPARE(TaskStore::shared().tasks(), before);
        // A cancelled panel shows nothing; "Cancel" at the question changes nothing.
        env->dialogs.openPathAnswers = {QString()};
        view->doImportJSON();
        QCOMPARE(env->dialogs.alertsShown.size(), 1);
        const QString ok = putFile(dir.filePath("ok.json"), "[]");
        env->dialogs.openPathAnswers = {ok};
        env->dialogs.alertAnswers = {1};
        view->doImportJSON();
        QVERIFY(env->dialogs.waitForAlertsAfter(1));
        QCOMPARE(env->dialogs.alertsShown.last(), QStringLiteral("Replace all tasks?|0 tasks will be loaded. All "
                                                             "current tasks will be deleted and replaced."));
        QCOMPARE(TaskStore::shared().tasks(), before);
        // When the records cannot reach the disk, "Import complete" is not claimed.
        env->prefs.prefs().setFrozen(true);
        env->dialogs.openPathAnswers = {ok};
        env->dialogs.alertAnswers = {0};
        const int shown = int(env->dialogs.alertsShown.size());
        view->doImportJSON();
        QVERIFY(env->dialogs.waitForAlertsAfter(shown));
        QCOMPARE(int(env->dialogs.alertsShown.size()), shown + 1);
        QVERIFY(env->dialogs.alertsShown.last().startsWith(QStringLiteral("Replace all tasks?")));
        env->prefs.prefs().setFrozen(false);
    }

};

QTEST_MAIN(TstBoardPage)
#include "tst_board_page.moc"
