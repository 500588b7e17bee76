#pragma once
#include "BenchUtil.h"

// Opens text notes of 12 KB, 1 MB and 20 MB in the note editor dialog, types in them, runs Detect URLs
// and saves them, runs times each, and prints the longest stretch of the window's thread per step.
int runDialogBudget(MeteredApp &meter, int runs);
// Rich pastes of 20 thousand to 5 million characters into the dialog, undone and redone, and the
// clipboard's rich text of a selection of dense rich text (`bench_notes paste [runs]`).
int runPasteSteps(MeteredApp &meter, int runs);
