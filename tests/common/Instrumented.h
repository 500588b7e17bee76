#pragma once
#include <QtGlobal>

// The limit of a test's wait, in milliseconds, for a build whose code runs several times slower
// (sanitizers): scripts/sanitize.sh sets MIVO_WAIT_FACTOR to the factor it gives every test's own
// limit. A wait ends as soon as what it waits for holds; only a fault waits the whole limit.
inline int scaledWaitMs(int ms) {
    bool ok = false;
    const int factor = qEnvironmentVariableIntValue("MIVO_WAIT_FACTOR", &ok);
    return ok && factor > 1 ? ms * factor : ms;
}
