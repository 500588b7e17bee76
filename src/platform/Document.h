#pragma once
#include "platform/DataNotices.h"
#include "platform/EncodedRecords.h"
#include "platform/Prefs.h"
#include "platform/StoreLoader.h"
#include "platform/StoredDocument.h"
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

// Loading a store's JSON document from the preferences domain. A document that is stored but cannot
// be decoded (bytes that do not decode, a value of another type, a row of a type the app does not
// know) is copied aside (Prefs::keepAside) before anything else happens, so the store's first save
// cannot destroy the user's records; the store then starts empty, and a notice is left for the app
// to tell the user once (DataNotices). A document that stays unreadable is kept, and told, once.
struct DocumentLoad {
    bool existed = false; // something was stored under the key
    bool decoded = false; // and it decoded
    QString keptAsideKey; // where the unreadable bytes were copied
};

namespace DocumentDetail {
// The unreadable document is copied aside, once, and told to the user.
inline void keepAside(const QString &key, DocumentLoad &r, Prefs &prefs) {
    bool madeNew = false;
    r.keptAsideKey = prefs.keepAside(key, &madeNew);
    if (madeNew) DataNotices::get().add({key, r.keptAsideKey, prefs.path()});
}
} // namespace DocumentDetail

// The one way a document is loaded. Whether anything is stored under key is looked up here, in
// memory; the bytes are read and decoded on a worker (StoreLoader), bytes held on disk through a
// read-only connection of the worker's own, so the window's thread neither reads nor decodes. ready()
// then runs on the window's thread with the records, or, for an unreadable document (kept aside as
// above), with a default R, and the report. decode runs on the worker and must be safe there: it sees
// nothing but the bytes. It may do more than decode (a store encodes its records once, so its saves
// can re-encode only what changed). With nothing stored, ready() runs before this returns and the
// result is null; otherwise the caller keeps the job and finishes it (StoreLoader::finish) before any
// access to what ready() fills, and abandons it when it goes away first.
template <class R>
StoreLoader::JobPtr
loadDocument(const QString &key, std::function<std::optional<R>(const QByteArray &)> decode,
             std::function<void(R &&, const DocumentLoad &)> ready, Prefs &prefs = Prefs::get()) {
    DocumentLoad r;
    if (!prefs.contains(key) && !prefs.hasForeignRow(key)) {
        ready(R{}, r);
        return nullptr;
    }
    r.existed = true;
    auto result = std::make_shared<std::optional<R>>();
    // The digest of the bytes decoded: the store's splices go only into exactly these.
    auto digest = std::make_shared<PrefsDigest>();
    auto work = [result, digest, read = prefs.readLater(key), decode = std::move(decode)] {
        // A document stored as anything but data is unreadable too.
        const std::optional<Prefs::Value> v = read();
        if (const auto *bytes = v ? std::get_if<QByteArray>(&*v) : nullptr) {
            *result = decode(*bytes);
            if (*result) *digest = PrefsDigest::of(*bytes);
        }
    };
    auto install = [key, r, result, digest, version = prefs.version(key), ready = std::move(ready),
                    prefs = QPointer<Prefs>(&prefs)]() mutable {
        if (*result) {
            r.decoded = true;
            if (prefs && version) prefs->recordLoaded(key, *version, *digest);
            ready(std::move(**result), r);
            // The store holds the document now: the preferences need not keep its bytes in memory.
            if (prefs) prefs->releaseBytes(key);
        } else {
            if (prefs) DocumentDetail::keepAside(key, r, *prefs);
            ready(R{}, r);
        }
        result->reset();
    };
    return StoreLoader::get().start(key, std::move(work), std::move(install));
}

// loadDocument for a caller that needs the document before it goes on: the same load, finished at
// once. report, when given, receives what happened.
template <class T>
T loadDocumentNow(const QString &key, std::function<std::optional<T>(const QByteArray &)> decode,
                  DocumentLoad *report = nullptr, Prefs &prefs = Prefs::get()) {
    T out{};
    auto job = loadDocument<T>(
        key, std::move(decode),
        [&](T &&got, const DocumentLoad &r) {
            out = std::move(got);
            if (report) *report = r;
        },
        prefs);
    StoreLoader::get().finish(job);
    return out;
}

// A store's load while it runs: every use of the store calls wait() first; a store that goes away
// before its load is in place drops it.
class PendingLoad {
public:
    PendingLoad() = default;
    PendingLoad(const PendingLoad &) = delete;
    PendingLoad &operator=(const PendingLoad &) = delete;
    ~PendingLoad() {
        if (job_) StoreLoader::get().abandon(job_);
    }
    void operator=(StoreLoader::JobPtr job) { job_ = std::move(job); }
    // The load is in place (ready() has run).
    bool done() const { return !job_; }
    void wait() const {
        if (job_) StoreLoader::get().finish(job_);
    }
    // Called from ready(): the job is over.
    void clear() { job_ = nullptr; }

private:
    StoreLoader::JobPtr job_;
};

// Saves a document's bytes under key (committed with the writes of this event-loop turn).
inline void saveDocument(const QString &key, const QByteArray &bytes, Prefs &prefs = Prefs::get()) {
    prefs.setData(key, bytes);
}

// A store's list of records with its document: loaded through loadDocument, the records held
// decoded, the document's bytes held by the preferences (a save hands them the changed records as
// splices, EncodedRecords), so a save encodes only what changed and reads nothing back. Every read finishes the
// load first. The store changes its records only through the calls below, which keep the two in step.
template <class T, void (*Encode)(QByteArray &, const T &)>
class RecordDocument {
public:
    using Decode = std::optional<std::vector<T>> (*)(const QByteArray &);
    RecordDocument() = default;
    RecordDocument(const RecordDocument &) = delete;
    RecordDocument &operator=(const RecordDocument &) = delete;

    void load(const QString &key, Decode decode, Prefs &prefs = Prefs::get()) {
        stored_.setKey(key);
        // Another program wrote the document in place of the last one saved: the records, all held
        // here, are saved whole at once (the other program's value is kept aside as that write
        // replaces it), so the user's changes reach the disk even when nothing else changes.
        watch_ = std::make_unique<QObject>();
        stored_.onReplaced(prefs, watch_.get(), [this, p = &prefs] { save(*p); });
        struct Loaded {
            std::vector<T> records;
            EncodedRecords<T, Encode> encoded;
            bool asStored = false; // the records encode to the stored bytes exactly
        };
        load_ = loadDocument<Loaded>(
            key,
            [decode](const QByteArray &bytes) -> std::optional<Loaded> {
                auto got = decode(bytes);
                if (!got) return std::nullopt;
                Loaded l{std::move(*got), {}};
                l.asStored = l.encoded.adopt(bytes, l.records);
                if (!l.asStored) l.encoded.rebuild(l.records);
                return l;
            },
            [this, prefs = QPointer<Prefs>(&prefs)](Loaded &&l, const DocumentLoad &r) {
                records_ = std::move(l.records);
                encoded_ = std::move(l.encoded);
                report_ = r;
                if (l.asStored && prefs) letGo(*prefs, std::nullopt);
                load_.clear();
            },
            prefs);
    }
    bool isLoaded() const { return load_.done(); }
    void finishLoad() const { load_.wait(); }

    const std::vector<T> &records() const {
        finishLoad();
        return records_;
    }
    const DocumentLoad &report() const {
        finishLoad();
        return report_;
    }
    // The first record matching pred, to be changed by the caller, who then calls changed(); null when none.
    template <class Pred>
    T *findFirst(Pred pred) {
        finishLoad();
        auto it = std::find_if(records_.begin(), records_.end(), pred);
        return it == records_.end() ? nullptr : &*it;
    }
    void changed(const T *record) { encoded_.changed(std::size_t(record - records_.data())); }
    void append(T record) {
        finishLoad();
        records_.push_back(std::move(record));
        encoded_.appended();
    }
    template <class Pred>
    std::size_t eraseIf(Pred pred) {
        finishLoad();
        return encoded_.eraseIf(records_, pred);
    }
    void replace(std::vector<T> records) {
        finishLoad();
        records_ = std::move(records);
        encoded_.replaced(records_.size());
    }
    // The whole document, as encoding every record gives it.
    QByteArray document(Prefs &prefs = Prefs::get()) {
        finishLoad();
        takeBack(prefs);
        return encoded_.document(records_);
    }
    // Writes the document under the key it was loaded from. While the preferences hold the last one,
    // they get only the changed records (splices): its bytes are neither read back nor copied here.
    void save(Prefs &prefs = Prefs::get()) {
        finishLoad();
        if (stored_.isCurrentIn(prefs) && !prefs.isFrozen() && !prefs.isClosed())
            if (auto splices = encoded_.splices(records_, stored_.size())) {
                if (splices->empty()) return; // nothing changed
                if (stored_.splice(prefs, std::move(*splices))) {
                    encoded_.spliced();
                    return;
                }
            }
        const QByteArray doc = document(prefs);
        const auto before = prefs.version(stored_.key());
        saveDocument(stored_.key(), doc, prefs);
        letGo(prefs, before);
    }

private:
    // The preferences now hold the last document (they took the write that moved the version on from
    // before): its bytes are read back from them at the next save instead of being held twice.
    void letGo(Prefs &prefs, std::optional<quint64> before) {
        if (stored_.tookWrite(prefs, before, encoded_.lastDocument().size())) encoded_.forget();
    }
    void takeBack(Prefs &prefs) {
        if (!stored_.isStored()) return;
        // Replaced underneath (a restore, another program), or not read back whole: the records are
        // all here, and are encoded anew.
        if (auto bytes = stored_.readBack(prefs)) encoded_.restore(*bytes);
        stored_.forget();
    }

    std::vector<T> records_;
    EncodedRecords<T, Encode> encoded_;
    DocumentLoad report_;
    StoredDocument stored_;          // the key, and the last document while the preferences hold it
    std::unique_ptr<QObject> watch_; // receives the preferences' news of the stored document
    PendingLoad load_; // last: dropped before the records it would fill
};

