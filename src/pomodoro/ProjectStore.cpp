#include "pomodoro/ProjectStore.h"

#include "platform/Keys.h"
#include "platform/Notifier.h"
#include <algorithm>
#include <memory>
#include <mutex>

namespace {
std::mutex g_sharedLock;
std::unique_ptr<ProjectStore> g_shared;
} // namespace

ProjectStore &ProjectStore::shared() {
    std::lock_guard lock(g_sharedLock);
    if (!g_shared) g_shared = std::make_unique<ProjectStore>();
    return *g_shared;
}

void ProjectStore::resetForTests() {
    std::lock_guard lock(g_sharedLock);
    g_shared.reset();
}

ProjectStore::ProjectStore(QObject *parent) : QObject(parent) {
    projects_ = loadDocument<std::vector<Project>>(QString::fromLatin1(kProjects), decodeProjects, &load_);
}

void ProjectStore::save() {
    saveDocument(QString::fromLatin1(kProjects), encodeProjects(projects_));
}

void ProjectStore::changed() {
    save();
    Notifier::get().post(QString::fromLatin1(Notify::projectsChanged), this);
}

void ProjectStore::add(const Project &project) {
    projects_.push_back(project);
    changed();
}

void ProjectStore::update(const Project &project) {
    auto it = std::find_if(projects_.begin(), projects_.end(),
                           [&](const Project &p) { return p.id == project.id; });
    if (it == projects_.end()) return;
    *it = project;
    changed();
}

void ProjectStore::remove(const QString &id) {
    std::erase_if(projects_, [&](const Project &p) { return p.id == id; });
    changed();
}
