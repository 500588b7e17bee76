#include "platform/PrefsSplice.h"

#include <cstring>
#include <new>
#include <xxhash.h>

namespace {
bool fits(qint64 size, const PrefsSplice &s) {
    return s.at >= 0 && s.len >= 0 && s.at <= size && s.len <= size - s.at;
}

using Piece = PrefsPiece;

// The pieces covering [from, to) of the value the pieces make.
void take(const std::vector<Piece> &pieces, qint64 from, qint64 to, std::vector<Piece> &out) {
    qint64 pos = 0;
    for (const Piece &p : pieces) {
        const qint64 a = std::max(from, pos), b = std::min(to, pos + p.len);
        if (a < b) out.push_back(Piece{p.bytes, p.from + (a - pos), b - a});
        pos += p.len;
        if (pos >= to) break;
    }
}

// Puts splices on top of the pieces of a value of *size bytes. False when one does not fit.
bool addSplices(std::vector<Piece> &pieces, qint64 &size, const std::vector<PrefsSplice> &splices) {
    for (const PrefsSplice &s : splices) {
        if (!fits(size, s)) return false;
        std::vector<Piece> next;
        next.reserve(pieces.size() + 2);
        take(pieces, 0, s.at, next);
        if (!s.bytes.isEmpty()) next.push_back(Piece{&s.bytes, 0, s.bytes.size()});
        take(pieces, s.at + s.len, size, next);
        pieces = std::move(next);
        size += s.bytes.size() - s.len;
    }
    return true;
}

PrefsDigest fromHash(qint64 size, XXH128_hash_t h) {
    return PrefsDigest{size, quint64(h.low64), quint64(h.high64)};
}
} // namespace

// A hash with no seed of the process (Qt's qHash has one): digests are compared across sessions.
PrefsDigest PrefsDigest::of(QByteArrayView bytes) {
    return fromHash(bytes.size(), XXH3_128bits(bytes.data(), size_t(bytes.size())));
}

// The library's state is opaque here (its layout may change with the library's version).
struct PrefsDigest::Stream::State {
    XXH3_state_t *hash = XXH3_createState();
    qint64 size = 0;
    ~State() { XXH3_freeState(hash); }
};

PrefsDigest::Stream::Stream() : d_(std::make_unique<State>()) {
    if (!d_->hash) throw std::bad_alloc();
    XXH3_128bits_reset(d_->hash);
}

PrefsDigest::Stream::~Stream() = default;

void PrefsDigest::Stream::add(QByteArrayView bytes) {
    XXH3_128bits_update(d_->hash, bytes.data(), size_t(bytes.size()));
    d_->size += bytes.size();
}

PrefsDigest PrefsDigest::Stream::result() const {
    return fromHash(d_->size, XXH3_128bits_digest(d_->hash));
}

std::optional<std::vector<PrefsPiece>> splicePieces(qint64 size, const std::vector<PrefsSplice> &splices) {
    if (size < 0) return std::nullopt;
    std::vector<Piece> pieces;
    if (size > 0) pieces.push_back(Piece{nullptr, 0, size});
    if (!addSplices(pieces, size, splices)) return std::nullopt;
    return pieces;
}

bool applySplices(QByteArray &value, const std::vector<PrefsSplice> &splices) {
    for (const PrefsSplice &s : splices) {
        if (!fits(value.size(), s)) return false;
        // In the value's own buffer: only what follows moves, and a value of tens of megabytes needs
        // no second buffer (whose pages would all be fresh).
        const qint64 delta = s.bytes.size() - s.len;
        const qint64 tailAt = s.at + s.len;
        const qint64 tail = value.size() - tailAt;
        if (delta > 0) value.resize(value.size() + delta);
        char *p = value.data();
        std::memmove(p + tailAt + delta, p + tailAt, size_t(tail));
        if (!s.bytes.read(0, s.bytes.size(), p + s.at)) return false;
        if (delta < 0) value.truncate(value.size() + delta);
    }
    return true;
}

std::optional<qint64> splicedSize(qint64 size, const std::vector<PrefsSplice> &splices) {
    for (const PrefsSplice &s : splices) {
        if (!fits(size, s)) return std::nullopt;
        size += s.bytes.size() - s.len;
    }
    return size;
}

std::optional<QByteArray> readThroughSplices(
    quint64 heldUpTo, const std::vector<PrefsPendingSplices> &pending, qint64 at, qint64 len,
    const std::function<std::optional<QByteArray>(qint64 at, qint64 len)> &readDisk) {
    auto first = pending.begin();
    while (first != pending.end() && first->seq <= heldUpTo) ++first;
    if (first == pending.end()) return readDisk(at, len);
    std::vector<Piece> pieces{Piece{nullptr, 0, first->sizeBefore}};
    qint64 size = first->sizeBefore;
    for (auto it = first; it != pending.end(); ++it)
        if (!addSplices(pieces, size, it->splices)) return std::nullopt;
    if (len < 0) len = size - at;
    if (at < 0 || len < 0 || at > size || len > size - at) return std::nullopt;
    std::vector<Piece> wanted;
    take(pieces, at, at + len, wanted);
    QByteArray out;
    out.reserve(len);
    for (const Piece &p : wanted) {
        if (p.bytes) {
            if (!p.bytes->appendTo(out, p.from, p.len)) return std::nullopt;
            continue;
        }
        const auto disk = readDisk(p.from, p.len);
        if (!disk || disk->size() != p.len) return std::nullopt;
        out.append(*disk);
    }
    return out;
}

std::optional<std::vector<PrefsSplice>> arraySplices(std::vector<ArrayElement> &elements, qint64 storedSize) {
    std::vector<PrefsSplice> out;
    qint64 shift = 0;   // how far the new document has moved what follows so far
    qint64 gapFrom = 0; // where the stretch being rewritten starts in the stored document
    QByteArray put("[");
    // A stretch of one byte between two kept elements (or before the first, after the last) can only
    // be the ',' ('[', ']') that goes there again, and a document of two bytes only "[]": left as they are.
    const auto rewrite = [&](qint64 gapTo) {
        const qint64 gapLen = gapTo - gapFrom;
        const bool same = (gapLen == 1 && put.size() == 1) || (gapLen == 2 && storedSize == 2 && put == "[]");
        if (!same) {
            out.push_back(PrefsSplice{gapFrom + shift, gapLen, put});
            shift += put.size() - gapLen;
        }
        put.clear();
    };
    for (size_t i = 0; i < elements.size(); ++i) {
        ArrayElement &e = elements[i];
        if (i) put.append(',');
        if (e.at < 0 && e.spooled) {
            // Put in before the stored stretch being rewritten (which follows it once it is): what
            // came before it in this stretch, then its own bytes, as they lie.
            if (!put.isEmpty()) {
                out.push_back(PrefsSplice{gapFrom + shift, 0, put});
                shift += put.size();
                put.clear();
            }
            e.at = gapFrom + shift;
            e.len = e.spooled->size();
            if (e.len) out.push_back(PrefsSplice{e.at, 0, *e.spooled});
            shift += e.len;
            continue;
        }
        if (e.at < 0) {
            const qint64 at = gapFrom + shift + put.size();
            put.append(e.bytes.data(), e.bytes.size());
            e.at = at;
            e.len = e.bytes.size();
            continue;
        }
        if (e.at < gapFrom + 1 || e.len < 0 || e.at + e.len > storedSize - 1) return std::nullopt;
        const qint64 storedAt = e.at;
        rewrite(storedAt);
        e.at = storedAt + shift;
        gapFrom = storedAt + e.len;
    }
    put.append(']');
    if (storedSize < gapFrom + 1) return std::nullopt;
    rewrite(storedSize);
    return out;
}
