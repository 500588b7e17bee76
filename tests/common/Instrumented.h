#pragma once
#include <QtGlobal>

// A sanitizer's build: its allocator and shadow memory are not the program's (a realloc there moves
// every block, holding the old one meanwhile), so what the process holds says nothing of the program.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// The limit of a test's wait, in milliseconds, for a build whose code runs several times slower
// (sanitizers): scripts/sanitize.sh sets MIVO_WAIT_FACTOR to the factor it gives every test's own
// limit. A wait ends as soon as what it waits for holds; only a fault waits the whole limit.
inline int scaledWaitMs(int ms) {
    bool ok = false;
    const int factor = qEnvironmentVariableIntValue("MIVO_WAIT_FACTOR", &ok);
    return ok && factor > 1 ? ms * factor : ms;
}
