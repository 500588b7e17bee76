#pragma once
#include "notes/Note.h"
#include "platform/LongText.h"
#include <QString>
#include <vector>

class NoteStore;
class QWidget;

// The notes page's import: a JSON file in the savedNotes form replaces the whole note list after a
// confirmation that says how many notes come.
namespace NoteListImport {
// Larger files are refused with the import-error alert rather than read whole.
inline constexpr qint64 kMaxBytes = 256LL * 1024 * 1024;

enum class ReadError { none, unreadable, tooLarge, invalid, textTooLong };
struct ReadResult {
    std::vector<Note> notes;
    ReadError error = ReadError::none;
    std::optional<LongText::Found> tooLong; // with textTooLong: the field (a note's body, rich text and
                                            // image are bounded by the file's size alone)
};
// Reads and decodes the file; ids that repeat get fresh ids (later twins only), since removing a note
// removes every note with its id.
ReadResult read(const QString &path, qint64 maxBytes = kMaxBytes);
// Gives every later duplicate of an id a fresh id; returns how many changed.
int freshenDuplicateIds(std::vector<Note> &notes);

// The whole flow through the Dialogs seam: open panel (JSON), read, "Import error" alert for any file
// that cannot be read or decoded, "Replace all notes?" confirmation, then store.replaceAll(). Returns
// true when the notes were replaced.
bool run(QWidget *parent, NoteStore &store);

QString errorTitle();   // "Import error"
QString errorText();    // "Invalid Mivo Notes JSON."
QString confirmTitle(); // "Replace all notes?"
QString confirmText(qsizetype count);
QString replaceButton(); // "Replace"
QString cancelButton();  // "Cancel"
} // namespace NoteListImport
