#include "common/EmojiLines.h"
#include "common/Instrumented.h"
#include "common/TestEnv.h"
#include "notes/EmojiAhead.h"
#include "notes/NoteDocument.h"
#include "notes/NoteTextView.h"
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>
#include <memory>
#include <utility>

namespace {
const int kWaitMs = scaledWaitMs(30000);
} // namespace

// The pointer over a long line of emoji held in pieces: Qt's handlers of a move and of a press looked
// over every paragraph of the document for a check box marker, which the view handles without.
class TestLongNotePointer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // Opening a long text of emoji draws the emoji it starts with ahead while its document is built,
    // each one once and a few per turn: the view's first paint decoded them all in one go.
    void theEmojiALongTextStartsWithAreDrawnAheadAFewATurn() {
        const int before = NoteDocument::emojiDrawnAhead();
        QObject receiver;
        std::unique_ptr<QTextDocument> got;
        // Nine emoji: flags, a skin tone, a joined pair, one shown in colour by its selector.
        NoteDocument::buildLater(textNote(emojiLine(QStringLiteral("🇺🇦🇩🇪🇯🇵🙂🎉🔥👍🏽👩‍💻❤️ words "), 60000)),
                                 {QFont(), Qt::black, {}}, &receiver, [&](QTextDocument *d) { got.reset(d); });
        QCOMPARE(NoteDocument::emojiDrawnAhead(), before);
        int most = 0;
        for (int turns = 0; turns < 100 && NoteDocument::emojiDrawnAhead() - before < 9; ++turns) {
            const int was = NoteDocument::emojiDrawnAhead();
            QCoreApplication::processEvents();
            most = std::max(most, NoteDocument::emojiDrawnAhead() - was);
        }
        QCOMPARE(NoteDocument::emojiDrawnAhead() - before, 9);
        QVERIFY2(most <= 2, qPrintable(QString::number(most)));
        QTRY_VERIFY_WITH_TIMEOUT(got != nullptr, kWaitMs);
    }

    // A pointer moved over the text with no button down looks at no paragraph off the screen. Qt went
    // over every piece of the line at each move, looking for a check box marker (which a plain view
    // never draws), and laid out the one it found far below.
    void aPointerMovedOverTheTextLooksAtNoParagraphOffScreen() {
        NoteTextView v;
        QVERIFY(showText(v, emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 40000), {420, 300}));
        QTextBlock last = v.document()->lastBlock();
        QVERIFY(NoteDocument::continues(last));
        QTextBlockFormat marked = last.blockFormat();
        marked.setMarker(QTextBlockFormat::MarkerType::Unchecked);
        QTextCursor(last).setBlockFormat(marked);
        last.clearLayout();
        for (const QPoint at : {QPoint(40, 40), QPoint(200, 120)}) {
            QMouseEvent move(QEvent::MouseMove, at, v.viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QCoreApplication::sendEvent(v.viewport(), &move);
        }
        QCOMPARE(last.layout()->lineCount(), 0);
        QCOMPARE(v.viewport()->cursor().shape(), Qt::IBeamCursor);
    }

    // Nor does a click, a shift-click, a drag or a double or triple click (Qt's press went over every
    // piece for a check box marker), and each still places the caret or selects as it did.
    void aClickIntoTheTextLooksAtNoParagraphOffScreen() {
        NoteTextView v;
        QVERIFY(showText(v, emojiLine(QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example "), 40000), {420, 300}));
        QTextDocument *doc = v.document();
        QTextBlock last = doc->lastBlock();
        QTextBlockFormat marked = last.blockFormat();
        marked.setMarker(QTextBlockFormat::MarkerType::Unchecked);
        QTextCursor(last).setBlockFormat(marked);
        last.clearLayout();
        const QTextBlock first = doc->firstBlock();
        const int word = first.position() + first.text().indexOf(QStringLiteral("words"));
        const auto at = [&](int pos) {
            QTextCursor c(doc);
            c.setPosition(pos);
            const QRect r = v.cursorRect(c);
            return QPoint(r.x() + 1, r.center().y());
        };
        const auto send = [&](QEvent::Type type, QPoint p, Qt::MouseButtons down, Qt::KeyboardModifiers keys = {}) {
            QMouseEvent e(type, p, v.viewport()->mapToGlobal(p), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          down, keys);
            QCoreApplication::sendEvent(v.viewport(), &e);
        };
        const auto click = [&](int pos, Qt::KeyboardModifiers keys = {}) {
            send(QEvent::MouseButtonPress, at(pos), Qt::LeftButton, keys);
            send(QEvent::MouseButtonRelease, at(pos), Qt::NoButton, keys);
        };
        const auto selected = [&] { return std::pair(v.textCursor().anchor(), v.textCursor().position()); };

        click(word + 2);
        QCOMPARE(selected(), std::pair(word + 2, word + 2));
        click(word + 4, Qt::ShiftModifier);
        QCOMPARE(selected(), std::pair(word + 2, word + 4));
        click(word + 3); // in the selection, let go of where pressed
        QCOMPARE(selected(), std::pair(word + 3, word + 3));
        send(QEvent::MouseButtonPress, at(word), Qt::LeftButton);
        send(QEvent::MouseMove, at(word + 8), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, at(word + 8), Qt::NoButton);
        QCOMPARE(selected(), std::pair(word, word + 8));

        // A double click selects the word, and a drag from it goes on by words: to the nearer end of
        // the word under the pointer.
        const int example = word + 17;
        click(word + 2);
        send(QEvent::MouseButtonDblClick, at(word + 2), Qt::LeftButton);
        QCOMPARE(v.textCursor().selectedText(), QStringLiteral("words"));
        send(QEvent::MouseMove, at(example + 2), Qt::LeftButton);
        QCOMPARE(selected(), std::pair(word, example));
        send(QEvent::MouseMove, at(example + 5), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, at(example + 5), Qt::NoButton);
        QCOMPARE(selected(), std::pair(word, example + 7));
        // A third click selects the paragraph.
        click(word + 2);
        send(QEvent::MouseButtonDblClick, at(word + 2), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, at(word + 2), Qt::NoButton);
        click(word + 2);
        QCOMPARE(selected(), std::pair(first.position(), first.position() + first.length()));

        QCOMPARE(last.layout()->lineCount(), 0);
    }
};

QTEST_MAIN(TestLongNotePointer)
#include "tst_long_note_pointer.moc"
