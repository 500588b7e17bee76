#include "common/RichNotes.h"
#include "common/ShownNotesPage.h"
#include "common/TestEnv.h"
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

namespace {
constexpr int kPiece = int(NoteDocument::kPieceChars);

NoteDocument::Style style() {
    return {QFont(), Qt::black, Qt::blue};
}

// Every piece within the bound, every piece past the first of a line marked, no pair cut.
void checkPieces(const QTextDocument &doc) {
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next()) {
        QVERIFY(b.length() - 1 <= NoteDocument::kPieceChars);
        if (NoteDocument::continues(b)) QVERIFY(b.previous().isValid());
        const QString t = b.text();
        if (!t.isEmpty()) QVERIFY(!t.front().isLowSurrogate());
    }
}

// The stored offset of a document position: the cuts before it are no characters.
int storedOffset(const QTextDocument &doc, int pos) {
    int cuts = 0;
    for (QTextBlock b = doc.firstBlock(); b.isValid() && b.position() <= pos; b = b.next()) cuts += NoteDocument::continues(b);
    return pos - cuts;
}

// The document position of a stored offset.
int docPosition(const QTextDocument &doc, int stored) {
    int pos = stored;
    for (QTextBlock b = doc.firstBlock(); b.isValid() && b.position() <= pos; b = b.next()) pos += NoteDocument::continues(b);
    return pos;
}

void settle() {
    for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
}

void placeCursor(NoteTextView &v, int pos) {
    QTextCursor c(v.document());
    c.setPosition(pos);
    v.setTextCursor(c);
}

// Notes a save writes: rich paragraphs; long lines cut into pieces with emoji and formats across the
// cuts, bullets and characters RTF and JSON escape, and a line of emoji; a plain line; no text.
Note savedNote(int which) {
    if (which == 0) return richNote(QStringLiteral("R"), 300000);
    if (which == 2) return textNote(QStringLiteral("P"), wordsLine(5 * kPiece) + QStringLiteral("\"😀\""));
    if (which == 3) return textNote(QStringLiteral("E"), QString());
    QTextDocument src;
    QTextCursor c(&src);
    QTextCharFormat plain, bold, red;
    bold.setFontWeight(QFont::Bold);
    red.setForeground(QColor(200, 30, 30));
    for (int line = 0; line < 3; ++line) {
        for (int i = 0; src.characterCount() < (line + 1) * 3 * kPiece; ++i) {
            c.insertText(wordsLine(37 + i % 11), plain);
            c.insertText(QStringLiteral("😀👍🏽"), i % 2 ? bold : red);
        }
        c.insertBlock();
        c.insertText(QStringLiteral("• a bullet { with \\ braces } ünd “quotes”"), plain);
        c.insertBlock();
    }
    c.insertText(QStringLiteral("🎉").repeated(2000), bold);
    Note n = textNote(QStringLiteral("L"), src.toPlainText());
    n.bodyRTF = RtfCodec::write(src);
    n.link = QStringLiteral("https://example.com/stored");
    return n;
}

// Whether every paragraph from the view's top down to its bottom edge has its lines.
bool screenLaidOut(const NoteTextView &v) {
    qreal y = 0;
    QTextBlock b = v.document()->findBlockByLineNumber(v.verticalScrollBar()->value());
    for (; b.isValid() && y < v.viewport()->height(); b = b.next()) {
        if (b.layout()->lineCount() == 0) return false;
        y += v.document()->documentLayout()->blockBoundingRect(b).height();
    }
    return true;
}
} // namespace

class TestLongNote : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // Long lines are cut into pieces; the text read back is the note's, character for character:
    // lines without a space, pairs at a cut, empty lines, other line and space characters.
    void piecesReadBackAsTheStoredText() {
        const QString emoji = QStringLiteral("😀");
        QString noSpace;
        for (int i = 0; noSpace.size() < 9000; ++i) noSpace += i % 3 ? QStringLiteral("a") : emoji;
        const QString bodies[] = {
            wordsLine(50'000),
            QString(2 * kPiece + 1, u'x'),
            noSpace,
            QString(kPiece - 1, u'y') + emoji + QString(kPiece + 3000, u'y'),
            QStringLiteral("first\n\n") + wordsLine(kPiece + 10'000) +
                QStringLiteral("\nno\u00a0break\u2028inside\tx\n") + QString(5000, u'z') +
                QStringLiteral("\n"),
        };
        // Many short lines share paragraphs, empty lines and the ends included.
        QString shortLines = QStringLiteral("\n\nx");
        for (int i = 0; i < 3000; ++i) shortLines += QStringLiteral("\nline %1").arg(i) + QString(i % 7, u'.');
        shortLines += QStringLiteral("\n\n") + QString(4500, u'w') + QStringLiteral("\nafter\n\n");
        {
            std::unique_ptr<QTextDocument> doc(NoteDocument::build(textNote(QStringLiteral("S"), shortLines), style()));
            checkPieces(*doc);
            QVERIFY(doc->blockCount() < 40);
            QCOMPARE(NoteDocument::wholeText(*doc), shortLines);
        }
        for (const QString &body : bodies) {
            std::unique_ptr<QTextDocument> doc(NoteDocument::build(textNote(QStringLiteral("A"), body), style()));
            checkPieces(*doc);
            QVERIFY(doc->blockCount() > 2);
            QCOMPARE(NoteDocument::wholeText(*doc), body);
            QVERIFY(!doc->isModified());
        }
        // Cuts fall after a space near the end of a piece.
        const QString line = wordsLine(kPiece + 8000);
        for (qsizetype at : NoteDocument::pieceStarts(line)) QCOMPARE(line.at(at - 1), u' ');
        QVERIFY(NoteDocument::pieceStarts(QString(NoteDocument::kPieceChars, u'q')).empty());
        // A part of the text across a cut reads back as that part of the stored text.
        std::unique_ptr<QTextDocument> doc(NoteDocument::build(textNote(QStringLiteral("A"), bodies[4]), style()));
        QTextBlock piece = doc->firstBlock();
        while (!NoteDocument::continues(piece)) piece = piece.next();
        const int from = piece.position() - 10, to = piece.position() + 10;
        QCOMPARE(NoteDocument::wholeText(*doc, from, to), bodies[4].mid(storedOffset(*doc, from), 19));
    }

    // Lines dense with emoji are cut far shorter, and never inside a character as shown: joined
    // sequences, flags (halves pair from the start of a run), skin tones and marks run on without
    // a space, so the cuts cannot fall at one. What is read back is the note's text.
    void emojiLinesAreCutShortAndWhole() {
        const QString family = QStringLiteral("👨‍👩‍👧‍👦"), flags = QStringLiteral("🇺🇦🇩🇪🇵🇱"),
                      thumb = QStringLiteral("👍🏽"), accent = QStringLiteral("e\u0301\u0323"),
                      keycap = QStringLiteral("1\uFE0F\u20E3");
        QString mixed, flagRun = QStringLiteral("x");
        for (int i = 0; mixed.size() < 30'000; ++i)
            mixed += (i % 5 == 0   ? family
                      : i % 5 == 1 ? thumb
                      : i % 5 == 2 ? accent
                      : i % 5 == 3 ? keycap
                                   : flags);
        while (flagRun.size() < 9000)
            flagRun += flags; // "x" first: the halves pair from odd offsets
        QString shortLines;   // short lines that would share a paragraph, were they not all emoji
        for (int i = 0; shortLines.size() < 20'000; ++i)
            shortLines += thumb + family + QStringLiteral("\n");
        QString rest(NoteDocument::kPieceChars - 40, u'a'); // a short piece with emoji at its end
        for (int i = 0; i < 300; ++i)
            rest += thumb;
        for (const QString &body : {mixed, flagRun, shortLines, rest}) {
            for (QStringView line : QStringView(body).split(u'\n')) {
                QTextBoundaryFinder shown(QTextBoundaryFinder::Grapheme, line);
                qsizetype from = 0;
                std::vector<qsizetype> cuts = NoteDocument::pieceStarts(line);
                const int cap = NoteDocument::kPieceEmoji;
                for (const qsizetype cut : cuts) {
                    shown.setPosition(cut);
                    QVERIFY2(shown.isAtBoundary(), qPrintable(QStringLiteral("cut at %1").arg(cut)));
                    QVERIFY(NoteDocument::colourEmoji(line.mid(from, cut - from)) <= cap);
                    QVERIFY(cut - from <= NoteDocument::kPieceChars);
                    from = cut;
                }
                QVERIFY(NoteDocument::colourEmoji(line.mid(from)) <= cap);
            }
            std::unique_ptr<QTextDocument> doc(NoteDocument::build(textNote(QStringLiteral("E"), body), style()));
            checkPieces(*doc);
            for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
                QVERIFY(NoteDocument::colourEmoji(b.text()) <= NoteDocument::kPieceEmoji);
            QCOMPARE(NoteDocument::wholeText(*doc), body);
        }
        // A line shorter than a piece of words is cut when it holds more emoji than a piece.
        QString dense;
        while (dense.size() < NoteDocument::kPieceChars / 2)
            dense += QStringLiteral("🔥 ");
        QVERIFY(!NoteDocument::pieceStarts(dense).empty());
        // A line that is cut anyway (longer than a piece of words) is cut where its pieces lay out
        // within a turn; a shorter one only where it must be, so an ordinary paragraph keeps its emoji.
        const QString words = QStringLiteral("words on one endless line 🙂 with example text 👍🏽 and more ");
        QString endless, chatty;
        while (endless.size() <= NoteDocument::kPieceChars)
            endless += words;
        while (NoteDocument::colourEmoji(chatty) < NoteDocument::kPieceEmoji)
            chatty += words;
        QVERIFY(NoteDocument::pieceStarts(chatty).empty());
        qsizetype from = 0;
        const std::vector<qsizetype> cuts = NoteDocument::pieceStarts(endless);
        QVERIFY(cuts.size() >= size_t(NoteDocument::colourEmoji(endless) / NoteDocument::kPieceEmoji));
        for (const qsizetype cut : cuts) {
            QVERIFY(NoteDocument::colourEmoji(QStringView(endless).mid(from, cut - from)) <= NoteDocument::kPieceEmoji);
            from = cut;
        }
        // Its document holds those pieces, none cut again as a paragraph of its own would be.
        std::unique_ptr<QTextDocument> endlessDoc(NoteDocument::build(textNote(QStringLiteral("L"), endless), style()));
        QCOMPARE(endlessDoc->blockCount(), int(cuts.size()) + 1);
        // A run of flags holds as many of them in a piece as of any emoji.
        QCOMPARE_LE(NoteDocument::pieceStarts(flagRun).size(),
                    size_t((flagRun.size() - 1) / 4 / NoteDocument::kPieceEmoji + 1));
        // The family once, each flag once (its halves one picture), pairing from the start of the run.
        QCOMPARE(NoteDocument::colourEmoji(family + flags + thumb + accent), 5);
        QCOMPARE(NoteDocument::colourEmoji(flags.left(2) + QStringLiteral("x") + flags.mid(2, 6)), 3);
    }

    // A screenful of emoji is laid out over a few turns: in the read-only view nothing but those
    // turns draws it again, yet no paragraph in view is left blank; keys that move or type before
    // the screen is done act on the text as usual.
    void aScreenOfEmojiFillsInWhileKeysWork() {
        QString body;
        for (int i = 0; body.size() < 60'000; ++i)
            body += i % 7 ? QStringLiteral("😀🎉") : QStringLiteral("🧑🏿‍💻 word ");
        NoteTextView v;
        v.setReadOnly(true);
        v.resize(900, 700);
        v.show();
        v.setDocument(NoteDocument::build(textNote(QStringLiteral("V"), body), style()));
        v.document()->setParent(&v);
        const auto filled = [&v] { return screenLaidOut(v); };
        // Each turn lays out what fits its time: a loaded or instrumented build takes many more turns.
        constexpr int kTurnsWaitMs = 60000;
        QTRY_VERIFY_WITH_TIMEOUT(filled(), kTurnsWaitMs);
        // A new width lays the screen out again; keys come before it is done.
        v.setReadOnly(false);
        v.resize(700, 700);
        QTest::keyClick(&v, Qt::Key_PageDown);
        QTest::keyClick(&v, Qt::Key_Down);
        QTest::keyClick(&v, Qt::Key_End);
        const int at = v.textCursor().position();
        QTest::keyClicks(&v, QStringLiteral("ok"));
        QString want = body;
        want.insert(NoteDocument::wholeText(*v.document(), 0, at).size(), QStringLiteral("ok"));
        QCOMPARE(v.wholeText(), want);
        // The cursor put far off, into paragraphs no one laid out yet, is shown there.
        v.resize(800, 700);
        QTextCursor far(v.document());
        far.setPosition(v.document()->characterCount() / 2);
        v.setTextCursor(far);
        QVERIFY(v.viewport()->rect().intersects(v.cursorRect()));
        QTest::keyClick(&v, Qt::Key_Home, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(filled(), kTurnsWaitMs);
        QCOMPARE(v.wholeText(), want);
    }

    // Rich text keeps its formats through the cuts, and the rich text written after the pieces are
    // joined again reads back as the same text.
    void richTextSurvivesTheCuts() {
        QTextDocument src;
        QTextCursor c(&src);
        const QString plain = wordsLine(kPiece + 4000);
        c.insertText(plain);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        c.insertText(QStringLiteral("BOLD"), bold);
        c.insertText(QStringLiteral(" see https://example.org/x ") + wordsLine(4000), QTextCharFormat());
        Note n = textNote(QStringLiteral("R"), src.toPlainText());
        n.bodyRTF = RtfCodec::write(src);
        std::unique_ptr<QTextDocument> doc(NoteDocument::build(n, style()));
        checkPieces(*doc);
        QCOMPARE(NoteDocument::wholeText(*doc), n.body);
        const int boldAt = NoteDocument::wholeText(*doc).indexOf(QStringLiteral("BOLD"));
        int docPos = 0; // the same character in the document, past the cuts before it
        for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next()) {
            const int i = b.text().indexOf(QStringLiteral("BOLD"));
            if (i >= 0) docPos = b.position() + i;
        }
        QVERIFY(boldAt > 0 && docPos >= boldAt);
        QTextCursor at(doc.get());
        at.setPosition(docPos + 1);
        QCOMPARE(at.charFormat().fontWeight(), int(QFont::Bold));
        // the address is a link
        const QString text = NoteDocument::wholeText(*doc);
        QVERIFY(text.contains(QStringLiteral("https://example.org/x")));
        bool linked = false;
        for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().anchorHref() == QLatin1String("https://example.org/x")) linked = true;
        QVERIFY(linked);
        NoteDocument::joinPieces(*doc);
        QCOMPARE(doc->blockCount(), 1);
        QTextDocument back;
        QVERIFY(RtfCodec::read(RtfCodec::write(*doc), &back));
        QCOMPARE(back.toPlainText(), n.body);
    }

    // Keys beside a cut act on the characters around it, a new paragraph is a new line, and undo
    // brings back exactly the text before.
    void editsAroundCutsKeepTheText() {
        const QString body = wordsLine(kPiece + 5000);
        NoteTextView v;
        v.resize(400, 300);
        v.setDocument(NoteDocument::build(textNote(QStringLiteral("A"), body), style()));
        v.document()->setParent(&v);
        v.show();
        const QTextBlock second = v.document()->firstBlock().next();
        QVERIFY(NoteDocument::continues(second));
        const int cut = second.position(); // where the second piece starts in the document
        const int stored = cut - 1;        // and in the stored text
        // Backspace at the start of a piece takes the character before the cut.
        placeCursor(v, cut);
        QTest::keyClick(&v, Qt::Key_Backspace);
        QString want = body;
        want.remove(stored - 1, 1);
        QCOMPARE(v.wholeText(), want);
        v.undo();
        QCOMPARE(v.wholeText(), body);
        // Delete at the end of a piece takes the first character of the next one.
        placeCursor(v, cut - 1);
        QTest::keyClick(&v, Qt::Key_Delete);
        want = body;
        want.remove(stored, 1);
        QCOMPARE(v.wholeText(), want);
        v.undo();
        QCOMPARE(v.wholeText(), body);
        // Return inside a piece, and at its very start, is a new line there.
        placeCursor(v, cut + 5);
        QTest::keyClick(&v, Qt::Key_Return);
        want = body;
        want.insert(stored + 5, u'\n');
        QCOMPARE(v.wholeText(), want);
        placeCursor(v, v.document()->findBlock(cut + 7).next().position());
        v.undo();
        QCOMPARE(v.wholeText(), body);
        placeCursor(v, cut);
        QTest::keyClick(&v, Qt::Key_Return);
        want = body;
        want.insert(stored, u'\n');
        QCOMPARE(v.wholeText(), want);
        v.undo();
        QCOMPARE(v.wholeText(), body);
        // A selection across the cut typed over, undone and redone.
        QTextCursor sel(v.document());
        sel.setPosition(cut - 3);
        sel.setPosition(cut + 3, QTextCursor::KeepAnchor);
        v.setTextCursor(sel);
        QTest::keyClicks(&v, QStringLiteral("Q"));
        want = body;
        want.replace(stored - 2, 5, QStringLiteral("Q")); // two characters before the cut, three after
        QCOMPARE(v.wholeText(), want);
        v.undo();
        QCOMPARE(v.wholeText(), body);
        v.redo();
        QCOMPARE(v.wholeText(), want);
        v.undo();
        QCOMPARE(v.wholeText(), body);
        // A copy across the cut holds the stored text; pasted lines are new lines.
        sel.setPosition(cut - 4);
        sel.setPosition(cut + 4, QTextCursor::KeepAnchor);
        v.setTextCursor(sel);
        v.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), body.mid(stored - 3, 7));
        QGuiApplication::clipboard()->setText(QStringLiteral("one\ntwo"));
        placeCursor(v, cut + 2);
        v.paste();
        want = body;
        want.insert(stored + 2, QStringLiteral("one\ntwo"));
        QCOMPARE(v.wholeText(), want);
        // A long paste goes in as pieces, its text as it was.
        const QString pasted =
            QStringLiteral("head\n") + QString(kPiece + 3000, u'p') + QStringLiteral("\ntail");
        QGuiApplication::clipboard()->setText(pasted);
        placeCursor(v, 0);
        v.paste();
        for (QTextBlock b = v.document()->firstBlock(); b.isValid(); b = b.next())
            if (b.text().startsWith(u'p')) QVERIFY(b.length() - 1 <= NoteDocument::kPieceChars);
        QCOMPARE(v.wholeText(), pasted + want);
        v.undo();
        QCOMPARE(v.wholeText(), want);
        // Lines ended the Windows way are single lines.
        QString crlf = pasted;
        crlf.replace(u'\n', QStringLiteral("\r\n"));
        QGuiApplication::clipboard()->setText(crlf);
        placeCursor(v, 0);
        v.paste();
        QCOMPARE(v.wholeText(), pasted + want);
        v.undo();
        // Format codes act on the selection.
        sel.setPosition(1);
        sel.setPosition(4, QTextCursor::KeepAnchor);
        v.setTextCursor(sel);
        QTest::keyClick(&v, Qt::Key_B, Qt::ControlModifier);
        QTextCursor at(v.document());
        at.setPosition(2);
        QCOMPARE(at.charFormat().fontWeight(), int(QFont::Bold));
        QCOMPARE(v.wholeText(), want);
    }

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

    // An edit of one word stores the note's own links and underlines, no more: the addresses the
    // view shows as links are never written as links, at either size of note.
    void anEditStoresNoDetectedLinks_data() {
        QTest::addColumn<int>("chars");
        QTest::newRow("4 KB") << 4 * 1024;
        QTest::newRow("12 KB") << 12 * 1024;
    }
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

    // Only a line too long to lay out within a turn is cut: an ordinary paragraph of 4, 10 or 12 KB
    // is one paragraph, shown without a break the text does not have.
    void anOrdinaryParagraphIsNeverCut() {
        for (const int chars : {4 * 1024, 10 * 1024, 12 * 1024}) {
            const QString body = wordsLine(chars);
            std::unique_ptr<QTextDocument> doc(NoteDocument::build(textNote(QStringLiteral("O"), body), style()));
            QCOMPARE(doc->blockCount(), 1);
            QVERIFY(NoteDocument::pieceStarts(body).empty());
        }
    }

    // Where a line must be cut for its length, the cut keeps every character as shown whole: a mark
    // right after the limit stays with its letter (the look goes past the cut), a supplementary mark
    // is not split from its pair when no boundary is in reach, and the halves of flags pair from the
    // start of their run, also right after an emoji.
    void cutsKeepCharactersWhole_data() {
        QTest::addColumn<QString>("line");
        const QString as(kPiece - 1, u'a');
        QTest::newRow("mark after the limit") << as + QStringLiteral("e\u0301") + QString(100, u'a');
        QString marks = QString(kPiece - 302, u'a') + u'x';
        for (int i = 0; i < 400; ++i)
            marks += QStringLiteral("\U000E0100"); // a supplementary mark
        QTest::newRow("marks past reach") << marks + QStringLiteral("tail");
        QString flags = QString(kPiece - 5, u'a') + QStringLiteral("🙂");
        for (int i = 0; i < 10; ++i)
            flags += QStringLiteral("🇩🇪🇫🇷");
        QTest::newRow("flag after an emoji") << flags;
        QString oddFlags = QString(kPiece - 3, u'a');
        for (int i = 0; i < 10; ++i)
            oddFlags += QStringLiteral("🇺🇦");
        QTest::newRow("flag run from an odd offset") << oddFlags;
    }
    void cutsKeepCharactersWhole() {
        QFETCH(QString, line);
        const auto isRegionalHalf = [&](qsizetype at) {
            return at + 1 < line.size() && line[at].unicode() == 0xD83C && line[at + 1].unicode() >= 0xDDE6 &&
                   line[at + 1].unicode() <= 0xDDFF;
        };
        const std::vector<qsizetype> cuts = NoteDocument::pieceStarts(line);
        QVERIFY(!cuts.empty());
        qsizetype from = 0;
        for (const qsizetype cut : cuts) {
            QVERIFY2(cut > from && cut - from <= kPiece, qPrintable(QString::number(cut)));
            QVERIFY2(!line[cut].isLowSurrogate(), qPrintable(QString::number(cut)));
            QVERIFY2(line[cut].category() != QChar::Mark_NonSpacing, qPrintable(QString::number(cut)));
            // the halves before the cut in its run of flags are whole flags
            qsizetype halves = 0;
            for (qsizetype at = cut - 2; at >= 0 && isRegionalHalf(at); at -= 2)
                ++halves;
            QVERIFY2(!isRegionalHalf(cut) || halves % 2 == 0, qPrintable(QString::number(cut)));
            from = cut;
        }
        std::unique_ptr<QTextDocument> doc(NoteDocument::build(textNote(QStringLiteral("C"), line), style()));
        QCOMPARE(NoteDocument::wholeText(*doc), line);
    }

    // Typing over a selection from the start of a piece into the next line joins that line to the
    // piece: the stored text gains no line break there, and loses none elsewhere.
    void aSelectionFromACutTypedOverKeepsTheLines() {
        const QString body =
            QString(kPiece + 500, u'a') + u'\n' + QString(3 * kPiece, u'b') + QChar::LineSeparator;
        NoteTextView v;
        v.resize(400, 300);
        v.setDocument(NoteDocument::build(textNote(QStringLiteral("J"), body), style()));
        v.document()->setParent(&v);
        v.show();
        const QTextBlock piece = v.document()->firstBlock().next();
        QVERIFY(NoteDocument::continues(piece));
        QTextCursor sel(v.document());
        sel.setPosition(piece.position());
        sel.setPosition(piece.position() + 601, QTextCursor::KeepAnchor);
        v.setTextCursor(sel);
        QGuiApplication::clipboard()->setText(QStringLiteral("Ж"));
        v.paste();
        QCOMPARE(v.wholeText(), body.left(kPiece) + QStringLiteral("Ж") + body.mid(kPiece + 601));
        v.undo();
        QCOMPARE(v.wholeText(), body);
        // and from the end of a line into the second piece of the next one
        const QTextBlock line = v.document()->findBlock(piece.position() + 502);
        QVERIFY(!NoteDocument::continues(line) && NoteDocument::continues(line.next()));
        sel.setPosition(line.position() - 3);
        sel.setPosition(line.next().position() + 2, QTextCursor::KeepAnchor);
        v.setTextCursor(sel);
        QTest::keyClicks(&v, QStringLiteral("Z"));
        const int stored = kPiece + 500 + 1;
        QCOMPARE(v.wholeText(), body.left(stored - 3) + u'Z' + body.mid(stored + kPiece + 2));
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

    void readerGoesToTheEndAndBack() {
        NoteTextView v;
        v.resize(400, 300);
        QString body;
        for (int i = 0; i < 3000; ++i)
            body += QStringLiteral("line %1\n").arg(i);
        v.setDocument(NoteDocument::build(textNote(QStringLiteral("E"), body), style()));
        v.document()->setParent(&v);
        v.setReadOnly(true);
        v.show();
        QVERIFY(v.verticalScrollBar()->maximum() > 0);
        QTest::keyClick(&v, Qt::Key_End, Qt::ControlModifier);
        QTRY_COMPARE(v.verticalScrollBar()->value(), v.verticalScrollBar()->maximum());
        QTest::keyClick(&v, Qt::Key_Home, Qt::ControlModifier);
        QTRY_COMPARE(v.verticalScrollBar()->value(), 0);
    }

    // A long line with emoji, in pieces: the screen a jump of the scroll bar across it lands on
    // fills in, without the pieces between laid out. Ctrl+End in the editor puts the caret at the
    // end and, once the pieces above it are laid out over a few turns, in view.
    void aJumpAcrossALongLineLaysOutWhatItShows() {
        const QString words = QStringLiteral("words on one endless line 🙂 with example text 👍🏽 and more ");
        QString body;
        while (body.size() < 400'000)
            body += words;
        NoteTextView v;
        v.resize(700, 500);
        v.show();
        v.setDocument(NoteDocument::build(textNote(QStringLiteral("J"), body), style()));
        v.document()->setParent(&v);
        const auto laidOut = [&v] {
            int n = 0;
            for (QTextBlock b = v.document()->firstBlock(); b.isValid(); b = b.next())
                n += b.layout()->lineCount() > 0;
            return n;
        };
        const auto filled = [&v] { return screenLaidOut(v); };
        QTRY_VERIFY(filled());
        QVERIFY(v.document()->blockCount() > 200);
        v.verticalScrollBar()->setValue(v.verticalScrollBar()->maximum() / 2);
        QTRY_VERIFY(filled());
        QVERIFY(laidOut() < v.document()->blockCount() / 4); // no piece between laid out on the way

        v.setReadOnly(false);
        QTest::keyClick(&v, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(v.textCursor().position(), v.document()->characterCount() - 1);
        QTRY_VERIFY(filled());
        QTRY_VERIFY(v.viewport()->rect().contains(v.cursorRect()));
        QCOMPARE(v.wholeText(), body);

        // A key typed after reading the top takes the view back to the caret the same way: the
        // pieces of the two screens below the top, and of the one above the caret, are not all laid
        // out at once.
        v.verticalScrollBar()->setValue(0);
        QTRY_VERIFY(filled());
        const int before = laidOut();
        QTest::keyClick(&v, Qt::Key_X);
        QVERIFY2(laidOut() - before <= 2, qPrintable(QString::number(laidOut() - before)));
        QTRY_VERIFY(filled());
        QTRY_VERIFY(v.viewport()->rect().contains(v.cursorRect()));
        QCOMPARE(v.wholeText(), body + QLatin1Char('x'));
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

    // A red heart written with its emoji selector is drawn in colour, as the emoji it is.
    void heartIsDrawnInColour() {
        NoteTextView v;
        v.resize(300, 120);
        v.setFont(Fonts::scaledFont(RichTextView::kDefaultSize));
        NoteDocument::Style st{Fonts::scaledFont(RichTextView::kDefaultSize), Qt::black, Qt::blue};
        v.setDocument(
            NoteDocument::build(textNote(QStringLiteral("H"), QStringLiteral("love \u2764\uFE0F you")), st));
        v.document()->setParent(&v);
        v.setReadOnly(true);
        v.show();
        QTest::qWait(50);
        const QImage img = v.viewport()->grab().toImage();
        int red = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.red() > 150 && c.green() < 90 && c.blue() < 90) ++red;
            }
        QVERIFY2(red > 10, qPrintable(QString::number(red)));
    }

    // A rich paste keeps its formats in a note's text at 4 KB and at 12 KB, highlights left out:
    // a bold word copied from another note stays bold, and what was copied from a web page keeps
    // its italic and its link.
    void aRichPasteKeepsItsFormats_data() {
        QTest::addColumn<int>("chars");
        QTest::newRow("4 KB") << 4 * 1024;
        QTest::newRow("12 KB") << 12 * 1024;
    }
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
    void plainPasteTakesTheLookBefore_data() {
        QTest::addColumn<int>("chars");
        QTest::newRow("4 KB") << 4 * 1024;
        QTest::newRow("12 KB") << 12 * 1024;
    }
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

    // The detail and the inline editor show a note's body in one view at every size: a short note's
    // is laid out whole in its card (the page scrolls, not the view), a long one's scrolls in place;
    // Edit makes that same view editable.
    void oneViewAtEverySize_data() {
        QTest::addColumn<int>("chars");
        QTest::newRow("4 KB") << 4 * 1024;
        QTest::newRow("12 KB") << 12 * 1024;
    }
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

QTEST_MAIN(TestLongNote)
#include "tst_long_note.moc"
