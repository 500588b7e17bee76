#pragma once
#include "platform/DataNotices.h"
#include "platform/EncodedRecords.h"
#include "platform/Prefs.h"
#include "platform/StoreLoader.h"
#include <QByteArray>
#include <QString>
#include <algorithm>
#include <functional>
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
// Prefs drops its own copy of a document's bytes once a store holds the records decoded.
template <class P>
void releaseBytes(P &prefs, const QString &key) {
    if constexpr (requires { prefs.releaseBytes(key); }) prefs.releaseBytes(key);
}

// The unreadable document is copied aside, once, and told to the user.
inline void keepAside(const QString &key, DocumentLoad &r, Prefs &prefs) {
    bool madeNew = false;
    r.keptAsideKey = prefs.keepAside(key, &madeNew);
    if (madeNew) DataNotices::get().add({key, r.keptAsideKey, prefs.path()});
}
} // namespace DocumentDetail

template <class T>
T loadDocument(const QString &key, const std::function<std::optional<T>(const QByteArray &)> &decode,
               DocumentLoad *report = nullptr, Prefs &prefs = Prefs::get()) {
    DocumentLoad r;
    T out{};
    if (prefs.contains(key) || prefs.hasForeignRow(key)) {
        r.existed = true;
        std::optional<T> got;
        // A document stored as anything but data is unreadable too.
        if (auto v = prefs.value(key); v && std::holds_alternative<QByteArray>(*v))
            got = decode(prefs.data(key));
        if (got) {
            r.decoded = true;
            out = std::move(*got);
        } else {
            DocumentDetail::keepAside(key, r, prefs);
        }
    }
    if (report) *report = r;
    return out;
}

// Documents up to this size are decoded at once, on the calling thread: it costs a millisecond or two.
inline constexpr qsizetype kDecodeAtOnceBytes = 256 * 1024;

// loadDocument for a store that is created at launch: a large document is decoded on a worker thread
// (StoreLoader), and ready() runs on the window's thread with the records (or, for an unreadable
// document, kept aside as above, with a default R) and the report. decode runs on the worker and must
// be safe there: it sees nothing but the bytes. It may do more than decode (a store encodes its
// records once, so its saves can re-encode only what changed). ready() runs before this returns when
// the document was decoded at once, and the result is null; otherwise the store keeps the job and
// finishes it (StoreLoader::finish) before any access to its records.
template <class R>
StoreLoader::JobPtr loadDocumentAsync(const QString &key,
                                      std::function<std::optional<R>(const QByteArray &)> decode,
                                      std::function<void(R &&, const DocumentLoad &)> ready,
                                      Prefs &prefs = Prefs::get()) {
    DocumentLoad r;
    const auto v = prefs.contains(key) ? prefs.value(key) : std::nullopt;
    if (!v && !prefs.hasForeignRow(key)) {
        ready(R{}, r);
        return nullptr;
    }
    r.existed = true;
    const bool isData = v && std::holds_alternative<QByteArray>(*v);
    const QByteArray bytes = isData ? std::get<QByteArray>(*v) : QByteArray();
    auto settle = [key, ready, r, &prefs](std::optional<R> &&got) mutable {
        if (got) {
            r.decoded = true;
            ready(std::move(*got), r);
            DocumentDetail::releaseBytes(prefs, key);
        } else {
            DocumentDetail::keepAside(key, r, prefs);
            ready(R{}, r);
        }
    };
    if (!isData || bytes.size() < kDecodeAtOnceBytes) {
        settle(isData ? decode(bytes) : std::nullopt);
        return nullptr;
    }
    auto result = std::make_shared<std::optional<R>>();
    return StoreLoader::get().start(
        key, [result, bytes, decode] { *result = decode(bytes); },
        [result, settle]() mutable { settle(std::move(*result)); });
}

// Saves a document's bytes under key (committed with the writes of this event-loop turn).
inline void saveDocument(const QString &key, const QByteArray &bytes, Prefs &prefs = Prefs::get()) {
    prefs.setData(key, bytes);
}

// A store's list of records with its document: loaded through loadDocumentAsync, kept encoded record
// by record (EncodedRecords), so a save re-encodes only what changed. Every read finishes the load
// first. The store changes its records only through the calls below, which keep the two in step.
template <class T, void (*Encode)(QByteArray &, const T &)>
class RecordDocument {
public:
    using Decode = std::optional<std::vector<T>> (*)(const QByteArray &);
    RecordDocument() = default;
    RecordDocument(const RecordDocument &) = delete;
    RecordDocument &operator=(const RecordDocument &) = delete;
    ~RecordDocument() {
        if (job_) StoreLoader::get().abandon(job_);
    }

    void load(const QString &key, Decode decode, Prefs &prefs = Prefs::get()) {
        key_ = key;
        struct Loaded {
            std::vector<T> records;
            EncodedRecords<T, Encode> encoded;
        };
        job_ = loadDocumentAsync<Loaded>(
            key,
            [decode](const QByteArray &bytes) -> std::optional<Loaded> {
                auto got = decode(bytes);
                if (!got) return std::nullopt;
                Loaded l{std::move(*got), {}};
                l.encoded.rebuild(l.records);
                l.encoded.share(bytes);
                return l;
            },
            [this](Loaded &&l, const DocumentLoad &r) {
                records_ = std::move(l.records);
                encoded_ = std::move(l.encoded);
                report_ = r;
                job_ = nullptr;
            },
            prefs);
    }
    bool isLoaded() const { return !job_; }
    void finishLoad() const {
        if (job_) StoreLoader::get().finish(job_);
    }

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
    QByteArray document() {
        finishLoad();
        return encoded_.document(records_);
    }
    // Writes the document under the key it was loaded from.
    void save(Prefs &prefs = Prefs::get()) { saveDocument(key_, document(), prefs); }

private:
    QString key_;
    std::vector<T> records_;
    EncodedRecords<T, Encode> encoded_;
    DocumentLoad report_;
    StoreLoader::JobPtr job_;
};

