// What large text notes cost in memory as a user meets them after a start: the store read from a
// database written by another process (nothing of the notes' making left on this heap), a short note
// shown, then the first open of a 20 MB rich note, switches between two of them, a short note shown
// again, and a 50 MB one-line note opened; or, after the first open, the note edited and saved. Each
// figure is resident memory over what the app held with the short note shown just after the start,
// its peak included (`bench_notes memory [switches | edit]`; under an X server, QT_QPA_PLATFORM=xcb,
// a select-all offers the primary selection as it does for a user).
#include "NoteBudget.h"
#include "notes/NoteStore.h"
#include "notes/NoteDocumentParts.h"
#include "notes/NoteTextView.h"
#include "notes/NotesView.h"
#include "notes/PacedLayout.h"
#include "platform/Prefs.h"
#include <QAbstractEventDispatcher>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <cstdio>
#include <ctime>
#include <malloc.h>

namespace {
double statusMb(const char *field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field)) + 1).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

// The notes measured: a short one, two 20 MB rich ones and the 50 MB line, stored in db.
void writeNotes(const QString &db, QStringList &ids) {
    Prefs prefs(db);
    Prefs::install(&prefs);
    NoteStore::resetForTests();
    Note small(NoteType::text, QStringLiteral("📝"), QStringLiteral("Small"));
    small.body = QStringLiteral("A short note shown between the others.");
    std::vector<Note> all{small};
    for (BudgetNote &n : budgetNotes()) {
        if (n.name == std::string_view("20 MB")) {
            Note second = n.note;
            second.id = Note(NoteType::text, QString(), QString()).id;
            second.title = QStringLiteral("Rich 20 MB, second");
            all.push_back(std::move(n.note));
            all.push_back(std::move(second));
        } else if (n.name == std::string_view("50 MB one line")) {
            all.push_back(std::move(n.note));
        }
    }
    all.push_back(emojiFlagsLineNote(50 << 20));
    for (const Note &n : all)
        ids << n.id;
    NoteStore::shared().replaceAll(all);
    NoteStore::shared().settle(300000);
    prefs.flush();
    NoteStore::resetForTests();
    Prefs::install(nullptr);
}

// The note shown edited as a user edits it after its first open: everything selected (which, where
// there is a primary selection, offers the selection to other programs), copied, the copy read as
// another program reads it, deleted, the delete undone and redone and undone again, then saved; each
// step's peak and what is held after it, over the start's (with the short note shown).
void editSteps(MeteredApp &meter, NotesView &page, Prefs &prefs, const QString &id, const QString &small,
              double before) {
    const bool primary = QGuiApplication::clipboard()->supportsSelection();
    std::printf("  edited (%s a primary selection), each step's peak / held after it:\n",
                primary ? "with" : "without");
    const auto editable = [&] {
        auto *v = qobject_cast<QPlainTextEdit *>(page.findView());
        return v && !v->isReadOnly() && page.inlineEditorOpen();
    };
    double heldBefore = statusMb("VmRSS:"), stepPeak = 0; // of the last step
    const auto step = [&](const char *what, const std::function<void()> &fn, const std::function<bool()> &ready,
                          int settleMs = 600) {
        heldBefore = statusMb("VmRSS:");
        resetPeak();
        meteredStep(meter, fn, ready, settleMs);
        stepPeak = statusMb("VmHWM:");
        std::printf("    %-22s peak +%6.1f MB, held +%6.1f MB\n", what, stepPeak - before,
                    statusMb("VmRSS:") - before);
        std::fflush(stdout);
    };
    const auto key = [&](const char *what, int k, Qt::KeyboardModifiers mods = {}) {
        step(
            what,
            [&page, k, mods] {
                if (QAbstractScrollArea *v = page.findView()) QTest::keyClick(v, Qt::Key(k), mods);
            },
            editable);
    };
    step("Edit", [&] { page.showInlineEditor(id); }, editable);
    if (QAbstractScrollArea *v = page.findView()) v->setFocus();
    key("type", Qt::Key_T);
    key("Ctrl+A", Qt::Key_A, Qt::ControlModifier);
    key("Ctrl+C", Qt::Key_C, Qt::ControlModifier);
    qsizetype copied = 0;
    step(
        "copy read as UTF-8",
        [&] {
            if (const QMimeData *m = QGuiApplication::clipboard()->mimeData())
                copied = m->data(QStringLiteral("text/plain")).size();
        },
        {});
    key("Delete all", Qt::Key_Delete);
    key("its undo", Qt::Key_Z, Qt::ControlModifier);
    key("its redo", Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    key("undo again", Qt::Key_Z, Qt::ControlModifier);
    // The most the store held of notes' bytes while the save went on: the note's new bytes, kept
    // until the disk holds them.
    qsizetype storeHeld = 0;
    step(
        "Save", [&] { page.saveInlineEditor(); },
        [&] {
            storeHeld = std::max(storeHeld, NoteStore::shared().heldBytes());
            return !page.inlineEditorOpen() && !page.longSavePending() && page.findView() && !prefs.hasPending();
        },
        1500);
    std::printf("      Save's own peak over what was held before it: +%.1f MB; the note's new bytes: %.1f MB\n",
                stepPeak - heldBefore, double(storeHeld) / (1 << 20));
    step(
        "a short note shown", [&] { page.selectNote(small); },
        [&] { return page.findView() != nullptr && page.longTextReady(); }, 2500);
    runLoop(3000);
    malloc_trim(0);
    std::printf("    copied %.1f MB; 3 s later, once the allocator returns what is free: +%.1f MB\n",
                double(copied) / 1e6, statusMb("VmRSS:") - before);
}

// The 50 MB line of emoji and flags opened and edited instead of the rich notes.
constexpr int kEmojiEdit = -2;

int measure(MeteredApp &meter, const QString &db, const QStringList &ids, int switches) {
    Prefs prefs(db);
    Prefs::install(&prefs);
    NoteStore::resetForTests();
    (void)NoteStore::shared(); // loaded from the database, as at a start
    NotesView page;
    page.resize(1000, 700);
    page.setup();
    page.show();
    meter.startMetering();
    const QString &small = ids[0], &a = ids[1], &b = ids[2], &line = ids[3], &emoji = ids[4];
    // Shown once the page holds the note's document and has settled (its frees and trims done).
    const auto show = [&](const QString &id) {
        meteredStep(
            meter, [&] { page.selectNote(id); },
            [&] { return page.findView() != nullptr && page.longTextReady(); }, 2500);
        if (qEnvironmentVariableIsSet("NOTE_MEMORY_TRACE"))
            std::printf("    shown %s: +%.1f MB, decoded %d, lent %d %d\n", qPrintable(id.left(4)),
                        statusMb("VmRSS:") - 43, NoteStore::shared().decodedCount(),
                        NoteStore::shared().textLent(ids[1]), NoteStore::shared().textLent(ids[2]));
    };
    show(small);
    const double before = statusMb("VmRSS:");
    std::printf("With a short note shown after the start: %.1f MB resident\n", before);
    std::fflush(stdout);
    // NOTE_MEMORY_PAUSE: seconds to wait here, for a heap profiler to attach.
    if (const int pause = qEnvironmentVariableIntValue("NOTE_MEMORY_PAUSE")) runLoop(pause * 1000);
    resetPeak();
    if (switches == kEmojiEdit) {
        show(emoji);
        std::printf("  first open of the 50 MB line of emoji and flags: +%.1f MB, peak +%.1f MB (aim <= 350 MB, "
                    "peak included)\n",
                    statusMb("VmRSS:") - before, statusMb("VmHWM:") - before);
        editSteps(meter, page, prefs, emoji, small, before);
        NoteStore::resetForTests();
        Prefs::install(nullptr);
        return 0;
    }
    show(a);
    std::printf("  first open of a 20 MB rich note: +%.1f MB, peak +%.1f MB (aim <= 150 MB, peak included)\n",
                statusMb("VmRSS:") - before, statusMb("VmHWM:") - before);
    std::fflush(stdout);
    const double onePeak = statusMb("VmHWM:") - before;
    if (switches < 0) {
        editSteps(meter, page, prefs, a, small, before);
        NoteStore::resetForTests();
        Prefs::install(nullptr);
        return 0;
    }
    if (switches == 0) return 0; // the first open alone (to look at under a heap profiler)
    double worstPeak = 0, firstHeld = -1, lastHeld = 0;
    for (int i = 0; i < switches; ++i) {
        resetPeak();
        show(i % 2 ? a : b);
        worstPeak = std::max(worstPeak, statusMb("VmHWM:") - before);
        lastHeld = statusMb("VmRSS:") - before;
        if (firstHeld < 0) firstHeld = lastHeld;
    }
    std::printf("  %d switches between two 20 MB notes: peak +%.1f MB (aim <= the first open's, +%.1f MB), "
                "held +%.1f MB after the first, +%.1f MB after the last (%.2f MB a switch)\n",
                switches, worstPeak, onePeak, firstHeld, lastHeld,
                switches > 1 ? (lastHeld - firstHeld) / (switches - 1) : 0.0);
    show(small);
    std::printf("  a short note shown again: +%.1f MB (aim <= 20 MB)", statusMb("VmRSS:") - before);
    runLoop(5000);
    std::printf(", +%.1f MB 5 s later", statusMb("VmRSS:") - before);
    malloc_trim(0);
    std::printf(
        ", +%.1f MB once the allocator returns what is free; the store holds %d notes decoded, %.1f MB "
        "of their bytes\n",
        statusMb("VmRSS:") - before, NoteStore::shared().decodedCount(),
        double(NoteStore::shared().heldBytes()) / (1 << 20));
    std::fflush(stdout);
    const double beforeLine = statusMb("VmRSS:");
    resetPeak();
    show(line);
    std::printf("  first open of the 50 MB line: +%.1f MB, peak +%.1f MB over the start's (aim <= 350 MB)\n",
                statusMb("VmRSS:") - before, std::max(statusMb("VmHWM:"), beforeLine) - before);
    show(small);
    std::printf("  a short note shown again: +%.1f MB\n", statusMb("VmRSS:") - before);
    NoteStore::resetForTests();
    Prefs::install(nullptr);
    return 0;
}
} // namespace

// CPU time of the calling thread, in milliseconds.
static double threadCpuMs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

static Note denseEmojiLine(qsizetype chars) {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Dense emoji line"));
    const QString unit = QStringLiteral(
        "🙂🇺🇦🎉🇵🇱🔥😀🇩🇪🚀🌟 💡🇫🇷🍀🎈😎🇯🇵👍🏽❤️ ");
    n.body.reserve(chars + unit.size());
    while (n.body.size() < chars)
        n.body += unit;
    return n;
}

int runHandBack(MeteredApp &meter, int runs) {
    std::printf(
        "A long line's document handed to the view (NoteTextView::setDocument), CPU of the window's thread, "
        "median of %d (aim <= 16 ms):\n",
        runs);
    const std::pair<const char *, Note> notes[] = {
        {"50 MB one line",
         [] {
             for (BudgetNote &n : budgetNotes())
                 if (n.name == std::string_view("50 MB one line")) return std::move(n.note);
             return Note();
         }()},
        {"50 MB of emoji and flags", denseEmojiLine(50 << 20)},
    };
    NoteTextView view;
    view.resize(900, 600);
    view.show();
    meter.startMetering();
    for (const auto &[name, note] : notes) {
        const NoteDocument::Style style{QFont(), Qt::black, Qt::blue};
        // Made as a long note's document is, on its way to a view (buildLater).
        Note own = note;
        std::unique_ptr<QTextDocument> doc(
            NoteDocument::buildFrom(own, style, false, nullptr, NoteDocument::PacedLayout::makeDocument()));
        std::vector<double> ms, after;
        for (int i = 0; i < runs; ++i) {
            view.setDocument(nullptr);
            runLoop(100);
            const double t = threadCpuMs();
            view.setDocument(doc.get());
            ms.push_back(threadCpuMs() - t);
            // The turns that follow (drawing, sizing the range) have the same budget: the thread's
            // CPU between two of its waits (it takes none while it waits).
            double waited = threadCpuMs(), longest = 0;
            const auto *paced = dynamic_cast<const NoteDocument::PacedLayout *>(doc->documentLayout());
            int measuredBefore = paced ? paced->piecesMeasured() : 0, measuredInLongest = 0;
            const QMetaObject::Connection turns = QObject::connect(
                QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &view, [&] {
                    const double now = threadCpuMs();
                    const int measured = paced ? paced->piecesMeasured() : 0;
                    if (now - waited > longest) measuredInLongest = measured - measuredBefore;
                    measuredBefore = measured;
                    longest = std::max(longest, now - waited);
                    waited = now;
                });
            const int laidOut = paced ? paced->paragraphsLaidOut() : 0;
            runLoop(300);
            QObject::disconnect(turns);
            if (qEnvironmentVariableIsSet("HANDBACK_TRACE") && paced)
                std::printf("    laid out %d in setDocument, %d after; %d measured in the longest turn\n",
                            laidOut, paced->paragraphsLaidOut() - laidOut, measuredInLongest);
            after.push_back(longest);
        }
        view.setDocument(nullptr);
        std::sort(ms.begin(), ms.end());
        std::sort(after.begin(), after.end());
        std::printf("  %-28s %6d paragraphs: %7.1f ms, the longest turn after it %7.1f ms\n", name,
                    doc->blockCount(), ms[ms.size() / 2], after[after.size() / 2]);
        std::fflush(stdout);
    }
    return 0;
}

int runNoteMemory(MeteredApp &meter, int argc, char **argv) {
    // bench_notes memory [switches | edit | emoji]: writes the notes, then measures them in a process
    // of its own; edit: the first open, then the note edited and saved (editSteps) instead of the
    // switches; emoji: so for the 50 MB line of emoji and flags.
    if (argc > 2 && argv[2] == std::string_view("--measure")) {
        if (argc < 9) return 2;
        QStringList ids;
        for (int i = 4; i < 9; ++i)
            ids << QString::fromLatin1(argv[i]);
        return measure(meter, QString::fromLocal8Bit(argv[3]), ids, argc > 9 ? std::atoi(argv[9]) : 10);
    }
    QTemporaryDir dir;
    // NOTE_MEMORY_DB: the notes written there and kept, and the measuring run printed, not run (to run
    // it under a heap profiler).
    const QString kept = qEnvironmentVariable("NOTE_MEMORY_DB");
    const QString db = kept.isEmpty() ? dir.filePath(QStringLiteral("mivo.sqlite3")) : kept;
    QStringList ids;
    writeNotes(db, ids);
    QStringList args{QStringLiteral("memory"), QStringLiteral("--measure"), db};
    const bool edit = argc > 2 && argv[2] == std::string_view("edit");
    const bool emoji = argc > 2 && argv[2] == std::string_view("emoji");
    args << ids
         << QString::number(emoji ? kEmojiEdit : edit ? -1 : argc > 2 ? std::max(0, std::atoi(argv[2])) : 10);
    if (!kept.isEmpty()) {
        std::printf("%s %s\n", argv[0], qPrintable(args.join(u' ')));
        return 0;
    }
    std::fflush(stdout);
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QCoreApplication::applicationFilePath(), args);
    p.waitForFinished(-1);
    return p.exitCode();
}
