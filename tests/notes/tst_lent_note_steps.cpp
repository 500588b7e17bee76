// A large text note shown on the page lends its text to the page's document: the store holds it
// without its text. What the user does with it then (a new title or emoji saved, an export of any
// format) never decodes its tens of megabytes on the window's thread, stores its text byte for byte
// as it was, and loses nothing to a change made meanwhile.
#include "common/HeldPool.h"
#include "common/RichNotes.h"
#include "common/StoredNotes.h"
#include "common/TestEnv.h"
#include "notes/NoteCodec.h"
#include "notes/NoteExport.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "notes/TextViewOps.h"
#include "platform/Background.h"
#include "platform/Keys.h"
#include "ui/Theme.h"
#include <QtTest>

namespace {
const QString kKey = QString::fromLatin1(kNotes);

Note small(const QString &id) {
    Note n(NoteType::text, QStringLiteral("🙂"), QStringLiteral("Small ") + id);
    n.id = id;
    n.body = QStringLiteral("short text");
    return n;
}

// The note with the emoji, title and change time the store shows for it now.
Note asListed(Note n, NoteStore &store) {
    for (const NoteHead &h : store.notes())
        if (h.id == n.id) {
            n.emoji = h.emoji;
            n.title = h.title;
            n.modifiedInterval = h.modifiedInterval;
        }
    return n;
}

QByteArray fileBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The large note loaded from a stored document, decoded and lent, as a page showing it leaves it.
struct LentStore {
    TempPrefs prefs;
    Note large = numberedNote(QStringLiteral("L"), 300 * 1024);
    Note other = small(QStringLiteral("S"));
    NoteStore *store = nullptr;
    LentStore() {
        large.title = QStringLiteral("Large");
        store = relaunchWithNotes(prefs, encodeNotes({other, large}));
        if (!store || !store->find(large.id)) return;
        if (!store->lendText(large.id, store->textVersion(large.id))) store = nullptr;
    }
    ~LentStore() { NoteStore::resetForTests(); }
    QByteArray stored() { return prefs.prefs().data(kKey); }
};

// The page shown as the window shows it, the note id selected.
void showSelecting(NotesView &page, const QString &id) {
    page.resize(1000, 700);
    page.setup();
    page.show();
    page.selectNote(id);
}
// The text of the label with that name the page shows; empty when none is shown.
QString shownText(QWidget &page, const char *name) {
    for (QLabel *l : page.findChildren<QLabel *>(QString::fromLatin1(name)))
        if (l->isVisible()) return l->text();
    return {};
}
} // namespace

class TestLentNoteSteps : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    // New fields put into a note's bytes give what encoding the note anew gives, whatever the
    // fields hold; bytes that are not the note named are left alone.
    void newFieldsInANotesBytesEqualAWholeEncode_data() {
        QTest::addColumn<QString>("emoji");
        QTest::addColumn<QString>("title");
        QTest::addRow("longer") << QStringLiteral("🚀") << QStringLiteral("A much longer title than before, with ünïcödé");
        QTest::addRow("shorter") << QStringLiteral("a") << QStringLiteral("x");
        QTest::addRow("escaped") << QStringLiteral("\"") << QStringLiteral("quote \" back \\ tab\t nl\n \u2028 \x01");
        QTest::addRow("empty title") << QStringLiteral("👩‍👩‍👧") << QString();
    }
    void newFieldsInANotesBytesEqualAWholeEncode() {
        QFETCH(QString, emoji);
        QFETCH(QString, title);
        Note was = numberedNote(QStringLiteral("N"), 2000);
        was.title = QStringLiteral("Old \"title\"");
        was.link = QStringLiteral("example.org");
        was.modifiedInterval = 788918400.25;
        QByteArray bytes;
        NoteCodec::encodeNote(bytes, was);
        Note now = was;
        now.emoji = emoji;
        now.title = title;
        now.modifiedInterval = 800000000.125;
        QByteArray whole;
        NoteCodec::encodeNote(whole, now);
        const auto patched = NoteCodec::withFields(bytes, NoteHead(was), NoteHead(now));
        QVERIFY(patched);
        QCOMPARE(*patched, whole);

        // Not this note's bytes, or another note: nothing.
        Note stranger = was;
        stranger.title = QStringLiteral("Another title");
        QVERIFY(!NoteCodec::withFields(bytes, NoteHead(stranger), NoteHead(now)));
        Note otherID = now;
        otherID.id = QStringLiteral("M");
        QVERIFY(!NoteCodec::withFields(bytes, NoteHead(was), NoteHead(otherID)));
        QVERIFY(!NoteCodec::withFields(bytes.left(bytes.size() - 1), NoteHead(was), NoteHead(now)));
    }

    // A new title and emoji for a lent note show at once; the stored document then holds them with
    // the text and rich text exactly as before, and nothing was decoded on the window's thread.
    void aLentNotesNewTitleIsStoredWithoutItsText() {
        LentStore s;
        QVERIFY(s.store);
        NoteStore &store = *s.store;
        const quint64 version = store.textVersion(s.large.id);
        const int decodes = store.largeDecodesHere();
        bool failed = false;
        store.updateFields(s.large.id, QStringLiteral("🚀"), QStringLiteral("Renamed \"large\""), &store,
                           [&] { failed = true; });
        QCOMPARE(store.notes().at(1).title, QStringLiteral("Renamed \"large\""));
        QCOMPARE(store.findFields(s.large.id)->emoji, QStringLiteral("🚀"));
        QVERIFY(store.textLent(s.large.id));
        QCOMPARE(store.textVersion(s.large.id), version); // the page's document still shows the note
        const Note expected = asListed(s.large, store);
        QTRY_COMPARE(s.stored(), encodeNotes({s.other, expected}));
        QCOMPARE(store.largeDecodesHere(), decodes);
        QVERIFY(!failed);
        QCOMPARE(*store.find(s.large.id), expected);
    }

    // A change made while the new title is put into the note's bytes is the one that stays: a text
    // saved after it, a second title, or a removal (the note does not come back).
    void whatFollowsANewTitleIsNotLost() {
        {
            LentStore s;
            QVERIFY(s.store);
            NoteStore &store = *s.store;
            store.updateFields(s.large.id, QStringLiteral("1"), QStringLiteral("First"), &store, {});
            Note edited = s.large;
            edited.title = QStringLiteral("First");
            edited.emoji = QStringLiteral("1");
            edited.body += QStringLiteral(" and a new ending");
            edited.bodyRTF.reset();
            store.update(edited);
            const Note expected = asListed(edited, store);
            QTRY_COMPARE(s.stored(), encodeNotes({s.other, expected}));
            QVERIFY(store.settle(10000));
            QCoreApplication::processEvents();
            QCOMPARE(s.stored(), encodeNotes({s.other, expected}));
        }
        {
            LentStore s;
            QVERIFY(s.store);
            NoteStore &store = *s.store;
            store.updateFields(s.large.id, QStringLiteral("1"), QStringLiteral("First"), &store, {});
            store.updateFields(s.large.id, QStringLiteral("2"), QStringLiteral("Second"), &store, {});
            QCOMPARE(store.notes().at(1).title, QStringLiteral("Second"));
            QTRY_COMPARE(s.stored(), encodeNotes({s.other, asListed(s.large, store)}));
            QCOMPARE(store.notes().at(1).title, QStringLiteral("Second"));
        }
        {
            LentStore s;
            QVERIFY(s.store);
            NoteStore &store = *s.store;
            store.updateFields(s.large.id, QStringLiteral("1"), QStringLiteral("First"), &store, {});
            store.remove(s.large.id);
            QTRY_COMPARE(s.stored(), encodeNotes({s.other}));
            QVERIFY(store.settle(10000));
            QCoreApplication::processEvents();
            QCOMPARE(s.stored(), encodeNotes({s.other}));
            QCOMPARE(store.notes().size(), size_t(1));
        }
    }

    // The note read for an export is the note as stored, also while a change of it is still being
    // encoded, and reading it decodes nothing on the window's thread.
    void aLentNoteIsReadWholeAwayFromTheWindow() {
        LentStore s;
        QVERIFY(s.store);
        NoteStore &store = *s.store;
        const int decodes = store.largeDecodesHere();
        auto read = store.readLater(s.large.id);
        QVERIFY(read);
        QCOMPARE(read(), std::optional<Note>(s.large));

        Note edited = s.large;
        edited.body += QStringLiteral(" more");
        store.update(edited);
        QVERIFY(store.lendText(edited.id, store.textVersion(edited.id)));
        edited = asListed(edited, store);
        read = store.readLater(s.large.id);
        store.updateFields(s.large.id, QStringLiteral("🚀"), QStringLiteral("Later"), &store, {});
        QCOMPARE(read(), std::optional<Note>(edited));
        QCOMPARE(store.readLater(s.large.id)(), std::optional<Note>(asListed(edited, store)));
        QCOMPARE(store.largeDecodesHere(), decodes);
        QVERIFY(!store.readLater(QStringLiteral("none")));
    }

    // On the page: the large note shown, its title changed in the editor and saved, then exported in
    // every format. The title shows at once and is stored with the text as it was; every file holds
    // the note as stored; the note's text was never decoded on the window's thread.
    void titleSaveAndExportsOfAShownLargeNote() {
        TempPrefs prefs;
        TestDialogs dialogs;
        QTemporaryDir dir;
        Note n = numberedNote(QStringLiteral("P"), 300 * 1024);
        NoteStore *found = relaunchWithNotes(prefs, encodeNotes({n}));
        QVERIFY(found);
        NoteStore &store = *found;
        NotesView page;
        showSelecting(page, n.id);
        QTRY_VERIFY(page.findView());
        QTRY_VERIFY(store.textLent(n.id));
        const int decodes = store.largeDecodesHere();

        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        QVERIFY(page.inlineTitleField());
        page.inlineTitleField()->setText(QStringLiteral("Renamed"));
        page.saveInlineEditor();
        QVERIFY(!page.inlineEditorOpen());
        QCOMPARE(store.notes().at(0).title, QStringLiteral("Renamed"));
        const Note expected = asListed(n, store);
        QTRY_COMPARE(prefs.prefs().data(kKey), encodeNotes({expected}));
        QCOMPARE(store.largeDecodesHere(), decodes);

        const QString txt = dir.filePath(QStringLiteral("n.txt")), csv = dir.filePath(QStringLiteral("n.csv")),
                      pdf = dir.filePath(QStringLiteral("n.pdf"));
        dialogs.alertAnswers = {0, 1, 2};
        dialogs.savePaths = {txt, csv, pdf};
        page.doExportSelected();
        page.doExportSelected();
        page.doExportSelected();
        // The exports are written on workers: wait for them, however slow the machine, not a fixed time.
        QVERIFY(NoteExport::settle(600000));
        QTRY_VERIFY(QFile::exists(txt) && QFile::exists(csv) && QFile::exists(pdf));
        QCOMPARE(fileBytes(txt), NoteStore::txtExport(expected).toUtf8());
        QCOMPARE(fileBytes(csv), NoteStore::csvExport(expected).toUtf8());
        QVERIFY(fileBytes(pdf).startsWith("%PDF"));
        QCOMPARE(store.largeDecodesHere(), decodes);
        QVERIFY(store.textLent(n.id));
        NoteStore::resetForTests();
    }

    // A new look lets go of the shown note's document, and the text comes back on a worker. Held
    // there meanwhile, the steps the user can take (find, a double click, Edit) use the note's
    // fields and decode nothing here; once the text is in, the editor opens on it whole.
    void stepsWhileALentTextComesBackDecodeNothingHere() {
        TempPrefs prefs;
        Note n = numberedNote(QStringLiteral("Q"), 300 * 1024);
        NoteStore *found = relaunchWithNotes(prefs, encodeNotes({n}));
        QVERIFY(found);
        NoteStore &store = *found;
        NotesView page;
        showSelecting(page, n.id);
        QTRY_VERIFY(page.findView());
        QTRY_VERIFY(store.textLent(n.id));
        const int decodes = store.largeDecodesHere();
        const AppTheme look = VF::theme();
        // Nothing is painted meanwhile: the raster engine hands large fills to the pool held.
        page.setUpdatesEnabled(false);
        {
            HeldPool pool;
            page.clearContent();
            VF::setTheme(AppTheme::dark);
            page.setup();
            // Built again for the new look, the document made for the old one let go of.
            QTRY_VERIFY(page.longTextView() && !page.longTextReady());
            QVERIFY(store.textLent(n.id));
            // The text is on its way back, held in the pool.
            QTRY_VERIFY(page.decodingNote());
            page.toggleFindBar();
            page.runFind(QStringLiteral("lorem"));
            page.doubleTapNote(n.id);
            QCoreApplication::processEvents();
            QCOMPARE(store.largeDecodesHere(), decodes);
        }
        page.setUpdatesEnabled(true);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        QCOMPARE(NoteDocument::wholeText(*TextViewOps::document(page.findView())), n.body);
        QCOMPARE(store.largeDecodesHere(), decodes);
        VF::setTheme(look);
        NoteStore::resetForTests();
    }

    // Another large note opened lets go of the document shown as soon as its text is being decoded,
    // not once it is in: the two notes' documents and the decode are never held at once. It is let go
    // of before the decode is handed to the pool, or a worker taking it up at once reads the note's
    // bytes beside it. Its header is shown at once, its body loading, not the header of the note
    // shown before.
    void openingAnotherLargeNoteLetsGoOfTheDocumentShownFirst() {
        TempPrefs prefs;
        Note a = numberedNote(QStringLiteral("A"), 300 * 1024);
        Note b = numberedNote(QStringLiteral("B"), 300 * 1024);
        a.title = QStringLiteral("First");
        b.title = QStringLiteral("Second");
        NoteStore *found = relaunchWithNotes(prefs, encodeNotes({a, b}));
        QVERIFY(found);
        NotesView page;
        showSelecting(page, a.id);
        QTRY_VERIFY(page.longTextReady() && found->textLent(a.id));
        QPointer<QTextDocument> first = TextViewOps::document(page.findView());
        QVERIFY(first);
        page.setUpdatesEnabled(false); // the raster engine hands large fills to the pool held
        {
            HeldPool pool;
            int decodes = 0;
            bool heldAtDecode = false;
            Background::setStartHookForTests([&](const QString &name) {
                if (name != QStringLiteral("a note being read")) return;
                ++decodes;
                heldAtDecode = heldAtDecode || (first && first->thread());
            });
            struct Unhook {
                ~Unhook() { Background::setStartHookForTests({}); }
            } unhook;
            page.selectNote(b.id);
            QTRY_VERIFY(page.decodingNote());
            QCOMPARE(decodes, 1);
            QVERIFY2(!heldAtDecode, "the decode was handed to the pool before the document shown was let go of");
            QVERIFY(!page.longTextReady());
            QVERIFY(!page.findView() || TextViewOps::document(page.findView()) != first);
            QCOMPARE(shownText(page, "detailTitle"), b.title);
            QCOMPARE(shownText(page, "detailLoading"), NoteDocument::loadingText());
        }
        page.setUpdatesEnabled(true);
        QTRY_VERIFY(!first);
        QTRY_VERIFY(page.longTextReady());
        QCOMPARE(NoteDocument::wholeText(*TextViewOps::document(page.findView())), b.body);
        QCOMPARE(shownText(page, "detailTitle"), b.title);
        QCOMPARE(shownText(page, "detailLoading"), QString());
        NoteStore::resetForTests();
    }

    // A double click on a large note not decoded yet (as on its card in the list) decodes it on a
    // worker, as opening it does, and opens its editor on the whole text once it is in.
    void aDoubleClickOnALargeNoteNotDecodedYetDecodesItAway() {
        TempPrefs prefs;
        const Note other = small(QStringLiteral("S"));
        const Note n = numberedNote(QStringLiteral("D"), 300 * 1024);
        NoteStore *found = relaunchWithNotes(prefs, encodeNotes({other, n}));
        QVERIFY(found);
        NoteStore &store = *found;
        NotesView page;
        showSelecting(page, other.id);
        QTRY_VERIFY(page.findView());
        const int decodes = store.largeDecodesHere();
        page.selectNote(n.id);
        page.doubleTapNote(n.id);
        QCOMPARE(store.largeDecodesHere(), decodes);
        QTRY_VERIFY(page.inlineEditorOpen() && page.findView() && !TextViewOps::isReadOnly(page.findView()));
        QCOMPARE(NoteDocument::wholeText(*TextViewOps::document(page.findView())), n.body);
        QCOMPARE(page.inlineTitleField()->text(), n.title);
        QCOMPARE(store.largeDecodesHere(), decodes);
        NoteStore::resetForTests();
    }
    // A short note stored after large ones is read back from far into the stored document, which
    // holds the window for as long as a large note's decode: it is opened from a worker as they are,
    // while a short note stored before them is decoded at once.
    void aShortNoteStoredAfterLargeOnesIsOpenedFromAWorker() {
        TempPrefs prefs;
        const Note nearNote = small(QStringLiteral("N"));
        const Note large = numberedNote(QStringLiteral("B"), 5 * 1024 * 1024);
        const Note farNote = small(QStringLiteral("F"));
        NoteStore *found = relaunchWithNotes(prefs, encodeNotes({nearNote, large, farNote}));
        QVERIFY(found);
        NoteStore &store = *found;
        QVERIFY(!store.decodeInBackground(nearNote.id, &store, {}));
        NotesView page;
        showSelecting(page, nearNote.id);
        QTRY_VERIFY(page.findView());
        {
            // The far note's decode waits in the pool: the page shows it is on its way. Nothing is
            // painted meanwhile: the raster engine hands large fills to the pool held.
            page.setUpdatesEnabled(false);
            HeldPool pool;
            page.selectNote(farNote.id);
            QTRY_VERIFY(page.decodingNote());
        }
        page.setUpdatesEnabled(true);
        QTRY_VERIFY(page.findView() && NoteDocument::wholeText(*TextViewOps::document(page.findView())) == farNote.body);
        NoteStore::resetForTests();
    }
};

QTEST_MAIN(TestLentNoteSteps)
#include "tst_lent_note_steps.moc"
