// An edit over a long selection copied and not made yet: the copy is made on the worker that makes
// the edit, never while the window waits; the clipboard still gives what was selected, and what is
// typed meanwhile goes in once the document is back.
#include "common/HeldPool.h"
#include "common/Instrumented.h"
#include "notes/LongNoteTest.h"
#include "notes/SelectionCopy.h"

using namespace LongNoteTest;

namespace {
const int kWaitMs = scaledWaitMs(60000);
const QString kRtf = QStringLiteral("text/rtf");

// The editor open on a long rich note, its text selected and copied; the copy not made yet.
struct Copied {
    TempPrefs prefs;
    NotesView page;
    NoteTextView *view = nullptr;
    const SelectionCopy *copy = nullptr;
    QString text;
    QByteArray rtf;
    void open() {
        NoteStore::resetForTests();
        NoteStore::shared().add(richNote(QStringLiteral("L"), 300'000));
        showPage(page);
        page.selectNote(QStringLiteral("L"));
        QTRY_VERIFY_WITH_TIMEOUT(page.longTextReady(), kWaitMs);
        page.showInlineEditor(QStringLiteral("L"));
        settle();
        QTRY_VERIFY_WITH_TIMEOUT(page.longTextReady() && !page.longTextView()->isReadOnly(), kWaitMs);
        view = page.longTextView();
        QTextDocument *doc = view->document();
        text = view->wholeText();
        rtf = SelectionCopy(doc, 0, doc->characterCount() - 1, NoteDocument::appendStoredText,
                            NoteDocument::richCopy, NoteDocument::storedWriteAs())
                  .data(kRtf);
        QVERIFY(rtf.startsWith("{\\rtf"));
        view->selectAll();
        view->copy();
        copy = qobject_cast<const SelectionCopy *>(QGuiApplication::clipboard()->mimeData());
        QVERIFY(copy && copy->makesOnSettle());
    }
    // Back from the worker, the view editable on it again.
    void back() {
        QTRY_VERIFY_WITH_TIMEOUT(page.longTextReady() && !page.longTextView()->isReadOnly(), kWaitMs);
        QCOMPARE(page.longTextView(), view);
        settle();
    }
    // What the clipboard gives is what was selected before the edit.
    void clipboardAsSelected() {
        const QMimeData *m = QGuiApplication::clipboard()->mimeData();
        QVERIFY(m == copy);
        QCOMPARE(m->text(), text);
        QCOMPARE(m->data(kRtf), rtf);
        QCOMPARE(copy->mostReadHere(), 0);
    }
    ~Copied() { NoteStore::resetForTests(); }
};
} // namespace

class TestEditOverCopy : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // A letter typed over the copied selection is made on a worker, the copy made there first: every
    // worker busy, the window reads none of it meanwhile. Keys typed while the worker holds the
    // document (Backspace taking one back) go in after, in order; the save stores them.
    void typingOverALongCopyWaitsForNothing() {
        Copied c;
        c.open();
        if (QTest::currentTestFailed()) return;
        {
            HeldPool held(false); // Qt's own pool left free: it paints
            QTest::keyClick(c.view, Qt::Key_X);
            QCOMPARE(c.copy->mostReadHere(), 0);
            QVERIFY(!c.page.longTextReady());
            QTest::keyClicks(c.view, QStringLiteral("yw"));
            QTest::keyClick(c.view, Qt::Key_Backspace);
            QTest::keyClick(c.view, Qt::Key_Return);
            QTest::keyClicks(c.view, QStringLiteral("z"));
        }
        c.back();
        QCOMPARE(c.view->wholeText(), QStringLiteral("xy\nz"));
        QCOMPARE(c.view->textCursor().position(), c.view->document()->characterCount() - 1);
        c.clipboardAsSelected();
        QTest::keyClicks(c.view, QStringLiteral("!"));
        c.page.saveInlineEditor();
        QTRY_VERIFY_WITH_TIMEOUT(!c.page.longSavePending(), kWaitMs);
        QCOMPARE(NoteStore::shared().find(QStringLiteral("L"))->body, QStringLiteral("xy\nz!"));
    }

    // The format bar over the copied selection likewise; the selection stays, in its new looks, and
    // undo takes them back.
    void theFormatBarOverALongCopyWaitsForNothing() {
        Copied c;
        c.open();
        if (QTest::currentTestFailed()) return;
        const auto boldAt = [&c](int pos) {
            QTextCursor at(c.view->document());
            at.setPosition(pos);
            return at.charFormat().fontWeight() >= QFont::DemiBold;
        };
        const int plainAt = c.text.indexOf(QStringLiteral("has ")) + 2, last = c.view->document()->characterCount() - 1;
        QVERIFY(!boldAt(plainAt));
        {
            HeldPool held(false);
            c.view->applyFmt(0);
            QCOMPARE(c.copy->mostReadHere(), 0);
            QVERIFY(!c.page.longTextReady());
        }
        c.back();
        QVERIFY(boldAt(plainAt) && boldAt(last));
        QCOMPARE(c.view->textCursor().anchor(), 0);
        QCOMPARE(c.view->textCursor().position(), last);
        QCOMPARE(c.view->wholeText(), c.text);
        c.clipboardAsSelected();
        QTest::keyClick(c.view, Qt::Key_Z, Qt::ControlModifier);
        c.back();
        QVERIFY(!boldAt(plainAt));
        QCOMPARE(c.view->wholeText(), c.text);
    }

    // Text dropped from elsewhere beside it likewise, put in where it was dropped.
    void aDropBesideALongCopyWaitsForNothing() {
        Copied c;
        c.open();
        if (QTest::currentTestFailed()) return;
        QMimeData dropped;
        dropped.setText(QStringLiteral("dropped "));
        QTextCursor start(c.view->document());
        const QPoint at = c.view->cursorRect(start).center();
        {
            HeldPool held(false);
            QDragEnterEvent enter(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(c.view->viewport(), &enter);
            QDropEvent drop(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(c.view->viewport(), &drop);
            QVERIFY(drop.isAccepted());
            QCOMPARE(c.copy->mostReadHere(), 0);
        }
        c.back();
        QCOMPARE(c.view->wholeText(), QStringLiteral("dropped ") + c.text);
        c.clipboardAsSelected();
    }
};

QTEST_MAIN(TestEditOverCopy)
#include "tst_edit_over_copy.moc"
