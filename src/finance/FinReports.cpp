#include "finance/FinReports.h"

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <climits>
#include <cmath>

FinMonth finMonth(const std::vector<FinEntry> &all, qint64 month, qint64 year) {
    FinMonth m;
    m.month = month;
    m.year = year;
    m.entries = entriesInDateOrder(all, month, year);
    for (const FinEntry &e : m.entries) {
        if (e.type == FinType::income) {
            m.income += e.amount;
            ++m.incomeCount;
        } else {
            m.expenses += e.amount;
            ++m.expenseCount;
        }
    }
    return m;
}

std::vector<FinCategorySum> categorySums(const std::vector<FinEntry> &entries, FinType type) {
    std::vector<FinCategorySum> out;
    QHash<QString, size_t> at;
    for (const FinEntry &e : entries) {
        if (e.type != type) continue;
        auto it = at.find(e.category);
        if (it == at.end()) {
            it = at.insert(e.category, out.size());
            out.push_back({e.category, 0});
        }
        out[*it].sum += e.amount;
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const FinCategorySum &a, const FinCategorySum &b) { return a.sum > b.sum; });
    return out;
}

namespace FinReports {
namespace {
QString money(double v) {
    return QString::asprintf("%.2f", v);
}
QString quoted(QString v) {
    v.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + v + QLatin1Char('"');
}
QString entryRow(const FinEntry &e) {
    return QStringLiteral("  ") + fit(e.dateStr, 12) + QStringLiteral("  ") + fit(e.name, 24) +
           QStringLiteral("  [") + fit(e.category, 14) + QStringLiteral("]  ₴") + money(e.amount);
}
} // namespace

QString csv(const FinMonth &m) {
    QStringList lines{QStringLiteral("Date,Name,Category,Type,Amount (UAH)")};
    for (const FinEntry &e : m.entries)
        lines << quoted(e.dateStr) + QLatin1Char(',') + quoted(e.name) + QLatin1Char(',') +
                     quoted(e.category) + QLatin1Char(',') + quoted(FinTypes::display(e.type)) +
                     QLatin1Char(',') + money(e.amount);
    return lines.join(QLatin1Char('\n'));
}

QString txt(const FinMonth &m) {
    QStringList lines;
    lines << QString::fromUtf8(kTitle);
    lines << englishMonth(m.month) + QLatin1Char(' ') + QString::number(m.year);
    lines << QString(52, QChar(0x2550));
    lines << QString();
    lines << QStringLiteral("Income:   ₴ ") + money(m.income) + QStringLiteral("  (") +
                 QString::number(m.incomeCount) + QStringLiteral(" entries)");
    lines << QStringLiteral("Expenses: ₴ ") + money(m.expenses) + QStringLiteral("  (") +
                 QString::number(m.expenseCount) + QStringLiteral(" entries)");
    lines << QStringLiteral("Balance:  ₴ ") + money(m.balance()) + QStringLiteral("  (") +
                 QString::number(savingsPercent(m.income, m.expenses)) + QStringLiteral("% savings)");
    lines << QString();
    lines << QString(52, QChar(0x2500));
    lines << QString();
    if (m.incomeCount > 0) {
        lines << QStringLiteral("INCOME:");
        for (const FinEntry &e : m.entries)
            if (e.type == FinType::income) lines << entryRow(e);
        lines << QString();
    }
    if (m.expenseCount > 0) {
        lines << QStringLiteral("EXPENSES:");
        for (const FinEntry &e : m.entries)
            if (e.type == FinType::expense) lines << entryRow(e);
    }
    return lines.join(QLatin1Char('\n'));
}

int savingsPercent(double income, double expenses) {
    if (!(income > 0)) return 0;
    const double p = (income - expenses) / income * 100.0;
    if (!std::isfinite(p)) return 0;
    return int(std::trunc(std::max(p, double(kMinSavingsPercent))));
}

QString fit(const QString &value, int n) {
    if (n <= 0) return QString();
    if (value.size() <= n) return value + QString(n - value.size(), QLatin1Char(' '));
    if (value[n - 1].isHighSurrogate() && value[n].isLowSurrogate())
        return value.left(n - 1) + QLatin1Char(' ');
    return value.left(n);
}

QString englishMonth(qint64 month) {
    static const char *const names[] = {"January",   "February", "March",    "April",
                                        "May",       "June",     "July",     "August",
                                        "September", "October",  "November", "December"};
    if (month >= 1 && month <= 12) return QString::fromLatin1(names[month - 1]);
    return QString::number(month);
}

QString fileName(qint64 month, qint64 year, const char *extension) {
    return QStringLiteral("finances-") + QString::number(year) + QLatin1Char('-') +
           QString::asprintf("%02lld", static_cast<long long>(month)) + QLatin1String(extension);
}
} // namespace FinReports
