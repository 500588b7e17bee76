#pragma once
// What the notes store's own source files share (NoteStore*.cpp): nothing else includes this.
#include "notes/NoteStore.h"
#include <QPointer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace NoteStoreDetail {
// Notes this large are decoded away from the window's thread when a page asks (a 10 000 x 20 table
// is about 4 MB and takes tens of milliseconds).
inline constexpr qsizetype kDecodeAwayBytes = 256 * 1024;
// A note this large is encoded on a worker when it is saved: a 4 MB table takes up to tens of
// milliseconds even when most rows are copied, a 50 MB text about 70 ms. Below this, a note of
// text encodes in well under a millisecond, and handing it over would cost more than it saves.
inline constexpr qsizetype kEncodeAwayBytes = kDecodeAwayBytes;

// About how many bytes the note encodes to, counted only up to limit: a large table is not walked
// through on the window's thread to learn that it is large.
qsizetype sizeUpTo(const Note &n, qsizetype limit);

// Notes and bytes the store let go of, freed on a worker when they are large: a note of tens of
// megabytes held the window for milliseconds, and the heap hands it back to the system there.
struct Freed {
    std::vector<std::unique_ptr<Note>> notes;
    std::vector<SpooledBytes> bytes;
    qsizetype size = 0; // about how many bytes; 0 when nothing large
};
void freeLater(Freed &&f);
} // namespace NoteStoreDetail

// Notes' bytes encoded on a worker. Whatever an item reads it owns (copies, and what the store gave
// up: a changed table's old note and bytes), so the store may change or go meanwhile; the bytes are
// taken on the window's thread, by the slot still waiting for this very encode. A copy of a note
// shares its strings, a table's cells even as the same string objects, with the note the store
// shows: the worker only reads them, through calls that write nothing (not QString::utf16(), which
// gives a literal or empty string a buffer of its own), so copying a table of megabytes here is
// not needed.
struct NoteStore::EncodeJob {
    struct Item {
        quint64 gen = 0;
        Note now;
        // The note it was, where its rows lie in its bytes, and those bytes (len of them at `at` in
        // source). With reuse (a table changed in place), rows that did not change are copied, not
        // encoded again; either way they are freed on the worker.
        std::optional<Note> old;
        std::vector<NoteCodec::RowSpan> oldRows;
        SpooledBytes source;
        qsizetype at = 0, len = 0;
        bool reuse = false;
        // A new emoji and title only (updateFields): the note's bytes as read get now's fields in
        // place of fieldsWere's, its text never decoded. failed: they could not be read; the slot
        // then goes back to what it was (dirtyBefore, heldBefore) and told is called.
        std::function<std::optional<QByteArray>()> read;
        std::optional<NoteHead> fieldsWere;
        bool failed = false;
        bool dirtyBefore = false;
        SpooledBytes heldBefore;
        QPointer<QObject> context;
        std::function<void()> told;
        // What the encode made.
        QByteArray bytes;
        std::vector<NoteCodec::RowSpan> rows;

        bool encoded = false; // bytes holds the whole note (the work on it is done)

        // away: on the worker, where now is let go of after (see letGo), so its text may go sooner.
        // False when stop() held between its stretches: it gave up, with now, old and source as they
        // were, for the encode to be made again.
        bool encode(bool away, const std::function<bool()> &stop = {});
        void letGoOfOld() {
            old.reset();
            oldRows = {};
            source = SpooledBytes();
        }
        void letGo() {
            // What it read goes where it was read: a note of megabytes is freed off the window's thread,
            // and a document shared with the store is no longer shared when the store next changes it.
            now = Note();
            read = {};
            letGoOfOld();
        }
    };
    std::vector<Item> items;
    std::mutex m;
    std::condition_variable ready;
    bool done = false;      // under m
    bool installed = false; // window's thread only
};
