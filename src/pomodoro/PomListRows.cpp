#include "pomodoro/PomListRows.h"

#include "ui/DisplayText.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <algorithm>
#include <cmath>

namespace PomListRows {

QString taskRowId(const QString &taskId) { return QStringLiteral("task_") + taskId; }
QString projectRowId(const QString &projId) { return QStringLiteral("proj_") + projId; }

PomSelection parse(const std::optional<QString> &selected) {
    if (!selected) return {};
    const QString &s = *selected;
    if (s == QLatin1String(kTimerId)) return {PomSelection::Kind::timer, {}};
    if (s.startsWith(QLatin1String("task_"))) return {PomSelection::Kind::task, s.mid(5)};
    if (s.startsWith(QLatin1String("proj_"))) return {PomSelection::Kind::project, s.mid(5)};
    return {PomSelection::Kind::other, {}};
}

std::vector<int> todaysTaskIndexes(const std::vector<Task> &tasks, const QDate &today) {
    std::vector<int> open, done;
    const int d = today.day(), m = today.month(), y = today.year();
    for (size_t i = 0; i < tasks.size(); ++i) {
        const Task &t = tasks[i];
        if (t.day == d && t.month == m && t.year == y) (t.completed ? done : open).push_back(int(i));
    }
    open.insert(open.end(), done.begin(), done.end());
    return open;
}


PomListRow timerRow(Phase phase, double remaining, bool running) {
    const qint64 r = std::isfinite(remaining) && remaining > 0 ? qint64(remaining) : 0;
    const QString mmss =
        QStringLiteral("%1:%2").arg(r / 60, 2, 10, QLatin1Char('0')).arg(r % 60, 2, 10, QLatin1Char('0'));
    const QString left = L::t({.en = "left",
                               .es = "restante",
                               .de = "verbleibend",
                               .fr = "restant",
                               .uk = "залишилось",
                               .pl = "pozostało"});
    return {QLatin1String(kTimerId), Phases::emoji(phase), QStringLiteral("Pomodoro · ") + Phases::label(phase),
            running ? QStringLiteral("▶  ") + mmss + QLatin1Char(' ') + left : QStringLiteral("⏸  ") + mmss,
            Phases::accentColor(phase)};
}

TaskCat categoryOf(const Task &task) { return TaskCats::fromRaw(task.category).value_or(TaskCat::work); }

PomListRow taskRow(const Task &task) {
    const TaskCat c = categoryOf(task);
    if (task.completed) {
        const QString done =
            L::t({.en = "Done", .es = "Hecho", .de = "Erledigt", .fr = "Fait", .uk = "Виконано", .pl = "Gotowe"});
        return {taskRowId(task.id), QStringLiteral("✅"), DisplayText::cut(task.title), QStringLiteral("✓ ") + done, VF::accentDim()};
    }
    return {taskRowId(task.id), TaskCats::emoji(c), DisplayText::cut(task.title),
            TaskCats::emoji(c) + QLatin1Char(' ') + TaskCats::display(c), TaskCats::color(c)};
}

QColor projectColor() { return QColor::fromRgbF(0.9f, 0.55f, 0.2f); }

qsizetype doneSteps(const Project &project) {
    return std::count_if(project.checkpoints.begin(), project.checkpoints.end(),
                         [](const ProjectCheckpoint &c) { return c.completed; });
}

int progressPercent(const Project &project) { return int(std::trunc(project.progress() * 100.0)); }

QString stepsDone(const Project &project) {
    const qsizetype all = qsizetype(project.checkpoints.size());
    return QStringLiteral("%1/%2 ").arg(doneSteps(project)).arg(all) +
           L::form(all, {.one = {.en = "step", .es = "paso", .de = "Schritt", .fr = "étape", .uk = "крок", .pl = "krok"},
                         .few = {.en = "steps", .es = "pasos", .de = "Schritte", .fr = "étapes", .uk = "кроки", .pl = "kroki"},
                         .many = {.en = "steps", .es = "pasos", .de = "Schritte", .fr = "étapes", .uk = "кроків", .pl = "kroków"}});
}

PomListRow projectRow(const Project &project) {
    QString sub;
    if (project.checkpoints.empty()) {
        sub = L::t({.en = "No steps",
                    .es = "Sin pasos",
                    .de = "Keine Schritte",
                    .fr = "Aucune étape",
                    .uk = "Немає кроків",
                    .pl = "Brak kroków"});
    } else {
        sub = QStringLiteral("%1 · %2%").arg(stepsDone(project)).arg(progressPercent(project));
    }
    return {projectRowId(project.id), DisplayText::cut(project.emoji), DisplayText::cut(project.name), sub,
            projectColor()};
}

} // namespace PomListRows
