#include "common/HeldPool.h"
#include "common/HeldReader.h"
#include "common/RichNotes.h"
#include "common/TestEnv.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "notes/NoteTextView.h"
#include "platform/Background.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

// A long rich paste is never lost on its way in, and its undo and redo are exact and done where the
// paste was.
namespace {
constexpr int kBound = int(NoteDocument::kPieceChars);

void putOnClipboard(const QString &html) {
    auto *mime = new QMimeData;
    mime->setHtml(html);
    QGuiApplication::clipboard()->setMimeData(mime);
}

// Bold words of at least chars characters in two paragraphs, and the text they read as.
std::pair<QString, QString> boldPaste(int chars) {
    QString words;
    for (int i = 0; words.size() < chars; ++i)
        words += QStringLiteral("word%1 ").arg(i % 97);
    return {QStringLiteral("<p><b>") + words + QStringLiteral("</b></p><p><i>end</i></p>"), words + QStringLiteral("\nend")};
}

// The caret of view after "head ".
void caretAfterHead(NoteTextView &view) {
    QTextCursor c(view.document());
    c.setPosition(5);
    view.setTextCursor(c);
}

// The workers' results handed back to the window's thread.
void settleWorkers() {
    Background::pool().waitForDone();
    QThreadPool::globalInstance()->waitForDone();
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

// The text and its formats, as saved.
struct Shot {
    QString text;
    QByteArray rtf;
    bool operator==(const Shot &) const = default;
};
Shot shot(const QTextDocument &doc) {
    const NoteDocument::Saved s = NoteDocument::readText(doc);
    return {s.body, s.rtf};
}
} // namespace

class TestRichPasteSteps : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // A rich paste past a piece's characters goes into the note's document on a worker: Save is not
    // taken meanwhile (the document is away) and, once it is back, stores the note with the paste;
    // Cancel meanwhile saves nothing and leaves the worker nothing to hand back to.
    void aSaveWaitsForARichPasteBeingPutIn() {
        TempPrefs prefs;
        const auto [html, text] = boldPaste(2 * kBound);
        std::optional<Note> got;
        int completions = 0;
        NoteEditorDialog dlg(
            textNote(QStringLiteral("head tail")), true,
            [&](const std::optional<Note> &n) {
                got = n;
                ++completions;
            },
            nullptr);
        QVERIFY(!dlg.bodyBuilding());
        caretAfterHead(*dlg.bodyView());
        {
            HeldPool held;
            putOnClipboard(html);
            dlg.bodyView()->paste();
            QVERIFY(dlg.bodyBuilding());
            QVERIFY(!dlg.doSave());
            QCOMPARE(completions, 0);
        }
        QTRY_VERIFY(!dlg.bodyBuilding());
        QVERIFY(dlg.doSave());
        QTRY_COMPARE(completions, 1);
        QVERIFY(got);
        QCOMPARE(got->body, QStringLiteral("head ") + text + QStringLiteral("tail"));
        QVERIFY(got->bodyRTF && got->bodyRTF->contains("\\b"));

        std::optional<Note> cancelled = textNote(QString());
        auto *closing = new NoteEditorDialog(
            textNote(QStringLiteral("head tail")), true, [&](const std::optional<Note> &n) { cancelled = n; },
            nullptr);
        {
            HeldPool held;
            putOnClipboard(html);
            closing->bodyView()->paste();
            closing->doCancel();
            delete closing;
        }
        settleWorkers();
        QVERIFY(!cancelled);
    }

    // The same in the notes page's own editor: Save clicked while the paste goes in stores nothing
    // yet; clicked once it is in, the note with it.
    void theInlineEditorsSaveWaitsForARichPasteBeingPutIn() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        NoteStore::shared().add(textNote(QStringLiteral("head tail")));
        const auto [html, text] = boldPaste(2 * kBound);
        NotesView page;
        page.resize(1000, 700);
        page.setup();
        page.show();
        page.selectNote(QStringLiteral("P"));
        page.showInlineEditor(QStringLiteral("P"));
        QTRY_VERIFY(page.longTextReady() && page.inlineTextView() && !page.inlineTextView()->isReadOnly());
        NoteTextView *tv = page.inlineTextView();
        caretAfterHead(*tv);
        {
            HeldPool held(false);
            putOnClipboard(html);
            tv->paste();
            page.saveInlineEditor();
            QVERIFY(page.inlineEditorOpen());
        }
        QTRY_VERIFY(page.longTextReady() && page.inlineTextView() && !page.inlineTextView()->isReadOnly());
        page.saveInlineEditor();
        QTRY_VERIFY(!page.inlineEditorOpen() && !page.longSavePending());
        const Note *saved = NoteStore::shared().find(QStringLiteral("P"));
        QVERIFY(saved);
        QCOMPARE(saved->body, QStringLiteral("head ") + text + QStringLiteral("tail"));
        NoteStore::resetForTests();
    }

    // Save clicked while another program's clipboard is read on a worker takes effect once the paste
    // is in, once, with the paste: a text short enough to go in here, and one long enough to be put
    // in on a worker in turn (which the save used to run into and be dropped), in the editor dialog
    // and in the notes page's own editor.
    void aSaveClickedWhileAPasteIsReadIsDoneWithIt() {
        TempPrefs prefs;
        const QString longText = QString(int(NoteDocument::kPasteLaterChars) + 100, u'w');
        for (const QString &pasted : {QStringLiteral("short"), longText}) {
            HeldReader reader;
            std::optional<Note> got;
            int completions = 0;
            NoteEditorDialog dlg(
                textNote(QStringLiteral("head tail")), true,
                [&](const std::optional<Note> &n) {
                    got = n;
                    ++completions;
                },
                nullptr);
            caretAfterHead(*dlg.bodyView());
            QTest::keyClick(dlg.bodyView(), Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(reader.asked.size(), size_t(1));
            QVERIFY(!dlg.doSave());
            QVERIFY(dlg.savePending());
            reader.answer(ClipboardReader::Read::Kind::text, pasted);
            QTRY_COMPARE(completions, 1);
            QVERIFY(got);
            QCOMPARE(got->body, QStringLiteral("head ") + pasted + QStringLiteral("tail"));
            settleWorkers();
            QCOMPARE(completions, 1);
        }

        NoteStore::resetForTests();
        NoteStore::shared().add(textNote(QStringLiteral("head tail")));
        NotesView page;
        page.resize(1000, 700);
        page.setup();
        page.show();
        page.selectNote(QStringLiteral("P"));
        page.showInlineEditor(QStringLiteral("P"));
        QTRY_VERIFY(page.longTextReady() && page.inlineTextView() && !page.inlineTextView()->isReadOnly());
        HeldReader reader;
        caretAfterHead(*page.inlineTextView());
        QTest::keyClick(page.inlineTextView(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(reader.asked.size(), size_t(1));
        page.saveInlineEditor();
        QVERIFY(page.inlineEditorOpen());
        reader.answer(ClipboardReader::Read::Kind::text, longText);
        QTRY_VERIFY(!page.inlineEditorOpen() && !page.longSavePending());
        const Note *saved = NoteStore::shared().find(QStringLiteral("P"));
        QVERIFY(saved);
        QCOMPARE(saved->body, QStringLiteral("head ") + longText + QStringLiteral("tail"));
        NoteStore::resetForTests();
    }

    // A rich paste past a piece's characters is handed to be put in on a worker where the view's
    // document is edited there, not put in on the window's thread, and stores exactly what the view
    // puts in itself when it has no worker to hand it to: over a selection from inside a piece of a
    // long line into the next line, its formats, lines and cuts, and the caret after it.
    void aRichPastePastAPieceIsPutInOnAWorkerAsHere() {
        const QString body = QString(kBound + 500, u'a') + QStringLiteral("\nhead tail");
        const auto [html, text] = boldPaste(2 * kBound);
        const auto pasteInto = [&](NoteTextView &view, std::function<int(QTextDocument &)> *handed) {
            view.resize(500, 300);
            auto *doc = NoteDocument::build(textNote(body), {QFont(), Qt::black, Qt::blue});
            doc->setParent(&view);
            view.setDocument(doc);
            if (handed)
                view.onLongEdit = [handed](std::function<int(QTextDocument &)> e) { *handed = std::move(e); };
            QTextCursor at(doc);
            at.setPosition(kBound - 20);
            at.setPosition(kBound + 504, QTextCursor::KeepAnchor);
            view.setTextCursor(at);
            putOnClipboard(html);
            view.paste();
            return doc;
        };
        NoteTextView here;
        QTextDocument *hereDoc = pasteInto(here, nullptr);
        QTRY_VERIFY(!here.pastePending());
        const Shot want = shot(*hereDoc);
        QCOMPARE(want.text, body.left(kBound - 20) + text + QStringLiteral("ad tail"));

        NoteTextView away;
        std::function<int(QTextDocument &)> edit;
        QTextDocument *awayDoc = pasteInto(away, &edit);
        QVERIFY2(edit, "the paste was put in on the window's thread");
        QVERIFY(!away.pastePending());
        QCOMPARE(shot(*awayDoc).text, body);
        const int caret = std::exchange(edit, nullptr)(*awayDoc);
        QCOMPARE(shot(*awayDoc), want);
        QCOMPARE(caret, here.textCursor().position());
        // Its undo is handed over too, and takes it back whole.
        away.undo();
        QVERIFY2(edit, "the undo was done at once on the window's thread");
        QVERIFY(std::exchange(edit, nullptr)(*awayDoc) >= 0);
        QCOMPARE(shot(*awayDoc).text, body);
    }

    // A paste read while the view shows none of its document (lent to a worker for a long edit) goes
    // in where its selection went once the view edits the document again; one dropped with its edit
    // never goes in.
    void aRichPasteWaitsForItsDocumentToComeBack() {
        const auto [html, text] = boldPaste(2 * kBound);
        for (const bool dropped : {false, true}) {
            NoteTextView view;
            view.resize(500, 300);
            auto *doc = NoteDocument::build(textNote(QStringLiteral("head tail")), {QFont(), Qt::black, Qt::blue});
            doc->setParent(&view);
            view.setDocument(doc);
            caretAfterHead(view);
            QSignalSpy settled(&view, &NoteTextView::pasteSettled);
            {
                HeldPool held;
                putOnClipboard(html);
                view.paste();
                view.setDocument(nullptr);
                view.setReadOnly(true);
                // Edited meanwhile where it is: the paste follows its selection.
                QTextCursor(doc).insertText(QStringLiteral(">"));
            }
            settleWorkers();
            QVERIFY(view.pastePending());
            QCOMPARE(settled.count(), 0);
            if (dropped) view.dropPendingPaste();
            view.setDocument(doc);
            view.setReadOnly(false);
            settleWorkers();
            QCOMPARE(settled.count(), 1);
            QVERIFY(!view.pastePending());
            QCOMPARE(NoteDocument::wholeText(*doc), dropped ? QStringLiteral(">head tail")
                                                            : QStringLiteral(">head ") + text + QStringLiteral("tail"));
        }
    }

    // The undo and redo of a paste put in on a worker are handed to be done on a worker too, and
    // give back exactly the text and formats before and after it, again and again. The paste, over a
    // selection from a piece's first character into the next line, stores no line break at the cut.
    void aLongRichPastesUndoAndRedoAreDoneOnAWorker() {
        NoteTextView view;
        view.resize(500, 300);
        const QString body = QString(kBound + 500, u'a') + QStringLiteral("\nhead tail");
        auto *doc = NoteDocument::build(textNote(body), {QFont(), Qt::black, Qt::blue});
        doc->setParent(&view);
        view.setDocument(doc);
        std::function<int(QTextDocument &)> edit;
        view.onLongEdit = [&edit](std::function<int(QTextDocument &)> e) { edit = std::move(e); };
        QTextCursor bold(doc);
        bold.setPosition(3);
        bold.setPosition(kBound + 100, QTextCursor::KeepAnchor); // across the cut
        QTextCharFormat b;
        b.setFontWeight(QFont::Bold);
        bold.mergeCharFormat(b);
        QVERIFY(NoteDocument::continues(doc->findBlock(kBound + 1)));
        QCOMPARE(doc->findBlock(kBound + 1).position(), kBound + 1);
        QTextCursor at(doc);
        at.setPosition(kBound + 1); // the piece's first character .. "he" of the next line
        at.setPosition(kBound + 504, QTextCursor::KeepAnchor);
        view.setTextCursor(at);
        const Shot before = shot(*doc);
        QCOMPARE(before.text, body);
        const auto [html, text] = boldPaste(int(NoteDocument::kPasteLaterChars) + 1000);
        putOnClipboard(html);
        view.paste();
        QVERIFY(edit);
        QVERIFY(std::exchange(edit, nullptr)(*doc) >= 0);
        const Shot after = shot(*doc);
        QCOMPARE(after.text, body.left(kBound) + text + QStringLiteral("ad tail"));
        for (int round = 0; round < 2; ++round) {
            view.undo();
            QVERIFY2(edit, "the undo was done at once on the window's thread");
            QCOMPARE(shot(*doc), after);
            QVERIFY(std::exchange(edit, nullptr)(*doc) >= 0);
            QCOMPARE(shot(*doc), before);
            view.redo();
            QVERIFY2(edit, "the redo was done at once on the window's thread");
            QVERIFY(std::exchange(edit, nullptr)(*doc) >= 0);
            QCOMPARE(shot(*doc), after);
        }
        // A short edit after it is undone here.
        QTextCursor(doc).insertText(QStringLiteral("x"));
        view.undo();
        QVERIFY(!edit);
        QCOMPARE(shot(*doc), after);
    }

    // The undo and redo of a long plain paste, put in on a worker, are handed to be done on a worker
    // too (redone at once, 5 MB held the window 20-30 ms), and give back the text before and after it.
    void aLongPlainPastesUndoAndRedoAreDoneOnAWorker() {
        NoteTextView view;
        view.resize(500, 300);
        auto *doc = NoteDocument::build(textNote(QStringLiteral("head tail")), {QFont(), Qt::black, Qt::blue});
        view.setDocument(doc);
        caretAfterHead(view);
        std::function<int(QTextDocument &)> edit;
        view.onLongEdit = [&edit](std::function<int(QTextDocument &)> e) { edit = std::move(e); };
        QTextDocument *back = nullptr;
        view.onLongPaste = [&](const QString &text, int from, int to) {
            QTextDocument *lent = view.document();
            view.setDocument(nullptr);
            NoteDocument::pasteInto(lent, from, to, text, &view,
                                    [&back](QTextDocument *d, int, std::vector<NoteDocument::FoundLink>) { back = d; });
        };
        QString lines;
        for (int i = 0; lines.size() <= NoteDocument::kPasteLaterChars; ++i)
            lines += QStringLiteral("Pasted line %1 from another program.\n").arg(i);
        QGuiApplication::clipboard()->setText(lines);
        view.paste();
        QTRY_VERIFY(back);
        back->setParent(&view);
        view.setDocument(back);
        const QString after = QStringLiteral("head ") + lines + QStringLiteral("tail");
        QCOMPARE(NoteDocument::wholeText(*back), after);
        for (int round = 0; round < 2; ++round) {
            view.undo();
            QVERIFY2(edit, "the undo was done at once on the window's thread");
            QVERIFY(std::exchange(edit, nullptr)(*back) >= 0);
            QCOMPARE(NoteDocument::wholeText(*back), QStringLiteral("head tail"));
            view.redo();
            QVERIFY2(edit, "the redo was done at once on the window's thread");
            QVERIFY(std::exchange(edit, nullptr)(*back) >= 0);
            QCOMPARE(NoteDocument::wholeText(*back), after);
        }
    }
};

QTEST_MAIN(TestRichPasteSteps)
#include "tst_rich_paste_steps.moc"
