#include "platform/StoreLoader.h"

#include "platform/SharedObjects.h"
#include <QPointer>
#include <QThreadPool>
#include <algorithm>
#include <malloc.h>

namespace {
// Documents load one after another on one worker: side by side their peaks would add up (with the
// five-year profile one worker keeps the launch's peak about 9 MB lower, for no loss on the window's
// thread, which takes up a document itself when it needs one the worker has not reached).
constexpr int kWorkers = 1;
// The workers end soon after the launch's loads, so their stacks do not stay for the session.
constexpr int kWorkerIdleMs = 2000;
} // namespace

StoreLoader &StoreLoader::get() {
    return SharedObjects::get().loader();
}

StoreLoader::StoreLoader() {
    pool_.setMaxThreadCount(kWorkers);
    pool_.setExpiryTimeout(kWorkerIdleMs);
}

StoreLoader::~StoreLoader() {
    // Work still running finishes on its own; nothing is handed back to a loader that is gone.
    for (const JobPtr &job : jobs_) {
        std::lock_guard lock(job->m_);
        if (job->state_ != Job::State::Done) job->state_ = Job::State::Dropped;
    }
    jobs_.clear();
    pool_.waitForDone();
}

void StoreLoader::run(Job &job) {
    job.work_();
    job.work_ = nullptr; // what it captured (the document's bytes) goes now
}

StoreLoader::JobPtr StoreLoader::start(const QString &key, std::function<void()> work,
                                       std::function<void()> install) {
    auto job = std::make_shared<Job>();
    job->key_ = key;
    job->work_ = std::move(work);
    job->install_ = std::move(install);
    jobs_.push_back(job);
    pool_.start([this, job] {
        {
            std::lock_guard lock(job->m_);
            if (job->state_ != Job::State::Queued) return; // dropped, or run by finish()
            job->state_ = Job::State::Running;
        }
        run(*job);
        std::lock_guard lock(job->m_);
        if (job->state_ == Job::State::Dropped) return;
        job->state_ = Job::State::Done;
        job->cv_.notify_all();
        // Under the lock: once abandon() or the destructor has marked the job, nothing is posted.
        QMetaObject::invokeMethod(
            this, [this, job] { finish(job); }, Qt::QueuedConnection);
    });
    return job;
}

void StoreLoader::finish(JobPtr job) {
    if (!job || job->settled_) return;
    bool runHere = false;
    {
        std::unique_lock lock(job->m_);
        if (job->state_ == Job::State::Queued) {
            // No worker has taken it up (they are busy with other documents): waiting would only
            // add their time to this one's.
            job->state_ = Job::State::Running;
            runHere = true;
        } else {
            job->cv_.wait(lock, [&] { return job->state_ == Job::State::Done; });
        }
    }
    if (runHere) {
        run(*job);
        std::lock_guard lock(job->m_);
        job->state_ = Job::State::Done;
    }
    auto install = std::move(job->install_);
    settled(job);
    if (install) install();
    if (!loading()) {
        // A large decode leaves megabytes of freed parser and text buffers on the heap: hand them
        // back, so the settled process is as small as what it holds. Away from the window's thread:
        // walking the heap takes milliseconds.
        trimHeapLater();
        emit idle();
    }
}

void StoreLoader::trimHeapLater() {
    QThreadPool::globalInstance()->start([] { ::malloc_trim(0); });
}

void StoreLoader::abandon(JobPtr job) {
    if (!job || job->settled_) return;
    bool queued = false;
    {
        std::lock_guard lock(job->m_);
        queued = job->state_ == Job::State::Queued;
        if (job->state_ != Job::State::Done) job->state_ = Job::State::Dropped;
    }
    if (queued) job->work_ = nullptr; // no worker will touch it now
    job->install_ = nullptr;
    settled(job);
    if (!loading()) emit idle();
}

void StoreLoader::settled(const JobPtr &job) {
    job->settled_ = true;
    std::erase(jobs_, job);
}

void StoreLoader::waitForWorkers() {
    pool_.waitForDone();
}

void StoreLoader::finishAll() {
    while (!jobs_.empty())
        finish(jobs_.front());
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
