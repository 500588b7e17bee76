#include "platform/StoreLoader.h"

#include "platform/SharedObjects.h"
#include <algorithm>
#include <malloc.h>

StoreLoader &StoreLoader::get() {
    return SharedObjects::get().loader();
}

StoreLoader::StoreLoader() = default;

StoreLoader::~StoreLoader() {
    // Work still running finishes on its own; nothing is handed back to a loader that is gone.
    for (const JobPtr &job : std::vector(jobs_))
        Background::abandon(job);
    jobs_.clear();
    lane_.waitIdle();
}

StoreLoader::JobPtr StoreLoader::start(const QString &key, std::function<void()> work,
                                       std::function<void()> install) {
    JobPtr job = Background::start(
        this, std::move(work),
        [this, install = std::move(install)] {
            settled();
            install();
            if (!loading()) {
                // A large decode leaves megabytes of freed parser and text buffers on the heap: hand
                // them back, so the settled process is as small as what it holds. Away from the
                // window's thread: walking the heap takes milliseconds.
                trimHeapLater();
                emit idle();
            }
        },
        {}, {key, Background::AtQuit::abandon, {}}, &lane_);
    jobs_.push_back(job);
    return job;
}

void StoreLoader::finish(const JobPtr &job) {
    Background::finish(job);
}

void StoreLoader::trimHeapLater() {
    Background::detached([] { ::malloc_trim(0); });
}

void StoreLoader::abandon(const JobPtr &job) {
    if (!job || Background::settled(job)) return;
    Background::abandon(job);
    settled();
    if (!loading()) emit idle();
}

void StoreLoader::settled() {
    std::erase_if(jobs_, [](const JobPtr &job) { return Background::settled(job); });
}

void StoreLoader::whenIdle(QObject *context, std::function<void()> fn) {
    if (!loading()) {
        fn();
        return;
    }
    auto conn = std::make_shared<QMetaObject::Connection>();
    *conn = connect(this, &StoreLoader::idle, context, [conn, fn = std::move(fn)] {
        QObject::disconnect(*conn);
        fn();
    });
}
