#include "pomodoro/ProjectStore.h"

#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "platform/SharedObjects.h"
#include <algorithm>
#include <memory>

ProjectStore &ProjectStore::shared() {
    return SharedObjects::get().of<ProjectStore>();
}

void ProjectStore::resetForTests() {
    SharedObjects::get().drop<ProjectStore>();
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
