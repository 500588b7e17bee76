#include "platform/Deadline.h"

#include <atomic>
#include <thread>

namespace {
std::atomic<Deadline::Time *> g_time = nullptr;

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 nowMs() {
    Deadline::Time *t = g_time;
    return t ? t->nowMs() : steadyMs();
}
} // namespace

void Deadline::installTime(Time *time) {
    g_time = time;
}

Deadline::Deadline(qint64 fromNowMs) : endMs_(nowMs() + std::max<qint64>(0, fromNowMs)) {}

qint64 Deadline::remainingMs() const {
    return std::max<qint64>(0, endMs_ - nowMs());
}

Deadline Deadline::before(qint64 ms) const {
    Deadline d;
    d.endMs_ = endMs_ - ms;
    return d;
}

Deadline Deadline::within(qint64 ms) const {
    Deadline d;
    d.endMs_ = std::min(endMs_, nowMs() + std::max<qint64>(0, ms));
    return d;
}

Deadline Deadline::atLeast(qint64 ms) const {
    Deadline d;
    d.endMs_ = std::max(endMs_, nowMs() + std::max<qint64>(0, ms));
    return d;
}

bool Deadline::wait(std::condition_variable &cv, std::unique_lock<std::mutex> &l,
                    const std::function<bool()> &done) const {
    if (done()) return true;
    if (Time *t = g_time) {
        // Time that moves only when waited on: the wait takes all that is left.
        if (t->nowMs() < endMs_) t->waitUntil(endMs_);
        return done();
    }
    return cv.wait_for(l, std::chrono::milliseconds(remainingMs()), done);
}

bool Deadline::pause(qint64 ms) const {
    const qint64 left = remainingMs();
    if (left == 0) return false;
    const qint64 step = std::min(ms, left);
    if (Time *t = g_time)
        t->pauseUntil(t->nowMs() + step);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(step));
    return true;
}
