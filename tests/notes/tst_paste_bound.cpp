#include "common/HeldPool.h"
#include "common/HeldReader.h"
#include "common/RichNotes.h"
#include "common/TestEnv.h"
#include "notes/HtmlText.h"
#include "notes/NoteTextView.h"
#include "platform/ClipboardReader.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>
#include <optional>
#include <vector>

// A rich paste is bounded by the text it takes in, whatever the clipboard offers beside its HTML.
namespace {
constexpr int kBound = int(NoteDocument::kPieceChars);

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
        // Read only as far as asked: the start of the text, past the count asked for unless whole.
        for (const qsizetype atMost : {0, 3, 9}) {
            const QString part = HtmlText::plainText(html, atMost);
            QVERIFY(doc.toPlainText().startsWith(part));
            QVERIFY(part.size() > atMost || part == doc.toPlainText());
        }
    }

    // Up to the bound a rich paste is put in at once; one character more and it is read on a worker
    // first. Its formats are kept either way, whatever the clipboard's plain text holds.
    void aRichPasteIsBoundByItsOwnText() {
        for (const int chars : {kBound, kBound + 1}) {
            for (const bool withText : {true, false}) {
                Editor e;
                HeldPool held;
                const QString pasted(chars, u'x');
                e.paste(QStringLiteral("<b>") + pasted + QStringLiteral("</b>"),
                        withText ? QStringLiteral("x") : QString());
                const QString want = QStringLiteral("head ") + pasted + QStringLiteral("tail");
                QCOMPARE(NoteDocument::wholeText(*e.view.document()) == want, chars <= kBound);
                held.release();
                QTRY_COMPARE(NoteDocument::wholeText(*e.view.document()), want);
                // Bold where the paste is, and only there (the text may be cut into pieces).
                for (QTextBlock b = e.view.document()->firstBlock(); b.isValid(); b = b.next())
                    for (auto it = b.begin(); !it.atEnd(); ++it)
                        QCOMPARE(it.fragment().text().contains(u'x'),
                                 it.fragment().charFormat().fontWeight() >= QFont::Bold);
            }
        }
    }

    // A rich paste far past the bound (HTML alone, or a long copy of another note) keeps its formats
    // and its paragraphs, its long lines in pieces: handed over to be put in on a worker, or read on one
    // and put in here.
    void aLongRichPasteKeepsItsFormatsAndLines() {
        const auto longPaste = [](int atLeast) {
            QString words;
            for (int i = 0; words.size() < atLeast; ++i)
                words += QStringLiteral("word%1 ").arg(i % 89);
            words.chop(1);
            return std::pair{QStringLiteral("<p><b>Bold head</b></p><p><i>") + words +
                                 QStringLiteral("</i></p><p>last <span style=\"color:#ff0000\">red</span></p>"),
                             QStringLiteral("head Bold head\n") + words + QStringLiteral("\nlast redtail")};
        };
        const auto check = [](QTextDocument &doc, const QString &want) {
            QCOMPARE(NoteDocument::wholeText(doc), want);
            const QByteArray rtf = NoteDocument::readText(doc).rtf;
            const auto count = [&rtf](const char *word) {
                const QByteArray w = QByteArray("\\") + word;
                return rtf.count(w + ' ') + rtf.count(w + '\\') + rtf.count(w + '\n');
            };
            QVERIFY2(count("b") >= 1 && count("i") >= 1 && count("cf1") + count("cf2") >= 1, rtf.left(400).constData());
            QCOMPARE(count("par"), 2);
            for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next())
                QVERIFY(b.length() - 1 <= kBound + 9);
        };
        {
            const auto [html, want] = longPaste(int(NoteDocument::kPasteLaterChars) + 1000);
            Editor handed;
            handed.view.onLongPaste = [](const QString &, int, int) { QFAIL("a rich paste went in plain"); };
            std::function<int(QTextDocument &)> edit;
            handed.view.onLongEdit = [&edit](std::function<int(QTextDocument &)> e) { edit = std::move(e); };
            handed.paste(html, QStringLiteral("plain"));
            QVERIFY(edit);
            QCOMPARE(NoteDocument::wholeText(*handed.view.document()), QStringLiteral("head tail"));
            const int caret = edit(*handed.view.document());
            check(*handed.view.document(), want);
            QCOMPARE(NoteDocument::wholeText(*handed.view.document(), 0, caret), want.chopped(4));
        }
        {
            const auto [html, want] = longPaste(3 * kBound);
            Editor here;
            HeldPool held;
            here.paste(html);
            QCOMPARE(NoteDocument::wholeText(*here.view.document()), QStringLiteral("head tail"));
            held.release();
            QTRY_COMPARE(NoteDocument::wholeText(*here.view.document()), want);
            check(*here.view.document(), want);
            QCOMPARE(here.view.textCursor().position(), here.view.document()->characterCount() - 5);
        }
    }

    // A paste of another program's clipboard (Ctrl+V, Ctrl+Shift+V) reads none of it on the window's
    // thread: it is read on a worker and put in once read, where the caret was, a long text handed on
    // to be put in on a worker as well; one that offers rich text is read from the clipboard as Qt
    // gives it.
    void anotherProgramsClipboardIsReadOnAWorker() {
        QGuiApplication::clipboard()->setText(QStringLiteral("qt"));
        const QString longText = QString(int(NoteDocument::kPasteLaterChars) + 10, u'w');
        struct Case {
            Qt::KeyboardModifiers keys;
            ClipboardReader::Read::Kind kind;
            QString read, want;
        };
        using Kind = ClipboardReader::Read::Kind;
        for (const Case &k : {Case{Qt::ControlModifier, Kind::text, QStringLiteral("one\ntwo"), QStringLiteral("head one\ntwotail")},
                              Case{Qt::ControlModifier | Qt::ShiftModifier, Kind::text, QStringLiteral("plain"),
                                   QStringLiteral("head plaintail")},
                              Case{Qt::ControlModifier, Kind::asQt, {}, QStringLiteral("head qttail")},
                              Case{Qt::ControlModifier, Kind::nothing, {}, QStringLiteral("head tail")},
                              Case{Qt::ControlModifier, Kind::text, longText, {}}}) {
            HeldReader reader;
            Editor e;
            std::optional<QString> handed;
            e.view.onLongPaste = [&handed](const QString &text, int from, int to) {
                QCOMPARE(from, 5);
                QCOMPARE(to, 5);
                handed = text;
            };
            QSignalSpy settled(&e.view, &NoteTextView::pasteSettled);
            QTest::keyClick(&e.view, Qt::Key_V, k.keys);
            QCOMPARE(reader.asked.size(), size_t(1));
            QCOMPARE(NoteDocument::wholeText(*e.view.document()), QStringLiteral("head tail"));
            QVERIFY(e.view.pastePending());
            reader.answer(k.kind, k.read);
            QVERIFY(!e.view.pastePending());
            QCOMPARE(settled.count(), 1);
            if (k.want.isNull()) {
                QCOMPARE(handed, std::optional<QString>(longText));
                continue;
            }
            QVERIFY(!handed);
            QCOMPARE(NoteDocument::wholeText(*e.view.document()), k.want);
        }
    }
};

QTEST_MAIN(TestPasteBound)
#include "tst_paste_bound.moc"
