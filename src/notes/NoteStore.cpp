#include "notes/NoteStoreDetail.h"

#include "platform/Clock.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "platform/SharedObjects.h"
#include "platform/StoreLoader.h"
#include <QTimer>
#include <algorithm>
#include <atomic>

// The notes store: its load, and the changes made to it. Reading notes back and decoding them are in
// NoteStoreRead.cpp, saving in NoteStoreSave.cpp.

using namespace NoteStoreDetail;

namespace {
// After a load this large, the heap the decoding used is given back to the system.
constexpr qsizetype kTrimAfterBytes = 1 << 20;

// Versions of notes' texts, unique in the process: a store made again (a test's reset) never gives a
// note a version a page still holds from the store before.
quint64 nextTextVersion() {
    static std::atomic<quint64> last{0};
    return ++last;
}
} // namespace

namespace NoteStoreDetail {
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
} // namespace NoteStoreDetail

NoteStore &NoteStore::shared() {
    return SharedObjects::get().of<NoteStore>();
}

void NoteStore::resetForTests() {
    SharedObjects::get().drop<NoteStore>();
}

NoteStore::NoteStore(QObject *parent) : QObject(parent), stored_(QString::fromLatin1(kNotes)) {
    Prefs &p = Prefs::get();
    stored_.onReplaced(p, this, [this, &p] {
        if (!stored_.isCurrentIn(p)) reloadReplaced();
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
    stored_.hold(std::move(index.doc));
    heads_ = std::move(index.heads);
    slots_.clear();
    slots_.resize(heads_.size());
    for (size_t i = 0; i < slots_.size(); ++i) {
        slots_[i].span = index.spans[i];
        slots_[i].stored = true;
        slots_[i].text = nextTextVersion();
    }
    layoutChanged_ = false;
    // Once the raw bytes are let go of too (the loader and the preferences drop theirs after this).
    if (stored_.held().size() >= kTrimAfterBytes)
        QTimer::singleShot(0, this, [] { StoreLoader::trimHeapLater(); });
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
    NoteCodec::encodeNote(s.bytes.tail(), note, {}, &s.rows);
    if (keepDecoded) {
        s.note = std::make_unique<Note>(note);
        s.used = ++useCount_;
    } else {
        s.rows.clear();
    }
    return s;
}

int NoteStore::firstIndex(const QString &id) const {
    for (size_t i = 0; i < heads_.size(); ++i)
        if (heads_[i].id == id) return int(i);
    return -1;
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
    if (s.note && !s.note->rows.empty() && s.rows.size() == s.note->rows.size() && !s.bytes.inFile()) {
        if (held || stored_.isStored()) {
            it.source = held ? s.bytes : SpooledBytes(bytesOf(s));
            it.len = it.source.size();
        } else {
            it.source = stored_.held();
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
        if (!it.reuse) it.source = held ? std::move(s.bytes) : SpooledBytes();
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

bool NoteStore::updateEncoded(const Note &fields, const QString &preview, SpooledBytes &&record) {
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
