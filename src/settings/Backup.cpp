#include "settings/Backup.h"
#include "health/HReminder.h"
#include "platform/Keys.h"
#include "platform/PrefsSql.h"
#include "platform/RecordJson.h"
#include "pomodoro/Phase.h"
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace Backup {
namespace {
enum class Kind { number, boolean, string, arrayDoc, objectDoc };

const std::map<QString, Kind> &kinds() {
    static const std::map<QString, Kind> k = [] {
        std::map<QString, Kind> m;
        for (const char *key : {kWorkMins, kBreakMins, kLongBreakMins, kCyclesBeforeLong, kRemaining, kTimestamp,
                                kCycleCount, kWaterMins, kEyesMins, kPostureMins, kStretchMins, kPomTodayCount,
                                kPomTotalCount, kPomStreak, kPomFocusSecs})
            m[QLatin1String(key)] = Kind::number;
        for (const char *key : {kSoundOn, kNotifOn, kWasRunning, kWaterOn, kEyesOn, kPostureOn, kStretchOn, kWaterSnd,
                                kEyesSnd, kPostureSnd, kStretchSnd})
            m[QLatin1String(key)] = Kind::boolean;
        for (const char *key : {kPhase, kPomLastDate, kPomStreakLast, kLanguage}) m[QLatin1String(key)] = Kind::string;
        for (const char *key : {kTasks, kFinances, kCustomReminders, kExerciseLibrary, kExerciseHistory, kProjects, kNotes})
            m[QLatin1String(key)] = Kind::arrayDoc;
        m[QLatin1String(kPlaylistState)] = Kind::objectDoc;
        return m;
    }();
    return k;
}

// Standard Base64 only: the alphabet, "=" padding, no line breaks or other characters.
std::optional<QByteArray> strictBase64(const std::string &text) {
    const QByteArray in = QByteArray::fromStdString(text);
    auto r = QByteArray::fromBase64Encoding(in, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!r || r.decoded.toBase64() != in) return std::nullopt;
    return r.decoded;
}

// What the app falls back to when a number key holds nothing usable.
nlohmann::json defaultNumber(const QString &key) {
    for (Phase p : {Phase::work, Phase::rest, Phase::longRest})
        if (key == QLatin1String(Phases::lengthKey(p))) return Phases::defaultMinutes(p);
    if (key == QLatin1String(kCyclesBeforeLong)) return 4;
    for (const HReminder &r : HReminder::all())
        if (key == r.key) return r.defaultMins;
    return 0; // counters and the timer's saved state: a missing number reads 0
}

bool documentOfKind(const QByteArray &bytes, Kind kind) {
    const auto doc = RecordJson::parse(bytes); // the readers' limits: a deeper document would not load
    if (!doc) return false;
    return kind == Kind::objectDoc ? doc->is_object() : doc->is_array();
}
} // namespace

const QStringList &backedUpKeys() {
    static const QStringList keys = {
        kWorkMins,  kBreakMins,    kLongBreakMins,  kCyclesBeforeLong, kSoundOn,      kNotifOn,        kPhase,
        kRemaining, kTimestamp,    kWasRunning,     kCycleCount,       kTasks,        kWaterMins,      kEyesMins,
        kPostureMins, kStretchMins, kWaterOn,       kEyesOn,           kPostureOn,    kStretchOn,      kWaterSnd,
        kEyesSnd,   kPostureSnd,   kStretchSnd,     kFinances,         kPomTodayCount, kPomTotalCount, kPomStreak,
        kPomFocusSecs, kPomLastDate, kPomStreakLast, kCustomReminders, kExerciseLibrary, kExerciseHistory,
        kPlaylistState, kProjects, kNotes,          kLanguage};
    return keys;
}

const QStringList &documentKeys() {
    static const QStringList keys = {kTasks,           kFinances,      kCustomReminders, kExerciseLibrary,
                                     kExerciseHistory, kPlaylistState, kProjects,        kNotes};
    return keys;
}

std::optional<Export> exportJson(const Prefs &prefs) {
    Export ex;
    nlohmann::json root = nlohmann::json::object(); // std::map underneath: members sorted by name
    for (const QString &key : backedUpKeys()) {
        const auto v = prefs.value(key);
        if (!v) {
            if (prefs.hasForeignRow(key)) ex.leftOut << key; // a row the app cannot read
            continue;
        }
        nlohmann::json member;
        switch (kinds().at(key)) {
        case Kind::number:
            if (const auto *i = std::get_if<qint64>(&*v)) {
                member = *i;
            } else {
                const double d = prefs.doubleValue(key); // as the app reads it
                if (std::isfinite(d)) {
                    member = d;
                } else {
                    member = defaultNumber(key);
                    ex.defaulted << key;
                }
            }
            break;
        case Kind::boolean:
            // The timer's running flag reads loosely; every other switch is on unless false is stored.
            member = key == QLatin1String(kWasRunning) ? prefs.boolValue(key) : prefs.switchOn(key);
            break;
        case Kind::string:
            if (const auto s = prefs.string(key))
                member = s->toStdString();
            else
                continue; // bytes where text belongs: absent, so its reader's default applies
            break;
        case Kind::arrayDoc:
        case Kind::objectDoc: {
            // Only what the restore accepts goes in, so a backup taken beside damage still restores.
            const auto *bytes = std::get_if<QByteArray>(&*v);
            if (!bytes || !documentOfKind(*bytes, kinds().at(key))) {
                ex.leftOut << key;
                continue;
            }
            member = bytes->toBase64().toStdString();
            break;
        }
        }
        root[key.toStdString()] = std::move(member);
    }
    std::string out;
    try {
        out = root.dump(2);
    } catch (const nlohmann::json::exception &) {
        return std::nullopt; // a stored string that is not valid UTF-8
    }
    // Outside strings JSON has no "/", so escaping every one escapes exactly those inside strings.
    ex.bytes = QByteArray::fromStdString(out);
    ex.bytes.replace("/", "\\/");
    return ex;
}

std::optional<std::map<QString, Prefs::Value>> parseRestore(const QByteArray &bytes, LongText::Found *tooLong) {
    const auto root = RecordJson::parse(bytes);
    if (!root || !root->is_object()) return std::nullopt;
    std::map<QString, Prefs::Value> out;
    for (const auto &[name, value] : root->items()) {
        const auto kind = kinds().find(QString::fromStdString(name));
        if (kind == kinds().end()) continue;
        const QString key = kind->first;
        switch (kind->second) {
        case Kind::boolean:
            if (!value.is_boolean()) return std::nullopt;
            out[key] = value.get<bool>();
            break;
        case Kind::number:
            if (value.is_number_integer() &&
                (!value.is_number_unsigned() ||
                 value.get<quint64>() <= quint64(std::numeric_limits<qint64>::max())))
                out[key] = value.get<qint64>();
            else if (value.is_number()) {
                const double d = value.get<double>();
                if (!std::isfinite(d)) return std::nullopt;
                out[key] = d;
            } else
                return std::nullopt;
            break;
        case Kind::string:
            if (!value.is_string()) return std::nullopt;
            out[key] = QString::fromStdString(value.get<std::string>());
            break;
        case Kind::arrayDoc:
        case Kind::objectDoc: {
            if (!value.is_string()) return std::nullopt;
            const auto doc = strictBase64(value.get<std::string>());
            if (!doc || !documentOfKind(*doc, kind->second)) return std::nullopt;
            if (auto found = key == QLatin1String(kNotes) ? LongText::find(*doc, LongText::kNoteData)
                                                          : LongText::find(*doc)) {
                found->field = key + QStringLiteral(" › ") + found->field;
                if (tooLong) *tooLong = *found;
                return std::nullopt;
            }
            out[key] = *doc;
            break;
        }
        }
    }
    if (out.empty()) return std::nullopt; // {} or another program's JSON
    return out;
}

bool isKeptAsideKey(const QString &key) { return PrefsSql::isKeptAsideKey(key); }

std::map<QString, Prefs::Value> restoredDomain(const Prefs &current, const std::map<QString, Prefs::Value> &fromFile) {
    std::map<QString, Prefs::Value> out = fromFile;
    for (const QString &key : current.keys()) {
        if (key == QLatin1String(kAutostartDefaultSet) || isKeptAsideKey(key))
            if (const auto v = current.value(key)) out[key] = *v;
    }
    return out;
}
} // namespace Backup
