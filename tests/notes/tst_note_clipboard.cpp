// Copy, cut and paste in a note's view, and where undo and redo leave the caret.
#include "common/HeldPool.h"
#include "common/Instrumented.h"
#include "common/RichNotes.h"
#include "notes/NoteTextView.h"
#include "notes/PacedLayout.h"
#include "notes/RichTextView.h"
#include "notes/RichPaste.h"
#include "notes/SelectionCopy.h"
#include "platform/Background.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

namespace {
// What a worker makes is waited for as long as a loaded machine may take (Qt's 5 s was too short
// beside other builds); a wait ends as soon as what it waits for holds.
const int kWaitMs = scaledWaitMs(60000);

NoteDocument::Style style() {
    return {QFont(), Qt::black, Qt::blue};
}

// Numbered lines of words, so each line is a paragraph of its own.
QString lines(int count) {
    QString s;
    for (int i = 0; i < count; ++i)
        s += QStringLiteral("line %1 of plain words\n").arg(i, 4, 10, QLatin1Char('0'));
    return s;
}

void show(NoteTextView &v, const Note &n) {
    v.resize(400, 300);
    v.setDocument(NoteDocument::build(n, style()));
    v.document()->setParent(&v);
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
}

void select(NoteTextView &v, int from, int to) {
    QTextCursor c(v.document());
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    v.setTextCursor(c);
}

void placeCursor(NoteTextView &v, int pos) {
    QTextCursor c(v.document());
    c.setPosition(pos);
    v.setTextCursor(c);
}

// A line of emoji and flags with no space to cut at.
QString denseLine(int chars) {
    QString s;
    while (s.size() < chars)
        s += QStringLiteral("🇺🇦🇩🇪👍🏽👩‍💻🙂x");
    return s;
}

// A document position's offset in the stored text (each cut between pieces takes a position).
int storedOffset(const QTextDocument &doc, int pos) {
    int cuts = 0;
    for (QTextBlock b = doc.firstBlock(); b.isValid() && b.position() <= pos; b = b.next())
        cuts += NoteDocument::continues(b);
    return pos - cuts;
}

int docPosition(const QTextDocument &doc, int stored) {
    int pos = stored;
    for (QTextBlock b = doc.firstBlock(); b.isValid() && b.position() <= pos; b = b.next())
        pos += NoteDocument::continues(b);
    return pos;
}

// The process's resident memory and its peak since the peak was last reset, in KiB (-1: not known).
qint64 memoryKb(const char *field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field)) return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    return -1;
}

bool resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

bool caretShown(NoteTextView &v) {
    return v.viewport()->rect().contains(v.cursorRect().center());
}
// The stored text of from..to as runs of one look each ("text|bold|italic|pixels|colour|link"), a
// paragraph break as "¶": what a rich paste must keep, wherever the pieces of a line are cut.
QStringList looks(const QTextDocument &doc, int from, int to) {
    QStringList out;
    QString key;
    const auto add = [&](const QString &text, const QString &look) {
        if (!out.isEmpty() && look == key) {
            out.last().insert(out.last().indexOf(u'|'), text);
            return;
        }
        key = look;
        out << text + look;
    };
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        if (b.position() > from && !NoteDocument::continues(b)) add(QStringLiteral("¶"), QString());
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const int s = std::max(from, f.position()), e = std::min(to, f.position() + f.length());
            if (s >= e) continue;
            const QTextCharFormat c = NoteDocument::storedFormat(f.charFormat());
            // A line break the note holds within a paragraph is one too.
            const QStringList lines = f.text().mid(s - f.position(), e - s).split(QChar::LineSeparator);
            for (qsizetype i = 0; i < lines.size(); ++i) {
                if (i > 0) add(QStringLiteral("¶"), QString());
                if (lines.at(i).isEmpty()) continue;
                add(lines.at(i),
                    QStringLiteral("|%1|%2|%3|%4|%5")
                        .arg(c.fontWeight() >= QFont::Bold)
                        .arg(c.fontItalic())
                        .arg(RtfCodec::shownPixels(c.font()))
                        .arg(c.foreground().style() == Qt::NoBrush ? QString()
                                                                   : c.foreground().color().name())
                        .arg(c.isAnchor() ? c.anchorHref() : QString()));
            }
        }
    }
    return out;
}

// A long rich note: paragraphs as users write them, and lines of bold, italic, larger and red words
// long enough to be cut in pieces.
Note longRichNote() {
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat plain, bold, italic, big, red, link;
    bold.setFontWeight(QFont::Bold);
    italic.setFontItalic(true);
    big.setProperty(QTextFormat::FontPixelSize, 21);
    red.setForeground(QColor(200, 30, 30));
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://mivo.example/home"));
    link.setFontUnderline(true);
    const QTextCharFormat looks[] = {plain, bold, italic, big, red, link};
    for (int p = 0; p < 6; ++p) {
        for (int i = 0; i < 120; ++i) {
            c.insertText(QStringLiteral("Paragraph %1 has ").arg(i), plain);
            c.insertText(QStringLiteral("bold words"), bold);
            c.insertText(QStringLiteral(", "), italic);
            c.insertText(QStringLiteral("a bigger size"), big);
            c.insertText(QStringLiteral(" in red"), red);
            c.insertText(QStringLiteral(" and our home page"), link);
            c.insertText(QStringLiteral(".\n"), plain);
        }
        for (int w = 0; doc.characterCount() < (p + 1) * 40'000; ++w)
            c.insertText(QStringLiteral("word%1 ").arg(w), looks[w % 6]);
        c.insertText(QStringLiteral("\n"), plain);
    }
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Long rich"));
    n.id = QStringLiteral("L");
    n.body = doc.toPlainText();
    n.bodyRTF = RtfCodec::write(doc);
    return n;
}
} // namespace

class TestNoteClipboard : public QObject {
    Q_OBJECT
private slots:
    // A select-all and copy of a long note makes nothing, then or later, until its text is asked for
    // (by another program, as UTF-8): then a worker reads it while the window's thread waits, and it
    // is not kept; left by its view, it is made then. What is given is the stored text of the
    // selection, across pieces cut between emoji and flags, moved by edits before it meanwhile. Rich
    // text is offered only for a short selection. With every worker busy it is read here, whole.
    void aLongCopyIsReadAPartAtATime() {
        QString body;
        for (int i = 0; i < 6; ++i)
            body += denseLine(40'000) + u'\n' + wordsLine(30'000) + u'\n';
        NoteTextView v;
        show(v, textNote(body));
        QTextDocument *doc = v.document();
        QVERIFY(doc->blockCount() > 30);
        QClipboard *clipboard = QGuiApplication::clipboard();
        const auto copied = [clipboard] {
            return qobject_cast<const SelectionCopy *>(clipboard->mimeData());
        };
        const auto wanted = [&body, doc](int from, int to) {
            return body.mid(storedOffset(*doc, from), storedOffset(*doc, to) - storedOffset(*doc, from));
        };
        const QString kText = QStringLiteral("text/plain");

        // Asked for at once, as bytes.
        int from = 8, to = docPosition(*doc, int(body.lastIndexOf(QStringLiteral("word5"))) + 2);
        QString want = wanted(from, to);
        select(v, from, to);
        v.copy();
        const SelectionCopy *copy = copied();
        QVERIFY(copy && !copy->textMade());
        QVERIFY(copy->hasText());
        QVERIFY(!copy->hasHtml());
        QCOMPARE(copy->data(kText), want.toUtf8());
        QCOMPARE(copy->text(), want);
        QCOMPARE(copy->mostReadHere(), 0);
        QVERIFY(!copy->textMade()); // handed over, not kept
        // Copied again (as the primary selection is and the clipboard then): the same copy.
        v.copy();
        QVERIFY(copied() != copy && !copied()->textMade());
        QCOMPARE(copied()->data(kText), want.toUtf8());

        // Offered only as the primary selection (made at every change of the selection, never put on
        // the clipboard): nothing is read until it is asked for.
        {
            SelectionCopy primary(doc, from, to, NoteDocument::appendStoredText, NoteDocument::richCopy);
            for (int i = 0; i < 20; ++i)
                QCoreApplication::processEvents();
            QVERIFY(!primary.textMade());
            QCOMPARE(primary.mostReadHere(), 0);
            QCOMPARE(primary.text(), want);
        }

        // On the clipboard, nothing is read over the turns that follow; typed before and after it
        // meanwhile, it is still the text selected.
        from = docPosition(*doc, int(body.indexOf(QStringLiteral("👩"), 50'000)));
        to = docPosition(*doc, int(body.indexOf(QStringLiteral("🇩🇪"), 300'000)));
        want = wanted(from, to);
        select(v, from, to);
        v.copy();
        copy = copied();
        for (int i = 0; i < 100; ++i)
            QCoreApplication::processEvents();
        QVERIFY(copy->mostReadHere() == 0 && !copy->textMade());
        QTextCursor behind(doc);
        behind.insertText(QStringLiteral("before "));
        behind.setPosition(to + 20);
        behind.insertText(QStringLiteral(" after"));
        QCOMPARE(copy->text(), want);
        QCOMPARE(copy->data(kText), want.toUtf8());
        QCOMPARE(copy->mostReadHere(), 0);

        // Left by its view before it is read: read where it stands, and kept.
        select(v, 8, to);
        want = NoteDocument::wholeText(*doc, 8, to);
        v.copy();
        copy = copied();
        v.setDocument(NoteDocument::build(textNote(QStringLiteral("other")), style()));
        v.document()->setParent(&v);
        delete doc;
        QVERIFY(copy->textMade());
        QCOMPARE(copy->text(), want);
        QCOMPARE(copy->mostReadHere(), 0);

        // A short one offers rich text.
        show(v, textNote(body));
        select(v, 8, 8 + SelectionCopy::kKeptRichChars);
        v.copy();
        QVERIFY(copied()->hasHtml());

        // Every worker busy: read here rather than waited for.
        HeldPool held;
        v.selectAll();
        v.copy();
        QCOMPARE(clipboard->mimeData()->data(kText), body.toUtf8());
        QCOMPARE(clipboard->text(), body);
    }

    // What is pasted is what was selected when it was copied, whatever was edited since: typed over,
    // cut, undone, deleted whole, or edited before it.
    void aCopyPastesWhatWasSelected() {
        const QString body = lines(1000);
        NoteTextView v;
        show(v, textNote(body));
        QClipboard *clipboard = QGuiApplication::clipboard();
        const int line = body.indexOf(QStringLiteral("line 0300"));
        const QString copied = body.mid(line, 60);

        // Typed over.
        select(v, line, line + 60);
        v.copy();
        select(v, line + 10, line + 20);
        QTest::keyClicks(&v, QStringLiteral("XYZ"));
        QCOMPARE(clipboard->text(), copied);

        // Typed far before it: it moved, and still is the same text.
        v.undo();
        QCOMPARE(v.wholeText(), body);
        select(v, line, line + 60);
        v.copy();
        placeCursor(v, 5);
        QTest::keyClicks(&v, QStringLiteral("ab"));
        QCOMPARE(clipboard->text(), copied);
        for (int i = 0; i < 4 && v.wholeText() != body; ++i)
            v.undo();
        QCOMPARE(v.wholeText(), body);

        // An undo that takes back what it was copied from.
        placeCursor(v, line + 30);
        QTest::keyClicks(&v, QStringLiteral("new"));
        const QString typed = v.wholeText().mid(line, 63);
        select(v, line, line + 63);
        v.copy();
        QTest::keyClick(&v, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(v.wholeText(), body);
        QCOMPARE(clipboard->text(), typed);

        // Cut, and pasted where it was.
        select(v, line, line + 60);
        QTest::keyClick(&v, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(v.wholeText(), QString(body).remove(line, 60));
        QTest::keyClick(&v, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(v.wholeText(), body);

        // Everything, deleted: longer than a rich copy is kept for, its text still whole.
        QVERIFY(body.size() > SelectionCopy::kKeptRichChars);
        v.selectAll();
        v.copy();
        QTest::keyClick(&v, Qt::Key_Delete);
        QCOMPARE(v.wholeText(), QString());
        QCOMPARE(clipboard->text(), body);
        QTest::keyClick(&v, Qt::Key_V, Qt::ControlModifier); // as plain text: the note has no look of its own
        QTRY_COMPARE_WITH_TIMEOUT(v.wholeText(), body, kWaitMs);

        // Changed past the view before it was made: it offers nothing rather than other text.
        select(v, line, line + 60);
        v.copy();
        QTextCursor behind(v.document());
        behind.setPosition(line + 5);
        behind.insertText(QStringLiteral("QQ"));
        QVERIFY(!clipboard->mimeData()->hasText());
        QCOMPARE(clipboard->text(), QString());
    }

    // The rich copy keeps the note's bold and links when what it was copied from is typed over
    // before it is pasted, and a line's pieces are one paragraph in it.
    void aRichCopyKeepsItsLooks() {
        const Note n = richNote(QStringLiteral("R"), 4 * 1024);
        NoteTextView from;
        show(from, n);
        const int start = n.body.indexOf(QStringLiteral("Paragraph 3 "));
        const int end = n.body.indexOf(QStringLiteral(" for more of it"), start);
        select(from, start, end);
        from.copy();
        QTest::keyClicks(&from, QStringLiteral("gone"));

        NoteTextView into;
        show(into, textNote(QString()));
        into.setFocus();
        QTest::keyClick(&into, Qt::Key_V, Qt::ControlModifier);
        const QString pasted = n.body.mid(start, end - start);
        QCOMPARE(into.wholeText(), pasted);
        QTextCursor at(into.document());
        at.setPosition(pasted.indexOf(QStringLiteral("bold words")) + 2);
        QCOMPARE(at.charFormat().fontWeight(), int(QFont::Bold));
        at.setPosition(pasted.indexOf(QStringLiteral("our home page")) + 2);
        QCOMPARE(at.charFormat().anchorHref(), QStringLiteral("https://mivo.example/home"));
        // The addresses the view made links of are not pasted as links of the note's own.
        at.setPosition(pasted.indexOf(QStringLiteral("example.org")) + 2);
        QVERIFY(!at.charFormat().isAnchor() || at.charFormat().boolProperty(RichTextView::kAutoLinkProperty));

        // Across the cut between two pieces of a line: no line break where the cut is.
        const QString line = wordsLine(int(NoteDocument::kPieceChars) + 5000);
        NoteTextView pieces;
        show(pieces, textNote(line));
        const QTextBlock second = pieces.document()->firstBlock().next();
        QVERIFY(NoteDocument::continues(second));
        select(pieces, second.position() - 4, second.position() + 4);
        pieces.copy();
        QVERIFY(QGuiApplication::clipboard()->mimeData()->hasHtml());
        into.selectAll();
        QTest::keyClick(&into, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(into.wholeText(), line.mid(second.position() - 4, 7));
    }

    // A copy too long to be made HTML on the window's thread keeps its looks all the same, as RTF
    // made only once it is asked for (by the paste), or, typed over before that, made then by a
    // worker while the window waits and kept deflated; pasted into another note, read on a worker.
    void aLongRichCopyKeepsItsLooks() {
        const Note n = longRichNote();
        NoteTextView from;
        show(from, n);
        QTextDocument *doc = from.document();
        QClipboard *clipboard = QGuiApplication::clipboard();
        const QString kRtf = QStringLiteral("text/rtf");
        const int start = docPosition(*doc, int(n.body.indexOf(QStringLiteral("Paragraph 7 has "))) + 4);
        const int end = docPosition(*doc, int(n.body.lastIndexOf(QStringLiteral("Paragraph 100 "))) + 6);
        QVERIFY(end - start > SelectionCopy::kSliceChars * 3);
        int pieces = 0;
        for (QTextBlock b = doc->findBlock(start); b.isValid() && b.position() < end; b = b.next())
            pieces += NoteDocument::continues(b);
        QVERIFY(pieces > 4);
        for (const bool typedOver : {false, true}) {
            // Another selection each time: a copy of the same one is made once.
            const int at = start + typedOver;
            const QStringList want = looks(*doc, at, end);
            const QString wantText = NoteDocument::wholeText(*doc, at, end);
            select(from, at, end);
            from.copy();
            const auto *copy = qobject_cast<const SelectionCopy *>(clipboard->mimeData());
            QVERIFY(copy && !copy->hasHtml() && copy->hasFormat(kRtf));
            if (typedOver) {
                QVERIFY(!copy->richMade());
                QTest::keyClicks(&from, QStringLiteral("gone"));
                QVERIFY(copy->richMade());
            } else {
                for (int i = 0; i < 100; ++i)
                    QCoreApplication::processEvents();
                QVERIFY(!copy->richMade() && !copy->textMade());
            }
            NoteTextView into;
            show(into, textNote(QStringLiteral("before ")));
            placeCursor(into, 7);
            into.setFocus();
            QTest::keyClick(&into, Qt::Key_V, Qt::ControlModifier);
            QTRY_COMPARE_WITH_TIMEOUT(into.wholeText(), QStringLiteral("before ") + wantText, kWaitMs);
            const QTextDocument &pasted = *into.document();
            QCOMPARE(looks(pasted, 7, pasted.characterCount() - 1), want);
            if (typedOver) {
                from.undo();
                QCOMPARE(from.wholeText(), n.body);
            }
        }
    }

    // A long copy settled by an edit (its characters about to change) keeps its text and RTF
    // deflated, made a slice at a time: neither is ever held whole, then or after (the RTF of a line
    // of emoji is nine bytes a character: whole, a copy of a few million held tens of megabytes
    // beside the note). Asked for, each is given whole, as it was selected.
    void aSettledLongCopyIsKeptDeflated() {
        const QString body = denseLine(4'500'000);
        NoteTextView v;
        show(v, textNote(body));
        if (kSanitized) QSKIP("a sanitizer's allocator and shadow memory are not the program's");
        if (memoryKb("VmHWM:") < 0 || !resetPeak()) QSKIP("no peak of resident memory to read");
        // A look of its own (a plain text's copy offers no RTF).
        QTextCursor bold(v.document());
        bold.setPosition(2, QTextCursor::KeepAnchor);
        QTextCharFormat b;
        b.setFontWeight(QFont::Bold);
        bold.mergeCharFormat(b);
        // The key's own cost (its paragraph laid out again, the emoji drawn) met once before.
        select(v, 0, 4);
        QTest::keyClicks(&v, QStringLiteral("x"));
        v.undo();
        v.selectAll();
        v.copy();
        const auto *copy = qobject_cast<const SelectionCopy *>(QGuiApplication::clipboard()->mimeData());
        QVERIFY(copy && copy->hasFormat(QStringLiteral("text/rtf")) && !copy->richMade());
        const QString want = v.wholeText();
        // Typed over at its start: it is settled first.
        select(v, 0, 4);
        const qint64 before = memoryKb("VmRSS:");
        resetPeak();
        QTest::keyClicks(&v, QStringLiteral("x"));
        const qint64 peak = memoryKb("VmHWM:") - before;
        Background::pool().waitForDone(); // what was freed on the way given back
        const qint64 held = memoryKb("VmRSS:") - before;
        QVERIFY(copy->textMade() && copy->richMade());
        QVERIFY2(peak < 12 << 10, qPrintable(QStringLiteral("the settle held %1 KiB at most").arg(peak)));
        QVERIFY2(held < 8 << 10, qPrintable(QStringLiteral("the copy kept %1 KiB").arg(held)));
        const QByteArray rtf = copy->data(QStringLiteral("text/rtf"));
        QVERIFY2(rtf.size() > 32 << 20, qPrintable(QString::number(rtf.size())));
        QCOMPARE(copy->data(QStringLiteral("text/plain")), want.toUtf8());
        QCOMPARE(copy->text(), want);
    }

    // Ctrl+C after a select-all in a long note lays nothing out: the Ctrl pressed first made the
    // editor lay out the paragraphs at both ends of the selection, and the copy the one it begins
    // in, wherever they were.
    void aCopyKeyLaysNothingOut() {
        const QString body = lines(4000);
        NoteTextView v;
        show(v, textNote(body));
        auto *layout = dynamic_cast<NoteDocument::PacedLayout *>(v.document()->documentLayout());
        QVERIFY(layout);
        v.setFocus();
        v.selectAll();
        QTRY_VERIFY_WITH_TIMEOUT(!layout->puttingOff(), kWaitMs);
        const QTextBlock last = v.document()->lastBlock();
        for (QTextBlock b = v.document()->firstBlock(); b.isValid(); b = b.next())
            if (b != last) b.clearLayout();
        const int before = layout->paragraphsLaidOut();
        QTest::keyPress(&v, Qt::Key_Control, Qt::ControlModifier);
        QTest::keyClick(&v, Qt::Key_C, Qt::ControlModifier);
        QTest::keyRelease(&v, Qt::Key_Control, Qt::ControlModifier);
        QCOMPARE(layout->paragraphsLaidOut(), before);
        QCOMPARE(QGuiApplication::clipboard()->text(), body);
    }

    // Removing a long selection, and the undo and redo of that step, are handed to the view's owner
    // to run on a worker; shorter steps, and a step that took a long one's place, are done here.
    void aLongRemovalIsDoneOnAWorker() {
        const QString body = lines(4000);
        NoteTextView v;
        show(v, textNote(body));
        v.setFocus();
        int handed = 0;
        v.onLongEdit = [&v, &handed](std::function<int(QTextDocument &)> edit) {
            ++handed;
            QTextDocument *doc = v.document();
            v.setDocument(nullptr);
            v.setReadOnly(true);
            NoteDocument::editLater(doc, std::move(edit), &v, [&v](QTextDocument *d, int caret) {
                d->setParent(&v);
                v.setDocument(d);
                v.setReadOnly(false);
                QTextCursor c(d);
                c.setPosition(caret);
                v.setTextCursor(c);
            });
        };
        const auto key = [&v](Qt::Key k, Qt::KeyboardModifiers mods = {}) {
            QTRY_VERIFY_WITH_TIMEOUT(!v.isReadOnly(), kWaitMs);
            QTest::keyClick(&v, k, mods);
        };
        const auto settled = [&v]() -> QString {
            [&v] { QVERIFY(QTest::qWaitFor([&v] { return !v.isReadOnly(); }, 20'000)); }();
            return v.wholeText();
        };
        QClipboard *clipboard = QGuiApplication::clipboard();
        v.selectAll();
        v.copy();
        key(Qt::Key_Delete);
        QCOMPARE(handed, 1);
        QCOMPARE(settled(), QString());
        QCOMPARE(clipboard->text(), body);
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(handed, 2);
        QCOMPARE(settled(), body);
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(handed, 3);
        QCOMPARE(settled(), QString());
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(settled(), body);
        QCOMPARE(handed, 4);

        // A part of it, from the middle of a line.
        select(v, 7, 90'000);
        key(Qt::Key_Backspace);
        QCOMPARE(handed, 5);
        QCOMPARE(settled(), QString(body).remove(7, 90'000 - 7));
        QCOMPARE(v.textCursor().position(), 7);
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(handed, 6);
        QCOMPARE(settled(), body);
        // A key typed then takes the long step's place: its undo is done here.
        QTest::keyClicks(&v, QStringLiteral("k"));
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(handed, 6);
        QCOMPARE(settled(), body);
        // A short selection is removed here.
        select(v, 7, 900);
        key(Qt::Key_Delete);
        QCOMPARE(handed, 6);
        QCOMPARE(v.wholeText(), QString(body).remove(7, 893));
    }


    // A long copy of a note whose text has no look of its own offers its text alone: RTF written for
    // it added nothing and took several times its memory. Pasted into a note it is the same text, of
    // the same looks; a note with one bold word still offers its RTF.
    void aCopyOfPlainTextOffersTextAlone() {
        const QString body = denseLine(60'000) + QStringLiteral("\nsee https://example.org/p\n") + lines(3000);
        NoteTextView v;
        show(v, textNote(body));
        QTextDocument *doc = v.document();
        QClipboard *clipboard = QGuiApplication::clipboard();
        const int from = 3, to = doc->characterCount() - 40;
        const QStringList want = looks(*doc, from, to);
        select(v, from, to);
        v.copy();
        const auto *copy = qobject_cast<const SelectionCopy *>(clipboard->mimeData());
        QVERIFY(copy);
        QCOMPARE(copy->formats(), QStringList{QStringLiteral("text/plain")});
        QVERIFY(!copy->textMade() && !copy->richMade());
        QCOMPARE(copy->text(), NoteDocument::wholeText(*doc, from, to));
        NoteTextView into;
        show(into, textNote(QStringLiteral("before ")));
        placeCursor(into, 7);
        into.setFocus();
        QTest::keyClick(&into, Qt::Key_V, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(into.wholeText(), QStringLiteral("before ") + copy->text(), kWaitMs);
        QCOMPARE(looks(*into.document(), 7, into.document()->characterCount() - 1), want);

        // One word made bold: the copy keeps it.
        QTextCursor bold(doc);
        bold.setPosition(doc->characterCount() - 20);
        bold.setPosition(doc->characterCount() - 16, QTextCursor::KeepAnchor);
        QTextCharFormat b;
        b.setFontWeight(QFont::Bold);
        bold.mergeCharFormat(b);
        select(v, from, doc->characterCount() - 1);
        v.copy();
        QVERIFY(clipboard->mimeData()->hasFormat(QStringLiteral("text/rtf")));
    }

    // A copy holds what was selected and nothing more, as its text and as its rich text: a word, a
    // line, a line with its break (the selection ends where the next paragraph begins), the whole
    // note; each pasted into a note is the text copied.
    void aCopyEndsWhereItsSelectionEnds() {
        QTextDocument rich;
        QTextCursor c(&rich);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        c.insertText(QStringLiteral("first "));
        c.insertText(QStringLiteral("bold"), bold);
        c.insertText(QStringLiteral(" line\nsecond line\nthird\n"), QTextCharFormat());
        Note n = textNote(rich.toPlainText());
        n.bodyRTF = RtfCodec::write(rich);
        NoteTextView v;
        show(v, n);
        const QString body = v.wholeText();
        QCOMPARE(body, n.body);
        QClipboard *clipboard = QGuiApplication::clipboard();
        const int lineEnd = int(body.indexOf(u'\n'));
        for (const auto &[from, to] : {std::pair(6, 10), std::pair(0, lineEnd), std::pair(0, lineEnd + 1),
                                       std::pair(lineEnd + 1, int(body.size())), std::pair(0, int(body.size()))}) {
            select(v, from, to);
            v.copy();
            const QString selected = body.mid(from, to - from);
            QCOMPARE(clipboard->text(), selected);
            NoteTextView into;
            show(into, textNote(QString()));
            into.setFocus();
            QTest::keyClick(&into, Qt::Key_V, Qt::ControlModifier);
            QTRY_COMPARE_WITH_TIMEOUT(into.wholeText(), selected, kWaitMs);
        }
    }

    // Undo of a paste leaves the caret where the paste was, and the view on it; redo after the
    // text it puts back.
    void undoOfAPasteStaysWhereThePasteWas_data() { shortAndLongRows("chars"); }
    void undoOfAPasteStaysWhereThePasteWas() {
        QFETCH(int, chars);
        const Note n = richNote(QStringLiteral("U"), chars);
        NoteTextView v;
        show(v, n);
        v.setFocus();
        const int at = n.body.lastIndexOf(QStringLiteral("Paragraph"));
        placeCursor(v, at);
        QTRY_VERIFY_WITH_TIMEOUT(caretShown(v), kWaitMs);
        QVERIFY(v.verticalScrollBar()->value() > 0);
        for (bool rich : {false, true}) {
            auto *m = new QMimeData;
            m->setText(QStringLiteral("pasted words"));
            if (rich) m->setHtml(QStringLiteral("<b>pasted</b> words"));
            QGuiApplication::clipboard()->setMimeData(m);
            QTest::keyClick(&v, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(v.textCursor().position(), at + 12);
            QTest::keyClick(&v, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(v.wholeText(), n.body);
            QCOMPARE(v.textCursor().position(), at);
            QTRY_VERIFY_WITH_TIMEOUT(caretShown(v), kWaitMs);
            v.redo();
            QCOMPARE(v.wholeText().mid(at, 12), QStringLiteral("pasted words"));
            QVERIFY(v.textCursor().position() >= at + 12);
            QCOMPARE(v.textCursor().block(), v.document()->findBlock(at));
            QTRY_VERIFY_WITH_TIMEOUT(caretShown(v), kWaitMs);
            v.undo();
            QCOMPARE(v.textCursor().position(), at);
            QTRY_VERIFY_WITH_TIMEOUT(caretShown(v), kWaitMs);
        }
    }
};

QTEST_MAIN(TestNoteClipboard)
#include "tst_note_clipboard.moc"
