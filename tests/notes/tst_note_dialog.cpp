#include "common/RichNotes.h"
#include "common/TestEnv.h"
#include "notes/FormatBar.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteTextView.h"
#include "notes/PacedLayout.h"
#include "notes/RichTextView.h"
#include "platform/Background.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QThreadPool>
#include <QtTest>

namespace {
const QColor kLinkColour = QColor::fromRgbF(0.5f, 0.78f, 1.0f);

void settle() {
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

QTextCharFormat formatAt(const QTextDocument *doc, int pos) {
    QTextCursor c(const_cast<QTextDocument *>(doc));
    c.setPosition(pos + 1);
    return c.charFormat();
}

// The link over the first place where text is shown, and whether the view found it itself.
struct Link {
    QString href;
    bool detected = false;
};
Link linkOver(const NoteTextView *v, const QString &text) {
    const QTextCursor at = v->document()->find(text);
    if (at.isNull()) return {QStringLiteral("(no such text)")};
    const QTextCharFormat f = formatAt(v->document(), at.selectionStart());
    return {f.isAnchor() ? f.anchorHref() : QString(), f.boolProperty(RichTextView::kAutoLinkProperty)};
}

QPushButton *buttonTitled(NoteEditorDialog &dlg, const QString &part) {
    for (QPushButton *b : dlg.findChildren<QPushButton *>())
        if (b->text().contains(part)) return b;
    return nullptr;
}

// Answers the link alert with a display text and an address typed into its fields.
void answerLinkAlert(TestDialogs &dialogs, const QString &display, const QString &url) {
    dialogs.alertAnswers << 0;
    dialogs.fills << [display, url](const Dialogs::Alert &a) {
        const QList<QLineEdit *> fields = a.accessory->findChildren<QLineEdit *>();
        fields.at(0)->setText(display);
        fields.at(1)->setText(url);
    };
}
// Whether the end of the text is on the view's last row: at the bottom of the viewport, with no
// blank rows below it.
bool endOnLastRow(NoteTextView *v) {
    QTextCursor end(v->document());
    end.movePosition(QTextCursor::End);
    const QRect r = v->cursorRect(end);
    const int bottom = v->viewport()->height() - int(v->document()->documentMargin());
    return r.bottom() <= bottom && r.bottom() > bottom - 2 * r.height();
}

// The same with the scroll bar dragged to its end.
bool endOnLastRowAtMaximum(NoteTextView *v) {
    QScrollBar *bar = v->verticalScrollBar();
    bar->setValue(bar->maximum());
    return endOnLastRow(v);
}
} // namespace

class TestNoteDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // A rich note edited in the dialog, one word typed and an address typed out, keeps exactly its
    // own links, underlines and colours: the addresses the view links as it shows them and as they
    // are typed are never stored.
    void anEditStoresOnlyTheNotesOwnLinks_data() { shortAndLongRows("chars"); }
    void anEditStoresOnlyTheNotesOwnLinks() {
        QFETCH(int, chars);
        TempPrefs prefs;
        const Note n = richNote(QStringLiteral("R"), chars);
        const QStringList before = linksAndUnderlines(*n.bodyRTF);
        QCOMPARE(before.filter(QStringLiteral("mivo.example")).size(), before.size());
        std::optional<Note> got;
        NoteEditorDialog dlg(
            n, true, [&](const std::optional<Note> &s) { got = s; }, nullptr);
        dlg.QDialog::show();
        QTRY_VERIFY(!dlg.bodyBuilding());
        NoteTextView *body = dlg.bodyView();
        QVERIFY(!body->isReadOnly());
        const Link shown = linkOver(body, QStringLiteral("https://example.org/p0"));
        QCOMPARE(shown.href, QStringLiteral("https://example.org/p0"));
        QVERIFY(shown.detected);
        QCOMPARE(linkOver(body, QStringLiteral("our home page")).href,
                 QStringLiteral("https://mivo.example/home"));
        QTextCursor at(body->document());
        at.setPosition(int(n.body.indexOf(QStringLiteral("has "))));
        body->setTextCursor(at);
        QTest::keyClicks(body, QStringLiteral("still "));
        body->moveCursor(QTextCursor::End);
        QTest::keyClicks(body, QStringLiteral(" www.typed.example "));
        QVERIFY(linkOver(body, QStringLiteral("www.typed.example")).detected);
        QVERIFY(dlg.doSave());
        QTRY_VERIFY(got);
        QVERIFY(got->body.startsWith(QStringLiteral("Paragraph 0 still has")));
        QVERIFY(got->body.endsWith(QStringLiteral(" www.typed.example ")));
        QVERIFY(got->bodyRTF);
        QCOMPARE(linksAndUnderlines(*got->bodyRTF), before);
        QCOMPARE(colours(*got->bodyRTF), colours(*n.bodyRTF));
    }

    // After a paste of many lines dense in emoji (each cut into pieces sharing rows, a screenful
    // laid out over a few turns), the scroll range reaches exactly the end: the view is left at it,
    // Ctrl+End and the scroll bar dragged to its end show the last line on the last row. The range
    // was counted while the last screenful was put off and never again: the end out of reach.
    void theScrollRangeEndsAtTheLastLineAfterAPaste_data() {
        QTest::addColumn<int>("chars");
        QTest::newRow("12 KB") << 12 * 1024;
        QTest::newRow("20 KB") << 20 * 1024;
    }
    void theScrollRangeEndsAtTheLastLineAfterAPaste() {
        QFETCH(int, chars);
        TempPrefs prefs;
        NoteEditorDialog dlg(
            Note(NoteType::text, QStringLiteral("📝"), QStringLiteral("Pasted")), true,
            [](const std::optional<Note> &) {}, nullptr);
        dlg.QDialog::show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        NoteTextView *body = dlg.bodyView();
        QString pasted;
        for (int i = 0; pasted.size() < chars; ++i) {
            QString line = QString::number(i);
            while (line.size() < 150)
                line += QStringLiteral(" 🙂 word 🎉");
            pasted += line + u'\n';
        }
        QGuiApplication::clipboard()->setText(pasted);
        body->setFocus();
        body->paste();
        QVERIFY(!dlg.bodyBuilding());
        const auto *layout = dynamic_cast<const NoteDocument::PacedLayout *>(body->document()->documentLayout());
        QVERIFY(layout);
        // Checked once the screen has settled: the range may be right for a moment before that.
        const auto settled = [&] {
            QTRY_VERIFY(!layout->puttingOff());
            settle();
        };
        settled();
        QTRY_VERIFY(endOnLastRow(body));
        QTRY_VERIFY(endOnLastRowAtMaximum(body));
        body->verticalScrollBar()->setValue(0);
        settled();
        QTest::keyClick(body, Qt::Key_End, Qt::ControlModifier);
        settled();
        QTRY_VERIFY(endOnLastRow(body));
        QTRY_VERIFY(endOnLastRowAtMaximum(body));
    }

    // The floating B/I/U bar over a selection covers neither the selected line nor the one after
    // it: above the selection, or below the next line when the view has no room above (the first
    // line shown).
    void theFormatBarCoversNeitherTheSelectionNorTheNextLine() {
        TempPrefs prefs;
        Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Bar"));
        for (int i = 0; i < 12; ++i)
            n.body += QStringLiteral("line %1 with a few words\n").arg(i);
        NoteEditorDialog dlg(
            n, true, [](const std::optional<Note> &) {}, nullptr);
        dlg.QDialog::show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        NoteTextView *body = dlg.bodyView();
        body->activateWindow();
        body->setFocus();
        QTRY_VERIFY(body->hasFocus());
        for (const int line : {0, 5}) {
            QTextCursor sel = body->document()->find(QStringLiteral("line %1 ").arg(line));
            sel.setPosition(sel.selectionStart() + 5);
            sel.setPosition(sel.position() + 1, QTextCursor::KeepAnchor);
            body->setTextCursor(sel);
            QWidget *bar = FloatingFormatBar::barOf(body);
            QTRY_VERIFY(bar && bar->isVisible());
            QTextCursor next = body->document()->find(QStringLiteral("line %1 ").arg(line + 1));
            next.setPosition(next.selectionStart());
            const QRect selected = body->cursorRect(sel), following = body->cursorRect(next);
            const QRect g = bar->geometry();
            const auto rows = [&](const QRect &r) {
                return QRect(0, r.top(), body->viewport()->width(), r.height());
            };
            QVERIFY2(!g.intersects(rows(selected)) && !g.intersects(rows(following)),
                     qPrintable(QStringLiteral("line %1: bar at %2..%3, lines %4 and %5")
                                    .arg(line)
                                    .arg(g.top())
                                    .arg(g.bottom())
                                    .arg(selected.top())
                                    .arg(following.top())));
            QVERIFY(body->viewport()->rect().contains(g));
            QCOMPARE(g.bottom() < selected.top(), line == 5);
        }
    }

    // A paste of 11 KB (put in at once) and of 20 K (long lines put in as pieces) keeps the
    // dialog's linking: the pasted address and one typed after it are links at once, and Detect
    // URLs stays at hand and makes them links of the note's own, stored with it.
    void aPasteKeepsLinkingAndDetectUrls_data() {
        QTest::addColumn<int>("chars");
        QTest::newRow("11 KB") << 11 * 1024;
        QTest::newRow("20 K") << 20 * 1024;
    }
    void aPasteKeepsLinkingAndDetectUrls() {
        QFETCH(int, chars);
        TempPrefs prefs;
        std::optional<Note> got;
        NoteEditorDialog dlg(
            Note(NoteType::text, QStringLiteral("📝"), QStringLiteral("Pasted")), true,
            [&](const std::optional<Note> &s) { got = s; }, nullptr);
        dlg.QDialog::show();
        NoteTextView *body = dlg.bodyView();
        const QString pasted = QStringLiteral("see https://example.org/a ") + wordsLine(chars);
        QGuiApplication::clipboard()->setText(pasted);
        body->paste();
        QVERIFY(!dlg.bodyBuilding());
        QCOMPARE(body->wholeText(), pasted);
        QCOMPARE(linkOver(body, QStringLiteral("https://example.org/a")).href,
                 QStringLiteral("https://example.org/a"));
        body->moveCursor(QTextCursor::End);
        QTest::keyClicks(body, QStringLiteral(" www.typed.example "));
        QCOMPARE(linkOver(body, QStringLiteral("www.typed.example")).href,
                 QStringLiteral("https://www.typed.example"));
        QPushButton *detect = buttonTitled(dlg, QStringLiteral("Detect URLs"));
        QVERIFY(detect && detect->isEnabled());
        detect->click();
        QTRY_VERIFY(!dlg.bodyBuilding());
        QCOMPARE(body->wholeText(), pasted + QStringLiteral(" www.typed.example "));
        const Link typed = linkOver(body, QStringLiteral("www.typed.example"));
        QCOMPARE(typed.href, QStringLiteral("https://www.typed.example"));
        QVERIFY(!typed.detected);
        QVERIFY(dlg.doSave());
        QTRY_VERIFY(got);
        QVERIFY(got->bodyRTF);
        QCOMPARE(linksAndUnderlines(*got->bodyRTF),
                 QStringList({QStringLiteral("https://example.org/a|https://example.org/a|1"),
                              QStringLiteral("www.typed.example|https://www.typed.example|1")}));
    }

    // A rich paste into the body keeps its characters' formats and its own link, leaves highlights
    // out, and the address written in it is shown as a link; what is saved holds its own link only.
    void aRichPasteKeepsItsFormats() {
        TempPrefs prefs;
        std::optional<Note> got;
        NoteEditorDialog dlg(Note(NoteType::text, QStringLiteral("📝"), QStringLiteral("Rich")), true,
                             [&](const std::optional<Note> &s) { got = s; }, nullptr);
        NoteTextView *body = dlg.bodyView();
        QTest::keyClicks(body, QStringLiteral("Before "));
        auto *mime = new QMimeData;
        mime->setText(QStringLiteral("bold kept see www.pasted.example and home"));
        mime->setHtml(QStringLiteral("<b>bold</b> <i style=\"background:yellow\">kept</i> see www.pasted.example and "
                                     "<a href=\"https://mivo.example/\">home</a>"));
        QGuiApplication::clipboard()->setMimeData(mime);
        body->paste();
        QCOMPARE(body->wholeText(), QStringLiteral("Before bold kept see www.pasted.example and home"));
        QVERIFY(formatAt(body->document(), 8).fontWeight() >= QFont::Bold);
        const QTextCharFormat kept = formatAt(body->document(), 13);
        QVERIFY(kept.fontItalic() && !kept.hasProperty(QTextFormat::BackgroundBrush));
        QVERIFY(linkOver(body, QStringLiteral("www.pasted.example")).detected);
        QVERIFY(dlg.doSave());
        QVERIFY(got && got->bodyRTF);
        QCOMPARE(linksAndUnderlines(*got->bodyRTF).filter(QStringLiteral("|https://")),
                 QStringList{QStringLiteral("home|https://mivo.example/|1")});
    }

    // Detect URLs on a long body hands the document to a worker: the window's thread has none of
    // it to lay out or read meanwhile, takes no typing and no Save, and gets the linked text back.
    // The body's own styling goes: bold, sizes, colours and the link under a text of its own.
    // A dialog closed meanwhile leaves the worker nothing to hand back to.
    void detectUrlsOnALongBodyIsDoneOnAWorker() {
        TempPrefs prefs;
        const Note n = richNote(QStringLiteral("L"), 200 * 1024);
        std::optional<Note> got;
        NoteEditorDialog dlg(
            n, true, [&](const std::optional<Note> &s) { got = s; }, nullptr);
        dlg.QDialog::show();
        QTRY_VERIFY(!dlg.bodyBuilding());
        NoteTextView *body = dlg.bodyView();
        QTextDocument *doc = body->document();
        dlg.detectUrls();
        QVERIFY(dlg.bodyBuilding());
        QVERIFY(body->document() != doc);
        QVERIFY(body->isReadOnly());
        QVERIFY(!buttonTitled(dlg, QStringLiteral("Detect URLs"))->isEnabled());
        QVERIFY(!dlg.doSave());
        QTRY_VERIFY(!dlg.bodyBuilding());
        QCOMPARE(body->document(), doc);
        QVERIFY(!body->isReadOnly());
        QCOMPARE(body->wholeText(), n.body);
        const QTextCharFormat bold = formatAt(doc, int(n.body.indexOf(QStringLiteral("bold words"))));
        QVERIFY(bold.fontWeight() < QFont::DemiBold);
        QVERIFY(!bold.hasProperty(QTextFormat::FontPixelSize));
        QCOMPARE(linkOver(body, QStringLiteral("our home page")).href, QString());
        const Link found = linkOver(body, QStringLiteral("www.example.com/q0"));
        QCOMPARE(found.href, QStringLiteral("https://www.example.com/q0"));
        QVERIFY(!found.detected);
        QVERIFY(dlg.doSave());
        QTRY_VERIFY(got);
        const QStringList stored = linksAndUnderlines(*got->bodyRTF);
        QCOMPARE(stored.filter(QStringLiteral("mivo.example")), QStringList());
        QCOMPARE(stored.size(), 2 * n.body.count(QStringLiteral("Paragraph ")));
        QCOMPARE(colours(*got->bodyRTF).keys(), QStringList{kLinkColour.name()});

        auto *closing = new NoteEditorDialog(n, true, {}, nullptr);
        QTRY_VERIFY(!closing->bodyBuilding());
        closing->detectUrls();
        delete closing;
        Background::pool().waitForDone();
        settle();
    }

    // Insert Link puts the address in under its display text, or as typed with "https://" in front
    // for the link, a space after it and the caret after the space; it is stored. Detect URLs then
    // turns a link under a display text back into plain text, at once on a short body.
    void insertLinkAndDetectUrls() {
        TempPrefs prefs;
        TestDialogs dialogs;
        std::optional<Note> got;
        NoteEditorDialog dlg(
            Note(NoteType::text, QStringLiteral("📝"), QStringLiteral("Links")), true,
            [&](const std::optional<Note> &s) { got = s; }, nullptr);
        NoteTextView *body = dlg.bodyView();
        QTest::keyClicks(body, QStringLiteral("Go "));
        answerLinkAlert(dialogs, QString(), QStringLiteral("example.org"));
        dlg.insertLink();
        answerLinkAlert(dialogs, QStringLiteral("Home 🏠"), QStringLiteral("https://mivo.example"));
        dlg.insertLink();
        QCOMPARE(dialogs.alertsShown.first(),
                 QStringLiteral("Insert Hyperlink|Enter display text (optional) and URL."));
        QCOMPARE(body->wholeText(), QStringLiteral("Go example.org Home 🏠 "));
        QCOMPARE(body->textCursor().position(), body->document()->characterCount() - 1);
        QCOMPARE(linkOver(body, QStringLiteral("example.org")).href, QStringLiteral("https://example.org"));
        const Link home = linkOver(body, QStringLiteral("Home"));
        QCOMPARE(home.href, QStringLiteral("https://mivo.example"));
        QVERIFY(!home.detected);
        QVERIFY(!formatAt(body->document(), int(body->wholeText().size()) - 1).isAnchor());

        NoteEditorDialog again(
            Note(NoteType::text, QStringLiteral("📝"), QStringLiteral("Again")), true,
            [&](const std::optional<Note> &s) { got = s; }, nullptr);
        QTest::keyClicks(again.bodyView(), QStringLiteral("Go www.example.org "));
        answerLinkAlert(dialogs, QStringLiteral("Home"), QStringLiteral("https://mivo.example"));
        again.insertLink();
        again.detectUrls();
        QVERIFY(!again.bodyBuilding());
        QCOMPARE(linkOver(again.bodyView(), QStringLiteral("Home")).href, QString());
        QVERIFY(again.doSave());
        QVERIFY(got);
        QCOMPARE(linksAndUnderlines(*got->bodyRTF),
                 QStringList{QStringLiteral("www.example.org|https://www.example.org|1")});
        QVERIFY(dlg.doSave());
        QCOMPARE(linksAndUnderlines(*got->bodyRTF),
                 QStringList({QStringLiteral("example.org|https://example.org|1"),
                              QStringLiteral("Home 🏠|https://mivo.example|1")}));
    }

    // The body's text sits 8 points inside the view, a red heart written with its emoji selector is
    // drawn in colour, as the emoji it is, and the pointer over a link is a hand.
    void bodyDrawsItsTextInsetAndEmojiInColour() {
        TempPrefs prefs;
        Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Heart"));
        n.body = QStringLiteral("love \u2764\uFE0F you at https://heart.example now");
        NoteEditorDialog dlg(n, true, {}, nullptr);
        dlg.QDialog::show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        NoteTextView *body = dlg.bodyView();
        QTextCursor start(body->document());
        QCOMPARE(body->cursorRect(start).top(), 8);
        const QImage img = body->viewport()->grab().toImage();
        int red = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.red() > 150 && c.green() < 90 && c.blue() < 90) ++red;
            }
        QVERIFY2(red > 10, qPrintable(QString::number(red)));
        QTextCursor link(body->document());
        link.setPosition(int(n.body.indexOf(QStringLiteral("heart.example"))));
        QTest::mouseMove(body->viewport(), body->cursorRect(link).center() + QPoint(3, 0));
        QTRY_COMPARE(body->viewport()->cursor().shape(), Qt::PointingHandCursor);
        link.setPosition(1);
        QTest::mouseMove(body->viewport(), body->cursorRect(link).center());
        QTRY_COMPARE(body->viewport()->cursor().shape(), Qt::IBeamCursor);
    }

    // A long paste goes into the body on a worker: Save waits for it, what is typed after lands
    // after the paste, and the new note holds exactly the title and the text. Cancel, or the dialog
    // going away, while it is made stores nothing and crashes nothing.
    void aLongPasteIsMadeOnAWorker() {
        TempPrefs prefs;
        std::optional<Note> got;
        int calls = 0;
        const auto done = [&](const std::optional<Note> &n) { got = n, ++calls; };
        NoteEditorDialog dlg(Note(NoteType::text, QStringLiteral("📝"), QString()), true, done, nullptr);
        dlg.QDialog::show();
        QTest::keyClicks(dlg.bodyView(), QStringLiteral("Intro "));
        const QString pasted = bigPaste();
        QGuiApplication::clipboard()->setText(pasted);
        dlg.bodyView()->paste();
        QVERIFY(dlg.bodyBuilding());
        dlg.titleField()->setText(QStringLiteral("Big"));
        QVERIFY(!dlg.findChild<QWidget *>(QStringLiteral("saveButton"))->isEnabled());
        QVERIFY(!dlg.doSave());
        QTRY_VERIFY(!dlg.bodyBuilding());
        QVERIFY(!dlg.bodyView()->isReadOnly());
        QTest::keyClicks(dlg.bodyView(), QStringLiteral("END"));
        dlg.bodyView()->paste();
        QVERIFY(dlg.bodyBuilding() && !dlg.doSave());
        QTRY_VERIFY(!dlg.bodyBuilding());
        QVERIFY(dlg.doSave());
        QTRY_COMPARE(calls, 1);
        QString lines = pasted;
        lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(got->title, QStringLiteral("Big"));
        QCOMPARE(got->body, QStringLiteral("Intro ") + lines + QStringLiteral("END") + lines);

        auto *cancelled = new NoteEditorDialog(Note(NoteType::text, QStringLiteral("📝"), QStringLiteral("C")),
                                               true, done, nullptr);
        auto *dropped = new NoteEditorDialog(Note(NoteType::text, QStringLiteral("📝"), QStringLiteral("D")),
                                             true, done, nullptr);
        cancelled->bodyView()->paste();
        dropped->bodyView()->paste();
        QVERIFY(cancelled->bodyBuilding() && dropped->bodyBuilding());
        cancelled->doCancel();
        QCOMPARE(calls, 2);
        QVERIFY(!got);
        delete dropped;
        Background::pool().waitForDone();
        settle();
        QVERIFY(!cancelled->doSave());
        delete cancelled;
        QCOMPARE(calls, 2);
    }
};

QTEST_MAIN(TestNoteDialog)
#include "tst_note_dialog.moc"
