#include "exercises/SocketLines.h"
#include <QLocalServer>
#include <QLocalSocket>
#include <QUuid>
#include <QtTest>

namespace {
QList<QByteArray> feedAll(LineFramer &f, const QList<QByteArray> &chunks, bool *ok = nullptr) {
    QList<QByteArray> lines;
    bool all = true;
    for (const QByteArray &c : chunks)
        all = f.feed(c, [&lines](const QByteArray &l) {
            lines << l;
            return true;
        }) && all;
    if (ok) *ok = all;
    return lines;
}

// A connected pair of local sockets: the test writes on `peer`, the code under test reads `ours`.
struct Pair {
    QLocalServer server;
    QLocalSocket peer;
    QLocalSocket *ours = nullptr;
    Pair() {
        server.listen(QStringLiteral("mivo-test-%1").arg(QUuid::createUuid().toString(QUuid::Id128)));
        peer.connectToServer(server.fullServerName());
        server.waitForNewConnection(5000);
        ours = server.nextPendingConnection();
    }
};
} // namespace

// The line framing of the app's link with its browser window process, on both ends.
class TstSocketLines : public QObject {
    Q_OBJECT
private slots:
    void framerSplitsLinesAcrossChunksAndBoundsWhatItHolds() {
        LineFramer f(8);
        QCOMPARE(feedAll(f, {"op", "en 5 a\nfr", "ont\n\nclose\nleft"}),
                 (QList<QByteArray>{"open 5 a", "front", "", "close"}));
        QCOMPARE(f.held(), 4);
        QCOMPARE(feedAll(f, {" 12\n"}), QList<QByteArray>{"left 12"});
        QCOMPARE(f.held(), 0);
    }
    void framerRefusesALineOverTheBound_data() {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<QByteArray>>("before");
        QTest::newRow("at the bound") << QList<QByteArray>{"12345678\n"} << QList<QByteArray>{"12345678"};
        QTest::newRow("one over, one chunk") << QList<QByteArray>{"123456789\nok\n"} << QList<QByteArray>{};
        QTest::newRow("one over, in pieces")
            << QList<QByteArray>{"ok\n1234", "5678", "9"} << QList<QByteArray>{"ok"};
    }
    void framerRefusesALineOverTheBound() {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, before);
        LineFramer f(8);
        bool ok = true;
        QCOMPARE(feedAll(f, chunks, &ok), before);
        const bool over = QTest::currentDataTag() != QByteArray("at the bound");
        QCOMPARE(ok, !over);
        QCOMPARE(f.overflowed(), over);
        QVERIFY(f.held() <= 8);
        if (over) QCOMPARE(feedAll(f, {"next\n"}, &ok), QList<QByteArray>{}); // nothing after a refusal
    }

    void linesBothWays() {
        Pair pair;
        QVERIFY(pair.ours);
        SocketLines lines(pair.ours);
        QList<QByteArray> got;
        connect(&lines, &SocketLines::lineReceived, this, [&got](const QByteArray &l) { got << l; });
        pair.peer.write("open 30 https://example.org/\nfro");
        pair.peer.write("nt\n");
        QTRY_COMPARE(got, (QList<QByteArray>{"open 30 https://example.org/", "front"}));
        QVERIFY(lines.send("left 29"));
        QVERIFY(!lines.send("two\nmessages"));
        lines.flush();
        QTRY_VERIFY(pair.peer.canReadLine());
        QCOMPARE(pair.peer.readAll(), QByteArray("left 29\n"));
    }

    // 40 MB without a newline: the reader holds at most its bound, then drops the connection.
    void anOverlongLineDropsTheConnectionWithoutGrowing() {
        Pair pair;
        QVERIFY(pair.ours);
        constexpr qsizetype kBound = 1024 * 1024;
        auto *lines = new SocketLines(pair.ours, this, kBound);
        int closed = 0, received = 0;
        qsizetype mostHeld = 0;
        connect(lines, &SocketLines::closed, this, [&closed] { ++closed; });
        connect(lines, &SocketLines::lineReceived, this, [&received] { ++received; });
        connect(pair.ours, &QLocalSocket::readyRead, this,
                [&] { mostHeld = std::max(mostHeld, lines->held()); });
        const QByteArray block(1024 * 1024, 'x');
        pair.peer.write("ok\n");
        for (int i = 0; i < 40 && pair.peer.state() == QLocalSocket::ConnectedState; ++i) {
            pair.peer.write(block);
            while (pair.peer.bytesToWrite() > 0 && pair.peer.state() == QLocalSocket::ConnectedState) {
                pair.peer.waitForBytesWritten(50);
                QCoreApplication::processEvents(); // the reader runs on this thread too
            }
        }
        QTRY_COMPARE(closed, 1);
        QCOMPARE(received, 1);
        QVERIFY(!lines->isOpen());
        QVERIFY2(mostHeld <= kBound, qPrintable(QString::number(mostHeld)));
        QCOMPARE(lines->held(), 0);
        QTRY_VERIFY(pair.peer.state() != QLocalSocket::ConnectedState);
        delete lines;
    }

    void aPeerThatGoesAwayClosesTheLink() {
        Pair pair;
        QVERIFY(pair.ours);
        SocketLines lines(pair.ours);
        int closed = 0;
        connect(&lines, &SocketLines::closed, this, [&closed] { ++closed; });
        pair.peer.abort();
        QTRY_COMPARE(closed, 1);
        QVERIFY(!lines.send("front"));
    }
};

QTEST_MAIN(TstSocketLines)
#include "tst_socket_lines.moc"
