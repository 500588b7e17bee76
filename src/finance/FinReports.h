#pragma once
#include "finance/FinEntry.h"
#include <QString>
#include <vector>

// One month of the book, worked out once: its entries in date order and their sums, added in that
// order.
struct FinMonth {
    qint64 month = 0, year = 0;
    std::vector<FinEntry> entries;
    double income = 0, expenses = 0;
    int incomeCount = 0, expenseCount = 0;
    double balance() const { return income - expenses; }
};
FinMonth finMonth(const std::vector<FinEntry> &all, qint64 month, qint64 year);

// Per category (exactly as stored), the sum of the amounts of the entries of one kind, added in the
// given order; largest sum first, equal sums in the order their category first appears.
struct FinCategorySum {
    QString category;
    double sum = 0;
};
std::vector<FinCategorySum> categorySums(const std::vector<FinEntry> &entries, FinType type);

// The month's CSV table and plain-text report. Lines are joined with "\n", with no final line break;
// amounts are "%.2f". The CSV's type column follows the interface language; the report is English.
namespace FinReports {
// The text report's first line, and its PDF's title.
inline constexpr char kTitle[] = "Mivo — Finance Report";
QString csv(const FinMonth &m);
QString txt(const FinMonth &m);

// The savings rate as a whole percentage: (income − expenses) ÷ income × 100 cut toward zero when
// income is above 0, else 0. Worked in double; a result that is not finite gives 0, and spending far
// beyond the income is held at kMinSavingsPercent (never more than 100 with expenses at or above 0).
// The balance card and the report both show this number.
inline constexpr int kMinSavingsPercent = -9999;
int savingsPercent(double income, double expenses);

// value filled with spaces on the right, or cut, to exactly n UTF-16 units. A cut never splits a
// surrogate pair: the pair is dropped and a space keeps the width.
QString fit(const QString &value, int n);

// "January" … "December"; the number in decimal for any other month.
QString englishMonth(qint64 month);

// "finances-2026-03" + extension (".csv", ".txt", ".pdf").
QString fileName(qint64 month, qint64 year, const char *extension);
} // namespace FinReports
