#pragma once
#include "platform/Background.h"
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

// Reads and decodes the stores' documents off the window's thread, so a launch with years of data
// brings the tray up at once. A store starts its load when it is created; the work runs on a worker,
// and the records are put in place on the window's thread. Until then the store counts as loading:
//  - every access to the store first finishes its load (StoreLoader::finish), so nothing reads a store
//    that is merely loading as empty and nothing writes one before it has loaded (an engine that
//    touches a store early waits for its load, instead of acting on no records);
//  - pages hold their redraws while any store is loading and redraw once all are in (see Page).
// Main thread only, apart from the work functions, which run on a worker and must touch nothing but
// what they captured.
//
// The loader belongs to SharedObjects, which frees it after every store: a store going away drops its
// job (abandon), and the loader going away waits for the work still running.
class StoreLoader : public QObject {
    Q_OBJECT
public:
    static StoreLoader &get(); // the one SharedObjects owns

    StoreLoader();
    ~StoreLoader() override;

    // Hands the heap's free memory back to the system, on a worker.
    static void trimHeapLater();
    // Lets go of megabytes on a worker (free), then hands the heap's free memory back to the system.
    static void freeLater(std::function<void()> free);
    // Returns once no such free is left to do: the ones no worker has taken up yet run here, and the
    // ones running are waited for. A worker about to read megabytes calls it first, so what it reads
    // is never held beside what was let go of before it started (a note shown going as the next one
    // is read). Never on the window's thread.
    static void awaitFrees();

    // One document being loaded.
    using JobPtr = Background::JobPtr;

    // Runs work on a worker, then install on the window's thread (from the event loop, or earlier
    // through finish()).
    JobPtr start(const QString &key, std::function<void()> work, std::function<void()> install);
    // Puts job's result in place now: waits for its work when a worker runs it, runs it here when no
    // worker has taken it up yet. Nothing when it is in place already.
    void finish(const JobPtr &job);
    // The owner is going away: its install will not run, and its work is skipped when it has not
    // started. Does not wait for work that is running (it touches only what it captured).
    void abandon(const JobPtr &job);
    // Returns once no worker is at work: dropped work that had started runs to its end (queued
    // dropped work is skipped), work that is not dropped runs and its install comes later as usual.
    void waitForWorkers() const { lane_.waitIdle(); }
    // Whether a worker is at work now.
    bool working() const { return lane_.busy(); }

    bool loading() const { return !jobs_.empty(); }
    // fn runs on the window's thread once no store is loading: at once when none is.
    void whenIdle(QObject *context, std::function<void()> fn);

signals:
    void idle();

private:
    void settled();

    // Documents load one after another: side by side their peaks would add up (with the five-year
    // profile one at a time keeps the launch's peak about 9 MB lower, for no loss on the window's
    // thread, which takes up a document itself when it needs one no worker has reached).
    Background::Lane lane_{1};
    std::vector<JobPtr> jobs_; // started, not yet in place
};
