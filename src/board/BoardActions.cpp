// The task board's new-task sheet, export menu, file exports and JSON import.
#include "board/BoardFiles.h"
#include "board/BoardRules.h"
#include "board/BoardUi.h"
#include "board/TaskSheet.h"
#include "board/TasksView.h"
#include "platform/Background.h"
#include "platform/Dialogs.h"
#include "pomodoro/TaskListFile.h"
#include "pomodoro/TaskStore.h"
#include "ui/CommonAlerts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

using namespace BoardUi;

void TasksView::addTaskDialog(int day, TaskCat cat) {
    if (!window()) return;
    const double AW = 420, AH = 170;
    auto *acc = new QWidget;
    acc->setFixedSize(int(AW), int(AH));
    QLineEdit *titleField = TaskSheet::titleField(acc, QStringLiteral("E.g.: Write report, team meeting…"),
                                                  yUp(AH, 2, 148, AW, 15), yUp(AH, 0, 118, AW, 28));
    QPlainTextEdit *desc = TaskSheet::descriptionField(acc, yUp(AH, 2, 98, AW, 15), yUp(AH, 0, 0, AW, 94));

    Dialogs::Alert a;
    a.title = QStringLiteral("New task");
    a.text = TaskCats::emoji(cat) + QLatin1Char(' ') + TaskCats::display(cat) + QStringLiteral(" · ") +
             BoardRules::dayDateText(day, ym_.month, ym_.year);
    a.buttons = {TaskSheet::addWord(), cancelTitle()};
    a.accessory = acc;
    // Dated on the month shown when the sheet ends.
    TaskSheet::run(this, a, titleField, desc, day, ym_, [cat] { return cat; });
    acc->deleteLater();
}

void TasksView::showExportMenu() {
    QMenu menu(this);
    menu.setFont(Fonts::scaledFont(13));
    QAction *csv = menu.addAction(QStringLiteral("📄  CSV (Google Sheets)"));
    QAction *txt = menu.addAction(QStringLiteral("📝  TXT report"));
    QAction *pdf = menu.addAction(QStringLiteral("📋  PDF"));
    menu.addSeparator();
    QAction *json = menu.addAction(QStringLiteral("💾  Export JSON"));
    QAction *imp = menu.addAction(QStringLiteral("📥  Import JSON"));
    QPointer<TasksView> self(this);
    QAction *chosen = menu.exec(exportBtn_->mapToGlobal(QPoint(0, exportBtn_->height())));
    if (!self || !chosen) return;
    if (chosen == csv)
        doExportCSV();
    else if (chosen == txt)
        doExportTXT();
    else if (chosen == pdf)
        doExportPDF();
    else if (chosen == json)
        doExportJSON();
    else if (chosen == imp)
        doImportJSON();
}

void TasksView::writeExport(const QString &proposedName, const QStringList &filters,
                            const QByteArray &bytes) {
    const QString path = Dialogs::get().savePath(window(), QString(), proposedName, filters);
    if (path.isEmpty()) return;
    const TaskListFile::WriteResult r = TaskListFile::write(path, bytes);
    if (!r.ok) alertExportFailed(window(), r.error);
}

void TasksView::doExportCSV() {
    writeExport(QLatin1String(BoardFiles::kCsvName), {QStringLiteral("CSV (*.csv)")},
                TaskStore::shared().exportCSV().toUtf8());
}

void TasksView::doExportTXT() {
    writeExport(QLatin1String(BoardFiles::kTxtName), {}, TaskStore::shared().exportTXT().toUtf8());
}

void TasksView::doExportJSON() {
    writeExport(QLatin1String(BoardFiles::kJsonName), {}, encodeTasks(TaskStore::shared().tasks()));
}

void TasksView::doExportPDF() {
    const QString text = TaskStore::shared().exportPDFText();
    const QString path =
        Dialogs::get().savePath(window(), QString(), QLatin1String(BoardFiles::kPdfName), {});
    if (path.isEmpty()) return;
    const QByteArray pdf = BoardFiles::renderPdf(text);
    if (pdf.isEmpty()) {
        alertExportFailed(window(), QStringLiteral("the PDF could not be rendered"));
        return;
    }
    const TaskListFile::WriteResult r = TaskListFile::write(path, pdf);
    if (!r.ok) alertExportFailed(window(), r.error);
}

void TasksView::doImportJSON() {
    const QString path = Dialogs::get().openPath(window(), QString(), {QStringLiteral("JSON (*.json)")});
    if (path.isEmpty()) return;
    // Read and decoded on a worker; the rest goes on here once it is in, while the page still exists.
    Background::run<BoardFiles::Import>(
        this, [path] { return BoardFiles::readImport(path); },
        [this](BoardFiles::Import imp) {
            if (!imp.ok) {
                Dialogs::Alert a;
                a.title = L::t({.en = "Import error",
                                .es = "Error de importación",
                                .de = "Importfehler",
                                .fr = "Erreur d'importation",
                                .uk = "Помилка імпорту",
                                .pl = "Błąd importu"});
                a.text = TaskListFile::fileMessage(imp.error);
                if (a.text.isEmpty()) a.text = QStringLiteral("Could not read file. Make sure it is a valid Mivo JSON export.");
                a.warning = true;
                Dialogs::get().alert(window(), a);
                return;
            }
            const QString n = QString::number(imp.tasks.size());
            Dialogs::Alert q;
            q.title = QStringLiteral("Replace all tasks?");
            q.text = n + QStringLiteral(" tasks will be loaded. All current tasks will be deleted and replaced.");
            q.buttons = {replaceTitle(), cancelTitle()};
            q.warning = true;
            if (Dialogs::get().alert(window(), q) != 0) return;
            // "Import complete" only once the records are on disk; a refused write reaches the user through
            // the preferences' own save-failure alert.
            if (!TaskStore::shared().replaceAllAndSave(imp.tasks)) return;
            alertImportComplete(window(), n + QStringLiteral(" tasks loaded. All previous data replaced."));
        });
}
