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
#include <memory>

using namespace LongNoteTest;

class TestLongNoteSaves : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // On the page: the long note is shown, edited and saved through its worker; the stored text is
    // the note's with exactly the edit; an unchanged save keeps the stored bytes; a cancelled edit
    // shows the stored text again.
    void pageShowsEditsAndSavesLongNote() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        RecordingLinks links;
        const QString body = QStringLiteral("intro https://example.org/a\n") + wordsLine(NoteDocument::kSaveHereChars + 4'000) + QStringLiteral("\n\nend");
        Note n = textNote(QStringLiteral("L"), body);
        NoteStore::shared().add(n);
        NotesView page;
        showPage(page);
        page.selectNote(QStringLiteral("L"));
        QTRY_VERIFY(page.longTextReady());
        NoteTextView *v = page.longTextView();
        QVERIFY(v->isReadOnly());
        QVERIFY(v->isVisible());
        QCOMPARE(v->wholeText(), body);
        QCOMPARE(page.contentView(), v);
        // a click on the address opens it
        QTextCursor c(v->document());
        c.setPosition(8);
        const QPoint onLink = v->cursorRect(c).center();
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, onLink);
        QCOMPARE(links.opened.value(0), QUrl(QStringLiteral("https://example.org/a")));

        // A save with no change keeps the text; a plain note gets its rich text, as a short one does,
        // without the address the view found made a link.
        page.showInlineEditor(QStringLiteral("L"));
        settle();
        QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
        page.inlineTitleField()->setText(QStringLiteral("Renamed"));
        page.saveInlineEditor();
        QTRY_VERIFY(!page.longSavePending());
        const Note *saved = NoteStore::shared().find(QStringLiteral("L"));
        QCOMPARE(saved->title, QStringLiteral("Renamed"));
        QCOMPARE(saved->body, body);
        QVERIFY(saved->bodyRTF.has_value());
        QVERIFY(!saved->bodyRTF->contains("HYPERLINK"));
        QTextDocument first;
        QVERIFY(RtfCodec::read(*saved->bodyRTF, &first));
        QCOMPARE(first.toPlainText(), body);
        // Once it has its rich text, a save with no change stores the title alone.
        const std::optional<QByteArray> rtfBefore = saved->bodyRTF;
        QTRY_VERIFY(page.longTextReady());
        page.showInlineEditor(QStringLiteral("L"));
        settle();
        QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
        page.inlineTitleField()->setText(QStringLiteral("Renamed again"));
        page.saveInlineEditor();
        QVERIFY(!page.longSavePending());
        saved = NoteStore::shared().find(QStringLiteral("L"));
        QCOMPARE(saved->title, QStringLiteral("Renamed again"));
        QCOMPARE(saved->bodyRTF, rtfBefore);

        // A cancelled edit leaves the stored text shown.
        page.showInlineEditor(QStringLiteral("L"));
        settle();
        QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
        page.longTextView()->textCursor().insertText(QStringLiteral("DROPPED"));
        page.cancelInlineEditor();
        settle();
        QTRY_VERIFY(page.longTextReady());
        QCOMPARE(page.longTextView()->wholeText(), body);

        // An edit far into the long line, then a resize and a theme change while editing.
        page.showInlineEditor(QStringLiteral("L"));
        settle();
        QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
        const int storedAt = 40'000;
        QTextCursor e(page.longTextView()->document());
        e.setPosition(docPosition(*page.longTextView()->document(), storedAt));
        page.longTextView()->setTextCursor(e);
        QTest::keyClicks(page.longTextView(), QStringLiteral("EDIT"));
        page.resize(900, 650);
        settle();
        // a theme change builds the page anew; the editor comes back with what was typed
        page.clearContent();
        VF::setTheme(AppTheme::dark);
        page.setup();
        settle();
        QVERIFY(page.inlineEditorOpen());
        QVERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
        page.saveInlineEditor();
        QVERIFY(page.longSavePending());
        QTRY_VERIFY(!page.longSavePending());
        QString want = body;
        want.insert(storedAt, QStringLiteral("EDIT"));
        const Note *after = NoteStore::shared().find(QStringLiteral("L"));
        QCOMPARE(after->body, want);
        QVERIFY(after->bodyRTF.has_value());
        QVERIFY(!after->bodyRTF->contains("HYPERLINK")); // found again when shown, never stored
        QTRY_VERIFY(page.longTextReady());
        QCOMPARE(page.longTextView()->wholeText(), want);

        // Bold on a word: the rich text is stored with it and reads back as the same text.
        page.showInlineEditor(QStringLiteral("L"));
        settle();
        QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
        QTextCursor w(page.longTextView()->document());
        w.setPosition(docPosition(*page.longTextView()->document(), storedAt));
        w.setPosition(docPosition(*page.longTextView()->document(), storedAt + 4), QTextCursor::KeepAnchor);
        page.longTextView()->setTextCursor(w);
        QTest::keyClick(page.longTextView(), Qt::Key_B, Qt::ControlModifier);
        page.saveInlineEditor();
        QTRY_VERIFY(!page.longSavePending());
        after = NoteStore::shared().find(QStringLiteral("L"));
        QCOMPARE(after->body, want);
        QVERIFY(after->bodyRTF.has_value());
        QTextDocument back;
        QVERIFY(RtfCodec::read(*after->bodyRTF, &back));
        QCOMPARE(back.toPlainText(), want);
        QTextCursor b(&back);
        b.setPosition(storedAt + 2);
        QCOMPARE(b.charFormat().fontWeight(), int(QFont::Bold));
        QTRY_VERIFY(page.longTextReady());
        QCOMPARE(page.longTextView()->wholeText(), want);
        NoteStore::resetForTests();
    }

    // Quitting right after Save: the event loop has stopped, so the text read on the worker can only
    // reach the store through the quit's settling, which must hand it over before the database closes.
    void aSaveStillReadingWhenQuittingIsStored() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        const QString body = wordsLine(NoteDocument::kSaveHereChars + 4'000);
        NoteStore::shared().add(textNote(QStringLiteral("Q"), body));
        NotesView page;
        showPage(page);
        page.showInlineEditor(QStringLiteral("Q"));
        settle();
        QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
        QTextCursor e(page.longTextView()->document());
        e.setPosition(3);
        page.longTextView()->setTextCursor(e);
        QTest::keyClicks(page.longTextView(), QStringLiteral("LAST"));
        page.saveInlineEditor();
        QVERIFY(page.longSavePending());
        QVERIFY(NoteDocument::settleSaves(60'000));
        QString want = body;
        want.insert(3, QStringLiteral("LAST"));
        QCOMPARE(NoteStore::shared().find(QStringLiteral("Q"))->body, want);
        QVERIFY(!page.longSavePending());
        QVERIFY(NoteDocument::settleSaves(0)); // nothing left, nothing delivered twice
        settle();
        QCOMPARE(NoteStore::shared().find(QStringLiteral("Q"))->body, want);
        NoteStore::resetForTests();
    }

    // A document made on a worker whose hand-back never runs (the application ends before its queued
    // calls: here they are dropped) is freed all the same; LeakSanitizer reports it otherwise.
    void aDocumentHandedBackToNoOneIsFreed() {
        QObject receiver;
        int arrived = 0;
        NoteDocument::buildLater(textNote(QStringLiteral("D"), wordsLine(20'000)), style(), &receiver,
                             [&](QTextDocument *doc) { ++arrived, delete doc; });
        auto *doc = new QTextDocument;
        QTextCursor(doc).insertText(wordsLine(9000));
        int freed = 0;
        QObject::connect(doc, &QObject::destroyed, [&freed] { ++freed; });
        NoteDocument::pasteInto(doc, 5, 5, bigPaste(), &receiver, [&](QTextDocument *d, int, std::vector<NoteDocument::FoundLink>) { ++arrived, delete d; });
        Background::pool().waitForDone();
        QCoreApplication::removePostedEvents(&receiver, QEvent::MetaCall);
        Background::pool().waitForDone(); // where what came back to no one is freed
        settle();
        QCOMPARE(arrived, 0);
        QCOMPARE(freed, 1);
    }

    // An edit of one word stores the note's own links and underlines, no more: the addresses the
    // view shows as links are never written as links, at either size of note.
    void anEditStoresNoDetectedLinks_data() { shortAndLongRows("chars"); }
    void anEditStoresNoDetectedLinks() {
        QFETCH(int, chars);
        TempPrefs prefs;
        NoteStore::resetForTests();
        const Note n = richNote(QStringLiteral("R"), chars);
        NoteStore::shared().add(n);
        const QStringList before = linksAndUnderlines(*n.bodyRTF);
        const QMap<QString, int> coloursBefore = colours(*n.bodyRTF);
        QCOMPARE(before.filter(QStringLiteral("mivo.example")).size(),
                 before.size()); // the stored links alone
        NotesView page;
        showPage(page);
        page.selectNote(n.id);
        page.showInlineEditor(n.id);
        settle();
        QTRY_VERIFY(page.longTextReady() && !page.inlineTextView()->isReadOnly());
        NoteTextView *editor = page.inlineTextView();
        QTextCursor at(editor->document());
        at.setPosition(int(n.body.indexOf(QStringLiteral("has "))));
        editor->setTextCursor(at);
        QTest::keyClicks(editor, QStringLiteral("still "));
        page.saveInlineEditor();
        QTRY_VERIFY(!page.longSavePending());
        const Note *saved = NoteStore::shared().find(n.id);
        QVERIFY(saved->body.contains(QStringLiteral("Paragraph 0 still has")));
        QVERIFY(saved->bodyRTF.has_value());
        QCOMPARE(linksAndUnderlines(*saved->bodyRTF), before);
        // The theme's text colour is the view's: the note keeps its own red and gains no other colour.
        QCOMPARE(colours(*saved->bodyRTF), coloursBefore);
        QVERIFY(!NoteStore::txtExport(*saved).contains(QStringLiteral("__https://example.org")));
        NoteStore::resetForTests();
    }

    // The short paragraphs of a long rich text share the document's paragraphs (a view goes over
    // each one whenever it is set or resized, and keeps a layout for each), yet what is saved holds
    // them as the paragraphs they were: one of another look stays apart, the text's own line break
    // stays a line break, and so does one typed at the start of a gathered line.
    void shortRichParagraphsAreGatheredAndSavedAsTheyWere() {
        QTextDocument src;
        QTextCursor c(&src);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        QTextBlockFormat indented;
        indented.setLeftMargin(24);
        int paragraphs = 0;
        for (; src.characterCount() < 3 * NoteDocument::kLongChars; ++paragraphs) {
            if (paragraphs) c.insertBlock(paragraphs == 40 ? indented : QTextBlockFormat(), QTextCharFormat());
            c.insertText(QStringLiteral("Line %1 with ").arg(paragraphs), QTextCharFormat());
            c.insertText(QStringLiteral("bold"), bold);
            c.insertText(paragraphs == 7 ? QStringLiteral(" words\u2028kept apart") : QStringLiteral(" words"),
                         QTextCharFormat());
        }
        Note n = textNote(QStringLiteral("G"), src.toPlainText());
        n.bodyRTF = RtfCodec::write(src);
        NoteTextView v;
        v.resize(600, 400);
        v.setDocument(NoteDocument::build(n, style()));
        QTextDocument *doc = v.document();
        doc->setParent(&v);
        QVERIFY(doc->blockCount() < paragraphs / 10);
        QCOMPARE(NoteDocument::wholeText(*doc), n.body);
        const QTextBlock apart = doc->findBlock(NoteDocument::wholeText(*doc).indexOf(QStringLiteral("Line 40 ")));
        QVERIFY(apart.text().startsWith(QStringLiteral("Line 40 ")));
        QCOMPARE(apart.blockFormat().leftMargin(), 24.0);
        QVERIFY(!apart.text().contains(QStringLiteral("Line 41 ")));

        const int gathered = int(NoteDocument::wholeText(*doc).indexOf(QStringLiteral("Line 12 ")));
        QVERIFY(doc->findBlock(gathered).position() < gathered); // a line within a paragraph
        placeCursor(v, gathered);
        QTest::keyClick(&v, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(&v, QStringLiteral("Typed "));
        // The same typed into the text as stored.
        QTextDocument expected;
        QVERIFY(RtfCodec::read(*n.bodyRTF, &expected));
        QTextCursor at(expected.findBlockByNumber(12));
        at.insertText(QString(QChar::LineSeparator) + QStringLiteral("Typed "));
        v.setDocument(nullptr);
        const NoteDocument::Saved saved = NoteDocument::readText(*doc);
        QCOMPARE(saved.body, expected.toPlainText());
        QCOMPARE(saved.rtf, RtfCodec::write(expected, RtfCodec::kMaxBytes));
    }

    // A long rich text's short paragraphs are gathered as it is read, not once all of them are in
    // (the paragraphs Qt drops would keep their memory): the document is the one gathering the whole
    // read text gives, paragraph for paragraph and run for run. Random texts: paragraphs empty to
    // longer than a gathered one, runs of other looks, indents that change, lines of emoji, line
    // breaks of the text's own, links, and a text ending with an empty paragraph or not.
    void paragraphsGatheredAsTheyAreReadAreThoseGatheredAfter_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u, 4u, 5u, 6u})
            QTest::addRow("seed %u", seed) << seed;
    }
    void paragraphsGatheredAsTheyAreReadAreThoseGatheredAfter() {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        QTextDocument src;
        QTextCursor c(&src);
        QTextCharFormat bold, red, link;
        bold.setFontWeight(QFont::Bold);
        red.setForeground(QColor(200, 30, 30));
        link.setAnchor(true);
        link.setAnchorHref(QStringLiteral("https://example.org/x"));
        link.setFontUnderline(true);
        const QTextCharFormat looks[] = {QTextCharFormat(), bold, red, link};
        QTextBlockFormat indent;
        for (int p = 0; src.characterCount() < 4 * NoteDocument::kLongChars; ++p) {
            if (p) {
                if (rng.bounded(30) == 0) indent.setLeftMargin(indent.leftMargin() > 0 ? 0 : 24);
                c.insertBlock(indent, looks[rng.bounded(3)]);
            }
            const int kind = int(rng.bounded(20));
            // A paragraph of emoji holds fewer than a piece: one holding more is cut into pieces.
            const int chars = kind == 0   ? 0
                              : kind == 1 ? int(rng.bounded(1500, 2600))
                              : kind == 2 ? int(rng.bounded(1, NoteDocument::kPieceEmoji * 2))
                                          : int(rng.bounded(1, 90));
            for (int done = 0; done < chars;) {
                QString run = kind == 2 ? QStringLiteral("🙂🎉 ") : wordsLine(int(rng.bounded(1, 60)));
                if (rng.bounded(20) == 0) run += QChar::LineSeparator;
                c.insertText(run, looks[rng.bounded(4)]);
                done += int(run.size());
            }
        }
        if (seed % 2) c.insertBlock(); // ends with an empty paragraph
        Note n = textNote(QStringLiteral("R"), src.toPlainText());
        n.bodyRTF = RtfCodec::write(src);

        std::unique_ptr<QTextDocument> built(NoteDocument::build(n, style()));
        QTextDocument after;
        after.setUndoRedoEnabled(false);
        QVERIFY(RtfCodec::read(*n.bodyRTF, &after));
        const int read = after.blockCount();
        QVERIFY(NoteDocument::gatherParagraphs(after));
        QVERIFY2(after.blockCount() < read / 2, qPrintable(QStringLiteral("%1 of %2").arg(after.blockCount()).arg(read)));
        // What a document holds, without the links and colour a view adds.
        const auto held = [](const QTextDocument &doc) {
            QStringList out;
            for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next()) {
                QTextBlockFormat bf = b.blockFormat();
                out << QStringLiteral("¶ %1 %2").arg(b.text()).arg(bf.leftMargin());
                for (auto it = b.begin(); !it.atEnd(); ++it) {
                    QTextCharFormat f = NoteDocument::unlinked(it.fragment().charFormat());
                    if (f.boolProperty(NoteDocument::kShownColour)) {
                        f.clearForeground();
                        f.clearProperty(NoteDocument::kShownColour);
                    }
                    const QMap<int, QVariant> props = f.properties();
                    QStringList keys;
                    for (auto p = props.begin(); p != props.end(); ++p)
                        keys << QStringLiteral("%1=%2").arg(p.key()).arg(p.value().toString());
                    // Runs of one look, however Qt split them.
                    const QString look = keys.join(u',');
                    if (out.size() > 1 && out.back().startsWith(look + u'|'))
                        out.back() += it.fragment().text();
                    else
                        out << look + u'|' + it.fragment().text();
                }
            }
            return out;
        };
        QCOMPARE(held(*built), held(after));
        QCOMPARE(NoteDocument::readText(*built).rtf, RtfCodec::write(src, RtfCodec::kMaxBytes));
    }

    // A save writes the note's bytes straight from its document, a stretch of the text and of the
    // rich text's Base64 at a time: they are exactly those of the note with the text and rich text
    // read back whole, for rich paragraphs, lines cut into pieces (emoji and formats across the
    // cuts), a plain line and an empty text; the head's preview is the text's start.
    void aSaveWritesTheBytesOfTheTextReadBackWhole_data() {
        QTest::addColumn<int>("which");
        QTest::addRow("rich paragraphs") << 0;
        QTest::addRow("long lines in pieces") << 1;
        QTest::addRow("plain line") << 2;
        QTest::addRow("empty") << 3;
    }
    void aSaveWritesTheBytesOfTheTextReadBackWhole() {
        QFETCH(int, which);
        const Note note = savedNote(which);
        std::unique_ptr<QTextDocument> doc(NoteDocument::build(note, style()));
        Note fields = note;
        fields.title = QStringLiteral("Renamed \"title\"");
        fields.body = QStringLiteral("not read");
        fields.bodyRTF = QByteArray("not read either");
        QString preview;
        const QByteArray got = NoteDocument::encodeSaved(*doc, fields, &preview);
        const NoteDocument::Saved whole = NoteDocument::readText(*doc);
        Note expected = fields;
        expected.body = whole.body;
        expected.bodyRTF = whole.rtf.isEmpty() ? std::nullopt : std::optional<QByteArray>(whole.rtf);
        QByteArray want;
        NoteCodec::encodeNote(want, expected);
        QCOMPARE(got.size(), want.size());
        QVERIFY(got == want);
        QCOMPARE(preview, NoteHead::previewOf(whole.body));
        QCOMPARE(whole.body, note.body);
    }

    // The editor shows a note's text in lines as wide as the detail does: entering it wraps no line
    // anew (and a long note's view does not go over every paragraph again).
    void theEditorKeepsTheDetailsLines() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        for (const int chars : {4 * 1024, 30 * 1024}) {
            const Note n = richNote(QStringLiteral("W%1").arg(chars), chars);
            NoteStore::shared().add(n);
            NotesView page;
            showPage(page);
            page.selectNote(n.id);
            QTRY_VERIFY(page.longTextReady() && page.findView());
            const int shown = page.findView()->viewport()->width();
            page.showInlineEditor(n.id);
            QTRY_VERIFY(page.longTextReady() && !page.inlineTextView()->isReadOnly());
            QCOMPARE(page.inlineTextView()->viewport()->width(), shown);
        }
        NoteStore::resetForTests();
    }

    // The detail and the inline editor show a note's body in one view at every size: a short note's
    // is laid out whole in its card (the page scrolls, not the view), a long one's scrolls in place;
    // Edit makes that same view editable.
    void oneViewAtEverySize_data() { shortAndLongRows("chars"); }
    void oneViewAtEverySize() {
        QFETCH(int, chars);
        TempPrefs prefs;
        NoteStore::resetForTests();
        const Note n = richNote(QStringLiteral("V"), chars);
        NoteStore::shared().add(n);
        NotesView page;
        showPage(page);
        page.selectNote(n.id);
        QTRY_VERIFY(page.contentView());
        NoteTextView *v = page.contentView();
        QVERIFY(v->isReadOnly() && v->isVisible());
        QCOMPARE(v->wholeText(), n.body);
        QTRY_COMPARE(v->verticalScrollBar()->maximum() == 0, chars <= NoteDocument::kLongChars);
        page.showInlineEditor(n.id);
        settle();
        QTRY_VERIFY(page.inlineTextView() && page.longTextReady() && !page.inlineTextView()->isReadOnly());
        QCOMPARE(page.inlineTextView(), v);
        QVERIFY(!page.contentView());
        NoteStore::resetForTests();
    }

    // The detail's text lies at its card's inset, 14 from the left and 10 from the top, in lines
    // the card's width less 28, at every size and font scale; a short note's card holds all of it
    // with 10 to spare below, a long one's scrolls it in lines that end 10 above the card's bottom.
    void theTextSitsAtTheCardsInset_data() {
        QTest::addColumn<int>("chars");
        QTest::addColumn<double>("scale");
        QTest::newRow("4 KB") << 4 * 1024 << 1.0;
        QTest::newRow("4 KB at 1.3") << 4 * 1024 << 1.3;
        QTest::newRow("one line at 1.15") << 40 << 1.15;
        QTest::newRow("12 KB at 1.3") << 12 * 1024 << 1.3;
    }
    void theTextSitsAtTheCardsInset() {
        QFETCH(int, chars);
        QFETCH(double, scale);
        TempPrefs prefs;
        VF::setFontScale(scale);
        NoteStore::resetForTests();
        const Note n = chars < 100 ? textNote(QStringLiteral("C"), wordsLine(chars))
                                   : richNote(QStringLiteral("C"), chars);
        NoteStore::shared().add(n);
        NotesView page;
        showPage(page);
        page.selectNote(n.id);
        QTRY_VERIFY(page.contentView());
        NoteTextView *v = page.contentView();
        QWidget *box = v->parentWidget();
        QCOMPARE(box->objectName(), QStringLiteral("contentBox"));
        const bool whole = chars <= NoteDocument::kLongChars;
        QTRY_COMPARE(v->verticalScrollBar()->maximum() == 0, whole);
        QTextCursor c(v->document());
        // Laid out a turn's share at a time: on a loaded machine the first line may come a turn later.
        QTRY_VERIFY(v->document()->firstBlock().layout()->lineCount() > 0);
        const QTextLine first = v->document()->firstBlock().layout()->lineAt(0);
        QVERIFY(first.isValid());
        // (A long one's lines give room to its scroll bar.)
        if (whole) QCOMPARE(qRound(first.width()), box->width() - 28);
        const QPoint topLeft = v->viewport()->mapTo(box, QPoint(qRound(first.x()), v->cursorRect(c).top()));
        QCOMPARE(topLeft, QPoint(14, 10));
        if (!whole) // the lines it scrolls end 10 above the card's bottom
            QCOMPARE(v->viewport()->mapTo(box, QPoint(0, v->viewport()->height())).y(), box->height() - 10);
        if (whole) {
            c.movePosition(QTextCursor::End);
            const QRect last = v->cursorRect(c);
            QVERIFY2(last.bottom() < v->viewport()->height(), qPrintable(QString::number(last.bottom())));
            const int bottom = v->viewport()->mapTo(box, last.bottomLeft()).y();
            QVERIFY2(bottom < box->height() - 10 && bottom >= box->height() - 13,
                     qPrintable(QStringLiteral("%1 in %2").arg(bottom).arg(box->height())));
        }
        VF::setFontScale(1.0);
        NoteStore::resetForTests();
    }
};

QTEST_MAIN(TestLongNoteSaves)
#include "tst_long_note_saves.moc"
