#pragma once
#include "finance/FinEntry.h"
#include "finance/FinReports.h"
#include "platform/Document.h"
#include <QObject>
#include <QStringList>
#include <vector>

// The finance book: every income and expense entry, in insertion order, kept as the savedFinances
// document. Every change writes the document (re-encoding only the entries changed since the last
// save) and then posts financesChanged with the store as sender. Entries are matched by id; remove() removes every entry with that id. Main thread only.
class FinanceStore : public QObject {
    Q_OBJECT
public:
    // The process-wide store, created and loaded on first use.
    static FinanceStore &shared();
    // Drops the shared store; the next shared() loads again from the current preferences domain.
    static void resetForTests();

    // Starts loading the savedFinances document (a large one decodes off the window's thread; every use
    // of the store waits for it). An unreadable document is kept aside (and told to the user once,
    // through the shared loader) and the store starts empty; loadReport() says so.
    explicit FinanceStore(QObject *parent = nullptr);
    const DocumentLoad &loadReport() const { return doc_.report(); }
    bool isLoaded() const { return doc_.isLoaded(); }

    // Every entry, in insertion order.
    const std::vector<FinEntry> &entries() const { return doc_.records(); }
    // One month's entries in date order (see entriesInDateOrder).
    std::vector<FinEntry> entries(qint64 month, qint64 year) const;
    // One month's entries with their sums and counts, sorted once.
    FinMonth month(qint64 month, qint64 year) const { return finMonth(entries(), month, year); }
    // The entries of one day (dateStr equal to finDateStr of it) or of one month, in stored order:
    // the periods the statistics page reads.
    std::vector<FinEntry> dayEntries(int day, int month, int year) const;
    std::vector<FinEntry> monthEntriesInStoredOrder(qint64 month, qint64 year) const;
    // Sums over the month's entries of one kind, added in date order; 0 when there are none.
    double income(qint64 month, qint64 year) const;
    double expenses(qint64 month, qint64 year) const;

    // Appends the entry, saves and posts. An entry whose amount is not a finite number above 0 is
    // refused (false; nothing changes).
    bool add(const FinEntry &entry);
    // Removes every entry with this id, saves and posts, also when nothing matched.
    void remove(const QString &id);
    // Replaces every entry (the JSON import) and commits the document at once. Posts and returns true
    // when the document was written; otherwise the previous entries are back, in memory and in the
    // pending document, nothing is posted and the result is false.
    bool replaceAll(const std::vector<FinEntry> &entries);
    // Writes the document (committed with this event-loop turn); posts nothing.
    void save();

    // The month's CSV table and text report.
    QString csvString(qint64 month, qint64 year) const { return FinReports::csv(this->month(month, year)); }
    QString txtReport(qint64 month, qint64 year) const { return FinReports::txt(this->month(month, year)); }

    // Category keys, in the order the page lists them.
    static const QStringList &incomeKeys();
    static const QStringList &expenseKeys();
    // The English key of the first category group (income groups first) holding this exact name in
    // any language; the name itself when no group holds it.
    static QString normalizedKey(const QString &name);
    // The category's name in the current language; the argument itself when it is no known category.
    static QString displayForKey(const QString &keyOrName);
    static QStringList incomeCategoriesDisplay();
    static QStringList expenseCategoriesDisplay();

private:
    void changed();

    RecordDocument<FinEntry, appendEntry> doc_;
};
