#include "common/DocRows.h"
#include "common/EmojiLines.h"
#include "common/Instrumented.h"
#include "common/RichNotes.h"
#include "common/TestEnv.h"
#include "notes/LongNoteTest.h"
#include "notes/NoteTextView.h"
#include "notes/PacedLayout.h"
#include "platform/Handover.h"
#include <QAbstractEventDispatcher>
#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>
#include <cmath>
#include <memory>

// A line the document holds in pieces (one dense with emoji) is shown as the one paragraph it is:
// each piece goes on along the row where the one before it ends, so no break shows where the text
// has none.
namespace {
// How many are told when the window's event loop is about to wait. QObject keeps the count to
// itself and its subclasses; taken as a pointer to QObject's member (which a subclass may form), it
// is asked of the loop as the QObject it is.
struct Listeners : QObject {
    static int of(const QObject *o, const char *signal) {
        const auto receivers = &Listeners::receivers;
        return (o->*receivers)(signal);
    }
};
int turnListeners() {
    return Listeners::of(QAbstractEventDispatcher::instance(), SIGNAL(aboutToBlock()));
}

// Where the rows of a view's text start, as offsets into the stored text: every paragraph laid out
// (in order, as a reader scrolling down does) and its lines placed as the view places them.
QList<int> shownRows(NoteTextView &v) {
    return rowsInOrder(*v.document());
}

// Where the rows of the same text start when it is laid out as one paragraph at the view's width.
QList<int> oneParagraphRows(NoteTextView &v, const QString &text, qreal *height = nullptr) {
    const QTextDocument &doc = *v.document();
    QTextLayout tl(text, doc.defaultFont());
    tl.setTextOption(doc.defaultTextOption());
    tl.setFormats(NoteDocument::emojiLooks(text));
    tl.beginLayout();
    QList<int> rows;
    qreal h = 0;
    for (QTextLine line = tl.createLine(); line.isValid(); line = tl.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(v.viewport()->width() - 2 * doc.documentMargin());
        rows.push_back(line.textStart());
        h += line.height();
    }
    tl.endLayout();
    if (height) *height = h;
    return rows;
}

// A plain text view of the same text as one paragraph, as the long view shows it.
std::unique_ptr<QPlainTextEdit> oneParagraphView(NoteTextView &v, const QString &text) {
    auto ref = std::make_unique<QPlainTextEdit>();
    ref->document()->setDefaultFont(v.document()->defaultFont());
    ref->document()->setDocumentMargin(v.document()->documentMargin());
    ref->resize(v.size());
    ref->setPlainText(text);
    // Its emoji given the looks the long view gives them.
    for (QTextBlock b = ref->document()->firstBlock(); b.isValid(); b = b.next())
        b.layout()->setFormats(NoteDocument::emojiLooks(b.text()));
    ref->document()->markContentsDirty(0, ref->document()->characterCount());
    ref->show();
    return ref;
}

// Where a position of the view's document is in the stored text: the cuts before it are no
// characters.
int storedAt(const QTextDocument &doc, int pos) {
    int cuts = 0;
    for (QTextBlock b = doc.firstBlock(); b.isValid() && b.position() <= pos; b = b.next())
        cuts += NoteDocument::continues(b);
    return pos - cuts;
}

// Whether a cut at at would split what is shown as one character: a surrogate pair, a sequence
// joined by U+200D, an emoji and its skin tone, or a flag (its halves pair from the start of their run).
bool insideACharacter(const QString &s, int at) {
    const auto ucs = [&](int i) { // the character ending just before i
        return i >= 2 && s[i - 1].isLowSurrogate() ? QChar::surrogateToUcs4(s[i - 2], s[i - 1]) : char32_t(s[i - 1].unicode());
    };
    const auto isHalf = [](char32_t u) { return u >= 0x1F1E6 && u <= 0x1F1FF; };
    if (at <= 0 || at >= s.size()) return false;
    if (s[at].isLowSurrogate() || s[at - 1] == QChar(0x200D) || s[at] == QChar(0x200D)) return true;
    const char32_t next = s[at].isHighSurrogate() && at + 1 < s.size() ? QChar::surrogateToUcs4(s[at], s[at + 1]) : s[at].unicode();
    if ((next >= 0x1F3FB && next <= 0x1F3FF) || next == 0xFE0F) return true;
    if (!isHalf(next)) return false;
    int halves = 0;
    for (int i = at; i >= 2 && isHalf(ucs(i)); i -= 2)
        ++halves;
    return halves % 2 == 1;
}

// How long a line of emoji may take to be laid out a turn's share at a time on a loaded machine (a
// piece of a line takes milliseconds; the tests run side by side).
const int kLaidOutMs = scaledWaitMs(30000);

bool hasLinesNow(const QTextBlock &b) {
    return b.layout() && b.layout()->lineCount() > 0;
}
} // namespace

class TestLongNoteRows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // An ordinary paragraph of a thousand emoji among words, and a run of emoji with no space to cut
    // at, each shorter than a piece of words yet cut for its emoji, wrap at every width exactly as
    // one paragraph does; so does the note's height measured for a view laid out whole.
    void aLineOfEmojiWrapsAsOneParagraph_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("width");
        const QString words = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        const QString run = emojiLine(QStringLiteral("🔥😀🎉"), 3000);
        for (int width : {260, 640}) {
            QTest::addRow("words %d", width) << words << width;
            QTest::addRow("emoji only %d", width) << run << width;
        }
    }
    void aLineOfEmojiWrapsAsOneParagraph() {
        QFETCH(QString, line);
        QFETCH(int, width);
        NoteTextView v;
        QVERIFY(showText(v, line + QStringLiteral("\nafter"), {width, 400}));
        QVERIFY2(v.document()->blockCount() > 3, "the line is held in pieces");
        qreal oneHeight = 0;
        QList<int> want = oneParagraphRows(v, line, &oneHeight);
        want.push_back(int(line.size()) + 1); // the next line
        QCOMPARE(shownRows(v), want);
        // Measured for a view that shows it whole: as tall as the paragraph and the line after it.
        const qreal afterHeight = QFontMetricsF(v.document()->defaultFont()).height();
        const int measured = v.wholeHeight();
        const qreal whole = oneHeight + afterHeight + 2 * v.document()->documentMargin();
        QVERIFY2(std::abs(measured - whole) <= 2, qPrintable(QStringLiteral("%1 for %2").arg(measured).arg(whole)));
    }

    // Typing in a piece, or in the text before it, moves where the pieces after it go on: the rows
    // are still those of one paragraph, and so they are again after undo.
    void editsBeforeACutRewrapTheRest() {
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        NoteTextView v;
        QVERIFY(showText(v, line, {420, 400}));
        QCOMPARE(shownRows(v), oneParagraphRows(v, line));
        QTextBlock second = v.document()->firstBlock().next();
        QVERIFY(NoteDocument::continues(second));
        for (int at : {40, second.position() + 25}) {
            QTextCursor c(v.document());
            c.setPosition(at);
            v.setTextCursor(c);
            QTest::keyClicks(&v, QStringLiteral("typed wider "));
            QCoreApplication::processEvents();
            QCOMPARE(shownRows(v), oneParagraphRows(v, v.wholeText()));
        }
        while (v.document()->isUndoAvailable())
            v.document()->undo();
        QCOMPARE(v.wholeText(), line);
        QCOMPARE(shownRows(v), oneParagraphRows(v, line));
    }

    // A key typed at the end of a line of emoji lays the line's last piece out once, going on from
    // the piece before it: Qt laid it out as a paragraph of its own first, asking for its height
    // (which was put off, and the view drawn again on the next turn) before laying it out. Nothing the
    // key asks for is put off, and the rows are still those of one paragraph.
    void aKeyTypedAtTheEndOfALineLaysOutItsLastPieceOnce() {
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        NoteTextView v;
        QVERIFY(showText(v, line, {420, 700}));
        const auto *layout = dynamic_cast<const NoteDocument::PacedLayout *>(v.document()->documentLayout());
        QVERIFY(layout);
        QTextCursor c(v.document());
        c.movePosition(QTextCursor::End);
        QVERIFY(NoteDocument::continues(c.block()) && !c.block().next().isValid());
        v.setTextCursor(c);
        QTRY_VERIFY_WITH_TIMEOUT(!layout->puttingOff() && !layout->guessedHeights(), kLaidOutMs);
        // In view (placed before the pieces above it were laid out, on a loaded machine it may not be).
        v.ensureCursorVisible();
        QVERIFY(v.viewport()->rect().contains(v.cursorRect()));
        for (const QChar ch : QStringLiteral("ab ")) {
            QTest::keyClick(&v, ch.toLatin1());
            QVERIFY2(!layout->puttingOff(), qPrintable(QStringLiteral("put off after '%1'").arg(ch)));
            QCOMPARE(v.wholeText(), line + QStringLiteral("ab ").left(v.wholeText().size() - line.size()));
            QCOMPARE(shownRows(v), oneParagraphRows(v, v.wholeText()));
        }
    }

    // A key typed in a piece measures that piece alone: the pieces after it, whose text now goes on
    // elsewhere along the rows, have their lines made again from the glyphs they measured before (an
    // emoji's picture decoded for each, a tenth of a millisecond, at every layout that measures). None
    // of them is left without lines meanwhile (drawn blank until laid out again), and the rows are
    // still those of one paragraph, after the keys and after undo; a format set on a few words
    // measures their piece alone as well.
    // The looks a piece's emoji are given when it is laid out are no edit: the first key typed after
    // opening measures the piece it is typed in, and no other.
    void piecesAfterAnEditAreNotMeasuredAgain() {
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        NoteTextView v;
        QVERIFY(showText(v, line, {420, 700}));
        const auto *layout = dynamic_cast<const NoteDocument::PacedLayout *>(v.document()->documentLayout());
        QVERIFY(layout);
        QCOMPARE(shownRows(v), oneParagraphRows(v, line));
        QTextBlock typedIn = v.document()->findBlockByNumber(2);
        QVERIFY(NoteDocument::continues(typedIn) && typedIn.next().isValid());
        QTextCursor c(v.document());
        c.setPosition(typedIn.position() + 3);
        v.setTextCursor(c);
        QTRY_VERIFY_WITH_TIMEOUT(!layout->puttingOff() && !layout->guessedHeights(), kLaidOutMs);
        const auto shownAfter = [&] {
            for (QTextBlock b = typedIn; b.isValid(); b = b.next())
                if (b.layout()->lineCount() == 0) return false;
            return true;
        };
        for (const QChar ch : QStringLiteral("wider ")) {
            const int measured = layout->piecesMeasured();
            QTest::keyClick(&v, ch.toLatin1());
            QVERIFY2(shownAfter(), qPrintable(QStringLiteral("a piece without lines after '%1'").arg(ch)));
            QCOMPARE(shownRows(v), oneParagraphRows(v, v.wholeText()));
            QCOMPARE(layout->piecesMeasured() - measured, 1);
        }
        const int measured = layout->piecesMeasured();
        QTextCursor words(v.document());
        words.setPosition(typedIn.position() + 3);
        words.setPosition(typedIn.position() + 9, QTextCursor::KeepAnchor);
        v.setTextCursor(words);
        v.applyFmt(0); // bold: wider
        QVERIFY(shownAfter());
        QCOMPARE(layout->piecesMeasured() - measured, 1);
        while (v.document()->isUndoAvailable())
            v.document()->undo();
        QCOMPARE(v.wholeText(), line);
        QCOMPARE(shownRows(v), oneParagraphRows(v, line));
    }

    // A key typed in a piece moves the emoji after it, so its layout lets go of its lines when they
    // are given their looks again: the piece is still laid out once, going on along the row of the
    // piece before it. Laid out by Qt first as a paragraph of its own, it told the view of its new
    // height from the wrong place, and the view had every piece after it on the screen go on from
    // there, and then back (36 ms a key in a line of a few KB).
    void aPieceTypedInIsNeverLaidOutOnItsOwn() {
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        NoteTextView v;
        QVERIFY(showText(v, line, {420, 700}));
        const auto *layout = dynamic_cast<const NoteDocument::PacedLayout *>(v.document()->documentLayout());
        QVERIFY(layout);
        QTRY_VERIFY_WITH_TIMEOUT(!layout->puttingOff() && !layout->guessedHeights(), kLaidOutMs);
        // A piece on the screen whose first line goes on along the row before it, and has emoji after
        // the place typed at.
        const qreal margin = v.document()->documentMargin();
        QTextBlock typedIn = v.document()->findBlockByNumber(3);
        while (typedIn.isValid() && !(NoteDocument::continues(typedIn) && typedIn.layout()->lineCount() > 0 &&
                                      typedIn.layout()->lineAt(0).x() > margin + 1))
            typedIn = typedIn.next();
        QVERIFY(typedIn.isValid() && typedIn.next().isValid());
        QTextCursor c(v.document());
        c.setPosition(typedIn.position() + 2);
        v.setTextCursor(c);
        QVERIFY(v.viewport()->rect().contains(v.cursorRect()));
        // Where its first line is whenever the layout tells the view of a change.
        QList<qreal> seen;
        const auto look = [&] {
            if (typedIn.layout()->lineCount() > 0) seen << typedIn.layout()->lineAt(0).x();
        };
        QAbstractTextDocumentLayout *told = v.document()->documentLayout();
        connect(told, &QAbstractTextDocumentLayout::documentSizeChanged, &v, look);
        connect(told, &QAbstractTextDocumentLayout::update, &v, look);
        connect(told, &QAbstractTextDocumentLayout::updateBlock, &v, look);
        for (const QChar ch : QStringLiteral("ab")) {
            seen.clear();
            QTest::keyClick(&v, ch.toLatin1());
            QVERIFY(typedIn.layout()->lineCount() > 0);
            const qreal at = typedIn.layout()->lineAt(0).x();
            QVERIFY(at > margin + 1);
            for (const qreal x : std::as_const(seen))
                QVERIFY2(qFuzzyCompare(x, at), qPrintable(QStringLiteral("'%1': first line at %2, then at %3").arg(ch).arg(x).arg(at)));
            QCOMPARE(shownRows(v), oneParagraphRows(v, v.wholeText()));
        }
    }

    // The looks given to a paragraph's emoji cover each character as shown whole (a joined family, a
    // flag, a skin tone): a character cut between two fonts is drawn in pieces. Letters keep theirs.
    void emojiLooksCoverWholeCharacters() {
        const QString text = QStringLiteral("a👨‍👩‍👧 b 🇩🇪🇫🇷c👍🏽🔥 ❤️ d");
        const QList<QTextLayout::FormatRange> looks = NoteDocument::emojiLooks(text);
        QTextBoundaryFinder shown(QTextBoundaryFinder::Grapheme, text);
        QList<bool> covered(text.size(), false);
        for (const QTextLayout::FormatRange &r : looks) {
            for (int at : {r.start, r.start + r.length}) {
                shown.setPosition(at);
                QVERIFY2(shown.isAtBoundary(), qPrintable(QStringLiteral("a look ends at %1").arg(at)));
            }
            for (int i = r.start; i < r.start + r.length; ++i)
                covered[i] = true;
        }
        for (int i = 0; i < text.size(); ++i)
            QCOMPARE(covered[i], !text[i].isLetter() && !text[i].isSpace());
    }

    // On a row where a piece goes on after the text before it, a click on the piece's part puts the
    // caret there, and a drawing of that row alone (the caret blinking, a selection) shows both parts.
    void theRowAPieceGoesOnAlongActsAsOne() {
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        NoteTextView v;
        QVERIFY(showText(v, line, {420, 300}));
        shownRows(v); // every paragraph laid out
        // The first piece that goes on along a row.
        QTextBlock piece = v.document()->firstBlock();
        while (piece.isValid() && !(NoteDocument::continues(piece) && piece.layout()->lineAt(0).y() < 0 &&
                                    piece.layout()->lineAt(0).textLength() > 4 && piece.layout()->lineCount() > 1))
            piece = piece.next();
        QVERIFY(piece.isValid());
        QTextCursor at(v.document());
        at.setPosition(piece.position() + 4);
        const QRect caret = v.cursorRect(at);
        const QRect row = QRect(caret.x(), caret.top(), v.viewport()->width() - caret.x(), caret.height()) &
                          v.viewport()->rect();
        QVERIFY(!row.isEmpty());
        QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(caret.x() + 2, caret.center().y()));
        QCOMPARE(v.textCursor().position(), piece.position() + 4);
        v.setReadOnly(true); // no caret to blink into the pictures
        QImage whole(v.viewport()->size(), QImage::Format_ARGB32), part = whole;
        whole.fill(Qt::white);
        part.fill(Qt::white);
        v.viewport()->render(&whole);
        v.viewport()->render(&part, row.topLeft(), QRegion(row));
        QCOMPARE(part.copy(row), whole.copy(row));
    }

    // The scroll range counts the rows the reader sees: as many as the text has as one paragraph
    // (a row shared by two pieces once), so the view scrolls as far as one paragraph's does, and
    // no further. A screenful of more pieces than the text has rows below it seemed to Qt to hold
    // the whole text: no range at all, and the end out of reach but by the caret.
    void theScrollRangeCountsASharedRowOnce_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("narrow") << 260 << 300;
        QTest::newRow("wide") << 640 << 300;
        QTest::newRow("most of the text on the screen") << 420 << 700;
    }
    void theScrollRangeCountsASharedRowOnce() {
        QFETCH(int, width);
        QFETCH(int, height);
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        NoteTextView v;
        QVERIFY(showText(v, line, {width, height}));
        const QList<int> rows = shownRows(v);
        QCOMPARE(rows, oneParagraphRows(v, line));
        QCOMPARE(v.document()->lineCount(), rows.size());
        // The range measured again now that every paragraph has its height (as when the view is
        // resized), not while a screenful was still being laid out.
        v.resize(width, height + 1);
        v.resize(width, height);
        const auto ref = oneParagraphView(v, line);
        QVERIFY(QTest::qWaitForWindowExposed(ref.get()));
        QCOMPARE(v.viewport()->width(), ref->viewport()->width());
        QVERIFY(ref->verticalScrollBar()->maximum() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(v.verticalScrollBar()->maximum(), ref->verticalScrollBar()->maximum(), kLaidOutMs);
    }

    // End and Home on a row that a piece goes on along go to the ends of the row, from either
    // part of it, as in one paragraph; with Shift they select as far.
    void endAndHomeGoToTheEndsOfASharedRow() {
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        NoteTextView v;
        QVERIFY(showText(v, line, {420, 300}));
        QCOMPARE(shownRows(v), oneParagraphRows(v, line));
        const auto ref = oneParagraphView(v, line);
        QVERIFY(QTest::qWaitForWindowExposed(ref.get()));
        const QTextDocument &doc = *v.document();
        int tried = 0;
        for (QTextBlock piece = doc.firstBlock(); piece.isValid(); piece = piece.next()) {
            const QTextLayout *tl = piece.layout();
            if (!NoteDocument::continues(piece) || tl->lineCount() == 0 || tl->lineAt(0).y() >= 0 ||
                tl->lineAt(0).textLength() < 3)
                continue;
            const QTextLine before = piece.previous().layout()->lineAt(piece.previous().layout()->lineCount() - 1);
            // A character on the row before the cut, and one after it.
            for (const int at : {piece.previous().position() + before.textStart() + 1, piece.position() + 1}) {
                for (const auto &[key, mods] : {std::pair{Qt::Key_End, Qt::NoModifier}, {Qt::Key_Home, Qt::NoModifier},
                                                {Qt::Key_End, Qt::ShiftModifier}, {Qt::Key_Home, Qt::ShiftModifier}}) {
                    QTextCursor c(v.document());
                    c.setPosition(at);
                    v.setTextCursor(c);
                    QTextCursor r(ref->document());
                    r.setPosition(storedAt(doc, at));
                    ref->setTextCursor(r);
                    QTest::keyClick(&v, key, mods);
                    QTest::keyClick(ref.get(), key, mods);
                    const QString what = QStringLiteral("key %1 from %2").arg(key).arg(storedAt(doc, at));
                    QVERIFY2(storedAt(doc, v.textCursor().position()) == ref->textCursor().position(),
                             qPrintable(what + QStringLiteral(": %1, not %2")
                                                   .arg(storedAt(doc, v.textCursor().position()))
                                                   .arg(ref->textCursor().position())));
                    QCOMPARE(NoteDocument::wholeText(doc, v.textCursor().selectionStart(), v.textCursor().selectionEnd()),
                             ref->textCursor().selectedText());
                }
            }
            ++tried;
        }
        QVERIFY2(tried >= 3, "rows shared by two pieces");
    }

    // Opened in a view taller than the line has pieces, the range is sized from the bottom without
    // laying out the pieces above the last screenful, nor the first (the caret's) before it is
    // drawn; once the screen has settled, the rows are still those of one paragraph.
    void openingALineOfEmojiSizesItsRangeFromTheLastScreenful() {
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        NoteTextView v;
        QVERIFY(showText(v, QStringLiteral("first"), {420, 960}));
        QTextDocument *doc = NoteDocument::build(textNote(line), {QFont(), Qt::black, {}});
        doc->setParent(&v);
        const int pieces = doc->blockCount();
        QVERIFY2(pieces * QFontMetricsF(doc->defaultFont()).lineSpacing() < v.viewport()->height(),
                 "as many pieces as rows fit the view");
        v.setDocument(doc);
        int laidOut = 0;
        for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
            laidOut += b.layout()->lineCount() > 0;
        QVERIFY2(doc->firstBlock().layout()->lineCount() == 0 && laidOut < pieces / 2,
                 qPrintable(QStringLiteral("%1 of %2 pieces laid out").arg(laidOut).arg(pieces)));
        QCOMPARE(shownRows(v), oneParagraphRows(v, line));
    }

    // A line of more pieces than the view has pixels in height is taken at the width it is shown at:
    // the scroll bar it needs is shown first, not once it is taken, when narrowing the viewport had
    // Qt go over every piece again (a second walk over hundreds of thousands for a long line).
    void aLongLineIsTakenAtTheWidthItIsShownAt() {
        NoteTextView v;
        v.resize(420, 200);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        const QString line =
            emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 400 * 4 * NoteDocument::kPieceEmoji);
        QTextDocument *doc = NoteDocument::build(textNote(line), {QFont(), Qt::black, {}});
        doc->setParent(&v);
        QVERIFY(doc->blockCount() > v.viewport()->height());
        struct Resizes : QObject {
            const NoteTextView *view;
            const QTextDocument *doc;
            int seen = 0;
            bool eventFilter(QObject *, QEvent *e) override {
                seen += e->type() == QEvent::Resize && view->document() == doc;
                return false;
            }
        } resizes;
        resizes.view = &v;
        resizes.doc = doc;
        v.viewport()->installEventFilter(&resizes);
        v.setDocument(doc);
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        QVERIFY(v.verticalScrollBar()->isVisible());
        QCOMPARE(resizes.seen, 0);
        v.viewport()->removeEventFilter(&resizes);
    }

    // A view that scrolls, its range first sized while pieces of the last screenful were put off,
    // sizes it again once they are laid out, without being resized: it reaches the end of the line.
    void aScrollingViewsRangeIsSizedAgainOncePiecesAreLaidOut() {
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        NoteTextView v;
        v.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        v.resize(420, 200);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.setDocument(NoteDocument::build(textNote(line), {QFont(), Qt::black, {}}));
        v.document()->setParent(&v);
        const auto ref = oneParagraphView(v, line);
        ref->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        QVERIFY(QTest::qWaitForWindowExposed(ref.get()));
        const auto *layout = dynamic_cast<const NoteDocument::PacedLayout *>(v.document()->documentLayout());
        QVERIFY(layout);
        v.verticalScrollBar()->setValue(v.verticalScrollBar()->maximum());
        QTRY_VERIFY_WITH_TIMEOUT(!layout->puttingOff(), kLaidOutMs);
        QTRY_COMPARE_WITH_TIMEOUT(v.verticalScrollBar()->maximum(), ref->verticalScrollBar()->maximum(), kLaidOutMs);
    }

    // A piece laid out before the one it goes on from (a view drawing or sizing its range from the
    // bottom when the turn's time ran out) starts a row of its own; once the pieces before it are laid
    // out it goes on along their row, drawn or not: the range then counts the rows of one paragraph.
    void aPieceLaidOutBeforeTheOneItGoesOnFromIsLaidOutAgain() {
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        NoteTextView v;
        v.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        v.resize(420, 200);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QTextDocument *doc = NoteDocument::build(textNote(line), {QFont(), Qt::black, {}});
        doc->setParent(&v);
        v.setDocument(doc);
        auto *layout = dynamic_cast<NoteDocument::PacedLayout *>(doc->documentLayout());
        QVERIFY(layout);
        // Every other piece between the first screen and the last one, each before the one it goes on
        // from: whichever of them would share its first row.
        int early = 0;
        for (int n = 6; n < doc->blockCount() - 10; n += 2) {
            const QTextBlock piece = doc->findBlockByNumber(n);
            if (!NoteDocument::continues(piece) || hasLinesNow(piece.previous())) continue;
            layout->blockBoundingRect(piece);
            early += hasLinesNow(piece);
        }
        QVERIFY2(early >= 5, qPrintable(QStringLiteral("%1 pieces laid out early").arg(early)));
        const auto ref = oneParagraphView(v, line);
        ref->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        QVERIFY(QTest::qWaitForWindowExposed(ref.get()));
        QTRY_VERIFY_WITH_TIMEOUT(!layout->puttingOff(), kLaidOutMs);
        QTRY_COMPARE_WITH_TIMEOUT(v.verticalScrollBar()->maximum(), ref->verticalScrollBar()->maximum(), kLaidOutMs);
        QCOMPARE(shownRows(v), oneParagraphRows(v, line));
    }

    // A paste into a line of emoji (as plain text, copied across its pieces, or as one rich
    // paragraph) is cut into pieces as the line is when opened: none holds more emoji than a piece,
    // no cut falls inside a character as shown (a surrogate pair, a flag, a joined sequence), the
    // text reads back with the paste where it went, the rows are still those of one paragraph, and
    // one undo takes the paste back.
    void aPasteIntoALineOfEmojiIsCutIntoPieces_data() {
        QTest::addColumn<bool>("rich");
        QTest::newRow("plain") << false;
        QTest::newRow("rich") << true;
    }
    void aPasteIntoALineOfEmojiIsCutIntoPieces() {
        QFETCH(bool, rich);
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        // Flags, a joined family and a skin tone, with no space between them to cut at.
        const QString pasted = emojiLine(QStringLiteral("🇩🇪🇫🇷👨‍👩‍👧👍🏽🔥😀"), 1000);
        NoteTextView v;
        QVERIFY(showText(v, line, {420, 300}));
        // Into the middle of a piece.
        const QTextBlock into = v.document()->findBlockByNumber(3);
        QVERIFY(NoteDocument::continues(into));
        QTextCursor c(v.document());
        c.setPosition(into.position() + 10);
        v.setTextCursor(c);
        const int storedPos = storedAt(*v.document(), c.position());
        auto *mime = new QMimeData;
        mime->setText(pasted);
        if (rich) mime->setHtml(QStringLiteral("<p><b>%1</b></p>").arg(pasted));
        QGuiApplication::clipboard()->setMimeData(mime);
        QTest::keyClick(&v, Qt::Key_V, Qt::ControlModifier);
        QString want = line;
        want.insert(storedPos, pasted);
        QCOMPARE(v.wholeText(), want);
        QCOMPARE(storedAt(*v.document(), v.textCursor().position()), storedPos + int(pasted.size()));
        int stored = 0;
        for (QTextBlock b = v.document()->firstBlock(); b.isValid(); b = b.next()) {
            const QString text = b.text();
            QVERIFY2(NoteDocument::colourEmoji(text) <= NoteDocument::kPieceEmoji,
                     qPrintable(QStringLiteral("paragraph %1 holds %2 emoji").arg(b.blockNumber()).arg(NoteDocument::colourEmoji(text))));
            if (NoteDocument::continues(b))
                QVERIFY2(!insideACharacter(want, stored), qPrintable(QStringLiteral("a cut inside a character at %1").arg(stored)));
            stored += int(text.size());
        }
        QTRY_COMPARE(shownRows(v), oneParagraphRows(v, want));
        v.document()->undo();
        QCOMPARE(v.wholeText(), line);
    }

    // A view told of the size a piece gave it goes over the pieces again (sizing its range from the
    // last one up), and a piece laid out for it changes the size once more: told from within, laying
    // out one piece nested another, as deep as the pieces went (thousands in a line of emoji of a
    // few tens of KB, more than the window's stack holds). However long the line, the nesting stays
    // that of a view told once, through a new width, keys, a far place and back.
    void layingOutPiecesNestsNoDeeperForALongerLine_data() {
        QTest::addColumn<int>("chars");
        QTest::addRow("12 K") << 12'000;
        QTest::addRow("60 K") << 60'000;
    }
    void layingOutPiecesNestsNoDeeperForALongerLine() {
        QFETCH(int, chars);
        QString body;
        for (int i = 0; body.size() < chars; ++i)
            body += i % 7 ? QStringLiteral("😀🎉") : QStringLiteral("🧑🏿‍💻 word ");
        NoteTextView v;
        v.setReadOnly(true);
        v.resize(900, 700);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.setDocument(NoteDocument::build(textNote(body), {QFont(), Qt::black, {}}));
        v.document()->setParent(&v);
        const auto *layout = dynamic_cast<const NoteDocument::PacedLayout *>(v.document()->documentLayout());
        QVERIFY(layout);
        QTRY_VERIFY_WITH_TIMEOUT(!layout->puttingOff(), kLaidOutMs);
        v.setReadOnly(false);
        v.resize(700, 700);
        QTest::keyClick(&v, Qt::Key_PageDown);
        QTest::keyClick(&v, Qt::Key_End);
        QTest::keyClicks(&v, QStringLiteral("ok"));
        v.resize(800, 700);
        QTextCursor far(v.document());
        far.setPosition(v.document()->characterCount() / 2);
        v.setTextCursor(far);
        QTest::keyClick(&v, Qt::Key_Home, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!layout->puttingOff(), kLaidOutMs);
        QVERIFY2(layout->deepestPieceLayout() <= 3,
                 qPrintable(QString::number(layout->deepestPieceLayout())));
    }

    // Sizing the range of a long line lays out its last screenful, a turn's share at a time: each
    // piece laid out tells the view of a new size, and the view, going over the pieces again from
    // the bottom, asked for the next one from within, so every piece of the screenful was measured
    // in the one turn the first was (a screenful of emoji took a second). Each piece is taken to
    // cost a millisecond here: a turn lays out a few, and the last screenful is still laid out.
    void sizingTheRangeLaysOutATurnsShareAtATime() {
        TestSteadyClock clock;
        clock.setStepMs(1);
        const QString line =
            emojiLine(QStringLiteral("🇺🇦🙂🎉🇩🇪🔥😀 🚀🌟🇯🇵💡🍀 "), 60'000);
        NoteTextView v;
        v.resize(420, 600);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        const QTextDocument *doc = nullptr;
        const NoteDocument::PacedLayout *layout = nullptr;
        int most = 0, atTurn = 0;
        const auto turn = [&] {
            if (!layout) return;
            most = std::max(most, layout->piecesMeasured() - atTurn);
            atTurn = layout->piecesMeasured();
        };
        QAbstractEventDispatcher *loop = QAbstractEventDispatcher::instance();
        const QMetaObject::Connection blocks =
            connect(loop, &QAbstractEventDispatcher::aboutToBlock, this, turn);
        const QMetaObject::Connection wakes = connect(loop, &QAbstractEventDispatcher::awake, this, turn);
        const auto stop = qScopeGuard([&] {
            disconnect(blocks);
            disconnect(wakes);
        });
        v.setDocument(NoteDocument::build(textNote(line), {QFont(), Qt::black, {}}));
        v.document()->setParent(&v);
        doc = v.document();
        layout = dynamic_cast<const NoteDocument::PacedLayout *>(doc->documentLayout());
        QVERIFY(layout);
        atTurn = layout->piecesMeasured();
        QVERIFY(doc->blockCount() > 200);
        // The last piece laid out: the range was fitted to the real lines of the last screenful.
        QTRY_VERIFY_WITH_TIMEOUT(doc->lastBlock().layout() && doc->lastBlock().layout()->lineCount() > 0 &&
                                     !layout->puttingOff(),
                                 kLaidOutMs);
        QVERIFY2(most <= 4, qPrintable(QStringLiteral("%1 pieces in one turn").arg(most)));
        QVERIFY(layout->deepestPieceLayout() <= 3);
    }

    // A line of emoji longer than a reader goes over, typed in once its end was shown (Ctrl+End, and
    // back at the top, or at a cut between pieces in its middle), wraps as the line laid out as one
    // paragraph once the turns are through: the same rows, so the same breaks where a row goes on
    // from one piece to the next. A key measures no more than its own piece and the one after it.
    // Each clock reading takes a millisecond here: a turn has time for a few pieces.
    // Qt shapes a paragraph's text in runs of at most 4096 code units, and a character across the
    // end of one (an emoji's surrogate pair, a flag's two letters) is drawn in halves, wider: the one
    // paragraph compared with is only a fair measure where every such end falls among spaces, before
    // and after the keys typed (each run of the line ends in spaces for it).
    void aLongLineTypedInAfterItsEndWasShownWrapsAsOneParagraph_data() {
        QTest::addColumn<int>("where"); // 0: at the end, 1: back at the top, 2: at a cut in the middle
        QTest::newRow("typed at the end") << 0;
        QTest::newRow("typed back at the top") << 1;
        QTest::newRow("typed at a cut in the middle") << 2;
    }
    void aLongLineTypedInAfterItsEndWasShownWrapsAsOneParagraph() {
        QFETCH(int, where);
        TestSteadyClock clock;
        const QString unit = QStringLiteral("🇺🇦🙂🎉🇩🇪🔥😀 🚀🌟🇯🇵💡🍀 example ");
        QString run = unit.repeated(int((4096 - 8) / unit.size()));
        run += QString(4096 - run.size(), QLatin1Char(' '));
        const QString line = run.repeated(25);
        NoteTextView v;
        QVERIFY(showText(v, line, {420, 300}));
        const auto *layout = dynamic_cast<const NoteDocument::PacedLayout *>(v.document()->documentLayout());
        QVERIFY(layout);
        const auto settled = [&] { return !layout->puttingOff() && LongNoteTest::screenLaidOut(v); };
        QTRY_VERIFY_WITH_TIMEOUT(settled(), kLaidOutMs);
        QTest::keyClick(&v, Qt::Key_End, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(settled() && v.viewport()->rect().contains(v.cursorRect()), kLaidOutMs);
        if (where == 1) {
            QTest::keyClick(&v, Qt::Key_Home, Qt::ControlModifier);
            QTRY_VERIFY_WITH_TIMEOUT(settled() && v.verticalScrollBar()->value() == 0, kLaidOutMs);
        } else if (where == 2) {
            const QTextBlock cut = v.document()->findBlockByNumber(v.document()->blockCount() / 2);
            QVERIFY(NoteDocument::continues(cut));
            QTextCursor c(v.document());
            c.setPosition(cut.position());
            v.setTextCursor(c);
            QTRY_VERIFY_WITH_TIMEOUT(settled() && v.viewport()->rect().contains(v.cursorRect()), kLaidOutMs);
        }
        const int at = storedAt(*v.document(), v.textCursor().position());
        for (const QChar ch : QStringLiteral("ab ")) {
            clock.setStepMs(1);
            const int before = layout->piecesMeasured();
            QTest::keyClick(&v, ch.toLatin1());
            const int measured = layout->piecesMeasured() - before;
            clock.setStepMs(0);
            QVERIFY2(measured <= 2, qPrintable(QStringLiteral("%1 pieces measured by '%2'").arg(measured).arg(ch)));
            QTRY_VERIFY_WITH_TIMEOUT(settled() && v.viewport()->rect().contains(v.cursorRect()), kLaidOutMs);
        }
        QCOMPARE(v.wholeText(), QString(line).insert(at, QStringLiteral("ab ")));
        QCOMPARE(shownRows(v), oneParagraphRows(v, v.wholeText()));
    }

    // The time a long view's layout may take is that of one pass of the event loop, whatever the
    // pass delivers: once it is spent, a paragraph asked for by a drawing queued in the same pass (as
    // a paint after the work that asked for it) is put off to the next pass, not laid out as the
    // first of a turn of its own.
    void aPassOfTheEventLoopIsOneTurn() {
        TestSteadyClock clock;
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        NoteTextView v;
        v.resize(420, 300);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.setDocument(NoteDocument::build(textNote(line), {QFont(), Qt::black, {}}));
        v.document()->setParent(&v);
        auto *layout = dynamic_cast<NoteDocument::PacedLayout *>(v.document()->documentLayout());
        QVERIFY(layout);
        QTRY_VERIFY_WITH_TIMEOUT(!layout->puttingOff() && !layout->guessedHeights(), kLaidOutMs);
        QTextBlock first = v.document()->findBlockByNumber(5), second = first.next();
        QVERIFY(second.isValid() && !first.contains(v.textCursor().position()));
        // Let go of once the drawing the wait left queued (which would lay them out again) is done.
        QCoreApplication::processEvents();
        first.clearLayout();
        second.clearLayout();
        {
            const NoteDocument::PacedLayout::Pacing drawing(v.document(), &v, true);
            layout->blockBoundingRect(first);
        }
        QCOMPARE_GT(first.layout()->lineCount(), 0);
        clock.advanceMs(8); // the turn's time used up
        QCoreApplication::sendPostedEvents();
        {
            const NoteDocument::PacedLayout::Pacing drawing(v.document(), &v, true);
            layout->blockBoundingRect(second);
        }
        QCOMPARE(second.layout()->lineCount(), 0);
        // Laid out on a later pass.
        QTRY_COMPARE_GT_WITH_TIMEOUT(second.layout()->lineCount(), 0, kLaidOutMs);
    }

    // A document handed to a worker (to be read, and deleted there) leaves the window's loop: told
    // of the loop's turns across threads, it was posted to while the worker deleted it, and the
    // window's thread hung in that post. Back on the window's thread, its turns are paced again.
    void aDocumentHandedToAWorkerLeavesTheWindowsLoop() {
        const int alone = turnListeners();
        const std::unique_ptr<QTextDocument> doc(
            NoteDocument::build(textNote(QStringLiteral("a few words\n").repeated(50)), {QFont(), Qt::black, {}}));
        QVERIFY(dynamic_cast<NoteDocument::PacedLayout *>(doc->documentLayout()));
        { const NoteDocument::PacedLayout::Pacing turn(doc.get(), nullptr); }
        QCOMPARE(turnListeners(), alone + 1);
        QThread worker;
        worker.start();
        const auto stop = qScopeGuard([&] {
            worker.quit();
            worker.wait();
        });
        doc->moveToThread(&worker);
        QCOMPARE(turnListeners(), alone);
        QCoreApplication::processEvents();
        QMetaObject::invokeMethod(
            doc.get(), Handover::queued([&] { doc->moveToThread(qApp->thread()); }),
            Qt::BlockingQueuedConnection);
        { const NoteDocument::PacedLayout::Pacing turn(doc.get(), nullptr); }
        QCOMPARE(turnListeners(), alone + 1);
    }

    // A short note holding more colour emoji than a paragraph lays out within a turn is shown as a
    // long one is, laid out as it is drawn; one of words with a few emoji is laid out whole.
    void aShortNoteOfManyEmojiIsLaidOutAsDrawn() {
        const QString emoji = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        const QString words = emojiLine(QStringLiteral("a line of words 🙂 with an emoji now and then\n"), 4096);
        QVERIFY(NoteDocument::isLong(textNote(emoji)));
        QVERIFY(!NoteDocument::isLong(textNote(words)));
        QVERIFY(!NoteDocument::isLong(textNote(emojiLine(QStringLiteral("🔥"), 2 * NoteDocument::kLongEmoji))));
        QVERIFY(NoteDocument::isLong(textNote(emojiLine(QStringLiteral("🔥"), 2 * NoteDocument::kLongEmoji + 2))));
    }
};

QTEST_MAIN(TestLongNoteRows)
#include "tst_long_note_rows.moc"
