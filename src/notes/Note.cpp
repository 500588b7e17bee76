#include "notes/Note.h"

#include "platform/Clock.h"
#include "platform/RecordJson.h"
#include <cmath>

using RecordJson::Json;

namespace NoteTypes {
QString rawValue(NoteType t) {
    return t == NoteType::table ? QStringLiteral("table") : QStringLiteral("text");
}

std::optional<NoteType> fromRaw(const QString &raw) {
    if (raw == u"text") return NoteType::text;
    if (raw == u"table") return NoteType::table;
    return std::nullopt;
}
} // namespace NoteTypes

NoteTableColumn::NoteTableColumn(const QString &title) : id(RecordJson::newId()), title(title) {}

NoteRow::NoteRow(const QStringList &cells) : id(RecordJson::newId()), cells(cells) {}

Note::Note(NoteType type, const QString &emoji, const QString &title)
    : id(RecordJson::newId()), type(type), emoji(emoji), title(title) {
    createdInterval = Clock::get().refSeconds();
    modifiedInterval = Clock::get().refSeconds();
}

QDateTime Note::createdDate() const {
    return Clock::fromRefSeconds(createdInterval);
}

QDateTime Note::modifiedDate() const {
    return Clock::fromRefSeconds(modifiedInterval);
}

std::optional<QByteArray> strictBase64(const QByteArray &text) {
    // The platform decoder this format comes from accepts only the canonical alphabet with padding;
    // Qt's own decoder forgives missing padding and stray characters, so check the form first.
    const qsizetype n = text.size();
    if (n % 4 != 0) return std::nullopt;
    qsizetype pad = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = text.at(i);
        if (c == '=') {
            if (i < n - 2) return std::nullopt;
            ++pad;
            continue;
        }
        if (pad > 0) return std::nullopt; // data after padding
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        c == '+' || c == '/';
        if (!ok) return std::nullopt;
    }
    auto r = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!r) return std::nullopt;
    return std::move(r.decoded);
}

namespace {
void appendBytes(QByteArray &out, const QByteArray &bytes) {
    out.append('"');
    out.append(bytes.toBase64());
    out.append('"');
}

void encodeRow(QByteArray &out, const NoteRow &r) {
    out.append('{');
    RecordJson::appendKey(out, "id");
    RecordJson::appendString(out, r.id);
    out.append(',');
    RecordJson::appendKey(out, "cells");
    out.append('[');
    for (qsizetype i = 0; i < r.cells.size(); ++i) {
        if (i) out.append(',');
        RecordJson::appendString(out, r.cells.at(i));
    }
    out.append("],");
    RecordJson::appendKey(out, "cellsRTF");
    out.append('{');
    bool firstKey = true;
    for (const auto &[col, rtf] : r.cellsRTF) { // std::map: numeric order, "2" before "10"
        if (!firstKey) out.append(',');
        firstKey = false;
        out.append('"');
        out.append(QByteArray::number(col));
        out.append("\":");
        appendBytes(out, rtf);
    }
    out.append("}}");
}

void encodeNote(QByteArray &out, const Note &n) {
    out.append('{');
    RecordJson::appendKey(out, "id");
    RecordJson::appendString(out, n.id);
    out.append(',');
    RecordJson::appendKey(out, "type");
    RecordJson::appendString(out, NoteTypes::rawValue(n.type));
    out.append(',');
    RecordJson::appendKey(out, "emoji");
    RecordJson::appendString(out, n.emoji);
    out.append(',');
    RecordJson::appendKey(out, "title");
    RecordJson::appendString(out, n.title);
    out.append(',');
    RecordJson::appendKey(out, "body");
    RecordJson::appendString(out, n.body);
    out.append(',');
    if (n.bodyRTF) {
        RecordJson::appendKey(out, "bodyRTF");
        appendBytes(out, *n.bodyRTF);
        out.append(',');
    }
    if (n.imageBase64) {
        RecordJson::appendKey(out, "imageBase64");
        RecordJson::appendString(out, *n.imageBase64);
        out.append(',');
    }
    RecordJson::appendKey(out, "link");
    RecordJson::appendString(out, n.link);
    out.append(',');
    RecordJson::appendKey(out, "columns");
    out.append('[');
    for (size_t i = 0; i < n.columns.size(); ++i) {
        if (i) out.append(',');
        out.append('{');
        RecordJson::appendKey(out, "id");
        RecordJson::appendString(out, n.columns[i].id);
        out.append(',');
        RecordJson::appendKey(out, "title");
        RecordJson::appendString(out, n.columns[i].title);
        out.append('}');
    }
    out.append("],");
    RecordJson::appendKey(out, "rows");
    out.append('[');
    for (size_t i = 0; i < n.rows.size(); ++i) {
        if (i) out.append(',');
        encodeRow(out, n.rows[i]);
    }
    out.append("],");
    RecordJson::appendKey(out, "createdInterval");
    RecordJson::appendDouble(out, n.createdInterval);
    out.append(',');
    RecordJson::appendKey(out, "modifiedInterval");
    RecordJson::appendDouble(out, n.modifiedInterval);
    out.append('}');
}

QByteArray jsonBytes(const Json &v) {
    const auto &s = v.get_ref<const std::string &>();
    return QByteArray(s.data(), qsizetype(s.size()));
}

const Json *member(const Json &obj, const char *key) {
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

// A member that may be missing or null; fails (returns false) only for a present value of another type.
bool optionalString(const Json &obj, const char *key, std::optional<QByteArray> &out) {
    const Json *v = member(obj, key);
    out.reset();
    if (!v || v->is_null()) return true;
    if (!v->is_string()) return false;
    out = jsonBytes(*v);
    return true;
}

bool finiteNumber(const Json &obj, const char *key, double &out) {
    return RecordJson::readDouble(obj, key, out) && std::isfinite(out);
}

std::optional<int> decimalKey(const std::string &k) {
    if (k.empty() || k.size() > 11) return std::nullopt;
    size_t i = (k[0] == '-' || k[0] == '+') ? 1 : 0;
    if (i == k.size()) return std::nullopt;
    qint64 v = 0;
    for (; i < k.size(); ++i) {
        if (k[i] < '0' || k[i] > '9') return std::nullopt;
        v = v * 10 + (k[i] - '0');
    }
    if (k[0] == '-') v = -v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return std::nullopt;
    return int(v);
}

NoteRow decodeRow(const Json &o) {
    NoteRow r;
    if (!RecordJson::readString(o, "id", r.id)) r.id = RecordJson::newId();
    if (!RecordJson::readStrings(o, "cells", r.cells)) r.cells.clear();
    const Json *rtf = member(o, "cellsRTF");
    if (rtf && rtf->is_object()) {
        std::map<int, QByteArray> map;
        bool ok = true;
        for (auto it = rtf->begin(); ok && it != rtf->end(); ++it) {
            const auto key = decimalKey(it.key());
            if (!key || !it.value().is_string()) {
                ok = false;
                break;
            }
            auto bytes = strictBase64(jsonBytes(it.value()));
            if (!bytes)
                ok = false;
            else
                map[*key] = std::move(*bytes);
        }
        if (ok) r.cellsRTF = std::move(map);
    }
    return r;
}

std::optional<Note> decodeNote(const Json &o) {
    if (!o.is_object()) return std::nullopt;
    Note n;
    QString type;
    if (!RecordJson::readString(o, "id", n.id) || !RecordJson::readString(o, "type", type) ||
        !RecordJson::readString(o, "emoji", n.emoji) || !RecordJson::readString(o, "title", n.title) ||
        !RecordJson::readString(o, "body", n.body) || !RecordJson::readString(o, "link", n.link) ||
        !finiteNumber(o, "createdInterval", n.createdInterval) ||
        !finiteNumber(o, "modifiedInterval", n.modifiedInterval))
        return std::nullopt;
    const auto t = NoteTypes::fromRaw(type);
    if (!t) return std::nullopt;
    n.type = *t;

    std::optional<QByteArray> rtfText, image;
    if (!optionalString(o, "bodyRTF", rtfText) || !optionalString(o, "imageBase64", image))
        return std::nullopt;
    if (rtfText) {
        n.bodyRTF = strictBase64(*rtfText);
        if (!n.bodyRTF) return std::nullopt;
    }
    if (image) n.imageBase64 = QString::fromUtf8(*image);

    const Json *cols = member(o, "columns");
    if (!cols || !cols->is_array()) return std::nullopt;
    n.columns.reserve(cols->size());
    for (const Json &c : *cols) {
        NoteTableColumn col;
        if (!c.is_object() || !RecordJson::readString(c, "id", col.id) ||
            !RecordJson::readString(c, "title", col.title))
            return std::nullopt;
        n.columns.push_back(std::move(col));
    }
    const Json *rows = member(o, "rows");
    if (!rows || !rows->is_array()) return std::nullopt;
    n.rows.reserve(rows->size());
    for (const Json &r : *rows) {
        if (!r.is_object()) return std::nullopt;
        n.rows.push_back(decodeRow(r));
    }
    return n;
}
} // namespace

QByteArray encodeNotes(const std::vector<Note> &notes) {
    QByteArray out;
    out.append('[');
    for (size_t i = 0; i < notes.size(); ++i) {
        if (i) out.append(',');
        encodeNote(out, notes[i]);
    }
    out.append(']');
    return out;
}

std::optional<std::vector<Note>> decodeNotes(const QByteArray &bytes) {
    const auto doc = RecordJson::parse(bytes);
    if (!doc || !doc->is_array()) return std::nullopt;
    std::vector<Note> notes;
    notes.reserve(doc->size());
    for (const Json &o : *doc) {
        auto n = decodeNote(o);
        if (!n) return std::nullopt;
        notes.push_back(std::move(*n));
    }
    return notes;
}
