#pragma once
#include "platform/Deadline.h"
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QThreadPool;

// The one way work leaves the window's thread (a file read, a decode, an export, a large save) and
// its result comes back:
//  - the work runs on a worker of one pool and touches nothing but what it captured: what it is given
//    is its own (deep copies of anything the giving thread goes on changing);
//  - its result is handed back on the thread the receiver lives on, from that thread's event loop or
//    earlier (finish, finishAll), once; a receiver gone by then gets nothing, and the result is freed
//    on a worker, never on the window's thread;
//  - every job is known until it is handed back or dropped, so quitting waits for the ones it must
//    under its one deadline (finishAll) and is told which are still running.
namespace Background {

// What quitting does with a job still running.
enum class AtQuit {
    abandon,  // the process ends it where it is: it touches nothing the exit takes away (a file read)
    end,      // it must end before the application goes (a layout needs the fonts)
    handBack, // its result must reach the receiver before the data is closed (a save)
};

struct Options {
    Options() = default;
    Options(QString name, AtQuit atQuit = AtQuit::abandon, std::function<bool()> stop = {},
            std::function<void()> unfinished = {}, std::function<bool()> keep = {})
        : name(std::move(name)), atQuit(atQuit), stop(std::move(stop)), unfinished(std::move(unfinished)),
          keep(std::move(keep)) {}

    QString name; // what finishAll says of it while it runs
    AtQuit atQuit = AtQuit::abandon;
    // Asked on the window's thread when quitting begins (stopAll): true when the job will now leave
    // nothing behind.
    std::function<bool()> stop;
    // AtQuit::handBack: called once on the window's thread when quitting stops waiting for the job
    // before its result was handed back (finishAll's deadline passed), so that what the result would
    // have saved is named to the user at the next start instead of being lost untold.
    std::function<void()> unfinished;
    // AtQuit::handBack: called once on the window's thread, before unfinished, when quitting stops
    // waiting for the job and no worker has taken it up yet: its work will never run, what it was
    // given is the caller's again, and keep puts what the result would have saved where the quit
    // keeps it (the store, for the final commit), the quickest way it safely can. True when it did:
    // unfinished is not called then. A job a worker is making (its work has asked hurried()) is
    // waited for instead, to its end however long that takes, and handed back: what the worker made
    // is never thrown away to be made again here. One a worker began that has not asked yet gives
    // up when it asks (see hurried()) and is told unfinished.
    std::function<bool()> keep;
};

class Job;
using JobPtr = std::shared_ptr<Job>;

// Jobs that run one after another, at most maxRunning at a time (side by side their memory peaks
// would add up), on the same pool.
class Lane {
public:
    explicit Lane(int maxRunning);
    ~Lane(); // waits, as waitIdle()
    Lane(const Lane &) = delete;
    Lane &operator=(const Lane &) = delete;
    // Whether a job of the lane is queued or at work.
    bool busy() const;
    // Returns once no job of the lane is queued or at work: abandoned work that had started runs to
    // its end, abandoned work that had not is skipped.
    void waitIdle() const;

    struct State;

private:
    friend JobPtr start(QObject *, std::function<void()>, std::function<void()>, std::function<void()>,
                        Options, Lane *);
    std::shared_ptr<State> s_;
};

// work on a worker (in lane, when given), then handBack on receiver's thread. When receiver is gone
// by then (or the job was abandoned), drop runs instead, on a worker: it frees what work made.
JobPtr start(QObject *receiver, std::function<void()> work, std::function<void()> handBack,
             std::function<void()> drop, Options options = {}, Lane *lane = nullptr);

// work() on a worker, then done(result) on receiver's thread, unless receiver is gone by then.
template <class T>
JobPtr run(QObject *receiver, std::function<T()> work, std::function<void(T)> done, Options options = {},
           Lane *lane = nullptr) {
    auto result = std::make_shared<std::optional<T>>();
    return start(
        receiver, [result, work = std::move(work)] { result->emplace(work()); },
        [result, done = std::move(done)] {
            std::optional<T> got = std::move(*result);
            result->reset();
            if (got) done(std::move(*got));
        },
        [result] { result->reset(); }, std::move(options), lane);
}

// On receiver's thread: the job's result is handed back now. Its work is waited for when a worker
// runs it, and run here when no worker has taken it up yet. Nothing when it is handed back or dropped
// already.
void finish(const JobPtr &job);
// On receiver's thread: nothing is handed back, and work that has not started never runs. Work that
// is running is not waited for.
void abandon(const JobPtr &job);
// Handed back or dropped.
bool settled(const JobPtr &job);

// Asked by a job's work first thing and between its stretches (on its worker): true when quitting
// gave up on the job before its work first asked (its result would reach no one). The work must then
// return at once: its result is not handed back. Work that asked first is waited for by quitting to
// its end, and this stays false for it. False anywhere else (work run on the window's thread
// included).
bool hurried();
// Tests: asked is called on the thread that asks whenever work asks hurried() (on a worker or not),
// hurrying on the window's thread whenever quitting waits for a worker's work past its deadline.
void setHurryHooksForTests(std::function<void()> asked, std::function<void()> hurrying);
// Tests: called on the starting thread with each job's name as it is started, before any worker can
// take it up. Empty: nothing is called.
void setStartHookForTests(std::function<void(const QString &name)> hook);

// work on a worker, nothing handed back, never waited for (freeing memory, trimming the heap).
void detached(std::function<void()> work);

// Quitting: asks every job that can stop to stop now; how many will leave nothing behind.
int stopAll();
// Quitting, on the window's thread: waits until the deadline for every job started from this thread
// with which. Those that handBack have their results handed back here, in the order they were
// started; the others only end (their results come back from the event loop, if it runs again). The
// names of the jobs still due when the deadline passed (none: all are done); those that handBack are
// kept when they can be (Options::keep, in the order they were started), else told unfinished and
// named.
QStringList finishAll(const Deadline &deadline, AtQuit which);

// The pool every job runs on. Never deleted: the application's end waits only for the work that must
// end before it (AtQuit::end); quitting gives each job what its deadline allows through finishAll.
QThreadPool &pool();
} // namespace Background
