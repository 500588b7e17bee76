#include "platform/PrefsSplice.h"

#include <QHash>
#include <cstring>

namespace {
bool fits(qint64 size, const PrefsSplice &s) {
    return s.at >= 0 && s.len >= 0 && s.at <= size && s.len <= size - s.at;
}

// A stretch of the newest value: bytes on disk, or bytes of a splice.
struct Piece {
    const QByteArray *bytes = nullptr; // null: on disk
    qint64 from = 0;
    qint64 len = 0;
};

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
} // namespace

PrefsDigest PrefsDigest::of(QByteArrayView bytes) {
    // Two seeds: two independent hashes of the bytes, each as fast as a copy of them.
    return PrefsDigest{bytes.size(), quint64(qHash(bytes, size_t(0x9e3779b97f4a7c15ull))),
                       quint64(qHash(bytes, size_t(0xc2b2ae3d27d4eb4full)))};
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
        std::memcpy(p + s.at, s.bytes.constData(), size_t(s.bytes.size()));
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
        for (const PrefsSplice &s : it->splices) {
            if (!fits(size, s)) return std::nullopt;
            std::vector<Piece> next;
            take(pieces, 0, s.at, next);
            if (!s.bytes.isEmpty()) next.push_back(Piece{&s.bytes, 0, s.bytes.size()});
            take(pieces, s.at + s.len, size, next);
            pieces = std::move(next);
            size += s.bytes.size() - s.len;
        }
    if (len < 0) len = size - at;
    if (at < 0 || len < 0 || at > size || len > size - at) return std::nullopt;
    std::vector<Piece> wanted;
    take(pieces, at, at + len, wanted);
    QByteArray out;
    out.reserve(len);
    for (const Piece &p : wanted) {
        if (p.bytes) {
            out.append(p.bytes->constData() + p.from, p.len);
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
