#pragma once
#include <QtGlobal>

// The steady time that work paced within a turn of the event loop reads (what a turn has spent, what
// a piece of work took), in nanoseconds from a start of its own. The app reads the monotonic clock; a
// test installs one of its own and moves it by hand, so what a turn has left never depends on how
// busy the machine is.
class SteadyClock {
public:
    virtual ~SteadyClock() = default;
    virtual qint64 nowNs() const = 0;

    static SteadyClock &get();
    static void install(SteadyClock *clock); // takes no ownership; nullptr returns to the monotonic clock
};
