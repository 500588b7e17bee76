#include "platform/SteadyClock.h"

#include <atomic>
#include <chrono>

namespace {
// Read by paced work on any thread.
std::atomic<SteadyClock *> g_steady{nullptr};

class MonotonicClock : public SteadyClock {
public:
    qint64 nowNs() const override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};
} // namespace

SteadyClock &SteadyClock::get() {
    if (SteadyClock *clock = g_steady.load(std::memory_order_acquire)) return *clock;
    static MonotonicClock monotonic;
    return monotonic;
}

void SteadyClock::install(SteadyClock *clock) {
    g_steady.store(clock, std::memory_order_release);
}
