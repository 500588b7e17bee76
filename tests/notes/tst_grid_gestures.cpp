#include "common/NoteTables.h"
#include "common/PageTest.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteGrid.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "ui/WebLinks.h"
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {
using Pos = NoteGrid::CellPos;

// The floating label a right-button drag shows, when one is on screen.
QLabel *shownGhost() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *l = qobject_cast<QLabel *>(w); l && l->isVisible() && l->windowType() == Qt::ToolTip &&
                                                 !l->inherits("QTipLabel"))
            return l;
    return nullptr;
}

// Answers the next popup menu from inside its own event loop: records its items ("text" or "text
// (off)" when disabled), then activates the item whose text ends with pick, or closes the menu.
class MenuAnswer {
public:
    QStringList items;
    int shown = 0;
    explicit MenuAnswer(QString pick = {}) {
        QObject::connect(&poll_, &QTimer::timeout, [this, pick] {
            auto *m = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!m) return;
            ++shown;
            items.clear();
            QAction *chosen = nullptr;
            for (QAction *a : m->actions()) {
                if (a->isSeparator()) continue;
                items << a->text() + (a->isEnabled() ? QString() : QStringLiteral(" (off)"));
                if (!pick.isEmpty() && a->text().endsWith(pick)) chosen = a;
            }
            if (chosen) {
                m->setActiveAction(chosen);
                QTest::keyClick(m, Qt::Key_Return);
            } else {
                m->close();
            }
        });
        poll_.start(5);
    }

private:
    QTimer poll_;
};
} // namespace

// The table grid as a user drives it with the mouse: every case sends real mouse events to the
// grid the notes page shows and checks what the page and the store then hold.
class TstGridGestures : public QObject {
    Q_OBJECT
    std::unique_ptr<PageEnv<>> env;
    ShownPage<NotesView> page;

    NoteGrid *grid() const { return page->grid(); }
    QPoint centre(Pos p) const { return grid()->cellRect(p).center(); }
    Pos anchor() const { return page->selection().anchor.value_or(Pos{-9, -9}); }
    Pos end() const { return page->selection().end.value_or(Pos{-9, -9}); }
    const Note &stored() const { return *NoteStore::shared().find(QStringLiteral("T")); }
    void show(const Note &n) {
        NoteStore::shared().add(n);
        page->selectNote(n.id);
        settle();
        QVERIFY(grid());
    }

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        env = std::make_unique<PageEnv<>>(QDateTime(QDate(2026, 3, 14), QTime(10, 0)));
        NoteStore::resetForTests();
        QVERIFY(page.open(1000, 700));
        QApplication::clipboard()->clear();
    }
    void cleanup() {
        for (CellEditor *e : page->window()->findChildren<CellEditor *>()) delete e;
        page.close();
        NoteStore::resetForTests();
        env.reset();
    }

    // A left drag extends the selection only once the pointer is more than 4 points (straight
    // line) from the press; from then on every move counts, back to the first cell included.
    void leftDragSelectsPastFourPoints() {
        show(tableNote(QStringLiteral("T"), 2, {{"a", "b"}, {"c", "d"}}));
        NoteGrid *g = grid();
        const QRect first = g->cellRect({0, 0});
        const QPoint press(first.right() - 1, first.center().y());
        QVERIFY(g->cellAt(press + QPoint(3, 0)) == (Pos{0, 1}));
        QTest::mousePress(g, Qt::LeftButton, {}, press);
        QCOMPARE(anchor(), (Pos{0, 0}));
        QCOMPARE(end(), (Pos{0, 0}));
        QTest::mouseMove(g, press + QPoint(4, 0)); // over the next cell, but 4 points only
        QCOMPARE(end(), (Pos{0, 0}));
        QTest::mouseMove(g, press + QPoint(3, 3)); // 4.2 points
        QCOMPARE(end(), (Pos{0, 1}));
        QTest::mouseMove(g, press);
        QCOMPARE(end(), (Pos{0, 0}));
        QTest::mouseMove(g, centre({1, 1}));
        QTest::mouseRelease(g, Qt::LeftButton, {}, centre({1, 1}));
        QCOMPARE(anchor(), (Pos{0, 0}));
        QCOMPARE(end(), (Pos{1, 1}));
        QVERIFY(page->selection().multi());

        // A short wobble of a click selects the cell it started in and nothing more.
        QTest::mousePress(g, Qt::LeftButton, {}, press);
        QTest::mouseMove(g, press + QPoint(2, 3));
        QTest::mouseRelease(g, Qt::LeftButton, {}, press + QPoint(2, 3));
        QCOMPARE(anchor(), (Pos{0, 0}));
        QCOMPARE(end(), (Pos{0, 0}));
    }

    // The right button: up to 6 points it is a click and asks for the menu; past 6 it drags a ghost
    // that follows the pointer and swaps the cells where it is let go; let go over its own cell, it
    // does nothing.
    void rightDragThresholdGhostAndSwap() {
        show(tableNote(QStringLiteral("T"), 2, {{"a", "b"}, {"c", "d"}, {"", "f"}}));
        NoteGrid *g = grid();
        const QPoint from = centre({0, 0});
        {
            MenuAnswer menu;
            QTest::mousePress(g, Qt::RightButton, {}, from);
            QTest::mouseMove(g, from + QPoint(6, 0));
            QVERIFY(!shownGhost());
            QTest::mouseRelease(g, Qt::RightButton, {}, from + QPoint(6, 0));
            QCOMPARE(menu.shown, 1);
        }
        settle();
        QCOMPARE(cells(stored()), (QList<QStringList>{{"a", "b"}, {"c", "d"}, {"", "f"}}));

        MenuAnswer noMenu;
        QTest::mousePress(g, Qt::RightButton, {}, from);
        QTest::mouseMove(g, from + QPoint(5, 4)); // 6.4 points
        QLabel *ghost = shownGhost();
        QVERIFY(ghost);
        QCOMPARE(ghost->text(), QStringLiteral("a"));
        const QPoint at = ghost->pos();
        QTest::mouseMove(g, from + QPoint(45, 34));
        QCOMPARE(ghost->pos() - at, QPoint(40, 30));
        // Let go over its own cell: the ghost goes, nothing moves, no menu.
        QTest::mouseRelease(g, Qt::RightButton, {}, from + QPoint(8, 0));
        QVERIFY(!shownGhost());
        settle();
        QCOMPARE(cells(stored()), (QList<QStringList>{{"a", "b"}, {"c", "d"}, {"", "f"}}));

        // Right away a second drag: a ghost of its own, the swap written.
        QTest::mousePress(g, Qt::RightButton, {}, centre({2, 0}));
        QTest::mouseMove(g, centre({2, 0}) + QPoint(0, -20));
        QVERIFY(shownGhost());
        QCOMPARE(shownGhost()->text(), QStringLiteral("…"));
        QTest::mouseMove(g, centre({1, 1}));
        QTest::mouseRelease(g, Qt::RightButton, {}, centre({1, 1}));
        QVERIFY(!shownGhost());
        settle();
        QCOMPARE(cells(stored()), (QList<QStringList>{{"a", "b"}, {"c", ""}, {"d", "f"}}));
        QCOMPARE(noMenu.shown, 0);
    }

    // What the ghost says: the cell's first 40 characters, or the count of a selection it lies in.
    void ghostTexts() {
        const QString longText = QString(50, QLatin1Char('x'));
        show(tableNote(QStringLiteral("T"), 3, {{"a", "b", longText}, {"c", "d", ""}, {"e", "f", ""}}));
        NoteGrid *g = grid();
        QCOMPARE(g->ghostText({0, 2}), longText.left(40));
        // A 2 × 2 selection dragged from inside.
        QTest::mousePress(g, Qt::LeftButton, {}, centre({0, 0}));
        QTest::mouseMove(g, centre({1, 1}));
        QTest::mouseRelease(g, Qt::LeftButton, {}, centre({1, 1}));
        QTest::mousePress(g, Qt::RightButton, {}, centre({1, 0}));
        QTest::mouseMove(g, centre({1, 0}) + QPoint(0, 10));
        QVERIFY(shownGhost());
        QCOMPARE(shownGhost()->text(), QStringLiteral("⠿ 4 cells"));
        QTest::mouseRelease(g, Qt::RightButton, {}, centre({1, 0}));
        // From outside the selection the ghost shows only that cell.
        QTest::mousePress(g, Qt::RightButton, {}, centre({2, 1}));
        QTest::mouseMove(g, centre({2, 1}) + QPoint(0, 10));
        QVERIFY(shownGhost());
        QCOMPARE(shownGhost()->text(), QStringLiteral("f"));
        QTest::mouseRelease(g, Qt::RightButton, {}, centre({2, 1}));
        QVERIFY(!shownGhost());
    }

    // A right click opens the cell menu; what it offers follows the selection and what there is to
    // paste, and its Clear empties the selected cells.
    void rightClickOpensTheCellMenu() {
        show(tableNote(QStringLiteral("T"), 2, {{"a", "b"}, {"c", "d"}}));
        {
            MenuAnswer menu;
            QTest::mouseClick(grid(), Qt::RightButton, {}, centre({0, 1}));
            QCOMPARE(menu.shown, 1);
            QCOMPARE(menu.items, (QStringList{"📋 Copy selection (off)", "📌 Paste here (off)", "🗑 Clear (off)"}));
        }
        QApplication::clipboard()->setText(QStringLiteral("pasted"));
        QTest::mouseClick(grid(), Qt::LeftButton, {}, centre({0, 1}));
        {
            MenuAnswer menu(QStringLiteral("Clear"));
            QTest::mouseClick(grid(), Qt::RightButton, {}, centre({0, 1}));
            QCOMPARE(menu.shown, 1);
            QCOMPARE(menu.items, (QStringList{"📋 Copy selection", "📌 Paste here", "🗑 Clear"}));
        }
        settle();
        QCOMPARE(cells(stored()), (QList<QStringList>{{"a", ""}, {"c", "d"}}));
        QVERIFY(!page->selection().anchor && !page->selection().end);
    }

    // Any change to the table drops the selection, whoever makes it: a block selected over the
    // cells as they were would otherwise be copied, cleared or moved over cells it no longer means.
    void aChangeDropsTheSelection() {
        show(tableNote(QStringLiteral("T"), 3, {{"a", "b", "c"}, {"d", "e", "f"}, {"g", "h", "i"}}));
        const auto selectBlock = [this] {
            QTest::mousePress(grid(), Qt::LeftButton, {}, centre({0, 0}));
            QTest::mouseMove(grid(), centre({1, 1}));
            QTest::mouseRelease(grid(), Qt::LeftButton, {}, centre({1, 1}));
            QVERIFY(page->selection().multi());
        };
        QApplication::clipboard()->setText(QStringLiteral("x\ty"));
        selectBlock();
        {
            MenuAnswer menu(QStringLiteral("Paste here"));
            QTest::mouseClick(grid(), Qt::RightButton, {}, centre({0, 0}));
            QCOMPARE(menu.shown, 1);
        }
        settle();
        QCOMPARE(cells(stored()), (QList<QStringList>{{"x", "y", "c"}, {"d", "e", "f"}, {"g", "h", "i"}}));
        QVERIFY(!page->selection().anchor && !page->selection().end);
        {
            MenuAnswer menu;
            QTest::mouseClick(grid(), Qt::RightButton, {}, centre({0, 0}));
            QCOMPARE(menu.items, (QStringList{"📋 Copy selection (off)", "📌 Paste here (off)", "🗑 Clear (off)"}));
        }

        // A cell changed elsewhere (the cell editor, another window), and rows added elsewhere.
        selectBlock();
        Note n = stored();
        n.rows[2].cells[2] = QStringLiteral("changed");
        NoteStore::shared().update(n);
        settle();
        QVERIFY(!page->selection().anchor && !page->selection().end);
        selectBlock();
        n = stored();
        n.rows.insert(n.rows.begin(), NoteRow(QStringList{"new", "row", ""}));
        NoteStore::shared().update(n);
        settle();
        QVERIFY(!page->selection().anchor && !page->selection().end);

        // A rebuild that changes nothing keeps it: copying, for one, changes nothing.
        selectBlock();
        page->copySelection(QStringLiteral("T"));
        page->requestRebuild();
        settle();
        QVERIFY(page->selection().multi());
    }

    // A double click opens one cell editor and clears the selection; a third click in a row is a
    // plain click again.
    void doubleClickOpensOneEditor() {
        show(tableNote(QStringLiteral("T"), 2, {{"a", "b"}, {"c", "d"}}));
        NoteGrid *g = grid();
        const QPoint p = centre({1, 0});
        QTest::mouseClick(g, Qt::LeftButton, {}, p);
        QCOMPARE(anchor(), (Pos{1, 0}));
        QTest::mouseDClick(g, Qt::LeftButton, {}, p);
        QTest::mouseRelease(g, Qt::LeftButton, {}, p);
        QTest::mouseClick(g, Qt::LeftButton, {}, p);
        settle();
        const QList<CellEditor *> editors = page->window()->findChildren<CellEditor *>();
        QCOMPARE(editors.size(), 1);
        QCOMPARE(editors.first()->textView()->toPlainText(), QStringLiteral("c"));
        QCOMPARE(anchor(), (Pos{1, 0}));
        QCOMPARE(end(), (Pos{1, 0}));
        // Without the third click the selection stays cleared.
        delete editors.first();
        QTest::mouseClick(g, Qt::LeftButton, {}, centre({0, 1}));
        QTest::mouseDClick(g, Qt::LeftButton, {}, centre({0, 1}));
        QTest::mouseRelease(g, Qt::LeftButton, {}, centre({0, 1}));
        settle();
        QCOMPARE(page->window()->findChildren<CellEditor *>().size(), 1);
        QVERIFY(!page->selection().anchor && !page->selection().end);
    }

    // A click on a link in a cell opens it and leaves the selection (and a drag from there) alone;
    // beside the link, or on the cell's plain text, a click selects as anywhere else.
    void linkClickOpensAndKeepsSelection() {
        RecordingLinks links;
        const QString link = QStringLiteral("https://example.org/a");
        show(tableNote(QStringLiteral("T"), 2,
                       {{link + QStringLiteral("\nplain words on a line that is longer than the link"), "b"}, {"c", "d"}}));
        NoteGrid *g = grid();
        const QRect cell = g->cellRect({0, 0});
        const QFontMetrics fm(NoteGrid::cellFont());
        const int linkW = fm.horizontalAdvance(link);
        QVERIFY(cell.width() > linkW + 40);
        const QPoint onLink = cell.topLeft() + QPoint(8 + linkW / 2, 8 + fm.height() / 2);
        QTest::mouseClick(g, Qt::LeftButton, {}, centre({1, 1}));

        QTest::mousePress(g, Qt::LeftButton, {}, onLink);
        QTest::mouseMove(g, centre({1, 0}));
        QTest::mouseRelease(g, Qt::LeftButton, {}, centre({1, 0}));
        QCOMPARE(links.opened, (QList<QUrl>{QUrl(link)}));
        QCOMPARE(anchor(), (Pos{1, 1}));
        QCOMPARE(end(), (Pos{1, 1}));

        QTest::mouseClick(g, Qt::LeftButton, {}, onLink + QPoint(linkW / 2 + 20, 0)); // past the link's end
        QCOMPARE(links.opened.size(), 1);
        QCOMPARE(anchor(), (Pos{0, 0}));
        QTest::mouseClick(g, Qt::LeftButton, {}, centre({1, 1}));
        QTest::mouseClick(g, Qt::LeftButton, {}, onLink + QPoint(0, fm.lineSpacing())); // the plain line
        QCOMPARE(links.opened.size(), 1);
        QCOMPARE(anchor(), (Pos{0, 0}));
    }

    // The handle between two column titles: the resize cursor over it, each move a step of its own,
    // the grid laid out anew once the button is up, no narrower than 60 points.
    void resizeHandleSteps() {
        show(tableNote(QStringLiteral("T"), 3, {{"a longer first cell", "beta", "gamma"}, {"c", "d", "e"}}));
        NoteGrid *g = grid();
        const std::vector<double> before = g->widths();
        QVERIFY(before[0] > 70); // wide enough that no step below meets the 60-point floor
        const QPoint edge(g->cellRect({-1, 1}).left(), 50);
        QTest::mouseMove(g, edge + QPoint(0, 200)); // over a cell first
        QTest::mouseMove(g, edge + QPoint(3, 0));
        QCOMPARE(g->cursor().shape(), Qt::SizeHorCursor);
        QTest::mouseClick(g, Qt::LeftButton, {}, centre({1, 2}));

        QTest::mousePress(g, Qt::LeftButton, {}, edge + QPoint(3, 0));
        QTest::mouseMove(g, edge + QPoint(7, 0));
        QTest::mouseMove(g, edge + QPoint(13, 4));
        settle();
        QCOMPARE(grid(), g); // nothing is laid out again during the drag
        QCOMPARE(anchor(), (Pos{1, 2})); // the press on the handle selected nothing
        QTest::mouseRelease(g, Qt::LeftButton, {}, edge + QPoint(13, 4));
        settle();
        QVERIFY(grid() != g);
        QCOMPARE(grid()->widths()[0], before[0] + 10);
        QCOMPARE(grid()->widths()[1], before[1]);
        QVERIFY(!page->selection().anchor && !page->selection().end); // the resize drops it

        g = grid();
        const QPoint edge2(g->cellRect({-1, 1}).left(), 50);
        QTest::mousePress(g, Qt::LeftButton, {}, edge2);
        QTest::mouseMove(g, edge2 - QPoint(500, 0));
        QTest::mouseMove(g, edge2 - QPoint(490, 0));
        QTest::mouseRelease(g, Qt::LeftButton, {}, edge2 - QPoint(490, 0));
        settle();
        QCOMPARE(grid()->widths()[0], 70.0); // 60 at the first step, then 10 more
        QCOMPARE(stored().columns.size(), size_t(3));
    }
};

QTEST_MAIN(TstGridGestures)
#include "tst_grid_gestures.moc"
