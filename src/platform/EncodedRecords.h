#pragma once
#include "platform/PrefsSplice.h"
#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <vector>

// A store document kept encoded, record by record, so a save re-encodes only the records changed
// since the last one: the document is the join of the records' bytes, '[' a ',' b … ']', exactly what
// encoding the whole list gives. The store tells it of every change to its list, in step with the
// list; document() then copies the unchanged records' bytes and encodes the rest.
//
// Encode appends one record's JSON object to a byte array.
template <class T, void (*Encode)(QByteArray &, const T &)>
class EncodedRecords {
public:
    // Every record encoded anew (after a load, off the window's thread, or a replace of the list).
    void rebuild(const std::vector<T> &records) {
        spans_.assign(records.size(), Span{});
        doc_.clear();
        document(records);
    }
    // Takes bytes as the last document when they are exactly what encoding records gives, each
    // record's place in them found on the way (a load: the stored document is not encoded whole a
    // second time and compared, and not copied); false, with nothing changed, when they differ.
    bool adopt(const QByteArray &bytes, const std::vector<T> &records) {
        std::vector<Span> spans(records.size());
        const char *const p = bytes.constData();
        const qsizetype n = bytes.size();
        if (n < 2 || p[0] != '[') return false;
        qsizetype at = 1;
        QByteArray one;
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (i && (at >= n || p[at++] != ',')) return false;
            one.resize(0); // keeps its room for the next record
            Encode(one, records[i]);
            if (one.size() > n - at || std::memcmp(p + at, one.constData(), size_t(one.size())) != 0) return false;
            spans[i] = Span{at, one.size()};
            at += one.size();
        }
        if (at != n - 1 || p[at] != ']') return false;
        doc_ = bytes;
        spans_ = std::move(spans);
        forgotten_ = false;
        return true;
    }
    // The records are replaced: encoded at the next document().
    void replaced(std::size_t count) { spans_.assign(count, Span{}); }
    void changed(std::size_t i) {
        if (i < spans_.size()) spans_[i] = Span{};
    }
    void appended() { spans_.push_back(Span{}); }
    // Removes the records matching pred from the list and their bytes with them; how many went.
    template <class Pred>
    std::size_t eraseIf(std::vector<T> &records, Pred pred) {
        std::size_t out = 0;
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (pred(records[i])) continue;
            if (out != i) {
                records[out] = std::move(records[i]);
                spans_[out] = spans_[i];
            }
            ++out;
        }
        const std::size_t gone = records.size() - out;
        records.resize(out);
        spans_.resize(out);
        return gone;
    }

    // The whole document for records (which must be the list these calls followed).
    QByteArray document(const std::vector<T> &records) {
        // Out of step, or the old bytes are not at hand: all anew.
        if (spans_.size() != records.size() || forgotten_) spans_.assign(records.size(), Span{});
        forgotten_ = false;
        QByteArray out;
        out.reserve(doc_.size() + 64);
        out.append('[');
        // Runs of unchanged records that lay side by side are copied in one go.
        qsizetype runAt = -1, runLen = 0;
        auto flush = [&] {
            if (runLen) out.append(doc_.constData() + runAt, runLen);
            runAt = -1;
            runLen = 0;
        };
        for (std::size_t i = 0; i < records.size(); ++i) {
            Span &s = spans_[i];
            if (s.at >= 0 && runLen && s.at == runAt + runLen + 1) {
                // Follows the run in the old document too, with its ',' in between.
                const qsizetype newAt = out.size() + runLen + 1;
                runLen += 1 + s.len;
                s.at = newAt;
                continue;
            }
            flush();
            if (i) out.append(',');
            if (s.at >= 0) {
                runAt = s.at;
                runLen = s.len;
                s.at = out.size();
            } else {
                const qsizetype at = out.size();
                Encode(out, records[i]);
                s = Span{at, out.size() - at};
            }
        }
        flush();
        out.append(']');
        doc_ = out;
        return out;
    }
    // The bytes of the last document(); empty before the first, and while forgotten.
    const QByteArray &lastDocument() const { return doc_; }
    // Someone else holds the last document from now on (the preferences): its bytes go here. Handed
    // back with restore() before the next document(), the unchanged records' bytes are copied from
    // it; without that, every record is encoded anew.
    void forget() {
        doc_ = QByteArray();
        forgotten_ = true;
    }
    // bytes must be exactly the last document().
    void restore(const QByteArray &bytes) {
        doc_ = bytes;
        forgotten_ = false;
    }
    // While forgotten: the splices that make the stored document (the last document(), storedSize
    // bytes) the document of records, without its bytes: unchanged records stay where they lie, the
    // rest are encoded. Nothing when that cannot be (out of step). Once the splices are taken,
    // spliced() says so and the records' places follow the new document, its size given.
    std::optional<std::vector<PrefsSplice>> splices(const std::vector<T> &records, qint64 storedSize) {
        if (!forgotten_ || spans_.size() != records.size()) return std::nullopt;
        QByteArray fresh;
        std::vector<Span> freshAt(records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (spans_[i].at >= 0) continue;
            const qsizetype at = fresh.size();
            Encode(fresh, records[i]);
            freshAt[i] = Span{at, fresh.size() - at};
        }
        std::vector<ArrayElement> elements(records.size());
        for (std::size_t i = 0; i < records.size(); ++i)
            elements[i] = spans_[i].at >= 0
                              ? ArrayElement{spans_[i].at, spans_[i].len, {}}
                              : ArrayElement{-1, 0, QByteArrayView(fresh.constData() + freshAt[i].at, freshAt[i].len)};
        auto out = arraySplices(elements, storedSize);
        if (!out) return std::nullopt;
        next_.resize(elements.size());
        for (std::size_t i = 0; i < elements.size(); ++i) next_[i] = Span{elements[i].at, elements[i].len};
        return out;
    }
    // The splices are in: returns the new document's size.
    qint64 spliced() {
        spans_ = std::move(next_);
        next_.clear();
        return spans_.empty() ? 2 : spans_.back().at + spans_.back().len + 1;
    }

private:
    struct Span {
        qsizetype at = -1; // in doc_; -1: to be encoded
        qsizetype len = 0;
    };
    QByteArray doc_;
    std::vector<Span> spans_;
    std::vector<Span> next_; // the places splices() gave, until spliced()
    bool forgotten_ = false;
};
