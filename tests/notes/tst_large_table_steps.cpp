// A large table the store let go of while the page or an editor still works on it (another large note
// was used since) is decoded on a worker, never on the window's thread, by whatever needs it whole: the
// cell editor opening or saving, the editor dialog opening or saving. An edit saved meanwhile lands
// whatever note the page shows by then.
#include "common/NoteTables.h"
#include "common/StoredNotes.h"
#include "common/TestEnv.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "notes/RichTextView.h"
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {
// A table well over the size the store decodes on a worker.
Note largeTable(const QString &id) {
    Note t = tableNote(id, 20, {});
    for (int r = 0; r < 2000; ++r) {
        QStringList cells;
        for (int c = 0; c < 20; ++c)
            cells << QStringLiteral("row %1 cell %2").arg(r).arg(c);
        t.rows.emplace_back(cells);
    }
    return t;
}

NoteEditorDialog *shownDialog() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *d = qobject_cast<NoteEditorDialog *>(w); d && d->isVisible()) return d;
    return nullptr;
}

// Two large tables and a short text note stored, loaded as at launch (nothing decoded), on the page.
struct Fixture {
    TempPrefs prefs;
    Note t = largeTable(QStringLiteral("T")), u = largeTable(QStringLiteral("U"));
    Note s{NoteType::text, QStringLiteral("📝"), QStringLiteral("Short")};
    NoteStore *store = nullptr;
    NotesView page;
    Fixture() {
        s.id = QStringLiteral("S");
        s.body = QStringLiteral("short");
        store = relaunchWithNotes(prefs, encodeNotes({s, t, u}));
        page.resize(1000, 700);
        page.setup();
        page.show();
    }
    ~Fixture() {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<NoteEditorDialog *>(w) || qobject_cast<CellEditor *>(w)) delete w;
        NoteStore::resetForTests();
    }
    bool shows(const QString &id) const { return page.grid() && page.grid()->note().id == id; }
    CellEditor *cellEditor() const { return page.findChild<CellEditor *>(QStringLiteral("cellEditor")); }
    // The store lets go of T once another large note is the one used last (as showing U makes it).
    bool letGoOfT() {
        (void)store->find(u.id);
        return QTest::qWaitFor([this] { return !store->holdsDecoded(t.id); });
    }
    // T shown whole and measured, nothing left to build or decode for it.
    bool settledOnT() const {
        return store->holdsDecoded(t.id) && !page.decodingNote() && !page.rebuildPending() && shows(t.id) &&
               page.tableMeasured();
    }
};
} // namespace

class TestLargeTableSteps : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    // The table shown, then let go of by the store: a double click on a cell and the Edit button open
    // their editors once the table is in, decoded on a worker.
    void editorsOfATableLetGoOfOpenOnceItIsIn() {
        Fixture f;
        QVERIFY(f.store);
        f.page.selectNote(f.t.id);
        QTRY_VERIFY(f.shows(f.t.id));
        QVERIFY(f.letGoOfT());
        const int here = f.store->largeDecodesHere();
        f.page.showCellEditor(f.t.id, 7, 3);
        QTRY_VERIFY(f.cellEditor());
        QCOMPARE(f.cellEditor()->textView()->toPlainText(), QStringLiteral("row 7 cell 3"));
        QCOMPARE(f.store->largeDecodesHere(), here);
        delete f.cellEditor();

        QVERIFY(f.letGoOfT());
        auto *edit = f.page.findChild<QPushButton *>(QStringLiteral("editButton"));
        QVERIFY(edit);
        const int before = f.store->largeDecodesHere();
        edit->click();
        QTRY_VERIFY(shownDialog());
        QCOMPARE(shownDialog()->working().rows.size(), size_t(2000));
        QCOMPARE(f.store->largeDecodesHere(), before);
    }

    // The table shown, let go of by the store, and the page built again (another note saved): the
    // table comes back from a worker each time, its grid staying meanwhile.
    void aTableLetGoOfWhileShownIsDecodedAwayWhenBuiltAgain() {
        Fixture f;
        QVERIFY(f.store);
        f.page.selectNote(f.t.id);
        QTRY_VERIFY(f.settledOnT());
        for (int round = 0; round < 2; ++round) {
            QVERIFY(f.letGoOfT());
            QTRY_VERIFY(!f.page.rebuildPending());
            const int here = f.store->largeDecodesHere();
            Note s = *f.store->find(f.s.id);
            s.body = QStringLiteral("saved %1").arg(round);
            f.store->update(s);
            QTRY_VERIFY(f.page.decodingNote() || f.store->largeDecodesHere() != here);
            QVERIFY(f.shows(f.t.id));
            QTRY_VERIFY(f.settledOnT());
            QCOMPARE(f.store->largeDecodesHere(), here);
        }
    }

    // An editor open on the table while another large note is shown: Save writes the cell (or the
    // table) once the table is in, decoded on a worker, also when the user moves on to a third note
    // meanwhile; the rest of the table stays as it was.
    void savesOfATableLetGoOfLandAfterASwitch() {
        Fixture f;
        QVERIFY(f.store);
        f.page.selectNote(f.t.id);
        QTRY_VERIFY(f.shows(f.t.id));
        f.page.showCellEditor(f.t.id, 5, 2);
        QPointer<CellEditor> ed = f.cellEditor();
        QVERIFY(ed);
        f.page.selectNote(f.u.id);
        QTRY_VERIFY(f.shows(f.u.id));
        QVERIFY(f.letGoOfT());
        int here = f.store->largeDecodesHere();
        bool written = false;
        ed->onSaved = [&written] { written = true; };
        ed->textView()->setPlainText(QStringLiteral("edited"));
        QVERIFY(ed->save());
        f.page.selectNote(f.s.id);
        QTRY_VERIFY(written);
        QCOMPARE(f.store->largeDecodesHere(), here);
        Note want = f.t;
        want.rows[5].cells[2] = QStringLiteral("edited");
        QCOMPARE(cells(*f.store->find(f.t.id)), cells(want));

        // The dialog: opened on T, then U shown and T let go of, then saved with a new title.
        f.page.doubleTapNote(f.t.id);
        QTRY_VERIFY(shownDialog());
        QPointer<NoteEditorDialog> dlg = shownDialog();
        f.page.selectNote(f.u.id);
        QTRY_VERIFY(f.shows(f.u.id));
        QVERIFY(f.letGoOfT());
        here = f.store->largeDecodesHere();
        dlg->titleField()->setText(QStringLiteral("Renamed"));
        QVERIFY(!dlg->doSave());
        QVERIFY(dlg->savePending());
        QVERIFY(!dlg->doSave()); // a second click meanwhile saves nothing twice
        f.page.selectNote(f.s.id);
        QTRY_VERIFY(!dlg || !dlg->isVisible());
        QCOMPARE(f.store->largeDecodesHere(), here);
        const Note *saved = f.store->find(f.t.id);
        QCOMPARE(saved->title, QStringLiteral("Renamed"));
        QCOMPARE(cells(*saved), cells(want));
    }
};

QTEST_MAIN(TestLargeTableSteps)
#include "tst_large_table_steps.moc"
