#include "notes/NoteStore.h"

#include "platform/Clock.h"
#include "platform/DataNotices.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "platform/PrefsSplice.h"
#include "platform/SharedObjects.h"
#include <QHash>
#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace {

// Notes kept decoded after use: going back and forth between a few notes does not decode them again.
constexpr int kKeepDecoded = 3;
// Notes this large are decoded away from the window's thread when a page asks (a 10 000 x 20 table
// is about 4 MB and takes tens of milliseconds).
constexpr qsizetype kDecodeAwayBytes = 256 * 1024;
// After a load this large, the heap the decoding used is given back to the system.
constexpr qsizetype kTrimAfterBytes = 1 << 20;

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
} // namespace

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

// Another program wrote the notes in place of the document this store let go of. What it wrote is
// the only whole document there is now (the notes not held here lay in the one it replaced), so it
// stays, and the store reads it again. The changes of this session that the disk does not hold are
// kept aside as a notes document of their own, and the user is told where.
void NoteStore::reloadReplaced() {
    Prefs &p = Prefs::get();
    confirmSaved(); // what the disk held before the other program wrote is no change of this session
    QByteArray kept("[");
    int count = 0;
    for (const Slot &s : slots_) {
        if (!s.dirty && !s.unconfirmed) continue;
        QByteArray bytes = s.bytes;
        if (bytes.isEmpty() && s.note) NoteCodec::encodeNote(bytes, *s.note, {}, nullptr);
        if (bytes.isEmpty()) continue;
        if (count++) kept.append(',');
        kept.append(bytes);
    }
    kept.append(']');
    if (count) {
        const QString aside = p.keepAsideData(QString::fromLatin1(kNotes), kept);
        if (!aside.isEmpty())
            DataNotices::get().add({QString::fromLatin1(kNotes), aside, p.path(), DataNotice::Kind::ownChangesKept});
        else
            qWarning("NoteStore: the notes changed here could not be kept aside");
    }
    heads_.clear();
    slots_.clear();
    doc_ = QByteArray();
    docVersion_.reset();
    docPrefs_ = nullptr;
    docSize_ = 0;
    startLoad(true);
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
    doc_ = QByteArray();
}

QByteArray NoteStore::document() const {
    finishLoad();
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

NoteStore::Slot NoteStore::newSlot(const Note &note, bool keepDecoded) const {
    Slot s;
    NoteCodec::encodeNote(s.bytes, note, {}, &s.rows);
    s.dirty = true;
    if (keepDecoded) {
        s.note = std::make_unique<Note>(note);
        s.used = ++useCount_;
    } else {
        s.rows.clear();
    }
    return s;
}

void NoteStore::decode(Slot &s, const QString &id) const {
    const QByteArray bytes = bytesOf(s);
    auto held = NoteCodec::decodeHeld(bytes);
    if (!held || held->note.id != id) {
        // Read back from a stored document another program may have written in place of ours: the
        // preferences find out, and the store reads that document again if so.
        qWarning("NoteStore: a note's bytes are not the note");
        if (docVersion_) Prefs::get().verifyStored(QString::fromLatin1(kNotes));
        return;
    }
    s.note = std::make_unique<Note>(std::move(held->note));
    s.rows = std::move(held->rows);
    // Read back from the preferences: kept while the note is decoded, for the rows a change copies.
    if (docVersion_) s.bytes = bytes;
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
    if (!s.note) decode(s, id);
    s.used = ++useCount_;
    scheduleTrim();
    return s.note.get();
}

bool NoteStore::decodeInBackground(const QString &id, QObject *context, std::function<void()> done) {
    finishLoad();
    const int i = firstIndex(id);
    if (i < 0 || slots_[size_t(i)].note) return false;
    const Slot &s = slots_[size_t(i)];
    if ((s.dirty || !s.bytes.isEmpty() ? s.bytes.size() : s.span.len) < kDecodeAwayBytes) return false;
    const BytesSource from = sourceOf(s);
    std::function<std::optional<QByteArray>()> read;
    const Prefs &p = Prefs::get();
    if (s.dirty || !s.bytes.isEmpty()) {
        // Held bytes own their buffer: the worker shares it, and a change here copies first.
        read = [bytes = s.bytes] { return std::optional<QByteArray>(bytes); };
    } else if (!docVersion_) {
        // A note inside the document held here: the worker holds the document (shared, as a save
        // replaces it) and copies the note out there, not on the window's thread.
        read = [doc = doc_, at = s.span.at, len = s.span.len] {
            return std::optional<QByteArray>(QByteArray(doc.constData() + at, len));
        };
    } else if (&p != docPrefs_) {
        read = [bytes = bytesOf(s)] { return std::optional<QByteArray>(bytes); };
    } else {
        // Read on the worker too: a note of megabytes is not read on the window's thread.
        read = p.readRangeLater(QString::fromLatin1(kNotes), s.span.at, s.span.len, *docVersion_);
    }
    QPointer<NoteStore> self(this);
    QPointer<QObject> ctx(context);
    QThreadPool::globalInstance()->start([self, ctx, id, from, read = std::move(read), done = std::move(done)]() mutable {
        QByteArray bytes = read().value_or(QByteArray());
        // Nothing read (replaced underneath): found, and so decoded, on the window's thread as usual.
        auto held = std::make_shared<std::optional<NoteCodec::Held>>(
            bytes.isEmpty() ? std::nullopt : NoteCodec::decodeHeld(bytes));
        // qApp outlives the global pool's tasks; the store and the context are checked on its thread.
        QMetaObject::invokeMethod(qApp, [self, ctx, id, from, held, bytes = std::move(bytes),
                                         done = std::move(done)]() mutable {
            if (!self) return;
            if (*held) self->adoptDecoded(id, from, std::move(**held), std::move(bytes));
            if (ctx && done) done();
        }, Qt::QueuedConnection);
    });
    return true;
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
    if (s.note || !(sourceOf(s) == from)) return; // changed meanwhile: decoded when found
    s.note = std::make_unique<Note>(std::move(held.note));
    s.rows = std::move(held.rows);
    if (docVersion_ && !from.held) s.bytes = std::move(bytes);
    s.used = ++useCount_;
    scheduleTrim();
}

int NoteStore::decodedCount() const {
    finishLoad();
    return int(std::count_if(slots_.begin(), slots_.end(), [](const Slot &s) { return bool(s.note); }));
}

void NoteStore::scheduleTrim() const {
    if (trimScheduled_ || decodedCount() <= kKeepDecoded) return;
    trimScheduled_ = true;
    // Later, from the event loop: a pointer find() gave stays valid while its caller runs.
    QTimer::singleShot(0, const_cast<NoteStore *>(this), [this] { trim(); });
}

// The changes the disk holds now need not be kept here any more.
void NoteStore::confirmSaved() const {
    if (!docVersion_ || &Prefs::get() != docPrefs_) return;
    const auto upTo = Prefs::get().committedUpTo(QString::fromLatin1(kNotes), *docVersion_);
    if (!upTo) return;
    for (Slot &s : slots_)
        if (s.unconfirmed && s.unconfirmed <= *upTo) {
            s.unconfirmed = 0;
            if (!s.note) s.bytes = QByteArray();
        }
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
    std::vector<Slot *> decoded;
    for (Slot &s : slots_)
        if (s.note && !s.dirty) decoded.push_back(&s);
    if (int(decoded.size()) <= kKeepDecoded) return;
    std::sort(decoded.begin(), decoded.end(), [](const Slot *a, const Slot *b) { return a->used > b->used; });
    for (size_t k = kKeepDecoded; k < decoded.size(); ++k) {
        decoded[k]->note.reset();
        decoded[k]->rows = {};
        // A change the disk does not hold yet keeps its bytes (not its decoded note).
        if (!decoded[k]->unconfirmed) decoded[k]->bytes = QByteArray();
    }
}

void NoteStore::save() {
    finishLoad();
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
        if (!s.note) s.bytes = QByteArray();
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
    auto splices = arraySplices(elements, docSize_);
    std::optional<quint64> now;
    if (splices && splices->empty() && p.version(QString::fromLatin1(kNotes)) == docVersion_) {
        now = docVersion_; // nothing changed: nothing written
    } else if (splices) {
        now = p.spliceData(QString::fromLatin1(kNotes), *docVersion_, std::move(*splices));
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
        if (!s.note && !s.unconfirmed) s.bytes = QByteArray();
    }
    layoutChanged_ = false;
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
    save();
    Notifier::get().post(QString::fromLatin1(Notify::notesChanged), this);
}

void NoteStore::add(const Note &note) {
    finishLoad();
    layoutChanged_ = true;
    slots_.push_back(newSlot(note, true));
    heads_.emplace_back(note);
    scheduleTrim();
    changed();
}

void NoteStore::update(const Note &note) {
    finishLoad();
    const int i = firstIndex(note.id);
    if (i < 0) return;
    Note now = note;
    now.modifiedInterval = Clock::get().refSeconds();
    Slot &s = slots_[size_t(i)];
    QByteArray bytes;
    std::vector<NoteCodec::RowSpan> rows;
    const QByteArray old = bytesOf(s);
    bytes.reserve(old.size() + 256);
    // Rows are copied from the old bytes only when they are really there: a read back that failed
    // gives none, and the row places would point past them.
    const bool rowsInOld = std::all_of(s.rows.begin(), s.rows.end(), [&](const NoteCodec::RowSpan &r) {
        return r.at >= 0 && r.len >= 0 && r.at + r.len <= old.size();
    });
    if (s.note && !s.note->rows.empty() && s.rows.size() == s.note->rows.size() && rowsInOld)
        NoteCodec::encodeNote(bytes, now, RowReuse(*s.note, s.rows, old, now), &rows);
    else
        NoteCodec::encodeNote(bytes, now, {}, &rows);
    s.bytes = std::move(bytes);
    s.dirty = true;
    s.rows = std::move(rows);
    if (s.note)
        *s.note = std::move(now); // a pointer find() gave stays valid, as before
    else
        s.note = std::make_unique<Note>(std::move(now));
    s.used = ++useCount_;
    heads_[size_t(i)] = NoteHead(*s.note);
    scheduleTrim();
    changed();
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
    for (const Note &n : notes) {
        slots_.push_back(newSlot(n, false));
        heads_.emplace_back(n);
    }
    changed();
}
