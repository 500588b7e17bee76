#include "common/Files.h"
#include "common/PdfWords.h"
#include "common/TestEnv.h"
#include "finance/FinReports.h"
#include "finance/FinanceFile.h"
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QString put(const QTemporaryDir &dir, const QByteArray &bytes) {
    static int n = 0;
    const QString path = dir.filePath(QStringLiteral("in-%1.json").arg(++n));
    return putFile(path, bytes);
}
QByteArray rec(const char *id, const char *amount = "12.5") {
    return QByteArray(R"({"id":")") + id +
           R"(","dateStr":"05.03.2026","name":"N","category":"Food","type":"expense","amount":)" + amount +
           R"(,"month":3,"year":2026,"note":""})";
}
} // namespace

// The finance page's files: the JSON import with hostile inputs, the round trip, and the writers.
class TstFinFiles : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }

    void importRefuses_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("top-level object") << rec("A");
        QTest::newRow("not JSON") << QByteArray("hello");
        QTest::newRow("truncated") << "[" + rec("A").chopped(5);
        QTest::newRow("infinite amount") << "[" + rec("A", "1e999") + "]";
        QTest::newRow("zero amount") << "[" + rec("A", "0") + "]";
        QTest::newRow("negative amount") << "[" + rec("A", "-3") + "]";
        QTest::newRow("amount as text") << "[" + rec("A", "\"3\"") + "]";
        QTest::newRow("null in the array") << "[" + rec("A") + ",null]";
        QTest::newRow("deep nesting") << QByteArray(100000, '[') + QByteArray(100000, ']');
        QTest::newRow("empty file") << QByteArray();
    }
    void importRefuses() {
        QFETCH(QByteArray, bytes);
        QVERIFY(!FinanceFile::read(put(dir, bytes)).ok);
    }

    void emptyArrayIsAnEmptyBook() {
        const auto r = FinanceFile::read(put(dir, "[]"));
        QVERIFY(r.ok);
        QVERIFY(r.entries.empty());
    }

    void oversizedFileIsRefusedUnread() {
        QByteArray big = "[" + rec("A");
        const QByteArray more = "," + rec("A");
        while (big.size() <= 4096)
            big += more;
        big += "]";
        QVERIFY(!FinanceFile::read(put(dir, big), 4096).ok);
        QVERIFY(FinanceFile::read(put(dir, big), big.size()).ok); // the same file under a larger limit
        QVERIFY(!FinanceFile::read(dir.filePath(QStringLiteral("missing.json"))).ok);
    }

    // One row's "×" deletes every entry with its id, so repeated ids must not survive an import.
    void laterDuplicateIdsGetFreshOnes() {
        const auto r = FinanceFile::read(put(dir, "[" + rec("A") + "," + rec("B") + "," + rec("A") + "]"));
        QVERIFY(r.ok);
        QCOMPARE(r.entries.size(), size_t(3));
        QCOMPARE(r.entries[0].id, QStringLiteral("A"));
        QCOMPARE(r.entries[1].id, QStringLiteral("B"));
        QVERIFY(r.entries[2].id != QStringLiteral("A") && r.entries[2].id.size() == 36);
    }

    void exportImportIsByteEqual() {
        std::vector<FinEntry> all{
            {"ID-1", "05.03.2026", "Coffee \"to go\" ☕", "Food", FinType::expense, 3.1, 3, 2026, ""},
            {"ID-2", "2026-04-01", "Pay", "Gehalt", FinType::income, 1e6 + 0.01, 4, 2026, "note\twith tab"},
        };
        const QByteArray bytes = encodeEntries(all);
        const QString path = dir.filePath(QStringLiteral("mivo-finances.json"));
        QVERIFY(FinanceFile::write(path, bytes).ok);
        const auto back = FinanceFile::read(path);
        QVERIFY(back.ok);
        QCOMPARE(back.entries, all);
        QCOMPARE(encodeEntries(back.entries), bytes);
    }

    void failedWritesSaySoAndKeepTheOldFile() {
        const QString path = dir.filePath(QStringLiteral("no/such/folder/x.csv"));
        const auto r = FinanceFile::write(path, "x");
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QVERIFY(!FinanceFile::writePdf(path, QStringLiteral("x"), QStringLiteral("x")).ok);
    }

    void pdfIsA4() {
        const QString path = dir.filePath(QStringLiteral("finances-2026-03.pdf"));
        QString text = QStringLiteral("Mivo — Finance Report\nMarch 2026\n") + QString(52, QChar(0x2550));
        for (int i = 0; i < 120; ++i)
            text += QStringLiteral("\n  05.03.2026    row ") + QString::number(i);
        const auto r = FinanceFile::writePdf(path, text, QString::fromUtf8(FinReports::kTitle));
        QVERIFY2(r.ok, qPrintable(r.error));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray pdf = f.readAll();
        QVERIFY(pdf.startsWith("%PDF"));
        QCOMPARE(pdfTitle(path).value_or("pdfinfo did not run"), QStringLiteral("Mivo — Finance Report"));
        QVERIFY2(pdf.contains("/MediaBox [0 0 595.000000 842.000000]"),
                 pdf.mid(pdf.indexOf("MediaBox"), 60).constData());
        QVERIFY(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page ") >=
                2); // 120 rows need pages
        // As a reader lays it out: 40-point side and 48-point top margins, 11-point type, 3 points
        // between lines.
        const auto l = pdfLayout(path);
        QVERIFY2(l, "pdftotext (poppler-utils) did not run");
        QCOMPARE(l->lines.mid(0, 4), (QStringList{"Mivo — Finance Report", "March 2026", QString(52, QChar(0x2550)),
                                                 "05.03.2026 row 0"}));
        QVERIFY2(nearPt(l->left, 40) && nearPt(l->top, 48) && nearPt(l->height, 12.8) && nearPt(l->pitch, 15.25),
                 qPrintable(l->describe()));
    }
};

QTEST_MAIN(TstFinFiles)
#include "tst_fin_files.moc"
