#include "finance/FinEntry.h"

#include "platform/RecordJson.h"
#include "ui/Lang.h"
#include <algorithm>
#include <cmath>
#include <numeric>

namespace FinTypes {
QString rawValue(FinType t) {
    return t == FinType::income ? QStringLiteral("income") : QStringLiteral("expense");
}

std::optional<FinType> fromRaw(const QString &raw) {
    if (raw == QLatin1String("income")) return FinType::income;
    if (raw == QLatin1String("expense")) return FinType::expense;
    return std::nullopt;
}

QString display(FinType t) {
    if (t == FinType::income)
        return L::t({.en = "Income",
                     .es = "Ingreso",
                     .de = "Einkommen",
                     .fr = "Revenu",
                     .uk = "Дохід",
                     .pl = "Dochód"});
    return L::t(
        {.en = "Expense", .es = "Gasto", .de = "Ausgabe", .fr = "Dépense", .uk = "Витрата", .pl = "Wydatek"});
}

QColor accent(FinType t) {
    return t == FinType::income ? QColor::fromRgbF(0.13f, 0.77f, 0.37f)
                                : QColor::fromRgbF(1.0f, 0.35f, 0.35f);
}
} // namespace FinTypes

QString finDateStr(int day, int month, int year) {
    return QString::asprintf("%02d.%02d.%04d", day, month, year);
}

bool isValidAmount(double amount) {
    return std::isfinite(amount) && amount > 0;
}

namespace {
bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// A decimal number as the amount field admits it: optional sign, digits with an optional fraction
// (or a fraction alone), an optional exponent. Anything else, blanks included, is refused.
bool looksDecimal(const QString &s) {
    qsizetype i = 0;
    const qsizetype n = s.size();
    if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) ++i;
    qsizetype digits = 0;
    while (i < n && isAsciiDigit(s[i]))
        ++i, ++digits;
    if (i < n && s[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isAsciiDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) ++i;
        qsizetype exp = 0;
        while (i < n && isAsciiDigit(s[i]))
            ++i, ++exp;
        if (exp == 0) return false;
    }
    return i == n;
}

std::optional<qint64> readDecimalInt(QStringView piece) {
    qsizetype i = 0;
    if (!piece.isEmpty() && (piece[0] == QLatin1Char('+') || piece[0] == QLatin1Char('-'))) i = 1;
    if (i == piece.size()) return std::nullopt;
    for (qsizetype k = i; k < piece.size(); ++k)
        if (!isAsciiDigit(piece[k])) return std::nullopt;
    bool ok = false;
    const qint64 v = piece.toString().toLongLong(&ok, 10); // fails on overflow, as it should
    if (!ok) return std::nullopt;
    return v;
}

// UTF-16 units compared so that the result is code point order: units above the surrogates sort
// after them.
int codePointCompare(const QString &a, const QString &b) {
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        ushort x = a[i].unicode(), y = b[i].unicode();
        if (x == y) continue;
        auto fix = [](ushort u) {
            return u >= 0xE000 ? ushort(u - 0x800) : u >= 0xD800 ? ushort(u + 0x2000) : u;
        };
        return fix(x) < fix(y) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
} // namespace

std::optional<double> parseAmountInput(const QString &text) {
    QString s = text;
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    if (!looksDecimal(s)) return std::nullopt;
    bool ok = false;
    const double v = s.toLatin1().toDouble(&ok);
    if (!ok || !isValidAmount(v) || v > kMaxAmountInput) return std::nullopt;
    return v;
}

std::optional<FinDay> splitDateStr(const QString &dateStr) {
    qint64 nums[3];
    int count = 0;
    for (QStringView piece : QStringView(dateStr).split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        const auto v = readDecimalInt(piece);
        if (!v) continue;
        if (count == 3) return std::nullopt;
        nums[count++] = *v;
    }
    if (count != 3) return std::nullopt;
    return FinDay{nums[0], nums[1], nums[2]};
}

std::vector<FinEntry> entriesInDateOrder(const std::vector<FinEntry> &entries, qint64 month, qint64 year) {
    struct Key {
        const FinEntry *e;
        std::optional<FinDay> day;
        size_t index;
    };
    std::vector<Key> keys;
    for (size_t i = 0; i < entries.size(); ++i) {
        const FinEntry &e = entries[i];
        if (e.month == month && e.year == year) keys.push_back({&e, splitDateStr(e.dateStr), i});
    }
    std::sort(keys.begin(), keys.end(), [](const Key &a, const Key &b) {
        if (a.day.has_value() != b.day.has_value()) return a.day.has_value();
        if (a.day) {
            if (a.day->year != b.day->year) return a.day->year < b.day->year;
            if (a.day->month != b.day->month) return a.day->month < b.day->month;
            if (a.day->day != b.day->day) return a.day->day < b.day->day;
        } else if (const int c = codePointCompare(a.e->dateStr, b.e->dateStr); c != 0) {
            return c < 0;
        }
        return a.index < b.index;
    });
    std::vector<FinEntry> out;
    out.reserve(keys.size());
    for (const Key &k : keys)
        out.push_back(*k.e);
    return out;
}

void appendEntry(QByteArray &out, const FinEntry &e) {
    using namespace RecordJson;
    out.append('{');
    appendKey(out, "id"), appendString(out, e.id), out.append(',');
    appendKey(out, "dateStr"), appendString(out, e.dateStr), out.append(',');
    appendKey(out, "name"), appendString(out, e.name), out.append(',');
    appendKey(out, "category"), appendString(out, e.category), out.append(',');
    appendKey(out, "type"), appendString(out, FinTypes::rawValue(e.type)), out.append(',');
    appendKey(out, "amount"), appendDouble(out, e.amount), out.append(',');
    appendKey(out, "month"), appendInt(out, e.month), out.append(',');
    appendKey(out, "year"), appendInt(out, e.year), out.append(',');
    appendKey(out, "note"), appendString(out, e.note);
    out.append('}');
}

QByteArray encodeEntries(const std::vector<FinEntry> &entries) {
    QByteArray out;
    out.reserve(qsizetype(entries.size()) * 180 + 2);
    RecordJson::appendArray(out, entries, appendEntry);
    return out;
}

std::optional<std::vector<FinEntry>> decodeEntries(const QByteArray &bytes) {
    using namespace RecordJson;
    static constexpr std::array<std::string_view, 9> keys{"id",     "dateStr", "name", "category", "type",
                                                          "amount", "month",   "year", "note"};
    std::array<Value, keys.size()> m;
    return readArray(bytes, [&](Value obj) -> std::optional<FinEntry> {
        FinEntry e;
        std::string_view type;
        if (!members(obj, keys, m) || !asString(m[0], e.id) || !asString(m[1], e.dateStr) ||
            !asString(m[2], e.name) || !asString(m[3], e.category) ||
            m[4].get_string().get(type) != simdjson::SUCCESS || !asDouble(m[5], e.amount) ||
            !asInt(m[6], e.month) || !asInt(m[7], e.year) || !asString(m[8], e.note))
            return std::nullopt;
        if (type == "income")
            e.type = FinType::income;
        else if (type == "expense")
            e.type = FinType::expense;
        else
            return std::nullopt;
        if (!std::isfinite(e.amount)) return std::nullopt;
        return e;
    });
}
