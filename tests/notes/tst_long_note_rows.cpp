#include "common/TestEnv.h"
#include "notes/LongNoteText.h"
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>
#include <cmath>
#include <memory>

// A line the document holds in pieces (one dense with emoji) is shown as the one paragraph it is:
// each piece goes on along the row where the one before it ends, so no break shows where the text
// has none.
namespace {
Note textNote(const QString &body) {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Rows"));
    n.id = QStringLiteral("R");
    n.body = body;
    return n;
}

// Where the rows of a view's text start, as offsets into the stored text: every paragraph laid out
// (in order, as a reader scrolling down does) and its lines placed as the view places them.
QList<int> shownRows(LongTextView &v) {
    QTextDocument &doc = *v.document();
    QAbstractTextDocumentLayout *layout = doc.documentLayout();
    QList<int> rows;
    qreal top = 0, lastRow = -1;
    int cuts = 0; // the cuts before a paragraph are no characters of the text
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next()) {
        cuts += LongNote::continues(b);
        const qreal height = layout->blockBoundingRect(b).height();
        const QTextLayout *tl = b.layout();
        for (int i = 0; i < tl->lineCount(); ++i) {
            const QTextLine line = tl->lineAt(i);
            const qreal baseline = std::round(top + line.y() + line.ascent());
            if (baseline > lastRow) rows.push_back(b.position() + line.textStart() - cuts);
            lastRow = std::max(lastRow, baseline);
        }
        top += height;
    }
    return rows;
}

// Where the rows of the same text start when it is laid out as one paragraph at the view's width.
QList<int> oneParagraphRows(LongTextView &v, const QString &text, qreal *height = nullptr) {
    const QTextDocument &doc = *v.document();
    QTextLayout tl(text, doc.defaultFont());
    tl.setTextOption(doc.defaultTextOption());
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

QString emojiLine(const QString &unit, qsizetype chars) {
    QString s;
    while (s.size() < chars)
        s += unit;
    return s;
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
        LongTextView v;
        v.resize(width, 400);
        v.setDocument(LongNote::build(textNote(line + QStringLiteral("\nafter")), {QFont(), Qt::black, {}}));
        v.document()->setParent(&v);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QVERIFY2(v.document()->blockCount() > 3, "the line is held in pieces");
        qreal oneHeight = 0;
        QList<int> want = oneParagraphRows(v, line, &oneHeight);
        want.push_back(int(line.size()) + 1); // the next line
        QCOMPARE(shownRows(v), want);
        // Measured for a view that shows it whole: as tall as the paragraph and the line after it.
        const qreal afterHeight = QFontMetricsF(v.document()->defaultFont()).height();
        const int measured = LongNote::heightAt(*v.document(), v.viewport()->width());
        const qreal whole = oneHeight + afterHeight + 2 * v.document()->documentMargin();
        QVERIFY2(std::abs(measured - whole) <= 2, qPrintable(QStringLiteral("%1 for %2").arg(measured).arg(whole)));
    }

    // Typing in a piece, or in the text before it, moves where the pieces after it go on: the rows
    // are still those of one paragraph, and so they are again after undo.
    void editsBeforeACutRewrapTheRest() {
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        LongTextView v;
        v.resize(420, 400);
        v.setDocument(LongNote::build(textNote(line), {QFont(), Qt::black, {}}));
        v.document()->setParent(&v);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QCOMPARE(shownRows(v), oneParagraphRows(v, line));
        QTextBlock second = v.document()->firstBlock().next();
        QVERIFY(LongNote::continues(second));
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

    // On a row where a piece goes on after the text before it, a click on the piece's part puts the
    // caret there, and a drawing of that row alone (the caret blinking, a selection) shows both parts.
    void theRowAPieceGoesOnAlongActsAsOne() {
        const QString line = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        LongTextView v;
        v.resize(420, 300);
        v.setDocument(LongNote::build(textNote(line), {QFont(), Qt::black, {}}));
        v.document()->setParent(&v);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        shownRows(v); // every paragraph laid out
        // The first piece that goes on along a row.
        QTextBlock piece = v.document()->firstBlock();
        while (piece.isValid() && !(LongNote::continues(piece) && piece.layout()->lineAt(0).y() < 0 &&
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

    // A short note holding more colour emoji than a paragraph lays out within a turn is shown as a
    // long one is, laid out as it is drawn; one of words with a few emoji is laid out whole.
    void aShortNoteOfManyEmojiIsLaidOutAsDrawn() {
        const QString emoji = emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 4096);
        const QString words = emojiLine(QStringLiteral("a line of words 🙂 with an emoji now and then\n"), 4096);
        QVERIFY(LongNote::isLong(textNote(emoji)));
        QVERIFY(!LongNote::isLong(textNote(words)));
        QVERIFY(!LongNote::isLong(textNote(emojiLine(QStringLiteral("🔥"), 2 * LongNote::kLongEmoji))));
        QVERIFY(LongNote::isLong(textNote(emojiLine(QStringLiteral("🔥"), 2 * LongNote::kLongEmoji + 2))));
    }
};

QTEST_MAIN(TestLongNoteRows)
#include "tst_long_note_rows.moc"
