#include "common/TestEnv.h"
#include "finance/FinReports.h"
#include "ui/Lang.h"
#include <QtTest>
#include <climits>

namespace {
FinEntry e(const QString &date, const QString &name, const QString &cat, FinType t, double amount) {
    const auto d = splitDateStr(date);
    return FinEntry{QStringLiteral("id-") + name, date, name, cat, t, amount, d ? d->month : 1,
                    d ? d->year : 2026,           {}};
}
const QString kHead = QStringLiteral("Mivo — Finance Report\n");
const QString kDouble = QString(52, QChar(0x2550));
const QString kSingle = QString(52, QChar(0x2500));
} // namespace

// The finance CSV and text report, byte for byte, and the helpers they are built from.
class TstFinReports : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() { prefs = std::make_unique<TempPrefs>(); }
    void cleanup() { prefs.reset(); }

    void emptyMonth() {
        const FinMonth m = finMonth({}, 1, 2026);
        QCOMPARE(FinReports::csv(m), QStringLiteral("Date,Name,Category,Type,Amount (UAH)"));
        QCOMPARE(FinReports::txt(m), kHead + "January 2026\n" + kDouble +
                                         "\n\nIncome:   ₴ 0.00  (0 entries)\nExpenses: ₴ 0.00  (0 entries)\n"
                                         "Balance:  ₴ 0.00  (0% savings)\n\n" +
                                         kSingle + "\n");
    }

    void expensesOnlyWithNegativeSavings() {
        const std::vector<FinEntry> all{
            e("10.03.2026", "Rent for a flat in the city", "Housing", FinType::expense, 1250),
            e("02.03.2026", "Salary", "Salary", FinType::income, 1000),
        };
        const QString txt = FinReports::txt(finMonth(all, 3, 2026));
        QCOMPARE(txt, kHead + "March 2026\n" + kDouble +
                          "\n\nIncome:   ₴ 1000.00  (1 entries)\nExpenses: ₴ 1250.00  (1 entries)\n"
                          "Balance:  ₴ -250.00  (-25% savings)\n\n" +
                          kSingle +
                          "\n\nINCOME:\n"
                          "  02.03.2026    Salary                    [Salary        ]  ₴1000.00\n\n"
                          "EXPENSES:\n"
                          "  10.03.2026    Rent for a flat in the c  [Housing       ]  ₴1250.00");
        const QString onlyExp = FinReports::txt(finMonth({all[0]}, 3, 2026));
        QVERIFY2(onlyExp.contains(kSingle + "\n\nEXPENSES:\n"), qPrintable(onlyExp));
        QVERIFY(!onlyExp.contains(QStringLiteral("INCOME:")));
    }

    // A cut that would split an emoji drops it and pads, so the column stays 24 units wide.
    void emojiAtTheCut() {
        const QString name = QString(23, QLatin1Char('a')) + QStringLiteral("😀b");
        const QString txt = FinReports::txt(
            finMonth({e("01.03.2026", name, "Food😀xxxxxxxxxxxxx", FinType::expense, 5)}, 3, 2026));
        QVERIFY2(txt.endsWith(QStringLiteral("  01.03.2026    ") + QString(23, QLatin1Char('a')) +
                              QStringLiteral("   [Food😀xxxxxxxx]  ₴5.00")),
                 qPrintable(txt.section(QLatin1Char('\n'), -1)));
    }

    void fit_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("padded") << "abcde" << 8 << "abcde   ";
        QTest::newRow("exact") << "abc" << 3 << "abc";
        QTest::newRow("cut") << "abcdef" << 4 << "abcd";
        QTest::newRow("pair before the cut stays") << "a😀bc" << 3 << "a😀";
        QTest::newRow("pair across the cut") << "ab😀c" << 3 << "ab ";
        QTest::newRow("pair fits exactly at the end") << "ab😀" << 4 << "ab😀";
        QTest::newRow("lone high surrogate is cut as a unit")
            << (QStringLiteral("ab") + QChar(0xD83D) + QLatin1Char('x')) << 3
            << (QStringLiteral("ab") + QChar(0xD83D));
    }
    void fit() {
        QFETCH(QString, value);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(FinReports::fit(value, n), expected);
        QCOMPARE(FinReports::fit(value, n).size(), n);
    }

    void savingsPercent_data() {
        QTest::addColumn<double>("income");
        QTest::addColumn<double>("expenses");
        QTest::addColumn<int>("pct");
        QTest::newRow("3 and 1 cut toward zero") << 3.0 << 1.0 << 66;
        QTest::newRow("negative cut toward zero") << 3.0 << 4.0 << -33;
        QTest::newRow("no income") << 0.0 << 20.0 << 0;
        QTest::newRow("spent nothing") << 200.0 << 50.0 << 75;
        QTest::newRow("far beyond the income") << 0.01 << 1e12 << -9999;
        QTest::newRow("just inside the floor") << 1.0 << 100.0 << -9900;
        QTest::newRow("beyond int upwards") << -1.0 << 0.0 << 0;
        QTest::newRow("infinite income") << qInf() << 1.0 << 0;
        QTest::newRow("not a number") << qQNaN() << 1.0 << 0;
        QTest::newRow("infinite expenses") << 1.0 << qInf() << 0;
    }
    void savingsPercent() {
        QFETCH(double, income);
        QFETCH(double, expenses);
        QFETCH(int, pct);
        QCOMPARE(FinReports::savingsPercent(income, expenses), pct);
    }

    void csvQuotesAndLanguage() {
        L::setLang(AppLang::de);
        const std::vector<FinEntry> all{e("02.03.2026", "Say \"hi\", twice", "Gift", FinType::income, 12.5),
                                        e("03.03.2026", "Bread", "Comida", FinType::expense, 3)};
        QCOMPARE(FinReports::csv(finMonth(all, 3, 2026)),
                 QStringLiteral("Date,Name,Category,Type,Amount (UAH)\n"
                                "\"02.03.2026\",\"Say \"\"hi\"\", twice\",\"Gift\",\"Einkommen\",12.50\n"
                                "\"03.03.2026\",\"Bread\",\"Comida\",\"Ausgabe\",3.00"));
        QVERIFY(FinReports::txt(finMonth(all, 3, 2026)).contains(QStringLiteral("Income:   ₴ 12.50")));
        L::setLang(AppLang::en);
    }

    void namesAndMonths() {
        QCOMPARE(FinReports::fileName(1, 2026, ".csv"), QStringLiteral("finances-2026-01.csv"));
        QCOMPARE(FinReports::fileName(12, 2025, ".pdf"), QStringLiteral("finances-2025-12.pdf"));
        QCOMPARE(FinReports::englishMonth(12), QStringLiteral("December"));
        QVERIFY(FinReports::txt(finMonth({}, 13, 2026)).section(QLatin1Char('\n'), 1, 1) ==
                QStringLiteral("13 2026"));
    }

private:
    std::unique_ptr<TempPrefs> prefs;
};

QTEST_MAIN(TstFinReports)
#include "tst_fin_reports.moc"
