#pragma once
#include <QtGlobal>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// One moment by which a job made of several waits must be over (quitting: from the request to the
// exit). Each wait is given what is left of it, so the waits together never outlast it, however
// long each would take on its own. Copies share the moment.
class Deadline {
public:
    // What deadlines measure and pass time with: a monotonic clock. Tests install one of their own,
    // whose time moves only when something waits.
    class Time {
    public:
        virtual ~Time() = default;
        virtual qint64 nowMs() const = 0;
        // A wait for another thread that lasted until untilMs, the deadline.
        virtual void waitUntil(qint64 untilMs) = 0;
        // A pause between tries that lasted until untilMs.
        virtual void pauseUntil(qint64 untilMs) { waitUntil(untilMs); }
    };
    static void installTime(Time *time); // takes no ownership; nullptr: the monotonic clock

    explicit Deadline(qint64 fromNowMs);

    qint64 remainingMs() const; // never negative
    bool passed() const { return remainingMs() == 0; }
    // The same moment, brought forward by ms: for the waits that must leave time for what comes after.
    Deadline before(qint64 ms) const;
    // This deadline, or ms from now when that comes first.
    Deadline within(qint64 ms) const;
    // This deadline, or ms from now when that comes later.
    Deadline atLeast(qint64 ms) const;
    // Waits on cv (l held) until done() holds or the deadline passes; done()'s last answer.
    bool wait(std::condition_variable &cv, std::unique_lock<std::mutex> &l,
              const std::function<bool()> &done) const;
    // Pauses the calling thread for ms, never past the deadline. False (without pausing) when it has
    // passed.
    bool pause(qint64 ms) const;

private:
    Deadline() = default;
    qint64 endMs_ = 0;
};
