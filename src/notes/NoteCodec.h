#pragma once
#include "notes/Note.h"
#include "platform/SpooledBytes.h"
#include <QByteArray>
#include <QByteArrayView>
#include <functional>
#include <optional>
#include <vector>

// The savedNotes document kept encoded note by note. A note's bytes are exactly what encodeNotes()
// writes for it, so a document is the join '[' a ',' b … ']' of its notes' bytes, and a save copies
// the bytes of the notes that did not change. The same bytes are the form in which notes not in use
// are held: only what the list shows is decoded at load.
namespace NoteCodec {
// Where a row's bytes lie in its note's bytes.
struct RowSpan {
    qsizetype at = 0;
    qsizetype len = 0;
};

// Appends the note's JSON object. Row i is appended by row(out, i) when given (its bytes must be what
// encoding the row gives), else encoded; rows, when given, receives where each row went. bodyWritten,
// when given, runs once the body is in out and is not read again: a caller that owns the note may let
// go of the text there, before the rich text's Base64 is made.
void encodeNote(QByteArray &out, const Note &n,
                const std::function<void(QByteArray &out, size_t i)> &row = {},
                std::vector<RowSpan> *rows = nullptr, const std::function<void()> &bodyWritten = {});
// encodeNote(), given up when stop() holds: asked between stretches of the body (of kEncodeStretch
// characters) and between rows, never once bodyWritten has run. False when it gave up: out then holds
// a part of the note, and bodyWritten has not run.
inline constexpr qsizetype kEncodeStretch = 64 * 1024;
bool encodeNoteUnless(QByteArray &out, const Note &n, const std::function<bool()> &stop,
                      const std::function<void(QByteArray &out, size_t i)> &row = {},
                      std::vector<RowSpan> *rows = nullptr, const std::function<void()> &bodyWritten = {});
void encodeRow(QByteArray &out, const NoteRow &r);

// A text note's body and rich text written into its bytes by the caller as they are made (a long
// note's from its document, a stretch at a time): body appends the body's characters as its JSON
// string holds them (appendBodyChars), richText the rich text's Base64 (appendBase64Stretch) and says
// whether the note has rich text (what it appended is taken back when not). Each appends exactly what
// encodeNote() writes there for a note that holds them.
struct TextParts {
    std::function<void(QByteArray &out)> body;
    std::function<bool(QByteArray &out)> richText;
};
// Appends the note's JSON object with its body and rich text from text (n's own are not read).
void encodeNote(QByteArray &out, const Note &n, const TextParts &text);
// The characters of a stretch of a body as the body's JSON string holds them, for TextParts::body:
// the stretches' characters joined are the body's. A stretch that is not the last keeps a high
// surrogate at its end for the next one (text keeps what is not written), so a pair is never cut.
void appendBodyChars(QByteArray &out, QString &text, bool last);
// The Base64 of rich text handed over a stretch at a time, for TextParts::richText: whole groups of
// three bytes are taken from the front of bytes (all of them when last), so the stretches' Base64
// joined is that of the whole.
void appendBase64Stretch(QByteArray &out, QByteArray &bytes, bool last);
// A note's bytes (as encodeNote() wrote them for a note with was's head) with now's emoji, title and
// time stamps in place of was's: everything else, the text and rich text above all, stays byte for
// byte, and is not decoded. Equal to encoding the note anew with those fields. Nothing when the bytes
// do not begin and end as was's note does, or when now is another note (id, type, creation).
std::optional<QByteArray> withFields(QByteArray bytes, const NoteHead &was, const NoteHead &now);
// The same for bytes that may lie in a file: where only the last fields change (the head is the same),
// the bytes in memory after the file's are changed and the file is left as it is; else they are read whole.
std::optional<SpooledBytes> withFields(SpooledBytes bytes, const NoteHead &was, const NoteHead &now);

// A document decoded for the store: what the list needs of each note and the note's bytes.
struct Index {
    QByteArray doc;              // the document as encodeNotes() writes these notes
    std::vector<NoteHead> heads; // one per note, in order
    std::vector<RowSpan> spans;  // each note's bytes in doc
};
// The document under the strict rules of decodeNotes() (rows read leniently), without decoding any
// note's text, rich text or rows. When the bytes are not in the written form already (spaces, keys
// in another order, members the notes do not have, a row read leniently), doc holds them re-encoded.
// Nothing when the document is unreadable. Safe on any thread.
std::optional<Index> index(const QByteArray &bytes);

// One note decoded from its bytes as index() or encodeNote() wrote them, with its rows' spans.
struct Held {
    Note note;
    std::vector<RowSpan> rows;
};
std::optional<Held> decodeHeld(QByteArrayView bytes);
// The same for bytes the caller hands over: room for the parser's padding is made in their own
// buffer (a large one grows where it lies, nothing copied), so they are not copied whole for the
// parse, and a note without rows lets go of them (bytes is emptied) before its text is made: a text
// of tens of megabytes is not held three times over on its way in.
std::optional<Held> decodeHeldInPlace(QByteArray &bytes);
} // namespace NoteCodec
