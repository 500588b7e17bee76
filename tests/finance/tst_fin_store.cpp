#include "common/TestEnv.h"
#include "finance/FinanceStore.h"
#include "platform/DataNotices.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "ui/Lang.h"
#include <QtTest>
#include <sqlite3.h>

namespace {
FinEntry entry(const QString &id, const QString &dateStr, FinType type = FinType::expense, double amount = 1,
               qint64 month = 3, qint64 year = 2026) {
    return FinEntry{id,   dateStr, QStringLiteral("n ") + id, QStringLiteral("Food"), type, amount, month,
                    year, {}};
}
QStringList ids(const std::vector<FinEntry> &v) {
    QStringList out;
    for (const auto &e : v)
        out << e.id;
    return out;
}
} // namespace

// The finance book: its order, categories, the amount rule, its document and its failures.
class TstFinStore : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;
    int posts = 0;

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        prefs = std::make_unique<TempPrefs>();
        FinanceStore::resetForTests();
        posts = 0;
    }
    void initTestCase() {
        Notifier::get().observe(Notify::financesChanged, this, [this](QObject *) { ++posts; });
    }
    void cleanup() {
        FinanceStore::resetForTests();
        L::setLang(AppLang::en);
        prefs.reset();
    }

    void monthOrder_data() {
        QTest::addColumn<QStringList>("dates"); // in insertion order; ids are the positions
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("same day keeps insertion order")
            << QStringList{"05.03.2026", "05.03.2026", "05.03.2026"} << QStringList{"0", "1", "2"};
        QTest::newRow("02.03 added after 10.03 comes first")
            << QStringList{"10.03.2026", "02.03.2026"} << QStringList{"1", "0"};
        QTest::newRow("by number, not text")
            << QStringList{"10.03.2026", "9.03.2026", "01.01.2027", "09.12.2025"}
            << QStringList{"3", "1", "0", "2"};
        QTest::newRow("same numbers written differently tie")
            << QStringList{"5.3.2026", "05.03.2026", "5.3.2026"} << QStringList{"0", "1", "2"};
        QTest::newRow("unsplittable dates follow, by text")
            << QStringList{"2026-03-05", "01.03.2026", "2026-03-01"} << QStringList{"1", "2", "0"};
        // Mixed kinds make the plain test cyclic (a < b by date, b < c and c < a by text); the order
        // must still be one answer, the same whatever the insertion order of equal keys.
        QTest::newRow("mixed kinds give one answer")
            << QStringList{"1.3.2026", "10.02.2026", "1", "15.03.2026"} << QStringList{"1", "0", "3", "2"};
        // std::sort keeps equal keys in order up to 16 elements: only a longer run shows the tie-break.
        QStringList sameDay, inOrder;
        for (int i = 0; i < 40; ++i)
            sameDay << QStringLiteral("05.03.2026"), inOrder << QString::number(i);
        QTest::newRow("one day keeps the stored order") << sameDay << inOrder;
        QTest::newRow("pieces that are not numbers are skipped")
            << QStringList{"05.x.03.2026", "04.03.2026"} << QStringList{"1", "0"};
    }
    void monthOrder() {
        QFETCH(QStringList, dates);
        QFETCH(QStringList, expected);
        FinanceStore &s = FinanceStore::shared();
        for (int i = 0; i < dates.size(); ++i)
            QVERIFY(s.add(entry(QString::number(i), dates[i])));
        s.add(entry(QStringLiteral("april"), QStringLiteral("01.03.2026"), FinType::expense, 1,
                    4)); // other month
        QCOMPARE(ids(s.entries(3, 2026)), expected);
    }

    void splitDateStr_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("three");
        QTest::addColumn<qint64>("year");
        QTest::newRow("plain") << "05.03.2026" << true << qint64(2026);
        QTest::newRow("empty pieces dropped") << "..5..3..2026." << true << qint64(2026);
        QTest::newRow("signs") << "+5.-3.2026" << true << qint64(2026);
        QTest::newRow("four numbers") << "1.2.3.4" << false << qint64(0);
        QTest::newRow("dashes") << "2026-03-05" << false << qint64(0);
        QTest::newRow("overflowing number skipped")
            << "1.2.99999999999999999999.2026" << true << qint64(2026);
        QTest::newRow("blank in a piece") << " 5.3.2026" << false << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0);
    }
    void splitDateStr() {
        QFETCH(QString, text);
        QFETCH(bool, three);
        QFETCH(qint64, year);
        const auto d = ::splitDateStr(text);
        QCOMPARE(d.has_value(), three);
        if (d) QCOMPARE(d->year, year);
    }

    void monthSums() {
        FinanceStore &s = FinanceStore::shared();
        QCOMPARE(s.income(3, 2026), 0.0);
        QVERIFY(s.entries(3, 2026).empty());
        s.add(entry("a", "01.03.2026", FinType::income, 100));
        s.add(entry("b", "02.03.2026", FinType::expense, 30.25));
        s.add(entry("c", "03.03.2026", FinType::income, 0.5));
        s.add(entry("d", "03.03.2026", FinType::income, 7, 3, 2025)); // another year
        QCOMPARE(s.income(3, 2026), 100.5);
        QCOMPARE(s.expenses(3, 2026), 30.25);
        const FinMonth m = s.month(3, 2026);
        QCOMPARE(m.incomeCount, 2);
        QCOMPARE(m.expenseCount, 1);
    }

    // What the statistics page reads: a day's and a month's entries in stored order, sums per category.
    void periodsAndCategorySums() {
        FinanceStore &s = FinanceStore::shared();
        FinEntry a = entry("a", "05.03.2026", FinType::expense, 2),
                 b = entry("b", "05.03.2026", FinType::expense, 5);
        FinEntry c = entry("c", "5.3.2026", FinType::expense, 7),
                 d = entry("d", "01.03.2026", FinType::income, 9);
        b.category = QStringLiteral("Rent");
        for (const FinEntry &e : {a, b, c, d})
            s.add(e);
        QCOMPARE(ids(s.dayEntries(5, 3, 2026)), (QStringList{"a", "b"})); // the padded form only
        QCOMPARE(ids(s.monthEntriesInStoredOrder(3, 2026)), (QStringList{"a", "b", "c", "d"}));
        const auto sums = categorySums(s.monthEntriesInStoredOrder(3, 2026), FinType::expense);
        QCOMPARE(sums.size(), size_t(2));
        QCOMPARE(sums[0].category, QStringLiteral("Food"));
        QCOMPARE(sums[0].sum, 9.0);
        QCOMPARE(sums[1].sum, 5.0);
        QVERIFY(categorySums({}, FinType::income).empty());
    }

    void categories_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("shown");
        QTest::newRow("German salary") << "Gehalt"
                                       << "Salary" << int(AppLang::en) << "Salary";
        QTest::newRow("German other") << "Sonstiges"
                                      << "Other" << int(AppLang::pl) << "Inne";
        QTest::newRow("Spanish transport") << "Transporte"
                                           << "Transport" << int(AppLang::es) << "Transporte";
        QTest::newRow("lower case is unknown") << "salary"
                                               << "salary" << int(AppLang::de) << "salary";
        QTest::newRow("food in Ukrainian") << "Food"
                                           << "Food" << int(AppLang::uk) << "Їжа";
        QTest::newRow("comida in English") << "Comida"
                                           << "Food" << int(AppLang::en) << "Food";
        QTest::newRow("unknown shown as stored") << "Rent"
                                                 << "Rent" << int(AppLang::fr) << "Rent";
        QTest::newRow("apostrophe") << "Здоров'я"
                                    << "Health" << int(AppLang::fr) << "Santé";
        QTest::newRow("no trimming") << "Food "
                                     << "Food " << int(AppLang::uk) << "Food ";
    }
    void categories() {
        QFETCH(QString, name);
        QFETCH(QString, key);
        QFETCH(int, lang);
        QFETCH(QString, shown);
        L::setLang(AppLang(lang));
        QCOMPARE(FinanceStore::normalizedKey(name), key);
        QCOMPARE(FinanceStore::displayForKey(name), shown);
    }

    void amountInput_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("amount"); // 0: refused
        QTest::newRow("comma") << "12,5" << 12.5;
        QTest::newRow("point") << "12.50" << 12.5;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("fraction only") << ",5" << 0.5;
        QTest::newRow("zero") << "0" << 0.0;
        QTest::newRow("negative") << "-3" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("blank before") << " 5" << 0.0;
        QTest::newRow("blank after") << "5 " << 0.0;
        QTest::newRow("nan") << "nan" << 0.0;
        QTest::newRow("inf") << "inf" << 0.0;
        QTest::newRow("overflow") << "1e999" << 0.0;
        QTest::newRow("the largest taken") << "1000000000000" << 1e12;
        QTest::newRow("above 10^12") << "1000000000000.01" << 0.0;
        QTest::newRow("twenty digits") << "99999999999999999999" << 0.0;
        QTest::newRow("underflow to zero") << "1e-999" << 0.0;
        QTest::newRow("two commas") << "1,2,3" << 0.0;
        QTest::newRow("hex") << "0x10" << 0.0;
        QTest::newRow("Arabic digits") << "٣" << 0.0;
    }
    void amountInput() {
        QFETCH(QString, text);
        QFETCH(double, amount);
        const auto got = parseAmountInput(text);
        QCOMPARE(got.value_or(0.0), amount);
    }

    void addRefusesAmountsThatAreNotFiniteAndPositive() {
        FinanceStore &s = FinanceStore::shared();
        for (double bad : {0.0, -1.0, qInf(), -qInf(), qQNaN()})
            QVERIFY(!s.add(entry("x", "01.03.2026", FinType::income, bad)));
        QVERIFY(s.entries().empty());
        QCOMPARE(posts, 0);
        QVERIFY(!prefs->prefs().contains(kFinances));
    }

    void removeTakesEveryCopyAndPostsEvenForNothing() {
        FinanceStore &s = FinanceStore::shared();
        s.add(entry("dup", "01.03.2026"));
        s.add(entry("keep", "02.03.2026"));
        s.add(entry("dup", "03.03.2026"));
        posts = 0;
        s.remove(QStringLiteral("dup"));
        QCOMPARE(ids(s.entries()), QStringList{"keep"});
        s.remove(QStringLiteral("nothing"));
        QCOMPARE(posts, 2);
    }

    // The stored bytes are read by other tools: keys in this order, a whole amount without ".0".
    void documentSurvivesARestart() {
        FinEntry e = entry("A", "05.03.2026", FinType::income, 12.5);
        e.name = QStringLiteral("Quote \" and ✓ and \\");
        e.note = QStringLiteral("line\nbreak");
        const FinEntry whole = entry("B", "06.03.2026", FinType::expense, 100);
        FinanceStore::shared().add(e);
        FinanceStore::shared().add(whole);
        QVERIFY(prefs->prefs().flush());
        FinanceStore::resetForTests();
        prefs->reopen();
        QCOMPARE(FinanceStore::shared().entries(), (std::vector<FinEntry>{e, whole}));
        QCOMPARE(prefs->prefs().data(kFinances),
                 QByteArray("[{\"id\":\"A\",\"dateStr\":\"05.03.2026\",\"name\":\"Quote \\\" and ✓ and \\\\\",\"category\":"
                            "\"Food\",\"type\":\"income\",\"amount\":12.5,\"month\":3,\"year\":2026,\"note\":\"line\\nbreak\"},"
                            "{\"id\":\"B\",\"dateStr\":\"06.03.2026\",\"name\":\"n B\",\"category\":\"Food\",\"type\":\"expense\","
                            "\"amount\":100,\"month\":3,\"year\":2026,\"note\":\"\"}]"));
    }

    void unreadableDocumentIsKeptAside_data() {
        QTest::addColumn<QByteArray>("doc");
        const QByteArray good =
            R"({"id":"1","dateStr":"01.03.2026","name":"n","category":"Food","type":"income","amount":1,"month":3,"year":2026,"note":""})";
        QTest::newRow("capital type")
            << QByteArray(good).replace("\"income\"", "\"Income\"").prepend('[').append(']');
        QTest::newRow("missing note")
            << QByteArray(good).replace(R"(,"note":"")", "").prepend('[').append(']');
        QTest::newRow("month as text")
            << QByteArray(good).replace(R"("month":3)", R"("month":"3")").prepend('[').append(']');
        QTest::newRow("object") << good;
        QTest::newRow("overflowing amount")
            << QByteArray(good).replace(R"("amount":1)", R"("amount":1e999)").prepend('[').append(']');
        QTest::newRow("truncated") << QByteArray("[") + good.left(50);
    }
    void unreadableDocumentIsKeptAside() {
        QFETCH(QByteArray, doc);
        prefs->prefs().setData(kFinances, doc);
        FinanceStore &s = FinanceStore::shared();
        QVERIFY(s.entries().empty());
        QVERIFY(s.loadReport().existed && !s.loadReport().decoded);
        QCOMPARE(prefs->prefs().data(s.loadReport().keptAsideKey), doc);
        // Told to the user once, naming the finances.
        const auto notices = DataNotices::get().take();
        QCOMPARE(notices.size(), size_t(1));
        QCOMPARE(notices[0].key, QString::fromLatin1(kFinances));
    }

    // An import that cannot reach the disk leaves the book as it was, in memory and on disk.
    void replaceAllThatCannotBeSavedRestoresTheEntries() {
        FinanceStore &s = FinanceStore::shared();
        s.add(entry("old", "01.03.2026"));
        QVERIFY(prefs->prefs().flush());
        const QByteArray before = prefs->prefs().data(kFinances);
        posts = 0;

        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(prefs->path().toUtf8().constData(), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000); // as any program, it waits while Mivo's writer commits
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        QVERIFY(!s.replaceAll({entry("new", "02.03.2026")}));
        QCOMPARE(ids(s.entries()), QStringList{"old"});
        QCOMPARE(prefs->prefs().data(kFinances), before);
        QCOMPARE(posts, 0);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);

        QVERIFY(prefs->prefs().flush());
        prefs->reopen();
        QCOMPARE(prefs->prefs().data(kFinances), before);
        QVERIFY(s.replaceAll({entry("new", "02.03.2026")}));
        QCOMPARE(posts, 1);
        prefs->prefs().setFrozen(true); // after erase or restore nothing is written
        QVERIFY(!s.replaceAll({}));
        QCOMPARE(ids(s.entries()), QStringList{"new"});
    }
};

QTEST_MAIN(TstFinStore)
#include "tst_fin_store.moc"
