#include "common/Instrumented.h"
#include "common/RichNotes.h"
#include "common/ShownNotesPage.h"
#include "common/TestEnv.h"
#include "notes/LongNoteTest.h"
#include "notes/NoteCodec.h"
#include "notes/NoteStore.h"
#include "notes/NoteTextView.h"
#include "notes/NotesView.h"
#include "notes/RtfCodec.h"
#include "platform/Background.h"
#include "ui/Fonts.h"
#include "ui/Theme.h"
#include "ui/WebLinks.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QThreadPool>
#include <QtTest>
#include <malloc.h>
#include <memory>

using namespace LongNoteTest;

class TestLongNotePaste : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // A long paste put in on a worker gives back what it took only on the way (the text, the lines
    // cut from it): freed between what the document keeps, it stayed resident, tens of megabytes
    // after a paste of a few.
    void aLongPasteGivesBackWhatItTookOnTheWay() {
        if (kSanitized) QSKIP("a sanitizer's allocator is not the program's");
        const auto residentKb = [] {
            QFile f(QStringLiteral("/proc/self/status"));
            if (!f.open(QIODevice::ReadOnly)) return qint64(-1);
            for (const QByteArray &line : f.readAll().split('\n'))
                if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
            return qint64(-1);
        };
        if (residentKb() < 0) QSKIP("no resident memory to read");
        QObject receiver;
        QTextDocument *doc = NoteDocument::build(richNote(QStringLiteral("R"), 1 << 20), style());
        QString text;
        for (int i = 0; text.size() < 5'000'000; ++i)
            text += QStringLiteral("line %1 of plain words pasted from another program\n").arg(i);
        bool done = false;
        NoteDocument::pasteInto(doc, doc->characterCount() - 1, doc->characterCount() - 1, text, &receiver,
                                [&](QTextDocument *d, int, std::vector<NoteDocument::FoundLink>) {
                                    doc = d;
                                    done = true;
                                });
        text = QString();
        QTRY_VERIFY_WITH_TIMEOUT(done, 120000);
        Background::pool().waitForDone();
        const qint64 held = residentKb();
        ::malloc_trim(0);
        const qint64 freeable = held - residentKb();
        delete doc;
        QVERIFY2(freeable < 4 << 10, qPrintable(QStringLiteral("%1 KiB freed but resident").arg(freeable)));
    }

    // A long paste replaces a selection of a short text as plain text: it reads back as the editors'
    // plain text, in bounded pieces, the caret after it, no link carried on from the text before;
    // one undo brings back the text before exactly, redo the paste.
    void pasteIntoShortTextReadsBackAndUndoes() {
        QTextDocument doc;
        QTextCursor c(&doc);
        c.insertText(QStringLiteral("head "));
        QTextCharFormat link;
        link.setAnchor(true);
        link.setAnchorHref(QStringLiteral("https://a.org"));
        c.insertText(QStringLiteral("https://a.org"), link);
        c.insertText(QStringLiteral("XX\ntail\u2028end"), QTextCharFormat());
        const QString before = doc.toPlainText();
        const QString pasted = QStringLiteral(" ") + bigPaste();
        const int from = 18, to = 20; // "XX", right after the link
        const int caret = NoteDocument::pasteText(doc, from, to, pasted);
        checkPieces(doc);
        QString lines = pasted;
        lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const QString want = before.left(from) + lines + before.mid(to);
        QCOMPARE(NoteDocument::wholeText(doc), want);
        QCOMPARE(NoteDocument::wholeText(doc, 0, caret), before.left(from) + lines);
        QTextCursor at(&doc);
        at.setPosition(from + 1);
        QVERIFY(!at.charFormat().isAnchor());
        QVERIFY(doc.blockCount() < 200); // short lines gathered
        doc.undo();
        QCOMPARE(NoteDocument::wholeText(doc), before);
        QVERIFY(doc.isModified()); // the text before may be unsaved itself
        doc.redo();
        QCOMPARE(NoteDocument::wholeText(doc), want);
    }

    // A long paste into a long text's own document, inside a piece: it reads back as the text with the
    // paste (line separators kept where the text keeps them), each paragraph it made is a new line or
    // a piece of one, and undo takes back the paste alone.
    void pasteIntoLongTextKeepsItsRule() {
        const QString pasted = bigPaste() + QStringLiteral("\u2028sep");
        for (const QString &body :
             {wordsLine(kPiece + 7000), wordsLine(kPiece + 7000) + QStringLiteral("\u2028kept")}) {
            std::unique_ptr<QTextDocument> doc(NoteDocument::build(textNote(QStringLiteral("P"), body), style()));
            QTextCursor(doc.get()).insertText(QStringLiteral("T"));
            const QString before = NoteDocument::wholeText(*doc);
            QTextBlock piece = doc->firstBlock().next();
            QVERIFY(NoteDocument::continues(piece));
            const int at = piece.position() + 3;
            const int stored = storedOffset(*doc, at);
            const int caret = NoteDocument::pasteText(*doc, at, at, pasted);
            checkPieces(*doc);
            QString lines = pasted;
            lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            if (!body.contains(QChar::LineSeparator)) lines.replace(QChar::LineSeparator, u'\n');
            QCOMPARE(NoteDocument::wholeText(*doc), before.left(stored) + lines + before.mid(stored));
            QCOMPARE(NoteDocument::wholeText(*doc, 0, caret), before.left(stored) + lines);
            doc->undo();
            QCOMPARE(NoteDocument::wholeText(*doc), before);
            doc->undo();
            QCOMPARE(NoteDocument::wholeText(*doc), body);
        }
    }

    // The inline editor of a short note goes long on a long paste and saves exactly the text; Cancel
    // while the paste is being made leaves the note as stored.
    void shortNoteInlineEditorTakesALongPaste() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        NoteStore::shared().add(textNote(QStringLiteral("S"), QStringLiteral("short https://a.org text")));
        NoteStore::shared().add(textNote(QStringLiteral("K"), QStringLiteral("kept")));
        NotesView page;
        showPage(page);
        const QString pasted = bigPaste();
        QGuiApplication::clipboard()->setText(pasted);
        page.showInlineEditor(QStringLiteral("K"));
        settle();
        page.inlineTextView()->paste();
        page.cancelInlineEditor();
        Background::pool().waitForDone();
        settle();
        QCOMPARE(NoteStore::shared().find(QStringLiteral("K"))->body, QStringLiteral("kept"));
        QVERIFY(!page.inlineEditorOpen());

        page.showInlineEditor(QStringLiteral("S"));
        settle();
        NoteTextView *tv = page.inlineTextView();
        QTextCursor c(tv->document());
        c.setPosition(6);
        tv->setTextCursor(c);
        tv->paste();
        QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
        QTest::keyClicks(page.longTextView(), QStringLiteral("X"));
        page.longTextView()->paste(); // into the long text, on a worker too
        QVERIFY(!page.longTextReady());
        QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
        page.saveInlineEditor();
        QTRY_VERIFY(!page.longSavePending());
        QString lines = pasted;
        lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const Note *saved = NoteStore::shared().find(QStringLiteral("S"));
        QCOMPARE(saved->body, QStringLiteral("short ") + lines + QStringLiteral("X") + lines + QStringLiteral("https://a.org text"));
        NoteStore::resetForTests();
    }

    // Ctrl+End and Ctrl+Home move a reader to the end and back to the top.
    // A copy from a note carries the note's own looks only: the colour the view gives uncoloured
    // text (the theme's) and the links it found would otherwise be stored as the note's own where
    // the copy is pasted.
    void aCopyCarriesOnlyTheNotesOwnLooks() {
        const Note n = richNote(QStringLiteral("C"), 4 * 1024);
        NoteTextView v;
        v.resize(600, 400);
        const NoteDocument::Style st{Fonts::scaledFont(RichTextView::kDefaultSize), Qt::white, Qt::blue};
        v.setDocument(NoteDocument::build(n, st));
        v.document()->setParent(&v);
        v.setReadOnly(true);
        v.selectAll();
        v.copy();
        const QMimeData *m = QGuiApplication::clipboard()->mimeData();
        QVERIFY(m && m->hasHtml());
        QCOMPARE(m->text(), n.body);
        // (Read from the HTML itself: reading it back would give every link the default link look.)
        const QString html = m->html();
        QVERIFY(html.contains(QStringLiteral("#c81e1e")));
        QVERIFY(!html.contains(QStringLiteral("#ffffff")));
        QVERIFY(!html.contains(QStringLiteral("font-family"))); // nor a font the text does not have
        QCOMPARE(html.count(QStringLiteral("<a href=")), n.bodyRTF->count("HYPERLINK"));
    }

    // A rich paste keeps its formats in a note's text at 4 KB and at 12 KB, highlights left out:
    // a bold word copied from another note stays bold, and what was copied from a web page keeps
    // its italic and its link.
    void aRichPasteKeepsItsFormats_data() { shortAndLongRows("chars"); }
    void aRichPasteKeepsItsFormats() {
        QFETCH(int, chars);
        const Note from = richNote(QStringLiteral("F"), chars);
        NoteTextView source;
        source.setDocument(NoteDocument::build(from, style()));
        source.document()->setParent(&source);
        QTextCursor bold(source.document());
        bold.setPosition(int(from.body.indexOf(QStringLiteral("bold words"))));
        bold.setPosition(bold.position() + 4, QTextCursor::KeepAnchor);
        source.setTextCursor(bold);
        source.copy();
        NoteTextView v;
        v.resize(400, 300);
        v.setDocument(NoteDocument::build(textNote(QStringLiteral("T"), wordsLine(chars)), style()));
        v.document()->setParent(&v);
        v.show();
        placeCursor(v, 10);
        v.paste();
        QCOMPARE(v.wholeText(), wordsLine(chars).insert(10, QStringLiteral("bold")));
        QTextCursor at(v.document());
        at.setPosition(12);
        QCOMPARE(at.charFormat().fontWeight(), int(QFont::Bold));
        at.setPosition(16);
        QCOMPARE(at.charFormat().fontWeight(), int(QFont::Normal));
        v.undo();
        QCOMPARE(v.wholeText(), wordsLine(chars));

        auto *web = new QMimeData;
        web->setText(QStringLiteral("one two\nthree"));
        web->setHtml(QStringLiteral("<p>one <i style=\"background:yellow\">two</i></p><p><a "
                                    "href=\"https://x.example/\">three</a></p>"));
        QGuiApplication::clipboard()->setMimeData(web);
        placeCursor(v, 0);
        v.paste();
        QCOMPARE(v.wholeText(), QStringLiteral("one two\nthree") + wordsLine(chars));
        at.setPosition(5);
        QVERIFY(at.charFormat().fontItalic());
        QVERIFY(!at.charFormat().hasProperty(QTextFormat::BackgroundBrush));
        at.setPosition(10);
        QCOMPARE(at.charFormat().anchorHref(), QStringLiteral("https://x.example/"));
    }

    // Ctrl+Shift+V pastes the clipboard's text in the look of the text before it, at 4 KB and at
    // 12 KB: a bold word copied from a page goes in italic after italic text, its lines as new
    // lines, one undo takes it back; after a link, found or put in on purpose, it is no link; Ctrl+V
    // still keeps the bold; a reader pastes nothing.
    void plainPasteTakesTheLookBefore_data() { shortAndLongRows("chars"); }
    void plainPasteTakesTheLookBefore() {
        QFETCH(int, chars);
        const Note n = richNote(QStringLiteral("P"), chars);
        NoteTextView v;
        v.resize(400, 300);
        v.setDocument(NoteDocument::build(n, style()));
        v.document()->setParent(&v);
        v.show();
        const auto copyRich = [] {
            auto *m = new QMimeData;
            m->setText(QStringLiteral("Bold\r\nnext"));
            m->setHtml(QStringLiteral("<p><b>Bold</b></p><p><b>next</b></p>"));
            QGuiApplication::clipboard()->setMimeData(m);
        };
        const auto plainPaste = [&v](int at) {
            placeCursor(v, at);
            QTest::keyClick(&v, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        };
        copyRich();
        const int italicEnd = int(n.body.indexOf(QStringLiteral("some italic"))) + 11;
        plainPaste(italicEnd);
        QCOMPARE(v.wholeText(), QString(n.body).insert(italicEnd, QStringLiteral("Bold\nnext")));
        QTextCursor at(v.document());
        for (const int pos : {italicEnd + 1, italicEnd + 7}) {
            at.setPosition(pos);
            QVERIFY(at.charFormat().fontItalic());
            QCOMPARE(at.charFormat().fontWeight(), int(QFont::Normal));
        }
        QVERIFY(!NoteDocument::continues(v.document()->findBlock(italicEnd + 6)));
        v.undo();
        QCOMPARE(v.wholeText(), n.body);

        // After an address made a link when shown, and after a link of the note's own.
        const int found = int(n.body.indexOf(QStringLiteral("https://example.org/p0"))) + 22;
        const int own = int(n.body.indexOf(QStringLiteral("our home page"))) + 13;
        for (const int end : {found, own}) {
            at.setPosition(end);
            QVERIFY(at.charFormat().isAnchor());
            plainPaste(end);
            at.setPosition(end + 2);
            QVERIFY(!at.charFormat().isAnchor());
            QVERIFY(!at.charFormat().fontUnderline());
            QVERIFY(at.charFormat().foreground().color() != QColor(Qt::blue));
            QCOMPARE(at.charFormat().fontWeight(), int(QFont::Normal));
            v.undo();
        }
        QCOMPARE(v.wholeText(), n.body);

        copyRich();
        placeCursor(v, italicEnd);
        QTest::keyClick(&v, Qt::Key_V, Qt::ControlModifier);
        at.setPosition(italicEnd + 1);
        QCOMPARE(at.charFormat().fontWeight(), int(QFont::Bold));
        v.undo();

        v.setReadOnly(true);
        plainPaste(italicEnd);
        QCOMPARE(v.wholeText(), n.body);
    }
};

QTEST_MAIN(TestLongNotePaste)
#include "tst_long_note_paste.moc"
