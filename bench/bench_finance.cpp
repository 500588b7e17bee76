// The finance book with 10 000 entries in one month: how long the page takes to show that month
// (store query, cards, table) and how long a save of the whole book takes. Both run after every
// change, so both must stay far below a frame.
#include "finance/FinEntriesTable.h"
#include "finance/FinanceStore.h"
#include "finance/FinanceView.h"
#include "platform/Prefs.h"
#include "platform/RecordJson.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include "BenchUtil.h"

namespace {
constexpr int kRuns = 15;
constexpr int kEntries = 10000;

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    Prefs prefs(dir.filePath(QStringLiteral("mivo.sqlite3")));
    Prefs::install(&prefs);

    FinanceStore &store = FinanceStore::shared();
    std::vector<FinEntry> all;
    for (int i = 0; i < kEntries; ++i) {
        const int day = 1 + (i * 7919) % 28; // added out of date order, as real books are
        all.push_back({RecordJson::newId(), finDateStr(day, 3, 2026),
                       QStringLiteral("Entry number %1 of the month").arg(i),
                       FinanceStore::expenseKeys()[i % 7], i % 4 ? FinType::expense : FinType::income,
                       10.0 + i % 500 + 0.25, 3, 2026, i % 5 ? QString() : QStringLiteral("a note")});
    }
    store.replaceAll(all);
    std::printf("finance book, %d entries in one month\n", kEntries);

    report("month query (sorted entries and sums)", medianMs([&] { (void)store.month(3, 2026); }));
    report("save (encode the document)", medianMs([&] { store.save(); }));
    report("save and commit to the database", medianMs([&] {
               store.save();
               prefs.flush();
           }));

    report("delete one entry with no page shown (erase, save, commit)", medianMs([&] {
               store.remove(store.entries().back().id);
               prefs.flush();
           }));

    FinanceView page;
    page.resize(979, 760);
    page.setup();
    page.showMonth(3, 2026);
    page.show();
    QApplication::processEvents();
    report("page redraw of the month (refresh, layout, paint)", medianMs([&] {
               page.refresh();
               QApplication::processEvents();
               page.repaint();
           }));
    report("delete one entry, commit, redraw and paint", medianMs([&] {
               store.remove(store.entries().back().id);
               QApplication::processEvents();
               page.repaint();
           }));
    std::printf("  rows in the table: %d\n", page.table()->model()->rowCount());
    return 0;
}
