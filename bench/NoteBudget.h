#pragma once
#include "BenchUtil.h"

// Opens, scrolls, edits, finds in, formats, pastes into and saves text notes of 4 KB to 50 MB on the
// notes page, runs times each, and prints the longest stretch of the window's thread per step and the
// memory the largest cost. Runs in a process of its own, so its memory figures are its own.
int runNoteBudget(MeteredApp &meter, int runs);
