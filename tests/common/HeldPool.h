#pragma once
#include "platform/Background.h"
#include "platform/Handover.h"
#include <QRunnable>
#include <QSemaphore>
#include <QThreadPool>
#include <vector>

// The pools work goes to (ours, and Qt's global one, where Qt hands work of its own) cut down to one
// worker each, held busy until release() or the end of the scope: work handed to a worker meanwhile
// waits, so a test sees the window's side of it alone.
struct HeldPool {
    struct Held {
        QThreadPool *pool;
        int threads;
    };
    std::vector<Held> pools{{&Background::pool(), Background::pool().maxThreadCount()},
                            {QThreadPool::globalInstance(), QThreadPool::globalInstance()->maxThreadCount()}};
    QSemaphore held;
    // Takes up a worker until released, its hand-over marked as the app's own tasks' are.
    class Holder : public QRunnable {
    public:
        explicit Holder(QSemaphore *held) : held_(held) { Handover::release(this); }
        void run() override {
            Handover::acquire(this);
            held_->acquire();
        }

    private:
        QSemaphore *held_;
    };
    // withQts false: Qt's pool is left free, for a test that paints meanwhile (Qt draws large
    // images on it and waits for it).
    explicit HeldPool(bool withQts = true) {
        if (!withQts) pools.pop_back();
        for (const Held &h : pools) {
            h.pool->setMaxThreadCount(1);
            h.pool->start(new Holder(&held));
        }
    }
    void release() {
        if (held.available() == 0) held.release(int(pools.size()));
    }
    ~HeldPool() {
        release();
        for (const Held &h : pools) {
            h.pool->waitForDone();
            h.pool->setMaxThreadCount(h.threads);
        }
    }
};
