#include "common/DocRows.h"
#include "common/Instrumented.h"
#include "common/TestEnv.h"
#include "notes/NoteDocument.h"
#include "notes/NoteTextView.h"
#include "notes/PacedLayout.h"
#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>
#include <cmath>
#include <malloc.h>
#include <vector>

// A long note's document comes to its view from a worker (built, or edited, or read for a save) and
// is taken as it is: nothing of it laid out again for the taking, and every paragraph laid out at
// the width of the view that shows it, as a document built at once is.
namespace {
Note textNote(const QString &body) {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Handed back"));
    n.id = QStringLiteral("H");
    n.body = body;
    return n;
}

QString repeated(const QString &unit, qsizetype chars) {
    QString s;
    while (s.size() < chars)
        s += unit;
    return s;
}

// A line of emoji held in pieces, a paragraph of words a few rows long, and a short line.
QString mixedText() {
    return repeated(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "),
                    60 * 4 * NoteDocument::kPieceEmoji) +
           u'\n' + repeated(QStringLiteral("plain words wrap at the view "), 3000) +
           QStringLiteral("\nafter");
}

// Made once the application is there: a font made before it has no size, and emoji in it no height.
NoteDocument::Style textStyle() {
    return {QFont(), Qt::black, {}};
}

QTextDocument *builtLater(const QString &body, QObject *owner, const NoteDocument::Style &style = textStyle()) {
    QTextDocument *made = nullptr;
    NoteDocument::buildLater(textNote(body), style, owner, [&made](QTextDocument *d) { made = d; });
    if (!QTest::qWaitFor([&] { return made != nullptr; }, 60000)) return nullptr;
    made->setParent(owner);
    return made;
}

// Every paragraph laid out, as a reader scrolling down has them: where each line of a paragraph of
// its own (no line in pieces) starts, and how wide its text is. Each line of every paragraph, pieces
// included, fits the view.
QList<std::pair<int, int>> shownLines(const QTextDocument &doc, qreal lineWidth) {
    QAbstractTextDocumentLayout *layout = doc.documentLayout();
    QList<std::pair<int, int>> lines;
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next()) {
        layout->blockBoundingRect(b);
        const QTextLayout *tl = b.layout();
        const bool own =
            !NoteDocument::continues(b) && !(b.next().isValid() && NoteDocument::continues(b.next()));
        for (int i = 0; i < tl->lineCount(); ++i) {
            const QTextLine line = tl->lineAt(i);
            if (line.naturalTextWidth() > lineWidth + 1) return {{-1, int(line.naturalTextWidth())}};
            if (own)
                lines.push_back({b.position() + line.textStart(), int(std::round(line.naturalTextWidth()))});
        }
    }
    return lines;
}

// The same of the same text in a document built at once, shown in a view as wide.
QList<std::pair<int, int>> linesBuiltAtOnce(const QString &text, QSize size) {
    NoteTextView ref;
    ref.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn); // as wide as the view compared with
    ref.resize(size);
    QTextDocument *doc = NoteDocument::build(textNote(text), textStyle());
    doc->setParent(&ref);
    ref.setDocument(doc);
    ref.show();
    if (!QTest::qWaitForWindowExposed(&ref)) return {};
    return shownLines(*doc, ref.viewport()->width() - 2 * doc->documentMargin());
}

// Bytes the heap holds in use (the allocator's own count: no page of it, nor the speed of the
// machine, comes into it).
qint64 heapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks) + qint64(m.hblkhd);
}

// The rows a view shows, as its paragraphs are laid out now (nothing laid out for asking): from the
// second one (the first may go on along a row above the screen) down to the view's bottom edge; -1
// for a paragraph on the screen not laid out.
QList<int> rowsOnScreen(NoteTextView &v) {
    const QTextDocument &doc = *v.document();
    const QTextBlock first = doc.findBlockByLineNumber(v.verticalScrollBar()->value());
    int cuts = 0;
    for (QTextBlock b = doc.firstBlock(); b.isValid() && b != first; b = b.next())
        cuts += NoteDocument::continues(b);
    QList<int> rows;
    qreal top = 0, lastRow = -1e9;
    for (QTextBlock b = first; b.isValid() && top < v.viewport()->height(); b = b.next()) {
        cuts += NoteDocument::continues(b);
        const QTextLayout *tl = b.layout();
        if (!tl || tl->lineCount() == 0) return rows << -1;
        for (int i = 0; i < tl->lineCount(); ++i) {
            const QTextLine line = tl->lineAt(i);
            const qreal baseline = std::round(top + line.y() + line.ascent());
            if (baseline > lastRow) rows.push_back(b.position() + line.textStart() - cuts);
            lastRow = std::max(lastRow, baseline);
        }
        top += tl->boundingRect().bottom();
    }
    return rows.mid(1);
}

std::vector<int> lineCounts(const QTextDocument &doc, int paragraphs) {
    std::vector<int> counts;
    for (QTextBlock b = doc.firstBlock(); b.isValid() && b.blockNumber() < paragraphs; b = b.next())
        counts.push_back(b.layout() ? b.layout()->lineCount() : -1);
    return counts;
}
} // namespace

class TestLongNoteHandback : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // A line of a few hundred pieces shown from its end, its middle, and scrolled a page at a time up
    // and down, its pieces laid out a turn's share at a time: every screen shows the rows of the same
    // text built at once and laid out from its start. A piece laid out before the one ahead of it started a row of
    // its own, and the rows below it wrapped otherwise, until the reader had seen every piece above.
    void aLineShownFromAnywhereWrapsAsLaidOutInOrder_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("width");
        const QString words = repeated(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 16 * 1024);
        const QString run = repeated(QStringLiteral("🔥😀🎉"), 16 * 1024);
        const QString flags = repeated(QStringLiteral("🇺🇦🇩🇪🇯🇵🙂🎉👍🏽"), 16 * 1024);
        for (int width : {300, 583}) {
            QTest::addRow("words %d", width) << words << width;
            QTest::addRow("emoji only %d", width) << run << width;
            QTest::addRow("flags %d", width) << flags << width;
        }
    }
    void aLineShownFromAnywhereWrapsAsLaidOutInOrder() {
        QFETCH(QString, line);
        QFETCH(int, width);
        const QString text = line + QStringLiteral("\nafter");
        QList<int> inOrder;
        {
            NoteTextView rv;
            QTextDocument *ref = NoteDocument::build(textNote(text), textStyle());
            QVERIFY(ref);
            ref->setParent(&rv);
            rv.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            rv.resize(width, 300);
            rv.setDocument(ref);
            rv.show();
            QVERIFY(QTest::qWaitForWindowExposed(&rv));
            inOrder = rowsInOrder(*ref);
        }
        NoteTextView v;
        v.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        v.resize(width, 300);
        QTextDocument *doc = builtLater(text, &v);
        QVERIFY(doc);
        auto *paced = dynamic_cast<NoteDocument::PacedLayout *>(doc->documentLayout());
        QVERIFY(paced);
        // A few pieces a turn, however fast the machine.
        TestSteadyClock clock;
        clock.setStepMs(2);
        v.setDocument(doc);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QScrollBar *bar = v.verticalScrollBar();
        const auto shownAsInOrder = [&](const char *where) -> QString {
            // Settled: a few turns in a row with nothing put off and every paragraph shown laid out.
            for (int turn = 0, calm = 0; turn < 4000 && calm < 4; ++turn) {
                QCoreApplication::processEvents();
                calm = paced->puttingOff() || rowsOnScreen(v).contains(-1) ? 0 : calm + 1;
            }
            const QList<int> rows = rowsOnScreen(v);
            const qsizetype at = rows.isEmpty() ? -1 : inOrder.indexOf(rows.front());
            if (rows.size() < 3 || at < 0 || inOrder.mid(at, rows.size()) != rows)
                return QStringLiteral("%1 (at %2 of %3): rows %4").arg(QLatin1String(where)).arg(bar->value()).arg(bar->maximum())
                    .arg(QString::number(rows.value(0)) + u' ' + QString::number(rows.value(1)) + u' ' + QString::number(rows.value(2)));
            return {};
        };
        const auto check = [&](const char *where) {
            const QString wrong = shownAsInOrder(where);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        };
        check("top");
        bar->setValue(bar->maximum());
        check("end");
        for (int page = 0; page < 6; ++page) {
            bar->triggerAction(QAbstractSlider::SliderPageStepSub);
            check("a page up");
        }
        bar->setValue(bar->maximum() / 2);
        check("middle");
        for (int page = 0; page < 6; ++page) {
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            check("a page down");
        }
    }

    // Taken back from a worker (as after an undo or a save), the document keeps the lines its
    // paragraphs had: the view goes over none of them (Qt's own view lets go of every paragraph's
    // lines, hundreds of thousands of pieces for a line of 50 MB of emoji), and lays none out again.
    void aDocumentTakenBackKeepsItsLines() {
        NoteTextView v;
        v.resize(420, 300);
        QTextDocument *doc = builtLater(mixedText(), &v);
        QVERIFY(doc);
        auto *paced = dynamic_cast<NoteDocument::PacedLayout *>(doc->documentLayout());
        QVERIFY(paced && paced->standsIn());
        v.setDocument(doc);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QTRY_VERIFY(!paced->puttingOff() && doc->firstBlock().layout()->lineCount() > 0);
        const std::vector<int> shown = lineCounts(*doc, 12);
        v.setDocument(nullptr);
        const int laidOut = paced->paragraphsLaidOut();
        v.setDocument(doc);
        QCOMPARE(lineCounts(*doc, 12), shown);
        QCOMPARE(paced->paragraphsLaidOut(), laidOut);
    }

    // A piece of a long line has a layout object of its own only once it is laid out: made for
    // every piece of a 50 MB line of emoji (when its document was built, and again when a delete
    // of it all was undone), they held 230 MB for a screenful shown. The heap a piece holds is
    // its text, its paragraph and its formats: well under what a layout object adds (~320 bytes).
    void aPieceNeverShownHoldsNoLayout() {
        if (kSanitized) QSKIP("a sanitizer's allocator is not the program's");
        constexpr int kPieces = 8000;
        const QString line = repeated(QStringLiteral("🇺🇦🇩🇪🙂🎉🔥👍🏽👩‍💻🚀🌟❤️🏳️‍🌈😀💡 example "), kPieces * 100);
        NoteTextView v;
        v.resize(420, 300);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        const qint64 before = heapInUse();
        // A font of a definite size, as the app's: heights guessed for pieces put off are its rows.
        QFont font(QStringLiteral("Sans Serif"));
        font.setPixelSize(13);
        QTextDocument *doc = builtLater(line, &v, {font, Qt::black, {}});
        QVERIFY(doc);
        QVERIFY(doc->blockCount() >= kPieces);
        const auto perPiece = [&](qint64 from) { return (heapInUse() - from) / doc->blockCount(); };
        // The text's own bytes (twice over at most, as a string grows) aside.
        const qint64 built = perPiece(before + 4 * line.size());
        v.setDocument(doc);
        auto *paced = dynamic_cast<NoteDocument::PacedLayout *>(doc->documentLayout());
        QTRY_VERIFY(paced && doc->firstBlock().layout()->lineCount() > 0);
        const qint64 shown = perPiece(before + 4 * line.size());
        QVERIFY2(built < 200 && shown < 200, qPrintable(QStringLiteral("%1 / %2 bytes a piece").arg(built).arg(shown)));

        // Keys typed in the line's first paragraph, its widest row narrowing now and then: Qt looked
        // for the widest paragraph again, making a layout object for every piece as it went.
        v.setFocus();
        v.setTextCursor(QTextCursor(doc));
        const qint64 typing = heapInUse();
        for (const Qt::Key key : {Qt::Key_W, Qt::Key_W, Qt::Key_W, Qt::Key_W, Qt::Key_Backspace, Qt::Key_Backspace,
                                  Qt::Key_Backspace, Qt::Key_Backspace})
            QTest::keyClick(&v, key);
        QCoreApplication::processEvents();
        QCOMPARE(NoteDocument::wholeText(*doc), line);
        const qint64 typed = perPiece(typing);
        QVERIFY2(typed < 100, qPrintable(QStringLiteral("%1 bytes a piece").arg(typed)));

        // All of it deleted, and the delete undone: the pieces come back without layouts.
        QTextCursor all(doc);
        all.select(QTextCursor::Document);
        all.removeSelectedText();
        QCoreApplication::processEvents();
        const qint64 deleted = heapInUse();
        doc->undo();
        QVERIFY(doc->blockCount() >= kPieces);
        QCoreApplication::processEvents();
        const qint64 undone = perPiece(deleted);
        QVERIFY2(undone < 200, qPrintable(QStringLiteral("%1 bytes a piece").arg(undone)));
        QCOMPARE(NoteDocument::wholeText(*doc), line);
    }

    // The looks given to the emoji of a paragraph laid out on a worker (the document being built)
    // are told to the document as a change of that paragraph, which, not told yet, the first key
    // typed took in as its own: the paragraphs the key seemed to have put in became new lines, and
    // the cut after the line's first paragraph was stored as a line break.
    void theFirstKeyTypedStoresNoBreak() {
        const QString line = repeated(QStringLiteral("🇺🇦🇩🇪🙂🎉🔥👍🏽👩‍💻🚀🌟❤️🏳️‍🌈😀💡 example "), 200 * 100);
        NoteTextView v;
        v.resize(420, 300);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QFont font(QStringLiteral("Sans Serif"));
        font.setPixelSize(13);
        QTextDocument *doc = builtLater(line, &v, {font, Qt::black, {}});
        QVERIFY(doc);
        v.setDocument(doc);
        QTRY_VERIFY(doc->firstBlock().layout()->lineCount() > 0);
        v.setFocus();
        v.setTextCursor(QTextCursor(doc));
        QTest::keyClick(&v, Qt::Key_X);
        QTest::keyClick(&v, Qt::Key_Backspace);
        QCOMPARE(NoteDocument::wholeText(*doc), line);
    }

    // Shown, resized, and edited on the window's thread and on a worker, a document built on a
    // worker has the rows of one built at once at each width: its plain paragraph wraps at the
    // view's width, not at the hidden view's that took it first, and nothing scrolls sideways.
    void aDocumentFromAWorkerWrapsAtItsViewsWidth() {
        NoteTextView v;
        v.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        v.resize(640, 300);
        QString text = mixedText();
        QTextDocument *doc = builtLater(text, &v);
        QVERIFY(doc);
        v.setDocument(doc);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QCOMPARE(shownLines(*doc, v.viewport()->width() - 2 * doc->documentMargin()),
                 linesBuiltAtOnce(text, v.size()));
        QCOMPARE(v.horizontalScrollBar()->maximum(), 0);

        v.resize(300, 300);
        QCoreApplication::processEvents();
        QCOMPARE(shownLines(*doc, v.viewport()->width() - 2 * doc->documentMargin()),
                 linesBuiltAtOnce(text, v.size()));
        QCOMPARE(v.horizontalScrollBar()->maximum(), 0);

        // Typed into the plain paragraph.
        int plainAt = -1;
        for (QTextBlock b = doc->firstBlock(); b.isValid() && plainAt < 0; b = b.next())
            if (b.text().startsWith(QStringLiteral("plain words"))) plainAt = b.position();
        QVERIFY(plainAt > 0);
        QTextCursor(doc->findBlock(plainAt)).insertText(QStringLiteral("typed "));
        text.insert(text.indexOf(u'\n') + 1, QStringLiteral("typed "));

        // Edited on a worker while another document is shown, and taken back.
        v.setDocument(nullptr);
        bool back = false;
        NoteDocument::editLater(
            doc,
            [plainAt](QTextDocument &d) {
                QTextCursor c(&d);
                c.setPosition(plainAt);
                c.insertText(QStringLiteral("more "));
                return c.position();
            },
            &v,
            [&](QTextDocument *d, int) {
                d->setParent(&v);
                v.setDocument(d);
                back = true;
            });
        QTRY_VERIFY_WITH_TIMEOUT(back, 60000);
        text.insert(text.indexOf(u'\n') + 1, QStringLiteral("more "));
        QCOMPARE(NoteDocument::wholeText(*doc), text);
        QCOMPARE(shownLines(*doc, v.viewport()->width() - 2 * doc->documentMargin()),
                 linesBuiltAtOnce(text, v.size()));
    }
};

QTEST_MAIN(TestLongNoteHandback)
#include "tst_long_note_handback.moc"
