#pragma once
#include "platform/DataNotices.h"
#include "platform/Prefs.h"
#include <QByteArray>
#include <QString>
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
            bool madeNew = false;
            r.keptAsideKey = prefs.keepAside(key, &madeNew);
            if (madeNew) DataNotices::get().add({key, r.keptAsideKey, prefs.path()});
        }
    }
    if (report) *report = r;
    return out;
}

// Saves a document's bytes under key (committed with the writes of this event-loop turn).
inline void saveDocument(const QString &key, const QByteArray &bytes, Prefs &prefs = Prefs::get()) {
    prefs.setData(key, bytes);
}
