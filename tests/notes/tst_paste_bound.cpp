#include "common/TestEnv.h"
#include "notes/HtmlText.h"
#include "notes/NoteTextView.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

// A rich paste is bounded by the text it takes in, whatever the clipboard offers beside its HTML.
namespace {
constexpr int kBound = int(NoteDocument::kPieceChars);

Note textNote(const QString &body) {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Paste"));
    n.id = QStringLiteral("P");
    n.body = body;
    return n;
}

// An editor of a short note, the caret after "head ".
struct Editor {
    NoteTextView view;
    Editor() {
        view.resize(500, 300);
        view.setDocument(
            NoteDocument::build(textNote(QStringLiteral("head tail")), {QFont(), Qt::black, Qt::blue}));
        view.document()->setParent(&view);
        QTextCursor c(view.document());
        c.setPosition(5);
        view.setTextCursor(c);
    }
    void paste(const QString &html, const QString &text = {}) {
        auto *mime = new QMimeData;
        mime->setHtml(html);
        if (!text.isNull()) mime->setText(text);
        QGuiApplication::clipboard()->setMimeData(mime);
        view.paste();
    }
    bool boldAt(int pos) {
        QTextCursor c(view.document());
        c.setPosition(pos + 1);
        return c.charFormat().fontWeight() >= QFont::Bold;
    }
};
} // namespace

class TestPasteBound : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // The text measured is the one the view's own HTML reading gives, for what browsers and editors
    // put on the clipboard.
    void htmlTextIsWhatTheDocumentReads_data() {
        QTest::addColumn<QString>("html");
        QTest::newRow("fragment") << QStringLiteral(
            "<html><head><meta charset='utf-8'><style>p{margin:0}</style><title>T</title></head><body>"
            "<!--StartFragment--><p>One <b style=\"font-weight:700\">bold</b>\n   word</p>\n<p> Two</p>"
            "<!--EndFragment--></body></html>");
        QTest::newRow("breaks") << QStringLiteral("a<br>b<br> c<p>d<br></p><p>e</p>x  y\n\tz ");
        QTest::newRow("references") << QStringLiteral("a&amp;b&nbsp;c&#65;&#x1F600;&hellip;&lt;&unknown;");
        QTest::newRow("lists and headings")
            << QStringLiteral("<h1>T</h1>text<ul><li>one</li><li>two</li></ul>end");
        QTest::newRow("preformatted") << QStringLiteral("<pre>a  b\n c</pre>d <script>x()</script>");
        QTest::newRow("quoted >") << QStringLiteral(
            "<a href=\"x>y\" title='p>q'>link</a> <span>e\u0301😀</span>");
    }
    void htmlTextIsWhatTheDocumentReads() {
        QFETCH(QString, html);
        QTextDocument doc;
        doc.setHtml(html);
        QCOMPARE(HtmlText::plainText(html), doc.toPlainText());
    }

    // Up to the bound a paste keeps its formats; one character more and it goes in as plain text,
    // the way a long plain paste does, whatever the clipboard's plain text holds.
    void aRichPasteIsBoundByItsOwnText() {
        for (const int chars : {kBound, kBound + 1}) {
            for (const bool withText : {true, false}) {
                Editor e;
                const QString pasted(chars, u'x');
                e.paste(QStringLiteral("<b>") + pasted + QStringLiteral("</b>"),
                        withText ? QStringLiteral("x") : QString());
                const QString want = QStringLiteral("head ") +
                                     (withText && chars > kBound ? QStringLiteral("x") : pasted) +
                                     QStringLiteral("tail");
                QCOMPARE(NoteDocument::wholeText(*e.view.document()), want);
                QCOMPARE(e.boldAt(5), chars <= kBound);
            }
        }
    }

    // A clipboard of HTML alone, far past the bound in one paragraph, is a long paste: handed over to
    // be put in on a worker as its text, or, with no one to hand it to, put in plain and in pieces.
    void htmlAloneOfAnySizeGoesTheLongWay() {
        QString words;
        for (int i = 0; words.size() < 200'000; ++i)
            words += QStringLiteral("word%1 ").arg(i % 89);
        const QString html = QStringLiteral("<p><i>") + words.toHtmlEscaped() + QStringLiteral("</i></p>");
        Editor handed;
        QString taken;
        int from = -1, to = -1;
        handed.view.onLongPaste = [&](const QString &text, int f, int t) { taken = text, from = f, to = t; };
        handed.paste(html);
        QCOMPARE(taken, words.trimmed() + u' ');
        QCOMPARE(from, 5);
        QCOMPARE(to, 5);
        QCOMPARE(NoteDocument::wholeText(*handed.view.document()), QStringLiteral("head tail"));

        Editor here;
        const QString some = words.left(3 * kBound);
        here.paste(QStringLiteral("<p><i>") + some + QStringLiteral("</i></p>"));
        QCOMPARE(NoteDocument::wholeText(*here.view.document()),
                 QStringLiteral("head ") + some + QStringLiteral("tail"));
        // In pieces, each no longer than a piece and the text it joins.
        QVERIFY(here.view.document()->blockCount() >= 3);
        for (QTextBlock b = here.view.document()->firstBlock(); b.isValid(); b = b.next())
            QVERIFY(b.length() - 1 <= kBound + 9);
    }
};

QTEST_MAIN(TestPasteBound)
#include "tst_paste_bound.moc"
