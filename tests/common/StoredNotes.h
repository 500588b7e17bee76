#pragma once
#include "common/TestEnv.h"
#include "notes/NoteStore.h"
#include "platform/Keys.h"

// Stores the notes document, closes and opens the database again and loads the shared store from it,
// as a launch over that document would. Nothing when the document did not reach the disk.
inline NoteStore *relaunchWithNotes(TempPrefs &prefs, const QByteArray &document) {
    prefs.prefs().setData(QString::fromLatin1(kNotes), document);
    // A flush waits a few seconds for the writer; tens of megabytes may take it longer on a loaded or
    // instrumented machine, and the next flush waits for the same commit again.
    bool flushed = false;
    for (int i = 0; i < 24 && !flushed; ++i) flushed = prefs.prefs().flush();
    if (!flushed) return nullptr;
    prefs.reopen();
    NoteStore::resetForTests();
    return &NoteStore::shared();
}
