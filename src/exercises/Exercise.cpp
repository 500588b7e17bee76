#include "exercises/Exercise.h"

#include "platform/RecordJson.h"
#include <algorithm>
#include <cmath>
#include <limits>

using namespace RecordJson;

qint64 Exercise::totalDuration() const {
    constexpr qint64 maxV = std::numeric_limits<qint64>::max();
    qint64 sum = 0;
    for (const ExerciseStep &s : steps) {
        const qint64 d = std::max<qint64>(s.durationSecs, 0);
        if (sum > maxV - d) return maxV;
        sum += d;
    }
    return sum;
}

namespace ExerciseJson {
qint64 clampStepSecs(qint64 s) {
    return std::clamp<qint64>(s, 0, kMaxStepSecs);
}

namespace {
void appendStep(QByteArray &out, const ExerciseStep &s) {
    appendKey(out.append('{'), "id");
    appendString(out, s.id);
    appendKey(out.append(','), "title");
    appendString(out, s.title);
    appendKey(out.append(','), "instruction");
    appendString(out, s.instruction);
    appendKey(out.append(','), "durationSecs");
    appendInt(out, s.durationSecs);
    const std::pair<const char *, const std::optional<QString> *> links[] = {
        {"imagePath", &s.imagePath}, {"imageURL", &s.imageURL}, {"videoURL", &s.videoURL}};
    for (const auto &[key, value] : links) {
        if (!*value) continue;
        appendKey(out.append(','), key);
        appendString(out, **value);
    }
    out.append('}');
}

// A step length: any integral JSON number, clamped to 0…kMaxStepSecs, so a value too large for 64
// bits (or written as 1e12) is clamped like any other instead of making the document unreadable.
bool readDuration(Value o, const char *key, qint64 &out) {
    const auto v = member(o, key);
    if (!v) return false;
    switch (v->type()) {
    case simdjson::dom::element_type::INT64:
        out = clampStepSecs(v->get_int64().value_unsafe());
        return true;
    case simdjson::dom::element_type::UINT64: {
        const std::uint64_t u = v->get_uint64().value_unsafe();
        out = u <= std::uint64_t(kMaxStepSecs) ? qint64(u) : kMaxStepSecs;
        return true;
    }
    case simdjson::dom::element_type::DOUBLE: {
        const double d = v->get_double().value_unsafe();
        if (!std::isfinite(d) || d != std::trunc(d)) return false;
        out = d <= 0 ? 0 : d >= double(kMaxStepSecs) ? kMaxStepSecs : qint64(d);
        return true;
    }
    default:
        return false;
    }
}

// An optional link: missing or null gives none; anything present must be a string.
bool readLink(Value o, const char *key, std::optional<QString> &out) {
    const auto v = member(o, key);
    if (!v || v->is_null()) return true;
    QString s;
    if (!asString(*v, s)) return false;
    out = s;
    return true;
}

std::optional<ExerciseStep> readStep(Value o) {
    if (!o.is_object()) return std::nullopt;
    ExerciseStep s;
    if (!readString(o, "id", s.id) || !readString(o, "title", s.title) ||
        !readString(o, "instruction", s.instruction) || !readDuration(o, "durationSecs", s.durationSecs) ||
        !readLink(o, "imagePath", s.imagePath) || !readLink(o, "imageURL", s.imageURL) ||
        !readLink(o, "videoURL", s.videoURL))
        return std::nullopt;
    return s;
}

std::optional<Exercise> readExercise(Value o) {
    if (!o.is_object()) return std::nullopt;
    Exercise e;
    if (!readString(o, "id", e.id) || !readString(o, "name", e.name) || !readString(o, "emoji", e.emoji) ||
        !readString(o, "category", e.category) || !readBool(o, "isBuiltIn", e.isBuiltIn) ||
        !readString(o, "accentHex", e.accentHex))
        return std::nullopt;
    const auto stepsValue = member(o, "steps");
    simdjson::dom::array steps;
    if (!stepsValue || stepsValue->get_array().get(steps) != simdjson::SUCCESS) return std::nullopt;
    e.steps.reserve(steps.size());
    for (const Value js : steps) {
        auto s = readStep(js);
        if (!s) return std::nullopt;
        e.steps.push_back(std::move(*s));
    }
    return e;
}
} // namespace

void appendExercise(QByteArray &out, const Exercise &e) {
    appendKey(out.append('{'), "id");
    appendString(out, e.id);
    appendKey(out.append(','), "name");
    appendString(out, e.name);
    appendKey(out.append(','), "emoji");
    appendString(out, e.emoji);
    appendKey(out.append(','), "category");
    appendString(out, e.category);
    appendKey(out.append(','), "steps");
    appendArray(out, e.steps, appendStep);
    appendKey(out.append(','), "isBuiltIn");
    appendBool(out, e.isBuiltIn);
    appendKey(out.append(','), "accentHex");
    appendString(out, e.accentHex);
    out.append('}');
}

QByteArray encodeOne(const Exercise &e) {
    QByteArray out;
    appendExercise(out, e);
    return out;
}

QByteArray encodeList(const std::vector<Exercise> &list) {
    QByteArray out;
    appendArray(out, list, appendExercise);
    return out;
}

std::optional<Exercise> decodeOne(const QByteArray &bytes) {
    const auto doc = Parsed::parse(bytes);
    if (!doc) return std::nullopt;
    return readExercise(doc->root());
}

std::optional<std::vector<Exercise>> decodeList(const QByteArray &bytes) {
    return readArray(bytes, readExercise);
}
} // namespace ExerciseJson
