#include "common/Instrumented.h"
#include "common/RichNotes.h"
#include "common/ShownNotesPage.h"
#include "common/TestEnv.h"
#include "notes/FormatBar.h"
#include "notes/NoteFind.h"
#include "notes/NoteStore.h"
#include "notes/NoteTextView.h"
#include "notes/NotesView.h"
#include "notes/PacedLayout.h"
#include "notes/RichTextView.h"
#include "notes/RtfCodec.h"
#include "notes/TextViewOps.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QWheelEvent>
#include <QtTest>
#include <memory>

// Find, the reader's place after a save and the floating format bar, on a note short enough to be
// laid out whole and on one long enough to be shown by the long note's view.
namespace {
const QColor kCurrent = QColor::fromRgbF(1.0f, 0.55f, 0.1f, 0.75f);
const QColor kOther = QColor::fromRgbF(1.0f, 0.85f, 0.2f, 0.55f);

void settle() {
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

struct FindPage : ShownNotesPage {
    explicit FindPage(const Note &n) : ShownNotesPage({n}) {}
};

// Scrolls whatever scrolls the view's text so that the line at pos is cut by the bottom edge.
bool cutAtBottom(QAbstractScrollArea *v, int pos) {
    QScrollBar *sb = v->verticalScrollBar();
    QWidget *clip = v->viewport();
    // A short note's view is as tall as its text and the scroll area around it scrolls. Its own
    // range is not looked at: while paragraphs put off on a busy machine keep their guessed
    // heights it may not be 0 yet.
    if (v->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff || sb->maximum() == 0) {
        for (QWidget *w = v->parentWidget(); w; w = w->parentWidget())
            if (auto *a = qobject_cast<QScrollArea *>(w)) {
                sb = a->verticalScrollBar();
                clip = a->viewport();
                break;
            }
    }
    QTextCursor c(TextViewOps::document(v));
    c.setPosition(pos);
    for (int value = sb->minimum(); value <= sb->maximum(); ++value) {
        sb->setValue(value);
        const QRect r = TextViewOps::cursorRect(v, c);
        const int top = v->viewport()->mapTo(clip, r.topLeft()).y();
        if (top < clip->height() && top + r.height() > clip->height()) return true;
    }
    return false;
}

// The nine characters that begin the line first shown: "Line 0040".
QString firstShownLine(QAbstractScrollArea *v) {
    QTextCursor c = TextViewOps::cursorForPosition(
        v, v->viewport()->visibleRegion().boundingRect().topLeft() + QPoint(1, 1));
    c.movePosition(QTextCursor::StartOfLine);
    c.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 9);
    return c.selectedText();
}

QColor highlightAt(QAbstractScrollArea *v, int start) {
    for (const QTextEdit::ExtraSelection &s : TextViewOps::extraSelections(v))
        if (s.cursor.selectionStart() == start) return s.format.background().color();
    return {};
}
} // namespace

class TestNoteFind : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    void findMarksScrollsAndSteps_data() { shortAndLongRows("bytes"); }
    // Every match in sight is marked, the current one in its own colour and on the screen; ▶, ◀ and
    // Return step with wrap-around, each step bringing the match into view.
    void findMarksScrollsAndSteps() {
        QFETCH(int, bytes);
        int needles = 0;
        const Note n = numberedNote(QStringLiteral("N"), bytes, &needles);
        QCOMPARE(NoteDocument::isLong(n), bytes > 8 * 1024);
        FindPage p(n);
        NotesView &page = *p.view;
        page.selectNote(n.id);
        QTRY_VERIFY(page.findView());
        page.showFindBar();
        settle(); // the detail is laid out again around the bar
        auto *field = page.findChild<QLineEdit *>(QStringLiteral("findField"));
        QVERIFY(field);
        field->setText(QStringLiteral("needle"));
        QTest::keyClick(field, Qt::Key_Return);
        const QString total = QStringLiteral(" / %1").arg(needles);
        QTRY_COMPARE(page.findCountText(), QStringLiteral("1") + total);
        QCOMPARE(page.findMatchCount(), needles);
        const auto check = [&](int index) {
            QAbstractScrollArea *v = page.findView();
            QCOMPARE(page.findCurrentIndex(), index);
            QCOMPARE(page.findCountText(), QString::number(index + 1) + total);
            const auto [start, length] = page.findTextRanges()[size_t(index)];
            QCOMPARE(length, 6);
            QTRY_VERIFY2(onScreen(v, start), qPrintable(QStringLiteral("match %1 not shown").arg(index)));
            QCOMPARE(highlightAt(v, start), kCurrent);
            // Every other match on the screen is marked too.
            int shown = 0;
            for (size_t i = 0; i < page.findTextRanges().size(); ++i) {
                const int s = page.findTextRanges()[i].first;
                if (int(i) == index || !onScreen(v, s)) continue;
                ++shown;
                QTRY_COMPARE(highlightAt(v, s), kOther);
            }
            QVERIFY(shown > 0);
        };
        check(0);
        if (QTest::currentTestFailed()) return;
        QPushButton *prev = nullptr, *next = nullptr;
        for (QPushButton *b : page.findChildren<QPushButton *>()) {
            if (b->text() == QStringLiteral("◀")) prev = b;
            if (b->text() == QStringLiteral("▶")) next = b;
        }
        QVERIFY(prev && next);
        QTest::mouseClick(prev, Qt::LeftButton); // wraps to the last
        check(needles - 1);
        QTest::mouseClick(next, Qt::LeftButton);
        check(0);
        if (QTest::currentTestFailed()) return;
        for (int i = 1; i < needles; ++i) {
            if (i % 2)
                QTest::keyClick(field, Qt::Key_Return); // the same text again: the next match
            else
                QTest::mouseClick(next, Qt::LeftButton);
            check(i);
            if (QTest::currentTestFailed()) return;
        }
        // A match on a line cut by the bottom edge is brought into view whole.
        const int half = needles / 2;
        while (page.findCurrentIndex() != half - 1) QTest::mouseClick(next, Qt::LeftButton);
        const int middle = page.findTextRanges()[size_t(half)].first;
        // A short note's view ends up with no range of its own, also where paragraphs were put off.
        if (bytes < 8 * 1024) QTRY_COMPARE(page.findView()->verticalScrollBar()->maximum(), 0);
        QVERIFY(cutAtBottom(page.findView(), middle));
        QVERIFY(!onScreen(page.findView(), middle));
        QTest::mouseClick(next, Qt::LeftButton);
        check(half);
        // Another text searches again from its first match; closing the bar takes the marks away.
        field->setText(QStringLiteral("line 000"));
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE(page.findCountText(), QStringLiteral("1 / 10"));
        page.hideFindBar();
        QVERIFY(TextViewOps::extraSelections(page.findView()).isEmpty());
    }

    void findFollowsTypingInTheEditor_data() { shortAndLongRows("bytes"); }
    // The editor is searched too: text typed before a match moves its mark along, text typed into
    // one takes it away, a format changes nothing.
    void findFollowsTypingInTheEditor() {
        QFETCH(int, bytes);
        int needles = 0;
        const Note n = numberedNote(QStringLiteral("E"), bytes, &needles);
        FindPage p(n);
        NotesView &page = *p.view;
        page.selectNote(n.id);
        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        page.showFindBar();
        settle();
        page.runFind(QStringLiteral("needle"));
        QTRY_COMPARE(page.findMatchCount(), needles);
        QAbstractScrollArea *v = page.findView();
        const auto starts = [&] {
            std::vector<int> out;
            for (const auto &r : page.findTextRanges()) out.push_back(r.first);
            return out;
        };
        const std::vector<int> before = starts();
        QTextCursor c(TextViewOps::document(v));
        c.insertText(QStringLiteral("xx"));
        std::vector<int> after = starts();
        QCOMPARE(after.size(), before.size());
        for (size_t i = 0; i < after.size(); ++i) QCOMPARE(after[i], before[i] + 2);
        c.setPosition(after[0]);
        c.setPosition(after[0] + 6, QTextCursor::KeepAnchor);
        c.setCharFormat(QTextCharFormat()); // a format only
        QCOMPARE(starts(), after);
        c.setPosition(after[0] + 3);
        c.insertText(QStringLiteral("y"));
        QCOMPARE(page.findMatchCount(), needles - 1);
        QCOMPARE(page.findTextRanges()[0].first, after[1] + 1);
        QCOMPARE(page.findCountText(), QStringLiteral("1 / %1").arg(needles - 1));
        QTRY_COMPARE(highlightAt(v, after[1] + 1), kCurrent);
    }

    // A key typed with the find bar open marks the matches around what it changed only once the
    // view's layout knows of the edit: marked while the document was still telling of it, the
    // paragraphs they reached were laid out as they were, and the looks given to their emoji were
    // told as part of the key, which then had every one of them measured again at once.
    void typingWithTheFindBarOpenLaysOutNothingWhileTheEditIsTold() {
        Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Emoji line"));
        n.id = QStringLiteral("L");
        while (n.body.size() < 12 * 1024) n.body += QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example ");
        FindPage p(n);
        NotesView &page = *p.view;
        page.selectNote(n.id);
        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        QAbstractScrollArea *v = page.findView();
        QTextDocument *doc = TextViewOps::document(v);
        const auto *layout = dynamic_cast<const NoteDocument::PacedLayout *>(doc->documentLayout());
        QVERIFY(layout);
        // What has been laid out when the document starts telling of an edit, and when the find bar
        // has followed it (connected after it, once the find runs).
        const auto laidOut = [&] { return layout->paragraphsLaidOut() + layout->piecesMeasured(); };
        int atStart = -1, afterFind = -1;
        connect(doc, &QTextDocument::contentsChange, &page, [&] { atStart = laidOut(); });
        v->setFocus();
        QTest::keyClick(v, Qt::Key_End, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!layout->puttingOff(), scaledWaitMs(5000));
        settle();
        page.showFindBar();
        settle();
        page.runFind(QStringLiteral("example"));
        QTRY_VERIFY(page.findSettled() && page.findMatchCount() > 0);
        connect(doc, &QTextDocument::contentsChange, &page, [&] { afterFind = laidOut(); });
        // Typed at the end, where the caret stayed (the find showed its first match, at the top): the
        // view goes back there. The screens above the one shown are not laid out (a jump lays out
        // what it shows, but a loaded machine may lay out more meanwhile: they are let go of here).
        v->setFocus();
        for (const QChar ch : QStringLiteral("exa")) {
            const QTextBlock top = TextViewOps::cursorForPosition(v, QPoint(1, 1)).block();
            for (QTextBlock b = top.previous(); b.isValid(); b = b.previous()) b.clearLayout();
            atStart = afterFind = -1;
            QTest::keyClick(v, ch.toLatin1());
            QVERIFY(atStart >= 0);
            QCOMPARE(afterFind, atStart);
            QTRY_VERIFY(!layout->puttingOff());
            settle();
        }
        // And marked on the next turn.
        QTRY_VERIFY(!TextViewOps::extraSelections(v).isEmpty());
    }

    // The find bar takes room from the detail, which is built again around the same view: the
    // paragraphs on the screen keep their layouts instead of being laid out again (a screenful of a
    // long note's paragraphs takes longer than a turn).
    void showingTheFindBarLaysOutNothingAnew() {
        int needles = 0;
        const Note n = numberedNote(QStringLiteral("R"), 12 * 1024, &needles);
        FindPage p(n);
        NotesView &page = *p.view;
        page.selectNote(n.id);
        QTRY_VERIFY(page.findView());
        QAbstractScrollArea *v = page.findView();
        const auto *layout = dynamic_cast<const NoteDocument::PacedLayout *>(TextViewOps::document(v)->documentLayout());
        QVERIFY(layout);
        QTRY_VERIFY(layout->paragraphsLaidOut() > 0 && !layout->puttingOff());
        settle();
        const int before = layout->paragraphsLaidOut();
        const QString place = firstShownLine(v);
        page.showFindBar();
        settle();
        QTRY_VERIFY(page.findView() && page.findView()->isVisible());
        QCOMPARE(page.findView(), v);
        settle();
        // A screenful laid out anew is several paragraphs; on a busy machine one put off before may
        // be laid out meanwhile.
        QVERIFY2(layout->paragraphsLaidOut() <= before + 1,
                 qPrintable(QStringLiteral("%1 laid out, %2 before").arg(layout->paragraphsLaidOut()).arg(before)));
        QCOMPARE(firstShownLine(v), place);
    }

    // A short note's view is as tall as its text. Heights guessed while it sized its range (the
    // turn spent on a busy machine) must not leave it a range once the paragraphs are laid out,
    // though laying them out changes no line count.
    void aShortNotesRangeIsSizedAgainOnceLaidOut() {
        TestSteadyClock clock;
        const Note n = numberedNote(QStringLiteral("S"), 4 * 1024);
        FindPage p(n);
        NotesView &page = *p.view;
        page.selectNote(n.id);
        QTRY_VERIFY(page.findView());
        auto *v = qobject_cast<QPlainTextEdit *>(page.findView());
        QVERIFY(v && v->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff);
        QTextDocument *doc = v->document();
        auto *layout = dynamic_cast<NoteDocument::PacedLayout *>(doc->documentLayout());
        QVERIFY(layout);
        QTRY_COMPARE(v->verticalScrollBar()->maximum(), 0);
        settle();
        // A few paragraphs, which the next drawing lays out in one turn without putting any off.
        QTextBlock b = doc->lastBlock();
        for (int i = 0; i < 8; ++i, b = b.previous()) b.clearLayout();
        {
            const NoteDocument::PacedLayout::Pacing pacing(doc, v);
            clock.advanceMs(10); // the turn is spent: the paragraphs not laid out are put off
            emit layout->documentSizeChanged(layout->documentSize());
        }
        QVERIFY(v->verticalScrollBar()->maximum() > 0);
        QTRY_COMPARE(v->verticalScrollBar()->maximum(), 0);
    }

    void findCountsWhatTheEditorChanges_data() {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("oneLine");
        QTest::newRow("4 KB") << 4 * 1024 << false;
        QTest::newRow("12 KB") << 12 * 1024 << false;
        QTest::newRow("60 KB") << 60 * 1024 << false;
        QTest::newRow("one line of 100 KB") << 100 * 1024 << true;
    }
    // With the bar open in the editor, a match typed or pasted is counted and marked as it is made,
    // one edited away drops out, and the current match stays the one the user was on; a query that
    // found nothing finds what is typed after.
    void findCountsWhatTheEditorChanges() {
        QFETCH(int, bytes);
        QFETCH(bool, oneLine);
        int needles = 0;
        Note n = numberedNote(QStringLiteral("T"), bytes, &needles);
        if (oneLine) {
            // A line cut into pieces: a match may be made across a cut.
            n.bodyRTF.reset();
            n.body.clear();
            needles = 0;
            for (int i = 0; n.body.size() < bytes; ++i)
                if (i % 10)
                    n.body += QStringLiteral("words and more words %1 ").arg(i);
                else
                    n.body += QStringLiteral("a needle "), ++needles;
        }
        FindPage p(n);
        NotesView &page = *p.view;
        page.selectNote(n.id);
        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        auto *v = qobject_cast<NoteTextView *>(page.findView());
        QVERIFY(v);
        page.showFindBar();
        settle();
        page.runFind(QStringLiteral("needle"));
        QTRY_VERIFY2(page.findSettled() && page.findMatchCount() == needles, qPrintable(QStringLiteral("%1 %2 %3").arg(page.findSettled()).arg(page.findMatchCount()).arg(needles)));
        page.stepFind(1);
        page.stepFind(1);
        const int cur = page.findTextRanges()[2].first;
        const auto type = [&](int at, const QString &text) {
            QTextCursor c(v->document());
            c.setPosition(at);
            v->setTextCursor(c);
            QTest::keyClicks(v, text);
        };
        const auto expect = [&](int count, int index, int currentAt) {
            QTRY_VERIFY2(page.findSettled() && page.findMatchCount() == count,
                         qPrintable(QStringLiteral("%1 matches, not %2").arg(page.findMatchCount()).arg(count)));
            QCOMPARE(page.findCurrentIndex(), index);
            QCOMPARE(page.findTextRanges()[size_t(index)].first, currentAt);
            QCOMPARE(page.findCountText(), QStringLiteral("%1 / %2").arg(index + 1).arg(count));
            QTRY_COMPARE(highlightAt(v, currentAt), kCurrent);
        };
        // Typed right before the current match: a match of its own there, marked, the current one
        // moved on with its text.
        type(cur, QStringLiteral("neEdle "));
        expect(needles + 1, 3, cur + 7);
        QTRY_COMPARE(highlightAt(v, cur), kOther);
        // Typed in two halves, the match is there once the second comes.
        type(cur + 7, QStringLiteral("nee"));
        expect(needles + 1, 3, cur + 10);
        type(cur + 10, QStringLiteral("dle"));
        expect(needles + 2, 4, cur + 13);
        // Pasted: both matches of the paste.
        QGuiApplication::clipboard()->setText(QStringLiteral("two needles, one NEEDLE "));
        {
            QTextCursor c(v->document());
            c.setPosition(cur);
            v->setTextCursor(c);
        }
        QTest::keyClick(v, Qt::Key_V, Qt::ControlModifier);
        expect(needles + 4, 6, cur + 13 + 24);
        // The first typed match broken by a key, then the current match typed over: it goes, and the
        // one before it is current.
        type(cur + 24 + 2, QStringLiteral("-"));
        expect(needles + 3, 5, cur + 13 + 25);
        {
            QTextCursor c(v->document());
            c.setPosition(cur + 13 + 25);
            c.setPosition(cur + 13 + 25 + 6, QTextCursor::KeepAnchor);
            v->setTextCursor(c);
        }
        QTest::keyClicks(v, QStringLiteral("x"));
        expect(needles + 2, 4, cur + 25 + 7);
        // A query that found nothing finds it once it is typed.
        page.runFind(QStringLiteral("zebra"));
        QTRY_COMPARE(page.findCountText(), NoteFind::noResultsText());
        type(cur, QStringLiteral("zebra"));
        expect(1, 0, cur);
    }

    void findAfterEditsIsAFreshSearch_data() {
        QTest::addColumn<QString>("body");
        QString lines, line, many;
        for (int i = 0; lines.size() < 30'000; ++i)
            lines += i % 4 ? QStringLiteral("some words %1\n").arg(i) : QStringLiteral("a needle here %1\n").arg(i);
        for (int i = 0; line.size() < 60'000; ++i)
            line += i % 4 ? QStringLiteral("some words %1 ").arg(i) : QStringLiteral("a needle here %1 ").arg(i);
        for (int i = 0; i < 700; ++i)
            many += QStringLiteral("needle %1\n").arg(i);
        QTest::newRow("lines") << lines;
        QTest::newRow("one line in pieces") << line;
        QTest::newRow("more matches than are held") << many;
    }
    // Random edits in the editor, each followed by what find holds: the matches a search of the text
    // as it is then finds, the first 501 of them.
    void findAfterEditsIsAFreshSearch() {
        QFETCH(QString, body);
        Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("R"));
        n.id = QStringLiteral("R");
        n.body = body;
        FindPage p(n);
        NotesView &page = *p.view;
        page.selectNote(n.id);
        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        QTextDocument *doc = TextViewOps::document(page.findView());
        page.showFindBar();
        settle();
        page.runFind(QStringLiteral("needle"));
        QTRY_VERIFY(page.findSettled());
        auto *rng = QRandomGenerator::global();
        const QStringList pieces = {QStringLiteral("nee"), QStringLiteral("dle"), QStringLiteral("needle"),
                                    QStringLiteral("NEEDLE "), QStringLiteral("x"), QStringLiteral(" ")};
        for (int edit = 0; edit < 60; ++edit) {
            QTextCursor c(doc);
            const int last = doc->characterCount() - 1;
            c.setPosition(int(rng->bounded(last + 1)));
            if (rng->bounded(2)) {
                c.insertText(pieces[int(rng->bounded(qsizetype(pieces.size())))]);
            } else {
                c.setPosition(std::min(last, c.position() + int(rng->bounded(1, 9))), QTextCursor::KeepAnchor);
                c.removeSelectedText();
            }
            // A few edits in one turn now and then: they are searched again as one.
            if (rng->bounded(3)) QTRY_VERIFY(page.findSettled());
            if (!page.findSettled()) continue;
            NoteFind::DocSearch fresh(doc, QStringLiteral("needle"), &NoteDocument::continues);
            QVERIFY(fresh.run(QDeadlineTimer(QDeadlineTimer::Forever)));
            std::vector<std::pair<int, int>> want;
            for (const NoteFind::Range &r : fresh.matches()) want.emplace_back(r.start, r.length);
            QVERIFY2(page.findTextRanges() == want, qPrintable(QStringLiteral("after edit %1").arg(edit)));
            QCOMPARE(page.findCountText().section(u'/', 1).trimmed().toInt(), int(want.size()));
        }
    }

    void saveKeepsTheReadersPlace_data() { shortAndLongRows("bytes"); }
    // After Save the detail shows the part of the note the editor showed, not its top.
    void saveKeepsTheReadersPlace() {
        QFETCH(int, bytes);
        int needles = 0;
        const Note n = numberedNote(QStringLiteral("P"), bytes, &needles);
        FindPage p(n);
        NotesView &page = *p.view;
        page.selectNote(n.id);
        QTRY_VERIFY(page.findView());
        page.showInlineEditor(n.id);
        settle();
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        QAbstractScrollArea *editor = page.findView();
        // To the part of the note a third of the way in, and an edit there.
        const int third = TextViewOps::document(editor)
                              ->findBlockByNumber(TextViewOps::document(editor)->blockCount() / 3)
                              .position();
        // Until the editor is laid out that far (paced; slower still in instrumented builds) it cannot
        // scroll there: it is asked again until it shows a place past the top.
        const auto scrolledIn = [&] {
            TextViewOps::scrollToTop(editor, third);
            settle();
            const QString shown = firstShownLine(editor);
            return shown.startsWith(QStringLiteral("Line 0")) && shown != QStringLiteral("Line 0000");
        };
        QTRY_VERIFY2_WITH_TIMEOUT(scrolledIn(), qPrintable(firstShownLine(editor)), scaledWaitMs(5000));
        const QString place = firstShownLine(editor);
        QTextCursor c(TextViewOps::document(editor));
        c.setPosition(TextViewOps::document(editor)->findBlock(third).next().position() + 2);
        c.insertText(QStringLiteral("-"));
        page.saveInlineEditor();
        QTRY_VERIFY(!page.inlineEditorOpen() && page.findView() && TextViewOps::isReadOnly(page.findView()));
        QTRY_VERIFY(NoteStore::shared().find(n.id)->body.contains(QStringLiteral("Li-ne")));
        QTRY_COMPARE(firstShownLine(page.findView()), place);
    }

    // The find bar stays open across a save and onto the next note shown: the marks of the note
    // saved go with its document, and the next note is searched (the page crashed, the marks held
    // by the view outliving the document they were made in).
    void findStaysOpenAcrossASaveAndTheNextNote_data() {
        QTest::addColumn<int>("bytes");
        QTest::newRow("4 KB") << 4 * 1024;
        QTest::newRow("12 KB") << 12 * 1024;
        QTest::newRow("120 KB") << 120 * 1024; // saved on a worker
    }
    void findStaysOpenAcrossASaveAndTheNextNote() {
        QFETCH(int, bytes);
        int needles = 0, others = 0;
        const Note n = numberedNote(QStringLiteral("A"), bytes, &needles);
        const Note next = numberedNote(QStringLiteral("B"), 12 * 1024, &others);
        const auto capped = [](int count) { return std::min(count, NoteFind::kMaxTextMatches); };
        ShownNotesPage p({n, next});
        NotesView &page = *p.view;
        page.selectNote(n.id);
        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        page.showFindBar();
        settle();
        page.runFind(QStringLiteral("needle"));
        QTRY_VERIFY(page.findSettled() && page.findMatchCount() == capped(needles));
        QTRY_VERIFY(!TextViewOps::extraSelections(page.findView()).isEmpty());
        QTextCursor c(TextViewOps::document(page.findView()));
        c.insertText(QStringLiteral("needle "));
        QTRY_COMPARE(page.findMatchCount(), capped(needles + 1));
        page.saveInlineEditor();
        QTRY_VERIFY(!page.inlineEditorOpen() && page.findView() && TextViewOps::isReadOnly(page.findView()));
        QTRY_VERIFY(NoteStore::shared().find(n.id)->body.startsWith(QStringLiteral("needle ")));
        settle();
        page.selectNote(next.id);
        QTRY_VERIFY(page.findView() && page.findSettled() && page.findMatchCount() == capped(others));
        QTRY_VERIFY(!TextViewOps::extraSelections(page.findView()).isEmpty());
        page.selectNote(n.id);
        QTRY_VERIFY(page.findView() && page.findSettled() && page.findMatchCount() == capped(needles + 1));
    }

    // A large note's text is held once while it is shown and edited: by the page's document, the
    // store letting go of its decoded copy. A save stores what the document holds and the page goes
    // on showing that very document (not one built again from the saved text); the text asked of the
    // store again is the same.
    void aLargeNotesTextIsHeldByItsDocumentOnly() {
        int needles = 0;
        const Note n = numberedNote(QStringLiteral("H"), 400 * 1024, &needles);
        FindPage p(n);
        NotesView &page = *p.view;
        NoteStore &store = NoteStore::shared();
        page.selectNote(n.id);
        QTRY_VERIFY(page.findView());
        QTRY_VERIFY(store.textLent(n.id));
        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        QVERIFY(store.textLent(n.id)); // opening the editor did not decode it again
        QTextDocument *doc = TextViewOps::document(page.findView());
        QTextCursor c(doc);
        c.setPosition(doc->findBlockByNumber(doc->blockCount() / 2).position() + 2);
        c.insertText(QStringLiteral("-edit-"));
        const QString shown = NoteDocument::wholeText(*doc);
        page.saveInlineEditor();
        QTRY_VERIFY(!page.inlineEditorOpen() && !page.longSavePending() && page.findView());
        QCOMPARE(TextViewOps::document(page.findView()), doc);
        QTRY_VERIFY(store.textLent(n.id));
        QCOMPARE(store.findFields(n.id)->title, n.title);
        QCOMPARE(store.find(n.id)->body, shown);
        QVERIFY(store.find(n.id)->bodyRTF);
        // Decoded again by the store: the page's document still shows the note as it is.
        page.selectNote(n.id);
        settle();
        QCOMPARE(TextViewOps::document(page.findView()), doc);
    }

    // A long note whose rich text does not read is shown from its text, plain, as a short one is,
    // although the worker building its document lets go of the text before reading the rich text.
    void aLongNoteWithUnreadableRichTextShowsItsText() {
        Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Unreadable"));
        for (int i = 0; n.body.size() < 300 * 1024; ++i)
            n.body += QStringLiteral("Line %1 of plain words\n").arg(i);
        n.bodyRTF = QByteArray("not rich text at all");
        FindPage p(n);
        NotesView &page = *p.view;
        page.selectNote(n.id);
        QTRY_VERIFY(page.findView());
        QTRY_COMPARE(NoteDocument::wholeText(*TextViewOps::document(page.findView())), n.body);
        QCOMPARE(*NoteStore::shared().find(n.id), n); // nothing stored changed
    }

    void floatingBarFormatsInTheEditor_data() { shortAndLongRows("bytes"); }
    // A selection in the inline editor shows the bar; its buttons format the selection, which
    // stays; the format is saved; no selection, or the read-only detail, shows no bar.
    void floatingBarFormatsInTheEditor() {
        QFETCH(int, bytes);
        int needles = 0;
        const Note n = numberedNote(QStringLiteral("F"), bytes, &needles);
        FindPage p(n);
        NotesView &page = *p.view;
        QVERIFY(QTest::qWaitForWindowActive(&page));
        page.selectNote(n.id);
        QTRY_VERIFY(page.findView());
        QAbstractScrollArea *detail = page.findView();
        detail->setFocus();
        QTextCursor all(TextViewOps::document(detail));
        all.setPosition(0);
        all.setPosition(9, QTextCursor::KeepAnchor);
        TextViewOps::setTextCursor(detail, all);
        QVERIFY(!FloatingFormatBar::barOf(detail) || !FloatingFormatBar::barOf(detail)->isVisible());

        page.showInlineEditor(n.id);
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()));
        QAbstractScrollArea *v = page.findView();
        QTRY_VERIFY(v->hasFocus());
        // "lorem" on the first line shown.
        const int line = TextViewOps::visibleRange(v).first;
        QTextCursor sel(TextViewOps::document(v));
        sel.setPosition(line + 10);
        sel.setPosition(line + 15, QTextCursor::KeepAnchor);
        QCOMPARE(sel.selectedText(), QStringLiteral("lorem"));
        TextViewOps::setTextCursor(v, sel);
        QWidget *bar = FloatingFormatBar::barOf(v);
        QVERIFY(bar && bar->isVisible());
        QVERIFY(v->viewport()->rect().contains(bar->geometry()));
        const QList<FmtBarButton *> buttons = bar->findChildren<FmtBarButton *>();
        QCOMPARE(buttons.size(), 3);
        QCOMPARE(buttons[0]->label(), QStringLiteral("B"));
        QCOMPARE(buttons[1]->label(), QStringLiteral("I"));
        QCOMPARE(buttons[2]->label(), QStringLiteral("U\u0332"));
        QTest::mouseClick(buttons[0], Qt::LeftButton);
        QTest::mouseClick(buttons[1], Qt::LeftButton);
        QTest::mouseClick(buttons[2], Qt::LeftButton);
        QVERIFY(v->hasFocus());
        QCOMPARE(TextViewOps::textCursor(v).selectionStart(), line + 10);
        QCOMPARE(TextViewOps::textCursor(v).selectionEnd(), line + 15);
        QTextCursor at(TextViewOps::document(v));
        at.setPosition(line + 12);
        QVERIFY(at.charFormat().fontWeight() >= QFont::Bold);
        QVERIFY(at.charFormat().fontItalic());
        QVERIFY(at.charFormat().fontUnderline());
        at.setPosition(line + 9);
        QVERIFY(!at.charFormat().fontUnderline());
        QVERIFY(bar->isVisible());
        // The selection gone, the bar goes.
        QTextCursor caret = TextViewOps::textCursor(v);
        caret.clearSelection();
        TextViewOps::setTextCursor(v, caret);
        QVERIFY(!bar->isVisible());
        // Saved with the formats.
        const QString word = TextViewOps::document(v)->findBlock(line).text().left(9);
        page.saveInlineEditor();
        QTRY_VERIFY(!page.inlineEditorOpen() && NoteStore::shared().find(n.id)->bodyRTF != n.bodyRTF);
        QTextDocument back;
        QVERIFY(RtfCodec::read(*NoteStore::shared().find(n.id)->bodyRTF, &back));
        const int lineBack = back.toPlainText().indexOf(word);
        QVERIFY(lineBack >= 0);
        QTextCursor b(&back);
        b.setPosition(lineBack + 12);
        QVERIFY(b.charFormat().fontWeight() >= QFont::Bold);
        QVERIFY(b.charFormat().fontItalic());
        QVERIFY(b.charFormat().fontUnderline());
    }

    void floatingBarFollowsItsSelection_data() { shortAndLongRows("bytes"); }
    // The bar goes with its selection: scrolled out of view by the scroll bar or the wheel it
    // hides (kept at the view's edge it would lie over other text), scrolled back it is at the
    // selection again; when the text above it grows, or a narrower window lays the text out anew,
    // it stays at the selection.
    void floatingBarFollowsItsSelection() {
        QFETCH(int, bytes);
        int needles = 0;
        FindPage p(numberedNote(QStringLiteral("S"), bytes, &needles));
        NotesView &page = *p.view;
        QVERIFY(QTest::qWaitForWindowActive(&page));
        page.selectNote(QStringLiteral("S"));
        QTRY_VERIFY(page.findView());
        page.showInlineEditor(QStringLiteral("S"));
        QTRY_VERIFY(page.findView() && !TextViewOps::isReadOnly(page.findView()) &&
                    page.findView()->hasFocus());
        QAbstractScrollArea *v = page.findView();
        QTextDocument *doc = TextViewOps::document(v);
        QScrollBar *sb = v->verticalScrollBar();
        sb->setValue(0);
        settle();
        QVERIFY(sb->maximum() > 20);
        // "lorem" on the fifth line shown.
        QTextCursor fifth =
            TextViewOps::cursorForPosition(v, QPoint(2, 4 * v->fontMetrics().lineSpacing() + 8));
        fifth.movePosition(QTextCursor::StartOfLine);
        const QTextCursor sel = doc->find(QStringLiteral("lorem"), fifth.position());
        const int from = sel.selectionStart(), to = sel.selectionEnd();
        QCOMPARE(from, fifth.position() + 10);
        TextViewOps::setTextCursor(v, sel);
        const auto barAtSelection = [&] {
            const QWidget *bar = FloatingFormatBar::barOf(v);
            if (!bar || !bar->isVisible() || TextViewOps::textCursor(v).selectionStart() != from)
                return false;
            QTextCursor a(doc), b(doc);
            a.setPosition(from);
            b.setPosition(to);
            const QRect ra = TextViewOps::cursorRect(v, a), rb = TextViewOps::cursorRect(v, b);
            const QRect g = bar->geometry();
            const bool above = g.bottom() < ra.top() && ra.top() - g.bottom() <= 16;
            const bool below =
                g.top() > rb.bottom() + rb.height() && g.top() - rb.bottom() - rb.height() <= 16;
            return v->viewport()->rect().contains(g) && (above || below) && g.left() <= rb.left() &&
                   g.right() >= ra.left();
        };
        const auto barHidden = [&] {
            const QWidget *bar = FloatingFormatBar::barOf(v);
            return bar && !bar->isVisible();
        };
        QVERIFY(barAtSelection());

        sb->setValue(sb->maximum());
        QVERIFY(barHidden());
        settle();
        QVERIFY(barHidden());
        sb->setValue(0);
        QTRY_VERIFY(barAtSelection());

        // The wheel, a notch at a time, until the selection's line is above the view, and back.
        const auto wheel = [v](int notches) {
            const QPointF at = v->viewport()->rect().center();
            QWheelEvent e(at, v->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(v->viewport(), &e);
        };
        for (int i = 0; i < 10 && !barHidden(); ++i)
            wheel(-1);
        QVERIFY(barHidden());
        QVERIFY(sb->value() > 0 && sb->value() < sb->maximum());
        settle();
        QVERIFY(barHidden());
        for (int i = 0; i < 10 && sb->value() > 0; ++i)
            wheel(1);
        QTRY_VERIFY(barAtSelection());

        // A line above it laid out anew, taller: the selection moves down the view, the bar with it.
        QTextCursor above(doc);
        above.setPosition(from - 30);
        above.setPosition(from - 12, QTextCursor::KeepAnchor);
        QTextCharFormat big;
        big.setFontPointSize(40);
        const int selTop = TextViewOps::cursorRect(v, sel).top();
        above.mergeCharFormat(big);
        QTRY_VERIFY(TextViewOps::cursorRect(v, sel).top() > selTop + 20);
        QTRY_VERIFY(barAtSelection());

        page.resize(760, 700);
        QTRY_VERIFY(page.findView() && page.findView()->width() < 700);
        v = page.findView();
        doc = TextViewOps::document(v);
        QTRY_VERIFY(v->hasFocus());
        QTRY_VERIFY(barAtSelection());
    }
};

QTEST_MAIN(TestNoteFind)
#include "tst_note_find.moc"
