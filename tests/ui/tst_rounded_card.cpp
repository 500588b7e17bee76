// A card's rounded rectangle painted band by band: the same pixels as painting its path whole, with
// no help from Qt's paint threads (whose start would fall on the window's thread).
#include "common/TestEnv.h"
#include "ui/RoundedCard.h"
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QtTest>

namespace {
int pooledThreads() {
    int n = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(t + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().startsWith("Thread (pooled)")) ++n;
    }
    return n;
}

QImage canvas(QSize size) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(QColor(20, 30, 40));
    return img;
}

void plain(QPainter &p, const QRectF &r, double radius, const QColor &fill, const QColor &line,
           double lineWidth) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    p.fillPath(path, fill);
    if (lineWidth > 0) p.strokePath(path, QPen(line, lineWidth));
}
} // namespace

class RoundedCardTest : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }

    // First: nothing else in this program may have started the pool.
    void aTallCardStartsNoPaintThreads() {
        QCOMPARE(pooledThreads(), 0);
        QImage img = canvas(QSize(900, 1400));
        {
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing);
            RoundedCard::paint(p, QRectF(0.25, 0.25, 880, 1300), 12, QColor(255, 255, 255, 18),
                               QColor(255, 255, 255, 15), 0.5);
            RoundedCard::paint(p, QRectF(40.5, 60.5, 600, 900), 16, QColor(80, 160, 255, 46),
                               QColor(80, 160, 255), 1.5);
        }
        QCOMPARE(pooledThreads(), 0);
        // The same card painted whole does start them here, so the count above means something.
        {
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing);
            plain(p, QRectF(0.25, 0.25, 880, 1300), 12, QColor(255, 255, 255, 18), QColor(255, 255, 255, 15),
                  0.5);
        }
        if (pooledThreads() == 0) QSKIP("this Qt paints every fill on the calling thread");
    }

    void samePixelsAsThePathPaintedWhole_data() {
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("lineWidth");
        QTest::addColumn<QPointF>("offset");
        QTest::newRow("settings row") << QRectF(0.25, 0.25, 620, 43.5) << 10.0 << 0.5 << QPointF();
        QTest::newRow("tall panel") << QRectF(0.25, 0.25, 560, 700) << 12.0 << 0.5 << QPointF();
        QTest::newRow("no line") << QRectF(0, 0, 300, 420) << 8.0 << 0.0 << QPointF();
        QTest::newRow("thick line, odd origin") << QRectF(3.7, 5.2, 250.3, 333.9) << 14.0 << 1.5 << QPointF();
        QTest::newRow("translated painter") << QRectF(0.5, 0.5, 200, 260) << 10.0 << 1.0 << QPointF(17, 33.5);
        QTest::newRow("radius beyond half") << QRectF(0.25, 0.25, 60, 30) << 20.0 << 0.5 << QPointF();
        QTest::newRow("thin strip") << QRectF(0.25, 10.25, 400, 2) << 1.0 << 0.5 << QPointF();
    }
    void samePixelsAsThePathPaintedWhole() {
        QFETCH(QRectF, rect);
        QFETCH(double, radius);
        QFETCH(double, lineWidth);
        QFETCH(QPointF, offset);
        const QColor fill(255, 255, 255, 18), line(120, 200, 255, 200);
        QImage banded = canvas(QSize(700, 800)), whole = banded;
        {
            QPainter p(&banded), q(&whole);
            for (QPainter *painter : {&p, &q}) {
                painter->setRenderHint(QPainter::Antialiasing);
                painter->setClipRect(QRect(0, 0, 650, 760)); // a widget's paint starts clipped too
                painter->translate(offset);
            }
            RoundedCard::paint(p, rect, radius, fill, line, lineWidth);
            plain(q, rect, radius, fill, line, lineWidth);
        }
        QCOMPARE(banded, whole);
    }
};

QTEST_MAIN(RoundedCardTest)
#include "tst_rounded_card.moc"
