// A note's formatting is never dropped or changed by a save: a long note with a run per word keeps
// every format; rich text that cannot be written leaves the stored one as it was; stored links are
// drawn in the links' colour and saved as they were; what a rich paste shows (a heading's size, its
// addresses as links, its lists' bullets and indents) is what the note shown again gives; lists from
// other programs are shown at their indents; and a table cell saved unchanged in the
// dark theme keeps its own colours.
#include "common/NoteTables.h"
#include "common/RichNotes.h"
#include "common/TestEnv.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteStore.h"
#include "notes/NoteTextView.h"
#include "notes/NotesView.h"
#include "notes/RichTextView.h"
#include "notes/RtfCodec.h"
#include "ui/Theme.h"
#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QtTest>

namespace {
const QColor kLinks(10, 130, 200);

NoteDocument::Style style() {
    return {QFont(), Qt::black, kLinks};
}

// What a reader sees of each character: its text, whether it is a link and to where, its size in
// pixels, its weight and its colour, one line per run of equal looks.
QStringList shown(const QTextDocument &doc) {
    QStringList out;
    QString key, text;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QString k = QStringLiteral("a[%1] px%2 b%3 c%4")
                                  .arg(f.isAnchor() ? f.anchorHref() : QString())
                                  .arg(RtfCodec::shownPixels(f.font()))
                                  .arg(f.fontWeight() >= QFont::Bold)
                                  .arg(f.foreground().color().name());
            if (k != key && !text.isEmpty()) {
                out << key + u'|' + text;
                text.clear();
            }
            key = k;
            text += it.fragment().text();
        }
    if (!text.isEmpty()) out << key + u'|' + text;
    return out;
}

// Links put in under a text of their own, not underlined by the file, one of two with a colour of
// its own, amid text.
QByteArray storedLinks(int chars) {
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://mivo.example/home"));
    QTextCharFormat redLink = link;
    redLink.setForeground(QColor(200, 0, 0));
    for (int i = 0; doc.characterCount() < chars; ++i) {
        c.insertText(wordsLine(60), QTextCharFormat());
        c.insertText(QStringLiteral("our home page"), i % 2 ? redLink : link);
        if (i % 3 == 2) c.insertBlock();
    }
    return RtfCodec::write(doc);
}

void settle() {
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}
} // namespace

class TestRichTextKept : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    // A long note with a run per word in one font, size and colour (its RTF far longer than its text
    // when every run named them all) is saved with every word's format, and reads back as saved.
    void aLongNoteWithARunPerWordKeepsItsFormats() {
        QTextDocument doc;
        QTextCursor c(&doc);
        QTextCharFormat base;
        base.setFontFamilies({QStringLiteral("Inter")});
        base.setProperty(QTextFormat::FontPixelSize, 13);
        base.setForeground(QColor(20, 20, 20));
        QTextCharFormat looks[3] = {base, base, base};
        looks[1].setFontWeight(QFont::Bold);
        looks[2].setFontItalic(true);
        constexpr int kWords = 1'400'000; // 7 M characters
        c.beginEditBlock();
        for (int i = 0; i < kWords; ++i) {
            c.insertText(QStringLiteral("word "), looks[i % 3]);
            if (i % 200 == 199) c.insertBlock();
        }
        c.endEditBlock();
        const NoteDocument::Saved s = NoteDocument::readText(doc);
        QVERIFY(!s.richUnwritten);
        QVERIFY(!s.rtf.isEmpty());
        QTextDocument back;
        QVERIFY(RtfCodec::read(s.rtf, &back));
        QCOMPARE(back.characterCount(), doc.characterCount());
        int word = 0;
        for (QTextBlock b = back.begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextFragment f = it.fragment();
                const QTextCharFormat fmt = f.charFormat();
                const int n = int(f.text().size()) / 5;
                QVERIFY2(n >= 1 && f.text().size() == n * 5, qPrintable(f.text().left(40)));
                QCOMPARE(fmt.fontWeight() >= QFont::Bold, word % 3 == 1);
                QCOMPARE(fmt.fontItalic(), word % 3 == 2);
                QCOMPARE(fmt.intProperty(QTextFormat::FontPixelSize), 13);
                QCOMPARE(fmt.foreground().color(), QColor(20, 20, 20));
                word += n;
            }
        QCOMPARE(word, kWords);
    }

    // Rich text that cannot be written within the bound leaves the note's text and rich text as
    // they are: never its text without its formats.
    void richTextThatCannotBeWrittenKeepsTheStoredOne() {
        QTextDocument doc;
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        QTextCursor(&doc).insertText(QStringLiteral("edited and bold"), bold);
        Note n = textNote(QStringLiteral("N"), QStringLiteral("stored"));
        n.bodyRTF = QByteArray("{\\rtf1 {\\b stored}}");
        const Note before = n;
        const NoteDocument::Saved over = NoteDocument::readText(doc, 40);
        QVERIFY(over.richUnwritten);
        QVERIFY(!NoteDocument::storeInto(n, over));
        QCOMPARE(n.body, before.body);
        QCOMPARE(n.bodyRTF, before.bodyRTF);

        const NoteDocument::Saved within = NoteDocument::readText(doc);
        QVERIFY(NoteDocument::storeInto(n, within));
        QCOMPARE(n.body, QStringLiteral("edited and bold"));
        QCOMPARE(n.bodyRTF, std::optional<QByteArray>(within.rtf));
    }

    // Stored links are drawn in the links' colour at every size, those with a colour of their own
    // too, the rest of the text in the text's; saved unchanged, the note's rich text is the one
    // stored, byte for byte (no underline or colour the file did not have, the links' own kept).
    void storedLinksAreDrawnAsLinksAndSavedAsTheyWere_data() { shortAndLongRows("chars"); }
    void storedLinksAreDrawnAsLinksAndSavedAsTheyWere() {
        QFETCH(int, chars);
        Note n = textNote(QStringLiteral("L"), QString());
        n.bodyRTF = storedLinks(chars);
        QVERIFY(!n.bodyRTF->contains("\\ul") && n.bodyRTF->contains("\\cf1"));
        std::unique_ptr<QTextDocument> doc(NoteDocument::build(n, style()));
        int links = 0;
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat f = it.fragment().charFormat();
                if (f.isAnchor() && f.anchorHref() == QStringLiteral("https://mivo.example/home")) {
                    ++links;
                    QCOMPARE(f.foreground().color(), kLinks);
                    QVERIFY(f.fontUnderline());
                } else if (!f.isAnchor()) {
                    QCOMPARE(f.foreground().color(), QColor(Qt::black));
                }
            }
        QVERIFY(links > 2);
        QCOMPARE(NoteDocument::readText(*doc).rtf, *n.bodyRTF);

        // Another editor's link, without \ul: saved without one.
        Note other = textNote(QStringLiteral("O"), QString());
        other.bodyRTF =
            QByteArray("{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK \"http://x.y\"}{\\fldrslt go}} now}");
        std::unique_ptr<QTextDocument> otherDoc(NoteDocument::build(other, style()));
        const QByteArray saved = NoteDocument::readText(*otherDoc).rtf;
        QVERIFY2(saved.contains("HYPERLINK \"http://x.y\"") && !saved.contains("\\ul"), saved.constData());
    }

    // A rich paste is shown after Save as the note shown again shows it: a heading at its size, a
    // pasted address a link, every run at its size (stored with one).
    void aRichPasteIsStoredAsItIsShown() {
        NoteTextView v;
        v.resize(500, 300);
        v.setDocument(NoteDocument::build(textNote(QStringLiteral("T"), QStringLiteral("before")), style()));
        v.document()->setParent(&v);
        v.setAutoLinks(kLinks);
        v.show();
        QTextCursor end(v.document());
        end.movePosition(QTextCursor::End);
        v.setTextCursor(end);
        auto *web = new QMimeData;
        web->setText(QStringLiteral("Head\nsee https://example.org/x PASTEBOLD home"));
        web->setHtml(QStringLiteral("<h1>Head</h1><p>see https://example.org/x <b>PASTEBOLD</b> <a "
                                    "href=\"https://mivo.example/home\">home</a></p>"));
        QGuiApplication::clipboard()->setMimeData(web);
        v.paste();
        const QStringList before = shown(*v.document());
        QVERIFY2(before.join('\n').contains(QStringLiteral("a[https://example.org/x]")),
                 qPrintable(before.join('\n')));
        // The pasted link is drawn in the links' colour, and stored without the palette's.
        QVERIFY2(
            before.filter(QStringLiteral("|home")).value(0).endsWith(kLinks.name() + QStringLiteral("|home")),
            qPrintable(before.join('\n')));

        const NoteDocument::Saved s = NoteDocument::readText(*v.document());
        QVERIFY2(s.rtf.contains("PASTEBOLD") && !s.rtf.contains("\\plain\\b PASTEBOLD"), s.rtf.constData());
        QVERIFY2(!s.rtf.contains("\\cf"), s.rtf.constData());
        Note again = textNote(QStringLiteral("T"), s.body);
        again.bodyRTF = s.rtf;
        std::unique_ptr<QTextDocument> reshown(NoteDocument::build(again, style()));
        QCOMPARE(shown(*reshown), before);
        // The heading is larger than the text.
        const QString head = before.filter(QStringLiteral("|Head")).value(0);
        const QString text = before.filter(QStringLiteral("|before")).value(0);
        const auto px = [](const QString &run) { return run.section(u' ', 1, 1).mid(2).toInt(); };
        QVERIFY2(px(head) > px(text) && px(text) > 0, qPrintable(head + u'/' + text));
    }

    // A list in rich text from other programs (a bullet, a tab, the item, in a paragraph with a
    // hanging indent) is shown with its text at the indent, a wrapped line under the text (not a
    // default tab's width away, and back at the margin), and saved with its indents; a rich paste's
    // lists keep their bullets and numbers, shown and stored so.
    void listsAreShownAndStoredWithTheirIndents() {
        const QString item = QStringLiteral("item ").repeated(40);
        Note listed = textNote(QStringLiteral("L"), QString());
        listed.bodyRTF = QByteArray("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Courier;}}\n"
                                    "{\\pard \\ql \\f0 \\sa0 \\li360 \\fi-360 \\bullet \\tx360\\tab ") +
                         item.toLatin1() + "\\par}\n}";
        listed.body = QStringLiteral("•\t") + item;
        NoteTextView v;
        v.resize(400, 300);
        v.setDocument(NoteDocument::build(listed, style()));
        v.document()->setParent(&v);
        v.show();
        settle();
        const qreal margin = v.document()->documentMargin();
        // Where the text after the marker starts, and where the item's second line does.
        const auto textAt = [&](const QTextBlock &b) {
            v.document()->documentLayout()->blockBoundingRect(b); // laid out
            const QTextLayout *tl = b.layout();
            const int after = int(b.text().indexOf(u'\t')) + 1;
            return std::pair{tl->lineForTextPosition(after).cursorToX(after) - margin,
                             tl->lineCount() > 1 ? tl->lineAt(1).x() - margin : -1.0};
        };
        const auto [first, wrapped] = textAt(v.document()->firstBlock());
        QVERIFY2(std::abs(first - 18) < 1 && std::abs(wrapped - 18) < 1,
                 qPrintable(QStringLiteral("text at %1, wrapped line at %2").arg(first).arg(wrapped)));
        const QByteArray saved = NoteDocument::readText(*v.document()).rtf;
        QVERIFY2(saved.contains("\\li360\\fi-360\\tx360"), saved.constData());

        // Pasted: the items' bullets and numbers as text, each item's text at its indent.
        QTextCursor end(v.document());
        end.movePosition(QTextCursor::End);
        end.insertBlock(QTextBlockFormat()); // a line of its own, no list item
        v.setTextCursor(end);
        auto *web = new QMimeData;
        web->setText(QStringLiteral("first\nsecond\none\ntwo"));
        web->setHtml(QStringLiteral("<p>Steps</p><ul><li>first</li><li><b>second</b> ") + item +
                     QStringLiteral("</li></ul><ol><li>one</li><li>two</li></ol><p>after</p>"));
        QGuiApplication::clipboard()->setMimeData(web);
        v.paste();
        settle();
        const QStringList lines = v.wholeText().split(u'\n');
        QCOMPARE(lines.mid(1, 5), QStringList({QStringLiteral("Steps"), QStringLiteral("•\tfirst"),
                                               QStringLiteral("•\tsecond ") + item, QStringLiteral("1.\tone"),
                                               QStringLiteral("2.\ttwo")}));
        QCOMPARE(lines.value(6), QStringLiteral("after"));
        const QTextBlock second = v.document()->findBlockByNumber(3);
        const auto [pastedFirst, pastedWrapped] = textAt(second);
        QVERIFY2(
            pastedFirst > 10 && std::abs(pastedWrapped - pastedFirst) < 1,
            qPrintable(QStringLiteral("text at %1, wrapped line at %2").arg(pastedFirst).arg(pastedWrapped)));
        QCOMPARE(textAt(v.document()->findBlockByNumber(4)).first, pastedFirst);
        QCOMPARE(v.document()->findBlockByNumber(1).blockFormat().leftMargin(), 0.0); // "Steps"
        QCOMPARE(v.document()->findBlockByNumber(6).blockFormat().leftMargin(), 0.0); // "after"
        // Stored as shown: read back, the same text with the same indents.
        const NoteDocument::Saved s = NoteDocument::readText(*v.document());
        Note again = textNote(QStringLiteral("L"), s.body);
        again.bodyRTF = s.rtf;
        std::unique_ptr<QTextDocument> reshown(NoteDocument::build(again, style()));
        QCOMPARE(reshown->toPlainText(), v.document()->toPlainText());
        for (QTextBlock a = v.document()->firstBlock(), b = reshown->firstBlock(); a.isValid();
             a = a.next(), b = b.next()) {
            QCOMPARE(b.blockFormat().leftMargin(), a.blockFormat().leftMargin());
            QCOMPARE(b.blockFormat().textIndent(), a.blockFormat().textIndent());
        }
    }

    // The inline editor links a pasted address as the note shown again does.
    void theInlineEditorLinksAPastedAddress() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        NoteStore::shared().add(textNote(QStringLiteral("I"), QStringLiteral("text")));
        NotesView page;
        page.resize(1000, 700);
        page.setup();
        page.show();
        settle();
        page.selectNote(QStringLiteral("I"));
        QTRY_VERIFY(page.longTextReady());
        page.showInlineEditor(QStringLiteral("I"));
        settle();
        QTRY_VERIFY(page.longTextReady() && !page.longTextView()->isReadOnly());
        NoteTextView *v = page.longTextView();
        QTextCursor end(v->document());
        end.movePosition(QTextCursor::End);
        v->setTextCursor(end);
        auto *web = new QMimeData;
        web->setText(QStringLiteral(" see https://example.org/y"));
        web->setHtml(QStringLiteral("<p> see <i>https://example.org/y</i></p>"));
        QGuiApplication::clipboard()->setMimeData(web);
        v->paste();
        QTextCursor at(v->document());
        at.setPosition(int(v->wholeText().indexOf(QStringLiteral("example.org/y"))) + 2);
        QCOMPARE(at.charFormat().anchorHref(), QStringLiteral("https://example.org/y"));
        NoteStore::resetForTests();
    }

    // In the dark theme a cell saved unchanged keeps its rich text byte for byte (a red one stays
    // red), and a plain cell's rich text holds no colour: the theme's ink is shown, not stored.
    void aCellSavedUnchangedKeepsItsColours() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        const AppTheme was = VF::theme();
        VF::setTheme(AppTheme::dark);
        QTextDocument red;
        QTextCharFormat redFmt;
        redFmt.setForeground(QColor(200, 0, 0));
        QTextCursor(&red).insertText(QStringLiteral("red"), redFmt);
        QTextCursor(&red).insertText(QStringLiteral("plain "), QTextCharFormat());
        const QByteArray redRtf = RtfCodec::write(red);
        Note t = tableNote(QStringLiteral("T"), 2, {{QStringLiteral("plain red"), QStringLiteral("plain")}});
        t.rows[0].cellsRTF[0] = redRtf;
        NoteStore::shared().add(t);
        QWidget parent;
        const auto saveCell = [&](int col, const QString &value) {
            auto *ed = new CellEditor(QStringLiteral("T"), 0, col, value, &parent);
            QVERIFY(ed->save());
            const Note *n = NoteStore::shared().find(QStringLiteral("T"));
            QVERIFY(n);
        };
        saveCell(0, QStringLiteral("plain red"));
        QCOMPARE(NoteStore::shared().find(QStringLiteral("T"))->rows[0].cellsRTF.at(0), redRtf);
        saveCell(1, QStringLiteral("plain"));
        const QByteArray plain = NoteStore::shared().find(QStringLiteral("T"))->rows[0].cellsRTF.at(1);
        QTextDocument back;
        QVERIFY(RtfCodec::read(plain, &back));
        QCOMPARE(back.toPlainText(), QStringLiteral("plain"));
        QVERIFY2(!plain.contains("\\cf") && plain.contains("{\\colortbl;}"), plain.constData());
        VF::setTheme(was);
        NoteStore::resetForTests();
    }
};

QTEST_MAIN(TestRichTextKept)
#include "tst_rich_text_kept.moc"
