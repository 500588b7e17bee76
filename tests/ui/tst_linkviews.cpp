#include "common/TestEnv.h"
#include "notes/CellLinkTextView.h"
#include "ui/LinkTextView.h"
#include "ui/WebLinks.h"
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

void click(LinkTextView &v, QPointF p) {
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, p.toPoint());
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
        v.setTextCursor(QTextCursor(v.document()));

        click(v, charCentre(&v, 8, 4));
        QCOMPARE(links.opened, QList<QUrl>{QUrl("https://ex.org/a")});
        QCOMPARE(v.textCursor().position(), 0);

        // Right of the line's end the press is an ordinary one and places the cursor.
        click(v, QPointF(350, charCentre(&v, 8, 4).y()));
        QCOMPARE(links.opened.size(), 1);
        QVERIFY(v.textCursor().position() > 20);
    }

    void unsafeLinkAttributesAreNoLinks() {
        RecordingLinks links;
        LinkTextView v;
        v.resize(400, 100);
        QTextCharFormat f;
        f.setAnchor(true);
        f.setAnchorHref(QStringLiteral("file:///etc/passwd"));
        QTextCursor(v.document()).insertText(QStringLiteral("click here"), f);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QVERIFY(!v.linkAt(charCentre(&v, 2, 3)).has_value());
        click(v, charCentre(&v, 2, 3));
        QVERIFY(links.opened.isEmpty());
    }

    void cellTextFindsLinksOnlyInsideItself() {
        QWidget win;
        win.resize(600, 200);
        CellLinkTextView *a = CellLinkTextView::make(QStringLiteral("before www.a.org after"), QFont(),
                                                     Qt::black, Qt::blue, QRect(10, 10, 280, 60));
        CellLinkTextView *b =
            CellLinkTextView::make(QString(), QFont(), Qt::black, Qt::blue, QRect(300, 10, 280, 60));
        a->setParent(&win);
        b->setParent(&win);
        win.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win));

        QCOMPARE(win.childAt(20, 20), nullptr); // the cell beneath gets the mouse
        const QPointF inA = a->mapTo(&win, charCentre(a, 9, 3));
        QCOMPARE(a->linkURL(inA), std::optional<QUrl>(QUrl("https://www.a.org")));
        QVERIFY(!b->linkURL(inA).has_value()); // outside b, even where a has a link
        QVERIFY(!a->linkURL(a->mapTo(&win, charCentre(a, 1, 3))).has_value()); // "before"
        QVERIFY(!a->linkURL(QPointF(280, inA.y())).has_value());               // right of the line's end
    }

    void cellTextFromRtfKeepsBoldAndStillDetectsLinks() {
        std::unique_ptr<CellLinkTextView> v(
            CellLinkTextView::make(QStringLiteral("ignored"), QFont(), Qt::darkGreen, Qt::blue,
                                   QRect(0, 0, 300, 40), "{\\rtf1\\ansi {\\b Bold} see www.b.org}"));
        QCOMPARE(v->toPlainText(), QStringLiteral("Bold see www.b.org"));
        QTextCursor c(v->document());
        c.setPosition(2);
        QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));
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
