#pragma once

// Work handed from one thread to another through Qt (a pool's start, a queued call) is ordered by Qt's
// own locks, which ThreadSanitizer does not see when Qt is not built with it: every such handover
// would read as a race. The one helper that hands work over (Background) says so here: release on
// the giving side before the handover, acquire first on the taking side, with the same token. Nothing
// at all outside a ThreadSanitizer build.
#if defined(__SANITIZE_THREAD__)
#define MIVO_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MIVO_THREAD_SANITIZER 1
#endif
#endif

#include <cstring>
#include <type_traits>
#include <utility>

#ifdef MIVO_THREAD_SANITIZER
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
extern "C" void AnnotateIgnoreReadsBegin(const char *file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char *file, int line);
#endif

namespace Handover {
inline void release([[maybe_unused]] const void *token) {
#ifdef MIVO_THREAD_SANITIZER
    __tsan_release(const_cast<void *>(token));
#endif
}

inline void acquire([[maybe_unused]] const void *token) {
#ifdef MIVO_THREAD_SANITIZER
    __tsan_acquire(const_cast<void *>(token));
#endif
}

// A call queued to another thread's object (QMetaObject::invokeMethod with a functor), its hand-over
// marked on the call itself, where Qt keeps it: the taking thread reads nothing of it before. Each
// move marks the new place; the last one is where Qt keeps it. A blocking call goes back the same way:
// the calling thread destroys it once it has run, and goes on after what it did.
template <class F> class Queued {
public:
    explicit Queued(F f) : f_(std::move(f)) { release(this); }
    Queued(Queued &&o) noexcept : f_(std::move(o.f_)) { release(this); }
    Queued(const Queued &) = delete;
    Queued &operator=(const Queued &) = delete;
    Queued &operator=(Queued &&) = delete;
    ~Queued() { acquire(this); } // what it captured goes on the taking thread
    void operator()() {
        acquire(this);
        f_();
        release(this);
    }

private:
    F f_;
};

template <class F> Queued<F> queued(F f) {
    return Queued<F>(std::move(f));
}

// Memory a thread of Qt's own filled and Qt handed to this one, where no release of ours can be
// marked on the filling side: an event Qt's display reader read and gave to a native event filter.
// Copied once with its reads unchecked; the copy is this thread's own.
template <class T> T takenFromQt(const void *from) {
    static_assert(std::is_trivially_copyable_v<T>);
    T t;
#ifdef MIVO_THREAD_SANITIZER
    AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
#endif
    std::memcpy(&t, from, sizeof t);
#ifdef MIVO_THREAD_SANITIZER
    AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
#endif
    return t;
}
// The type of an event a filter on the whole application is shown. Events come from every thread
// (Qt's own, and a worker's queued call, which Qt makes after the handover marked on it) through
// Qt's queue, which ThreadSanitizer does not see, and such a filter reads each one's type before
// any hand-over of ours is taken. Read with its reads unchecked; nothing more of an event of
// another type is read.
template <class E> auto typeOfPosted(const E *e) {
#ifdef MIVO_THREAD_SANITIZER
    AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
#endif
    const auto type = e->type();
#ifdef MIVO_THREAD_SANITIZER
    AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
#endif
    return type;
}
} // namespace Handover
