#pragma once
#include "BenchUtil.h"
#include "notes/Note.h"
#include <vector>

class NoteStore;
class Prefs;

// Opens, scrolls, edits, finds in, formats, pastes into and saves text notes of 4 KB to 50 MB on the
// notes page, runs times each, and prints the longest stretch of the window's thread per step and the
// memory the largest cost. Runs in a process of its own, so its memory figures are its own.
int runNoteBudget(MeteredApp &meter, int runs);
// The 20 MB note shown and its text lent to the page: a title-only Save and exports, as the longest
// stretch of the window's thread (`bench_notes lent [runs]`).
int runLentNoteSteps(MeteredApp &meter, int runs);

// Large text notes' memory after a start: first open, switches between two, a short note shown
// again (`bench_notes memory [switches]`).
int runNoteMemory(MeteredApp &meter, int argc, char **argv);
// A long line's document handed to a view (`bench_notes handback [runs]`).
int runHandBack(MeteredApp &meter, int runs);

// The notes measured, by size: rich text of many lines from 4 KB to 20 MB, and 50 MB of one line.
struct BudgetNote {
    const char *name;
    Note note;
};
std::vector<BudgetNote> budgetNotes();
// A plain note of one line of about chars characters, mostly emoji (skin tones, joined sequences) and
// flags, a few words between them: what the app measures slowest per character.
Note emojiFlagsLineNote(qsizetype chars);

// The store holding a short note (given back: what the page shows between steps) and the note
// measured, every write of them done.
Note storeBesideAShortNote(NoteStore &store, Prefs &prefs, const Note &measured);

// A 10 000 x 20 table note of short plain cells.
Note bigTable();
// That table on the notes page: open, scroll, a cell edited and saved, a swap, a column resize, find,
// and the editor dialog opened and saved, as the longest stretch of the window's thread per step
// (`bench_notes table [runs]`; `bench_notes budget` runs it after the text notes).
int runTableBudget(MeteredApp &meter, int runs);
