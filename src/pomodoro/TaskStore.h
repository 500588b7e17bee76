#pragma once
#include "platform/Document.h"
#include "pomodoro/Task.h"
#include <QObject>
#include <optional>
#include <vector>

// All of the user's tasks, in insertion order. Every change writes the savedTasks document (re-encoding
// only the tasks changed since the last save) and then posts tasksChanged with the store as sender. Records are matched by id; where ids repeat (after
// an import) the single-record operations change the first match and remove() removes all.
// Main thread only.
class TaskStore : public QObject {
    Q_OBJECT
public:
    // The process-wide store, created and loaded on first use.
    static TaskStore &shared();
    // Drops the shared store; the next shared() loads again from the current preferences domain.
    static void resetForTests();

    // Starts loading the savedTasks document (a large one decodes off the window's thread; every use
    // of the store waits for it). An unreadable document is kept aside and the store starts empty.
    explicit TaskStore(QObject *parent = nullptr);

    // Every record, in insertion order. Changes go through the operations below.
    const std::vector<Task> &tasks() const { return doc_.records(); }

    const DocumentLoad &loadReport() const { return doc_.report(); }
    bool isLoaded() const { return doc_.isLoaded(); }

    void add(const Task &task);
    void update(const Task &task);
    void remove(const QString &id); // saves and posts even when nothing matched
    void toggle(const QString &id);
    void move(const QString &id, const QString &toCat);
    void moveTask(const QString &id, const QString &toCat, qint64 toDay, qint64 toMonth, qint64 toYear);
    void replaceAll(const std::vector<Task> &newTasks);
    // Sets completed to the given state (not a flip), so a caller showing a state stores that state.
    void setCompleted(const QString &id, bool completed);
    // Writes only title and description onto the first record with that id, so a move or toggle made
    // meanwhile stays. False when no record has that id (nothing saved, nothing posted).
    bool updateText(const QString &id, const QString &title, const QString &description);
    // Appends an open copy of the first record with that id, with a fresh id, filed under toCat on the
    // given date. The new id, or nothing when no record has that id.
    std::optional<QString> copyTask(const QString &id, const QString &toCat, qint64 toDay, qint64 toMonth,
                                    qint64 toYear);
    // replaceAll, then commits the preferences at once: true only when the records reached the disk
    // (a refused write is reported by the preferences' own failure signal).
    bool replaceAllAndSave(const std::vector<Task> &newTasks);
    // Writes the document; posts nothing.
    void save();

    qsizetype completedCount() const;
    qsizetype totalCount() const { return qsizetype(tasks().size()); }
    double progress() const;
    std::vector<Task> forCat(std::optional<TaskCat> cat) const;
    qsizetype completedForCat(TaskCat cat) const;
    qsizetype totalForCat(TaskCat cat) const;

    std::optional<QByteArray> exportJSON() const { return encodeTasks(tasks()); }
    QString exportTXT() const;
    QString exportCSV() const;
    QString exportPDFText() const;

private:
    Task *first(const QString &id);
    // Saves the document with t re-encoded, and posts.
    void changed(const Task *t);
    void changed();

    RecordDocument<Task, appendTask> doc_;
};
