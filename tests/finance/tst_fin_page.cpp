#include "common/Files.h"
#include "common/PageTest.h"
#include "common/TestEnv.h"
#include "finance/FinEntriesTable.h"
#include "finance/FinStatCard.h"
#include "finance/FinanceStore.h"
#include "finance/FinanceView.h"
#include "platform/Keys.h"
#include "ui/Lang.h"
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>

namespace {
FinEntry entry(const QString &id, int day, int month, int year, FinType t, double amount) {
    return FinEntry{id,
                    finDateStr(day, month, year),
                    QStringLiteral("e ") + id,
                    QStringLiteral("Food"),
                    t,
                    amount,
                    month,
                    year,
                    {}};
}
} // namespace

// The finance page as a user drives it: the form, the arrows, the cards, the rows' "×" and the file
// actions with their panels scripted.
class TstFinPage : public QObject {
    Q_OBJECT
    std::unique_ptr<PageEnv<>> env;
    ShownPage<FinanceView> page;
    QTemporaryDir dir;

    void addViaForm(const QString &name, const QString &amount, int type, QDate date) {
        page->nameField()->setText(name);
        page->amountField()->setText(amount);
        page->typePopup()->setCurrentIndex(type);
        page->datePicker()->setDate(date);
        QTest::mouseClick(page->addButton(), Qt::LeftButton);
        settle();
    }

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        env = std::make_unique<PageEnv<>>(QDateTime(QDate(2026, 1, 15), QTime(10, 0)));
        FinanceStore::resetForTests();
        QVERIFY(page.open(979, 760));
    }
    void cleanup() {
        page.close();
        FinanceStore::resetForTests();
        L::setLang(AppLang::en);
        env.reset();
    }

    void formAddsTrimmedEntryAndFollowsItsMonth() {
        QCOMPARE(page->dispMonth(), 1);
        page->typePopup()->setCurrentIndex(1);
        emit page->typePopup()->activated(1);
        page->categoryPopup()->setCurrentIndex(2); // Housing
        addViaForm(QStringLiteral(" \tRent\t "), QStringLiteral("12,5"), 1, QDate(2026, 3, 5));
        const auto &all = FinanceStore::shared().entries();
        QCOMPARE(all.size(), size_t(1));
        QCOMPARE(all[0].name, QStringLiteral("Rent"));
        QCOMPARE(all[0].amount, 12.5);
        QCOMPARE(all[0].category, QStringLiteral("Housing"));
        QCOMPARE(all[0].dateStr, QStringLiteral("05.03.2026"));
        QCOMPARE(all[0].type, FinType::expense);
        QCOMPARE(page->dispMonth(), 3);
        QCOMPARE(page->table()->model()->rowCount(), 1);
        QVERIFY(page->nameField()->text().isEmpty() && page->amountField()->text().isEmpty());
        QCOMPARE(page->categoryPopup()->currentIndex(), 2); // the choice stays for the next entry
    }

    void formKeepsItsStateWhenThePageIsBuiltAgain() {
        page->typePopup()->setCurrentIndex(1);
        emit page->typePopup()->activated(1);
        page->categoryPopup()->setCurrentIndex(4);
        page->datePicker()->setDate(QDate(2025, 7, 9));
        page->nameField()->setText(QStringLiteral("half typed"));
        page->clearContent(); // as a theme change does
        page->setup();
        settle();
        QCOMPARE(page->typePopup()->currentIndex(), 1);
        QCOMPARE(page->categoryPopup()->currentText(), QStringLiteral("Entertainment"));
        QCOMPARE(page->datePicker()->date(), QDate(2025, 7, 9));
        QCOMPARE(page->nameField()->text(), QStringLiteral("half typed"));
    }

    void formRefusesAndPointsAtTheField_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<bool>("nameFocused");
        QTest::newRow("blank name") << " \t "
                                    << "5" << true;
        QTest::newRow("zero") << "x"
                              << "0" << false;
        QTest::newRow("twenty digits") << "x"
                                       << "99999999999999999999" << false;
    }
    void formRefusesAndPointsAtTheField() {
        QFETCH(QString, name);
        QFETCH(QString, amount);
        QFETCH(bool, nameFocused);
        page->activateWindow();
        addViaForm(name, amount, 0, QDate(2026, 1, 2));
        QVERIFY(FinanceStore::shared().entries().empty());
        QVERIFY(!env->prefs.prefs().contains(kFinances));
        QCOMPARE(page->nameField()->hasFocus(), nameFocused);
        QCOMPARE(page->amountField()->hasFocus(), !nameFocused);
    }

    void arrowsCrossYears() {
        page->navMonth(-1);
        settle();
        QCOMPARE(page->dispMonth(), 12);
        QCOMPARE(page->dispYear(), 2025);
        QCOMPARE(page->monthLabel()->text(), QStringLiteral("December 2025"));
        page->navMonth(+1);
        settle();
        QCOMPARE(page->dispYear(), 2026);
        QCOMPARE(page->titleLabel()->text(), QStringLiteral("Finances — January 2026"));
    }

    void cardsShowTheMonth() {
        FinanceStore &s = FinanceStore::shared();
        settle();
        QCOMPARE(page->balanceCard()->lineText(), QStringLiteral("0% savings"));
        QCOMPARE(page->incomeCard()->lineText(), QStringLiteral("0 entries"));
        s.add(entry("a", 2, 1, 2026, FinType::income, 100));
        s.add(entry("b", 3, 1, 2026, FinType::expense, 150));
        settle();
        QCOMPARE(page->incomeCard()->lineText(), QStringLiteral("1 entry"));
        QCOMPARE(page->expenseCard()->pct(), 1.0);
        QCOMPARE(page->balanceCard()->amountText(), QStringLiteral("-50.00"));
        QCOMPARE(page->balanceCard()->lineText(), QStringLiteral("-50% savings"));
        QCOMPARE(page->balanceCard()->pct(), 0.0);
        s.add(entry("c", 4, 1, 2026, FinType::income, 500));
        L::setLang(AppLang::de);
        page->refresh();
        settle();
        QCOMPARE(page->balanceCard()->amountText(), QStringLiteral("+450.00"));
        QCOMPARE(page->balanceCard()->lineText(), QStringLiteral("75% Ersparnisse"));
        QCOMPARE(page->balanceCard()->pct(), 0.75);
        QCOMPARE(page->incomeCard()->captionText(), QStringLiteral("EINKOMMEN"));
        QCOMPARE(page->incomeCard()->lineText(), QStringLiteral("2 Einträge"));
    }

    void cardBarIsHeldWithinTheTrack() {
        FinStatCard c(QStringLiteral("x"), QStringLiteral("y"), Qt::green);
        c.update(-5, 0, 1.7, QString());
        QCOMPARE(c.pct(), 1.0);
        QCOMPARE(c.amountText(), QStringLiteral("5.00"));
        c.update(5, 0, -0.2, QString());
        QCOMPARE(c.pct(), 0.0);
        c.updateBalance(10, 150);
        QCOMPARE(c.pct(), 1.0);
        QCOMPARE(c.lineText(), QStringLiteral("150% savings"));
        c.updateBalance(0, 0);
        QCOMPARE(c.amountText(), QStringLiteral("+0.00")); // a zero balance is not a loss
    }

    // The row's "×" deletes every entry with its id; the table redraws after the click, not inside it.
    void deleteButtonRemovesTheEntry() {
        FinanceStore &s = FinanceStore::shared();
        s.add(entry("keep", 2, 1, 2026, FinType::income, 1));
        s.add(entry("gone", 3, 1, 2026, FinType::income, 2));
        settle();
        FinEntriesTable *t = page->table();
        QCOMPARE(t->model()->rowCount(), 2);
        const QRect x = t->deleteRect(1);
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, x.center());
        QCOMPARE(s.entries().size(), size_t(1));
        QCOMPARE(t->model()->rowCount(), 2); // still the rows of the click
        settle();
        QCOMPARE(t->model()->rowCount(), 1);
        QCOMPARE(s.entries()[0].id, QStringLiteral("keep"));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {},
                          t->deleteRect(0).center() + QPoint(0, 12)); // beside it
        QCOMPARE(s.entries().size(), size_t(1));
    }

    void exportsProposeTheMonthAndWriteIt() {
        FinanceStore::shared().add(entry("a", 2, 1, 2026, FinType::income, 3));
        FinanceStore::shared().add(entry("b", 2, 2, 2026, FinType::income, 4));
        const QString csv = dir.filePath(QStringLiteral("a.csv")),
                      pdf = dir.filePath(QStringLiteral("a.pdf"));
        env->dialogs.savePaths = {csv, QString(), pdf};
        page->doExportCSV();
        page->doExportTXT(); // cancelled
        page->doExportPDF();
        QCOMPARE(env->dialogs.proposed,
                 (QStringList{"finances-2026-01.csv", "finances-2026-01.txt", "finances-2026-01.pdf"}));
        QCOMPARE(QString::fromUtf8(fileBytes(csv)), FinanceStore::shared().csvString(1, 2026));
        QVERIFY(QFile(pdf).size() > 0);
        QVERIFY(env->dialogs.alertsShown.isEmpty());

        // The JSON file holds the stored document's bytes.
        env->dialogs.savePaths = {dir.filePath(QStringLiteral("all.json"))};
        page->doExportJSON();
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("all.json"))), env->prefs.prefs().data(kFinances));
        env->dialogs.savePaths = {dir.filePath(QStringLiteral("missing/x.json"))};
        page->doExportJSON();
        QCOMPARE(env->dialogs.proposed.last(), QStringLiteral("mivo-finances.json"));
        QCOMPARE(env->dialogs.alertsShown.size(), 1);
        QVERIFY(env->dialogs.alertsShown[0].startsWith(QStringLiteral("Export failed|")));
    }

    void importReplacesAfterConfirmation() {
        FinanceStore &s = FinanceStore::shared();
        s.add(entry("old", 2, 1, 2026, FinType::income, 3));
        const QString path = putFile(dir.filePath(QStringLiteral("in.json")),
                                     encodeEntries({entry("n1", 1, 5, 2026, FinType::expense, 9),
                                                    entry("n2", 2, 5, 2026, FinType::income, 8)}));
        env->dialogs.openPathAnswers = {path};
        env->dialogs.alertAnswers = {1}; // Cancel
        page->doImportJSON();
        QVERIFY(env->dialogs.waitForAlertsAfter(0));
        QCOMPARE(env->dialogs.alertsShown,
                 QStringList{"Replace all records?|2 records will be loaded. All current data will "
                             "be deleted and replaced."});
        QCOMPARE(s.entries().size(), size_t(1));

        env->dialogs.alertsShown.clear();
        env->dialogs.openPathAnswers = {path};
        page->doImportJSON();
        QVERIFY(env->dialogs.waitForAlertsAfter(0));
        QCOMPARE(s.entries().size(), size_t(2));
        QCOMPARE(env->dialogs.alertsShown.last(),
                 QStringLiteral("Import complete|2 records loaded. All previous data replaced."));
        QCOMPARE(page->dispMonth(), 1); // the shown month stays

        // A file that is not an array of entries changes nothing.
        putFile(path, "{}");
        env->dialogs.alertsShown.clear();
        env->dialogs.openPathAnswers = {path};
        page->doImportJSON();
        QVERIFY(env->dialogs.waitForAlertsAfter(0));
        QCOMPARE(env->dialogs.alertsShown.size(), 1);
        QVERIFY(env->dialogs.alertsShown[0].startsWith(QStringLiteral("Import error|Could not read the file.")));
        QCOMPARE(s.entries().size(), size_t(2));
    }

    void importThatCannotBeSavedSaysSo() {
        FinanceStore &s = FinanceStore::shared();
        s.add(entry("old", 2, 1, 2026, FinType::income, 3));
        QVERIFY(env->prefs.prefs().flush());
        const QString path = putFile(dir.filePath(QStringLiteral("empty.json")), "[]");
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(env->prefs.path().toUtf8().constData(), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000); // as any program, it waits while Mivo's writer commits
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        env->dialogs.openPathAnswers = {path};
        page->doImportJSON();
        QVERIFY(env->dialogs.waitForAlertsAfter(0));
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QCOMPARE(env->dialogs.alertsShown.size(), 2);
        QVERIFY(env->dialogs.alertsShown[1].startsWith(QStringLiteral("Import error|")));
        QCOMPARE(s.entries().size(), size_t(1));
        settle();
        QCOMPARE(page->table()->model()->rowCount(), 1);
    }
};

QTEST_MAIN(TstFinPage)
#include "tst_fin_page.moc"
