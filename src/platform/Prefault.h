#pragma once
#include <QByteArray>
#include <cstdint>
#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#if !defined(MADV_POPULATE_WRITE)
#define MADV_POPULATE_WRITE 23
#endif
#endif

// For a buffer of megabytes that is about to be written whole (a store's document read from the
// database at launch): its memory is mapped in one call instead of one page fault per 4 KB page as
// the writing reaches it. For the notes of years (34 MB) that is half of the read's time. A kernel
// older than 5.14 refuses the call, and the pages come one fault at a time as before.
inline void prefault(QByteArray &bytes) {
#if defined(__linux__)
    constexpr qsizetype kWorthIt = 1 << 20;
    if (bytes.size() < kWorthIt) return;
    const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
    const std::uintptr_t from = (at + page - 1) & ~(page - 1);
    const std::uintptr_t to = (at + std::uintptr_t(bytes.size())) & ~(page - 1);
    if (to > from) ::madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)bytes;
#endif
}
