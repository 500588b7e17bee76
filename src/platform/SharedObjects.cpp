#include "platform/SharedObjects.h"

SharedObjects &SharedObjects::get() {
    static SharedObjects owner;
    return owner;
}

SharedObjects::~SharedObjects() {
    freeAll();
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
}
