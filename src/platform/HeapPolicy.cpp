#include "platform/HeapPolicy.h"

#include <malloc.h>

void HeapPolicy::apply() {
    // Setting the threshold also keeps the trim threshold at its default (128 KB): both stop following
    // the blocks freed.
    ::mallopt(M_MMAP_THRESHOLD, kOwnMappingBytes);
}
