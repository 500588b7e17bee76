#include "health/CustomReminder.h"

#include "platform/RecordJson.h"

#include <nlohmann/json.hpp>

namespace {
using ojson = nlohmann::ordered_json;

constexpr qint64 kMinYear = 1;
constexpr qint64 kMaxYear = 9999;

bool inRange(qint64 v, qint64 lo, qint64 hi) {
    return v >= lo && v <= hi;
}

// Absent and null both mean "no value"; anything else must be an integer.
bool optionalInt(RecordJson::Value o, const char *name, std::optional<qint64> &out) {
    const auto v = RecordJson::member(o, name);
    if (!v || v->is_null()) {
        out.reset();
        return true;
    }
    qint64 n = 0;
    if (!RecordJson::asInt(*v, n)) return false;
    out = n;
    return true;
}

std::optional<CustomReminder> decodeOne(RecordJson::Value o) {
    if (!o.is_object()) return std::nullopt;
    CustomReminder r;
    using namespace RecordJson;
    const bool ok = readString(o, "id", r.id) && readInt(o, "hour", r.hour) && readInt(o, "minute", r.minute) &&
                    readString(o, "text", r.text) && readBool(o, "enabled", r.enabled) &&
                    optionalInt(o, "startDay", r.startDay) && optionalInt(o, "startMonth", r.startMonth) &&
                    optionalInt(o, "startYear", r.startYear) &&
                    readBool(o, "dailyCheckpoint", r.dailyCheckpoint) && readBool(o, "done", r.done) &&
                    readInt(o, "dailyTarget", r.dailyTarget) && readInt(o, "shownCount", r.shownCount) &&
                    readString(o, "shownDate", r.shownDate);
    if (!ok) return std::nullopt;
    return r;
}
} // namespace

QString CustomReminder::newId() { return RecordJson::newId(); }

QString CustomReminder::timeString() const {
    return QString::asprintf("%02lld:%02lld", hour, minute);
}

QString CustomReminder::dateLabel() const {
    if (!hasStartDate()) return QStringLiteral("Every day");
    return QString::asprintf("%02lld.%02lld.%04lld", *startDay, *startMonth, *startYear);
}

std::optional<QDateTime> CustomReminder::startDate() const {
    if (!hasStartDate()) return std::nullopt;
    if (!inRange(*startMonth, 1, 12) || !inRange(*startDay, 1, 31) ||
        !inRange(*startYear, kMinYear, kMaxYear) || !inRange(hour, 0, 23) || !inRange(minute, 0, 59))
        return std::nullopt;
    const QDate d = QDate(int(*startYear), int(*startMonth), 1).addDays(*startDay - 1);
    return localMoment(d, int(hour), int(minute));
}

bool CustomReminder::isArmable() const {
    if (!inRange(hour, 0, 23) || !inRange(minute, 0, 59)) return false;
    return !hasStartDate() || startDate().has_value();
}

QDateTime localMoment(QDate d, int hour, int minute) {
    QDateTime t(d, QTime(hour, minute));
    if (!t.isValid()) t = d.startOfDay().addSecs(qint64(hour) * 3600 + qint64(minute) * 60);
    return t;
}

namespace CustomReminderDoc {
QByteArray encode(const std::vector<CustomReminder> &items) {
    ojson arr = ojson::array();
    for (const CustomReminder &r : items) {
        ojson o;
        o["id"] = r.id.toStdString();
        o["hour"] = r.hour;
        o["minute"] = r.minute;
        o["text"] = r.text.toStdString();
        o["enabled"] = r.enabled;
        if (r.startDay) o["startDay"] = *r.startDay;
        if (r.startMonth) o["startMonth"] = *r.startMonth;
        if (r.startYear) o["startYear"] = *r.startYear;
        o["dailyCheckpoint"] = r.dailyCheckpoint;
        o["done"] = r.done;
        o["dailyTarget"] = r.dailyTarget;
        o["shownCount"] = r.shownCount;
        o["shownDate"] = r.shownDate.toStdString();
        arr.push_back(std::move(o));
    }
    return QByteArray::fromStdString(arr.dump(-1, ' ', false, ojson::error_handler_t::replace));
}

std::optional<std::vector<CustomReminder>> decode(const QByteArray &bytes) {
    // One bad record makes the whole document unreadable.
    return RecordJson::readArray(bytes, decodeOne);
}
} // namespace CustomReminderDoc
