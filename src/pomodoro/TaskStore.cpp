#include "pomodoro/TaskStore.h"

#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "platform/RecordJson.h"
#include "platform/SharedObjects.h"
#include "pomodoro/TaskReports.h"
#include <algorithm>
#include <memory>

TaskStore &TaskStore::shared() {
    return SharedObjects::get().of<TaskStore>();
}

void TaskStore::resetForTests() {
    SharedObjects::get().drop<TaskStore>();
}

TaskStore::TaskStore(QObject *parent) : QObject(parent) {
    doc_.load(QString::fromLatin1(kTasks), decodeTasks);
}

void TaskStore::save() {
    doc_.save();
}

void TaskStore::changed() {
    save();
    Notifier::get().post(QString::fromLatin1(Notify::tasksChanged), this);
}

void TaskStore::changed(const Task *t) {
    doc_.changed(t);
    changed();
}

Task *TaskStore::first(const QString &id) {
    return doc_.findFirst([&](const Task &t) { return t.id == id; });
}

void TaskStore::add(const Task &task) {
    doc_.append(task);
    changed();
}

void TaskStore::update(const Task &task) {
    Task *t = first(task.id);
    if (!t) return;
    *t = task;
    changed(t);
}

void TaskStore::remove(const QString &id) {
    doc_.eraseIf([&](const Task &t) { return t.id == id; });
    changed();
}

void TaskStore::toggle(const QString &id) {
    Task *t = first(id);
    if (!t) return;
    t->completed = !t->completed;
    changed(t);
}

void TaskStore::move(const QString &id, const QString &toCat) {
    Task *t = first(id);
    if (!t) return;
    t->category = toCat;
    changed(t);
}

void TaskStore::moveTask(const QString &id, const QString &toCat, qint64 toDay, qint64 toMonth,
                         qint64 toYear) {
    Task *t = first(id);
    if (!t) return;
    t->category = toCat;
    t->day = toDay;
    t->month = toMonth;
    t->year = toYear;
    changed(t);
}

void TaskStore::replaceAll(const std::vector<Task> &newTasks) {
    doc_.replace(newTasks);
    changed();
}

void TaskStore::setCompleted(const QString &id, bool completed) {
    Task *t = first(id);
    if (!t) return;
    t->completed = completed;
    changed(t);
}

bool TaskStore::updateText(const QString &id, const QString &title, const QString &description) {
    Task *t = first(id);
    if (!t) return false;
    t->title = title;
    t->description = description;
    changed(t);
    return true;
}

std::optional<QString> TaskStore::copyTask(const QString &id, const QString &toCat, qint64 toDay, qint64 toMonth,
                                           qint64 toYear) {
    const Task *t = first(id);
    if (!t) return std::nullopt;
    Task c = *t;
    c.id = RecordJson::newId();
    c.category = toCat;
    c.day = toDay;
    c.month = toMonth;
    c.year = toYear;
    c.completed = false;
    const QString newId = c.id;
    doc_.append(std::move(c));
    changed();
    return newId;
}

bool TaskStore::replaceAllAndSave(const std::vector<Task> &newTasks) {
    doc_.replace(newTasks);
    save();
    Prefs &prefs = Prefs::get();
    // A frozen domain drops writes (after erase or restore): nothing would reach the disk.
    const bool saved = !prefs.isFrozen() && prefs.flush() && prefs.isPersistent();
    Notifier::get().post(QString::fromLatin1(Notify::tasksChanged), this);
    return saved;
}

qsizetype TaskStore::completedCount() const {
    return std::count_if(tasks().begin(), tasks().end(), [](const Task &t) { return t.completed; });
}

double TaskStore::progress() const {
    return tasks().empty() ? 0.0 : double(completedCount()) / double(totalCount());
}

std::vector<Task> TaskStore::forCat(std::optional<TaskCat> cat) const {
    return tasksInDateOrder(tasks(), cat);
}

qsizetype TaskStore::completedForCat(TaskCat cat) const {
    const QString raw = TaskCats::rawValue(cat);
    return std::count_if(tasks().begin(), tasks().end(),
                         [&](const Task &t) { return t.completed && t.category == raw; });
}

qsizetype TaskStore::totalForCat(TaskCat cat) const {
    const QString raw = TaskCats::rawValue(cat);
    return std::count_if(tasks().begin(), tasks().end(), [&](const Task &t) { return t.category == raw; });
}

QString TaskStore::exportTXT() const {
    return TaskReports::txt(tasks());
}
QString TaskStore::exportCSV() const {
    return TaskReports::csv(tasks());
}
QString TaskStore::exportPDFText() const {
    return TaskReports::pdfText(tasks());
}
