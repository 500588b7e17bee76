#pragma once
// Record makers shared by the tests.
#include "pomodoro/Task.h"
#include <QDate>

// A task with every field given; the title is "t" unless named.
inline Task makeTask(const QString &id, const QString &category, qint64 day, qint64 month, qint64 year,
                     bool done = false, const QString &title = QStringLiteral("t"),
                     const QString &description = {}) {
    Task t;
    t.id = id;
    t.title = title;
    t.description = description;
    t.category = category;
    t.day = day;
    t.month = month;
    t.year = year;
    t.completed = done;
    return t;
}

inline Task makeTask(const QString &id, const QString &category, const QDate &day, bool done = false,
                     const QString &title = QStringLiteral("t")) {
    return makeTask(id, category, day.day(), day.month(), day.year(), done, title);
}

// The first task with the id, or null.
inline const Task *taskById(const std::vector<Task> &tasks, const QString &id) {
    for (const Task &t : tasks)
        if (t.id == id) return &t;
    return nullptr;
}
