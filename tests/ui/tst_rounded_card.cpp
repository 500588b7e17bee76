// A card's rounded rectangle painted band by band: the same pixels as painting its path whole, with
// no help from Qt's paint threads (whose start would fall on the window's thread).
#include "common/TestEnv.h"
#include "ui/RoundedCard.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>
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

// A widget painting a tall card and a tall translucent row, banded or whole.
class Painted : public QWidget {
public:
    Painted(bool banded, QWidget *parent) : QWidget(parent), banded_(banded) {}

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF card(0.25, 0.25, width() - 0.5, 2000), row(10, 30.5, width() - 20, 900);
        const QColor fill(255, 255, 255, 18), line(255, 255, 255, 40), rowFill(80, 160, 255, 30);
        if (banded_) {
            RoundedCard::paint(p, card, 12, fill, line, 0.5);
            RoundedCard::fillRect(p, row, rowFill);
        } else {
            plain(p, card, 12, fill, line, 0.5);
            p.fillRect(row, rowFill);
        }
    }

private:
    bool banded_;
};

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

    // Painted by a widget that sits away from its window's corner, in part of the window (the region
    // being repainted is given in the window's coordinates).
    void samePixelsInAWidgetAwayFromItsWindowsCorner() {
        QImage shots[2];
        for (bool banded : {false, true}) {
            QWidget window;
            window.resize(500, 700);
            window.setAttribute(Qt::WA_NoSystemBackground);
            auto *w = new Painted(banded, &window);
            w->setGeometry(37, 53, 400, 600);
            shots[banded] = window.grab(QRect(20, 90, 400, 500)).toImage();
        }
        QCOMPARE(shots[1], shots[0]);
    }

    // A row's translucent background and a column line, in a painter clipped to what is repainted,
    // scrolled (translated) and not.
    void samePixelsAsAPlainFillRect() {
        const QList<QRectF> rects = {QRectF(0, 3, 640, 700.5), QRectF(120.5, 0, 1, 760),
                                     QRectF(-5, -20.25, 700, 3000), QRectF(10.3, 10.7, 200.2, 1.4)};
        for (bool antialiased : {false, true})
            for (const QRectF &r : rects) {
                QImage banded = canvas(QSize(700, 800)), whole = banded;
                {
                    QPainter p(&banded), q(&whole);
                    for (QPainter *painter : {&p, &q}) {
                        painter->setRenderHint(QPainter::Antialiasing, antialiased);
                        painter->setClipRect(QRect(0, 40, 650, 700));
                        painter->translate(0, -13.5);
                    }
                    RoundedCard::fillRect(p, r, QColor(255, 255, 255, 9));
                    q.fillRect(r, QColor(255, 255, 255, 9));
                }
                QVERIFY2(banded == whole, qPrintable(QStringLiteral("%1,%2 %3x%4 aa %5")
                                                         .arg(r.x())
                                                         .arg(r.y())
                                                         .arg(r.width())
                                                         .arg(r.height())
                                                         .arg(antialiased)));
            }
    }
};

QTEST_MAIN(RoundedCardTest)
#include "tst_rounded_card.moc"
