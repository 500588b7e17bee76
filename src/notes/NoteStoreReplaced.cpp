// The notes store when another program writes the stored notes while Mivo runs.
#include "notes/NoteStore.h"

#include "platform/DataNotices.h"
#include "platform/Keys.h"
#include "platform/Prefs.h"

void NoteStore::holdHanded(const QByteArray &doc) {
    handed_.hold(doc, Prefs::get().path());
}

void NoteStore::followHanded(const std::vector<PrefsSplice> &splices) {
    handed_.follow(splices);
}

std::optional<QByteArray> NoteStore::wholeAsHeld() const {
    std::optional<QByteArray> doc = handed_.read();
    if (!doc || doc->size() != stored_.size()) return std::nullopt;
    if (layoutChanged_ || std::any_of(slots_.begin(), slots_.end(), [](const Slot &s) { return s.dirty; })) {
        std::vector<ArrayElement> elements = elementsNow();
        const auto splices = arraySplices(elements, doc->size());
        if (!splices || !applySplices(*doc, *splices)) return std::nullopt;
    }
    return doc;
}

// Another program wrote the notes in place of the document this store let go of. What it wrote stays
// (it may hold notes this store never saw), and the store reads it again. Every note this store held,
// with the changes of this session, is kept aside as a notes document of its own, and the user is told
// where; only when the copy of the document handed over was lost (its file could not be written) are
// the changed notes all there is to keep.
void NoteStore::reloadReplaced() {
    Prefs &p = Prefs::get();
    // The changes still being encoded are kept aside with the others; none is written into what the
    // other program stored.
    installEncodes();
    savePending_ = false;
    confirmSaved(); // what the disk held before the other program wrote is no change of this session
    const bool changedHere =
        std::any_of(slots_.begin(), slots_.end(), [](const Slot &s) { return s.dirty || s.unconfirmed; });
    std::optional<QByteArray> kept = changedHere ? wholeAsHeld() : std::nullopt;
    auto kind = DataNotice::Kind::ownChangesKept;
    if (changedHere && !kept) {
        kind = DataNotice::Kind::ownChangedRecordsKept;
        QByteArray changed("[");
        int count = 0;
        for (const Slot &s : slots_) {
            if (!s.dirty && !s.unconfirmed) continue;
            QByteArray bytes = s.bytes.whole().value_or(QByteArray());
            if (bytes.isEmpty() && s.note && !s.lent) NoteCodec::encodeNote(bytes, *s.note, {}, nullptr);
            if (bytes.isEmpty()) continue;
            if (count++) changed.append(',');
            changed.append(bytes);
        }
        changed.append(']');
        if (count) kept = std::move(changed);
    }
    if (kept) {
        const QString aside = p.keepAsideData(stored_.key(), *kept);
        if (!aside.isEmpty())
            DataNotices::get().add({stored_.key(), aside, p.path(), kind});
        else
            qWarning("NoteStore: the notes changed here could not be kept aside");
    } else {
        // Nothing of ours to keep, but the list the user sees becomes another one: they are told.
        DataNotices::get().add(
            {stored_.key(), QString(), p.path(), DataNotice::Kind::otherProgramsValueInUse});
    }
    heads_.clear();
    slots_.clear();
    stored_.forget();
    handed_.clear();
    startLoad(true);
}
