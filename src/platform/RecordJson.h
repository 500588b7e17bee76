#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>
#include <simdjson.h>

// Strict reading and compact writing of the records in the stores' JSON documents. Records are written
// with their keys in field order; on reading every key is required with its exact JSON type (a missing
// key, a null or a wrong type makes the record, and so the document, unreadable). Extra keys are ignored.
namespace RecordJson {
using Json = nlohmann::json;

// A fresh record id: a random UUID in its 36-character upper-case form.
QString newId();

// Every reader refuses the same documents: strict JSON (RFC 8259) with only whitespace after the
// value, so a NUL byte anywhere makes a document unreadable (JSON has none; the general parser would
// take it for the end of the text), and arrays and objects nested at most this deep. It is simdjson's
// own limit; stored documents nest five deep at most. A deeper document is refused before anything
// walks it, since a walk of the tree, a dump or a copy, recurses once per level.
inline constexpr int kMaxDepth = 1024;

// The parsed document, or nothing when the bytes are not JSON or go beyond kMaxDepth.
std::optional<Json> parse(const QByteArray &bytes);

// Compact output, written straight into a byte array: at every change a store writes its whole
// document, and building an ordered_json tree first made a save of 20 000 tasks take 70 ms. The bytes
// are exactly what ordered_json::dump() gives for the same records (pinned by a test): strings as UTF-8
// with only '"', '\\' and control characters escaped, integers in decimal, doubles in nlohmann's form
// except that a whole double has no ".0" (100, not 100.0).
void appendString(QByteArray &out, const QString &s);
// The characters of such a string without its quotes: a text written a stretch at a time (never cut
// inside a surrogate pair) gives the characters of the whole.
void appendStringChars(QByteArray &out, QStringView s);
// How many bytes appendStringChars() writes for a text held as valid UTF-8 (as a parse hands its
// strings over), counted without making the text.
qsizetype escapedSize(std::string_view utf8);
void appendKey(QByteArray &out, const char *key); // "key":
void appendInt(QByteArray &out, qint64 v);
void appendDouble(QByteArray &out, double v);
inline void appendBool(QByteArray &out, bool v) {
    out.append(v ? "true" : "false");
}

// Writes items as a JSON array, each one by append(out, item).
template <class Items, class Append> void appendArray(QByteArray &out, const Items &items, Append append) {
    out.append('[');
    bool first = true;
    for (const auto &item : items) {
        if (!first) out.append(',');
        first = false;
        append(out, item);
    }
    out.append(']');
}

bool readString(const Json &obj, const char *key, QString &out);
// A JSON integer, or a number with an integral value that fits in 64 bits.
bool readInt(const Json &obj, const char *key, qint64 &out);
// Any JSON number.
bool readDouble(const Json &obj, const char *key, double &out);
bool readBool(const Json &obj, const char *key, bool &out);
// An array of strings.
bool readStrings(const Json &obj, const char *key, QStringList &out);

// Fast reading, for the stores' documents (tens of megabytes at launch): the same rules as above over
// a simdjson tree. A member that appears twice counts with its last value, as above; a byte-order
// mark is skipped and an integer beyond 64 bits reads as a double, as above.
using Value = simdjson::dom::element;

// Parses bytes into parser under the rules above: a byte-order mark is skipped and a number simdjson
// refuses but the general parser reads (an integer beyond 64 bits) is read as the general parser does.
// root points into the parser. padded: bytes are followed by simdjson::SIMDJSON_PADDING readable bytes,
// so the parse reads them where they are instead of copying them first.
bool parseFast(simdjson::dom::parser &parser, QByteArrayView bytes, Value &root, bool padded = false);

// A document that is a JSON array, read element by element: each element is parsed on its own with
// one parser, whose memory then follows the largest element rather than the whole document (simdjson
// takes about 13 bytes per byte it parses). The rules are those of parseFast() over the whole: false
// for bytes it would refuse, or that are no array. fn gets the elements in order and returns false to
// stop, which makes the result false too.
bool forEachElement(QByteArrayView bytes, const std::function<bool(Value)> &fn);
// The elements are parsed in chunks of about this many bytes. A quarter of a megabyte: the parser's
// buffers for a chunk stay within the processor's cache, and a launch maps a quarter of the memory for
// them that chunks of a megabyte took (the five-year profile's 40 MB parse in 13 ms in chunks of this
// size, in 17 ms in chunks of a megabyte).
inline constexpr qsizetype kChunkBytes = 256 << 10;
// The same in chunks of about chunkBytes: the answer is the same whatever the size, which a test
// checks with small chunks.
bool forEachElement(QByteArrayView bytes, const std::function<bool(Value)> &fn, qsizetype chunkBytes);

// A JSON array of records, read record by record through forEachElement(): the parse takes memory for
// a chunk of records, not for the whole document. read(element) gives a record (a std::optional), or
// nothing for one it refuses, which makes the whole document unreadable.
template <class Read>
auto readArray(QByteArrayView bytes, Read read)
    -> std::optional<std::vector<typename std::invoke_result_t<Read, Value>::value_type>> {
    std::vector<typename std::invoke_result_t<Read, Value>::value_type> out;
    const bool ok = forEachElement(bytes, [&](Value o) {
        auto r = read(o);
        if (!r) return false;
        out.push_back(std::move(*r));
        return true;
    });
    if (!ok) return std::nullopt;
    return out;
}

// Where an object's member's value lies in the object's bytes (the value's first byte and the one
// after its last), found by crossing the bytes without parsing them: for a large member read straight
// from the bytes and taken out of them before they are parsed. The member counts with its last value,
// as the readers take it. Nothing when the bytes are no object, the key is not there, or a key of the
// object is written with an escape (its name is then not known without unescaping it). The bytes are
// not checked as JSON: a parse of them tells.
std::optional<std::pair<qsizetype, qsizetype>> memberSpan(QByteArrayView object, std::string_view key);

class Parsed {
public:
    // The parsed document, or nothing when the bytes are not JSON.
    static std::optional<Parsed> parse(const QByteArray &bytes);
    Value root() const { return root_; }
    bool isArray() const { return root_.is_array(); }
    bool isObject() const { return root_.is_object(); }

private:
    std::unique_ptr<simdjson::dom::parser> parser_; // owns the tree root_ points into
    Value root_;
};

// The member's value (the last one when the key repeats), or nothing; nothing too for a non-object.
std::optional<Value> member(Value obj, const char *key);

// Every member a record is read from, in one pass over the object's fields (asking for each member
// by name scans the fields once per member): found[i] is the value of keys[i], the last one when the
// key repeats; other keys are ignored. False for a non-object or when a key is missing. keys are
// given in the order the documents write them, which is tried first.
template <std::size_t N>
bool members(Value obj, const std::array<std::string_view, N> &keys, std::array<Value, N> &found) {
    static_assert(N <= 64);
    simdjson::dom::object o;
    if (obj.get_object().get(o) != simdjson::SUCCESS) return false;
    std::uint64_t seen = 0;
    std::size_t next = 0;
    for (const auto field : o) {
        std::size_t k = 0;
        if (next < N && field.key == keys[next])
            k = next;
        else
            while (k < N && field.key != keys[k]) ++k;
        if (k == N) continue;
        found[k] = field.value;
        seen |= std::uint64_t(1) << k;
        next = k + 1;
    }
    return seen == (N == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << N) - 1);
}
// The value itself, with the rules of the read functions below.
bool asString(Value v, QString &out);
bool asInt(Value v, qint64 &out);
bool asDouble(Value v, double &out);
bool asBool(Value v, bool &out);

bool readString(Value obj, const char *key, QString &out);
bool readInt(Value obj, const char *key, qint64 &out);
bool readDouble(Value obj, const char *key, double &out);
bool readBool(Value obj, const char *key, bool &out);
bool readStrings(Value obj, const char *key, QStringList &out);
} // namespace RecordJson
