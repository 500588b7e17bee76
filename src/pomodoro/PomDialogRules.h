#pragma once
#include "pomodoro/Project.h"
#include "pomodoro/Task.h"
#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// The rules the Pomodoro page's dialogs apply to what the user typed, kept apart from the widgets so
// they can be checked directly.
namespace PomDialogRules {
// Spaces and tabs off both ends; line breaks stay.
QString trimSpacesTabs(const QString &s);
// Every kind of white space and line break off both ends; inner line breaks stay.
QString trimWhitespace(const QString &s);

// An optional "+" or "-" followed by decimal digits only; nothing for anything else, or a number that
// does not fit.
std::optional<qint64> parseWholeNumber(const QString &s);

// A step starts at most this many days before or after day 0 and lasts at most this many days: a
// century of days covers any plan, and keeps the chart's arithmetic far from overflow.
inline constexpr qint64 kMaxStepDays = 36500;
// A start field: a whole number becomes the start (held to ±kMaxStepDays); anything else keeps the
// previous start.
qint64 stepStart(const QString &text, qint64 previous);
// A length field: a whole number held to 1…kMaxStepDays; anything else is 1.
qint64 stepLength(const QString &text);
// A new step placed after the last one (day 0 when there is none), 3 days long, open.
ProjectCheckpoint newStepAfter(const std::vector<ProjectCheckpoint> &steps);

// The new task of the add-task dialog, dated day; nothing when the title is blank. A category index
// outside 0…3 gives work.
std::optional<Task> newTask(const QString &title, int categoryIndex, const QString &description,
                            const QDate &day);
// The new project of the add-project dialog; nothing when the name is blank. A blank emoji gives "📁".
std::optional<Project> newProject(const QString &name, const QString &emoji, const QString &description);

// What the edit-project panel holds when the user saves.
struct ProjectEdit {
    QString name;
    QString emoji;
    QString description;
    QStringList imagePaths;
    std::vector<ProjectCheckpoint> steps;
};
// The project to store: the edits laid over the project as it is stored now. Id and creation time
// come from the stored project, and so does every kept step's completed flag (matched by step id),
// so a step ticked elsewhere while the panel was open stays ticked. Names and emoji are trimmed of
// spaces and tabs, the description of all white space. Nothing when the name is blank.
std::optional<Project> mergeEdit(const Project &stored, const ProjectEdit &edit);
} // namespace PomDialogRules
