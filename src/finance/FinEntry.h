#pragma once
#include <QByteArray>
#include <QColor>
#include <QString>
#include <optional>
#include <vector>

// The kind of a finance entry; the raw value is what the documents store.
enum class FinType { income, expense };

namespace FinTypes {
QString rawValue(FinType t);
std::optional<FinType> fromRaw(const QString &raw); // exactly "income" or "expense"
QString display(FinType t);                         // in the current interface language
QColor accent(FinType t);                           // green for income, red for expenses
} // namespace FinTypes

// One income or expense entry, filed under a day ("dd.MM.yyyy") and, beside it, its month and year.
// Month filtering uses month and year; ordering and day matching use dateStr. Nothing checks that
// the two agree.
struct FinEntry {
    QString id;
    QString dateStr;
    QString name;
    QString category; // normally one of FinanceStore's English keys
    FinType type = FinType::income;
    double amount = 0;
    qint64 month = 0;
    qint64 year = 0;
    QString note;

    bool operator==(const FinEntry &) const = default;
};

// "%02d.%02d.%04d" of day, month and year: the only form the page writes and the statistics page
// matches days by.
QString finDateStr(int day, int month, int year);

// Amounts the book accepts: finite and above 0. An infinite amount cannot be written as JSON, so one
// such entry would spoil every later save.
bool isValidAmount(double amount);

// The largest amount the form takes: beyond it the cards and reports stop being readable.
inline constexpr double kMaxAmountInput = 1e12;
// The amount field's text: every "," read as ".", then the whole text as a decimal number (no blanks
// around it, no hexadecimal, no "nan" or "inf"). Nothing unless the result is a valid amount no larger
// than kMaxAmountInput.
std::optional<double> parseAmountInput(const QString &text);

// The savedFinances document and the finance JSON file: a compact JSON array, one object per entry
// with the nine keys in field order.
QByteArray encodeEntries(const std::vector<FinEntry> &entries);
// One entry's object, as encodeEntries writes it.
void appendEntry(QByteArray &out, const FinEntry &e);
// Nothing when the bytes are not such an array, or any record lacks a key, has a mistyped value, a
// type other than the two raw values, or an amount that is not finite.
std::optional<std::vector<FinEntry>> decodeEntries(const QByteArray &bytes);

// The entries of one month in date order. The order is total: entries whose dateStr splits into
// three numbers (day, month, year) come first, by year, month and day; the others follow by their
// dateStr text (code point order); ties keep the order of the input. Where dateStr values of both
// kinds are mixed, the plain "earlier date or smaller text" test is not transitive, so it cannot be
// given to a sort as it is.
std::vector<FinEntry> entriesInDateOrder(const std::vector<FinEntry> &entries, qint64 month, qint64 year);

// Day, month and year read from dateStr: split at ".", empty pieces dropped, the pieces that read as
// decimal integers kept; a value only when exactly three remain.
struct FinDay {
    qint64 day = 0, month = 0, year = 0;
};
std::optional<FinDay> splitDateStr(const QString &dateStr);
