#include "common/Files.h"
#include "common/TestEnv.h"
#include "notes/TableImport.h"
#include "notes/XlsxReader.h"
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

using TableImport::Failure;
using TableImport::Rows;

namespace {
struct Member {
    QByteArray name;
    QByteArray data;
    bool symlink = false;
    bool store = false; // no compression
};

// A zip archive written by libzip, as bytes.
QByteArray makeZip(const QList<Member> &members) {
    QTemporaryDir dir;
    const QByteArray path = dir.filePath(QStringLiteral("t.zip")).toLocal8Bit();
    int err = 0;
    zip_t *za = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!za) return {};
    QList<QByteArray> keep = {}; // libzip reads the buffers at close
    for (const Member &m : members) {
        keep << m.data;
        zip_source_t *src =
            zip_source_buffer(za, keep.last().constData(), zip_uint64_t(keep.last().size()), 0);
        const zip_int64_t idx = zip_file_add(za, m.name.constData(), src, ZIP_FL_ENC_UTF_8);
        if (m.symlink)
            zip_file_set_external_attributes(za, zip_uint64_t(idx), 0, ZIP_OPSYS_UNIX,
                                             zip_uint32_t(S_IFLNK | 0777) << 16);
        if (m.store) zip_set_file_compression(za, zip_uint64_t(idx), ZIP_CM_STORE, 0);
    }
    if (zip_close(za) != 0) return {};
    QFile f(QString::fromLocal8Bit(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray sheet(const QByteArray &rows, const QByteArray &prolog = {}) {
    const QByteArray head =
        prolog.isEmpty() ? QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n")
                         : prolog;
    return head +
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" +
           rows + "</sheetData></worksheet>";
}

const QByteArray kWorkbook =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook "
    "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
    "<sheet name=\"Data\" sheetId=\"2\" r:id=\"rId7\"/><sheet name=\"Old\" sheetId=\"1\" "
    "r:id=\"rId1\"/></sheets></workbook>";
const QByteArray kRels = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                         "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                         "<Relationship Id=\"rId1\" "
                         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                         "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
                         "<Relationship Id=\"rId7\" "
                         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                         "worksheet\" Target=\"/xl/worksheets/data.xml\"/>"
                         "<Relationship Id=\"rId9\" "
                         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                         "sharedStrings\" Target=\"strings.xml\"/>"
                         "</Relationships>";
const QByteArray kStrings =
    "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"3\" uniqueCount=\"3\">"
    "<si><t>Name</t></si>"
    "<si><r><t>Ri</t></r><r><rPr><b/></rPr><t xml:space=\"preserve\">ch </t></r><rPh sb=\"0\" "
    "eb=\"1\"><t>ふり</t></rPh></si>"
    "<si><t>A &amp; B</t></si></sst>";

// Writes a 32-bit little-endian value at offset.
void putLe32(QByteArray &bytes, qsizetype offset, quint32 v) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char((v >> (8 * i)) & 0xff);
}

// The archive with every size of its one member, in the local header and the central directory,
// claimed as claimed.
QByteArray withClaimedSize(QByteArray zip, quint32 claimed) {
    const qsizetype local = zip.indexOf("PK\x03\x04");
    const qsizetype central = zip.indexOf("PK\x01\x02");
    putLe32(zip, local + 22, claimed);
    putLe32(zip, central + 24, claimed);
    return zip;
}

QStringList rowsText(const Rows &rows) {
    QStringList out;
    for (const QStringList &r : rows)
        out << r.join(u'|');
    return out;
}
} // namespace

class TestTableImport : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    // Memory that runs out while importing ends the import with a message, never the app. The
    // import runs in a child whose address space is capped a little above what it already uses; it
    // comes first, before other cases leave freed memory in the heap that would count as used.
    void runningOutOfMemoryEndsTheImportNotTheApp() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("A sanitizer maps terabytes of shadow memory and allocates through its own heap: "
              "an address-space cap says nothing there");
#endif
        QTemporaryDir dir;
        QByteArray csv;
        const QByteArray line = QByteArray(998, ',') + "\n";
        while (csv.size() < 8 * 1024 * 1024)
            csv += line;
        const QString path = putFile(dir.filePath(QStringLiteral("wide.csv")), csv);
        csv.clear();
        const pid_t child = ::fork();
        if (child == 0) {
            rlimit as{};
            QFile status(QStringLiteral("/proc/self/statm"));
            status.open(QIODevice::ReadOnly);
            const qint64 pages = status.readAll().split(' ').value(0).toLongLong();
            as.rlim_cur = as.rlim_max = rlim_t(pages * ::sysconf(_SC_PAGESIZE) + 96LL * 1024 * 1024);
            ::setrlimit(RLIMIT_AS, &as);
            TableImport::Table t;
            const Failure f = TableImport::importFile(path, t);
            ::_exit(f == Failure::outOfMemory ? 0 : 10 + int(f));
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status), "the import ended the process");
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(TableImport::alertMessage(Failure::outOfMemory),
                 QStringLiteral("Not enough memory to import this file"));
    }

    void csvFollowsRfc4180_data() {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("CRLF") << QByteArray("a,b\r\nc,d\r\n") << QStringList{"a|b", "c|d"};
        QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBFName,Qty\n") << QStringList{"Name|Qty"};
        QTest::newRow("doubled quotes") << QByteArray("\"say \"\"hi\"\"\",x") << QStringList{"say \"hi\"|x"};
        QTest::newRow("comma in quotes") << QByteArray("\"a,b\",c") << QStringList{"a,b|c"};
        QTest::newRow("newline in quotes")
            << QByteArray("\"l1\nl2\",x\ny,z") << QStringList{"l1\nl2|x", "y|z"};
        QTest::newRow("CRLF in quotes") << QByteArray("\"l1\r\nl2\"\r\n") << QStringList{"l1\nl2"};
        QTest::newRow("spaces kept") << QByteArray(" a , b ") << QStringList{" a | b "};
        QTest::newRow("trailing comma") << QByteArray("a,\n") << QStringList{"a|"};
        QTest::newRow("blank lines dropped") << QByteArray("a\n\n \t\u00a0\nb\n\n") << QStringList{"a", "b"};
        QTest::newRow("quote inside unquoted") << QByteArray("ab\"c,d") << QStringList{"ab\"c|d"};
        QTest::newRow("unclosed quote") << QByteArray("x\n\"a,b\nc") << QStringList{"x", "a,b\nc"};
        QTest::newRow("quoted empty kept") << QByteArray("\"\"\n") << QStringList{""};
        QTest::newRow("lone CR is a character") << QByteArray("a\rb") << QStringList{"a\rb"};
        QTest::newRow("tab is no separator") << QByteArray("a\tb") << QStringList{"a\tb"};
    }
    void csvFollowsRfc4180() {
        QFETCH(QByteArray, csv);
        QFETCH(QStringList, rows);
        const auto r = TableImport::parseCsv(csv);
        QCOMPARE(int(r.failure), int(Failure::none));
        QCOMPARE(rowsText(r.rows), rows);
    }

    void csvFailures() {
        QCOMPARE(TableImport::parseCsv("ok,\xff\xfe").failure, Failure::couldNotRead);
        QCOMPARE(TableImport::parseCsv("\n \n\t\n").failure, Failure::nothingToImport);
        QCOMPARE(TableImport::parseCsv(QByteArray(999, ',')).failure, Failure::none); // 1 000 columns
        QCOMPARE(TableImport::parseCsv(QByteArray(1000, ',')).failure, Failure::tooLarge);
        QByteArray many = "h\n";
        for (int i = 0; i < TableImport::kMaxDataRows; ++i)
            many += "r\n";
        QCOMPARE(TableImport::parseCsv(many).rows.size(), size_t(TableImport::kMaxDataRows + 1));
        QCOMPARE(TableImport::parseCsv(many + "r\n").failure, Failure::tooLarge);

        QTemporaryDir dir;
        QFile big(dir.filePath(QStringLiteral("big.csv")));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(TableImport::kMaxCsvBytes + 1));
        big.close();
        QCOMPARE(TableImport::readFile(big.fileName()).failure, Failure::tooLarge);
        QCOMPARE(TableImport::readFile(dir.filePath(QStringLiteral("missing.csv"))).failure,
                 Failure::couldNotRead);
        QCOMPARE(TableImport::alertMessage(Failure::tooLarge), QStringLiteral("File too large to import"));
        QCOMPARE(TableImport::alertInformative(Failure::xlsxFailed),
                 QStringLiteral("Try saving as .csv first and import that."));
    }

    void fileKindsByExtension() {
        using TableImport::Kind;
        QCOMPARE(TableImport::kindForPath(QStringLiteral("/x/a.CSV")), Kind::csv);
        QCOMPARE(TableImport::kindForPath(QStringLiteral("/x/a.XLSX")), Kind::xlsx);
        QCOMPARE(TableImport::kindForPath(QStringLiteral("/x/a.xls")), Kind::xlsx);
        QCOMPARE(TableImport::kindForPath(QStringLiteral("/x/a.tsv")), Kind::csv);
        QCOMPARE(TableImport::kindForPath(QStringLiteral("/x/a")), Kind::csv);
    }

    void rowsBecomeATable() {
        const auto t = TableImport::tableFromRows({{"A", "B", "C"}, {"1"}, {"1", "2", "3", "4", "5"}});
        QCOMPARE(t.columns.size(), size_t(3));
        QCOMPARE(t.columns[2].title, QStringLiteral("C"));
        QCOMPARE(t.columns[0].id.size(), 36);
        QCOMPARE(t.rows[0].cells, (QStringList{"1", "", ""}));
        QCOMPARE(t.rows[1].cells.size(), 5);
        QVERIFY(t.rows[0].cellsRTF.empty());
        QVERIFY(t.rows[0].id != t.rows[1].id);
        QCOMPARE(TableImport::tableFromRows({{"only"}}).rows.size(), size_t(0));
    }

    void xlsxReadsTheFirstSheetLikeASpreadsheetWroteIt() {
        const QByteArray data = sheet(
            "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>Qty</t></is></c>"
            "<c s=\"3\" r=\"C1\" t=\"s\"><v>2</v></c></row>"
            "<row r=\"3\"><c t=\"s\" r=\"A3\"><v>1</v></c><c r=\"B3\" s=\"1\"/><c "
            "r=\"C3\"><f>1+1</f><v>2</v></c></row>"
            "<row r=\"4\"><c r=\"A4\" t=\"s\"><v>7</v></c><c><v>5</v></c><c r=\"E4\" "
            "t=\"b\"><v>1</v></c></row>"
            // Formula strings, errors and booleans are their cached text, never a shared-string index.
            "<row r=\"5\"><c r=\"A5\" t=\"str\"><v>&#8364;&lt;x&gt;</v></c><c r=\"B5\" t=\"str\"><f>A1</f>"
            "<v>2</v></c><c r=\"C5\" t=\"e\"><v>#DIV/0!</v></c><c r=\"D5\" t=\"b\"><v>0</v></c><c "
            "r=\"XFE5\"><v>beyond</v></c></row>"
            "<row r=\"6\"/><row r=\"7\" spans=\"1:3\"></row>");
        const QByteArray zip =
            makeZip({{"[Content_Types].xml", "<Types/>"},
                     {"xl/workbook.xml", kWorkbook},
                     {"xl/_rels/workbook.xml.rels", kRels},
                     {"xl/worksheets/sheet1.xml", sheet("<row><c><v>wrong sheet</v></c></row>")},
                     {"xl/worksheets/data.xml", data},
                     {"xl/strings.xml", kStrings}});
        const auto r = XlsxReader::parse(zip);
        QCOMPARE(int(r.failure), int(Failure::none));
        QCOMPARE(rowsText(r.rows),
                 (QStringList{"Name|Qty|A & B", "||||", "Rich ||2", "7|5|||1", "€<x>|2|#DIV/0!|0"}));
    }

    void xlsxWithoutWorkbookOrStrings() {
        const QByteArray zip =
            makeZip({{"xl/worksheets/sheet1.xml",
                      sheet("<row><c t=\"s\"><v>3</v></c><c t=\"s\"><v>x</v></c></row>")}});
        const auto r = XlsxReader::parse(zip);
        QCOMPARE(rowsText(r.rows), QStringList{"3|x"});
    }

    void xlsxFailures_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("failure");
        const QByteArray good = sheet("<row><c><v>1</v></c></row>");
        QTest::newRow("not a zip") << QByteArray("Name,Qty\n") << int(Failure::noData);
        QTest::newRow("old xls") << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0')
                                 << int(Failure::noData);
        QTest::newRow("no worksheet") << makeZip({{"docProps/app.xml", "<x/>"}}) << int(Failure::noData);
        QTest::newRow("name in another case")
            << makeZip({{"XL/worksheets/sheet1.xml", good}}) << int(Failure::noData);
        QTest::newRow("no cells") << makeZip({{"xl/worksheets/sheet1.xml", sheet("<row r=\"1\"/>")}})
                                  << int(Failure::noData);
        QByteArray cut = makeZip({{"xl/worksheets/sheet1.xml", good}});
        cut.truncate(cut.size() / 2);
        QTest::newRow("truncated archive") << cut << int(Failure::xlsxFailed);
        QByteArray crc =
            makeZip({{"xl/worksheets/sheet1.xml", sheet("<row><c><v>CANARY</v></c></row>"), false, true}});
        crc.replace("CANARY", "CANERY");
        QTest::newRow("bad checksum") << crc << int(Failure::xlsxFailed);
        QTest::newRow("symlink member")
            << makeZip({{"xl/worksheets/sheet1.xml", "/etc/passwd", true}}) << int(Failure::xlsxFailed);
        QTest::newRow("DTD") << makeZip(
                                    {{"xl/worksheets/sheet1.xml",
                                      sheet("<row><c><v>&a;</v></c></row>",
                                            "<?xml version=\"1.0\"?><!DOCTYPE w [<!ENTITY a \"aaaa\">]>")}})
                             << int(Failure::xlsxFailed);
        QTest::newRow("undeclared entity")
            << makeZip({{"xl/worksheets/sheet1.xml", sheet("<row><c><v>&bogus;</v></c></row>")}})
            << int(Failure::xlsxFailed);
        QTest::newRow("broken xml") << makeZip({{"xl/worksheets/sheet1.xml",
                                                 "<worksheet><sheetData><row><c><v>1</c>"}})
                                    << int(Failure::xlsxFailed);
        QByteArray bomb = sheet("<row><c><v>1</v></c></row>" + QByteArray(8 * 1024 * 1024, ' '));
        QTest::newRow("zip bomb") << makeZip({{"xl/worksheets/sheet1.xml", bomb}})
                                  << int(Failure::xlsxFailed);
        QTest::newRow("column 1001") << makeZip({{"xl/worksheets/sheet1.xml",
                                                  sheet("<row><c r=\"ALM1\"><v>1</v></c></row>")}})
                                     << int(Failure::tooLarge);
    }
    void xlsxFailures() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, failure);
        QVERIFY(!bytes.isEmpty());
        QCOMPARE(int(XlsxReader::parse(bytes).failure), failure);
    }

    void xlsxRowCap() {
        QByteArray rows;
        for (int i = 0; i <= TableImport::kMaxDataRows; ++i)
            rows +=
                "<row><c><v>" + QByteArray::number(i) + "</v></c><c r=\"ALL9\"><v>last column</v></c></row>";
        auto r = XlsxReader::parse(makeZip({{"xl/worksheets/sheet1.xml", sheet(rows)}}));
        QCOMPARE(int(r.failure), int(Failure::none));
        QCOMPARE(r.rows.size(), size_t(TableImport::kMaxDataRows + 1));
        QCOMPARE(r.rows.back().size(), 1000);
        rows += "<row><c><v>x</v></c></row>";
        QCOMPARE(XlsxReader::parse(makeZip({{"xl/worksheets/sheet1.xml", sheet(rows)}})).failure,
                 Failure::tooLarge);
    }

    // Each row stays at its number: skipped rows come back blank, as wide as the sheet.
    void xlsxRowsStayAtTheirNumbers() {
        const QByteArray rows = "<row r=\"2\"><c r=\"A2\"><v>a</v></c><c r=\"B2\"><v>b</v></c></row>"
                                "<row r=\"5\"><c r=\"A5\"><v>c</v></c></row>"
                                "<row><c><v>follows 5</v></c></row>"
                                "<row r=\"3\"><c><v>goes back</v></c></row>"
                                "<row r=\"1048576\" ht=\"20\"/>";
        const auto r = XlsxReader::parse(makeZip({{"xl/worksheets/sheet1.xml", sheet(rows)}}));
        QCOMPARE(int(r.failure), int(Failure::none));
        QCOMPARE(rowsText(r.rows), (QStringList{"|", "a|b", "|", "|", "c", "follows 5", "goes back"}));
        // A row with cells beyond the row cap is refused, even after blank ones.
        const QByteArray far = "<row r=\"1\"><c><v>h</v></c></row><row r=\"" +
                               QByteArray::number(TableImport::kMaxDataRows + 2) + "\"><c><v>x</v></c></row>";
        QCOMPARE(XlsxReader::parse(makeZip({{"xl/worksheets/sheet1.xml", sheet(far)}})).failure,
                 Failure::tooLarge);
    }

    // What a member may cost is its real inflated size, whatever the archive claims.
    void xlsxMembersAreBoundedByWhatTheyReallyHold() {
        // A sheet that really inflates past the member cap, at an ordinary compression ratio.
        QByteArray big;
        big.reserve(XlsxReader::kMaxMemberBytes + (1 << 20));
        QRandomGenerator rng(7);
        while (big.size() <= XlsxReader::kMaxMemberBytes)
            big += "<row><c><v>" + QByteArray::number(rng.generate()) + "</v></c></row>";
        const QByteArray bigZip = makeZip({{"xl/worksheets/sheet1.xml", sheet(big)}});
        big.clear();
        QVERIFY(bigZip.size() < TableImport::kMaxXlsxBytes);
        QCOMPARE(int(XlsxReader::parse(bigZip).failure), int(Failure::tooLarge));

        // A directory that understates the sheet: refused as soon as more comes out than claimed.
        QByteArray rows;
        for (int i = 0; i < 2000; ++i)
            rows += "<row><c><v>" + QByteArray::number(i) + "</v></c></row>";
        const QByteArray honest = makeZip({{"xl/worksheets/sheet1.xml", sheet(rows)}});
        QCOMPARE(XlsxReader::parse(honest).rows.size(), size_t(2000));
        QCOMPARE(int(XlsxReader::parse(withClaimedSize(honest, 1000)).failure), int(Failure::xlsxFailed));

        // A link is never followed, even when what it holds reads as a sheet.
        QCOMPARE(int(XlsxReader::parse(
                         makeZip({{"xl/worksheets/sheet1.xml", sheet("<row><c><v>1</v></c></row>"), true}}))
                         .failure),
                 int(Failure::xlsxFailed));
    }

    // One cell may hold a lot, not a whole file: an unclosed quote, an endless inline string.
    void aCellOverItsCapIsRefused() {
        const qsizetype cap = TableImport::kMaxCellChars;
        QCOMPARE(TableImport::parseCsv("h\n\"" + QByteArray(cap, 'x') + "\"\n").failure, Failure::none);
        QCOMPARE(TableImport::parseCsv("h\n" + QByteArray(cap + 1, 'x')).failure, Failure::cellTooLarge);
        QCOMPARE(TableImport::parseCsv("a,b\n\"never closed," + QByteArray(cap, 'x') + "\nc,d\n").failure,
                 Failure::cellTooLarge);
        // The big cell followed by more cells and rows, quoted or not, in a row or in the header.
        for (const QByteArray &big : {QByteArray(cap + 1, 'x'), "\"" + QByteArray(cap + 1, 'x') + "\"",
                                      "\"" + QByteArray(cap, 'x') + "\"\"\""})
            for (const QByteArray &file : {"h1,h2,h3\n" + big + ",b,c\nd,e,f\n", big + ",h2\nd,e\n",
                                           "h1,h2\n" + big + ",\n", "h1,h2\r\n" + big + "\r\nd,e\r\n"})
                QVERIFY2(TableImport::parseCsv(file).failure == Failure::cellTooLarge, file.right(12).constData());
        QCOMPARE(TableImport::parseCsv("h1,h2\n" + QByteArray(cap, 'x') + ",b\n").failure, Failure::none);
        const QByteArray longInline = "<row><c t=\"inlineStr\"><is><t>" + QByteArray(cap / 2 + 1, 'y') +
                                      "</t><t>" + QByteArray(cap / 2, 'y') + "</t></is></c></row>";
        QCOMPARE(
            int(XlsxReader::parse(makeZip({{"xl/worksheets/sheet1.xml", sheet(longInline), false, true}}))
                    .failure),
            int(Failure::cellTooLarge));
        QCOMPARE(TableImport::alertMessage(Failure::cellTooLarge),
                 QStringLiteral("A cell is too large to import"));
    }

    void xlsxFilesGoThroughTheirCap() {
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("t.XLSX")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(makeZip({{"xl/worksheets/sheet1.xml", sheet("<row><c><v>1</v></c></row>")}}));
        f.close();
        QCOMPARE(rowsText(TableImport::readFile(f.fileName()).rows), QStringList{"1"});
        QVERIFY(f.resize(TableImport::kMaxXlsxBytes + 1));
        QCOMPARE(TableImport::readFile(f.fileName()).failure, Failure::tooLarge);
    }
};

QTEST_MAIN(TestTableImport)
#include "tst_table_import.moc"
