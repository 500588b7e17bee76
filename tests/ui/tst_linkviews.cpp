#include "common/TestEnv.h"
#include "ui/CellLinkTextView.h"
#include "ui/LinkTextView.h"
#include "ui/WebLinks.h"
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QtTest>

namespace {
// The viewport point in the middle of the characters [from, from + n) of the first line.
QPointF charCentre(QTextEdit *v, int from, int n) {
    QTextCursor c(v->document());
    c.setPosition(from);
    const QRect a = v->cursorRect(c);
    c.setPosition(from + n);
    const QRect b = v->cursorRect(c);
    return QPointF((a.left() + b.left()) / 2.0, a.center().y());
}
} // namespace

class TestLinkViews : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void aPressOnALinkOpensItAndMovesNothing() {
        RecordingLinks links;
        LinkTextView v;
        v.resize(400, 200);
        v.setPlainText(QStringLiteral("read https://ex.org/a please"));
        v.detectLinks(Qt::blue);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QTextCursor start(v.document());
        v.setTextCursor(start);

        QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, charCentre(&v, 8, 4).toPoint());
        QCOMPARE(links.opened, QList<QUrl>{QUrl("https://ex.org/a")});
        QCOMPARE(v.textCursor().position(), 0);

        // Beside the link the press is an ordinary one and places the cursor.
        QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, charCentre(&v, 24, 2).toPoint());
        QCOMPARE(links.opened.size(), 1);
        QVERIFY(v.textCursor().position() > 20);
    }

    void aPressRightOfALinesEndIsNoLink() {
        RecordingLinks links;
        LinkTextView v;
        v.resize(400, 200);
        v.setPlainText(QStringLiteral("www.ex.org"));
        v.detectLinks(Qt::blue);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        const QPointF onLink = charCentre(&v, 4, 2);
        QVERIFY(v.linkAt(onLink).has_value());
        QVERIFY(!v.linkAt(QPointF(350, onLink.y())).has_value());
        QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(350, int(onLink.y())));
        QVERIFY(links.opened.isEmpty());
    }

    void unsafeLinkAttributesAreNoLinks() {
        RecordingLinks links;
        LinkTextView v;
        v.resize(400, 100);
        QTextCursor c(v.document());
        QTextCharFormat f;
        f.setAnchor(true);
        f.setAnchorHref(QStringLiteral("file:///etc/passwd"));
        c.insertText(QStringLiteral("click here"), f);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QVERIFY(!v.linkAt(charCentre(&v, 2, 3)).has_value());
        QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, charCentre(&v, 2, 3).toPoint());
        QVERIFY(links.opened.isEmpty());
    }

    void cellTextFindsLinksOnlyInsideItself() {
        QWidget win;
        win.resize(600, 200);
        const QFont font = QFont();
        CellLinkTextView *a = CellLinkTextView::make(QStringLiteral("before www.a.org after"), font,
                                                     Qt::black, Qt::blue, QRect(10, 10, 280, 60));
        CellLinkTextView *b =
            CellLinkTextView::make(QString(), font, Qt::black, Qt::blue, QRect(300, 10, 280, 60));
        a->setParent(&win);
        b->setParent(&win);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));

        // The cell beneath gets the mouse.
        QCOMPARE(win.childAt(20, 20), nullptr);

        const QPointF inA = a->mapTo(&win, charCentre(a, 9, 3));
        QCOMPARE(a->linkURL(inA), std::optional<QUrl>(QUrl("https://www.a.org")));
        QVERIFY(!b->linkURL(inA).has_value()); // outside b, even where a has a link
        QVERIFY(!a->linkURL(a->mapTo(&win, charCentre(a, 1, 3))).has_value()); // "before"
        QVERIFY(!a->linkURL(QPointF(280, inA.y())).has_value());               // right of the line's end
        for (QPointF p : {QPointF(310, 15), QPointF(400, 40)})
            QVERIFY(!b->linkURL(p).has_value());

        // Only the address is a link, in the link colour and underlined.
        QTextCursor c(a->document());
        c.setPosition(3);
        QVERIFY(!c.charFormat().isAnchor());
        QCOMPARE(c.charFormat().foreground().color(), QColor(Qt::black));
        c.setPosition(10);
        QVERIFY(c.charFormat().fontUnderline());
        QCOMPARE(c.charFormat().foreground().color(), QColor(Qt::blue));
    }

    void cellTextFromRtfKeepsBoldAndStillDetectsLinks() {
        const QByteArray rtf = "{\\rtf1\\ansi {\\b Bold} see www.b.org}";
        CellLinkTextView *v = CellLinkTextView::make(QStringLiteral("ignored"), QFont(), Qt::darkGreen,
                                                     Qt::blue, QRect(0, 0, 300, 40), rtf);
        std::unique_ptr<CellLinkTextView> own(v);
        QCOMPARE(v->toPlainText(), QStringLiteral("Bold see www.b.org"));
        QTextCursor c(v->document());
        c.setPosition(2);
        QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
        QCOMPARE(c.charFormat().foreground().color(), QColor(Qt::darkGreen));
        c.setPosition(12);
        QCOMPARE(c.charFormat().anchorHref(), QStringLiteral("https://www.b.org"));

        // Data that is not RTF falls back to the plain text.
        std::unique_ptr<CellLinkTextView> plain(
            CellLinkTextView::make(QStringLiteral("plain"), QFont(), Qt::black, Qt::blue,
                                   QRect(0, 0, 100, 20), QByteArray("garbage")));
        QCOMPARE(plain->toPlainText(), QStringLiteral("plain"));
    }
};

QTEST_MAIN(TestLinkViews)
#include "tst_linkviews.moc"
