#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include "platform/SpooledBytes.h"
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// A change to part of a large stored value: len bytes at at are replaced by bytes. In a list of
// splices each applies to the value as the ones before it left it. A store that changes a few records
// of a document of tens of megabytes hands over only these: the writer puts them into the stored
// value on its own thread, and the rest of the value is never read, copied or handed around on the
// window's thread.
struct PrefsSplice {
    qint64 at = 0;
    qint64 len = 0;
    SpooledBytes bytes; // a record of tens of megabytes lies in a file, read by stretches
};

// Applies splices to value in place. False (value then undefined) when one does not lie inside it.
bool applySplices(QByteArray &value, const std::vector<PrefsSplice> &splices);
// The size a value of size `size` has once splices are applied; nothing when one does not fit.
std::optional<qint64> splicedSize(qint64 size, const std::vector<PrefsSplice> &splices);

// The splices of one write, not yet known to be on disk.
struct PrefsPendingSplices {
    quint64 seq = 0;      // the write that made them
    qint64 sizeBefore = 0; // of the value they apply to
    std::vector<PrefsSplice> splices;
};

// A stretch of the value splices make: bytes of the value they were made for, or of a splice.
struct PrefsPiece {
    const SpooledBytes *bytes = nullptr; // null: of the value before, at from
    qint64 from = 0;
    qint64 len = 0;
};

// The stretches, in order, that make a value of size `size` once splices are applied (they point into
// splices); nothing when one does not fit. What applySplices makes, without a buffer of the whole.
std::optional<std::vector<PrefsPiece>> splicePieces(qint64 size, const std::vector<PrefsSplice> &splices);

// What tells a stored value's exact bytes from any others: their size and a 128-bit hash of them, so
// a value another program wrote in its place is told apart, also when it has the same size. The same
// in every process: a digest kept in a file at quit still tells the value at the next start.
struct PrefsDigest {
    qint64 size = -1;
    quint64 a = 0, b = 0;
    static PrefsDigest of(QByteArrayView bytes);
    bool operator==(const PrefsDigest &) const = default;

    // The digest of bytes handed over a stretch at a time, in order: the same as of() of them all, so
    // a value of any size is digested without holding it.
    class Stream {
    public:
        Stream();
        ~Stream();
        Stream(const Stream &) = delete;
        Stream &operator=(const Stream &) = delete;
        void add(QByteArrayView bytes);
        PrefsDigest result() const;

    private:
        struct State;
        std::unique_ptr<State> d_;
    };
};

// The digest of a data value as this session last wrote it (or loaded it): what splices made since
// were made for. checked: the stored value was seen to be that one in the writer's last transaction
// (it wrote or compared it) and no other connection has committed since, so it need not be read to
// know it.
struct PrefsKnown {
    PrefsDigest digest;
    bool checked = false;
};

// Reads [at, at + len) (len < 0: to the end) of a value whose newest form is its bytes on disk with the
// pending splices that the disk does not hold yet on top. readDisk(at, len) reads from the stored
// value, len < 0 to its end (nothing when it cannot); the disk holds every write up to heldUpTo, and
// every read of it must come from the same snapshot. Pending splices may be a stale list: those the
// disk holds are left out.
std::optional<QByteArray> readThroughSplices(
    quint64 heldUpTo, const std::vector<PrefsPendingSplices> &pending, qint64 at, qint64 len,
    const std::function<std::optional<QByteArray>(qint64 at, qint64 len)> &readDisk);

// One element of a JSON array document as it is to be: either kept where it lies in the stored
// document (at, len) or new bytes.
struct ArrayElement {
    qint64 at = -1; // >= 0: kept; its bytes are stored at [at, at + len)
    qint64 len = 0;
    QByteArrayView bytes; // the new bytes, when not kept
    // The new bytes when they lie in a file (bytes is then not read): inserted by a splice of their
    // own, never copied into the stretch around them.
    const SpooledBytes *spooled = nullptr;
};

// The splices that turn a stored array document of storedSize bytes into
// '[' + the elements joined by ',' + ']', kept elements in ascending stored order. Only the stretches
// between kept elements are rewritten (a stored document's own spacing there goes). On return every
// element's at and len say where it lies in the new document. Nothing when the kept elements are
// not in ascending order or do not lie inside the document.
std::optional<std::vector<PrefsSplice>> arraySplices(std::vector<ArrayElement> &elements, qint64 storedSize);
