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
};

QTEST_MAIN(TestLongNote)
#include "tst_long_note.moc"
