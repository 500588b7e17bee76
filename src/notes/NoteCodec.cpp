#include "notes/NoteCodec.h"

#include "platform/RecordJson.h"
#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cstring>
#include <map>
#include <simdjson.h>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dom = simdjson::dom;
using std::string_view;

namespace {
const std::array<signed char, 256> kBase64Value = [] {
    std::array<signed char, 256> v{};
    v.fill(-1);
    const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) v[size_t(uchar(alphabet[i]))] = static_cast<signed char>(i);
    return v;
}();

// Whether every byte of p[0, n) is a letter of the standard Base64 alphabet. The notes' rich text is
// tens of megabytes of Base64 checked at every launch, so sixteen bytes are checked at a time where
// the processor can.
bool base64Letters(const char *p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i beforeA = _mm_set1_epi8('a' - 1), afterZ = _mm_set1_epi8('z' + 1);
    const __m128i before0 = _mm_set1_epi8('0' - 1), after9 = _mm_set1_epi8('9' + 1);
    const __m128i plus = _mm_set1_epi8('+'), slash = _mm_set1_epi8('/');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        // Bytes from 0x80 up compare as negative and fall outside every range. Setting 0x20 maps
        // the capitals onto the small letters and nothing else onto them.
        const __m128i lower = _mm_or_si128(v, caseBit);
        const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, beforeA), _mm_cmplt_epi8(lower, afterZ));
        const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, before0), _mm_cmplt_epi8(v, after9));
        const __m128i sign = _mm_or_si128(_mm_cmpeq_epi8(v, plus), _mm_cmpeq_epi8(v, slash));
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(letter, digit), sign)) != 0xFFFF) return false;
    }
#endif
    for (; i < n; ++i)
        if (kBase64Value[uchar(p[i])] < 0) return false;
    return true;
}

// Base64 in the one form the format allows: standard alphabet, padded, nothing else. canonical says
// whether the unused bits of the last group are zero, so that encoding the bytes again gives the text.
bool base64Form(string_view s, bool *canonical = nullptr) {
    const auto &value = kBase64Value;
    const size_t n = s.size();
    if (n % 4 != 0) return false;
    if (n == 0) {
        if (canonical) *canonical = true;
        return true;
    }
    const size_t pad = s[n - 1] != '=' ? 0 : s[n - 2] == '=' ? 2 : 1;
    if (!base64Letters(s.data(), n - pad)) return false;
    if (canonical) {
        const int last = value[uchar(s[n - pad - 1])];
        *canonical = pad == 0 || (pad == 1 ? (last & 3) == 0 : (last & 15) == 0);
    }
    return true;
}

QByteArray fromBase64(string_view s) {
    return QByteArray::fromBase64(QByteArray::fromRawData(s.data(), qsizetype(s.size())));
}

QString text(string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// Where the document's bytes go: while they agree with ref they are only compared with it (a document
// in the written form costs no copy); from the first difference on they are written out.
class Out {
public:
    enum Mode { compare, count };
    explicit Out(QByteArrayView ref, Mode mode = compare) : ref_(ref), mode_(mode) {}

    void put(const char *p, qsizetype n) {
        if (!written_) {
            if (mode_ == count || (pos_ + n <= ref_.size() && same(ref_.data() + pos_, p, n))) {
                pos_ += n;
                return;
            }
            written_ = true;
            bytes_.reserve(ref_.size() + 64);
            bytes_.append(ref_.data(), pos_);
        }
        bytes_.append(p, n);
        pos_ += n;
    }
    void put(string_view s) { put(s.data(), qsizetype(s.size())); }
    void put(char c) { put(&c, 1); }
    void put(const QByteArray &b) { put(b.constData(), b.size()); }
    // Bytes only counted, where nothing is compared or written.
    void skip(qsizetype n) {
        Q_ASSERT(mode_ == count && !written_);
        pos_ += n;
    }
    template <size_t N>
    void put(const char (&literal)[N]) {
        put(literal, qsizetype(N - 1));
    }
    qsizetype pos() const { return pos_; }
    bool counting() const { return mode_ == count; }
    // True when what was put differs from ref (also when it is shorter).
    bool differs() const { return written_ || pos_ != ref_.size(); }
    QByteArray written() const { return written_ ? bytes_ : QByteArray(ref_.data(), pos_); }

private:
    // Most pieces are a few bytes (a key, a comma): compared in place, without a call.
    static bool same(const char *a, const char *b, qsizetype n) {
        if (n > 16) return std::memcmp(a, b, size_t(n)) == 0;
        for (qsizetype i = 0; i < n; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }
    QByteArrayView ref_;
    Mode mode_;
    qsizetype pos_ = 0;
    bool written_ = false;
    QByteArray bytes_;
};

// Whether s needs no escaping in JSON: no control character, quote or backslash.
bool plainText(string_view s) {
    const char *p = s.data();
    const size_t n = s.size();
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        // Unsigned v < 0x20: the minimum of v and 0x1F is v itself.
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v);
        const __m128i special = _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash));
        if (_mm_movemask_epi8(_mm_or_si128(control, special))) return false;
    }
#endif
    for (; i < n; ++i)
        if (uchar(p[i]) < 0x20 || p[i] == '"' || p[i] == '\\') return false;
    return true;
}

// A JSON string as the encoder writes it. Most strings need no escaping and are put as they are.
void putString(Out &o, string_view s) {
    if (plainText(s)) {
        o.put('"');
        o.put(s);
        o.put('"');
        return;
    }
    // Only counted: a body of megabytes is not made twice over (as text and escaped) to be counted.
    if (o.counting()) {
        o.skip(RecordJson::escapedSize(s) + 2);
        return;
    }
    QByteArray b;
    RecordJson::appendString(b, text(s));
    o.put(b);
}

void putBase64(Out &o, string_view s, bool canonical) {
    o.put('"');
    if (canonical)
        o.put(s);
    else
        o.put(fromBase64(s).toBase64());
    o.put('"');
}

void putDouble(Out &o, double v) {
    QByteArray b;
    RecordJson::appendDouble(b, v);
    o.put(b);
}

bool number(dom::element e, double &out) {
    switch (e.type()) {
    case dom::element_type::INT64:
        out = double(e.get_int64().value_unsafe());
        return true;
    case dom::element_type::UINT64:
        out = double(e.get_uint64().value_unsafe());
        return true;
    case dom::element_type::DOUBLE:
        out = e.get_double().value_unsafe();
        return true;
    default:
        return false;
    }
}

bool str(const std::optional<dom::element> &e, string_view &out) {
    return e && e->get_string().get(out) == simdjson::SUCCESS;
}

bool isNull(const std::optional<dom::element> &e) {
    return !e || e->is_null();
}

// A member name that is a column position, as the general decoder reads it: optional sign, digits.
std::optional<int> decimalKey(string_view k) {
    if (k.empty() || k.size() > 11) return std::nullopt;
    size_t i = (k[0] == '-' || k[0] == '+') ? 1 : 0;
    if (i == k.size()) return std::nullopt;
    qint64 v = 0;
    for (; i < k.size(); ++i) {
        if (k[i] < '0' || k[i] > '9') return std::nullopt;
        v = v * 10 + (k[i] - '0');
    }
    if (k[0] == '-') v = -v;
    if (v < INT_MIN || v > INT_MAX) return std::nullopt;
    return int(v);
}

// A position in the form the encoder writes it ("0", "12"), not negative.
std::optional<int> plainKey(string_view k) {
    if (k.empty() || k.size() > 9 || (k.size() > 1 && k[0] == '0')) return std::nullopt;
    int v = 0;
    for (char c : k) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

struct RtfEntry {
    int col;
    string_view base64;
    bool canonical;
};

// The rich text of a row's cells: all of it, or none when a member name is no position or a value
// is no Base64 text. A name that repeats counts with its last value; names that read as the same
// position ("1", "01") count in the order of their text, the last winning.
bool rowRtf(const std::optional<dom::element> &v, std::vector<RtfEntry> &out) {
    out.clear();
    dom::object obj;
    if (!v || v->get_object().get(obj) != simdjson::SUCCESS) return false;
    // The written form: positions ascending, none twice.
    bool plain = true;
    for (dom::key_value_pair kv : obj) {
        const auto col = plainKey(kv.key);
        string_view s;
        bool canonical = false;
        if (!col || (!out.empty() && *col <= out.back().col) || kv.value.get_string().get(s) != simdjson::SUCCESS ||
            !base64Form(s, &canonical)) {
            plain = false;
            break;
        }
        out.push_back({*col, s, canonical});
    }
    if (plain) return true;
    out.clear();
    std::map<string_view, dom::element> byName;
    for (dom::key_value_pair kv : obj) byName[kv.key] = kv.value;
    std::map<int, RtfEntry> byCol;
    for (const auto &[name, value] : byName) {
        const auto col = decimalKey(name);
        string_view s;
        bool canonical = false;
        if (!col || value.get_string().get(s) != simdjson::SUCCESS || !base64Form(s, &canonical)) return false;
        byCol[*col] = {*col, s, canonical};
    }
    for (const auto &[col, e] : byCol) out.push_back(e);
    return true;
}

// One row, read member by member: what is missing or mistyped takes its default.
void walkRow(dom::object row, Out &o, NoteRow *nr) {
    std::optional<dom::element> id, cells, rtf;
    for (dom::key_value_pair kv : row) {
        if (kv.key == "id")
            id = kv.value;
        else if (kv.key == "cells")
            cells = kv.value;
        else if (kv.key == "cellsRTF")
            rtf = kv.value;
    }
    o.put("{\"id\":");
    string_view sid;
    if (str(id, sid)) {
        putString(o, sid);
        if (nr) nr->id = text(sid);
    } else {
        const QString fresh = RecordJson::newId();
        QByteArray b;
        RecordJson::appendString(b, fresh);
        o.put(b);
        if (nr) nr->id = fresh;
    }
    o.put(",\"cells\":[");
    dom::array list;
    bool cellsOk = cells && cells->get_array().get(list) == simdjson::SUCCESS;
    if (cellsOk)
        for (dom::element e : list)
            if (!e.is_string()) {
                cellsOk = false;
                break;
            }
    if (cellsOk) {
        if (nr) nr->cells.reserve(qsizetype(list.size()));
        bool first = true;
        for (dom::element e : list) {
            if (!first) o.put(',');
            first = false;
            const string_view s = e.get_string().value_unsafe();
            putString(o, s);
            if (nr) nr->cells.append(text(s));
        }
    }
    o.put("],\"cellsRTF\":{");
    thread_local std::vector<RtfEntry> entries;
    if (rowRtf(rtf, entries)) {
        bool first = true;
        for (const RtfEntry &e : entries) {
            if (!first) o.put(',');
            first = false;
            char key[16];
            const auto keyEnd = std::to_chars(key, key + sizeof key, e.col).ptr;
            o.put('"');
            o.put(key, keyEnd - key);
            o.put("\":");
            putBase64(o, e.base64, e.canonical);
            if (nr) nr->cellsRTF[e.col] = fromBase64(e.base64);
        }
    }
    o.put("}}");
}

enum Member { mId, mType, mEmoji, mTitle, mBody, mBodyRTF, mImage, mLink, mColumns, mRows, mCreated, mModified, mCount };
constexpr std::array<string_view, mCount> kMembers = {"id",   "type",    "emoji", "title",           "body",
                                                      "bodyRTF", "imageBase64", "link", "columns", "rows",
                                                      "createdInterval", "modifiedInterval"};

// A note's rich text read straight from its bytes before they were parsed, its Base64 taken out of
// them (see liftRichText): the member holds an empty string in what the parse saw.
struct Lifted {
    QByteArray rich;
    qsizetype base64Size = 0;
};

// One note under the strict rules, its bytes put in the written form. Fills note (everything) or
// head (what the list shows) when given; rows receives where each row's bytes went. With lifted, the
// rich text is that one (the bytes are then only counted, o in Out::count).
bool walkNote(dom::element el, Out &o, Note *note, NoteHead *head, std::vector<NoteCodec::RowSpan> *rows,
              Lifted *lifted = nullptr) {
    dom::object obj;
    if (el.get_object().get(obj) != simdjson::SUCCESS) return false;
    std::array<std::optional<dom::element>, mCount> m;
    for (dom::key_value_pair kv : obj)
        for (size_t k = 0; k < mCount; ++k)
            if (kv.key == kMembers[k]) {
                m[k] = kv.value; // a repeated member counts with its last value
                break;
            }
    string_view id, type, emoji, title, body, link, rtf, image;
    double created = 0, modified = 0;
    dom::array columns, rowList;
    if (!str(m[mId], id) || !str(m[mType], type) || !str(m[mEmoji], emoji) || !str(m[mTitle], title) ||
        !str(m[mBody], body) || !str(m[mLink], link) || !m[mCreated] || !number(*m[mCreated], created) ||
        !m[mModified] || !number(*m[mModified], modified) || !m[mColumns] ||
        m[mColumns]->get_array().get(columns) != simdjson::SUCCESS || !m[mRows] ||
        m[mRows]->get_array().get(rowList) != simdjson::SUCCESS)
        return false;
    const auto kind = NoteTypes::fromRaw(text(type));
    if (!kind) return false;
    const bool hasRtf = !isNull(m[mBodyRTF]);
    bool rtfCanonical = false;
    if (hasRtf && (!str(m[mBodyRTF], rtf) || !base64Form(rtf, &rtfCanonical))) return false;
    // The member taken out is the one read here: anything else means the bytes were not crossed as
    // the parse reads them, and the note is not made of them.
    if (lifted && (!hasRtf || !rtf.empty())) return false;
    const bool hasImage = !isNull(m[mImage]);
    if (hasImage && !str(m[mImage], image)) return false;

    const qsizetype start = o.pos();
    o.put("{\"id\":");
    putString(o, id);
    o.put(",\"type\":");
    putString(o, type);
    o.put(",\"emoji\":");
    putString(o, emoji);
    o.put(",\"title\":");
    putString(o, title);
    o.put(",\"body\":");
    putString(o, body);
    if (hasRtf) {
        o.put(",\"bodyRTF\":");
        if (lifted)
            o.skip(lifted->base64Size + 2);
        else
            putBase64(o, rtf, rtfCanonical);
    }
    if (hasImage) {
        o.put(",\"imageBase64\":");
        putString(o, image);
    }
    o.put(",\"link\":");
    putString(o, link);
    o.put(",\"columns\":[");
    bool first = true;
    for (dom::element c : columns) {
        dom::object co;
        if (c.get_object().get(co) != simdjson::SUCCESS) return false;
        std::optional<dom::element> cid, ctitle;
        for (dom::key_value_pair kv : co) {
            if (kv.key == "id") cid = kv.value;
            if (kv.key == "title") ctitle = kv.value;
        }
        string_view sid, stitle;
        if (!str(cid, sid) || !str(ctitle, stitle)) return false;
        if (!first) o.put(',');
        first = false;
        o.put("{\"id\":");
        putString(o, sid);
        o.put(",\"title\":");
        putString(o, stitle);
        o.put('}');
        if (note) note->columns.emplace_back(text(sid), text(stitle));
    }
    o.put("],\"rows\":[");
    if (note) note->rows.reserve(rowList.size());
    if (rows) rows->reserve(rowList.size());
    first = true;
    for (dom::element r : rowList) {
        dom::object ro;
        if (r.get_object().get(ro) != simdjson::SUCCESS) return false;
        if (!first) o.put(',');
        first = false;
        const qsizetype at = o.pos();
        NoteRow *nr = note ? &note->rows.emplace_back() : nullptr;
        walkRow(ro, o, nr);
        if (rows) rows->push_back({at - start, o.pos() - at});
    }
    o.put("],\"createdInterval\":");
    putDouble(o, created);
    o.put(",\"modifiedInterval\":");
    putDouble(o, modified);
    o.put('}');

    if (note) {
        note->id = text(id);
        note->type = *kind;
        note->emoji = text(emoji);
        note->title = text(title);
        note->body = text(body);
        if (hasRtf) note->bodyRTF = lifted ? std::move(lifted->rich) : fromBase64(rtf);
        if (hasImage) note->imageBase64 = text(image);
        note->link = text(link);
        note->createdInterval = created;
        note->modifiedInterval = modified;
    }
    if (head) {
        head->id = text(id);
        head->type = *kind;
        head->emoji = text(emoji);
        head->title = text(title);
        // 40 characters come from at most 160 bytes; a few more keep a cut sequence out of them.
        head->preview = NoteHead::previewOf(text(body.substr(0, 200)));
        head->columnCount = qsizetype(columns.size());
        head->rowCount = qsizetype(rowList.size());
        head->createdInterval = created;
        head->modifiedInterval = modified;
    }
    return true;
}

bool parse(dom::parser &parser, QByteArrayView bytes, dom::element &root, bool padded = false) {
    return RecordJson::parseFast(parser, bytes, root, padded);
}

} // namespace

namespace NoteCodec {
std::optional<Index> index(const QByteArray &bytes) {
    // Note by note: the parse takes memory for the largest note, not for the whole document.
    Index ix;
    Out o(bytes);
    o.put('[');
    const bool ok = RecordJson::forEachElement(bytes, [&](dom::element e) {
        if (!ix.heads.empty()) o.put(',');
        const qsizetype at = o.pos();
        NoteHead &head = ix.heads.emplace_back();
        if (!walkNote(e, o, nullptr, &head, nullptr)) return false;
        ix.spans.push_back({at, o.pos() - at});
        return true;
    });
    if (!ok) return std::nullopt;
    o.put(']');
    ix.doc = o.differs() ? o.written() : bytes;
    return ix;
}

namespace {
// A note's rich text read straight from the bytes handed over, and its Base64 taken out of them
// before they are parsed: the parse would copy the Base64 whole beside the bytes, and the rich text
// would then be made beside both. Only for a note without rows (nothing is looked for in its bytes
// after the parse) whose Base64 is written as it reads (no escape in it); else nothing, and the bytes
// are as they were.
std::optional<Lifted> liftRichText(QByteArray &bytes) {
    const auto rows = RecordJson::memberSpan(bytes, "rows");
    const auto rtf = RecordJson::memberSpan(bytes, "bodyRTF");
    if (!rows || !rtf) return std::nullopt;
    const string_view rowList(bytes.constData() + rows->first, size_t(rows->second - rows->first));
    if (rowList.size() < 2 || rowList.front() != '[' || rowList.back() != ']' ||
        rowList.find_first_not_of(" \t\n\r", 1) != rowList.size() - 1)
        return std::nullopt;
    const qsizetype at = rtf->first + 1, end = rtf->second - 1; // the string's characters
    if (end < at || bytes[rtf->first] != '"' || bytes[end] != '"') return std::nullopt;
    const string_view base64(bytes.constData() + at, size_t(end - at));
    if (!base64Form(base64)) return std::nullopt; // escaped or no Base64: the parse reads it, or refuses
    Lifted l{fromBase64(base64), end - at};
    // What follows the Base64 moves up over it, and the room it took is given back.
    char *p = bytes.data();
    std::memmove(p + at, p + end, size_t(bytes.size() - end));
    bytes.truncate(bytes.size() - (end - at));
    bytes.squeeze();
    return l;
}

// With own, the bytes are parsed where they lie, and let go of once parsed when the note has no rows
// (no row's place is looked for in them): its text is then made beside the parse alone. lifted: the
// rich text taken out of own before (see liftRichText).
std::optional<Held> decodeHeld(QByteArrayView bytes, QByteArray *own, Lifted *lifted = nullptr) {
    dom::parser parser;
    dom::element root;
    if (!parse(parser, bytes, root, own != nullptr)) return std::nullopt;
    dom::array rowList;
    // The rows the note is read with: the last member of that name.
    const auto rows = own ? RecordJson::member(root, "rows") : std::nullopt;
    if (rows && rows->get_array().get(rowList) == simdjson::SUCCESS && rowList.size() == 0) {
        *own = QByteArray(); // the tree holds copies of its strings
        bytes = {};
    }
    Held h;
    Out o(bytes, bytes.isEmpty() ? Out::count : Out::compare);
    if (lifted && !bytes.isEmpty()) return std::nullopt; // the bytes were let go of: no rows
    if (!walkNote(root, o, &h.note, nullptr, &h.rows, lifted)) return std::nullopt;
    if (o.differs()) h.rows.clear(); // not the written form after all: the spans are not in bytes
    return h;
}
} // namespace

std::optional<Held> decodeHeld(QByteArrayView bytes) {
    return decodeHeld(bytes, nullptr);
}

std::optional<Held> decodeHeldInPlace(QByteArray &bytes) {
    const qsizetype n = bytes.size();
    // A buffer shared with another holder would be copied to grow: the parse copies it then.
    if (n == 0 || !bytes.isDetached()) return decodeHeld(bytes, nullptr);
    std::optional<Lifted> lifted = liftRichText(bytes);
    const qsizetype left = bytes.size();
    bytes.reserve(left + qsizetype(simdjson::SIMDJSON_PADDING));
    std::memset(bytes.data() + left, 0, simdjson::SIMDJSON_PADDING);
    return decodeHeld(QByteArrayView(bytes.constData(), left), &bytes, lifted ? &*lifted : nullptr);
}
} // namespace NoteCodec

QByteArray encodeNotes(const std::vector<Note> &notes) {
    QByteArray out;
    out.append('[');
    for (size_t i = 0; i < notes.size(); ++i) {
        if (i) out.append(',');
        NoteCodec::encodeNote(out, notes[i]);
    }
    out.append(']');
    return out;
}

std::optional<std::vector<Note>> decodeNotes(const QByteArray &bytes) {
    std::vector<Note> notes;
    Out o({}, Out::count);
    if (!RecordJson::forEachElement(bytes, [&](dom::element e) { return walkNote(e, o, &notes.emplace_back(), nullptr, nullptr); }))
        return std::nullopt;
    return notes;
}

std::optional<QByteArray> strictBase64(const QByteArray &text) {
    // The platform decoder this format comes from accepts only the canonical alphabet with padding;
    // Qt's own decoder forgives missing padding and stray characters, so check the form first.
    if (!base64Form(string_view(text.constData(), size_t(text.size())))) return std::nullopt;
    return QByteArray::fromBase64(text);
}
