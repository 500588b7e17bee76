#pragma once
#include "common/TestEnv.h"
#include "notes/NoteStore.h"
#include "platform/Keys.h"

// Stores the notes document, closes and opens the database again and loads the shared store from it,
// as a launch over that document would. Nothing when the document did not reach the disk.
inline NoteStore *relaunchWithNotes(TempPrefs &prefs, const QByteArray &document) {
    prefs.prefs().setData(QString::fromLatin1(kNotes), document);
    if (!prefs.prefs().flush()) return nullptr;
    prefs.reopen();
    NoteStore::resetForTests();
    return &NoteStore::shared();
}
