#pragma once
#include "platform/PrefsBatch.h"
#include <QString>
#include <QStringList>

class Deadline;
#include <optional>
#include <vector>

// The changes the final commit at quit could not write (another program held the database), kept in a
// file of their own beside it until the next start writes them. Each value is whole, with the digest of
// the stored data value it replaces as this session knew it: where another program has written the
// value since, that value is kept aside before ours replaces it, as any whole write of ours does.
struct UnsavedAtQuit {
    struct Edit {
        QString key;
        std::optional<PrefsValue> value; // nothing: the key was removed
        std::optional<PrefsDigest> base; // the stored data value the change was made over, when known
        // A data value given in the parts it is made of (value is unset then): the file holds them
        // joined, as it would hold the whole value.
        std::vector<QByteArray> parts = {};
    };
    bool clear = false; // the whole domain was erased before the edits
    std::vector<Edit> edits;

    static QString pathFor(const QString &database);
    // Written whole or not at all, with its checksum, never through a link (AtomicFile's side
    // files). False, with why in *error, when it could not be.
    // With by, not past that deadline: a write it cuts short leaves no file (nor what was there before
    // changed).
    bool write(const QString &path, QString *error, const Deadline *by = nullptr) const;
    // Nothing when there is no such file or it is not whole and ours (*unreadable says which: then
    // nothing of it may be applied, not even a part).
    // seemedToHold: when unreadable, the keys that can still be made out in it (to name to the user
    // what was not applied; a bit flipped in one may give a name of nothing stored).
    static std::optional<UnsavedAtQuit> read(const QString &path, bool *unreadable = nullptr,
                                             QStringList *seemedToHold = nullptr);
    // Whether the user changed anything here (not only the timer's own position).
    bool holdsUserChanges() const;

    QByteArray encode() const;
    // encode()'s bytes, in parts (write() puts them in the file one after another).
    std::vector<QByteArray> encodeParts() const;
    static std::optional<UnsavedAtQuit> decode(const QByteArray &bytes);
};
