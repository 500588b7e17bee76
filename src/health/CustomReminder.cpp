#include "health/CustomReminder.h"

#include <QUuid>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace {
using json = nlohmann::json;
using ojson = nlohmann::ordered_json;

constexpr qint64 kMinYear = 1;
constexpr qint64 kMaxYear = 9999;

bool inRange(qint64 v, qint64 lo, qint64 hi) {
    return v >= lo && v <= hi;
}

// An integer as a JSON decoder for a 64-bit integer takes it: integral numbers only, 7.0 included.
std::optional<qint64> readInt(const json &v) {
    if (v.is_number_integer()) {
        if (v.is_number_unsigned() &&
            v.get<json::number_unsigned_t>() > json::number_unsigned_t(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return v.get<qint64>();
    }
    if (v.is_number_float()) {
        const double d = v.get<double>();
        if (!std::isfinite(d) || std::trunc(d) != d || d < -9.2e18 || d > 9.2e18) return std::nullopt;
        return qint64(d);
    }
    return std::nullopt;
}

template <class F> bool required(const json &o, const char *name, F &&take) {
    auto it = o.find(name);
    return it != o.end() && take(*it);
}

bool readString(const json &v, QString &out) {
    if (!v.is_string()) return false;
    out = QString::fromStdString(v.get<std::string>());
    return true;
}

bool readBool(const json &v, bool &out) {
    if (!v.is_boolean()) return false;
    out = v.get<bool>();
    return true;
}

bool readInto(const json &v, qint64 &out) {
    auto n = readInt(v);
    if (n) out = *n;
    return bool(n);
}

// Absent and null both mean "no value"; anything else must be an integer.
bool optionalInt(const json &o, const char *name, std::optional<qint64> &out) {
    auto it = o.find(name);
    if (it == o.end() || it->is_null()) {
        out.reset();
        return true;
    }
    out = readInt(*it);
    return bool(out);
}

std::optional<CustomReminder> decodeOne(const json &o) {
    if (!o.is_object()) return std::nullopt;
    CustomReminder r;
    const bool ok =
        required(o, "id", [&](const json &v) { return readString(v, r.id); }) &&
        required(o, "hour", [&](const json &v) { return readInto(v, r.hour); }) &&
        required(o, "minute", [&](const json &v) { return readInto(v, r.minute); }) &&
        required(o, "text", [&](const json &v) { return readString(v, r.text); }) &&
        required(o, "enabled", [&](const json &v) { return readBool(v, r.enabled); }) &&
        optionalInt(o, "startDay", r.startDay) && optionalInt(o, "startMonth", r.startMonth) &&
        optionalInt(o, "startYear", r.startYear) &&
        required(o, "dailyCheckpoint", [&](const json &v) { return readBool(v, r.dailyCheckpoint); }) &&
        required(o, "done", [&](const json &v) { return readBool(v, r.done); }) &&
        required(o, "dailyTarget", [&](const json &v) { return readInto(v, r.dailyTarget); }) &&
        required(o, "shownCount", [&](const json &v) { return readInto(v, r.shownCount); }) &&
        required(o, "shownDate", [&](const json &v) { return readString(v, r.shownDate); });
    if (!ok) return std::nullopt;
    return r;
}
} // namespace

QString CustomReminder::newId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

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
    const json doc = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_array()) return std::nullopt;
    std::vector<CustomReminder> out;
    out.reserve(doc.size());
    for (const json &o : doc) {
        auto r = decodeOne(o);
        if (!r) return std::nullopt; // one bad record makes the whole document unreadable
        out.push_back(std::move(*r));
    }
    return out;
}
} // namespace CustomReminderDoc
