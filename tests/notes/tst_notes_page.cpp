#include "common/NoteTables.h"
#include "common/RichNotes.h"
#include "common/ShownNotesPage.h"
#include "common/TestEnv.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "notes/RichTextView.h"
#include "notes/RtfCodec.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QClipboard>
#include <QElapsedTimer>
#include <QApplication>
#include <QGuiApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTextBlock>
#include <QTextCursor>
#include <QtTest>
#include <functional>

namespace {
void settle() {
    for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
}
QTextCharFormat formatAt(QTextDocument *d, int pos) {
    QTextCursor c(d);
    c.setPosition(pos + 1);
    return c.charFormat();
}
void select(RichTextView &tv, int from, int to) {
    QTextCursor c = tv.textCursor();
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    tv.setTextCursor(c);
}
} // namespace

class TestNotesPage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    void formatTogglesWorkRunByRun() {
        RichTextView tv;
        tv.setPlainText(QStringLiteral("abcd"));
        select(tv, 0, 2);
        tv.applyFmt(0); // "ab" bold
        select(tv, 0, 4);
        tv.applyFmt(0); // half-bold selection: each run flips
        QVERIFY(formatAt(tv.document(), 0).fontWeight() < QFont::DemiBold);
        QVERIFY(formatAt(tv.document(), 3).fontWeight() >= QFont::Bold);
        // one undo step restores the previous state
        tv.undo();
        QVERIFY(formatAt(tv.document(), 0).fontWeight() >= QFont::Bold);
        QVERIFY(formatAt(tv.document(), 3).fontWeight() < QFont::DemiBold);
        // empty selection changes nothing
        select(tv, 1, 1);
        tv.applyFmt(2);
        QVERIFY(!formatAt(tv.document(), 0).fontUnderline());
    }

    void sizeSteps_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("expected");
        QTest::newRow("71 up") << 71 << 3 << 72;
        QTest::newRow("72 up") << 72 << 3 << 72;
        QTest::newRow("10 down") << 10 << 4 << 8;
        QTest::newRow("9 down") << 9 << 4 << 8;
    }
    void sizeSteps() {
        QFETCH(int, start);
        QFETCH(int, code);
        QFETCH(int, expected);
        RichTextView tv;
        QTextCharFormat f;
        f.setProperty(QTextFormat::FontPixelSize, start);
        QTextCursor(tv.document()).insertText(QStringLiteral("xy"), f);
        select(tv, 0, 2);
        tv.applyFmt(code);
        QCOMPARE(formatAt(tv.document(), 0).intProperty(QTextFormat::FontPixelSize), expected);
        // survives the RTF round trip the store uses
        QTextDocument back;
        QVERIFY(RtfCodec::read(RtfCodec::write(*tv.document()), &back));
        QCOMPARE(formatAt(&back, 0).font().pixelSize(), expected);
    }

    void inlineEditorSurvivesResizeAndOtherChanges() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        NoteStore::shared().add(textNote(QStringLiteral("A"), QStringLiteral("hello")));
        NotesView page;
        showPage(page);
        page.showInlineEditor(QStringLiteral("A"));
        settle();
        QVERIFY(page.inlineEditorOpen());
        QVERIFY(page.inlineTextView());
        page.inlineTextView()->moveCursor(QTextCursor::End);
        page.inlineTextView()->insertPlainText(QStringLiteral(" world"));
        page.inlineTitleField()->setText(QStringLiteral("Renamed"));
        emit page.inlineTitleField()->textEdited(QStringLiteral("Renamed"));
        page.resize(800, 600);
        settle();
        NoteStore::shared().add(textNote(QStringLiteral("B"), QStringLiteral("other"))); // another window's change
        settle();
        QVERIFY(page.inlineEditorOpen());
        QCOMPARE(page.inlineTextView()->toPlainText(), QStringLiteral("hello world"));
        QCOMPARE(page.inlineTitleField()->text(), QStringLiteral("Renamed"));
        // a theme change builds the page anew; the editor comes back with what was typed
        page.clearContent();
        VF::setTheme(AppTheme::dark);
        page.setup();
        settle();
        QVERIFY(page.inlineEditorOpen());
        QCOMPARE(page.inlineTextView()->toPlainText(), QStringLiteral("hello world"));
        QCOMPARE(page.inlineTitleField()->text(), QStringLiteral("Renamed"));
        page.saveInlineEditor();
        settle();
        QVERIFY(!page.inlineEditorOpen());
        const Note *a = NoteStore::shared().find(QStringLiteral("A"));
        QCOMPARE(a->body, QStringLiteral("hello world"));
        QCOMPARE(a->title, QStringLiteral("Renamed"));
        QVERIFY(a->bodyRTF.has_value());
        QVERIFY(page.contentView());
        NoteStore::resetForTests();
    }

    void gridSwapAndMoveThroughThePage() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        Note t = tableNote(QStringLiteral("T"), 2, {{"a", "b"}, {"c", "d"}, {"", ""}});
        QTextDocument d;
        QTextCursor(&d).insertText(QStringLiteral("a"));
        t.rows[0].cellsRTF[0] = RtfCodec::write(d);
        NoteStore::shared().add(t);
        NotesView page;
        showPage(page);
        page.selectNote(QStringLiteral("T"));
        settle();
        QVERIFY(page.grid());
        page.swapOrMove(QStringLiteral("T"), {0, 0}, {1, 1});
        settle();
        const Note *n = NoteStore::shared().find(QStringLiteral("T"));
        QCOMPARE(n->rows[0].cells, (QStringList{"d", "b"}));
        QCOMPARE(n->rows[1].cells, (QStringList{"c", "a"}));
        QVERIFY(n->rows[1].cellsRTF.count(1));
        QVERIFY(!n->rows[0].cellsRTF.count(0));
        // block move of the top two rows down by one
        page.selection().anchor = NoteGrid::CellPos{0, 0};
        page.selection().end = NoteGrid::CellPos{1, 1};
        page.swapOrMove(QStringLiteral("T"), {0, 0}, {1, 0});
        settle();
        n = NoteStore::shared().find(QStringLiteral("T"));
        QCOMPARE(n->rows[0].cells, (QStringList{"", ""}));
        QCOMPARE(n->rows[2].cells, (QStringList{"c", "a"}));
        // a swap with a row that is gone changes nothing
        const Note before = *n;
        page.swapOrMove(QStringLiteral("T"), {9, 0}, {0, 0});
        QCOMPARE(*NoteStore::shared().find(QStringLiteral("T")), before);
        NoteStore::resetForTests();
    }

    void clipboardAndColumnDeleteThroughThePage() {
        TempPrefs prefs;
        TestDialogs dialogs;
        NoteStore::resetForTests();
        Note t = tableNote(QStringLiteral("T"), 3, {{"a", "b", "c"}, {"d", "e", "f"}, {"g"}});
        t.rows[0].cellsRTF[2] = "R2";
        NoteStore::shared().add(t);
        NotesView page;
        showPage(page);
        page.selectNote(QStringLiteral("T"));
        settle();
        page.selection().anchor = NoteGrid::CellPos{0, 0};
        page.selection().end = NoteGrid::CellPos{1, 2};
        page.copySelection(QStringLiteral("T"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("a\tb\tc\nd\te\tf"));
        settle();
        // the selection lives in the page and survives the rebuild of the detail
        QVERIFY(page.selection().anchor.has_value());
        page.selection().anchor = page.selection().end = NoteGrid::CellPos{2, 1};
        page.pasteAtAnchor(QStringLiteral("T")); // the page's own block wins; clipped at the edges
        settle();
        const Note *n = NoteStore::shared().find(QStringLiteral("T"));
        QCOMPARE(n->rows[2].cells, (QStringList{"g", "a", "b"}));
        // once something else is copied, the page's old block is stale: the clipboard's text wins
        QGuiApplication::clipboard()->setText(QStringLiteral("Rent\t900"));
        page.selection().anchor = page.selection().end = NoteGrid::CellPos{1, 0};
        page.pasteAtAnchor(QStringLiteral("T"));
        settle();
        n = NoteStore::shared().find(QStringLiteral("T"));
        QCOMPARE(n->rows[1].cells, (QStringList{"Rent", "900", "f"}));
        // deleting column B shifts the rich text of C down to B
        dialogs.alertAnswers = {0};
        page.grid()->onDeleteColumn(1);
        settle();
        n = NoteStore::shared().find(QStringLiteral("T"));
        QCOMPARE(n->columns.size(), size_t(2));
        QCOMPARE(n->rows[0].cells, (QStringList{"a", "c"}));
        QCOMPARE(n->rows[0].cellsRTF.at(1), QByteArray("R2"));
        NoteStore::resetForTests();
    }

    void findCountsNonOverlapping() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        NoteStore::shared().add(textNote(QStringLiteral("A"), QStringLiteral("aaaa")));
        NotesView page;
        showPage(page);
        page.selectNote(QStringLiteral("A"));
        settle();
        page.showFindBar();
        page.runFind(QStringLiteral("AA"));
        QCOMPARE(page.findMatchCount(), 2);
        QCOMPARE(page.findCountText(), QStringLiteral("1 / 2"));
        page.stepFind(-1);
        QCOMPARE(page.findCountText(), QStringLiteral("2 / 2"));
        page.hideFindBar();
        QVERIFY(!page.findBarVisible());
        NoteStore::resetForTests();
    }

    // Moving to another note leaves nothing of the last one behind: a new table starts without the
    // previous table's cells selected, and Escape still closes the find bar after a click elsewhere.
    void anotherNoteStartsClean() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        NoteStore::shared().add(tableNote(QStringLiteral("T"), 3, {{"a", "b", "c"}}));
        NotesView page;
        showPage(page);
        page.selectNote(QStringLiteral("T"));
        settle();
        page.selection().anchor = page.selection().end = NoteGrid::CellPos{0, 2};
        page.openEditor(Note(NoteType::table, QStringLiteral("📊"), QStringLiteral("New")), true);
        NoteEditorDialog *dlg = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<NoteEditorDialog *>(w)) dlg = d;
        QVERIFY(dlg);
        const QString newID = dlg->working().id;
        QVERIFY(dlg->doSave());
        settle();
        QCOMPARE(page.selectedID(), std::optional<QString>(newID));
        QVERIFY(!page.selection().anchor);

        page.showFindBar();
        settle();
        page.selectNote(QStringLiteral("T"));
        settle();
        page.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&page));
        page.grid()->setFocus();
        QTest::keyClick(page.grid(), Qt::Key_Escape);
        QVERIFY(!page.findBarVisible());
        NoteStore::resetForTests();
    }

    void dialogAsksBeforeOverwriting() {
        TempPrefs prefs;
        TestDialogs dialogs;
        NoteStore::resetForTests();
        NoteStore::shared().add(tableNote(QStringLiteral("T"), 1, {{"x"}}));
        std::optional<Note> got;
        int calls = 0;
        NoteEditorDialog dlg(*NoteStore::shared().find(QStringLiteral("T")), false,
                             [&](const std::optional<Note> &n) { got = n, ++calls; }, nullptr);
        Note elsewhere = *NoteStore::shared().find(QStringLiteral("T"));
        elsewhere.title = QStringLiteral("Changed elsewhere");
        NoteStore::shared().update(elsewhere);
        dialogs.alertAnswers = {1}; // Cancel keeps the dialog
        QVERIFY(!dlg.doSave());
        QCOMPARE(calls, 0);
        QVERIFY(dialogs.alertsShown.last().startsWith(NoteEditorDialog::changedElsewhereText()));
        dialogs.alertAnswers = {0};
        QVERIFY(dlg.doSave());
        QCOMPARE(calls, 1);
        QCOMPARE(got->title, QStringLiteral("Table T"));
        NoteStore::resetForTests();
    }

    void dialogEditsDropStaleRichTextAndShiftKeys() {
        TempPrefs prefs;
        Note t = tableNote(QStringLiteral("T"), 3, {{"a", "b", "c"}});
        t.rows[0].cellsRTF = {{0, "R0"}, {2, "R2"}};
        NoteEditorDialog dlg(t, false, {}, nullptr);
        auto *m = dlg.tableView()->model();
        m->setData(m->index(1, 0), QStringLiteral("changed"), Qt::EditRole);
        dlg.deleteColumn(1);
        QCOMPARE(dlg.working().rows[0].cells, (QStringList{"changed", "c"}));
        QCOMPARE(dlg.working().rows[0].cellsRTF, (std::map<int, QByteArray>{{1, "R2"}}));
    }

    void dialogOpensHugeTable() {
        TempPrefs prefs;
        Note t = tableNote(QStringLiteral("T"), 20, {});
        QStringList cells;
        for (int c = 0; c < 20; ++c) cells << QStringLiteral("cell %1").arg(c);
        for (int r = 0; r < 10000; ++r) t.rows.emplace_back(cells);
        QElapsedTimer timer;
        timer.start();
        NoteEditorDialog dlg(t, false, {}, nullptr);
        dlg.QDialog::show();
        settle();
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(dlg.tableView()->model()->rowCount(), 10001);
        QVERIFY(dlg.findChildren<QLineEdit *>().size() < 10);
    }

    // A table too large to measure at once shows its first screen on the first turn of the event loop
    // and is measured the rest of the way over later turns: the widths first (a wide cell far down
    // widens its column), then the heights (a two-line cell far down grows its row, and the scroll
    // range with it). In the end every width and height is that of a whole measure, and a resize
    // measures nothing again.
    void hugeTableBuildsInSlices() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        Note t = tableNote(QStringLiteral("T"), 5, {});
        for (int r = 0; r < 10000; ++r) {
            QStringList cells;
            for (int c = 0; c < 5; ++c) cells << QStringLiteral("cell %1 text").arg(c);
            t.rows.emplace_back(cells);
        }
        t.rows[9000].cells[2] = QStringLiteral("a cell far down that is wider than any on the first screen");
        t.rows[9500].cells[4] = QStringLiteral("two\nlines");
        const std::vector<double> widths = NoteGrid::defaultWidths(t);
        const std::vector<int> heights = NoteGrid::measureHeights(t, widths);
        NoteStore::shared().add(t);
        NotesView page;
        showPage(page);
        const qint64 before = NoteGrid::rowsMeasured;
        page.selectNote(QStringLiteral("T"));
        QCoreApplication::processEvents();
        NoteGrid *g = page.grid();
        QVERIFY(g);
        const qint64 atFirst = NoteGrid::rowsMeasured - before;
        QVERIFY2(atFirst > 0 && atFirst < 100, qPrintable(QString::number(atFirst)));
        QVERIFY(g->widths()[2] < widths[2]);
        QCOMPARE(g->widths()[0], widths[0]);
        QCOMPARE(g->rowHeight(0), heights[0]);
        QCOMPARE(g->rowHeight(9500), NoteGrid::oneLineRowHeight());
        QVERIFY(!g->grab(QRect(0, 0, 900, 600)).isNull());
        // the widths settle (the grid is built again with them), then the rows are measured
        QVERIFY(!page.tableMeasured());
        QTRY_VERIFY_WITH_TIMEOUT(page.tableMeasured(), 30000);
        g = page.grid();
        QCOMPARE(g->widths(), widths);
        for (size_t r = 0; r < heights.size(); ++r) QCOMPARE(g->rowHeight(int(r)), heights[r]);
        int total = NoteGrid::kTop + 20;
        for (int h : heights) total += h + 3;
        QCOMPARE(g->height(), total);
        auto *scroll = qobject_cast<QScrollArea *>(g->parentWidget()->parentWidget());
        QVERIFY(scroll);
        QCOMPARE(scroll->verticalScrollBar()->maximum(), total - scroll->viewport()->height());
        // the rows are measured once the widths have settled: the first screen's twice at most
        QVERIFY(NoteGrid::rowsMeasured - before < 10000 + 2 * atFirst);
        const qint64 measured = NoteGrid::rowsMeasured;
        page.resize(900, 650);
        settle();
        QVERIFY(page.grid());
        QCOMPARE(NoteGrid::rowsMeasured, measured);
        QCOMPARE(page.grid()->rowHeight(9500), heights[9500]);
        NoteStore::resetForTests();
    }

    // A cell saved through the cell editor is shown by the grid already there, laid out again from
    // what was stored; a new title or another language still builds the header again.
    void cellSaveKeepsTheGridAndTheHeaderFollows() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        QList<QStringList> rows;
        for (int r = 0; r < 8; ++r) rows << QStringList{QStringLiteral("a%1").arg(r), QStringLiteral("b%1").arg(r)};
        NoteStore::shared().add(tableNote(QStringLiteral("T"), 2, rows));
        NotesView page;
        showPage(page);
        page.selectNote(QStringLiteral("T"));
        QTRY_VERIFY(page.grid());
        NoteGrid *g = page.grid();
        (void)g->grab();
        page.showCellEditor(QStringLiteral("T"), 3, 1);
        auto *ed = page.window()->findChild<CellEditor *>(QStringLiteral("cellEditor"));
        QVERIFY(ed);
        ed->textView()->setPlainText(QStringLiteral("edited https://example.org/x"));
        settle();
        const qint64 laid = NoteGrid::cellsLaidOut;
        QVERIFY(ed->save());
        settle();
        QCOMPARE(page.grid(), g);
        const Note stored = *NoteStore::shared().find(QStringLiteral("T"));
        QCOMPARE(stored.rows[3].cells.at(1), QStringLiteral("edited https://example.org/x"));
        // laid out again from the stored cell, not the one the grid held, and that one alone
        (void)g->grab();
        QCOMPARE(NoteGrid::cellsLaidOut - laid, qint64(1));
        const auto detailTexts = [&page] {
            QStringList out;
            for (QLabel *l : page.findChildren<QLabel *>())
                if (l->isVisible()) out << l->text();
            return out;
        };
        Note renamed = stored;
        renamed.title = QStringLiteral("Renamed");
        NoteStore::shared().update(renamed);
        settle();
        QVERIFY(detailTexts().contains(QStringLiteral("Renamed")));
        L::setLang(AppLang::uk);
        page.refresh();
        settle();
        QVERIFY(detailTexts().contains(QStringLiteral("Таблиця")));
        L::setLang(AppLang::en);
        NoteStore::resetForTests();
    }

    // A grid built again after an edit lays out only the cell that changed; other widths lay out all.
    void rebuiltGridKeepsUnchangedCellLayouts() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        Note t = tableNote(QStringLiteral("T"), 4, {});
        for (int r = 0; r < 6; ++r)
            t.rows.emplace_back(QStringList{QStringLiteral("a%1").arg(r), "b", "c", QStringLiteral("https://example.org/%1").arg(r)});
        NoteStore::shared().add(t);
        NotesView page;
        showPage(page);
        qint64 before = NoteGrid::cellsLaidOut;
        const auto laidOut = [&] {
            (void)page.grid()->grab();
            const qint64 n = NoteGrid::cellsLaidOut - before;
            before = NoteGrid::cellsLaidOut;
            return n;
        };
        page.selectNote(QStringLiteral("T"));
        QTRY_VERIFY(page.grid());
        QCOMPARE(laidOut(), qint64(24));
        QCOMPARE(laidOut(), qint64(0));
        Note n = *NoteStore::shared().find(QStringLiteral("T"));
        n.rows[2].cells[1] = QStringLiteral("changed");
        NoteStore::shared().update(n);
        // one cell changed: the grid shown takes it and lays out that cell alone
        NoteGrid *old = page.grid();
        page.requestRebuild();
        settle();
        QCOMPARE(page.grid(), old);
        QCOMPARE(laidOut(), qint64(1));
        // two cells swapped: those two
        page.swapOrMove(QStringLiteral("T"), {0, 0}, {1, 0});
        settle();
        QCOMPARE(page.grid(), old);
        QCOMPARE(laidOut(), qint64(2));
        // a row deleted above others: every row below stands elsewhere now and is laid out again
        old = page.grid();
        n = *NoteStore::shared().find(QStringLiteral("T"));
        n.rows.erase(n.rows.begin() + 4);
        NoteStore::shared().update(n);
        page.requestRebuild();
        QTRY_VERIFY(page.grid() && page.grid() != old);
        QCOMPARE(laidOut(), qint64(4));
        NoteStore::resetForTests();
    }

    // A large note that is stored but not held decoded is decoded off the window's thread: the first
    // turn leaves the detail alone, the grid comes once the note is in, and the store then holds it.
    void largeNoteDecodesOffTheWindowThread() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        Note t = tableNote(QStringLiteral("T"), 20, {});
        for (int r = 0; r < 2000; ++r) {
            QStringList cells;
            for (int c = 0; c < 20; ++c) cells << QStringLiteral("row %1 cell %2").arg(r).arg(c);
            t.rows.emplace_back(cells);
        }
        NoteStore::shared().add(t);
        QVERIFY(NoteStore::shared().settle(10000)); // as quitting does: the bytes made on a worker are written
        prefs.reopen();
        NoteStore::resetForTests();
        QCOMPARE(NoteStore::shared().decodedCount(), 0);
        NotesView page;
        showPage(page);
        page.selectNote(QStringLiteral("T"));
        QCoreApplication::processEvents();
        QVERIFY(!page.grid());
        QCOMPARE(NoteStore::shared().decodedCount(), 0);
        QTRY_VERIFY(page.grid());
        QCOMPARE(NoteStore::shared().decodedCount(), 1);
        QCOMPARE(NoteStore::shared().find(QStringLiteral("T"))->rows, t.rows);
        QCOMPARE(page.grid()->widths().size(), size_t(20));
        NoteStore::resetForTests();
    }

    // An edit measures again only the rows it changed; the heights stay those of a full measure.
    void editsMeasureOnlyChangedRows() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        Note t = tableNote(QStringLiteral("T"), 5, {});
        for (int r = 0; r < 3000; ++r)
            t.rows.emplace_back(QStringList{QStringLiteral("r%1").arg(r), "b", "c", "d", "e"});
        t.rows[2500].cells[1] = QStringLiteral("two\nlines");
        NoteStore::shared().add(t);
        NotesView page;
        showPage(page);
        qint64 before = NoteGrid::rowsMeasured;
        page.selectNote(QStringLiteral("T"));
        QCoreApplication::processEvents();
        // the visible rows first, the rest while idle; the grid grows as the tall row far down is reached
        QVERIFY(NoteGrid::rowsMeasured - before < 3000);
        QVERIFY(page.grid());
        const int firstHeight = page.grid()->height();
        QTRY_VERIFY_WITH_TIMEOUT(page.tableMeasured(), 30000);
        QVERIFY(page.grid()->height() > firstHeight);
        const auto measuredBy = [&](const std::function<void(Note &)> &edit) {
            Note n = *NoteStore::shared().find(QStringLiteral("T"));
            edit(n);
            const qint64 from = NoteGrid::rowsMeasured;
            NoteStore::shared().update(n);
            page.requestRebuild();
            settle();
            return NoteGrid::rowsMeasured - from;
        };
        const auto heightsMatchAFullMeasure = [&] {
            const Note *n = NoteStore::shared().find(QStringLiteral("T"));
            const auto full = NoteGrid::measureHeights(*n, page.grid()->widths());
            for (size_t r = 0; r < full.size(); ++r)
                if (page.grid()->rowHeight(int(r)) != full[r]) return false;
            return true;
        };
        const int plain = page.grid()->rowHeight(1500);
        QVERIFY(heightsMatchAFullMeasure());
        // one cell made three lines long: that row alone, and it grows
        QCOMPARE(measuredBy([](Note &n) { n.rows[1500].cells[2] = QStringLiteral("one\ntwo\nthree"); }), qint64(1));
        QVERIFY(page.grid()->rowHeight(1500) > plain);
        QCOMPARE(page.grid()->rowHeight(1499), plain);
        QVERIFY(heightsMatchAFullMeasure());
        // rich text alone changed in one cell
        QCOMPARE(measuredBy([](Note &n) { n.rows[7].cellsRTF[1] = QByteArray("{\\rtf1 b}"); }), qint64(1));
        // a swap between two rows: those two, and the tall text moves with its height
        before = NoteGrid::rowsMeasured;
        page.swapOrMove(QStringLiteral("T"), {1500, 2}, {10, 3});
        settle();
        QCOMPARE(NoteGrid::rowsMeasured - before, qint64(2));
        QVERIFY(page.grid()->rowHeight(10) > plain);
        QCOMPARE(page.grid()->rowHeight(1500), plain);
        QVERIFY(heightsMatchAFullMeasure());
        // a row deleted above the tall one: nothing measured, the tall row moves up with its height
        QCOMPARE(measuredBy([](Note &n) { n.rows.erase(n.rows.begin() + 2); }), qint64(0));
        QVERIFY(page.grid()->rowHeight(9) > plain);
        QVERIFY(heightsMatchAFullMeasure());
        // no change at all (a selection, a resize): nothing
        QCOMPARE(measuredBy([](Note &) {}), qint64(0));
        NoteStore::resetForTests();
    }

    void cellEditorSavesByIdAfterRowAboveDeleted() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        NoteStore::shared().add(tableNote(QStringLiteral("T"), 2, {{"r0"}, {"r1", "x"}}));
        auto *ed = new CellEditor(QStringLiteral("T"), 1, 1, QStringLiteral("x"), nullptr);
        Note n = *NoteStore::shared().find(QStringLiteral("T"));
        n.rows.erase(n.rows.begin());
        NoteStore::shared().update(n);
        ed->textView()->setPlainText(QStringLiteral("new"));
        QVERIFY(ed->save());
        n = *NoteStore::shared().find(QStringLiteral("T"));
        QCOMPARE(n.rows.size(), size_t(1));
        QCOMPARE(n.rows[0].cells, (QStringList{"r1", "new"}));
        // the row itself gone: nothing is written
        auto *gone = new CellEditor(QStringLiteral("T"), 0, 0, QStringLiteral("r1"), nullptr);
        n.rows.clear();
        NoteStore::shared().update(n);
        gone->textView()->setPlainText(QStringLiteral("lost"));
        QVERIFY(!gone->save());
        QVERIFY(NoteStore::shared().find(QStringLiteral("T"))->rows.empty());
        settle();
        NoteStore::resetForTests();
    }

    void pageRendersInEveryTheme() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        Note text = textNote(QStringLiteral("A"), QStringLiteral("See https://example.com for more"));
        text.link = QStringLiteral("example.org");
        NoteStore::shared().add(text);
        NoteStore::shared().add(tableNote(QStringLiteral("T"), 3, {{"a", "b", "a long text that wraps in its cell"}, {"c"}}));
        for (AppTheme th : {AppTheme::dark, AppTheme::silver, AppTheme::pink, AppTheme::mint}) {
            VF::setTheme(th);
            for (const QString &id : {QStringLiteral("A"), QStringLiteral("T")}) {
                NotesView page;
                page.resize(1000, 700);
                page.setup();
                page.show();
                page.selectNote(id);
                settle();
                const QImage img = page.grab().toImage();
                QVERIFY(!img.isNull());
                if (id == QLatin1String("T")) QVERIFY(page.grid());
                if (id == QLatin1String("A")) QVERIFY(page.contentView());
                if (qEnvironmentVariableIsSet("NOTES_SHOT"))
                    img.save(QStringLiteral("%1/notes-%2-%3.png").arg(qEnvironmentVariable("NOTES_SHOT"), AppThemes::rawValue(th), id));
            }
        }
        NoteStore::resetForTests();
    }
};

QTEST_MAIN(TestNotesPage)
#include "tst_notes_page.moc"
