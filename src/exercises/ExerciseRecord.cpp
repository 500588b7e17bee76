#include "exercises/ExerciseRecord.h"

#include "platform/Clock.h"
#include "platform/RecordJson.h"

using namespace RecordJson;

ExerciseRecord ExerciseRecord::make(const QString &name, const QString &emoji, qint64 durationSecs) {
    const QDate d = Clock::get().today();
    return {newId(), name, emoji, d.day(), d.month(), d.year(), durationSecs};
}

namespace ExerciseHistoryJson {
void append(QByteArray &out, const ExerciseRecord &r) {
    appendKey(out.append('{'), "id");
    appendString(out, r.id);
    appendKey(out.append(','), "name");
    appendString(out, r.name);
    appendKey(out.append(','), "emoji");
    appendString(out, r.emoji);
    appendKey(out.append(','), "day");
    appendInt(out, r.day);
    appendKey(out.append(','), "month");
    appendInt(out, r.month);
    appendKey(out.append(','), "year");
    appendInt(out, r.year);
    appendKey(out.append(','), "durationSecs");
    appendInt(out, r.durationSecs);
    out.append('}');
}

QByteArray encode(const std::vector<ExerciseRecord> &records) {
    QByteArray out;
    out.reserve(qsizetype(records.size()) * 120 + 2);
    appendArray(out, records, [](QByteArray &o, const ExerciseRecord &r) { append(o, r); });
    return out;
}

std::optional<std::vector<ExerciseRecord>> decode(const QByteArray &bytes) {
    static constexpr std::array<std::string_view, 7> keys{"id",    "name", "emoji",       "day",
                                                          "month", "year", "durationSecs"};
    std::array<RecordJson::Value, keys.size()> m;
    return readArray(bytes, [&](Value o) -> std::optional<ExerciseRecord> {
        ExerciseRecord r;
        if (!members(o, keys, m) || !asString(m[0], r.id) || !asString(m[1], r.name) ||
            !asString(m[2], r.emoji) || !asInt(m[3], r.day) || !asInt(m[4], r.month) || !asInt(m[5], r.year) ||
            !asInt(m[6], r.durationSecs))
            return std::nullopt;
        return r;
    });
}
} // namespace ExerciseHistoryJson
