// The note editor dialog with text of everyday to extreme sizes, driven as a user drives it: for each
// step the longest stretch of the window's thread from the click until the dialog has settled.
#include "DialogBudget.h"
#include "NoteBudget.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteTextView.h"
#include "platform/Prefs.h"
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <cstdio>
#include <map>
#include <optional>

namespace {
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}
} // namespace

int runDialogBudget(MeteredApp &meter, int runs) {
    QTemporaryDir dir;
    Prefs prefs(dir.filePath(QStringLiteral("mivo.sqlite3")));
    Prefs::install(&prefs);
    std::vector<BudgetNote> sizes;
    for (BudgetNote &n : budgetNotes())
        if (std::string_view(n.name) == "12 KB" || std::string_view(n.name) == "1 MB" ||
            std::string_view(n.name) == "20 MB")
            sizes.push_back(std::move(n));
    std::printf("The note editor dialog: the longest stretch of the window's thread per step, median of %d "
                "runs (ms); aim: each step <= 16 ms\n",
                runs);
    std::printf("  %-10s %8s %8s %8s %8s %8s\n", "note", "open", "type", "address", "detect", "save");
    meter.startMetering();
    for (const BudgetNote &s : sizes) {
        std::map<std::string, std::vector<double>> ms;
        for (int r = 0; r < runs; ++r) {
            std::optional<Note> saved;
            QPointer<NoteEditorDialog> dlg;
            ms["open"].push_back(meteredStep(
                meter,
                [&] {
                    dlg = NoteEditorDialog::show(
                        s.note, true, [&](const std::optional<Note> &n) { saved = n; }, nullptr);
                },
                [&] { return dlg && !dlg->bodyBuilding(); }));
            NoteTextView *body = dlg->bodyView();
            QTextCursor mid(body->document());
            mid.setPosition(body->document()->characterCount() / 2);
            body->setTextCursor(mid);
            body->setFocus();
            runLoop(200);
            // A key at a time: the longest of a word's keys, and of an address's (each one relinks).
            const auto keys = [&](const QString &text) {
                double longest = 0;
                for (const QChar ch : text)
                    longest =
                        std::max(longest, meteredStep(
                                              meter, [&] { QTest::keyClicks(body, QString(ch)); }, {}, 60));
                return longest;
            };
            ms["type"].push_back(keys(QStringLiteral("typed")));
            ms["address"].push_back(keys(QStringLiteral(" www.typed.example ")));
            ms["detect"].push_back(meteredStep(
                meter, [&] { dlg->detectUrls(); }, [&] { return !dlg->bodyBuilding(); }));
            ms["save"].push_back(meteredStep(
                meter, [&] { dlg->doSave(); }, [&] { return saved.has_value(); }, 600));
        }
        std::printf("  %-10s %8.1f %8.1f %8.1f %8.1f %8.1f\n", s.name, median(ms["open"]), median(ms["type"]),
                    median(ms["address"]), median(ms["detect"]), median(ms["save"]));
        std::fflush(stdout);
    }
    Prefs::install(nullptr);
    return 0;
}
