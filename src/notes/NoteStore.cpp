#include "notes/NoteStore.h"

#include "platform/Background.h"
#include "platform/Clock.h"
#include "platform/DataNotices.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "platform/PrefsSplice.h"
#include "platform/SharedObjects.h"
#include "platform/StoreLoader.h"
#include <QHash>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

// Notes kept decoded after use: going back and forth between a few notes does not decode them again.
// A large note (kDecodeAwayBytes and up) is kept decoded only while it is the one used last: its text
// costs tens of megabytes, and it is decoded again on a worker when it is asked for again.
constexpr int kKeepDecoded = 3;
// Notes this large are decoded away from the window's thread when a page asks (a 10 000 x 20 table
// is about 4 MB and takes tens of milliseconds).
constexpr qsizetype kDecodeAwayBytes = 256 * 1024;
// A note of any size whose bytes lie this far into the stored document, read back from the
// preferences, is decoded away too: the database reaches that far by walking its pages, about 1.5 ms
// per megabyte before the note, so a short note after a few large ones took tens of milliseconds.
constexpr qsizetype kDecodeAwayAt = 4 * 1024 * 1024;
// How often a decode on a worker is started again for a note whose bytes moved meanwhile.
constexpr int kDecodeTries = 3;
// A note this large is encoded on a worker when it is saved: a 4 MB table takes up to tens of
// milliseconds even when most rows are copied, a 50 MB text about 70 ms. Below this, a note of
// text encodes in well under a millisecond, and handing it over would cost more than it saves.
constexpr qsizetype kEncodeAwayBytes = kDecodeAwayBytes;
// How often the store looks whether the disk holds a save whose bytes it keeps till then.
constexpr int kConfirmPollMs = 500;
// After a load this large, the heap the decoding used is given back to the system.
constexpr qsizetype kTrimAfterBytes = 1 << 20;

// Versions of notes' texts, unique in the process: a store made again (a test's reset) never gives a
// note a version a page still holds from the store before.
quint64 nextTextVersion() {
    static std::atomic<quint64> last{0};
    return ++last;
}

// Row i of the changed note, copied from the note's old bytes when an equal row is there. Rows are
// matched by id: at the same position, one further on (rows inserted or removed above), or anywhere.
class RowReuse {
public:
    RowReuse(const Note &old, const std::vector<NoteCodec::RowSpan> &spans, QByteArrayView bytes, const Note &now)
        : old_(old), spans_(spans), bytes_(bytes), now_(now) {}

    void operator()(QByteArray &out, size_t i) {
        const NoteRow &row = now_.rows[i];
        const auto j = match(row.id, i);
        if (j && old_.rows[*j] == row) {
            const NoteCodec::RowSpan &s = spans_[*j];
            out.append(bytes_.data() + s.at, s.len);
            next_ = *j + 1;
        } else {
            NoteCodec::encodeRow(out, row);
        }
    }

private:
    std::optional<size_t> match(const QString &id, size_t i) {
        for (size_t j : {i, next_})
            if (j < old_.rows.size() && old_.rows[j].id == id) return j;
        if (byId_.isEmpty())
            for (size_t k = old_.rows.size(); k-- > 0;) byId_.insert(old_.rows[k].id, k);
        const auto it = byId_.constFind(id);
        if (it == byId_.constEnd()) return std::nullopt;
        return *it;
    }

    const Note &old_;
    const std::vector<NoteCodec::RowSpan> &spans_;
    QByteArrayView bytes_;
    const Note &now_;
    size_t next_ = 0;
    QHash<QString, size_t> byId_;
};

// About how many bytes the note encodes to, counted only up to limit: a large table is not walked
// through on the window's thread to learn that it is large.
qsizetype sizeUpTo(const Note &n, qsizetype limit) {
    qsizetype size = 200 + n.id.size() + n.emoji.size() + n.title.size() + n.body.size() + n.link.size() +
                     (n.bodyRTF ? n.bodyRTF->size() * 4 / 3 : 0) +
                     (n.imageBase64 ? n.imageBase64->size() : 0);
    for (const NoteTableColumn &c : n.columns) size += c.id.size() + c.title.size() + 20;
    for (const NoteRow &r : n.rows) {
        if (size >= limit) break;
        size += r.id.size() + 40;
        for (const QString &c : r.cells) size += c.size() + 3;
        for (const auto &rtf : r.cellsRTF) size += rtf.second.size() * 4 / 3 + 8;
    }
    return size;
}
} // namespace

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
        QByteArray source;
        qsizetype at = 0, len = 0;
        bool reuse = false;
        // A new emoji and title only (updateFields): the note's bytes as read get now's fields in
        // place of fieldsWere's, its text never decoded. failed: they could not be read; the slot
        // then goes back to what it was (dirtyBefore, heldBefore) and told is called.
        std::function<std::optional<QByteArray>()> read;
        std::optional<NoteHead> fieldsWere;
        bool failed = false;
        bool dirtyBefore = false;
        QByteArray heldBefore;
        QPointer<QObject> context;
        std::function<void()> told;
        // What the encode made.
        QByteArray bytes;
        std::vector<NoteCodec::RowSpan> rows;

        // away: on the worker, where now is let go of after (see letGo), so its text may go sooner.
        void encode(bool away) {
            if (fieldsWere) {
                std::optional<QByteArray> was = read ? read() : std::nullopt;
                read = {};
                auto out = was ? NoteCodec::withFields(std::move(*was), *fieldsWere, NoteHead(now)) : std::nullopt;
                if (out)
                    bytes = std::move(*out);
                else
                    failed = true;
                return;
            }
            if (reuse) {
                bytes.reserve(len + 256);
                const QByteArrayView was(source.constData() + at, len);
                NoteCodec::encodeNote(bytes, now, RowReuse(*old, oldRows, was, now), &rows);
            } else {
                // Nothing of the note it was is read: it goes first, so a note of tens of megabytes
                // is never held three times over (as it was, as it is, and its new bytes).
                letGoOfOld();
                // The text goes once written: a long note's text is not held beside its Base64 rich
                // text and its bytes (the store and a page that saved it hold none by then).
                const auto textWritten = [this] { now.body = QString(); };
                NoteCodec::encodeNote(bytes, now, {}, &rows, away ? textWritten : std::function<void()>());
            }
        }
        void letGoOfOld() {
            old.reset();
            oldRows = {};
            source = QByteArray();
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

NoteStore &NoteStore::shared() {
    return SharedObjects::get().of<NoteStore>();
}

void NoteStore::resetForTests() {
    SharedObjects::get().drop<NoteStore>();
}

NoteStore::NoteStore(QObject *parent) : QObject(parent) {
    Prefs &p = Prefs::get();
    connect(&p, &Prefs::storedValueReplaced, this, [this, &p](const QString &key) {
        if (key == QLatin1String(kNotes) && docVersion_ && &p == docPrefs_ &&
            p.version(QString::fromLatin1(kNotes)) != docVersion_)
            reloadReplaced();
    });
    startLoad(false);
}

void NoteStore::startLoad(bool tell) {
    struct Loaded {
        NoteCodec::Index index;
        bool asStored = false; // index.doc holds the stored bytes as they are
    };
    pending_ = loadDocument<Loaded>(
        QString::fromLatin1(kNotes),
        [](const QByteArray &bytes) -> std::optional<Loaded> {
            auto index = NoteCodec::index(bytes);
            if (!index) return std::nullopt;
            const bool asStored = index->doc.constData() == bytes.constData() || index->doc == bytes;
            return Loaded{std::move(*index), asStored};
        },
        [this, tell](Loaded &&l, const DocumentLoad &report) {
            load_ = report;
            adopt(std::move(l.index));
            if (l.asStored) letGoOfDocument(std::nullopt);
            pending_.clear();
            if (tell) Notifier::get().post(QString::fromLatin1(Notify::notesChanged), this);
        });
}

NoteStore::~NoteStore() = default;

void NoteStore::adopt(NoteCodec::Index &&index) {
    doc_ = std::move(index.doc);
    heads_ = std::move(index.heads);
    slots_.clear();
    slots_.resize(heads_.size());
    for (size_t i = 0; i < slots_.size(); ++i) {
        slots_[i].span = index.spans[i];
        slots_[i].stored = true;
        slots_[i].text = nextTextVersion();
    }
    layoutChanged_ = false;
    docVersion_.reset();
    // Once the raw bytes are let go of too (the loader and the preferences drop theirs after this).
    if (doc_.size() >= kTrimAfterBytes) QTimer::singleShot(0, this, [] { StoreLoader::trimHeapLater(); });
}

QByteArray NoteStore::bytesOf(const Slot &s) const {
    if (s.dirty || !s.bytes.isEmpty()) return s.bytes;
    if (!docVersion_) return QByteArray::fromRawData(doc_.constData() + s.span.at, s.span.len);
    const Prefs &p = Prefs::get();
    if (&p == docPrefs_)
        if (auto b = p.readRange(QString::fromLatin1(kNotes), s.span.at, s.span.len, *docVersion_)) return *b;
    // Only a replacement of the whole domain (restore, erase: the app quits next) gets here.
    qWarning("NoteStore: the stored notes were replaced underneath the store");
    return {};
}

// The preferences now hold doc_ (they took the write that changed the version from before): the
// store lets go of its copy. A write they did not take (frozen after a restore, closed) keeps it.
void NoteStore::letGoOfDocument(std::optional<quint64> before) {
    Prefs &p = Prefs::get();
    const auto now = p.version(QString::fromLatin1(kNotes));
    if (!now || (before && *now == *before)) return;
    docVersion_ = now;
    docPrefs_ = &p;
    docSize_ = doc_.size();
    holdHanded(doc_);
    doc_ = QByteArray();
}

QByteArray NoteStore::document() const {
    finishLoad();
    settleEncodes();
    if (!docVersion_) return doc_;
    const Prefs &p = Prefs::get();
    if (&p != docPrefs_) return {};
    auto stored = p.dataAsWritten(QString::fromLatin1(kNotes), *docVersion_);
    if (!stored || stored->size() != docSize_) return {};
    QByteArray doc = std::move(*stored);
    // Changes the preferences did not take (frozen after a restore) are the store's own: put in.
    if (layoutChanged_ || std::any_of(slots_.begin(), slots_.end(), [](const Slot &s) { return s.dirty; })) {
        std::vector<ArrayElement> elements = elementsNow();
        const auto splices = arraySplices(elements, doc.size());
        if (!splices || !applySplices(doc, *splices)) return {};
    }
    return doc;
}

std::vector<ArrayElement> NoteStore::elementsNow() const {
    std::vector<ArrayElement> elements;
    elements.reserve(slots_.size());
    for (const Slot &s : slots_)
        elements.push_back(s.stored && !s.dirty ? ArrayElement{s.span.at, s.span.len, {}}
                                                : ArrayElement{-1, 0, QByteArrayView(s.bytes)});
    return elements;
}

// A note that is new to the store; when away is given, its bytes are made there and the slot shows
// the note (decoded) till then.
NoteStore::Slot NoteStore::newSlot(const Note &note, bool keepDecoded, EncodeJob *away) {
    Slot s;
    s.dirty = true;
    s.text = nextTextVersion();
    if (away) {
        EncodeJob::Item it;
        it.gen = s.encoding = ++encodeGen_;
        it.now = note;
        away->items.push_back(std::move(it));
        s.note = std::make_unique<Note>(note);
        if (keepDecoded) s.used = ++useCount_;
        return s;
    }
    NoteCodec::encodeNote(s.bytes, note, {}, &s.rows);
    if (keepDecoded) {
        s.note = std::make_unique<Note>(note);
        s.used = ++useCount_;
    } else {
        s.rows.clear();
    }
    return s;
}

void NoteStore::decode(Slot &s, const QString &id) const {
    if (decodesAway(s)) ++largeDecodesHere_;
    const QByteArray bytes = bytesOf(s);
    auto held = NoteCodec::decodeHeld(bytes);
    if (!held || held->note.id != id) {
        // Read back from a stored document another program may have written in place of ours: the
        // preferences find out, and the store reads that document again if so.
        qWarning("NoteStore: a note's bytes are not the note");
        if (docVersion_) Prefs::get().verifyStored(QString::fromLatin1(kNotes));
        return;
    }
    takeDecoded(s, std::move(held->note));
    s.rows = std::move(held->rows);
    // Read back from the preferences: kept while a table is decoded, for the rows a change copies. A
    // text's bytes would only hold its text a second time.
    if (docVersion_ && keepsBytes(s)) s.bytes = bytes;
}

int NoteStore::firstIndex(const QString &id) const {
    for (size_t i = 0; i < heads_.size(); ++i)
        if (heads_[i].id == id) return int(i);
    return -1;
}

const Note *NoteStore::find(const QString &id) const {
    finishLoad();
    const int i = firstIndex(id);
    if (i < 0) return nullptr;
    Slot &s = slots_[size_t(i)];
    if (!s.note || s.lent) {
        // A text lent while its change is encoded is read back from the bytes being made.
        if (s.encoding) installEncodes();
        decode(s, id);
    }
    s.used = ++useCount_;
    scheduleTrim();
    return s.note.get();
}

const Note *NoteStore::findFields(const QString &id) const {
    finishLoad();
    const int i = firstIndex(id);
    if (i < 0) return nullptr;
    Slot &s = slots_[size_t(i)];
    if (!s.lent) return find(id);
    s.used = ++useCount_;
    return s.note.get();
}

quint64 NoteStore::textVersion(const QString &id) const {
    finishLoad();
    const int i = firstIndex(id);
    return i < 0 ? 0 : slots_[size_t(i)].text;
}

bool NoteStore::textLent(const QString &id) const {
    finishLoad();
    const int i = firstIndex(id);
    return i >= 0 && slots_[size_t(i)].lent;
}

// A note decoded (again): into the note held, if any, so a pointer findFields() gave stays valid.
void NoteStore::takeDecoded(Slot &s, Note &&note) {
    if (s.note)
        *s.note = std::move(note);
    else
        s.note = std::make_unique<Note>(std::move(note));
    s.lent = false;
}

bool NoteStore::decodeInBackground(const QString &id, QObject *context, std::function<void()> done) {
    return decodeInBackground(id, context, std::move(done), kDecodeTries);
}

bool NoteStore::decodeInBackground(const QString &id, QObject *context, std::function<void()> done, int tries) {
    finishLoad();
    const int i = firstIndex(id);
    if (i < 0 || (slots_[size_t(i)].note && !slots_[size_t(i)].lent)) return false;
    const Slot &s = slots_[size_t(i)];
    if (!decodesAway(s)) return false;
    const BytesSource from = sourceOf(s);
    std::function<std::optional<QByteArray>()> read = readBytesLater(s);
    using Decoded = std::pair<std::optional<NoteCodec::Held>, QByteArray>; // the note, the bytes it keeps
    Background::run<Decoded>(
        this,
        [read = std::move(read)] {
            Decoded d{std::nullopt, read().value_or(QByteArray())};
            // Nothing read (replaced underneath): found, and so decoded, on the window's thread as usual.
            if (!d.second.isEmpty()) d.first = NoteCodec::decodeHeldInPlace(d.second);
            // A text's bytes are not kept beside it (see keepsBytes): freed here, on the worker.
            if (d.first && d.first->note.rows.empty()) d.second = QByteArray();
            return d;
        },
        [this, ctx = QPointer<QObject>(context), id, from, done = std::move(done), tries](Decoded d) {
            if (d.first) adoptDecoded(id, from, std::move(*d.first), std::move(d.second));
            // Bytes let go of meanwhile (a save the disk now holds) leave the decode untaken though
            // the note is the same: it is read again from where it lies now, not decoded here.
            if (ctx && tries > 1 && decodeInBackground(id, ctx, done, tries - 1)) return;
            if (ctx && done) done();
        },
        {QStringLiteral("a note being read"), Background::AtQuit::end, {}});
    return true;
}

std::function<std::optional<QByteArray>()> NoteStore::readBytesLater(const Slot &s) const {
    if (s.encoding) {
        // The bytes being made: the encode is waited for where they are read. Its bytes stay with it
        // once installed (shared with the slot), so they are there whenever the reader comes.
        for (const EncodeJobPtr &job : encodes_)
            for (const EncodeJob::Item &it : job->items)
                if (it.gen == s.encoding)
                    return [job, item = &it]() -> std::optional<QByteArray> {
                        std::unique_lock l(job->m);
                        job->ready.wait(l, [&] { return job->done; });
                        if (item->failed) return std::nullopt;
                        return item->bytes;
                    };
        return [] { return std::optional<QByteArray>(); };
    }
    if (s.dirty || !s.bytes.isEmpty()) {
        // Held bytes own their buffer: the worker shares it, and a change here copies first.
        return [bytes = s.bytes] { return std::optional<QByteArray>(bytes); };
    }
    if (!docVersion_) {
        // A note inside the document held here: the worker holds the document (shared, as a save
        // replaces it) and copies the note out there, not on the window's thread.
        return [doc = doc_, at = s.span.at, len = s.span.len] {
            return std::optional<QByteArray>(QByteArray(doc.constData() + at, len));
        };
    }
    const Prefs &p = Prefs::get();
    if (&p != docPrefs_) return [bytes = bytesOf(s)] { return std::optional<QByteArray>(bytes); };
    // Read on the worker too: a note of megabytes is not read on the window's thread.
    return p.readRangeLater(QString::fromLatin1(kNotes), s.span.at, s.span.len, *docVersion_);
}

std::function<std::optional<Note>()> NoteStore::readLater(const QString &id) const {
    finishLoad();
    const int i = firstIndex(id);
    if (i < 0) return {};
    const Slot &s = slots_[size_t(i)];
    // Held whole: a copy shares its strings.
    if (s.note && !s.lent) return [note = *s.note]() mutable { return std::optional<Note>(std::move(note)); };
    // Bytes read from the stored document after another save moved the note are not the note: its id
    // tells (ids are unique), and the read gives nothing rather than another note's text.
    return [read = readBytesLater(s), id]() -> std::optional<Note> {
        std::optional<QByteArray> bytes = read();
        if (!bytes) return std::nullopt;
        auto held = NoteCodec::decodeHeldInPlace(*bytes);
        if (!held || held->note.id != id) return std::nullopt;
        return std::move(held->note);
    };
}

NoteStore::BytesSource NoteStore::sourceOf(const Slot &s) const {
    return {s.dirty || !s.bytes.isEmpty() ? s.bytes.constData() : nullptr, docVersion_,
            docVersion_ ? nullptr : doc_.constData(), s.span.at, s.span.len};
}

void NoteStore::adoptDecoded(const QString &id, const BytesSource &from, NoteCodec::Held &&held,
                             QByteArray &&bytes) {
    const int i = firstIndex(id);
    if (i < 0) return;
    Slot &s = slots_[size_t(i)];
    if ((s.note && !s.lent) || !(sourceOf(s) == from)) return; // changed meanwhile: decoded when found
    takeDecoded(s, std::move(held.note));
    s.rows = std::move(held.rows);
    if (docVersion_ && !from.held && keepsBytes(s)) s.bytes = std::move(bytes);
    s.used = ++useCount_;
    scheduleTrim();
}

int NoteStore::decodedCount() const {
    finishLoad();
    return int(std::count_if(slots_.begin(), slots_.end(), [](const Slot &s) { return bool(s.note); }));
}

qsizetype NoteStore::heldBytes() const {
    finishLoad();
    qsizetype n = 0;
    for (const Slot &s : slots_) n += s.bytes.size();
    return n;
}

bool NoteStore::keepsBytes(const Slot &s) {
    return s.note && !s.note->rows.empty();
}

bool NoteStore::isLarge(const Slot &s) {
    return (s.dirty || !s.bytes.isEmpty() ? s.bytes.size() : s.span.len) >= kDecodeAwayBytes;
}

bool NoteStore::decodesAway(const Slot &s) const {
    if (isLarge(s)) return true;
    return !s.dirty && s.bytes.isEmpty() && docVersion_ && s.span.at >= kDecodeAwayAt;
}

// The notes held decoded and not changed, the one used last first.
std::vector<NoteStore::Slot *> NoteStore::decodedByUse() const {
    std::vector<Slot *> decoded;
    for (Slot &s : slots_)
        if (s.note && !s.dirty) decoded.push_back(&s);
    std::sort(decoded.begin(), decoded.end(), [](const Slot *a, const Slot *b) { return a->used > b->used; });
    return decoded;
}

bool NoteStore::holdsMoreThanInUse() const {
    const std::vector<Slot *> decoded = decodedByUse();
    if (int(decoded.size()) > kKeepDecoded) return true;
    return std::any_of(decoded.begin() + std::min<size_t>(1, decoded.size()), decoded.end(),
                       [](const Slot *s) { return isLarge(*s); });
}

void NoteStore::scheduleTrim() const {
    if (trimScheduled_ || !holdsMoreThanInUse()) return;
    trimScheduled_ = true;
    // Later, from the event loop: a pointer find() gave stays valid while its caller runs.
    QTimer::singleShot(0, const_cast<NoteStore *>(this), [this] { trim(); });
}

namespace {
// Notes and bytes the store let go of, freed on a worker when they are large: a note of tens of
// megabytes held the window for milliseconds, and the heap hands it back to the system there.
struct Freed {
    std::vector<std::unique_ptr<Note>> notes;
    std::vector<QByteArray> bytes;
    qsizetype size = 0; // about how many bytes; 0 when nothing large
};

void freeLater(Freed &&f) {
    if (f.size < kDecodeAwayBytes) return; // small: freed here, now
    Background::detached([held = std::make_shared<Freed>(std::move(f))]() mutable {
        held.reset();
        StoreLoader::trimHeapLater();
    });
}
} // namespace

// The changes the disk holds now need not be kept here any more. True while some are still waiting
// for the disk.
bool NoteStore::confirmSaved() const {
    if (!docVersion_ || &Prefs::get() != docPrefs_) return false;
    const auto upTo = Prefs::get().committedUpTo(QString::fromLatin1(kNotes), *docVersion_);
    if (!upTo) return false;
    Freed freed;
    bool waiting = false;
    for (Slot &s : slots_) {
        if (s.unconfirmed && s.unconfirmed <= *upTo) {
            s.unconfirmed = 0;
            if (!s.dirty && !s.encoding && !keepsBytes(s)) {
                freed.size += s.bytes.size();
                freed.bytes.push_back(std::exchange(s.bytes, QByteArray()));
            }
        }
        waiting = waiting || s.unconfirmed;
    }
    freeLater(std::move(freed));
    return waiting;
}

// While a save's bytes are kept for the disk, the store looks again now and then whether it holds
// them (the writer of a document of many megabytes takes a while).
void NoteStore::watchConfirmed() const {
    if (confirmScheduled_ || !std::any_of(slots_.begin(), slots_.end(), [](const Slot &s) { return s.unconfirmed; }))
        return;
    confirmScheduled_ = true;
    QTimer::singleShot(kConfirmPollMs, const_cast<NoteStore *>(this), [this] {
        confirmScheduled_ = false;
        if (confirmSaved()) watchConfirmed();
    });
}

void NoteStore::trim() const {
    trimScheduled_ = false;
    confirmSaved();
    // In a nested event loop (a modal dialog) a caller further down may still hold a note: wait.
    if (QThread::currentThread()->loopLevel() > 1) {
        trimScheduled_ = true;
        QTimer::singleShot(1000, const_cast<NoteStore *>(this), [this] { trim(); });
        return;
    }
    const std::vector<Slot *> decoded = decodedByUse();
    Freed freed;
    for (size_t k = 0; k < decoded.size(); ++k) {
        Slot &s = *decoded[k];
        if (k < size_t(kKeepDecoded) && (k == 0 || !isLarge(s))) continue;
        if (isLarge(s)) freed.size += kDecodeAwayBytes;
        freed.notes.push_back(std::move(s.note));
        s.lent = false;
        s.rows = {};
        // A change the disk does not hold yet keeps its bytes (not its decoded note).
        if (!s.unconfirmed) freed.bytes.push_back(std::exchange(s.bytes, QByteArray()));
    }
    freeLater(std::move(freed));
}

bool NoteStore::lendText(const QString &id, quint64 version) {
    finishLoad();
    const int i = firstIndex(id);
    if (i < 0) return false;
    Slot &s = slots_[size_t(i)];
    // The note must be whole elsewhere: stored, or its change encoded (held bytes) or being encoded
    // (the encode holds the text till its bytes are made, then frees it on its worker).
    if (!s.note || s.lent || s.text != version || s.note->type != NoteType::text || !s.note->rows.empty())
        return false;
    if (s.dirty && !s.encoding && s.bytes.isEmpty()) return false;
    if (!(s.encoding ? sizeUpTo(*s.note, kDecodeAwayBytes) >= kDecodeAwayBytes : isLarge(s))) return false;
    Freed freed;
    auto text = std::make_unique<Note>();
    text->body = std::exchange(s.note->body, QString());
    text->bodyRTF = std::exchange(s.note->bodyRTF, std::nullopt);
    freed.size = kDecodeAwayBytes;
    freed.notes.push_back(std::move(text));
    s.lent = true;
    freeLater(std::move(freed));
    return true;
}

void NoteStore::save() {
    finishLoad();
    savePending_ = true;
    settleEncodes();
}

bool NoteStore::settle(const Deadline &deadline) {
    // Before the load is in, nothing changed (every change waits for it): the load is not waited for.
    if (!installEncodes(&deadline)) return false;
    settleEncodes();
    return true;
}

void NoteStore::startEncode(EncodeJobPtr job) {
    encodes_.push_back(job);
    // Quitting hands its bytes to the store before the database is closed.
    Background::start(
        this,
        [job] {
            for (EncodeJob::Item &it : job->items) {
                it.encode(true);
                it.letGo();
            }
            {
                std::lock_guard l(job->m);
                job->done = true;
            }
            job->ready.notify_all();
        },
        [this, job] {
            installEncoded(job);
            if (encodes_.empty() && savePending_) settleEncodes();
        },
        {}, {QStringLiteral("a large note's save"), Background::AtQuit::handBack, {}});
}

// Waits for the job (until the deadline) and hands its bytes to the slots still waiting for them; a
// slot changed again meanwhile, removed or replaced takes nothing. False when the deadline came first.
bool NoteStore::installEncoded(const EncodeJobPtr &job, const Deadline *until) const {
    if (job->installed) return true;
    {
        std::unique_lock l(job->m);
        const auto done = [&] { return job->done; };
        if (!until)
            job->ready.wait(l, done);
        else if (!until->wait(job->ready, l, done))
            return false;
    }
    job->installed = true;
    std::erase(encodes_, job);
    std::unordered_map<quint64, EncodeJob::Item *> byGen;
    for (EncodeJob::Item &it : job->items) byGen.emplace(it.gen, &it);
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot &s = slots_[i];
        if (!s.encoding) continue;
        const auto it = byGen.find(s.encoding);
        if (it == byGen.end()) continue;
        EncodeJob::Item &item = *it->second;
        s.encoding = 0;
        if (item.failed) {
            // The new fields could not be put in: the note is as it was, and the page is told.
            const NoteHead &was = *item.fieldsWere;
            s.dirty = item.dirtyBefore;
            s.bytes = item.heldBefore;
            if (s.note) {
                s.note->emoji = was.emoji;
                s.note->title = was.title;
                s.note->modifiedInterval = was.modifiedInterval;
            }
            NoteHead &head = const_cast<NoteStore *>(this)->heads_[i];
            head.emoji = was.emoji;
            head.title = was.title;
            head.modifiedInterval = was.modifiedInterval;
            if (item.context && item.told) QTimer::singleShot(0, item.context.data(), item.told);
            NoteStore *self = const_cast<NoteStore *>(this);
            QTimer::singleShot(0, self, [self] { Notifier::get().post(QString::fromLatin1(Notify::notesChanged), self); });
            continue;
        }
        // Shared, not moved: a reader waiting for this encode (readBytesLater) takes them too.
        s.bytes = item.bytes;
        s.rows = std::move(item.rows);
    }
    return true;
}

bool NoteStore::installEncodes(const Deadline *until) const {
    for (const EncodeJobPtr &job : std::vector(encodes_))
        if (!installEncoded(job, until)) return false;
    return true;
}

// Every note's bytes in place, and the save the encodes held back written.
void NoteStore::settleEncodes() const {
    installEncodes();
    if (!savePending_) return;
    savePending_ = false;
    const_cast<NoteStore *>(this)->writeNow();
    scheduleTrim(); // notes held decoded only while their bytes were made
    watchConfirmed();
}

void NoteStore::writeNow() {
    if (docVersion_)
        saveBySplicing();
    else
        saveHeld();
}

// The document is held here (as loaded, or not taken by the preferences): the changed notes go in
// its place, or, when notes came or went, every note's bytes are joined into a new one.
void NoteStore::saveHeld() {
    if (!layoutChanged_ && doc_.size() >= 2) {
        std::vector<PrefsSplice> splices;
        qsizetype shift = 0;
        for (Slot &s : slots_) {
            s.span.at += shift;
            if (!s.dirty) continue;
            splices.push_back(PrefsSplice{s.span.at, s.span.len, s.bytes});
            shift += s.bytes.size() - s.span.len;
            s.span.len = s.bytes.size();
        }
        // In the buffer's own place (one the preferences still share is copied once, by the first change).
        applySplices(doc_, splices);
    } else {
        join();
    }
    for (Slot &s : slots_) {
        s.stored = true;
        s.dirty = false;
        if (!keepsBytes(s)) s.bytes = QByteArray(); // the document holds them
    }
    layoutChanged_ = false;
    const auto before = Prefs::get().version(QString::fromLatin1(kNotes));
    saveDocument(QString::fromLatin1(kNotes), doc_);
    letGoOfDocument(before);
}

// The preferences hold the document: they get the changed notes (and the stretches where notes came
// or went) as splices, and the rest of the document is neither read nor copied here.
void NoteStore::saveBySplicing() {
    Prefs &p = Prefs::get();
    // Writes are not kept after a restore or an erase (the app quits next), nor after the final
    // commit: the changes stay here, as any write's would.
    if (p.isFrozen() || p.isClosed()) return;
    if (&p != docPrefs_) {
        qWarning("NoteStore: the stored notes were replaced underneath the store; not saved");
        return;
    }
    confirmSaved();
    std::vector<ArrayElement> elements = elementsNow();
    auto splices = layoutChanged_ ? arraySplices(elements, docSize_) : splicesInPlace(elements);
    std::optional<quint64> now;
    if (splices && splices->empty() && p.version(QString::fromLatin1(kNotes)) == docVersion_) {
        now = docVersion_; // nothing changed: nothing written
    } else if (splices) {
        std::vector<PrefsSplice> handed = *splices;
        now = p.spliceData(QString::fromLatin1(kNotes), *docVersion_, std::move(*splices));
        if (now) followHanded(handed);
    }
    if (!now) {
        // The stored document is not the one this store let go of (another program wrote it): nothing
        // is written into it; it is read again, and the changes made here are kept aside.
        reloadReplaced();
        return;
    }
    const bool moved = now != docVersion_;
    docVersion_ = now;
    docSize_ = elements.empty() ? 2 : elements.back().at + elements.back().len + 1;
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot &s = slots_[i];
        s.span = {elements[i].at, elements[i].len};
        s.stored = true;
        if (s.dirty && moved) s.unconfirmed = *now;
        s.dirty = false;
        if (!keepsBytes(s) && !s.unconfirmed) s.bytes = QByteArray();
    }
    layoutChanged_ = false;
}

// No note came or went: each changed note's bytes go over its old ones, handed over as they are (a
// stretch joined with its neighbours would copy a note of tens of megabytes on the window's thread).
// The same document as arraySplices() makes, and elements are moved to where their bytes go likewise.
std::optional<std::vector<PrefsSplice>> NoteStore::splicesInPlace(std::vector<ArrayElement> &elements) const {
    qint64 end = 0; // notes lie in order, apart
    for (const Slot &s : slots_) {
        if (!s.stored || s.span.at < end + 1 || s.span.len < 0 || s.span.at + s.span.len > docSize_ - 1)
            return arraySplices(elements, docSize_);
        end = s.span.at + s.span.len;
    }
    std::vector<PrefsSplice> out;
    qint64 shift = 0;
    for (size_t i = 0; i < slots_.size(); ++i) {
        const Slot &s = slots_[i];
        ArrayElement &e = elements[i];
        e.at = s.span.at + shift;
        e.len = s.span.len;
        if (!s.dirty) continue;
        out.push_back(PrefsSplice{e.at, s.span.len, s.bytes});
        e.len = s.bytes.size();
        shift += s.bytes.size() - s.span.len;
    }
    return out;
}

void NoteStore::join() {
    qsizetype total = 2;
    for (const Slot &s : slots_) total += bytesOf(s).size() + 1;
    QByteArray out;
    out.reserve(total);
    out.append('[');
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (i) out.append(',');
        Slot &s = slots_[i];
        const QByteArray b = bytesOf(s);
        s.span = {out.size(), b.size()};
        out.append(b.data(), b.size());
    }
    out.append(']');
    doc_ = out;
}

void NoteStore::changed() {
    // While a note's bytes are being made, the save waits for them (startEncode), so that no
    // document is written without them; the store shows the change at once.
    savePending_ = true;
    if (encodes_.empty()) settleEncodes();
    Notifier::get().post(QString::fromLatin1(Notify::notesChanged), this);
}

void NoteStore::add(const Note &note) {
    finishLoad();
    layoutChanged_ = true;
    EncodeJobPtr job;
    if (sizeUpTo(note, kEncodeAwayBytes) >= kEncodeAwayBytes) job = std::make_shared<EncodeJob>();
    slots_.push_back(newSlot(note, true, job.get()));
    heads_.emplace_back(note);
    if (job) startEncode(std::move(job));
    scheduleTrim();
    changed();
}

void NoteStore::update(const Note &note) {
    finishLoad();
    const int i = firstIndex(note.id);
    if (i < 0) return;
    Slot &s = slots_[size_t(i)];
    EncodeJob::Item it;
    it.now = note;
    it.now.modifiedInterval = Clock::get().refSeconds();
    const bool held = s.dirty || !s.bytes.isEmpty();
    const qsizetype oldSize = held ? s.bytes.size() : s.span.len;
    // A note whose last change is still being encoded goes the same way: the note it replaces may be
    // of megabytes, and is not freed here.
    const bool away = s.encoding || oldSize >= kEncodeAwayBytes ||
                      sizeUpTo(it.now, kEncodeAwayBytes) >= kEncodeAwayBytes;
    // A table's rows are copied from its old bytes: those held (shared, not copied), or its place in
    // the document held here. Only when they are really there: a read back that failed gives none,
    // and the row places would point past them.
    if (s.note && !s.note->rows.empty() && s.rows.size() == s.note->rows.size()) {
        if (held || docVersion_) {
            it.source = held ? s.bytes : bytesOf(s);
            it.len = it.source.size();
        } else {
            it.source = doc_;
            it.at = s.span.at;
            it.len = s.span.len;
        }
        it.reuse = std::all_of(s.rows.begin(), s.rows.end(), [&](const NoteCodec::RowSpan &r) {
            return r.at >= 0 && r.len >= 0 && r.at + r.len <= it.len;
        });
    }
    Note shown = away ? it.now : Note();
    // The same text (a new title, say) keeps its version: what a page made of it still shows it.
    const auto same = [](const auto &a, const auto &b) {
        return a.size() == b.size() && (a.constData() == b.constData() || a == b);
    };
    // A table's cells are its text: a page that measured its rows tells by the version that they are
    // the same, without comparing every cell of a table decoded again. The rows of a change are a
    // copy of the note held with a few cells changed: compared, they share all but those.
    const bool sameText = s.note && !s.lent && same(s.note->body, note.body) &&
                          s.note->bodyRTF.has_value() == note.bodyRTF.has_value() &&
                          (!note.bodyRTF || same(*s.note->bodyRTF, *note.bodyRTF)) &&
                          s.note->type == note.type && s.note->rows == note.rows;
    if (!sameText) s.text = nextTextVersion();
    s.dirty = true;
    s.lent = false;
    if (away) {
        // The old note and bytes go with the job (they are replaced): tens of megabytes are not
        // freed on the window's thread either.
        if (s.note) it.old = std::move(*s.note); // replaced below: a pointer find() gave stays valid
        if (!it.reuse) it.source = held ? std::move(s.bytes) : QByteArray();
        it.oldRows = std::move(s.rows);
        it.gen = s.encoding = ++encodeGen_;
        s.bytes = QByteArray();
        s.rows = {};
        auto job = std::make_shared<EncodeJob>();
        job->items.push_back(std::move(it));
        startEncode(std::move(job));
    } else {
        if (it.reuse) {
            it.old = std::move(*s.note);
            it.oldRows = std::move(s.rows);
        }
        it.encode(false);
        shown = std::move(it.now);
        s.bytes = std::move(it.bytes);
        s.rows = std::move(it.rows);
    }
    if (s.note)
        *s.note = std::move(shown); // a pointer find() gave stays valid, as before
    else
        s.note = std::make_unique<Note>(std::move(shown));
    s.used = ++useCount_;
    heads_[size_t(i)] = NoteHead(*s.note);
    scheduleTrim();
    changed();
}

void NoteStore::updateFields(const QString &id, const QString &emoji, const QString &title, QObject *context,
                             std::function<void()> failed) {
    finishLoad();
    const int i = firstIndex(id);
    if (i < 0) return;
    Slot &s = slots_[size_t(i)];
    if (s.note && !s.lent) {
        Note copy = *s.note;
        copy.emoji = emoji;
        copy.title = title;
        update(copy);
        return;
    }
    // A change whose bytes are still being made is put in first: those bytes are the ones to patch.
    if (s.encoding) installEncodes();
    EncodeJob::Item it;
    NoteHead &head = heads_[size_t(i)];
    it.fieldsWere = head;
    it.dirtyBefore = s.dirty;
    it.heldBefore = s.bytes;
    it.read = readBytesLater(s);
    it.context = context;
    it.told = std::move(failed);
    head.emoji = emoji;
    head.title = title;
    head.modifiedInterval = Clock::get().refSeconds();
    // Only the fields a head has are read of now (the text is not there to be read).
    it.now.id = head.id;
    it.now.type = head.type;
    it.now.emoji = head.emoji;
    it.now.title = head.title;
    it.now.createdInterval = head.createdInterval;
    it.now.modifiedInterval = head.modifiedInterval;
    if (s.note) {
        s.note->emoji = head.emoji;
        s.note->title = head.title;
        s.note->modifiedInterval = head.modifiedInterval;
    }
    // The same text: what a page made of it (and holds lent) still shows the note.
    s.dirty = true;
    it.gen = s.encoding = ++encodeGen_;
    s.bytes = QByteArray();
    s.rows = {};
    s.used = ++useCount_;
    auto job = std::make_shared<EncodeJob>();
    job->items.push_back(std::move(it));
    startEncode(std::move(job));
    scheduleTrim();
    changed();
}

bool NoteStore::updateEncoded(const Note &fields, const QString &preview, QByteArray &&record) {
    finishLoad();
    const int i = firstIndex(fields.id);
    if (i < 0) return false;
    Note note = fields;
    note.body = QString();
    note.bodyRTF.reset();
    note.modifiedInterval = Clock::get().refSeconds();
    // Stamped in the bytes' own buffer (they are handed over, not shared).
    auto bytes = NoteCodec::withFields(std::move(record), NoteHead(fields), NoteHead(note));
    if (!bytes) return false;
    Slot &s = slots_[size_t(i)];
    // What it replaces may be of megabytes (a change not yet confirmed): freed on a worker.
    Freed freed;
    freed.size = s.bytes.size();
    freed.bytes.push_back(std::exchange(s.bytes, std::move(*bytes)));
    s.rows = {};
    s.encoding = 0; // an encode still in flight made bytes of an earlier change
    s.text = nextTextVersion();
    s.dirty = true;
    takeDecoded(s, std::move(note)); // a pointer find() gave stays valid
    s.lent = true;
    // Only a large note is held lent, as lendText() lends only those: a page that no longer holds a
    // lent text has it decoded again on a worker, which a smaller note never goes to. Such a note is
    // read from its bytes here, as quick as find() reads it.
    if (!isLarge(s)) decode(s, fields.id);
    s.used = ++useCount_;
    heads_[size_t(i)] = NoteHead(*s.note);
    heads_[size_t(i)].preview = preview;
    freeLater(std::move(freed));
    scheduleTrim();
    changed();
    return true;
}

void NoteStore::remove(const QString &id) {
    finishLoad();
    if (firstIndex(id) < 0) {
        // Nothing to remove: nothing to write either.
        Notifier::get().post(QString::fromLatin1(Notify::notesChanged), this);
        return;
    }
    layoutChanged_ = true;
    size_t out = 0;
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (heads_[i].id == id) continue;
        if (out != i) {
            slots_[out] = std::move(slots_[i]);
            heads_[out] = std::move(heads_[i]);
        }
        ++out;
    }
    slots_.resize(out);
    heads_.resize(out);
    changed();
}

void NoteStore::replaceAll(const std::vector<Note> &notes) {
    finishLoad();
    layoutChanged_ = true;
    slots_.clear();
    heads_.clear();
    slots_.reserve(notes.size());
    heads_.reserve(notes.size());
    // An import of megabytes is encoded on a worker as a whole.
    qsizetype size = 0;
    for (const Note &n : notes)
        if ((size += sizeUpTo(n, kEncodeAwayBytes - size)) >= kEncodeAwayBytes) break;
    EncodeJobPtr job;
    if (size >= kEncodeAwayBytes) job = std::make_shared<EncodeJob>();
    for (const Note &n : notes) {
        slots_.push_back(newSlot(n, false, job.get()));
        heads_.emplace_back(n);
    }
    if (job) startEncode(std::move(job));
    changed();
}
