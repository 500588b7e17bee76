#include "app/RenderWalk.h"
#include "common/NoteTables.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "ui/Fonts.h"

namespace {
Note longTextNote() {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Shopping and errands for the week"));
    n.id = QStringLiteral("A");
    n.body = QStringLiteral("Milk, bread, stamps.\nCall the plumber about the kitchen tap: https://example.org/plumber");
    return n;
}
} // namespace

// The notes page's panels (find bar with no match, inline editor), the note editor for a text, a
// table and a new note, and the cell editor, in every look (app/RenderWalk.h).
class TstRenderNotes : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void initTestCase() { Fonts::applyAppFont(); }
    void notePanelsFitInEveryLook();
};

void TstRenderNotes::notePanelsFitInEveryLook() {
    TempPrefs prefs;
    NoteStore::resetForTests();
    RenderWalk walk;
    WalkDialogs dialogs(walk);
    NoteStore::shared().add(longTextNote());
    NoteStore::shared().add(tableNote(QStringLiteral("T"), 3, {{"Rent", "900", "paid"}, {"Power", "75", "open"}}));
    const auto editorFor = [&](const Note &n, bool isNew, const QString &what, QWidget *parent) {
        NoteEditorDialog *d = NoteEditorDialog::show(n, isNew, [](const std::optional<Note> &) {}, parent);
        QVERIFY(d);
        settle();
        walk.check(d, what);
        d->doCancel();
    };
    for (const Look &look : allLooks()) {
        walk.look = look;
        applyLook(look);
        auto page = openPage<NotesView>();
        QVERIFY(page);
        page->selectNote(QStringLiteral("A"));
        settle();
        page->showFindBar();
        page->runFind(QStringLiteral("no such words"));
        settle();
        QCOMPARE(page->findMatchCount(), 0);
        walk.check(page.get(), QStringLiteral("find bar without a match"));
        page->hideFindBar();
        page->showInlineEditor(QStringLiteral("A"));
        settle();
        QVERIFY(page->inlineEditorOpen());
        walk.check(page.get(), QStringLiteral("inline editor"));
        page->cancelInlineEditor();
        editorFor(*NoteStore::shared().find(QStringLiteral("A")), false, QStringLiteral("note editor, text"), page.get());
        editorFor(*NoteStore::shared().find(QStringLiteral("T")), false, QStringLiteral("note editor, table"), page.get());
        editorFor(Note(NoteType::table, QStringLiteral("📊"), QString()), true, QStringLiteral("note editor, new table"), page.get());
        {
            auto *cell = new CellEditor(QStringLiteral("T"), 0, 1, QStringLiteral("900"), page.get());
            cell->show();
            settle();
            walk.check(cell, QStringLiteral("cell editor"));
            cell->close();
        }
        page.reset();
        settle();
    }
    walk.verify();
    NoteStore::resetForTests();
}

QTEST_MAIN(TstRenderNotes)
#include "tst_render_notes.moc"
