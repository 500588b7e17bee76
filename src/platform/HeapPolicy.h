#pragma once

// How the process's heap hands memory back. Call once at the start of main(), before any thread.
namespace HeapPolicy {
// Blocks this large and up are mapped on their own and unmapped when freed.
inline constexpr int kOwnMappingBytes = 1 << 20;

// Fixes the size from which blocks get a mapping of their own at kOwnMappingBytes. Left to itself the
// allocator raises that size to the largest block freed so far (up to 32 MB) and the size at which it
// trims a heap to twice that; after a large note was saved, blocks of tens of megabytes then came from
// the workers' heaps, whose free tops the allocator keeps up to 64 MB and malloc_trim() leaves alone:
// a large note shown and left kept 50 to 80 MB resident that nothing held.
void apply();
} // namespace HeapPolicy
