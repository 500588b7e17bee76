#include "common/TestEnv.h"
#include "notes/RtfCodec.h"
#include "ui/WebLinks.h"
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

class TestWebLinks : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void onlyWebAndMailAddressesOpen_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("opens");
        QTest::newRow("https") << "https://example.org/a?b=1" << true;
        QTest::newRow("http upper-case scheme") << "HTTP://example.org" << true;
        QTest::newRow("mailto") << "mailto:someone@example.org" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("custom handler") << "steam://run/1" << false;
        QTest::newRow("empty mailto") << "mailto:" << false;
    }
    void onlyWebAndMailAddressesOpen() {
        QFETCH(QString, address);
        QFETCH(bool, opens);
        RecordingLinks links;
        QCOMPARE(WebLinks::fromLinkValue(address).has_value(), opens);
        QCOMPARE(WebLinks::fromLinkValue(QUrl(address)).has_value(), opens);
        QCOMPARE(WebLinks::open(QUrl(address)), opens);
        QCOMPARE(links.opened.size(), opens ? 1 : 0);
    }

    void detectionRule_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("found"); // "start:length:url"
        QTest::newRow("between words") << "see https://ex.org/p now" << QStringList{"4:16:https://ex.org/p"};
        QTest::newRow("www host opens as https")
            << "go to www.example.com." << QStringList{"6:15:https://www.example.com"};
        QTest::newRow("sentence punctuation")
            << "(see http://a.org/x), ok" << QStringList{"5:14:http://a.org/x"};
        QTest::newRow("balanced bracket kept")
            << "http://w.org/Foo_(bar) x" << QStringList{"0:22:http://w.org/Foo_(bar)"};
        QTest::newRow("two links") << "a http://a.io b www.b.io"
                                   << QStringList{"2:11:http://a.io", "16:8:https://www.b.io"};
        QTest::newRow("www without a further label") << "www.localhost" << QStringList{};
        QTest::newRow("inside an e-mail address") << "me@www.example.com" << QStringList{};
        QTest::newRow("glued to a word") << "xhttp://a.org" << QStringList{};
        QTest::newRow("other schemes") << "ftp://a.org file:///x" << QStringList{};
        QTest::newRow("ended by a line separator")
            << QStringLiteral("https://a.org/x\u2028next www.b.io/y\u2029z")
            << QStringList{"0:15:https://a.org/x", "21:10:https://www.b.io/y"};
    }
    void detectionRule() {
        QFETCH(QString, text);
        QFETCH(QStringList, found);
        QStringList got;
        for (const WebLinks::Match &m : WebLinks::find(text))
            got << QStringLiteral("%1:%2:%3").arg(m.start).arg(m.length).arg(m.url.toString());
        QCOMPARE(got, found);
    }

    void detectedLinksAreMarkedOverTheAddressAlone() {
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("line one\nsee www.ex.org here"));
        WebLinks::applyDetected(&doc, Qt::blue);
        QStringList anchored;
        for (auto it = doc.lastBlock().begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isAnchor())
                anchored << it.fragment().text() + " " + it.fragment().charFormat().anchorHref();
        QCOMPARE(anchored, QStringList{"www.ex.org https://www.ex.org"});
    }

    void rtfKeepsStylesAndLinks() {
        const QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl\\f0\\fswiss "
                               "Helvetica;}{\\colortbl;\\red255\\green0\\blue0;}"
                               "\\f0\\fs24 plain {\\b bold} caf\\'e9 \\u8364?\\par "
                               "{\\field{\\*\\fldinst{HYPERLINK \"https://ex.org/\"}}{\\fldrslt here}} end}";
        QTextDocument doc;
        QVERIFY(RtfCodec::read(rtf, &doc));
        QCOMPARE(doc.toPlainText(), QStringLiteral("plain bold café €\nhere end"));
        QTextCursor c(&doc);
        c.setPosition(8); // inside "bold"
        QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
        c.setPosition(doc.lastBlock().position() + 2); // inside "here"
        QCOMPARE(c.charFormat().anchorHref(), QStringLiteral("https://ex.org/"));
    }

    void rtfRejectsWhatIsNotRtf() {
        QTextDocument doc;
        QVERIFY(!RtfCodec::read("just text", &doc));
        QVERIFY(!RtfCodec::read(QByteArray(), &doc));
        QByteArray deep = "{\\rtf1 ";
        for (int i = 0; i < 5000; ++i)
            deep += '{';
        QVERIFY(!RtfCodec::read(deep, &doc));
        QVERIFY(doc.isEmpty());
        // Truncated input still shows what came before the cut.
        QVERIFY(RtfCodec::read("{\\rtf1 half a docu", &doc));
        QCOMPARE(doc.toPlainText(), QStringLiteral("half a docu"));
    }
};

QTEST_MAIN(TestWebLinks)
#include "tst_weblinks.moc"
