#pragma once
#include "notes/Note.h"
#include "platform/LongText.h"
#include <QString>
#include <functional>
#include <vector>

class NoteStore;
class QObject;
class QWidget;

// The notes page's import: a JSON file in the savedNotes form replaces the whole note list after a
// confirmation that says how many notes come.
namespace NoteListImport {
enum class ReadError { none, unreadable, notAFile, tooLarge, invalid, textTooLong };
struct ReadResult {
    std::vector<Note> notes;
    ReadError error = ReadError::none;
    std::optional<LongText::Found> tooLong; // with textTooLong: the field (a note's body, rich text and
                                            // image are bounded by the file's size alone)
};
// Reads and decodes the file; ids that repeat get fresh ids (later twins only), since removing a note
// removes every note with its id. Only a regular file of at most maxBytes is read (see ImportFile).
ReadResult read(const QString &path, qint64 maxBytes);
ReadResult read(const QString &path);
// Gives every later duplicate of an id a fresh id; returns how many changed.
int freshenDuplicateIds(std::vector<Note> &notes);

// The whole flow through the Dialogs seam: open panel (JSON), read and decode on a worker, "Import
// error" alert for any file that cannot be read or decoded, "Replace all notes?" confirmation, then
// store.replaceAll(). The alerts' parent is parent; the hand-back belongs to context (the page, which
// is parent too): when it is gone before the file is read, nothing more happens. done (when given)
// learns whether the notes were replaced.
void run(QObject *context, QWidget *parent, NoteStore &store, std::function<void(bool replaced)> done = {});

QString errorTitle();   // "Import error"
QString errorText();    // "Invalid Mivo Notes JSON."
QString confirmTitle(); // "Replace all notes?"
QString confirmText(qsizetype count);
QString replaceButton(); // "Replace"
QString cancelButton();  // "Cancel"
} // namespace NoteListImport
