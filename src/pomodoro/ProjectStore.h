#pragma once
#include "platform/Document.h"
#include "pomodoro/Project.h"
#include <QObject>
#include <vector>

// All of the user's projects, in creation order. Every change writes the savedProjects document
// (re-encoding only the projects changed since the last save) and then posts projectsChanged with the
// store as sender. Main thread only.
class ProjectStore : public QObject {
    Q_OBJECT
public:
    // The process-wide store, created and loaded on first use.
    static ProjectStore &shared();
    // Drops the shared store; the next shared() loads again from the current preferences domain.
    static void resetForTests();

    // Starts loading the savedProjects document (every use of the store waits for it). An unreadable
    // document is kept aside and the store starts empty.
    explicit ProjectStore(QObject *parent = nullptr);

    const std::vector<Project> &projects() const { return doc_.records(); }
    const DocumentLoad &loadReport() const { return doc_.report(); }

    void add(const Project &project);
    // Replaces the first project with that id in place; no match: nothing, no write, no post.
    void update(const Project &project);
    // Removes every project with that id; writes and posts even when nothing matched.
    void remove(const QString &id);

private:
    void save();
    void changed();

    RecordDocument<Project, appendProject> doc_;
};
