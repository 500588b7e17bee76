#pragma once
#include "pomodoro/TaskCat.h"
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// A to-do item planned for one calendar day and filed under a category. The date is the day, month
// and year numbers of the user's calendar, with no time of day.
struct Task {
    QString id;
    QString title;
    QString description;
    QString category; // a TaskCat raw value, never validated: a document may carry other strings
    qint64 day = 0;
    qint64 month = 0;
    qint64 year = 0;
    bool completed = false;

    Task() = default;
    // A new open task dated today (Clock::today()) with a fresh id.
    Task(const QString &title, const QString &category, const QString &description);

    bool operator==(const Task &) const = default;
};

// The savedTasks document (also the task list export file): a compact JSON array, one object per task
// with the eight keys in field order.
QByteArray encodeTasks(const std::vector<Task> &tasks);
// One task's object, as encodeTasks writes it; the document is these joined by ',' inside '[' ']'.
void appendTask(QByteArray &out, const Task &t);
// Nothing when the bytes are not such an array or any record lacks a key or has a mistyped one.
std::optional<std::vector<Task>> decodeTasks(const QByteArray &bytes);

// The tasks of one category (all tasks when none is given), ascending by year, month and day; tasks
// of one date keep their order in the list.
std::vector<Task> tasksInDateOrder(const std::vector<Task> &tasks, std::optional<TaskCat> cat);

// day.MM.year: day and year without leading zeros, the month with two digits.
QString taskDateText(const Task &t);
