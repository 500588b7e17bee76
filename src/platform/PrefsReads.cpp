#include "platform/Prefs.h"

#include <cmath>
#include <limits>

// The typed reads, with the loose conversions the app relies on: a missing number reads 0, a missing
// Bool false, numeric strings read as numbers.

namespace {
qint64 clampToInt(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.2e18) return std::numeric_limits<qint64>::max();
    if (d <= -9.2e18) return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d); // cut towards zero, as the platform's integer read does
}

// Leading number of a string, as the platform's loose numeric read takes it ("12abc" is 12, "x" is 0).
double leadingNumber(const QString &s) {
    const QByteArray b = s.trimmed().toUtf8();
    if (b.isEmpty()) return 0;
    char *end = nullptr;
    double d = std::strtod(b.constData(), &end);
    if (end == b.constData()) return 0;
    return d;
}

double asDouble(const Prefs::Value *p) {
    if (!p) return 0;
    const Prefs::Value &v = *p;
    if (auto b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    if (auto i = std::get_if<qint64>(&v)) return static_cast<double>(*i);
    if (auto d = std::get_if<double>(&v)) return *d;
    if (auto s = std::get_if<QString>(&v)) return leadingNumber(*s);
    return 0;
}
} // namespace

template <class F> auto Prefs::withEntry(const QString &key, F f) const {
    QMutexLocker l(&lock_);
    auto it = cache_.find(key);
    return f(it == cache_.end() ? nullptr : &it->second.v);
}

bool Prefs::isData(const QString &key) const {
    return withEntry(key, [](const Value *v) { return v && std::holds_alternative<QByteArray>(*v); });
}

bool Prefs::isBool(const QString &key) const {
    return withEntry(key, [](const Value *v) { return v && std::holds_alternative<bool>(*v); });
}

bool Prefs::boolValue(const QString &key) const {
    return withEntry(key, [](const Value *p) {
        if (!p) return false;
        const Value &v = *p;
        if (auto b = std::get_if<bool>(&v)) return *b;
        if (auto i = std::get_if<qint64>(&v)) return *i != 0;
        if (auto d = std::get_if<double>(&v)) return *d != 0 && !std::isnan(*d);
        if (auto s = std::get_if<QString>(&v)) {
            const QString t = s->trimmed().toLower();
            if (t == QLatin1String("yes") || t == QLatin1String("true")) return true;
            return leadingNumber(t) != 0;
        }
        return false;
    });
}

double Prefs::doubleValue(const QString &key) const {
    return withEntry(key, asDouble);
}

qint64 Prefs::integer(const QString &key) const {
    return withEntry(key, [](const Value *p) {
        if (!p) return qint64(0);
        if (auto i = std::get_if<qint64>(p)) return *i;
        return clampToInt(asDouble(p));
    });
}

std::optional<QString> Prefs::string(const QString &key) const {
    return withEntry(key, [](const Value *p) -> std::optional<QString> {
        if (!p) return std::nullopt;
        const Value &v = *p;
        if (auto s = std::get_if<QString>(&v)) return *s;
        if (auto b = std::get_if<bool>(&v)) return QString::number(*b ? 1 : 0);
        if (auto i = std::get_if<qint64>(&v)) return QString::number(*i);
        if (auto d = std::get_if<double>(&v)) return QString::number(*d, 'g', 17);
        return std::nullopt;
    });
}

bool Prefs::switchOn(const QString &key) const {
    return withEntry(key, [](const Value *p) {
        const auto *b = p ? std::get_if<bool>(p) : nullptr;
        return b ? *b : true;
    });
}
