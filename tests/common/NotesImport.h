#pragma once
#include "notes/NoteListImport.h"
#include "notes/NoteStore.h"
#include <QtTest>
#include <memory>
#include <optional>

// Runs the notes page's import through the scripted panels and waits for it to end (the file is
// read on a worker); whether the notes were replaced.
inline bool runNotesImport(NoteStore &store) {
    auto replaced = std::make_shared<std::optional<bool>>();
    NoteListImport::run(&store, nullptr, store, [replaced](bool r) { *replaced = r; });
    if (!QTest::qWaitFor([&] { return replaced->has_value(); }, 20000)) return false;
    return replaced->value_or(false);
}
