// The notes store: encoding changed notes (on a worker when large) and saving the document, whole
// or as splices of the one the preferences hold.
#include "notes/NoteStoreDetail.h"

#include "platform/Background.h"
#include "platform/Clock.h"
#include "platform/DataNotices.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include <QCoreApplication>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <unordered_map>

using namespace NoteStoreDetail;

namespace {
// How often the store looks whether the disk holds a save whose bytes it keeps till then.
constexpr int kConfirmPollMs = 500;

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

// away: on the worker, where now is let go of after (see letGo), so its text may go sooner.
bool NoteStore::EncodeJob::Item::encode(bool away, const std::function<bool()> &stop) {
    if (fieldsWere) {
        if (stop && stop()) return false;
        std::optional<QByteArray> was = read ? read() : std::nullopt;
        read = {};
        auto out = was ? NoteCodec::withFields(std::move(*was), *fieldsWere, NoteHead(now)) : std::nullopt;
        if (out)
            bytes = std::move(*out);
        else
            failed = true;
        return true;
    }
    bool whole = true;
    if (reuse) {
        bytes.reserve(len + 256);
        const QByteArrayView was(source.tail().constData() + at, len); // a table's: never in a file
        whole = NoteCodec::encodeNoteUnless(bytes, now, stop,
                                            RowReuse(*old, oldRows, was, now), &rows);
    } else {
        // Nothing of the note it was is read: it goes first, so a note of tens of megabytes
        // is never held three times over (as it was, as it is, and its new bytes).
        letGoOfOld();
        // The text goes once written: a long note's text is not held beside its Base64 rich
        // text and its bytes (the store and a page that saved it hold none by then). Only a text
        // note's: a table's encode gives up between its rows, its note still whole.
        const auto textWritten = [this] { now.body = QString(); };
        whole = NoteCodec::encodeNoteUnless(bytes, now, stop, {}, &rows,
                                            away && now.rows.empty() ? textWritten : std::function<void()>());
    }
    if (!whole) {
        bytes = QByteArray();
        rows = {};
    }
    return whole;
}

// The preferences now hold the document (they took the write that changed the version from before):
// the store lets go of its copy. A write they did not take (frozen after a restore, closed) keeps it.
void NoteStore::letGoOfDocument(std::optional<quint64> before) {
    if (auto doc = stored_.handOver(Prefs::get(), before)) holdHanded(*doc);
}

QByteArray NoteStore::document() {
    finishLoad();
    settleEncodes();
    if (!stored_.isStored()) return stored_.held();
    auto stored = stored_.readBack(Prefs::get());
    if (!stored) return {};
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
                           : s.bytes.inFile()   ? ArrayElement{-1, 0, {}, &s.bytes}
                                                : ArrayElement{-1, 0, QByteArrayView(s.bytes.tail())});
    return elements;
}

// The changes the disk holds now need not be kept here any more. True while some are still waiting
// for the disk.
bool NoteStore::confirmSaved() const {
    const auto upTo = stored_.committedUpTo(Prefs::get());
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

void NoteStore::editLostAtQuit(const QString &title, const QDateTime &savedAt) {
    DataNotice n{QString::fromLatin1(kNotes), QString(), Prefs::get().path(),
                 DataNotice::Kind::editLostAtQuit};
    n.what = title;
    n.at = savedAt;
    DataNotices::get().add(n);
}

void NoteStore::startEncode(EncodeJobPtr job) {
    encodes_.push_back(job);
    // Taken now: the worker lets go of the notes as it goes.
    QStringList titles;
    for (const EncodeJob::Item &it : job->items)
        titles << it.now.title;
    // Quitting hands its bytes to the store before the database is closed. When no worker has taken
    // it up by the quit's deadline, they are made here instead (keep: the notes are the store's own
    // copies, whole), so that the save is written with the rest; one a worker is making is waited
    // for, never made again here.
    auto work = [job] {
        if (Background::hurried()) return; // asked first: from now on the quit waits for it
        for (EncodeJob::Item &it : job->items) {
            if (it.encoded) continue;
            if (!it.encode(true, [] { return Background::hurried(); })) return;
            it.letGo();
            it.encoded = true;
        }
        {
            std::lock_guard l(job->m);
            job->done = true;
        }
        job->ready.notify_all();
    };
    auto handBack = [this, job] {
        installEncoded(job);
        if (encodes_.empty() && savePending_) settleEncodes();
    };
    Background::start(this, work, handBack, {},
                      {QStringLiteral("a large note's save"), Background::AtQuit::handBack, {},
                       [titles, at = Clock::get().now()] {
                           for (const QString &title : titles)
                               editLostAtQuit(title, at);
                       },
                       [work, handBack] {
                           work();
                           handBack();
                           return true;
                       }});
}

// Waits for the job (until the deadline) and hands its bytes to the slots still waiting for them; a
// slot changed again meanwhile, removed or replaced takes nothing. False when the deadline came first.
bool NoteStore::installEncoded(const EncodeJobPtr &job, const Deadline *until) {
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
            NoteHead &head = heads_[i];
            head.emoji = was.emoji;
            head.title = was.title;
            head.modifiedInterval = was.modifiedInterval;
            if (item.context && item.told) QTimer::singleShot(0, item.context.data(), item.told);
            QTimer::singleShot(0, this, [this] { Notifier::get().post(QString::fromLatin1(Notify::notesChanged), this); });
            continue;
        }
        // Shared, not moved: a reader waiting for this encode (readBytesLater) takes them too.
        s.bytes = item.bytes;
        s.rows = std::move(item.rows);
    }
    return true;
}

bool NoteStore::installEncodes(const Deadline *until) {
    for (const EncodeJobPtr &job : std::vector(encodes_))
        if (!installEncoded(job, until)) return false;
    return true;
}

// Every note's bytes in place, and the save the encodes held back written.
void NoteStore::settleEncodes() {
    installEncodes();
    if (!savePending_) return;
    savePending_ = false;
    writeNow();
    scheduleTrim(); // notes held decoded only while their bytes were made
    watchConfirmed();
}

void NoteStore::writeNow() {
    if (stored_.isStored())
        saveBySplicing();
    else
        saveHeld();
}

// The document is held here (as loaded, or not taken by the preferences): the changed notes go in
// its place, or, when notes came or went, every note's bytes are joined into a new one.
void NoteStore::saveHeld() {
    if (!layoutChanged_ && stored_.held().size() >= 2) {
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
        stored_.spliceHeld(splices);
    } else {
        join();
    }
    for (Slot &s : slots_) {
        s.stored = true;
        s.dirty = false;
        if (!keepsBytes(s)) s.bytes = QByteArray(); // the document holds them
    }
    layoutChanged_ = false;
    const auto before = Prefs::get().version(stored_.key());
    saveDocument(stored_.key(), stored_.held());
    letGoOfDocument(before);
}

// The preferences hold the document: they get the changed notes (and the stretches where notes came
// or went) as splices, and the rest of the document is neither read nor copied here.
void NoteStore::saveBySplicing() {
    Prefs &p = Prefs::get();
    // Writes are not kept after a restore or an erase (the app quits next), nor after the final
    // commit: the changes stay here, as any write's would.
    if (p.isFrozen() || p.isClosed()) return;
    if (!stored_.isIn(p)) {
        qWarning("NoteStore: the stored notes were replaced underneath the store; not saved");
        return;
    }
    confirmSaved();
    std::vector<ArrayElement> elements = elementsNow();
    auto splices = layoutChanged_ ? arraySplices(elements, stored_.size()) : splicesInPlace(elements);
    const auto was = stored_.version();
    std::optional<quint64> now;
    if (splices && splices->empty() && stored_.isCurrentIn(p)) {
        now = was; // nothing changed: nothing written
    } else if (splices) {
        std::vector<PrefsSplice> handed = *splices;
        now = stored_.splice(p, std::move(*splices));
        if (now) followHanded(handed);
    }
    if (!now) {
        // The stored document is not the one this store let go of (another program wrote it): nothing
        // is written into it; it is read again, and the changes made here are kept aside.
        reloadReplaced();
        return;
    }
    const bool moved = now != was;
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
        if (!s.stored || s.span.at < end + 1 || s.span.len < 0 || s.span.at + s.span.len > stored_.size() - 1)
            return arraySplices(elements, stored_.size());
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
    stored_.hold(out);
}
