#include "platform/RecordJson.h"

#include <QStringList>
#include <QUuid>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace RecordJson {
QString newId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

namespace {
// Whether bytes stay within what every reader takes: no NUL byte, nesting no deeper than kMaxDepth.
// One pass without recursion; for bytes that are no JSON the answer does not matter, a parser refuses
// them anyway.
bool withinLimits(QByteArrayView bytes, int maxDepth = kMaxDepth) {
    const char *const p = bytes.data();
    const qsizetype n = bytes.size();
    int depth = 0;
    for (qsizetype i = 0; i < n; ++i) {
        switch (p[i]) {
        case '"': // to the closing quote; a backslash hides the character after it
            for (++i; i < n && p[i] != '"'; ++i) {
                if (p[i] == '\\') ++i;
                else if (p[i] == '\0') return false;
            }
            break;
        case '[':
        case '{':
            if (++depth > maxDepth) return false;
            break;
        case ']':
        case '}':
            --depth;
            break;
        case '\0':
            return false;
        default:
            break;
        }
    }
    return true;
}
std::optional<Json> parseWithin(QByteArrayView bytes, int maxDepth) {
    if (!withinLimits(bytes, maxDepth)) return std::nullopt;
    Json doc = Json::parse(bytes.data(), bytes.data() + bytes.size(), nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded()) return std::nullopt;
    return doc;
}

// One value (no byte-order mark) under the rules of parseFast(), nested at most maxDepth deep.
// padded: bytes are followed by SIMDJSON_PADDING readable bytes, so simdjson need not copy them.
bool parseValue(simdjson::dom::parser &parser, QByteArrayView bytes, Value &root, int maxDepth,
                bool padded = false) {
    const auto error = parser.parse(bytes.data(), size_t(bytes.size()), !padded).get(root);
    if (error == simdjson::SUCCESS) return true;
    // A number simdjson refuses and the general parser reads (an integer too long for 64 bits, read
    // as a double there) reads the same here, through the general parser's compact form. The dump
    // recurses once per level: the general parser has refused anything deeper than maxDepth.
    if (error != simdjson::NUMBER_ERROR || bytes.startsWith("\xEF\xBB\xBF")) return false;
    const auto doc = parseWithin(bytes, maxDepth);
    if (!doc) return false;
    const std::string again = doc->dump();
    return parser.parse(again).get(root) == simdjson::SUCCESS; // parse() copies the bytes
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Where the string that opens at p[at] closes: the index of its closing quote, or n when it does
// not close. Strings hold most of a document's bytes (a note's rich text is Base64), so they are
// crossed quote by quote with memchr. A quote closes the string when the backslashes right before
// it are even in number: each pair is one escaped backslash, an odd one out escapes the quote.
qsizetype closingQuote(const char *p, qsizetype at, qsizetype n) {
    for (qsizetype from = at + 1; from < n;) {
        const auto *q = static_cast<const char *>(std::memchr(p + from, '"', size_t(n - from)));
        if (!q) break;
        const qsizetype i = q - p;
        qsizetype k = i; // the run of backslashes ends at the opening quote at the latest
        while (p[k - 1] == '\\')
            --k;
        if ((i - k) % 2 == 0) return i;
        from = i + 1;
    }
    return n;
}
} // namespace

std::optional<Json> parse(const QByteArray &bytes) {
    if (!withinLimits(bytes)) return std::nullopt;
    Json doc = Json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded()) return std::nullopt;
    return doc;
}

namespace {
const char kHex[] = "0123456789abcdef";

// One byte of UTF-8 as JSON writes it inside a string, at w; returns the end.
char *escapeByte(char *w, unsigned char c) {
    switch (c) {
    case '"':
        return std::copy_n("\\\"", 2, w);
    case '\\':
        return std::copy_n("\\\\", 2, w);
    case '\b':
        return std::copy_n("\\b", 2, w);
    case '\f':
        return std::copy_n("\\f", 2, w);
    case '\n':
        return std::copy_n("\\n", 2, w);
    case '\r':
        return std::copy_n("\\r", 2, w);
    case '\t':
        return std::copy_n("\\t", 2, w);
    default:
        if (c >= 0x20) {
            *w = char(c);
            return w + 1;
        }
        const char esc[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        return std::copy_n(esc, sizeof esc, w);
    }
}
// Runs of UTF-16 units that are all printable ASCII other than '"' and '\\': JSON writes them as
// they are, one byte each.
#if defined(__SSE2__)
constexpr qsizetype kPlainRun = 8;
bool plainRun(const char16_t *p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    // Units from 0x8000 up compare as negative, below 0x20.
    const __m128i printable =
        _mm_and_si128(_mm_cmpgt_epi16(v, _mm_set1_epi16(0x1F)), _mm_cmplt_epi16(v, _mm_set1_epi16(0x80)));
    const __m128i special =
        _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('"')), _mm_cmpeq_epi16(v, _mm_set1_epi16('\\')));
    return _mm_movemask_epi8(_mm_andnot_si128(special, printable)) == 0xFFFF;
}
void putPlainRun(char *w, const char16_t *p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(w), _mm_packus_epi16(v, v));
}
#else
constexpr qsizetype kPlainRun = 1;
bool plainRun(const char16_t *p) {
    return *p >= 0x20 && *p < 0x80 && *p != '"' && *p != '\\';
}
void putPlainRun(char *w, const char16_t *p) {
    *w = char(*p);
}
#endif

// Whether the unit at i opens a surrogate pair: a high one followed by a low one.
bool isPair(const char16_t *p, qsizetype i, qsizetype n) {
    return p[i] >= 0xD800 && p[i] <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF;
}

// How many bytes escapeByte() writes for a control character.
int escapedLength(unsigned char c) {
    return c == '\b' || c == '\f' || c == '\n' || c == '\r' || c == '\t' ? 2 : 6;
}
} // namespace

qsizetype escapedSize(std::string_view utf8) {
    qsizetype len = 0;
    for (const char c : utf8) {
        const auto u = uchar(c);
        len += u == '"' || u == '\\' ? 2 : u >= 0x20 ? 1 : escapedLength(u);
    }
    return len;
}

void appendStringChars(QByteArray &out, QStringView s) {
    // Written straight from UTF-16 into out: a store's save writes every changed text, and a UTF-8
    // copy of each cost an allocation. The length is counted first, so out grows by exactly what is
    // written; runs of printable ASCII (most of any text) go eight units at a time where the
    // processor can. A character beyond the first 65 536 (a surrogate pair: every emoji) is written
    // here too, as its four bytes; a text with an unpaired surrogate goes through Qt's own
    // conversion, whose handling of one the documents keep.
    // Read through constData(), never utf16(): utf16() gives a string without a terminated buffer of
    // its own (a literal, raw data, an empty string) a new one, a write to a string that copies of a
    // note share with the window's thread and other workers. The length bounds every read here.
    const auto *const p = reinterpret_cast<const char16_t *>(s.constData());
    const qsizetype n = s.size();
    qsizetype len = 0;
    for (qsizetype i = 0; i < n;) {
        if (i + kPlainRun <= n && plainRun(p + i)) {
            len += kPlainRun;
            i += kPlainRun;
            continue;
        }
        const char16_t u = p[i++];
        if (u >= 0xD800 && u <= 0xDFFF) {
            if (isPair(p, i - 1, n)) {
                len += 4;
                ++i;
                continue;
            }
            len = -1;
            break;
        }
        len += u >= 0x800 ? 3 : u >= 0x80 ? 2 : u == '"' || u == '\\' ? 2 : u >= 0x20 ? 1 : escapedLength(uchar(u));
    }
    if (len < 0) {
        const QByteArray utf8 = s.toUtf8();
        for (const char c : utf8) {
            char buf[6];
            out.append(buf, escapeByte(buf, uchar(c)) - buf);
        }
        return;
    }
    const qsizetype at = out.size();
    out.resize(at + len);
    char *w = out.data() + at;
    for (qsizetype i = 0; i < n;) {
        if (i + kPlainRun <= n && plainRun(p + i)) {
            putPlainRun(w, p + i);
            w += kPlainRun;
            i += kPlainRun;
            continue;
        }
        const char16_t u = p[i++];
        if (u < 0x80) {
            w = escapeByte(w, uchar(u));
        } else if (u < 0x800) {
            *w++ = char(0xC0 | (u >> 6));
            *w++ = char(0x80 | (u & 0x3F));
        } else if (u >= 0xD800 && u <= 0xDBFF) { // a pair: checked while counting
            const char32_t c = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(p[i++]) - 0xDC00);
            *w++ = char(0xF0 | (c >> 18));
            *w++ = char(0x80 | ((c >> 12) & 0x3F));
            *w++ = char(0x80 | ((c >> 6) & 0x3F));
            *w++ = char(0x80 | (c & 0x3F));
        } else {
            *w++ = char(0xE0 | (u >> 12));
            *w++ = char(0x80 | ((u >> 6) & 0x3F));
            *w++ = char(0x80 | (u & 0x3F));
        }
    }
}

void appendString(QByteArray &out, const QString &s) {
    out.append('"');
    appendStringChars(out, s);
    out.append('"');
}

void appendKey(QByteArray &out, const char *key) {
    const auto k = qsizetype(std::strlen(key));
    const qsizetype at = out.size();
    out.resize(at + k + 3);
    char *w = out.data() + at;
    w[0] = '"';
    std::memcpy(w + 1, key, size_t(k));
    w[k + 1] = '"';
    w[k + 2] = ':';
}

void appendInt(QByteArray &out, qint64 v) {
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr - buf);
}

void appendDouble(QByteArray &out, double v) {
    // The shortest form that reads back as the same double, as the documents have always been written:
    // a whole value without a fraction ("100", "788918400"), others as nlohmann gives them ("12.5",
    // "1e+20"). nlohmann marks a whole value with ".0", which is dropped. JSON has no NaN or infinity.
    if (!std::isfinite(v)) {
        out.append('0');
        return;
    }
    // nlohmann's own conversion, the one dump() writes a double with, without building a value, an
    // output adapter and a string for each number.
    std::array<char, 64> buf;
    const char *end = nlohmann::detail::to_chars(buf.data(), buf.data() + buf.size(), v);
    qsizetype n = end - buf.data();
    if (n > 2 && end[-2] == '.' && end[-1] == '0') n -= 2;
    out.append(buf.data(), n);
}

namespace {
const Json *member(const Json &obj, const char *key) {
    if (!obj.is_object()) return nullptr;
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}
} // namespace

bool readString(const Json &obj, const char *key, QString &out) {
    const Json *v = member(obj, key);
    if (!v || !v->is_string()) return false;
    const auto &s = v->get_ref<const std::string &>();
    out = QString::fromUtf8(s.data(), qsizetype(s.size()));
    return true;
}

bool readInt(const Json &obj, const char *key, qint64 &out) {
    const Json *v = member(obj, key);
    if (!v) return false;
    switch (v->type()) {
    case Json::value_t::number_integer:
        out = v->get<qint64>();
        return true;
    case Json::value_t::number_unsigned: {
        const auto u = v->get<std::uint64_t>();
        if (u > std::uint64_t(std::numeric_limits<qint64>::max())) return false;
        out = qint64(u);
        return true;
    }
    case Json::value_t::number_float: {
        // 3.0 is the number 3; 3.5 or 1e300 are no day counts.
        const double d = v->get<double>();
        if (!std::isfinite(d) || d != std::trunc(d) || d < -9.2e18 || d > 9.2e18) return false;
        out = qint64(d);
        return true;
    }
    default:
        return false;
    }
}

bool readDouble(const Json &obj, const char *key, double &out) {
    const Json *v = member(obj, key);
    if (!v || !v->is_number()) return false;
    out = v->get<double>();
    return true;
}

bool readBool(const Json &obj, const char *key, bool &out) {
    const Json *v = member(obj, key);
    if (!v || !v->is_boolean()) return false;
    out = v->get<bool>();
    return true;
}

bool readStrings(const Json &obj, const char *key, QStringList &out) {
    const Json *v = member(obj, key);
    if (!v || !v->is_array()) return false;
    QStringList list;
    list.reserve(qsizetype(v->size()));
    for (const Json &e : *v) {
        if (!e.is_string()) return false;
        const auto &s = e.get_ref<const std::string &>();
        list.append(QString::fromUtf8(s.data(), qsizetype(s.size())));
    }
    out = std::move(list);
    return true;
}

// ---- Fast reading ----

bool parseFast(simdjson::dom::parser &parser, QByteArrayView bytes, Value &root, bool padded) {
    // No bytes are no document. An empty view may point nowhere, and simdjson copies from the pointer
    // it is given (a null source is undefined behaviour even for no bytes).
    if (bytes.isEmpty()) return false;
    // The general parser skips a byte-order mark.
    return parseValue(parser, bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes, root, kMaxDepth, padded);
}

bool forEachElement(QByteArrayView bytes, const std::function<bool(Value)> &fn) {
    return forEachElement(bytes, fn, kChunkBytes);
}

bool forEachElement(QByteArrayView bytes, const std::function<bool(Value)> &fn, qsizetype chunkBytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.sliced(3);
    const char *const p = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n && isSpace(p[i])) ++i;
    if (i == n || p[i] != '[') return false;
    simdjson::dom::parser parser;
    std::string chunk;
    const qsizetype first = ++i;
    qsizetype from = first; // the first element of the next chunk
    // Whole elements are parsed in chunks of about chunkBytes, each as an array of its own ("[" + the
    // elements as they stand, commas included + "]"): the depth, the commas and every element are
    // checked as over the whole document, and simdjson's overhead per parse stays small. The chunk
    // is built with simdjson's padding behind it, so the parse reads it where it is.
    int depth = 0;
    for (; i < n; ++i) {
        const char c = p[i];
        if (c == '"') {
            i = closingQuote(p, i, n);
            continue;
        }
        if (c == '[' || c == '{') {
            ++depth;
            continue;
        }
        const bool end = (c == ']' || c == '}') && depth == 0;
        if (c == ']' || c == '}') {
            if (!end) --depth;
            else if (c == '}') return false;
        }
        if (!end && !(c == ',' && depth == 0 && i + 1 - from >= chunkBytes)) continue;
        const auto len = size_t(i - from);
        if (chunk.capacity() < len + 2 + simdjson::SIMDJSON_PADDING) chunk.reserve(len + 2 + simdjson::SIMDJSON_PADDING);
        chunk.assign(1, '[');
        chunk.append(p + from, len);
        chunk.push_back(']');
        Value root;
        simdjson::dom::array elements;
        if (!parseValue(parser, QByteArrayView(chunk.data(), qsizetype(chunk.size())), root, kMaxDepth,
                        /*padded=*/true) ||
            root.get_array().get(elements) != simdjson::SUCCESS)
            return false;
        // No element is fine only for the whole list ("[ ]"): a chunk that follows a comma ("[1, ]")
        // or ends at one ("[ , 1]", with the comma far enough in to end a chunk) misses one.
        if (elements.size() == 0 && (from != first || !end)) return false;
        for (const Value e : elements)
            if (!fn(e)) return false;
        from = i + 1;
        if (end) break;
    }
    if (i >= n) return false; // never closed
    for (++i; i < n && isSpace(p[i]); ++i) {
    }
    return i == n;
}

std::optional<std::pair<qsizetype, qsizetype>> memberSpan(QByteArrayView object, std::string_view key) {
    const char *const p = object.data();
    const qsizetype n = object.size();
    qsizetype i = object.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < n && isSpace(p[i])) ++i;
    if (i == n || p[i] != '{') return std::nullopt;
    std::optional<std::pair<qsizetype, qsizetype>> found;
    int depth = 1;
    bool keyNext = true, matching = false;
    qsizetype valueAt = -1;
    // The value open at depth 1 ends at the comma or brace that closes it, less the spaces before.
    const auto close = [&](qsizetype end) {
        while (end > valueAt && isSpace(p[end - 1])) --end;
        if (matching && valueAt >= 0) found = std::pair(valueAt, end);
        valueAt = -1;
        matching = false;
    };
    for (++i; i < n; ++i) {
        const char c = p[i];
        if (c == '"') {
            const qsizetype end = closingQuote(p, i, n);
            if (end == n) return std::nullopt;
            if (depth == 1 && keyNext) {
                const std::string_view name(p + i + 1, size_t(end - i - 1));
                if (name.find('\\') != std::string_view::npos) return std::nullopt;
                matching = name == key;
                keyNext = false;
            }
            i = end;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (--depth == 0) {
                close(i);
                return found;
            }
        } else if (depth == 1 && c == ':' && valueAt < 0) {
            for (valueAt = i + 1; valueAt < n && isSpace(p[valueAt]);) ++valueAt;
        } else if (depth == 1 && c == ',') {
            close(i);
            keyNext = true;
        }
    }
    return std::nullopt; // never closed
}

std::optional<Parsed> Parsed::parse(const QByteArray &bytes) {
    Parsed p;
    p.parser_ = std::make_unique<simdjson::dom::parser>();
    if (!parseFast(*p.parser_, bytes, p.root_)) return std::nullopt;
    return p;
}

std::optional<Value> member(Value obj, const char *key) {
    simdjson::dom::object o;
    if (obj.get_object().get(o) != simdjson::SUCCESS) return std::nullopt;
    const std::string_view k(key);
    std::optional<Value> found;
    for (const auto field : o)
        if (field.key == k) found = field.value; // the last one wins, as in the general parser
    return found;
}

bool asString(Value v, QString &out) {
    std::string_view s;
    if (v.get_string().get(s) != simdjson::SUCCESS) return false;
    out = QString::fromUtf8(s.data(), qsizetype(s.size()));
    return true;
}

bool asInt(Value v, qint64 &out) {
    switch (v.type()) {
    case simdjson::dom::element_type::INT64:
        out = v.get_int64().value_unsafe();
        return true;
    case simdjson::dom::element_type::UINT64: {
        const std::uint64_t u = v.get_uint64().value_unsafe();
        if (u > std::uint64_t(std::numeric_limits<qint64>::max())) return false;
        out = qint64(u);
        return true;
    }
    case simdjson::dom::element_type::DOUBLE: {
        const double d = v.get_double().value_unsafe();
        if (!std::isfinite(d) || d != std::trunc(d) || d < -9.2e18 || d > 9.2e18) return false;
        out = qint64(d);
        return true;
    }
    default:
        return false;
    }
}

bool asDouble(Value v, double &out) {
    switch (v.type()) {
    case simdjson::dom::element_type::INT64:
        out = double(v.get_int64().value_unsafe());
        return true;
    case simdjson::dom::element_type::UINT64:
        out = double(v.get_uint64().value_unsafe());
        return true;
    case simdjson::dom::element_type::DOUBLE:
        out = v.get_double().value_unsafe();
        return true;
    default:
        return false;
    }
}

bool asBool(Value v, bool &out) {
    return v.get_bool().get(out) == simdjson::SUCCESS;
}

bool readString(Value obj, const char *key, QString &out) {
    const auto v = member(obj, key);
    return v && asString(*v, out);
}

bool readInt(Value obj, const char *key, qint64 &out) {
    const auto v = member(obj, key);
    return v && asInt(*v, out);
}

bool readDouble(Value obj, const char *key, double &out) {
    const auto v = member(obj, key);
    return v && asDouble(*v, out);
}

bool readBool(Value obj, const char *key, bool &out) {
    const auto v = member(obj, key);
    return v && asBool(*v, out);
}

bool readStrings(Value obj, const char *key, QStringList &out) {
    const auto v = member(obj, key);
    simdjson::dom::array a;
    if (!v || v->get_array().get(a) != simdjson::SUCCESS) return false;
    QStringList list;
    list.reserve(qsizetype(a.size()));
    for (const Value e : a) {
        QString s;
        if (!asString(e, s)) return false;
        list.append(std::move(s));
    }
    out = std::move(list);
    return true;
}
} // namespace RecordJson
