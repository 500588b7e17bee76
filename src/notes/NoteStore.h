#pragma once
#include "notes/Note.h"
#include "notes/NoteCodec.h"
#include "platform/Deadline.h"
#include "platform/DocumentCopy.h"
#include "platform/Document.h"
#include "platform/PrefsSplice.h"
#include "platform/StoredDocument.h"
#include <QDateTime>
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QTextDocument;

// All notes, in the order they were added. Every change writes the whole savedNotes document and then
// posts notesChanged with the store as sender. Notes are matched by id: update() changes the first
// match, remove() removes every match. Main thread only.
//
// When another program writes savedNotes while Mivo runs, what it wrote stays (the notes this store
// does not hold lay in the document it replaced, so it is the only whole one), the store reads it
// again and posts notesChanged, and the changes of this session the disk did not hold yet are kept
// aside as a notes document of their own, told to the user (DataNotices).
//
// Years of notes cost little: only what the list shows is decoded at load, and the document itself
// stays in the database: a note's bytes are read from there (a byte range) when it is asked for. A note is
// decoded when it is asked for (find()) and dropped again a while after it was last asked for; a save copies
// the bytes of the notes that did not change, and of a table's rows that did not change.
class NoteStore : public QObject {
    Q_OBJECT
public:
    // The process-wide store, created and loaded on first use.
    static NoteStore &shared();
    // Drops the shared store; the next shared() loads again from the current preferences domain.
    static void resetForTests();

    // Starts loading the savedNotes document: a large one is decoded on a worker (StoreLoader), and
    // every use of the store first waits for its load. An unreadable document is kept aside (the
    // shared loader) and the store starts empty; loadReport() says so, for the one-time message.
    explicit NoteStore(QObject *parent = nullptr);
    ~NoteStore() override;

    // What the list shows of every note.
    const std::vector<NoteHead> &notes() const {
        finishLoad();
        return heads_;
    }
    // The first note with this id, decoded, or nothing. The pointer stays valid until the store
    // changes or control returns to the event loop. A change of the note whose bytes are still being
    // made is put in first (or, when they could not be made, undone).
    const Note *find(const QString &id);
    const DocumentLoad &loadReport() const {
        finishLoad();
        return load_;
    }

    // Appends the note as it is (its own time stamps kept), saves, posts.
    void add(const Note &note);
    // Replaces the first note with the same id, stamping modifiedInterval with the clock; an unknown id
    // changes nothing (no write, no notification).
    void update(const Note &note);
    // The same for a text note whose text and rich text come encoded: record is what
    // NoteCodec::encodeNote() writes for fields with them (fields' own are not read) and preview the
    // text's first characters. The store takes the bytes as they are (stamped anew) and holds a large
    // note lent (textLent): its text is decoded from them when asked for; a smaller one is decoded from
    // them at once. A record in a file stays there: it is read back by stretches as it is written,
    // and whole only where a reader needs the note. False (nothing changed) for an unknown id or
    // bytes that are not a note's.
    bool updateEncoded(const Note &fields, const QString &preview, SpooledBytes &&record);
    // Removes every note with this id, saves and posts; posts even when none matched (and writes nothing).
    void remove(const QString &id);
    // The import's assignment: the list becomes exactly these notes; saves, posts.
    void replaceAll(const std::vector<Note> &notes);
    // Writes the document now, the notes still being encoded included (they are waited for); posts
    // nothing.
    void save();
    // The edit of the note titled title, saved at savedAt, that quitting could not wait for (its text
    // was still being read or encoded): the next start names it to the user.
    static void editLostAtQuit(const QString &title, const QDateTime &savedAt);
    // A large note's bytes are encoded on a worker: the store shows the change at once and writes it
    // when the bytes are in. Quitting calls this: the encodes in flight are waited for (until the
    // deadline) and what they held back is written. False when one did not finish in time.
    bool settle(const Deadline &deadline);
    bool settle(int timeoutMs) { return settle(Deadline(timeoutMs)); }
    // The document as the last save wrote it (or as loaded). A save waiting for encodes in flight is
    // made first.
    QByteArray document();
    // How many notes are held decoded just now.
    int decodedCount() const;
    // How many bytes of encoded notes the store holds just now beside the stored document: changed
    // notes, tables in use, and saves the disk may not hold yet (in memory: not a record in a file).
    qsizetype heldBytes() const;
    // For a note whose decoding would hold the window's thread (a large one not held decoded, or one
    // read back from far into the stored document): starts
    // decoding it on a worker and returns true; done runs on the window's thread once it is in, when
    // find() answers at once (unless the note changed meanwhile), provided context still exists.
    // Otherwise returns false and does nothing: find() is as quick as it gets.
    // letGo, when given, runs only when the decode starts, before a worker can take it up: what it
    // hands to StoreLoader::freeLater (the document of the note shown before) is freed before the
    // note's bytes are read.
    bool decodeInBackground(const QString &id, QObject *context, std::function<void()> done,
                            const std::function<void()> &letGo = {});

    // Which version of a note's text (a table's: its rows) the store holds: another one whenever the note is changed or
    // the notes are read anew, the same when it is only decoded again. Lets a page that made something
    // of its own from the text (a document) tell whether it still shows the note. 0: no such note.
    quint64 textVersion(const QString &id) const;
    // A page holds this version of a large text note's text in a form of its own (its document): the
    // store lets go of the decoded text and rich text, which would only be a second copy of tens of
    // megabytes. find() decodes them again when asked (on the window's thread: a page that holds the
    // text uses findFields()); what is stored is untouched. False (nothing done) for a note that is
    // not large, not decoded, changed and not yet encoded, or of another version.
    bool lendText(const QString &id, quint64 version);
    // Whether the note's text was let go of by lendText() and not decoded again since.
    bool textLent(const QString &id) const;
    // Whether find() gives the note at once, without decoding it: held whole (not lent).
    bool holdsDecoded(const QString &id) const;
    // The note as find() gives it, except that a note whose text was lent comes without its body and
    // rich text (and is not decoded again for them): for a page that shows the text it holds. Never
    // to be stored back (update()) as it is.
    const Note *findFields(const QString &id);

    // A new emoji and title for a note whose text is not held decoded here (lent to a page, or not
    // decoded): the note's bytes get them on a worker, its text and rich text kept byte for byte and
    // never decoded; the list and findFields() show them at once, and the save follows once the bytes
    // are in. A note held whole is updated as update() does. failed runs on the window's thread
    // (provided context still exists) when the bytes could not be read (the stored notes were replaced
    // meanwhile): the note keeps the emoji and title it had. A later change of the note supersedes
    // this one, a removal drops it.
    void updateFields(const QString &id, const QString &emoji, const QString &title, QObject *context,
                      std::function<void()> failed);
    // The note as the store has it now, to be decoded on any thread: for a caller that needs the whole
    // of a large note (an export) without holding the window's thread for it. A change still being
    // encoded is waited for there. Empty when there is no such note; nothing from it when the bytes
    // could not be read.
    std::function<std::optional<Note>()> readLater(const QString &id) const;
    // How many notes find() decoded on the window's thread since the store was made that would have
    // been decoded on a worker (see decodeInBackground): a step that must not hold the window for one
    // leaves this as it was.
    int largeDecodesHere() const { return largeDecodesHere_; }

    // The plain-text rendering of a note for the text export: header lines, the body or table with rich
    // text in marked form, the link and the creation time ("dd.MM.yyyy HH:mm", local time).
    static QString txtExport(const Note &note);
    // The CSV rendering: every field quoted with inner quotes doubled, "\n" between lines, none after.
    static QString csvExport(const Note &note);
    // Rich text to plain text with emphasis markers: each run of equal formats (runs join across
    // paragraph ends) wrapped in "**" when bold, then "_" when italic, then "__" when underlined.
    static QString attrStringToMarkdown(const QTextDocument &doc);
    // The same for RTF bytes; nothing when they do not read as RTF.
    static std::optional<QString> rtfToMarkdown(const QByteArray &rtf);

private:
    // One note: its bytes, and the note decoded while it is in use.
    struct Slot {
        NoteCodec::RowSpan span; // where the note's bytes lie in the document as last saved (when stored)
        bool stored = false;     // span says where the note lies
        bool dirty = false;      // bytes hold the note as changed, not yet saved
        SpooledBytes bytes;      // the note's bytes while held: changed, or kept while it is decoded
        std::unique_ptr<Note> note;
        std::vector<NoteCodec::RowSpan> rows; // where note's rows lie in its bytes; empty when unknown
        quint64 used = 0;
        quint64 text = 0;  // the version of the note's text (see textVersion)
        bool lent = false; // note is held without its body and rich text (see lendText)
        // The save that handed the preferences the note as changed, until the disk holds it: till
        // then its bytes stay here, so that they survive when the stored document turns out to be
        // another program's. 0: nothing waiting.
        quint64 unconfirmed = 0;
        // The encode in flight whose bytes this slot takes (note holds the change till then); 0: none.
        quint64 encoding = 0;
    };
    struct EncodeJob;
    using EncodeJobPtr = std::shared_ptr<EncodeJob>;
    void startLoad(bool tell);
    void finishLoad() const { pending_.wait(); }
    void adopt(NoteCodec::Index &&index);
    // A note's bytes: those held, a view into the document held here, or (let go of) read back from
    // the preferences. Valid until the store changes.
    QByteArray bytesOf(const Slot &s) const;
    void letGoOfDocument(std::optional<quint64> before);
    bool confirmSaved() const;
    void watchConfirmed() const;
    void reloadReplaced();
    // The document handed to the preferences, held while small enough (handed_), and kept in step
    // with the splices handed after it.
    void holdHanded(const QByteArray &doc);
    void followHanded(const std::vector<PrefsSplice> &splices);
    // Every note as this store holds it, with the changes not yet handed over; nothing when the
    // document handed over is not held.
    std::optional<QByteArray> wholeAsHeld() const;
    void saveHeld();
    void saveBySplicing();
    // Every note as the document is to hold it: in its stored place, or its new bytes.
    std::vector<ArrayElement> elementsNow() const;
    std::optional<std::vector<PrefsSplice>> splicesInPlace(std::vector<ArrayElement> &elements) const;
    Slot newSlot(const Note &note, bool keepDecoded, EncodeJob *away);
    void startEncode(EncodeJobPtr job);
    // Without a deadline, they are waited for however long they take.
    bool installEncoded(const EncodeJobPtr &job, const Deadline *until = nullptr);
    bool installEncodes(const Deadline *until = nullptr);
    void settleEncodes();
    void writeNow();
    void decode(Slot &s, const QString &id) const;
    static void takeDecoded(Slot &s, Note &&note);
    // Where a note's bytes come from just now: a note decoded away from the window's thread is taken
    // only while its bytes still come from the same place (read back once, not again to compare).
    struct BytesSource {
        const void *held = nullptr;
        std::optional<quint64> version;
        const char *doc = nullptr;
        qsizetype at = 0, len = 0;
        bool operator==(const BytesSource &) const = default;
    };
    BytesSource sourceOf(const Slot &s) const;
    // The note's bytes as they are now, to be read on any thread (a worker): shared when held here,
    // else read from the stored document there; a change still being encoded is waited for there.
    std::function<std::optional<QByteArray>()> readBytesLater(const Slot &s) const;
    void adoptDecoded(const QString &id, const BytesSource &from, NoteCodec::Held &&held, QByteArray &&bytes);
    bool decodeInBackground(const QString &id, QObject *context, std::function<void()> done, int tries,
                            const std::function<void()> &letGo);
    // Whether a note's bytes stay held while it is decoded (a table's: a change copies its unchanged
    // rows from them).
    static bool keepsBytes(const Slot &s);
    static bool isLarge(const Slot &s);
    // Whether decoding the note would hold the window's thread: a large note, or one whose bytes are
    // read back from far into the stored document.
    bool decodesAway(const Slot &s) const;
    std::vector<Slot *> decodedByUse() const;
    // Whether the store holds more than the notes in use need: notes decoded beyond those it keeps,
    // or the bytes of a save the disk may hold by now.
    bool holdsMoreThanInUse() const;
    void scheduleTrim() const;
    void trim() const;
    int firstIndex(const QString &id) const;
    void changed();
    void join();

    std::vector<NoteHead> heads_;
    mutable std::vector<Slot> slots_;
    // The document as last saved or loaded, held here until the preferences hold exactly these bytes;
    // then they are let go of here: a note's bytes are read back when it is decoded, and a save hands
    // the preferences only what changed (splices), never reading the rest.
    StoredDocument stored_;
    // While the document is let go of: a copy of the document as the preferences were last handed it,
    // kept aside whole should another program replace the stored one.
    DocumentCopy handed_{this};

    DocumentLoad load_;
    bool layoutChanged_ = true; // notes came or went since the last save
    mutable quint64 useCount_ = 0;
    mutable bool trimScheduled_ = false;
    mutable bool confirmScheduled_ = false;
    mutable std::vector<EncodeJobPtr> encodes_; // in flight, oldest first
    mutable bool savePending_ = false;          // a save waits for the encodes in flight
    quint64 encodeGen_ = 0;
    mutable int largeDecodesHere_ = 0;
    PendingLoad pending_; // last: dropped before what it would fill
};
