// The notes store: reading notes back, decoding them (on a worker when large) and letting go of what
// is no longer in use.
#include "notes/NoteStoreDetail.h"

#include "platform/Background.h"
#include "platform/Keys.h"
#include "platform/StoreLoader.h"
#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>

using namespace NoteStoreDetail;

namespace {
// Notes kept decoded after use: going back and forth between a few notes does not decode them again.
// A large note (kDecodeAwayBytes and up) is kept decoded only while it is the one used last: its text
// costs tens of megabytes, and it is decoded again on a worker when it is asked for again.
constexpr int kKeepDecoded = 3;
// A note of any size whose bytes lie this far into the stored document, read back from the
// preferences, is decoded away too: the database reaches that far by walking its pages, about 1.5 ms
// per megabyte before the note, so a short note after a few large ones took tens of milliseconds.
constexpr qsizetype kDecodeAwayAt = 4 * 1024 * 1024;
// How often a decode on a worker is started again for a note whose bytes moved meanwhile.
constexpr int kDecodeTries = 3;
} // namespace

namespace NoteStoreDetail {
void freeLater(Freed &&f) {
    if (f.size < kDecodeAwayBytes) return; // small: freed here, now
    StoreLoader::freeLater([held = std::make_shared<Freed>(std::move(f))]() mutable { held.reset(); });
}
} // namespace NoteStoreDetail

QByteArray NoteStore::bytesOf(const Slot &s) const {
    if (s.dirty || !s.bytes.isEmpty())
        return s.bytes.inFile() ? s.bytes.whole().value_or(QByteArray()) : s.bytes.tail();
    if (!stored_.isStored())
        return QByteArray::fromRawData(stored_.held().constData() + s.span.at, s.span.len);
    if (auto b = stored_.readRange(Prefs::get(), s.span.at, s.span.len)) return *b;
    // Only a replacement of the whole domain (restore, erase: the app quits next) gets here.
    qWarning("NoteStore: the stored notes were replaced underneath the store");
    return {};
}

void NoteStore::decode(Slot &s, const QString &id) const {
    if (decodesAway(s)) ++largeDecodesHere_;
    const QByteArray bytes = bytesOf(s);
    auto held = NoteCodec::decodeHeld(bytes);
    if (!held || held->note.id != id) {
        // Read back from a stored document another program may have written in place of ours: the
        // preferences find out, and the store reads that document again if so.
        qWarning("NoteStore: a note's bytes are not the note");
        if (stored_.isStored()) Prefs::get().verifyStored(stored_.key());
        return;
    }
    takeDecoded(s, std::move(held->note));
    s.rows = std::move(held->rows);
    // Read back from the preferences: kept while a table is decoded, for the rows a change copies. A
    // text's bytes would only hold its text a second time.
    if (stored_.isStored() && keepsBytes(s)) s.bytes = bytes;
}

const Note *NoteStore::find(const QString &id) {
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

const Note *NoteStore::findFields(const QString &id) {
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

bool NoteStore::holdsDecoded(const QString &id) const {
    finishLoad();
    const int i = firstIndex(id);
    return i >= 0 && slots_[size_t(i)].note && !slots_[size_t(i)].lent;
}

// A note decoded (again): into the note held, if any, so a pointer findFields() gave stays valid.
void NoteStore::takeDecoded(Slot &s, Note &&note) {
    if (s.note)
        *s.note = std::move(note);
    else
        s.note = std::make_unique<Note>(std::move(note));
    s.lent = false;
}

bool NoteStore::decodeInBackground(const QString &id, QObject *context, std::function<void()> done,
                                   const std::function<void()> &letGo) {
    return decodeInBackground(id, context, std::move(done), kDecodeTries, letGo);
}

bool NoteStore::decodeInBackground(const QString &id, QObject *context, std::function<void()> done, int tries,
                                   const std::function<void()> &letGo) {
    finishLoad();
    const int i = firstIndex(id);
    if (i < 0 || (slots_[size_t(i)].note && !slots_[size_t(i)].lent)) return false;
    const Slot &s = slots_[size_t(i)];
    if (!decodesAway(s)) return false;
    const BytesSource from = sourceOf(s);
    std::function<std::optional<QByteArray>()> read = readBytesLater(s);
    struct Decoded {
        std::optional<NoteCodec::Held> held;
        QByteArray bytes;
    };
    QPointer<QObject> ctx(context);
    // Before the job is queued: a worker may take it up at once, and its wait for the frees handed
    // over before it must find this one there.
    if (letGo) letGo();
    Background::run<Decoded>(
        this,
        [read = std::move(read)] {
            // What was let go of before (the document of the note shown before) is gone first: the
            // note's bytes are not read beside it.
            StoreLoader::awaitFrees();
            Decoded d;
            d.bytes = read().value_or(QByteArray());
            // Nothing read (replaced underneath): found, and so decoded, on the window's thread as usual.
            if (!d.bytes.isEmpty()) d.held = NoteCodec::decodeHeldInPlace(d.bytes);
            // A text's bytes are not kept beside it (see keepsBytes): freed here, not on the window's
            // thread.
            if (d.held && d.held->note.rows.empty()) d.bytes = QByteArray();
            return d;
        },
        [this, ctx, id, from, done = std::move(done), tries](Decoded d) {
            if (d.held) adoptDecoded(id, from, std::move(*d.held), std::move(d.bytes));
            // Bytes let go of meanwhile (a save the disk now holds) leave the decode untaken though
            // the note is the same: it is read again from where it lies now, not decoded here.
            if (ctx && tries > 1 && decodeInBackground(id, ctx, done, tries - 1, {})) return;
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
        return [bytes = s.bytes] { return bytes.whole(); };
    }
    if (!stored_.isStored()) {
        // A note inside the document held here: the worker holds the document (shared, as a save
        // replaces it) and copies the note out there, not on the window's thread.
        return [doc = stored_.held(), at = s.span.at, len = s.span.len] {
            return std::optional<QByteArray>(QByteArray(doc.constData() + at, len));
        };
    }
    const Prefs &p = Prefs::get();
    if (!stored_.isIn(p)) return [bytes = bytesOf(s)] { return std::optional<QByteArray>(bytes); };
    // Read on the worker too: a note of megabytes is not read on the window's thread.
    return stored_.readRangeLater(p, s.span.at, s.span.len);
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
    return {s.dirty || !s.bytes.isEmpty() ? s.bytes.identity() : nullptr, stored_.version(),
            stored_.isStored() ? nullptr : stored_.held().constData(), s.span.at, s.span.len};
}

void NoteStore::adoptDecoded(const QString &id, const BytesSource &from, NoteCodec::Held &&held,
                             QByteArray &&bytes) {
    const int i = firstIndex(id);
    if (i < 0) return;
    Slot &s = slots_[size_t(i)];
    if ((s.note && !s.lent) || !(sourceOf(s) == from)) return; // changed meanwhile: decoded when found
    takeDecoded(s, std::move(held.note));
    s.rows = std::move(held.rows);
    if (stored_.isStored() && !from.held && keepsBytes(s)) s.bytes = std::move(bytes);
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
    for (const Slot &s : slots_) n += s.bytes.tail().size(); // a record in a file is not in memory
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
    return !s.dirty && s.bytes.isEmpty() && stored_.isStored() && s.span.at >= kDecodeAwayAt;
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
