// The 10 000 x 20 table note on the notes page, driven as a user drives it (clicks, wheel, keys and
// drags on the grid, the cell editor and the editor dialog): for each step the longest stretch of the
// window's thread from the click until the page has settled, and what the open table costs in memory.
#include "NoteBudget.h"
#include "OutsideProbe.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "notes/RichTextView.h"
#include "platform/Prefs.h"
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <cstdio>
#include <map>

namespace {
double mb(const char *field) {
    return OutsideProbe::statusMb(QCoreApplication::applicationPid(), field);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

QScrollArea *areaOf(NoteGrid *g) {
    return g && g->parentWidget() ? qobject_cast<QScrollArea *>(g->parentWidget()->parentWidget()) : nullptr;
}

// meteredStep, saying so when the step never got where it should.
double timedStep(MeteredApp &meter, const char *what, const std::function<void()> &fn,
                 const std::function<bool()> &ready = {}, int settleMs = 300) {
    const double ms = meteredStep(meter, fn, ready, settleMs);
    if (ready && !ready()) std::printf("  (!) %s: not done after two minutes\n", what);
    return ms;
}

template <class T> T *shownTopLevel() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *t = qobject_cast<T *>(w); t && t->isVisible()) return t;
    return nullptr;
}
} // namespace

Note bigTable() {
    Note t(NoteType::table, QStringLiteral("📊"), QStringLiteral("Big"));
    for (int c = 0; c < 20; ++c)
        t.columns.emplace_back(QStringLiteral("Column %1").arg(c));
    for (int r = 0; r < 10000; ++r) {
        QStringList cells;
        for (int c = 0; c < 20; ++c)
            cells << QStringLiteral("value %1").arg(r * 20 + c);
        t.rows.emplace_back(cells);
    }
    return t;
}

int runTableBudget(MeteredApp &meter, int runs) {
    QTemporaryDir dir;
    Prefs prefs(dir.filePath(QStringLiteral("mivo.sqlite3")));
    Prefs::install(&prefs);
    NoteStore::resetForTests();
    NoteStore &store = NoteStore::shared();
    const Note table = bigTable();
    const Note small = storeBesideAShortNote(store, prefs, table);

    NotesView page;
    page.resize(1000, 700);
    page.setup();
    page.show();
    meter.startMetering();
    const auto shown = [&] { return page.findView() != nullptr; };
    const auto stored = [&] { return store.settle(0) && !prefs.hasPending(); };
    // The table shown, every row measured, and nothing left to write.
    const auto settled = [&] { return page.grid() && page.tableMeasured() && stored(); };
    meteredStep(
        meter, [&] { page.selectNote(small.id); }, shown, 800);

    const char *steps[] = {"open", "scroll", "cell editor", "type", "Save cell",
                           "swap", "resize", "find+step",   "Edit", "dialog Save"};
    std::map<std::string, std::vector<double>> ms;
    std::vector<double> memOpen, memAfter;
    for (int run = 0; run < runs; ++run) {
        // Stored afresh and the short note shown: the store lets go of the table, so the open decodes it.
        store.update(table);
        store.settle(120000);
        prefs.flush();
        meteredStep(
            meter, [&] { page.selectNote(small.id); }, shown, 1500);
        const double before = mb("VmRSS");
        ms["open"].push_back(timedStep(
            meter, "open", [&] { page.selectNote(table.id); }, settled, 800));
        memOpen.push_back(mb("VmRSS") - before);
        NoteGrid *grid = page.grid();
        QScrollArea *area = areaOf(grid);
        if (!grid || !area) {
            std::printf("  (!) the table was not shown\n");
            break;
        }
        // Ten wheel notches down, as a hand turns it, then the thumb dragged to the middle and the end.
        ms["scroll"].push_back(timedStep(
            meter, "scroll",
            [&] {
                for (int i = 0; i < 10; ++i)
                    QTimer::singleShot(i * 20, &page, [&] {
                        QWidget *v = area->viewport();
                        const QPoint at(v->width() / 2, v->height() / 2);
                        QWheelEvent wheel(at, v->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                                          Qt::NoModifier, Qt::NoScrollPhase, false);
                        QCoreApplication::sendEvent(v, &wheel);
                    });
                for (int i : {1, 2})
                    QTimer::singleShot(200 + i * 100, &page, [&, i] {
                        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum() * i / 2);
                    });
            },
            {}, 800));
        area->verticalScrollBar()->setValue(0);
        runLoop(100);
        // A cell on the first screen: double click, a word typed, Save.
        const NoteGrid::CellPos cell{3, 2};
        ms["cell editor"].push_back(timedStep(
            meter, "cell editor",
            [&] { QTest::mouseDClick(grid, Qt::LeftButton, {}, grid->cellRect(cell).center()); },
            [&] { return page.findChild<CellEditor *>() != nullptr; }));
        CellEditor *ed = page.findChild<CellEditor *>();
        if (!ed) {
            std::printf("  (!) the cell editor did not open\n");
            break;
        }
        ed->textView()->setFocus();
        ed->textView()->moveCursor(QTextCursor::End);
        double typed = 0;
        for (QChar ch : QStringLiteral(" typed"))
            typed = std::max(typed,
                             meteredStep(
                                 meter, [&, ch] { QTest::keyClick(ed->textView(), ch.toLatin1()); }, {}, 60));
        ms["type"].push_back(typed);
        const QString want = table.rows[size_t(cell.row)].cells.at(cell.col) + QStringLiteral(" typed");
        ms["Save cell"].push_back(timedStep(
            meter, "Save cell", [&] { ed->save(); },
            [&] {
                return page.grid() && page.grid()->note().rows[size_t(cell.row)].cells.at(cell.col) == want &&
                       stored();
            },
            800));
        grid = page.grid();
        ms["swap"].push_back(timedStep(
            meter, "swap",
            [&] {
                page.swapOrMove(table.id, {1, 1}, {2, 2});
            },
            [&] {
                return page.grid() && page.grid()->note().rows[2].cells.at(2) == table.rows[1].cells.at(1) &&
                       stored();
            },
            800));
        // The first column's right edge dragged 40 points to the right, as a hand drags it.
        grid = page.grid();
        const double was = grid ? grid->widths().front() : 0;
        ms["resize"].push_back(timedStep(
            meter, "resize",
            [&] {
                NoteGrid *g = page.grid();
                const QPoint edge(int(NoteGrid::kLeft + g->widths().front()), 50);
                QTest::mousePress(g, Qt::LeftButton, {}, edge);
                for (int dx = 4; dx <= 40; dx += 4) {
                    QMouseEvent move(QEvent::MouseMove, QPointF(edge + QPoint(dx, 0)),
                                     g->mapToGlobal(QPointF(edge + QPoint(dx, 0))), Qt::NoButton,
                                     Qt::LeftButton, Qt::NoModifier);
                    QCoreApplication::sendEvent(g, &move);
                }
                QTest::mouseRelease(g, Qt::LeftButton, {}, edge + QPoint(40, 0));
            },
            [&] { return page.grid() && page.grid()->widths().front() > was && page.tableMeasured(); }, 800));
        double found = meteredStep(
            meter,
            [&] {
                page.showFindBar();
                page.runFind(QStringLiteral("value 1999"));
            },
            [&] { return page.findMatchCount() > 0; });
        for (int i = 0; i < 3; ++i)
            found = std::max(found, meteredStep(meter, [&] { page.stepFind(1); }));
        found =
            std::max(found, meteredStep(
                                meter, [&] { page.hideFindBar(); }, [&] { return page.grid() != nullptr; }));
        ms["find+step"].push_back(found);
        // The editor dialog from the detail's Edit button, then saved as it is.
        ms["Edit"].push_back(timedStep(
            meter, "Edit",
            [&] {
                if (auto *b = page.findChild<QPushButton *>(QStringLiteral("editButton"))) b->click();
            },
            [&] { return shownTopLevel<NoteEditorDialog>() != nullptr; }, 800));
        NoteEditorDialog *dlg = shownTopLevel<NoteEditorDialog>();
        if (!dlg) {
            std::printf("  (!) the editor dialog did not open\n");
            break;
        }
        QPointer<NoteEditorDialog> open(dlg);
        ms["dialog Save"].push_back(timedStep(
            meter, "dialog Save", [&] { dlg->doSave(); }, [&] { return !open && page.grid() && stored(); },
            800));
        meteredStep(
            meter, [&] { page.selectNote(small.id); }, shown, 1500);
        meteredStep(
            meter, [] {}, {}, 1500); // the store's own trim and the freeing of the table
        memAfter.push_back(mb("VmRSS") - before);
    }
    std::printf(
        "The 10 000 x 20 table note on the notes page: the longest stretch of the window's thread per "
        "step, median of %d runs (ms); aim: each step <= 16 ms\n  ",
        runs);
    for (const char *s : steps)
        std::printf(" %11.11s", s);
    std::printf("\n  ");
    for (const char *s : steps)
        std::printf(" %11.1f", median(ms[s]));
    std::printf("\n  memory over a short note shown: +%.1f MB with the table open, +%.1f MB after another "
                "note is shown\n",
                median(memOpen), median(memAfter));
    std::fflush(stdout);
    page.hide();
    NoteStore::resetForTests();
    Prefs::install(nullptr);
    return 0;
}
