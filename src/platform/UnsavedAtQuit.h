#pragma once
#include "platform/PrefsBatch.h"
#include <QString>
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
    };
    bool clear = false; // the whole domain was erased before the edits
    std::vector<Edit> edits;

    static QString pathFor(const QString &database);
    // Written whole or not at all, with its checksum, never through a link (AtomicFile's side
    // files). False, with why in *error, when it could not be.
    bool write(const QString &path, QString *error) const;
    // Nothing when there is no such file or it is not whole and ours (*unreadable says which: then
    // nothing of it may be applied, not even a part).
    static std::optional<UnsavedAtQuit> read(const QString &path, bool *unreadable = nullptr);
    // Whether the user changed anything here. The timer's own position (its phase, time left, when
    // that was saved, running, cycle) is written by the timer itself every few seconds and at every
    // quit: kept and written again like the rest, but not a change of the user's to tell about.
    bool holdsUserChanges() const;

    QByteArray encode() const;
    static std::optional<UnsavedAtQuit> decode(const QByteArray &bytes);
};
