#include "common/PdfWords.h"
#include "common/TestEnv.h"
#include "notes/NoteExport.h"
#include "notes/NoteStore.h"
#include "notes/RtfCodec.h"
#include <QRegularExpression>
#include <QTextCursor>
#include <QThread>
#include <memory>
#include <QTextDocument>
#include <QtTest>

namespace {
QTextCharFormat fmt(bool bold, bool italic = false, bool underline = false, QColor color = {}) {
    QTextCharFormat f;
    if (bold) f.setFontWeight(QFont::Bold);
    if (italic) f.setFontItalic(true);
    if (underline) f.setFontUnderline(true);
    if (color.isValid()) f.setForeground(color);
    return f;
}

QByteArray boldRtf(const QString &plain, const QString &bold) {
    QTextDocument d;
    QTextCursor c(&d);
    c.insertText(plain, QTextCharFormat());
    c.insertText(bold, fmt(true));
    return RtfCodec::write(d);
}

Note baseNote(NoteType type) {
    Note n;
    n.id = QStringLiteral("N");
    n.type = type;
    n.emoji = QStringLiteral("📝");
    n.title = QStringLiteral("Plan");
    // 1 March 2026 12:30 UTC
    n.createdInterval = 794061000;
    return n;
}
} // namespace

class TestNoteExport : public QObject {
    Q_OBJECT
public:
    static void initMain() {
        qputenv("TZ", "UTC");
        useOffscreenWhenHeadless();
    }

private slots:
    void markedTextNestsBoldItalicUnderline() {
        QTextDocument d;
        QTextCursor c(&d);
        c.insertText(QStringLiteral("plain "), QTextCharFormat());
        c.insertText(QStringLiteral("all"), fmt(true, true, true));
        c.insertText(QStringLiteral(" "), QTextCharFormat());
        c.insertText(QStringLiteral("red"), fmt(true, false, false, Qt::red));
        c.insertText(QStringLiteral("blue"), fmt(true, false, false, Qt::blue));
        c.insertText(QStringLiteral(" it"), fmt(false, true));
        QCOMPARE(NoteStore::attrStringToMarkdown(d),
                 QStringLiteral("plain ___**all**___ **red****blue**_ it_"));
    }

    void markedTextRunsJoinAcrossParagraphs() {
        QTextDocument d;
        QTextCursor c(&d);
        c.insertText(QStringLiteral("one"), fmt(true));
        c.insertBlock();
        c.insertText(QStringLiteral("two"), fmt(true));
        c.insertBlock();
        c.insertText(QStringLiteral("three"), QTextCharFormat());
        QCOMPARE(NoteStore::attrStringToMarkdown(d), QStringLiteral("**one\ntwo\n**three"));
        QTextDocument empty;
        QCOMPARE(NoteStore::attrStringToMarkdown(empty), QString());
        QTextDocument plain;
        plain.setPlainText(QStringLiteral("a\nb"));
        QCOMPARE(NoteStore::attrStringToMarkdown(plain), QStringLiteral("a\nb"));
    }

    void textExportOfATextNote() {
        Note n = baseNote(NoteType::text);
        n.body = QStringLiteral("ignored when RTF reads");
        n.bodyRTF = boldRtf(QStringLiteral("Buy "), QStringLiteral("milk"));
        n.link = QStringLiteral("https://ex.org");
        QCOMPARE(NoteStore::txtExport(n),
                 QStringLiteral("Mivo — Notes\n📝 Plan\n────────────────────────────────────────\n\n"
                                "Buy **milk**\n\n🔗 https://ex.org\n\nCreated: 01.03.2026 12:30"));
        n.bodyRTF = QByteArray("not rtf");
        n.body.clear();
        n.link.clear();
        QCOMPARE(NoteStore::txtExport(n),
                 QStringLiteral("Mivo — Notes\n📝 Plan\n────────────────────────────────────────\n\n"
                                "\nCreated: 01.03.2026 12:30"));
    }

    void textExportOfATableNote() {
        Note n = baseNote(NoteType::table);
        n.link = QStringLiteral("https://not.written");
        n.columns = {NoteTableColumn(QStringLiteral("Name")), NoteTableColumn(QStringLiteral("Qty"))};
        NoteRow r1(QStringList{QStringLiteral("Milk"), QStringLiteral("2")});
        r1.cellsRTF[1] = boldRtf(QString(), QStringLiteral("2"));
        NoteRow empty(QStringList{});
        n.rows = {r1, empty};
        QCOMPARE(NoteStore::txtExport(n),
                 QStringLiteral("Mivo — Notes\n📝 Plan\n────────────────────────────────────────\n\n"
                                "Name | Qty\n----------------------------------------\nMilk | **2**\n\n\n"
                                "Created: 01.03.2026 12:30"));
        // A long title line gets a dash line of its own length in characters as a reader counts them
        // (a flag is one, not four UTF-16 units).
        n.columns = {NoteTableColumn(QStringLiteral("🇺🇦").repeated(45))};
        n.rows.clear();
        QVERIFY(NoteStore::txtExport(n).contains(u'\n' + QString(45, u'-') + u'\n'));
    }

    void csvExportQuotesEveryField() {
        Note t = baseNote(NoteType::table);
        t.columns = {NoteTableColumn(QStringLiteral("Say \"hi\"")), NoteTableColumn(QStringLiteral("B"))};
        NoteRow short1(QStringList{QStringLiteral("a,b")});
        short1.cellsRTF[0] = boldRtf(QString(), QStringLiteral("rich"));
        t.rows = {short1, NoteRow(QStringList{})};
        QCOMPARE(NoteStore::csvExport(t), QStringLiteral("\"Say \"\"hi\"\"\",\"B\"\n\"a,b\"\n"));
        Note x = baseNote(NoteType::text);
        x.body = QStringLiteral("line1\nline2");
        QCOMPARE(NoteStore::csvExport(x),
                 QStringLiteral("\"Title\",\"Body\",\"Link\"\n\"Plan\",\"line1\nline2\",\"\""));
    }

    void proposedNames() {
        Note n = baseNote(NoteType::text);
        n.title = QStringLiteral("a/b:c");
        QCOMPARE(NoteExport::proposedName(n, NoteExport::Format::txt), QStringLiteral("a-b-c.txt"));
        n.title.clear();
        QCOMPARE(NoteExport::proposedName(n, NoteExport::Format::pdf), QStringLiteral("note.pdf"));
        QCOMPARE(NoteExport::proposedName(n, NoteExport::Format::csv), QStringLiteral("note.csv"));
    }

    void filesAreWrittenOrTheFailureSaysWhy() {
        QTemporaryDir dir;
        const Note n = baseNote(NoteType::text);
        const QString path = dir.filePath(QStringLiteral("n.csv"));
        QVERIFY(NoteExport::writeText(path, n, NoteExport::Format::csv).ok);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()), NoteStore::csvExport(n));
        const auto bad =
            NoteExport::writeText(dir.filePath(QStringLiteral("none/n.txt")), n, NoteExport::Format::txt);
        QVERIFY(!bad.ok);
        QVERIFY(!bad.error.isEmpty());
        QVERIFY(!NoteExport::writePdf(dir.filePath(QStringLiteral("none/n.pdf")), n).ok);
    }

    void pdfIsA4AndPaginates() {
        QTemporaryDir dir;
        auto pages = [&](const Note &n) {
            const QString path = dir.filePath(QStringLiteral("n.pdf"));
            if (!NoteExport::writePdf(path, n).ok) return -1;
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) return -1;
            const QByteArray pdf = f.readAll();
            if (!pdf.startsWith("%PDF") || !pdf.contains("/MediaBox [0 0 595.000000 842.000000]")) return -2;
            return int(pdf.count("/Type /Page\n"));
        };
        Note shortNote = baseNote(NoteType::text);
        shortNote.body = QStringLiteral("A short note.\nSecond line.");
        QCOMPARE(pages(shortNote), 1);
        // As a reader lays it out: 48-point side and 52-point top margins, the title in 16 points.
        const auto l = pdfLayout(dir.filePath(QStringLiteral("n.pdf")));
        QVERIFY2(l, "pdftotext (poppler-utils) did not run");
        QCOMPARE(l->lines, (QStringList{"Plan", QString(40, QChar(0x2500)), "A short note.", "Second line."}));
        QVERIFY2(nearPt(l->left, 48) && nearPt(l->top, 52) && nearPt(l->height, 18.6) && nearPt(l->pitch, 19),
                 qPrintable(l->describe()));
        Note table = baseNote(NoteType::table);
        table.columns = {NoteTableColumn(QStringLiteral("A"))};
        for (int i = 0; i < 200; ++i)
            table.rows.emplace_back(QStringList{QString::number(i)});
        QVERIFY(pages(table) > 2);

        // Colour emoji are drawn as pictures: the PDF writer cannot embed their bitmap font.
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("n.pdf"))));
        QFile::remove(dir.filePath(QStringLiteral("n.pdf")));
        QVERIFY(NoteExport::writePdf(dir.filePath(QStringLiteral("e.pdf")), shortNote).ok);
        QFile withEmoji(dir.filePath(QStringLiteral("e.pdf")));
        QVERIFY(withEmoji.open(QIODevice::ReadOnly));
        QVERIFY(withEmoji.readAll().contains("/Subtype /Image"));

        QTextDocument doc;
        NoteExport::buildPdfDocument(table, doc);
        QVERIFY(doc.toPlainText().startsWith(QStringLiteral("📝  Plan\n") + QString(40, QChar(0x2500)) +
                                             QStringLiteral("\n\nA\n")));
    }

    // A PDF written on a worker has the bytes of one written on the window's thread (its creation
    // time aside): pictures of emoji, rich text and a table's separators alike.
    void pdfBytesDoNotDependOnTheThread() {
        QTemporaryDir dir;
        Note text = baseNote(NoteType::text);
        text.title = QStringLiteral("Plan 🙂");
        text.body = QStringLiteral("plain ❤️ 🇩🇪 bold");
        text.bodyRTF = boldRtf(QStringLiteral("plain ❤️ 🇩🇪 "), QStringLiteral("bold"));
        Note plain = baseNote(NoteType::text);
        plain.body = QStringLiteral("Line of a note that runs on.\n").repeated(400);
        Note table = baseNote(NoteType::table);
        table.columns = {NoteTableColumn(QStringLiteral("A")), NoteTableColumn(QStringLiteral("B"))};
        table.rows.emplace_back(QStringList{QStringLiteral("1 🙂"), QStringLiteral("x")});
        table.rows.back().cellsRTF[1] = boldRtf(QString(), QStringLiteral("x"));
        const auto bytes = [](const QString &path) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) return QByteArray();
            static const QRegularExpression date(QStringLiteral("/CreationDate \\(D:[^)]*\\)"));
            return QString::fromLatin1(f.readAll()).remove(date).toLatin1();
        };
        for (const Note &n : {text, plain, table}) {
            const QString here = dir.filePath(QStringLiteral("here.pdf")), there = dir.filePath(QStringLiteral("there.pdf"));
            QVERIFY(NoteExport::writePdf(here, n).ok);
            NoteExport::WriteResult r;
            std::unique_ptr<QThread> worker(QThread::create([&] { r = NoteExport::writePdf(there, n); }));
            worker->start();
            QVERIFY(worker->wait(60000));
            QVERIFY(r.ok);
            const QByteArray a = bytes(here), b = bytes(there);
            QVERIFY(a.size() > 1000);
            QVERIFY2(a == b, qPrintable(n.title + QStringLiteral(": %1 and %2 bytes").arg(a.size()).arg(b.size())));
        }
    }
};

QTEST_MAIN(TestNoteExport)
#include "tst_note_export.moc"
