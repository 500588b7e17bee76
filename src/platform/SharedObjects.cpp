#include "platform/SharedObjects.h"

#include <QCoreApplication>

namespace {
bool g_alive = false;

// A worker must not be at work once main() is over: the process's exit then destroys the libraries'
// own objects, some of them made by a worker's first use (simdjson picks its parser on its first
// parse and keeps it in a static), and so destroyed before this owner, while a dropped decode still
// uses them. The application object's end comes before that.
void freeAtApplicationEnd() {
    if (g_alive) SharedObjects::get().freeAll();
}
} // namespace

SharedObjects &SharedObjects::get() {
    static SharedObjects owner;
    return owner;
}

SharedObjects::SharedObjects() {
    g_alive = true;
    qAddPostRoutine(freeAtApplicationEnd);
}

SharedObjects::~SharedObjects() {
    freeAll();
    g_alive = false;
}

QObject *SharedObjects::find(const std::type_info &type) const {
    for (const Entry &e : objects_)
        if (*e.type == type) return e.object.get();
    return nullptr;
}

void SharedObjects::drop(const std::type_info &type) {
    for (auto it = objects_.begin(); it != objects_.end(); ++it) {
        if (*it->type != type) continue;
        // Out of the list first: the object's destructor may look its kind up again.
        std::unique_ptr<QObject> gone = std::move(it->object);
        objects_.erase(it);
        return;
    }
}

void SharedObjects::freeAll() {
    // One at a time from the back, so an object made while another is freed is freed too.
    while (!objects_.empty()) {
        std::unique_ptr<QObject> gone = std::move(objects_.back().object);
        objects_.pop_back();
    }
    loader_.waitForWorkers();
}
