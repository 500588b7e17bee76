#include "platform/StoreLoader.h"

#include <QPointer>
#include <QThreadPool>
#include <algorithm>
#include <malloc.h>

StoreLoader &StoreLoader::get() {
    static StoreLoader loader;
    return loader;
}

StoreLoader::JobPtr StoreLoader::start(const QString &key, std::function<void()> work,
                                       std::function<void()> install) {
    auto job = std::make_shared<Job>();
    job->key_ = key;
    job->work_ = std::move(work);
    job->install_ = std::move(install);
    jobs_.push_back(job);
    QThreadPool::globalInstance()->start([this, job] {
        job->work_();
        {
            std::lock_guard lock(job->m_);
            job->worked_ = true;
        }
        job->cv_.notify_all();
        QMetaObject::invokeMethod(this, [this, job] { finish(job); }, Qt::QueuedConnection);
    });
    return job;
}

void StoreLoader::finish(JobPtr job) {
    if (job) settle(job, true);
}

void StoreLoader::abandon(JobPtr job) {
    if (job) settle(job, false);
}

void StoreLoader::finishAll() {
    while (!jobs_.empty())
        finish(jobs_.front());
}

void StoreLoader::settle(JobPtr job, bool install) {
    if (job->installed_) return;
    {
        std::unique_lock lock(job->m_);
        job->cv_.wait(lock, [&] { return job->worked_; });
    }
    job->installed_ = true;
    std::erase(jobs_, job);
    auto fn = std::move(job->install_);
    job->work_ = nullptr;
    if (install && fn) fn();
    if (jobs_.empty()) {
        // A large decode leaves megabytes of freed parser and text buffers on the heap: hand them
        // back, so the settled process is as small as what it holds.
        ::malloc_trim(0);
        emit idle();
    }
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
