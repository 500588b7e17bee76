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
bool readDuration(const Json &o, const char *key, qint64 &out) {
    const auto it = o.find(key);
    if (it == o.end()) return false;
    switch (it->type()) {
    case Json::value_t::number_integer:
        out = clampStepSecs(it->get<qint64>());
        return true;
    case Json::value_t::number_unsigned:
        out = kMaxStepSecs; // only values above the signed range reach here as unsigned
        if (it->get<std::uint64_t>() <= std::uint64_t(kMaxStepSecs)) out = qint64(it->get<std::uint64_t>());
        return true;
    case Json::value_t::number_float: {
        const double d = it->get<double>();
        if (!std::isfinite(d) || d != std::trunc(d)) return false;
        out = d <= 0 ? 0 : d >= double(kMaxStepSecs) ? kMaxStepSecs : qint64(d);
        return true;
    }
    default:
        return false;
    }
}

// An optional link: missing or null gives none; anything present must be a string.
bool readLink(const Json &o, const char *key, std::optional<QString> &out) {
    const auto it = o.find(key);
    if (it == o.end() || it->is_null()) return true;
    QString s;
    if (!readString(o, key, s)) return false;
    out = s;
    return true;
}

std::optional<ExerciseStep> readStep(const Json &o) {
    if (!o.is_object()) return std::nullopt;
    ExerciseStep s;
    if (!readString(o, "id", s.id) || !readString(o, "title", s.title) ||
        !readString(o, "instruction", s.instruction) || !readDuration(o, "durationSecs", s.durationSecs) ||
        !readLink(o, "imagePath", s.imagePath) || !readLink(o, "imageURL", s.imageURL) ||
        !readLink(o, "videoURL", s.videoURL))
        return std::nullopt;
    return s;
}

std::optional<Exercise> readExercise(const Json &o) {
    if (!o.is_object()) return std::nullopt;
    Exercise e;
    if (!readString(o, "id", e.id) || !readString(o, "name", e.name) || !readString(o, "emoji", e.emoji) ||
        !readString(o, "category", e.category) || !readBool(o, "isBuiltIn", e.isBuiltIn) ||
        !readString(o, "accentHex", e.accentHex))
        return std::nullopt;
    const auto steps = o.find("steps");
    if (steps == o.end() || !steps->is_array()) return std::nullopt;
    e.steps.reserve(steps->size());
    for (const Json &js : *steps) {
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
    out.append('[');
    for (std::size_t i = 0; i < e.steps.size(); ++i) {
        if (i) out.append(',');
        appendStep(out, e.steps[i]);
    }
    out.append(']');
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
    out.append('[');
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i) out.append(',');
        appendExercise(out, list[i]);
    }
    out.append(']');
    return out;
}

std::optional<Exercise> decodeOne(const QByteArray &bytes) {
    const auto doc = parse(bytes);
    if (!doc) return std::nullopt;
    return readExercise(*doc);
}

std::optional<std::vector<Exercise>> decodeList(const QByteArray &bytes) {
    const auto doc = parse(bytes);
    if (!doc || !doc->is_array()) return std::nullopt;
    std::vector<Exercise> out;
    out.reserve(doc->size());
    for (const Json &o : *doc) {
        auto e = readExercise(o);
        if (!e) return std::nullopt;
        out.push_back(std::move(*e));
    }
    return out;
}
} // namespace ExerciseJson
