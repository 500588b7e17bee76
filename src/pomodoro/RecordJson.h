#pragma once
#include <QByteArray>
#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

// Strict reading and compact writing of the records in the stores' JSON documents. Records are written
// with nlohmann::ordered_json so their keys keep field order; on reading every key is required with its
// exact JSON type (a missing key, a null or a wrong type makes the record, and so the document,
// unreadable). Extra keys are ignored.
namespace RecordJson {
using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// A fresh record id: a random UUID in its 36-character upper-case form.
QString newId();

// The parsed document, or nothing when the bytes are not JSON.
std::optional<Json> parse(const QByteArray &bytes);

// Compact output (no spaces, no indentation). Text that is not valid UTF-8 is replaced, never thrown.
QByteArray dump(const OrderedJson &doc);

inline nlohmann::ordered_json str(const QString &s) { return s.toStdString(); }

bool readString(const Json &obj, const char *key, QString &out);
// A JSON integer, or a number with an integral value that fits in 64 bits.
bool readInt(const Json &obj, const char *key, qint64 &out);
// Any JSON number.
bool readDouble(const Json &obj, const char *key, double &out);
bool readBool(const Json &obj, const char *key, bool &out);
// An array of strings.
bool readStrings(const Json &obj, const char *key, QStringList &out);
} // namespace RecordJson
