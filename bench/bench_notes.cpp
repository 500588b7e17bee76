// Notes at sizes well beyond everyday use: the store's load and save with 500 notes (half of them
// tables of 50 x 10 rich-text cells) and its memory after a load, an RTF round trip of a 1 MB document, and
// the CSV and XLSX imports of a 10 000 x 20 sheet into a table note with their peak memory, and a 10 000 x 20
// table note among those 500 on the notes page: its first open, then one cell edit and one swap, each until
// the grid is painted; and how long saving a 20 or 50 MB text note or a cell of that table holds the window's
// thread; then text notes of 4 KB to 50 MB used on the page (`bench_notes budget [runs]` runs that part
// alone, and the 10 000 x 20 table's steps after it; `bench_notes table [runs]` those alone; `bench_notes
// paste [runs]` rich pastes undone and redone, and the clipboard's rich text of a selection).
#include "BenchUtil.h"
#include "DialogBudget.h"
#include "NoteBudget.h"
#include "notes/NoteCodec.h"
#include "notes/NoteExport.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "notes/RtfCodec.h"
#include "notes/TableImport.h"
#include "notes/XlsxReader.h"
#include "platform/HeapPolicy.h"
#include "platform/Keys.h"
#include "platform/Prefs.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <zip.h>

namespace {
constexpr int kRuns = 15; // as medianMs runs by default

// kB from /proc/self/status ("VmRSS", "VmHWM").
long procKb(const char *field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field)) + 1).trimmed().split(' ').first().toLong();
    return 0;
}

// A few words in three formats, as RTF.
QByteArray richCell(int i) {
    QTextDocument d;
    QTextCursor c(&d);
    QTextCharFormat bold, red;
    bold.setFontWeight(QFont::Bold);
    red.setForeground(QColor(200, 30, 30));
    red.setProperty(QTextFormat::FontPixelSize, 14);
    c.insertText(QStringLiteral("Cell %1 ").arg(i), QTextCharFormat());
    c.insertText(QStringLiteral("bold"), bold);
    c.insertText(QStringLiteral(" червоний"), red);
    return RtfCodec::write(d);
}

std::vector<Note> makeNotes() {
    std::vector<Note> notes;
    const QByteArray cell = richCell(1);
    for (int i = 0; i < 500; ++i) {
        Note n(i % 2 ? NoteType::table : NoteType::text, QStringLiteral("📝"),
               QStringLiteral("Note %1").arg(i));
        if (n.type == NoteType::text) {
            n.body =
                QStringLiteral("A text note of a few lines.\nSecond line with https://example.com/%1").arg(i);
            n.bodyRTF = richCell(i);
        } else {
            for (int c = 0; c < 10; ++c)
                n.columns.emplace_back(QStringLiteral("Column %1").arg(c));
            for (int r = 0; r < 50; ++r) {
                QStringList cells;
                for (int c = 0; c < 10; ++c)
                    cells << QStringLiteral("Cell %1 bold червоний").arg(r * 10 + c);
                NoteRow row(cells);
                for (int c = 0; c < 10; ++c)
                    row.cellsRTF[c] = cell;
                n.rows.push_back(std::move(row));
            }
        }
        notes.push_back(std::move(n));
    }
    return notes;
}

QByteArray makeCsv() {
    QByteArray csv;
    for (int r = 0; r <= 10000; ++r) {
        for (int c = 0; c < 20; ++c) {
            if (c) csv += ',';
            csv += c % 5 == 4 ? QByteArray("\"quoted, ") + QByteArray::number(r) + "\""
                              : "value " + QByteArray::number(r * 20 + c);
        }
        csv += "\r\n";
    }
    return csv;
}

QByteArray makeXlsx() {
    QByteArray sheet = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet><sheetData>";
    QByteArray strings = "<sst>";
    for (int r = 0; r <= 10000; ++r) {
        sheet += "<row r=\"" + QByteArray::number(r + 1) + "\">";
        for (int c = 0; c < 20; ++c) {
            const QByteArray ref = QByteArray(1, char('A' + c)) + QByteArray::number(r + 1);
            if (c % 2) {
                sheet += "<c r=\"" + ref + "\"><v>" + QByteArray::number(r * 20 + c) + "</v></c>";
            } else {
                sheet += "<c r=\"" + ref + "\" t=\"s\"><v>" + QByteArray::number(r * 10 + c / 2) + "</v></c>";
                strings += "<si><t>text " + QByteArray::number(r * 10 + c / 2) + "</t></si>";
            }
        }
        sheet += "</row>";
    }
    sheet += "</sheetData></worksheet>";
    strings += "</sst>";
    QTemporaryDir dir;
    const QByteArray path = dir.filePath(QStringLiteral("b.xlsx")).toLocal8Bit();
    int err = 0;
    zip_t *za = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    zip_file_add(za, "xl/worksheets/sheet1.xml",
                 zip_source_buffer(za, sheet.constData(), zip_uint64_t(sheet.size()), 0), 0);
    zip_file_add(za, "xl/sharedStrings.xml",
                 zip_source_buffer(za, strings.constData(), zip_uint64_t(strings.size()), 0), 0);
    zip_close(za);
    QFile f(QString::fromLocal8Bit(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One import in this process: parse and fill a table note; prints time and memory.
int runImport(const QString &kind) {
    const QByteArray input = kind == u"csv" ? makeCsv() : makeXlsx();
    const long before = procKb("VmRSS:");
    QElapsedTimer t;
    t.start();
    const auto parsed = kind == u"csv" ? TableImport::parseCsv(input) : XlsxReader::parse(input);
    const double parseMs = double(t.nsecsElapsed()) / 1e6;
    Note note(NoteType::table, QStringLiteral("📊"), QStringLiteral("Import"));
    auto table = TableImport::tableFromRows(parsed.rows);
    note.columns = std::move(table.columns);
    note.rows = std::move(table.rows);
    const double totalMs = double(t.nsecsElapsed()) / 1e6;
    std::printf("%s 10 000 x 20 (%.2f MB file, %zu rows): parse %.1f ms, parse + table note %.1f ms, "
                "peak RSS %.1f MB (%.1f MB above the input's)\n",
                qPrintable(kind.toUpper()), input.size() / 1e6, note.rows.size(), parseMs, totalMs,
                procKb("VmHWM:") / 1024.0, (procKb("VmHWM:") - before) / 1024.0);
    if (kind == u"xlsx") {
        // How much of that is inflating the two members.
        t.restart();
        zip_error_t err;
        zip_error_init(&err);
        zip_source_t *src = zip_source_buffer_create(input.constData(), zip_uint64_t(input.size()), 0, &err);
        zip_t *za = zip_open_from_source(src, ZIP_RDONLY, &err);
        qint64 total = 0;
        for (const char *m : {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml"}) {
            zip_file_t *zf = zip_fopen(za, m, 0);
            char buf[65536];
            for (zip_int64_t got; (got = zip_fread(zf, buf, sizeof buf)) > 0;)
                total += got;
            zip_fclose(zf);
        }
        zip_discard(za);
        std::printf("  of which inflating %.2f MB of XML: %.1f ms\n", total / 1e6,
                    double(t.nsecsElapsed()) / 1e6);
    }
    return parsed.failure == TableImport::Failure::none ? 0 : 1;
}

// The store loaded in a process of its own from the database at path: its time and what it costs in
// memory.
int runLoad(const QString &path) {
    const long before = procKb("VmRSS:");
    Prefs prefs(path);
    Prefs::install(&prefs);
    const long withPrefs = procKb("VmRSS:");
    QElapsedTimer t;
    t.start();
    NoteStore store;
    const double ms = double(t.nsecsElapsed()) / 1e6;
    const long loaded = procKb("VmRSS:");
    std::printf("  %-60s %8.2f ms\n", "load in a process of its own (read + decode)", ms);
    std::printf("  resident memory: %.1f MB before, %.1f MB with the database open, %.1f MB with the store "
                "(document %.1f MB, peak %.1f MB)\n",
                before / 1024.0, withPrefs / 1024.0, loaded / 1024.0, store.document().size() / 1e6,
                procKb("VmHWM:") / 1024.0);
    Prefs::install(nullptr);
    return store.notes().empty() ? 1 : 0;
}

// Runs this program again with args, its output forwarded.
void runChild(const QStringList &args) {
    std::fflush(stdout);
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QCoreApplication::applicationFilePath(), args);
    p.waitForFinished(-1);
}
} // namespace

int main(int argc, char **argv) {
    HeapPolicy::apply(); // as the app does: its memory figures are the app's
    MeteredApp app(argc, argv);
    if (argc > 1 && argv[1] == std::string_view("budget")) {
        const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
        const int rc = runNoteBudget(app, runs);
        // The table too, unless BUDGET_NOTES names only text notes.
        const QStringList only = qEnvironmentVariable("BUDGET_NOTES").split(u',', Qt::SkipEmptyParts);
        if (rc != 0 || (!only.isEmpty() && !only.contains(QStringLiteral("10 000 x 20 table")))) return rc;
        return runTableBudget(app, runs);
    }
    if (argc > 1 && argv[1] == std::string_view("table"))
        return runTableBudget(app, argc > 2 ? std::max(1, std::atoi(argv[2])) : 3);
    if (argc > 1 && argv[1] == std::string_view("memory")) return runNoteMemory(app, argc, argv);
    if (argc > 1 && argv[1] == std::string_view("handback"))
        return runHandBack(app, argc > 2 ? std::max(1, std::atoi(argv[2])) : 5);
    if (argc > 1 && argv[1] == std::string_view("lent"))
        return runLentNoteSteps(app, argc > 2 ? std::max(1, std::atoi(argv[2])) : 3);
    if (argc > 1 && argv[1] == std::string_view("paste"))
        return runPasteSteps(app, argc > 2 ? std::max(1, std::atoi(argv[2])) : 3);
    if (argc > 1 && argv[1] == std::string_view("dialog"))
        return runDialogBudget(app, argc > 2 ? std::max(1, std::atoi(argv[2])) : 3);
    if (argc > 2 && argv[1] == std::string_view("document")) {
        // The profile's notes and the big table as a savedNotes document, to look at the app with.
        std::vector<Note> all = makeNotes();
        all.push_back(bigTable());
        QFile f(QString::fromLocal8Bit(argv[2]));
        return f.open(QIODevice::WriteOnly) && f.write(encodeNotes(all)) > 0 ? 0 : 1;
    }
    if (argc > 2 && argv[1] == std::string_view("budget-document")) {
        // The notes the budget measures, a short one first, as a savedNotes document: to measure the app
        // itself with from outside.
        Note small(NoteType::text, QStringLiteral("📝"), QStringLiteral("Small"));
        small.body = QStringLiteral("A short note shown between the others.");
        std::vector<Note> all{small};
        for (BudgetNote &n : budgetNotes())
            all.push_back(std::move(n.note));
        all.push_back(emojiFlagsLineNote(50 << 20));
        all.push_back(bigTable());
        QFile f(QString::fromLocal8Bit(argv[2]));
        return f.open(QIODevice::WriteOnly) && f.write(encodeNotes(all)) > 0 ? 0 : 1;
    }
    if (argc > 2) return runLoad(QString::fromLocal8Bit(argv[2]));
    if (argc > 1) return runImport(QString::fromLatin1(argv[1]));

    QTemporaryDir dir;
    const QString dbPath = dir.filePath(QStringLiteral("mivo.sqlite3"));
    Prefs prefs(dbPath);
    Prefs::install(&prefs);
    const std::vector<Note> notes = makeNotes();
    {
        NoteStore store;
        store.replaceAll(notes);
        prefs.flush();
        const QByteArray doc = store.document();
        std::printf("500 notes, 250 of them tables of 50 x 10 rich-text cells (document %.2f MB), median of "
                    "%d runs:\n",
                    doc.size() / 1e6, kRuns);
        report("encode every note", medianMs([&] { (void)encodeNotes(notes); }));
        report("decode every note (the import's decode)", medianMs([&] { (void)decodeNotes(doc); }));
        report("decode what the list shows (the store's load)",
               medianMs([&] { (void)NoteCodec::index(doc); }));
        report("load (new store from preferences)", medianMs([&] { NoteStore loaded; }));
        report("save, nothing changed", medianMs([&] { store.save(); }));
        report("  + commit to disk", medianMs([&] {
                   store.save();
                   prefs.flush();
               }));
        const QString id = store.notes()[251].id;
        {
            NoteStore fresh;
            (void)fresh.notes(); // loaded
            QElapsedTimer t;
            t.start();
            (void)fresh.find(id);
            report("open one table note (decode it)", double(t.nsecsElapsed()) / 1e6);
        }
        Note edited = *store.find(id);
        edited.rows[25].cells[5] = QStringLiteral("edited");
        // As the user edits: the last save is on disk before the next edit comes.
        std::vector<double> ms;
        for (int i = 0; i < kRuns; ++i) {
            prefs.flush();
            QElapsedTimer t;
            t.start();
            store.update(edited);
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        report("update one table note (save + post)", ms[ms.size() / 2]);
        report("  the same, the last save still being written", medianMs([&] { store.update(edited); }));
    }
    prefs.flush();
    runChild({QStringLiteral("load"), dbPath});
    {
        // The page with a big table among the 500 notes: every step is timed until the grid has painted
        // its first screen.
        NoteStore::resetForTests();
        NoteStore::shared().replaceAll(notes);
        const Note t = bigTable();
        NoteStore::shared().add(t);
        NotesView page;
        page.resize(1000, 700);
        page.setup();
        page.show();
        double paintMs = 0;
        const auto settle = [&] {
            for (int i = 0; i < 4; ++i)
                QCoreApplication::processEvents();
            QElapsedTimer paint;
            paint.start();
            if (page.grid()) (void)page.grid()->grab(QRect(0, 0, 1000, 700));
            paintMs = double(paint.nsecsElapsed()) / 1e6;
        };
        settle();
        std::printf("A 10 000 x 20 table note on the notes page (until the grid has painted):\n");
        QElapsedTimer timer;
        const qint64 atOpen = NoteGrid::rowsMeasured;
        timer.start();
        page.selectNote(t.id);
        settle();
        report("first open", double(timer.nsecsElapsed()) / 1e6);
        // The rows not yet measured are measured between events: the longest pass is the longest freeze.
        double longest = 0;
        for (int guard = 0; NoteGrid::rowsMeasured - atOpen < 10000 && guard < 100000; ++guard) {
            QElapsedTimer pass;
            pass.start();
            QCoreApplication::processEvents();
            longest = std::max(longest, double(pass.nsecsElapsed()) / 1e6);
        }
        report("  until every row is measured", double(timer.nsecsElapsed()) / 1e6);
        report("  longest event-loop pass meanwhile", longest);
        const qint64 before = NoteGrid::rowsMeasured;
        Note edited = *NoteStore::shared().find(t.id);
        edited.rows[5000].cells[3] = QStringLiteral("an edited cell");
        timer.restart();
        NoteStore::shared().update(edited);
        const double updateMs = double(timer.nsecsElapsed()) / 1e6;
        // The bytes made on a worker and the write to disk, otherwise done on the next passes of the event
        // loop.
        NoteStore::shared().settle(60000);
        prefs.flush();
        const double saveMs = double(timer.nsecsElapsed()) / 1e6;
        page.requestRebuild();
        settle();
        report("one cell edit (store save + page)", double(timer.nsecsElapsed()) / 1e6);
        report("  of which the store's update (on the window's thread)", updateMs);
        report("  of which the store's save (bytes made on a worker) and write to disk", saveMs);
        report("  of which the first paint of the new grid", paintMs);
        timer.restart();
        page.swapOrMove(t.id, {1, 1}, {2, 2});
        settle();
        report("one swap (store save + page)", double(timer.nsecsElapsed()) / 1e6);
        report("  of which the first paint of the new grid", paintMs);
        std::printf("  rows measured by the edit and the swap: %lld\n",
                    (long long)(NoteGrid::rowsMeasured - before));
        NoteStore::resetForTests();
    }
    {
        // Large notes saved as the user edits them: what holds the window's thread is update() and the
        // event-loop passes until the preferences hold the change (the bytes are made on a worker).
        std::printf(
            "Large notes saved (one edit each, median of 5; the longest stretch of the window's thread):\n");
        NoteStore::resetForTests();
        NoteStore &store = NoteStore::shared();
        store.replaceAll(notes);
        const auto timeUpdates = [&](const char *what, Note n, const std::function<void(Note &, int)> &edit) {
            store.add(n);
            store.settle(60000);
            prefs.flush();
            std::vector<double> update, longest, total;
            for (int run = 0; run < 5; ++run) {
                edit(n, run);
                const auto before = prefs.version(QString::fromLatin1(kNotes));
                QElapsedTimer t;
                t.start();
                store.update(n);
                update.push_back(double(t.nsecsElapsed()) / 1e6);
                double pass = update.back();
                while (prefs.version(QString::fromLatin1(kNotes)) == before || prefs.hasPending()) {
                    QThread::msleep(1); // the worker's time, not the window's
                    QElapsedTimer p;
                    p.start();
                    QCoreApplication::processEvents();
                    pass = std::max(pass, double(p.nsecsElapsed()) / 1e6);
                }
                longest.push_back(pass);
                total.push_back(double(t.nsecsElapsed()) / 1e6);
            }
            for (auto *v : {&update, &longest, &total})
                std::sort(v->begin(), v->end());
            std::printf("  %s\n", what);
            report("    update() on the window's thread", update[2]);
            report("    longest stretch until the preferences hold it", longest[2]);
            report("    until written (worker and writer included)", total[2]);
            store.remove(n.id);
            store.settle(60000);
            prefs.flush();
        };
        for (const int mb : {20, 50}) {
            Note text(NoteType::text, QStringLiteral("📝"), QStringLiteral("Long"));
            const QString line =
                QStringLiteral("A line of a long note, with words and numbers 0123456789.\n");
            text.body.reserve((mb << 20) + line.size());
            while (text.body.size() < (mb << 20))
                text.body += line;
            timeUpdates(mb == 20 ? "20 MB text" : "50 MB text", text,
                        [](Note &n, int run) { n.body[run * 1000] = QChar(u'Ж'); });
        }
        timeUpdates("10 000 x 20 table, one cell", bigTable(), [](Note &n, int run) {
            n.rows[run * 1999].cells[run] = QStringLiteral("an edited cell");
        });
        NoteStore::resetForTests();
    }
    Prefs::install(nullptr);
    {
        QTextDocument doc;
        QTextCursor c(&doc);
        QTextCharFormat bold, colour;
        bold.setFontWeight(QFont::Bold);
        colour.setForeground(QColor(20, 90, 200));
        colour.setFontUnderline(true);
        int i = 0;
        while (doc.characterCount() < 1000000) {
            c.insertText(QStringLiteral("Paragraph %1 with plain words, ").arg(i), QTextCharFormat());
            c.insertText(QStringLiteral("bold words "), bold);
            c.insertText(QStringLiteral("і трохи кирилиці 🙂"), colour);
            if (++i % 4 == 0) c.insertBlock();
        }
        QByteArray rtf;
        const double w = medianMs([&] { rtf = RtfCodec::write(doc); }, 5);
        std::printf("RTF of a %d-character document (%.2f MB of RTF), median of 5 runs:\n",
                    doc.characterCount(), rtf.size() / 1e6);
        report("write", w);
        report("read", medianMs(
                           [&] {
                               QTextDocument back;
                               RtfCodec::read(rtf, &back);
                           },
                           5));
        report("round trip (write + read)", medianMs(
                                                [&] {
                                                    QTextDocument back;
                                                    RtfCodec::read(RtfCodec::write(doc), &back);
                                                },
                                                5));
        // The same document as a text note exported as PDF: its layout and its pages take seconds,
        // which the window's thread once spent; now a worker does, and the window only hands it over.
        Note note(NoteType::text, QStringLiteral("📝"), QStringLiteral("Long"));
        note.body = doc.toPlainText();
        note.bodyRTF = rtf;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("n.pdf"));
        std::printf("PDF export of that note as a text note (one run each):\n");
        QElapsedTimer t;
        t.start();
        NoteExport::writePdf(path, note);
        report("written on the calling thread (as the export did before)", double(t.nsecsElapsed()) / 1e6);
        QObject receiver;
        bool done = false;
        t.restart();
        NoteExport::writeLater(path, note, NoteExport::Format::pdf, &receiver,
                               [&done](const NoteExport::WriteResult &) { done = true; });
        double longest = double(t.nsecsElapsed()) / 1e6;
        report("handed to the worker (the window's thread)", longest);
        while (!done) {
            QThread::msleep(1); // the worker's time, not the window's
            QElapsedTimer pass;
            pass.start();
            QCoreApplication::processEvents();
            longest = std::max(longest, double(pass.nsecsElapsed()) / 1e6);
        }
        report("longest stretch of the window's thread until written", longest);
        report("until written (worker included)", double(t.nsecsElapsed()) / 1e6);
    }
    // Each import in a process of its own, so its peak memory is its own.
    for (const char *kind : {"csv", "xlsx"})
        runChild({QString::fromLatin1(kind)});
    runChild({QStringLiteral("budget")});
    return 0;
}
