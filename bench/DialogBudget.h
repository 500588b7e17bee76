#pragma once
#include "BenchUtil.h"

// Opens text notes of 12 KB, 1 MB and 20 MB in the note editor dialog, types in them, runs Detect URLs
// and saves them, runs times each, and prints the longest stretch of the window's thread per step.
int runDialogBudget(MeteredApp &meter, int runs);
