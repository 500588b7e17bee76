#pragma once
#include "platform/PrefsSplice.h"
#include <QByteArray>
#include <QMetaObject>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class Prefs;
class QObject;

// A store's document and where it lives: the key it is saved under and, once a preferences domain has
// taken a write of it, which domain holds it, which write of the store's left it there (its version)
// and how large it was then. Till then (as loaded, or a write the domain did not take) the store may
// keep its bytes here. The store reads the stored document back, splices into it and takes it back
// only through here, and only from the domain that took it: another one installed since (a restore, a
// test's) answers for none of it.
class StoredDocument {
public:
    explicit StoredDocument(QString key = {}) : key_(std::move(key)) {}
    // Handlers made by onReplaced() refer to it where it is.
    StoredDocument(const StoredDocument &) = delete;
    StoredDocument &operator=(const StoredDocument &) = delete;

    const QString &key() const { return key_; }
    void setKey(const QString &key) { key_ = key; }

    // Whether a domain holds the document as the store's last write left it (the store let go of it).
    bool isStored() const { return version_.has_value(); }
    // Whether p is that domain.
    bool isIn(const Prefs &p) const { return version_ && &p == in_; }
    // Whether p holds it and nothing has been written under the key since.
    bool isCurrentIn(const Prefs &p) const;
    // The write that left it there, and its size then.
    std::optional<quint64> version() const { return version_; }
    qint64 size() const { return size_; }

    // The bytes kept here while no domain holds the document; empty once one does.
    const QByteArray &held() const { return held_; }
    // The store holds these bytes as its document from now on: no domain holds it for the store.
    void hold(QByteArray bytes);
    // Changes the bytes held here in their own buffer. False (bytes then undefined) when a splice does
    // not lie inside them.
    bool spliceHeld(const std::vector<PrefsSplice> &splices);

    // After a whole write of a document of size bytes (before: the key's version before it): true when
    // p took it (the version moved on), and p holds the document from now on. A write p did not take
    // (frozen after a restore, closed) leaves everything as it was.
    bool tookWrite(Prefs &p, std::optional<quint64> before, qint64 size);
    // tookWrite() of the bytes held here: once p took them, they are no longer kept here, and are
    // handed back to the caller.
    std::optional<QByteArray> handOver(Prefs &p, std::optional<quint64> before);
    // Puts the splices into the document p holds (only while it holds exactly the store's last write):
    // the version of the new document, whose size the splices give; nothing when p did not take them.
    std::optional<quint64> splice(Prefs &p, std::vector<PrefsSplice> splices);

    // The whole document as the store's last write left it, read back from p; nothing when p does not
    // hold it or it cannot be read as written (another program wrote it, or not all of it came back).
    std::optional<QByteArray> readBack(const Prefs &p) const;
    // len bytes of it from at, read back from p; nothing when p no longer holds that write.
    std::optional<QByteArray> readRange(const Prefs &p, qint64 at, qint64 len) const;
    // The same to be read later on any thread (a worker); the store must be stored in p.
    std::function<std::optional<QByteArray>()> readRangeLater(const Prefs &p, qint64 at, qint64 len) const;
    // Every write of the store's up to the one returned is on disk (Prefs::committedUpTo); nothing
    // when p does not hold the document.
    std::optional<quint64> committedUpTo(const Prefs &p) const;

    // The document is no longer the store's in any domain, and nothing is held here.
    void forget();

    // Calls replaced on p's thread, while context exists, whenever p finds another program's value in
    // place of the document it holds for the store.
    QMetaObject::Connection onReplaced(Prefs &p, const QObject *context,
                                       std::function<void()> replaced) const;

private:
    QString key_;
    QByteArray held_;
    std::optional<quint64> version_; // the store's last write, while a domain holds it
    const Prefs *in_ = nullptr;      // the domain that holds it
    qint64 size_ = 0;
};
