#pragma once
#include <QSemaphore>
#include <QThreadPool>

// The global pool cut down to one worker, held busy until release() or the end of the scope: work
// handed to a worker meanwhile waits, so a test sees the window's side of it alone.
struct HeldPool {
    QThreadPool *pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    QSemaphore held;
    HeldPool() {
        pool->setMaxThreadCount(1);
        pool->start([this] { held.acquire(); });
    }
    void release() {
        if (held.available() == 0) held.release();
    }
    ~HeldPool() {
        release();
        pool->waitForDone();
        pool->setMaxThreadCount(threads);
    }
};
