// What Save in the inline editor stores for a text note: the same fields whatever its length, the
// length deciding only where they are made.
#include "common/HeldPool.h"
#include "common/TestEnv.h"
#include "notes/NoteStore.h"
#include "notes/NoteTextView.h"
#include "notes/NotesView.h"
#include "notes/RtfCodec.h"
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

namespace {
void settle() {
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

// The notes page shown on an empty store, with preferences of its own.
struct EmptyNotesPage {
    TempPrefs prefs;
    struct EmptyStore {
        EmptyStore() { NoteStore::resetForTests(); }
    } store; // emptied before the page is made
    NotesView page;
    EmptyNotesPage() {
        page.resize(1000, 700);
        page.setup();
        page.show();
        settle();
    }
};

// Plain words that occur nowhere else in the note, so that one length of them can be put for another.
QString filler(qsizetype chars) {
    QString s;
    for (int i = 0; s.size() < chars; ++i)
        s += QStringLiteral("fill%1 ").arg(i % 89);
    return s.left(chars);
}

// A note whose text is head + filler + tail, rich when asked: a bold word, a coloured word, an
// underlined one, a typed address and a link put in on purpose.
Note sample(const QString &id, qsizetype fillChars, bool rich) {
    const QString head = QStringLiteral("Bold and red words, see https://example.org/typed now.\n");
    const QString tail = QStringLiteral("\nunderlined end, a link here and 🙂 last line");
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Sample"));
    n.id = id;
    n.link = QStringLiteral("https://example.com/stored");
    if (!rich) {
        n.body = head + filler(fillChars) + tail;
        return n;
    }
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat plain, bold, red, under, link;
    bold.setFontWeight(QFont::Bold);
    red.setForeground(QColor(200, 30, 30));
    under.setFontUnderline(true);
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://example.net/kept"));
    c.insertText(QStringLiteral("Bold"), bold);
    c.insertText(QStringLiteral(" and "), plain);
    c.insertText(QStringLiteral("red"), red);
    c.insertText(QStringLiteral(" words, see https://example.org/typed now."), plain);
    c.insertBlock();
    c.insertText(filler(fillChars), plain);
    c.insertBlock();
    c.insertText(QStringLiteral("underlined"), under);
    c.insertText(QStringLiteral(" end, a "), plain);
    c.insertText(QStringLiteral("link here"), link);
    c.insertText(QStringLiteral(" and 🙂 last line"), plain);
    n.body = doc.toPlainText();
    n.bodyRTF = RtfCodec::write(doc);
    return n;
}

// How many pixels of the widget's rect show the sample's red word.
int redInk(QWidget *w, const QRect &rect) {
    const QImage img = w->grab(rect).toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            n += c.red() > 120 && c.green() < 90 && c.blue() < 90;
        }
    return n;
}

// The text view's place on the page.
QRect viewRect(NotesView &page) {
    NoteTextView *v = page.longTextView();
    return v ? QRect(v->mapTo(&page, QPoint(0, 0)), v->size()) : QRect();
}

// Opens the note in the inline editor once its document is there; true when it is.
bool openEditor(NotesView &page, const Note &n) {
    NoteStore::shared().add(n);
    page.selectNote(n.id);
    page.showInlineEditor(n.id);
    settle();
    return QTest::qWaitFor([&] { return page.longTextReady() && !page.longTextView()->isReadOnly(); }, 20000);
}

struct Stored {
    QString body;
    std::optional<QByteArray> rtf;
};

// Opens the note in the inline editor, types at its start, makes "and" bold when asked and saves;
// true once the save is in.
bool typeAndSave(NotesView &page, const Note &n, bool boldEdit) {
    NoteStore::shared().add(n);
    page.selectNote(n.id);
    page.showInlineEditor(n.id);
    settle();
    if (!QTest::qWaitFor([&] { return page.longTextReady() && !page.longTextView()->isReadOnly(); }, 20000))
        return false;
    NoteTextView *v = page.longTextView();
    QTextCursor c(v->document());
    c.setPosition(0);
    v->setTextCursor(c);
    QTest::keyClicks(v, QStringLiteral("Typed "));
    if (boldEdit) {
        c.setPosition(11);
        c.setPosition(14, QTextCursor::KeepAnchor);
        v->setTextCursor(c);
        QTest::keyClick(v, Qt::Key_B, Qt::ControlModifier);
    }
    page.saveInlineEditor();
    return QTest::qWaitFor([&] { return !page.longSavePending() && !page.inlineEditorOpen(); }, 20000);
}

// The same, giving what the store holds once the save is in.
Stored editAndSave(NotesView &page, const Note &n, bool boldEdit) {
    if (!typeAndSave(page, n, boldEdit)) return {};
    const Note *saved = NoteStore::shared().find(n.id);
    return saved ? Stored{saved->body, saved->bodyRTF} : Stored{};
}
} // namespace

class TestTextNoteSave : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void sameFieldsEitherSideOfTheLongLimit_data() {
        QTest::addColumn<bool>("rich");
        QTest::addColumn<bool>("boldEdit");
        QTest::newRow("plain note, typed into") << false << false;
        QTest::newRow("plain note, a word made bold") << false << true;
        QTest::newRow("rich note, typed into") << true << false;
        QTest::newRow("rich note, a word made bold") << true << true;
    }
    // The same note and the same edit, once just under the length where a note is built on a worker,
    // once just over it and once over the length where it is read on a worker for Save: all store
    // their rich text, and it is the same but for the filler's length; the typed address is not
    // stored as a link, the link put in on purpose is.
    void sameFieldsEitherSideOfTheLongLimit() {
        QFETCH(bool, rich);
        QFETCH(bool, boldEdit);
        EmptyNotesPage shown;
        NotesView &page = shown.page;
        const qsizetype underFill = NoteDocument::kLongChars - 300, overFill = NoteDocument::kLongChars + 300;
        const qsizetype beyondFill = NoteDocument::kSaveHereChars + 300;
        const Note under = sample(QStringLiteral("U"), underFill, rich);
        const Note over = sample(QStringLiteral("O"), overFill, rich);
        const Note beyond = sample(QStringLiteral("B"), beyondFill, rich);
        QVERIFY(!NoteDocument::isLong(under));
        QVERIFY(NoteDocument::isLong(over));
        const Stored a = editAndSave(page, under, boldEdit);
        const Stored b = editAndSave(page, over, boldEdit);
        const Stored c = editAndSave(page, beyond, boldEdit);
        QCOMPARE(QString(a.body).replace(filler(underFill), filler(beyondFill)), c.body);
        QVERIFY(c.rtf.has_value());
        QCOMPARE(QByteArray(*a.rtf).replace(filler(underFill).toLatin1(), filler(beyondFill).toLatin1()),
                 *c.rtf);
        QVERIFY(a.body.startsWith(QStringLiteral("Typed Bold")));
        QCOMPARE(QString(a.body).replace(filler(underFill), filler(overFill)), b.body);
        QVERIFY(a.rtf.has_value());
        QVERIFY(b.rtf.has_value());
        QCOMPARE(QByteArray(*a.rtf).replace(filler(underFill).toLatin1(), filler(overFill).toLatin1()),
                 *b.rtf);
        QVERIFY(!b.rtf->contains("HYPERLINK \"https://example.org"));
        QCOMPARE(b.rtf->contains("HYPERLINK \"https://example.net/kept\""), rich);
        QTextDocument back;
        QVERIFY(RtfCodec::read(*b.rtf, &back));
        QCOMPARE(back.toPlainText(), b.body);
        QTextCursor at(&back);
        at.setPosition(13);
        QCOMPARE(at.charFormat().fontWeight() >= QFont::Bold, boldEdit);
        NoteStore::resetForTests();
    }

    // A note of tens of kilobytes saved, left for another and opened again shows its text as saved,
    // and the page then rests: nothing is built again turn after turn while it is shown.
    void aSavedNoteOpenedAgainShowsItsText_data() {
        QTest::addColumn<qsizetype>("fill");
        QTest::newRow("12 KB") << qsizetype(12 * 1024);
        QTest::newRow("60 KB") << qsizetype(60 * 1024);
        QTest::newRow("read on a worker") << NoteDocument::kSaveHereChars + 300;
    }
    void aSavedNoteOpenedAgainShowsItsText() {
        QFETCH(qsizetype, fill);
        EmptyNotesPage shown;
        NotesView &page = shown.page;
        Note other(NoteType::text, QStringLiteral("📝"), QStringLiteral("Other"));
        other.body = QStringLiteral("A short note");
        NoteStore::shared().add(other);
        const Note n = sample(QStringLiteral("N"), fill, true);
        // Nothing asks the store for the text meanwhile, as nothing in the app does.
        QVERIFY(typeAndSave(page, n, false));
        const QString typed = QStringLiteral("Typed ") + n.body;
        page.selectNote(other.id);
        QTRY_VERIFY(page.contentView() && page.contentView()->wholeText() == other.body);
        page.selectNote(n.id);
        QTRY_VERIFY(page.contentView() && page.contentView()->wholeText() == typed);
        settle();
        const int rebuilds = page.rebuildCount();
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
            QTest::qWait(5);
        }
        QCOMPARE(page.rebuildCount(), rebuilds);
        QVERIFY(!page.rebuildPending());
        QCOMPARE(NoteStore::shared().find(n.id)->body, typed);
        NoteStore::resetForTests();
    }

    // Save of a note read on a worker keeps what the editor showed in its place while it is read,
    // instead of a loading placeholder, and the text itself is shown once it is back.
    void aLongSaveKeepsTheTextShown() {
        EmptyNotesPage shown;
        NotesView &page = shown.page;
        const Note n = sample(QStringLiteral("N"), NoteDocument::kSaveHereChars + 300, true);
        QVERIFY(openEditor(page, n));
        QTest::keyClicks(page.longTextView(), QStringLiteral("Typed "));
        QTRY_VERIFY(redInk(&page, viewRect(page)) > 10);
        {
            HeldPool held(false); // the save's read waits; painting goes on
            page.saveInlineEditor();
            settle();
            QVERIFY(page.longSavePending());
            QVERIFY(!page.inlineEditorOpen());
            QVERIFY(!page.longTextReady());
            QVERIFY(redInk(&page, viewRect(page)) > 10);
        }
        QTRY_VERIFY(!page.longSavePending() && page.contentView());
        settle();
        QVERIFY(redInk(&page, viewRect(page)) > 10);
        QVERIFY(NoteStore::shared().find(n.id)->body.startsWith(QStringLiteral("Typed Bold")));
        NoteStore::resetForTests();
    }

    // A note emptied in the editor (select all, Delete) is an empty note, not one being loaded;
    // a note whose document is still being built is.
    void anEmptiedNoteIsNotLoading_data() {
        QTest::addColumn<qsizetype>("fill");
        QTest::newRow("12 KB") << qsizetype(12 * 1024);
        QTest::newRow("removed on a worker") << NoteDocument::kPasteLaterChars + 300;
    }
    void anEmptiedNoteIsNotLoading() {
        QFETCH(qsizetype, fill);
        EmptyNotesPage shown;
        NotesView &page = shown.page;
        const Note n = sample(QStringLiteral("N"), fill, true);
        QVERIFY(openEditor(page, n));
        NoteTextView *v = page.longTextView();
        v->selectAll();
        QTest::keyClick(v, Qt::Key_Delete);
        QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
        settle();
        QVERIFY(page.longTextView()->document()->isEmpty());
        QCOMPARE(page.longTextView()->placeholderText(), QString());
        page.cancelInlineEditor();
        const Note other = sample(QStringLiteral("O"), NoteDocument::kLongChars + 300, false);
        NoteStore::shared().add(other);
        HeldPool held(false); // its document is being built meanwhile
        page.selectNote(other.id);
        settle();
        QVERIFY(page.longTextView() && !page.longTextReady());
        QCOMPARE(page.longTextView()->placeholderText(), NoteDocument::loadingText());
        held.release();
        QTRY_VERIFY(page.contentView());
        QCOMPARE(page.contentView()->placeholderText(), QString());
        NoteStore::resetForTests();
    }
};

QTEST_MAIN(TestTextNoteSave)
#include "tst_text_note_save.moc"
