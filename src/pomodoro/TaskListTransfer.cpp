// Export and import of the task list from the Pomodoro page's header.
#include "platform/Background.h"
#include "platform/Keys.h"
#include "platform/Dialogs.h"
#include "platform/Notifier.h"
#include "pomodoro/PomodoroView.h"
#include "pomodoro/TaskListFile.h"
#include "pomodoro/TaskStore.h"
#include "ui/CommonAlerts.h"
#include "ui/Lang.h"

void PomodoroView::doExportPom() {
    const QByteArray bytes = encodeTasks(TaskStore::shared().tasks());
    const QString path = Dialogs::get().savePath(window(), QString(), QLatin1String(TaskListFile::kProposedName),
                                                 {QStringLiteral("JSON (*.json)")});
    if (path.isEmpty()) return;
    const TaskListFile::WriteResult r = TaskListFile::write(path, bytes);
    if (r.ok) return;
    alertExportFailed(window(), r.error);
}

void PomodoroView::doImportPom() {
    const QString path = Dialogs::get().openPath(window(), QString(), {QStringLiteral("JSON (*.json)")});
    if (path.isEmpty()) return;
    // Read and decoded on a worker; the rest goes on here once it is in, while the page still exists.
    Background::run<TaskListFile::ReadResult>(
        this, [path] { return TaskListFile::read(path); },
        [this](TaskListFile::ReadResult r) { importPomRead(std::move(r)); });
}

void PomodoroView::importPomRead(TaskListFile::ReadResult r) {
    if (r.error != TaskListFile::ReadError::none) {
        // A file that cannot be read is reported the same way as one that is not a task list.
        Dialogs::Alert a;
        a.title = L::t({.en = "Import error", .es = "Error de importación", .de = "Importfehler", .fr = "Erreur d'importation",
                        .uk = "Помилка імпорту", .pl = "Błąd importu"});
        a.text = L::t({.en = "Invalid Mivo Tasks JSON file.", .es = "Archivo JSON no válido.", .de = "Ungültige Mivo JSON-Datei.",
                       .fr = "Fichier JSON Mivo invalide.", .uk = "Недійсний JSON-файл завдань Mivo.",
                       .pl = "Nieprawidłowy plik JSON zadań Mivo."});
        if (r.tooLong) a.text = LongText::message(*r.tooLong);
        if (const QString why = TaskListFile::fileMessage(r.error); !why.isEmpty()) a.text = why;
        a.warning = true;
        Dialogs::get().alert(window(), a);
        return;
    }
    Dialogs::Alert q;
    q.title = L::t({.en = "Replace all tasks?", .es = "¿Reemplazar todas las tareas?", .de = "Alle Aufgaben ersetzen?",
                    .fr = "Remplacer toutes les tâches ?", .uk = "Замінити всі завдання?", .pl = "Zastąpić wszystkie zadania?"});
    q.text = QString::number(r.tasks.size()) + QStringLiteral(" tasks will be loaded. All current tasks will be replaced.");
    q.buttons = {replaceTitle(), cancelTitle()};
    if (Dialogs::get().alert(window(), q) != 0) return;
    TaskStore::shared().replaceAll(r.tasks);
}
