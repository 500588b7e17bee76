#include "platform/Background.h"

#include "platform/Handover.h"
#include <QCoreApplication>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace {
// Workers end soon after a burst of work, so their stacks do not stay for the session.
constexpr int kWorkerIdleMs = 2000;
} // namespace

struct Background::Lane::State {
    int max = 1;
    std::mutex m;
    std::condition_variable idle;
    std::deque<JobPtr> queue; // m: not yet taken up by a worker
    int draining = 0;         // m: workers taking jobs off the queue
    int atWork = 0;           // m: jobs of the lane a worker runs now
};

namespace Background {
class Job {
public:
    enum class State { queued, running, ended, dropped };

    Options options;
    QThread *thread = nullptr; // the receiver's
    std::shared_ptr<Lane::State> lane;
    std::function<void()> work; // cleared by whoever ran it, with what it captured
    QMetaObject::Connection gone;
    std::mutex m;
    std::condition_variable cv;
    QObject *receiver = nullptr;    // m: null once it is gone
    std::function<void()> handBack; // m: taken by whoever settles the job
    std::function<void()> drop;     // m: the same
    State state = State::queued;    // m
    bool settled = false;           // m: handed back or dropped, and out of the registry
    // Whether the work asked hurried() before quitting gave up on it: work that asks first is waited
    // for (asked), work quitting gave up on first gives up when it asks (hurried).
    enum Phase { fresh, asked, hurried };
    std::atomic<int> phase = fresh;
    bool gaveUp = false; // m: the work gave up (hurried() answered true): nothing to hand back

    bool over() const { return settled || (state != State::queued && state != State::running); }
};

namespace {
std::mutex g_mutex;
// g_mutex: started, not settled. Never destroyed: work the process's end does not wait for
// (AtQuit::abandon) takes its job out when it ends, which may be while the program's static objects
// are being destroyed.
std::vector<JobPtr> &registry() {
    static auto *const started = new std::vector<JobPtr>;
    return *started;
}
thread_local Job *t_job = nullptr; // the job whose work this worker runs
std::function<void()> g_asked, g_hurrying; // test hooks, set while no job runs
std::function<void(const QString &)> g_started; // test hook, set while no job starts

// Frees what a job made, never on the window's thread (it may be a document of megabytes), except
// when the application is going and no worker is to be had.
void dropAway(std::function<void()> drop) {
    if (!drop) return;
    if (QCoreApplication::closingDown() || !QCoreApplication::instance())
        drop();
    else
        detached(std::move(drop));
}

// Out of the registry; the caller has set settled.
void unregister(const JobPtr &job) {
    QObject::disconnect(job->gone);
    std::lock_guard l(g_mutex);
    std::erase(registry(), job);
}

// On the receiver's thread: hands the result back, or frees it when the receiver is gone.
void deliver(const JobPtr &job) {
    std::function<void()> handBack, drop;
    bool to = false;
    {
        std::lock_guard l(job->m);
        if (job->settled) return;
        job->settled = true;
        to = job->receiver != nullptr;
        handBack = std::move(job->handBack);
        drop = std::move(job->drop);
    }
    unregister(job);
    if (to && handBack)
        handBack();
    else
        dropAway(std::move(drop));
}

// On the receiver's thread: the hand-back will not run (its receiver went, or quitting drops it).
void undelivered(const JobPtr &job) {
    std::function<void()> handBack, drop;
    {
        std::lock_guard l(job->m);
        if (job->settled) return;
        job->settled = true;
        handBack = std::move(job->handBack);
        drop = std::move(job->drop);
    }
    unregister(job);
    handBack = nullptr; // what it captured goes on its own thread
    dropAway(std::move(drop));
}

// The queued call that hands a result back. One that never runs (its receiver went first, or the
// application ended before its event loop came to it) frees the result all the same. Its hand-over is
// marked on the object itself, where Qt's queued call keeps it: the receiver's thread reads nothing
// of it before.
class HandBack {
public:
    explicit HandBack(JobPtr job) : job_(std::move(job)) { Handover::release(this); }
    HandBack(HandBack &&o) noexcept : job_(std::move(o.job_)) { Handover::release(this); }
    HandBack(const HandBack &) = delete;
    HandBack &operator=(const HandBack &) = delete;
    HandBack &operator=(HandBack &&) = delete;
    ~HandBack() {
        Handover::acquire(this);
        if (job_) undelivered(job_);
    }
    void operator()() {
        Handover::acquire(this);
        deliver(std::exchange(job_, nullptr));
    }

private:
    JobPtr job_;
};

// The receiver is being destroyed (on its thread): nothing is handed back to it, and what the
// hand-back captured goes now, here.
void receiverGone(const JobPtr &job) {
    std::function<void()> handBack;
    std::lock_guard l(job->m);
    job->receiver = nullptr;
    handBack = std::move(job->handBack);
}

// A task on the pool, its hand-over marked on the task itself: the worker reads nothing of it
// before (a lambda handed to the pool as such is read by the call into it, before any of its code).
class PoolTask : public QRunnable {
public:
    explicit PoolTask(std::function<void()> fn) : fn_(std::move(fn)) { Handover::release(this); }
    void run() override {
        Handover::acquire(this);
        fn_();
        fn_ = nullptr; // what it captured goes here
    }

private:
    std::function<void()> fn_;
};

void startOnPool(std::function<void()> fn) {
    pool().start(new PoolTask(std::move(fn)));
}

void runOnWorker(const JobPtr &job) {
    {
        std::lock_guard l(job->m);
        if (job->state != Job::State::queued) return; // abandoned, or run by finish()
        job->state = Job::State::running;
    }
    t_job = job.get();
    job->work();
    t_job = nullptr;
    job->work = nullptr; // what it captured goes here, not on the receiver's thread
    std::function<void()> drop;
    bool settles = false;
    {
        std::lock_guard l(job->m);
        if (job->state == Job::State::running && job->gaveUp) {
            // Quitting waits for it (takeBack) and keeps what it would have saved.
            job->state = Job::State::ended;
            job->cv.notify_all();
            return;
        }
        if (job->state == Job::State::running && job->receiver) {
            job->state = Job::State::ended;
            job->cv.notify_all();
            // Under the lock: the receiver is not destroyed before the call is queued, and once it
            // is, the queued call goes with it (and frees the result).
            QMetaObject::invokeMethod(
                job->receiver, [h = HandBack(job)]() mutable { h(); }, Qt::QueuedConnection);
            return;
        }
        // Abandoned while it ran, or its receiver went: what it made is freed here.
        settles = !job->settled;
        job->settled = true;
        job->state = Job::State::dropped;
        drop = std::move(job->drop);
        job->cv.notify_all();
    }
    if (settles) unregister(job);
    if (drop) drop();
}

void drain(const std::shared_ptr<Lane::State> &lane) {
    for (;;) {
        JobPtr job;
        {
            std::lock_guard l(lane->m);
            if (lane->queue.empty()) {
                --lane->draining;
                lane->idle.notify_all();
                return;
            }
            job = std::move(lane->queue.front());
            lane->queue.pop_front();
            ++lane->atWork;
        }
        runOnWorker(job);
        std::lock_guard l(lane->m);
        --lane->atWork;
        lane->idle.notify_all();
    }
}

void enqueue(const JobPtr &job) {
    if (!job->lane) {
        startOnPool([job] { runOnWorker(job); });
        return;
    }
    const std::shared_ptr<Lane::State> &lane = job->lane;
    std::lock_guard l(lane->m);
    lane->queue.push_back(job);
    if (lane->draining < lane->max) {
        ++lane->draining;
        startOnPool([lane] { drain(lane); });
    }
}

bool busy(Lane::State &lane) {
    if (lane.atWork > 0) return true;
    return std::any_of(lane.queue.begin(), lane.queue.end(), [](const JobPtr &job) {
        std::lock_guard l(job->m);
        return job->state == Job::State::queued;
    });
}
} // namespace

Lane::Lane(int maxRunning) : s_(std::make_shared<State>()) {
    s_->max = std::max(1, maxRunning);
}

Lane::~Lane() {
    waitIdle();
}

bool Lane::busy() const {
    std::lock_guard l(s_->m);
    return Background::busy(*s_);
}

void Lane::waitIdle() const {
    std::unique_lock l(s_->m);
    s_->idle.wait(l, [this] { return !Background::busy(*s_); });
}

JobPtr start(QObject *receiver, std::function<void()> work, std::function<void()> handBack,
             std::function<void()> drop, Options options, Lane *lane) {
    Q_ASSERT(receiver);
    auto job = std::make_shared<Job>();
    job->options = std::move(options);
    job->thread = receiver->thread();
    job->receiver = receiver;
    job->work = std::move(work);
    job->handBack = std::move(handBack);
    job->drop = std::move(drop);
    if (lane) job->lane = lane->s_;
    job->gone = QObject::connect(receiver, &QObject::destroyed, [weak = std::weak_ptr<Job>(job)] {
        if (const JobPtr j = weak.lock()) receiverGone(j);
    });
    {
        std::lock_guard l(g_mutex);
        registry().push_back(job);
    }
    if (g_started) g_started(job->options.name);
    enqueue(job);
    return job;
}

void finish(const JobPtr &job) {
    if (!job) return;
    bool here = false;
    {
        std::unique_lock l(job->m);
        if (job->settled) return;
        if (job->state == Job::State::queued) {
            // No worker has taken it up (they are busy with other work): waiting would only add
            // their time to this one's.
            job->state = Job::State::running;
            here = true;
        } else {
            job->cv.wait(l, [&] { return job->over(); });
        }
    }
    if (here) {
        job->work();
        job->work = nullptr;
        std::lock_guard l(job->m);
        job->state = Job::State::ended;
        job->cv.notify_all();
    }
    deliver(job);
}

void abandon(const JobPtr &job) {
    if (!job) return;
    std::function<void()> handBack, drop;
    bool skipped = false;
    {
        std::lock_guard l(job->m);
        if (job->settled) return;
        job->settled = true;
        handBack = std::move(job->handBack);
        switch (job->state) {
        case Job::State::queued:
            skipped = true; // no worker touches it now
            [[fallthrough]];
        case Job::State::ended:
            drop = std::move(job->drop);
            break;
        case Job::State::running: // the worker frees what it makes
        case Job::State::dropped:
            break;
        }
        job->state = Job::State::dropped;
        job->cv.notify_all();
    }
    unregister(job);
    handBack = nullptr;
    if (skipped) job->work = nullptr;
    dropAway(std::move(drop));
}

bool hurried() {
    if (g_asked) g_asked();
    Job *const job = t_job;
    if (!job) return false;
    int was = Job::fresh;
    job->phase.compare_exchange_strong(was, Job::asked);
    if (was != Job::hurried) return false; // asked first (now or before): quitting waits for it
    std::lock_guard l(job->m);
    job->gaveUp = true;
    return true;
}

void setStartHookForTests(std::function<void(const QString &name)> hook) {
    g_started = std::move(hook);
}

void setHurryHooksForTests(std::function<void()> asked, std::function<void()> hurrying) {
    g_asked = std::move(asked);
    g_hurrying = std::move(hurrying);
}

namespace {
// Quitting takes a job no worker has taken up back from the pool: its work never runs, and nothing
// is handed back. False when a worker runs it (or ran it) already.
bool claim(const JobPtr &job) {
    std::function<void()> handBack, drop;
    {
        std::lock_guard l(job->m);
        if (job->settled || job->state != Job::State::queued) return false;
        job->settled = true;
        job->state = Job::State::dropped;
        handBack = std::move(job->handBack);
        drop = std::move(job->drop); // it made nothing to free
        job->cv.notify_all();
    }
    unregister(job);
    job->work = nullptr;
    return true;
}

// Quitting waits for a save a worker is making, past the saves' share, until its work ends: true
// when its result is then still to be handed back. Giving it up there to make it again on the
// window's thread would throw away what the worker made and begin it all again, with no bound
// either, leaving the commit or the keep of the edit too little time; the work moves on, stretch by
// stretch, as fast as the machine allows. Only work that has asked hurried() is waited for: other
// work may never look, and is named as before.
bool waitMade(const JobPtr &job) {
    {
        std::lock_guard l(job->m);
        if (job->settled) return false;
        if (job->state == Job::State::ended && !job->gaveUp) return true; // not handed back yet
        if (job->state != Job::State::running) return false;
        // Work a worker has begun but that has not asked yet gives up when it first asks, rather
        // than making the whole save past the quit (its result would reach no one, and its work
        // would outlast the application). The one mark decides which of the two comes first.
        int was = Job::fresh;
        if (job->phase.compare_exchange_strong(was, Job::hurried) || was == Job::hurried) return false;
    }
    if (g_hurrying) g_hurrying();
    std::unique_lock l(job->m);
    job->cv.wait(l, [&] { return job->over(); });
    return !job->settled && !job->gaveUp;
}
} // namespace

bool settled(const JobPtr &job) {
    std::lock_guard l(job->m);
    return job->settled;
}

void detached(std::function<void()> work) {
    startOnPool(std::move(work));
}

int stopAll() {
    std::vector<JobPtr> jobs;
    {
        std::lock_guard l(g_mutex);
        jobs = registry();
    }
    int stopped = 0;
    for (const JobPtr &job : jobs)
        if (job->options.stop && job->options.stop()) ++stopped;
    return stopped;
}

QStringList finishAll(const Deadline &deadline, AtQuit which) {
    QThread *const here = QThread::currentThread();
    // Still to wait for: a result to hand back (in the order the jobs were started: a later save must
    // never be overtaken by an earlier one), or work to end (its result comes back as usual, from the
    // event loop).
    const auto waiting = [&] {
        std::vector<JobPtr> jobs;
        {
            std::lock_guard l(g_mutex);
            for (const JobPtr &job : registry())
                if (job->options.atQuit == which && job->thread == here) jobs.push_back(job);
        }
        std::erase_if(jobs, [which](const JobPtr &job) {
            std::lock_guard l(job->m);
            return which == AtQuit::handBack ? job->settled : job->over();
        });
        return jobs;
    };
    // A result handed back may start another job, which is waited for too.
    for (std::vector<JobPtr> jobs = waiting(); !jobs.empty(); jobs = waiting()) {
        const JobPtr &job = jobs.front();
        bool over = false;
        {
            std::unique_lock l(job->m);
            over = deadline.wait(job->cv, l, [&] { return job->over(); });
        }
        if (!over) {
            // Kept where they can be, oldest first; what one keeps may start another job (a store's
            // encode), which is kept or named in its turn.
            QStringList running;
            std::vector<JobPtr> named;
            for (bool again = true; again;) {
                again = false;
                for (const JobPtr &j : waiting()) {
                    if (std::find(named.begin(), named.end(), j) != named.end()) continue;
                    if (which == AtQuit::handBack) {
                        const auto keep = std::exchange(j->options.keep, nullptr);
                        bool mine = keep && claim(j);
                        if (keep && !mine && waitMade(j)) {
                            deliver(j);
                            again = true;
                            break;
                        }
                        if (mine && keep()) {
                            again = true;
                            break;
                        }
                        if (const auto tell = std::exchange(j->options.unfinished, nullptr)) tell();
                    }
                    named.push_back(j);
                    running << j->options.name;
                }
            }
            return running;
        }
        if (which == AtQuit::handBack) deliver(job);
    }
    return {};
}

namespace {
// At the application's end (as its own pool is waited for then): work that must end before the
// application goes is waited for, however long it takes. Quitting has already given it what its
// deadline allowed.
void endWork() {
    std::vector<JobPtr> jobs;
    {
        std::lock_guard l(g_mutex);
        for (const JobPtr &job : registry())
            if (job->options.atQuit == AtQuit::end) jobs.push_back(job);
    }
    for (const JobPtr &job : jobs) {
        std::unique_lock l(job->m);
        job->cv.wait(l, [&] { return job->over(); });
    }
}
} // namespace

QThreadPool &pool() {
    static QThreadPool *const p = [] {
        qAddPostRoutine(endWork);
        auto *pool = new QThreadPool;
        pool->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        pool->setExpiryTimeout(kWorkerIdleMs);
        return pool;
    }();
    return *p;
}
} // namespace Background
