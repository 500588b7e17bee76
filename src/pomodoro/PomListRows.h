#pragma once
#include "pomodoro/Phase.h"
#include "pomodoro/Project.h"
#include "pomodoro/Task.h"
#include <QColor>
#include <QDate>
#include <QString>
#include <vector>

// What the Pomodoro page's list shows, worked out without widgets: the row ids that name the
// selection, the order of today's tasks and the texts of each row.
struct PomListRow {
    QString id;
    QString emoji;
    QString title; // the user's texts cut for display (DisplayText::cut)
    QString subtitle;
    QColor accent;
};

// What a selection id names.
struct PomSelection {
    enum class Kind { none, timer, task, project, other };
    Kind kind = Kind::none;
    QString recordId; // the task or project id for those kinds
};

namespace PomListRows {
inline constexpr char kTimerId[] = "pom_timer";
QString taskRowId(const QString &taskId);    // "task_" + id
QString projectRowId(const QString &projId); // "proj_" + id
PomSelection parse(const std::optional<QString> &selected);

// The positions in tasks of the tasks dated today, in store order, every open task before every
// done one (positions rather than copies, so that a long store costs the list nothing).
std::vector<int> todaysTaskIndexes(const std::vector<Task> &tasks, const QDate &today);

PomListRow timerRow(Phase phase, double remaining, bool running);
PomListRow taskRow(const Task &task);
PomListRow projectRow(const Project &project);
// The project colour, the same in every theme.
QColor projectColor();
// A task's category; a string that names none of the four reads as work.
TaskCat categoryOf(const Task &task);
// Completed steps over all steps as a whole percentage, cut towards zero.
int progressPercent(const Project &project);
qsizetype doneSteps(const Project &project);
// "3/5 steps": done over all steps, the word in the form the number of all steps asks for.
QString stepsDone(const Project &project);
} // namespace PomListRows
