#include "notes/NoteCodec.h"

#include "platform/RecordJson.h"
#include <algorithm>
#include <cstring>

// Writing a note's bytes in the one form the reader checks them against, and changing the fields of
// bytes already written without writing them again.

namespace {
// A slice at a time straight into out: the rich text of a long note is tens of megabytes, and a
// whole Base64 copy of it next to the note's bytes would be as much again. Slices of a multiple of
// three bytes end without padding, so they join into the Base64 of the whole.
void appendBase64Slices(QByteArray &out, const char *p, qsizetype n) {
    constexpr qsizetype kSlice = 3 * 16 * 1024;
    for (qsizetype at = 0; at < n; at += kSlice) {
        const QByteArray slice = QByteArray::fromRawData(p + at, std::min(kSlice, n - at)).toBase64();
        // Grown by resize(), which reallocates the buffer where it lies: append() of a byte array
        // grows a full one by copying it into a new one, and both (tens of megabytes) are held
        // meanwhile.
        const qsizetype was = out.size();
        out.resize(was + slice.size());
        std::memcpy(out.data() + was, slice.constData(), size_t(slice.size()));
    }
}

void appendBase64(QByteArray &out, const QByteArray &bytes) {
    out.append('"');
    appendBase64Slices(out, bytes.constData(), bytes.size());
    out.append('"');
}
} // namespace

namespace NoteCodec {
void encodeRow(QByteArray &out, const NoteRow &r) {
    out.append("{\"id\":");
    RecordJson::appendString(out, r.id);
    out.append(",\"cells\":[");
    for (qsizetype i = 0; i < r.cells.size(); ++i) {
        if (i) out.append(',');
        RecordJson::appendString(out, r.cells.at(i));
    }
    out.append("],\"cellsRTF\":{");
    bool firstKey = true;
    for (const auto &[col, rtf] : r.cellsRTF) { // std::map: numeric order, "2" before "10"
        if (!firstKey) out.append(',');
        firstKey = false;
        out.append('"');
        out.append(QByteArray::number(col));
        out.append("\":");
        appendBase64(out, rtf);
    }
    out.append("}}");
}

namespace {
// What a note's bytes begin with, up to its text, and what they end with, after its rows: the parts
// a new title or emoji changes.
void appendHead(QByteArray &out, const QString &id, NoteType type, const QString &emoji, const QString &title) {
    out.append("{\"id\":");
    RecordJson::appendString(out, id);
    out.append(",\"type\":");
    RecordJson::appendString(out, NoteTypes::rawValue(type));
    out.append(",\"emoji\":");
    RecordJson::appendString(out, emoji);
    out.append(",\"title\":");
    RecordJson::appendString(out, title);
    out.append(",\"body\":");
}

void appendTail(QByteArray &out, double created, double modified) {
    out.append("],\"createdInterval\":");
    RecordJson::appendDouble(out, created);
    out.append(",\"modifiedInterval\":");
    RecordJson::appendDouble(out, modified);
    out.append('}');
}
} // namespace

// The note's JSON object; its body and rich text from text when given.
// The body's string a stretch at a time, stop() asked before each; false when it held.
static bool appendBodyUnless(QByteArray &out, const QString &body, const std::function<bool()> &stop) {
    // Room for a text of plain characters at once: grown a stretch at a time, a body of tens of
    // megabytes would be copied into larger buffers over and over.
    out.reserve(out.size() + body.size() + 2);
    out.append('"');
    const QStringView all(body);
    for (qsizetype at = 0; at < all.size();) {
        if (stop()) return false;
        qsizetype n = std::min(kEncodeStretch, all.size() - at);
        if (at + n < all.size() && all.at(at + n - 1).isHighSurrogate()) --n; // a pair stays whole
        RecordJson::appendStringChars(out, all.mid(at, n));
        at += n;
    }
    out.append('"');
    return true;
}

static bool encodeWith(QByteArray &out, const Note &n, const std::function<void(QByteArray &, size_t)> &row,
                       std::vector<RowSpan> *rows, const std::function<void()> &bodyWritten,
                       const TextParts *text, const std::function<bool()> &stop = {}) {
    const qsizetype start = out.size();
    appendHead(out, n.id, n.type, n.emoji, n.title);
    if (text) {
        // What is appended after a part of tens of megabytes gets room first, where the buffer lies:
        // an append() that found it full would copy it into a new one, both held meanwhile.
        const qsizetype tail = 256 + 6 * (n.link.size() + (n.imageBase64 ? n.imageBase64->size() : 0));
        out.append('"');
        text->body(out);
        out.reserve(out.size() + tail);
        out.append('"');
        const qsizetype at = out.size();
        out.append(",\"bodyRTF\":\"");
        if (text->richText(out)) {
            out.reserve(out.size() + tail);
            out.append('"');
        } else {
            out.truncate(at);
        }
    } else {
        if (!stop)
            RecordJson::appendString(out, n.body);
        else if (!appendBodyUnless(out, n.body, stop))
            return false;
        if (bodyWritten) bodyWritten();
        if (n.bodyRTF) {
            out.append(",\"bodyRTF\":");
            appendBase64(out, *n.bodyRTF);
        }
    }
    if (n.imageBase64) {
        out.append(",\"imageBase64\":");
        RecordJson::appendString(out, *n.imageBase64);
    }
    out.append(",\"link\":");
    RecordJson::appendString(out, n.link);
    out.append(",\"columns\":[");
    for (size_t i = 0; i < n.columns.size(); ++i) {
        if (i) out.append(',');
        out.append("{\"id\":");
        RecordJson::appendString(out, n.columns[i].id);
        out.append(",\"title\":");
        RecordJson::appendString(out, n.columns[i].title);
        out.append('}');
    }
    out.append("],\"rows\":[");
    if (rows) {
        rows->clear();
        rows->reserve(n.rows.size());
    }
    for (size_t i = 0; i < n.rows.size(); ++i) {
        if (stop && !bodyWritten && stop()) return false;
        if (i) out.append(',');
        const qsizetype at = out.size();
        if (row)
            row(out, i);
        else
            encodeRow(out, n.rows[i]);
        if (rows) rows->push_back({at - start, out.size() - at});
    }
    appendTail(out, n.createdInterval, n.modifiedInterval);
    return true;
}

void encodeNote(QByteArray &out, const Note &n, const std::function<void(QByteArray &, size_t)> &row,
                std::vector<RowSpan> *rows, const std::function<void()> &bodyWritten) {
    encodeWith(out, n, row, rows, bodyWritten, nullptr);
}

bool encodeNoteUnless(QByteArray &out, const Note &n, const std::function<bool()> &stop,
                      const std::function<void(QByteArray &, size_t)> &row, std::vector<RowSpan> *rows,
                      const std::function<void()> &bodyWritten) {
    return encodeWith(out, n, row, rows, bodyWritten, nullptr, stop);
}

void encodeNote(QByteArray &out, const Note &n, const TextParts &text) {
    encodeWith(out, n, {}, nullptr, {}, &text);
}

void appendBodyChars(QByteArray &out, QString &text, bool last) {
    qsizetype n = text.size();
    if (!last && n > 0 && text.at(n - 1).isHighSurrogate()) --n;
    RecordJson::appendStringChars(out, QStringView(text).first(n));
    text.remove(0, n);
}

void appendBase64Stretch(QByteArray &out, QByteArray &bytes, bool last) {
    const qsizetype n = last ? bytes.size() : bytes.size() - bytes.size() % 3;
    appendBase64Slices(out, bytes.constData(), n);
    bytes.remove(0, n);
}

std::optional<QByteArray> withFields(QByteArray bytes, const NoteHead &was, const NoteHead &now) {
    if (was.id != now.id || was.type != now.type || was.createdInterval != now.createdInterval) return std::nullopt;
    QByteArray head, tail, newHead, newTail;
    appendHead(head, was.id, was.type, was.emoji, was.title);
    appendTail(tail, was.createdInterval, was.modifiedInterval);
    if (bytes.size() < head.size() + tail.size() || !bytes.startsWith(head) || !bytes.endsWith(tail))
        return std::nullopt;
    appendHead(newHead, now.id, now.type, now.emoji, now.title);
    appendTail(newTail, now.createdInterval, now.modifiedInterval);
    // In the buffer's own place: the text between is moved (only when the head's length changes), never
    // copied into a second buffer of its size; a buffer that must grow is reallocated where it lies.
    const qsizetype between = bytes.size() - head.size() - tail.size();
    const qsizetype size = newHead.size() + between + newTail.size();
    if (size > bytes.size()) bytes.resize(size);
    char *p = bytes.data();
    if (newHead.size() != head.size())
        std::memmove(p + newHead.size(), p + head.size(), size_t(between));
    std::memcpy(p, newHead.constData(), size_t(newHead.size()));
    std::memcpy(p + newHead.size() + between, newTail.constData(), size_t(newTail.size()));
    bytes.resize(size);
    return bytes;
}

std::optional<SpooledBytes> withFields(SpooledBytes bytes, const NoteHead &was, const NoteHead &now) {
    if (!bytes.inFile()) return withFields(std::move(bytes.tail()), was, now);
    if (was.id != now.id || was.type != now.type || was.createdInterval != now.createdInterval)
        return std::nullopt;
    QByteArray head, newHead, tail, newTail;
    appendHead(head, was.id, was.type, was.emoji, was.title);
    appendHead(newHead, now.id, now.type, now.emoji, now.title);
    appendTail(tail, was.createdInterval, was.modifiedInterval);
    appendTail(newTail, now.createdInterval, now.modifiedInterval);
    QByteArray &last = bytes.tail();
    if (head != newHead || last.size() < tail.size()) {
        auto whole = bytes.whole();
        if (!whole) return std::nullopt;
        return withFields(std::move(*whole), was, now);
    }
    const auto start = bytes.read(0, head.size());
    if (bytes.size() < head.size() + tail.size() || !start || *start != head || !last.endsWith(tail))
        return std::nullopt;
    last.chop(tail.size());
    last.append(newTail);
    return bytes;
}
} // namespace NoteCodec
