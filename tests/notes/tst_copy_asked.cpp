// A long copy's forms asked for without holding the window: made on its thread a slice a turn,
// never waited for on a worker, and handed over once whole, as they were selected.
#include "common/HeldPool.h"
#include "common/Instrumented.h"
#include "common/RichNotes.h"
#include "notes/NoteTextView.h"
#include "notes/SelectionCopy.h"
#include <QClipboard>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QtTest>
#include <optional>

namespace {
const int kWaitMs = scaledWaitMs(60000);
const QString kText = QStringLiteral("text/plain"), kRtf = QStringLiteral("text/rtf");

NoteDocument::Style style() {
    return {QFont(), Qt::black, Qt::blue};
}

QString body() {
    QString s;
    for (int i = 0; i < 8; ++i)
        s += wordsLine(50'000) + QStringLiteral(" 🇺🇦👍🏽 é\n");
    return s;
}

// The document's reads, counted: how many characters each turn read, and on which thread.
struct Reads {
    std::vector<qsizetype> perTurn{0};
    qsizetype mostAtOnce = 0;
    bool elsewhere = false; // read off the thread the test runs on
    SelectionCopy::Reader reader() {
        return [this](QString &out, const QTextDocument &doc, int from, int at, int to, qsizetype atMost) {
            if (QThread::currentThread() != qApp->thread()) elsewhere = true;
            const qsizetype was = out.size();
            const int next = NoteDocument::appendStoredText(out, doc, from, at, to, atMost);
            perTurn.back() += out.size() - was;
            mostAtOnce = std::max(mostAtOnce, out.size() - was);
            return next;
        };
    }
    void turn() {
        QCoreApplication::processEvents();
        perTurn.push_back(0);
    }
    qsizetype most() const { return *std::max_element(perTurn.begin(), perTurn.end()); }
};

struct Answer {
    int calls = 0;
    MadeOnAsk::Made made;
    std::function<void(MadeOnAsk::Made)> done() {
        return [this](MadeOnAsk::Made m) {
            ++calls;
            made = std::move(m);
        };
    }
};

// Turns until every answer came (at most limit).
void turnUntil(Reads &r, const std::vector<Answer *> &answers, int limit = 100'000) {
    for (int i = 0; i < limit; ++i) {
        if (std::all_of(answers.begin(), answers.end(), [](Answer *a) { return a->calls > 0; })) return;
        r.turn();
    }
}
} // namespace

class TestCopyAsked : public QObject {
    Q_OBJECT
private slots:
    // Asked for, a long copy's text is not made then, nor waited for: it is read on the window's
    // thread a slice a turn (every worker busy or not), and handed over once, as UTF-8, to every ask
    // made meanwhile. Text typed before the selection meanwhile moves it; an edit of it before it
    // was settled leaves it refused, as data() gives nothing then.
    void aLongCopysTextIsMadeASliceATurn() {
        const QString text = body();
        std::unique_ptr<QTextDocument> doc(NoteDocument::build(textNote(text), style()));
        // Ending inside a pair: given as data() gives it.
        const int from = 3, to = doc->characterCount() - 5;
        const QByteArray want =
            SelectionCopy(doc.get(), from, to, NoteDocument::appendStoredText, NoteDocument::richCopy).data(kText);
        QVERIFY(want.endsWith("\xEF\xBF\xBD"));
        QVERIFY(to - from > 6 * SelectionCopy::kSliceChars);
        QObject receiver;
        for (const bool busy : {false, true}) {
            std::optional<HeldPool> held;
            if (busy) held.emplace();
            Reads reads;
            SelectionCopy copy(doc.get(), from, to, reads.reader(), NoteDocument::richCopy);
            QVERIFY(copy.makesLater(kText));
            Answer first, second;
            copy.whenMade(kText, &receiver, first.done());
            QCOMPARE(reads.perTurn.back(), 0);
            reads.turn();
            copy.whenMade(kText, &receiver, second.done());
            QTextCursor(doc.get()).insertText(QStringLiteral("typed before ")); // moves it
            turnUntil(reads, {&first, &second});
            QCOMPARE(first.calls, 1);
            QCOMPARE(second.calls, 1);
            QVERIFY(!first.made.refused);
            QCOMPARE(first.made.bytes, want);
            QCOMPARE(second.made.bytes, want);
            QVERIFY(!reads.elsewhere);
            QVERIFY2(reads.most() < 2 * SelectionCopy::kSliceChars, qPrintable(QString::number(reads.most())));
            QVERIFY(reads.perTurn.size() > 6);
            QTextCursor undo(doc.get());
            undo.setPosition(13, QTextCursor::KeepAnchor);
            undo.removeSelectedText();
        }

        // Its characters edited before it was settled: refused, once.
        Reads reads;
        SelectionCopy copy(doc.get(), from, to, reads.reader(), NoteDocument::richCopy);
        Answer refused;
        copy.whenMade(kText, &receiver, refused.done());
        reads.turn();
        reads.turn();
        QTextCursor inside(doc.get());
        inside.setPosition(from + 10);
        inside.insertText(QStringLiteral("x"));
        turnUntil(reads, {&refused});
        QCOMPARE(refused.calls, 1);
        QVERIFY(refused.made.refused);
    }

    // Settled while it is being made (an edit of its characters is coming), its forms are made
    // whole first and the asks answered from what is kept, the text as selected. A copy that goes
    // before it is made refuses its asks; a receiver gone gets nothing.
    void aCopySettledOrGoneMeanwhileAnswersConsistently() {
        Note n = textNote(body());
        std::unique_ptr<QTextDocument> doc(NoteDocument::build(n, style()));
        QTextCursor bold(doc.get());
        bold.setPosition(2, QTextCursor::KeepAnchor);
        QTextCharFormat b;
        b.setFontWeight(QFont::Bold);
        bold.mergeCharFormat(b);
        const int from = 0, to = doc->characterCount() - 1;
        const QByteArray want = NoteDocument::wholeText(*doc, from, to).toUtf8();
        QObject receiver;
        Reads reads;
        auto copy = std::make_unique<SelectionCopy>(doc.get(), from, to, reads.reader(), NoteDocument::richCopy,
                                                    NoteDocument::storedWriteAs());
        QVERIFY(copy->makesLater(kRtf));
        Answer text, rtf;
        copy->whenMade(kText, &receiver, text.done());
        copy->whenMade(kRtf, &receiver, rtf.done());
        reads.turn();
        reads.turn();
        QVERIFY(text.calls == 0 && rtf.calls == 0);
        copy->settle();
        QTextCursor(doc.get()).insertText(QStringLiteral("edited"));
        turnUntil(reads, {&text, &rtf});
        QCOMPARE(text.made.bytes, want);
        QVERIFY(!rtf.made.refused);
        QVERIFY(rtf.made.bytes.startsWith("{\\rtf"));
        QCOMPARE(rtf.made.bytes, copy->data(kRtf));

        Answer orphan, gone;
        auto other = std::make_unique<SelectionCopy>(doc.get(), from, to, reads.reader(), NoteDocument::richCopy);
        {
            QObject goes;
            other->whenMade(kText, &goes, gone.done());
        }
        other->whenMade(kText, &receiver, orphan.done());
        reads.turn();
        other.reset();
        turnUntil(reads, {&orphan});
        QCOMPARE(orphan.calls, 1);
        QVERIFY(orphan.made.refused);
        QCOMPARE(gone.calls, 0);
    }

    // This program's own paste of its long copy neither makes it at once nor waits for it: it goes
    // in once made, whole, every worker busy meanwhile.
    void pastingItsOwnLongCopyHoldsNothing() {
        const QString text = body();
        NoteTextView from, into;
        for (NoteTextView *v : {&from, &into}) {
            v->resize(400, 300);
            v->setDocument(NoteDocument::build(textNote(v == &from ? text : QString()), style()));
            v->document()->setParent(v);
            v->show();
        }
        QVERIFY(QTest::qWaitForWindowExposed(&into));
        from.selectAll();
        from.copy();
        const auto *copy = qobject_cast<const SelectionCopy *>(QGuiApplication::clipboard()->mimeData());
        QVERIFY(copy);
        {
            HeldPool held(false); // Qt's own pool left free: it paints
            into.setFocus();
            QTest::keyClick(&into, Qt::Key_V, Qt::ControlModifier);
            QVERIFY(!copy->textMade());
            QCOMPARE(copy->mostReadHere(), 0);
            for (int i = 0; i < 2000 && copy->mostReadHere() < SelectionCopy::kSliceChars / 2; ++i)
                QCoreApplication::processEvents();
            QVERIFY(copy->mostReadHere() > 0); // read here, a slice at a time
            QVERIFY2(copy->mostReadHere() < 2 * SelectionCopy::kSliceChars,
                     qPrintable(QString::number(copy->mostReadHere())));
        }
        QTRY_COMPARE_WITH_TIMEOUT(into.wholeText(), text, kWaitMs);
        QVERIFY(copy->mostReadHere() < 2 * SelectionCopy::kSliceChars);
    }

    // A long selection dragged over a view (its own, as the drag begins) is not read for it: the view
    // takes it as text without making that text, every worker busy or not.
    void draggingALongCopyOverAViewReadsNothing() {
        NoteTextView from, over;
        for (NoteTextView *v : {&from, &over}) {
            v->resize(400, 300);
            v->setDocument(NoteDocument::build(textNote(v == &from ? body() : QString()), style()));
            v->document()->setParent(v);
        }
        from.selectAll();
        from.copy();
        const auto *copy = qobject_cast<const SelectionCopy *>(QGuiApplication::clipboard()->mimeData());
        QVERIFY(copy);
        HeldPool held;
        for (NoteTextView *v : {&over, &from}) {
            QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction | Qt::MoveAction, copy, Qt::LeftButton,
                                  Qt::NoModifier);
            QCoreApplication::sendEvent(v->viewport(), &enter);
            QVERIFY(enter.isAccepted());
            QDragMoveEvent move(QPoint(40, 30), Qt::CopyAction | Qt::MoveAction, copy, Qt::LeftButton,
                                Qt::NoModifier);
            QCoreApplication::sendEvent(v->viewport(), &move);
            QVERIFY(move.isAccepted());
        }
        QCOMPARE(copy->mostReadHere(), 0);
        QVERIFY(!copy->textMade());
    }
};

QTEST_MAIN(TestCopyAsked)
#include "tst_copy_asked.moc"
