// The 20 MB note shown on the notes page, its text lent to the page's document: a new title saved
// and the note exported (text, CSV), each as the longest stretch of the window's thread, beside what
// decoding the lent note on the window's thread costs (what both steps did before they read it on a
// worker).
#include "NoteBudget.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "platform/Dialogs.h"
#include "platform/Prefs.h"
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>

namespace {
// The format and the file the export asks for, answered at once.
class AnsweringDialogs : public Dialogs {
public:
    int format = 0;
    QString path;
    int alert(QWidget *, const Alert &) override { return format; }
    QString savePath(QWidget *, const QString &, const QString &, const QStringList &) override { return path; }
    QString openPath(QWidget *, const QString &, const QStringList &) override { return {}; }
    QStringList openPaths(QWidget *, const QString &, const QStringList &) override { return {}; }
};
} // namespace

int runLentNoteSteps(MeteredApp &meter, int runs) {
    QTemporaryDir dir;
    Prefs prefs(dir.filePath(QStringLiteral("mivo.sqlite3")));
    Prefs::install(&prefs);
    AnsweringDialogs dialogs;
    Dialogs::install(&dialogs);
    NoteStore::resetForTests();
    NoteStore &store = NoteStore::shared();
    Note big;
    for (BudgetNote &n : budgetNotes())
        if (n.name == std::string_view("20 MB")) big = std::move(n.note);
    const Note small = storeBesideAShortNote(store, prefs, big);

    NotesView page;
    page.resize(1000, 700);
    page.setup();
    page.show();
    meter.startMetering();
    std::vector<double> title, txt, csv, decode;
    for (int run = 0; run < runs; ++run) {
        meteredStep(meter, [&] { page.selectNote(small.id); }, [&] { return page.findView() != nullptr; }, 800);
        meteredStep(meter, [&] { page.selectNote(big.id); },
                    [&] { return page.findView() != nullptr && store.textLent(big.id); }, 800);
        meteredStep(meter, [&] { page.showInlineEditor(big.id); },
                    [&] { return page.inlineEditorOpen() && page.longTextReady(); }, 800);
        const QString newTitle = QStringLiteral("Renamed %1").arg(run);
        if (QLineEdit *field = page.inlineTitleField()) field->setText(newTitle);
        title.push_back(meteredStep(meter, [&] { page.saveInlineEditor(); },
                                    [&] { return !page.inlineEditorOpen() && store.settle(0) && !prefs.hasPending(); },
                                    800));
        for (auto [format, into] : {std::pair(0, &txt), std::pair(1, &csv)}) {
            dialogs.format = format;
            dialogs.path = dir.filePath(QStringLiteral("export-%1-%2").arg(run).arg(format));
            into->push_back(meteredStep(meter, [&] { page.doExportSelected(); },
                                        [&] { return QFile::exists(dialogs.path); }, 800));
        }
        if (!store.textLent(big.id)) std::printf("  (!) the note's text was decoded again by the steps\n");
        // What the steps did before: the lent note decoded on the window's thread.
        decode.push_back(meteredStep(meter, [&] { store.find(big.id); }, {}, 800));
        if (const Note *saved = store.findFields(big.id); !saved || saved->title != newTitle)
            std::printf("  (!) the new title was not kept\n");
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? -1.0 : v[v.size() / 2];
    };
    std::printf("The 20 MB note shown, its text held by the page: the longest stretch of the window's thread, "
                "median of %d runs\n",
                runs);
    report("Save with a new title only", median(title));
    report("Export as text", median(txt));
    report("Export as CSV", median(csv));
    report("  (the note decoded on the window's thread, as both did before)", median(decode));
    page.hide();
    NoteStore::resetForTests();
    Dialogs::install(nullptr);
    Prefs::install(nullptr);
    return 0;
}
