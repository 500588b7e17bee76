#include "platform/StoreLoader.h"

#include "platform/SharedObjects.h"
#include <algorithm>
#include <condition_variable>
#include <malloc.h>
#include <memory>
#include <mutex>

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

namespace {
// Under a sanitizer the heap is the sanitizer's: the C library's allocator was never set up, and two
// workers trimming it at once may find it half set up.
void trimHeap() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    ::malloc_trim(0);
#endif
}
} // namespace

void StoreLoader::trimHeapLater() {
    Background::detached([] { trimHeap(); });
}

namespace {
// The frees handed to workers and not yet done: each is run once, by the worker it was handed to or
// by one that waits for it, whichever takes it first.
struct Frees {
    struct Free {
        std::function<void()> fn;
        bool taken = false;
    };
    std::mutex m;
    std::condition_variable done;
    std::vector<std::shared_ptr<Free>> due; // not yet taken
    int running = 0;

    // Never destroyed: a free may still be running on a worker as the process ends.
    static Frees &get() {
        static Frees *const frees = new Frees;
        return *frees;
    }
    // Runs f unless another worker took it.
    void run(const std::shared_ptr<Free> &f) {
        {
            std::lock_guard l(m);
            if (f->taken) return;
            f->taken = true;
            std::erase(due, f);
            ++running;
        }
        std::exchange(f->fn, {})();
        trimHeap();
        {
            std::lock_guard l(m);
            --running;
        }
        done.notify_all();
    }
};
} // namespace

void StoreLoader::freeLater(std::function<void()> free) {
    Frees &frees = Frees::get();
    auto f = std::make_shared<Frees::Free>();
    f->fn = std::move(free);
    {
        std::lock_guard l(frees.m);
        frees.due.push_back(f);
    }
    Background::detached([f] { Frees::get().run(f); });
}

void StoreLoader::awaitFrees() {
    Frees &frees = Frees::get();
    std::unique_lock l(frees.m);
    while (!frees.due.empty()) {
        const std::shared_ptr<Frees::Free> f = frees.due.front();
        l.unlock();
        frees.run(f);
        l.lock();
    }
    frees.done.wait(l, [&] { return frees.running == 0; });
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
