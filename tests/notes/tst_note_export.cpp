#include "common/PdfWords.h"
#include "common/TestEnv.h"
#include "notes/NoteExport.h"
#include "notes/NoteStore.h"
#include "notes/RtfCodec.h"
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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

// The bytes this process has written so far to files it holds open in folder, named or not (a save
// file being written has no name until it is committed).
qint64 savingBytes(const QString &folder) {
    qint64 sum = 0;
    const QByteArray prefix = QFile::encodeName(folder) + '/';
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QByteArray link = QFile::encodeName(fds.filePath(fd));
        char target[4096];
        const ssize_t n = ::readlink(link.constData(), target, sizeof target);
        struct stat st {};
        // The file the descriptor holds, named or not.
        if (n > 0 && QByteArray(target, n).startsWith(prefix) && ::stat(link.constData(), &st) == 0)
            sum += st.st_size;
    }
    return sum;
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
        QCOMPARE(NoteStore::attrStringToMarkdown(d), QStringLiteral("**one**\n**two**\nthree"));
        // Every marker closes before the line's end, as the stored rich text of a note reads.
        QCOMPARE(
            NoteStore::rtfToMarkdown("{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0 {\\b\\i both}\\par The "
                                     "{\\ul quarterly\\par\\par}\\b report\\par}")
                .value_or(QStringLiteral("unread")),
            QStringLiteral("_**both**_\nThe __quarterly__\n\n**report**"));
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

    // A heart and other symbols a text font holds too are pictures in colour, not outlines in the
    // text's colour.
    void emojiAreColouredInThePdf() {
        const auto reds = [](const QImage &img) {
            int n = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) {
                    const QColor c = img.pixelColor(x, y);
                    n += c.alpha() > 128 && c.red() > 150 && c.green() < 90 && c.blue() < 90;
                }
            return n;
        };
        QFont font;
        font.setPixelSize(12);
        for (const QString &heart : {QStringLiteral("❤️"), QStringLiteral("❤")}) {
            const QImage img = NoteExport::glyphPicture(heart, font, Qt::black);
            QVERIFY2(reds(img) > 20, qPrintable(heart));
        }
        // As a reader shows the page.
        QTemporaryDir dir;
        Note n = baseNote(NoteType::text);
        n.body = QStringLiteral("love ❤️ you");
        QVERIFY(NoteExport::writePdf(dir.filePath(QStringLiteral("h.pdf")), n).ok);
        QProcess render;
        render.start(QStringLiteral("pdftoppm"),
                     {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("100"),
                      QStringLiteral("-singlefile"), dir.filePath(QStringLiteral("h.pdf")),
                      dir.filePath(QStringLiteral("h"))});
        QVERIFY2(render.waitForFinished(30000) && render.exitCode() == 0,
                 "pdftoppm (poppler-utils) did not run");
        const QImage page(dir.filePath(QStringLiteral("h.png")));
        QVERIFY(!page.isNull());
        QVERIFY2(reds(page.convertToFormat(QImage::Format_ARGB32)) > 20, "the heart is not red");
    }

    // A stop that comes once an export's file is written and before it is committed leaves no file,
    // and counts as one that is not written; TXT and CSV are written on the worker as PDF is.
    void aStopBeforeTheCommitLeavesNoFile() {
        QTemporaryDir dir;
        Note n = baseNote(NoteType::text);
        n.body = QStringLiteral("Body 🙂");
        QObject receiver;
        for (const NoteExport::Format f :
             {NoteExport::Format::txt, NoteExport::Format::csv, NoteExport::Format::pdf}) {
            QSemaphore reached, go;
            // Set on the worker, read here: the semaphore orders the two where ThreadSanitizer cannot see.
            std::atomic<QThread *> writer{nullptr};
            NoteExport::setBeforeCommitHookForTests([&] {
                writer = QThread::currentThread();
                reached.release();
                go.acquire();
            });
            bool told = false;
            const QString path = dir.filePath(NoteExport::proposedName(n, f));
            NoteExport::writeLater(path, n, f, &receiver,
                                   [&told](const NoteExport::WriteResult &) { told = true; });
            QVERIFY(reached.tryAcquire(1, 60000));
            QVERIFY(writer.load() && writer.load() != QThread::currentThread());
            QCOMPARE(NoteExport::stopAll(), 1);
            go.release();
            QVERIFY(NoteExport::settle(60000));
            QCoreApplication::processEvents();
            QVERIFY(!told);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

            // Not stopped, it is written and told.
            go.release();
            NoteExport::writeLater(path, n, f, &receiver,
                                   [&told](const NoteExport::WriteResult &r) { told = r.ok; });
            QVERIFY(reached.tryAcquire(1, 60000));
            QTRY_VERIFY_WITH_TIMEOUT(told, 60000);
            QVERIFY(QFileInfo::exists(path));
            QCOMPARE(NoteExport::stopAll(), 0);
            QVERIFY(QFile::remove(path));
        }
        NoteExport::setBeforeCommitHookForTests({});
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
        QCOMPARE(l->lines,
                 (QStringList{"Plan", QString(40, QChar(0x2500)), "A short note.", "Second line."}));
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

    // Every format written on a worker has the bytes of one written on the window's thread (a PDF's
    // creation time aside): pictures of emoji, rich text, a long note and a table's separators alike.
    // The result comes back on the window's thread.
    void exportsWrittenOnAWorkerHaveTheBytesOfTheWindowsThread() {
        QTemporaryDir dir;
        Note text = baseNote(NoteType::text);
        text.title = QStringLiteral("Plan 🙂");
        text.body = QStringLiteral("plain ❤️ 🇩🇪 bold");
        text.bodyRTF = boldRtf(QStringLiteral("plain ❤️ 🇩🇪 "), QStringLiteral("bold"));
        text.link = QStringLiteral("https://ex.org");
        Note plain = baseNote(NoteType::text);
        plain.body = QStringLiteral("Line of a note that runs on, \"quoted\".\n").repeated(400);
        Note table = baseNote(NoteType::table);
        table.columns = {NoteTableColumn(QStringLiteral("A")), NoteTableColumn(QStringLiteral("B"))};
        table.rows.emplace_back(QStringList{QStringLiteral("1 🙂"), QStringLiteral("x")});
        table.rows.back().cellsRTF[1] = boldRtf(QString(), QStringLiteral("x"));
        // The large table goes as text only: its PDF takes seconds.
        Note large = baseNote(NoteType::table);
        for (int c = 0; c < 20; ++c)
            large.columns.emplace_back(QStringLiteral("Column %1").arg(c));
        for (int r = 0; r < 10000; ++r) {
            QStringList cells;
            for (int c = 0; c < 20; ++c)
                cells << QStringLiteral("value %1").arg(r * 20 + c);
            large.rows.emplace_back(cells);
        }
        large.rows[7].cellsRTF[3] = boldRtf(QString(), QStringLiteral("rich"));
        const auto bytes = [](const QString &path) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) return QByteArray();
            static const QRegularExpression date(QStringLiteral("/CreationDate \\(D:[^)]*\\)"));
            const QByteArray all = f.readAll();
            return all.startsWith("%PDF") ? QString::fromLatin1(all).remove(date).toLatin1() : all;
        };
        using F = NoteExport::Format;
        const std::vector<std::pair<Note, std::vector<F>>> cases = {{text, {F::txt, F::csv, F::pdf}},
                                                                    {plain, {F::txt, F::csv, F::pdf}},
                                                                    {table, {F::txt, F::csv, F::pdf}},
                                                                    {large, {F::txt, F::csv}}};
        QObject receiver;
        for (const auto &[n, formats] : cases) {
            for (const F f : formats) {
                const QString here = dir.filePath(QStringLiteral("here")),
                              there = dir.filePath(QStringLiteral("there"));
                QVERIFY(NoteExport::write(here, n, f).ok);
                auto got = std::make_shared<std::optional<NoteExport::WriteResult>>();
                auto thread = std::make_shared<QThread *>(nullptr);
                NoteExport::writeLater(there, n, f, &receiver,
                                       [got, thread](const NoteExport::WriteResult &r) {
                                           *got = r;
                                           *thread = QThread::currentThread();
                                       });
                QTRY_VERIFY_WITH_TIMEOUT(got->has_value(), 60000);
                QVERIFY((*got)->ok);
                QCOMPARE(*thread, QThread::currentThread());
                const QByteArray a = bytes(here), b = bytes(there);
                QVERIFY(!a.isEmpty());
                QVERIFY2(
                    a == b,
                    qPrintable(
                        n.title +
                        QStringLiteral(" as %1: %2 and %3 bytes").arg(int(f)).arg(a.size()).arg(b.size())));
            }
        }
        QCOMPARE(bytes(dir.filePath(QStringLiteral("here"))), NoteStore::csvExport(large).toUtf8());
    }

    // A stop seen at any step of a PDF (making the document, its pictures of emoji, the layout, a
    // page, the commit) ends the export there and writes nothing, not even a part of the file.
    void aPdfStoppedAtAnyStepWritesNothing() {
        QTemporaryDir dir;
        Note n = baseNote(NoteType::text);
        for (int i = 0; i < 1500; ++i)
            n.body +=
                i % 10 ? QStringLiteral("A line of a note that goes on.\n") : QStringLiteral("A line 🙂\n");
        const QString path = dir.filePath(QStringLiteral("n.pdf"));
        int looks = 0;
        QVERIFY(NoteExport::writePdf(path, n, [&looks] { return ++looks, false; }).ok);
        const qint64 whole = QFileInfo(path).size();
        QVERIFY(QFile::remove(path));
        QVERIFY2(looks > 100, qPrintable(QString::number(looks)));
        for (const int at : {1, looks / 4, looks / 2, looks * 3 / 4, looks - 2, looks - 1, looks}) {
            int seen = 0;
            const NoteExport::WriteResult r =
                NoteExport::writePdf(path, n, [&seen, at] { return ++seen >= at; });
            QVERIFY2(
                r.stopped && !r.ok && seen == at,
                qPrintable(QStringLiteral("stopped at %1 of %2, ended at %3").arg(at).arg(looks).arg(seen)));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        }
        // Stopped once its pages have begun to reach the disk, it stops long before the last page.
        qint64 atStop = -1;
        const NoteExport::WriteResult r = NoteExport::writePdf(path, n, [&] {
            atStop = savingBytes(dir.path());
            return atStop > 0;
        });
        QVERIFY(r.stopped);
        QVERIFY2(atStop > 0 && atStop < whole / 2,
                 qPrintable(QStringLiteral("%1 of %2 bytes").arg(atStop).arg(whole)));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // Quitting stops the exports still being written: the wait for them ends, no file is left and
    // nothing is told. Exports after that are written as ever.
    void quittingStopsTheExportsBeingWritten() {
        QTemporaryDir dir;
        Note n = baseNote(NoteType::text);
        n.body = QStringLiteral("A line of a note 🙂\n").repeated(200);
        QObject receiver;
        auto told = std::make_shared<int>(0);
        const auto tell = [told](const NoteExport::WriteResult &) { ++*told; };
        const auto files = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); };
        // Each export, on its worker, reads its note and then waits: the quit comes while both are
        // under way, however fast the workers are.
        auto begun = std::make_shared<QSemaphore>();
        auto go = std::make_shared<QSemaphore>();
        const auto held = [n, begun, go] {
            begun->release();
            go->acquire();
            return std::optional<Note>(n);
        };
        NoteExport::writeLater(dir.filePath(QStringLiteral("a.pdf")), held, NoteExport::Format::pdf,
                               &receiver, tell);
        NoteExport::writeLater(dir.filePath(QStringLiteral("a.txt")), held, NoteExport::Format::txt,
                               &receiver, tell);
        QTRY_COMPARE_WITH_TIMEOUT(begun->available(), 2, 600000);
        QCOMPARE(NoteExport::stopAll(), 2);
        go->release(2);
        QVERIFY(NoteExport::settle(600000));
        QCoreApplication::processEvents();
        QCOMPARE(files(), QStringList());
        QCOMPARE(*told, 0);

        n.body = QStringLiteral("short");
        NoteExport::writeLater(dir.filePath(QStringLiteral("b.pdf")), n, NoteExport::Format::pdf, &receiver,
                               tell);
        QTRY_COMPARE_WITH_TIMEOUT(*told, 1, 600000);
        QCOMPARE(files(), QStringList{QStringLiteral("b.pdf")});
    }
};

QTEST_MAIN(TestNoteExport)
#include "tst_note_export.moc"
