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
    doc_.load(QString::fromLatin1(kProjects), decodeProjects);
}

void ProjectStore::save() {
    doc_.save();
}

void ProjectStore::changed() {
    save();
    Notifier::get().post(QString::fromLatin1(Notify::projectsChanged), this);
}

void ProjectStore::add(const Project &project) {
    doc_.append(project);
    changed();
}

void ProjectStore::update(const Project &project) {
    Project *p = doc_.findFirst([&](const Project &p) { return p.id == project.id; });
    if (!p) return;
    *p = project;
    doc_.changed(p);
    changed();
}

void ProjectStore::remove(const QString &id) {
    doc_.eraseIf([&](const Project &p) { return p.id == id; });
    changed();
}
