#include "platform/PrefsWriter.h"

#include <sqlite3.h>

// Replacements: a whole new set of values committed as one transaction (an import, a reset), all or
// nothing, once the writes before it are done.

std::optional<PrefsWriter::Replacement> PrefsWriter::dropReplacement(bool evenIfDue) {
    std::lock_guard l(m_);
    if (!replacement_ || (!evenIfDue && !replacement_->deadline.passed())) return std::nullopt;
    std::optional<Replacement> r = std::move(replacement_);
    replacement_.reset();
    return r;
}

void PrefsWriter::replaceLater(PrefsBatch &&batch, int timeoutMs, Done done) {
    std::optional<Replacement> older;
    bool queued = false;
    {
        std::lock_guard l(m_);
        if (!stopping_) {
            older = std::move(replacement_);
            replacement_ = Replacement{std::move(batch), Deadline(timeoutMs), std::move(done)};
            queued = true;
            urgent_ = true;
            wake_.notify_all();
        }
    }
    if (older) // only the newest replacement counts
        older->done(older->batch, PrefsCommit::failure(SQLITE_BUSY, QStringLiteral("database is locked")));
    if (!queued) done(batch, PrefsCommit::failure(SQLITE_MISUSE, QStringLiteral("the database is closed")));
}

PrefsCommit PrefsWriter::replace(PrefsBatch &&batch, int timeoutMs, Done onCommit) {
    struct Result {
        std::mutex m;
        std::condition_variable cv;
        std::optional<PrefsCommit> c;
    };
    auto result = std::make_shared<Result>();
    replaceLater(std::move(batch), timeoutMs, [result, onCommit](const PrefsBatch &b, const PrefsCommit &c) {
        if (c.ok && onCommit) onCommit(b, c);
        std::lock_guard l(result->m);
        result->c = c;
        result->cv.notify_all();
    });
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock l(result->m);
    if (!result->cv.wait_until(l, until, [&] { return result->c.has_value(); })) {
        l.unlock();
        // Never taken (the writer was still busy with older writes): dropped, never written.
        if (dropReplacement(true))
            return PrefsCommit::failure(SQLITE_BUSY, QStringLiteral("database is locked"));
        l.lock();
        // Taken: its tries end by its deadline.
        result->cv.wait(l, [&] { return result->c.has_value(); });
    }
    return *result->c;
}
