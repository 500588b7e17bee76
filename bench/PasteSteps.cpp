// Rich pastes of 20 thousand to 5 million characters into the note editor dialog, then undone and
// redone, each step as the longest stretch of the window's thread until it is done; and what the
// clipboard's rich text for a selection of dense rich text at the bound it is offered to costs when
// asked for on the window's thread (`bench_notes paste [runs]`).
#include "DialogBudget.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteDocument.h"
#include "notes/NoteTextView.h"
#include "notes/RtfCodec.h"
#include "notes/SelectionCopy.h"
#include "platform/Prefs.h"
#include <QClipboard>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <cstdio>
#include <map>
#include <optional>

namespace {
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

// Dense rich HTML of at least chars characters: a format change every word or two, paragraphs of a
// few lines, a long one now and then.
QString denseHtml(qsizetype chars) {
    static const char *const kLooks[] = {"<b>%1</b>", "<i>%1</i>", "<u>%1</u>",
                                         "<span style=\"color:#c03020\">%1</span>",
                                         "<span style=\"font-size:18pt\">%1</span>", "%1",
                                         "<a href=\"https://example.org/%2\">%1</a>"};
    QString html;
    html.reserve(chars * 3);
    qsizetype text = 0;
    for (int i = 0; text < chars; ++i) {
        html += i % 40 == 0 ? QStringLiteral("<p>") : QString();
        const QString word = QStringLiteral("word%1 ").arg(i % 1000);
        html += i % 7 == 6 ? QString::fromLatin1(kLooks[6]).arg(word, QString::number(i))
                           : QString::fromLatin1(kLooks[i % 7]).arg(word);
        text += word.size();
        if (i % 40 == 39 && i % 1000 != 999) html += QStringLiteral("</p>");
    }
    return html + QStringLiteral("</p>");
}
} // namespace

int runPasteSteps(MeteredApp &meter, int runs) {
    QTemporaryDir dir;
    Prefs prefs(dir.filePath(QStringLiteral("mivo.sqlite3")));
    Prefs::install(&prefs);
    meter.startMetering();
    std::printf("A rich paste into the note editor dialog, undone and redone: the longest stretch of the "
                "window's thread per step, median of %d runs (ms); aim: each step <= 16 ms\n",
                runs);
    std::printf("  %-12s %8s %8s %8s %22s\n", "paste", "paste", "undo", "redo", "undo done at once here");
    for (const qsizetype chars : {qsizetype(20'000), qsizetype(64'000), qsizetype(1'000'000), qsizetype(5'000'000)}) {
        const QString html = denseHtml(chars);
        std::map<std::string, std::vector<double>> ms;
        for (int r = 0; r < runs; ++r) {
            Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Paste"));
            n.body = QStringLiteral("A short note the paste goes into.");
            QPointer<NoteEditorDialog> dlg = NoteEditorDialog::show(n, true, {}, nullptr);
            NoteTextView *body = dlg->bodyView();
            runLoop(100);
            auto *mime = new QMimeData;
            mime->setHtml(html);
            QGuiApplication::clipboard()->setMimeData(mime);
            const auto grown = [&] {
                return !dlg->bodyBuilding() && !body->pastePending() && body->document()->characterCount() > chars;
            };
            ms["paste"].push_back(meteredStep(meter, [&] { body->paste(); }, grown));
            ms["undo"].push_back(meteredStep(meter, [&] { body->undo(); },
                                             [&] { return !dlg->bodyBuilding() && body->document()->characterCount() < chars; }));
            ms["redo"].push_back(meteredStep(meter, [&] { body->redo(); }, grown));
            // What the view did before: the document's own undo, on the window's thread.
            ms["here"].push_back(meteredStep(meter, [&] { body->document()->undo(); }));
            dlg->doCancel();
            delete dlg.data();
            runLoop(300);
        }
        std::printf("  %-12s %8.1f %8.1f %8.1f %22.1f\n", qPrintable(QStringLiteral("%1 chars").arg(chars)),
                    median(ms["paste"]), median(ms["undo"]), median(ms["redo"]), median(ms["here"]));
        std::fflush(stdout);
    }

    // The clipboard's rich text of a selection of at most SelectionCopy::kKeptRichChars is made on the
    // window's thread when another program asks for it.
    QTextDocument dense;
    dense.setHtml(denseHtml(200'000));
    Note note(NoteType::text, QStringLiteral("📝"), QStringLiteral("Dense"));
    note.body = dense.toPlainText();
    note.bodyRTF = RtfCodec::write(dense);
    NoteTextView view;
    view.resize(600, 400);
    QTextDocument *shown = NoteDocument::build(note, {QFont(), Qt::black, Qt::blue});
    shown->setParent(&view);
    view.setDocument(shown);
    const int from = 1000, to = from + SelectionCopy::kKeptRichChars;
    QString rich;
    const double made = medianMs([&] { rich = NoteDocument::richCopy(*shown, from, to); }, std::max(5, runs));
    QTextCursor sel(shown);
    sel.setPosition(from);
    sel.setPosition(to, QTextCursor::KeepAnchor);
    view.setTextCursor(sel);
    view.copy();
    QElapsedTimer asked;
    asked.start();
    const QString html = QGuiApplication::clipboard()->mimeData()->html();
    const double askedMs = double(asked.nsecsElapsed()) / 1e6;
    std::printf("The clipboard's rich text of %d characters of dense rich text (%lld formats in the document, "
                "%.0f KB of HTML):\n",
                to - from, qlonglong(shown->allFormats().size()), html.size() * 2 / 1024.0);
    report("made from the document (median)", made);
    report("asked for through the clipboard, on the window's thread", askedMs);
    Prefs::install(nullptr);
    return 0;
}
