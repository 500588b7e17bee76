#include "common/TestEnv.h"
#include "stats/ChartGeometry.h"
#include "stats/ChartViews.h"
#include <QtTest>
#include <limits>

using namespace ChartGeometry;

// The chart views' drawing plans, and the views drawing them.
class TstCharts : public QObject {
    Q_OBJECT
    TempPrefs prefs;

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }

    void donutWedges() {
        QVERIFY(donut({}).empty());
        QVERIFY(donut({0, 0}).empty());
        QVERIFY(donut({-1, 1}).empty());
        QVERIFY(donut({1, std::numeric_limits<double>::infinity()}).empty());
        const auto one = donut({5});
        QCOMPARE(one.size(), size_t(1));
        QCOMPARE(one[0].startDeg, -90.0); // straight below the centre
        QCOMPARE(one[0].sweepDeg, 360.0);
        const auto three = donut({1, 0, 3});
        QCOMPARE(three[1].sweepDeg, 0.0);
        QCOMPARE(three[2].startDeg, 0.0);
        QCOMPARE(three[2].sweepDeg, 270.0);
        QCOMPARE(donutRadius(200, 100), 46.0);
    }

    void barPlan() {
        const QDate today(2026, 3, 15);
        // Totals of 0 and 1: scale 1, so a total of 1 fills the height above the label band.
        auto s = bars({0, 1}, {5, 0}, 31, 3, 2026, 310, 116, today);
        QCOMPARE(s.size(), size_t(31));
        QVERIFY(s[0].bar.isNull() && s[0].overlay.isNull()); // no total: no overlay either
        QCOMPARE(s[1].bar, QRectF(10 * 1 + 0, 16, 8, 100).translated(0, 0));
        // Overlay above the total grows past the bar.
        s = bars({2}, {4}, 1, 3, 2026, 100, 116, today);
        QCOMPARE(s[0].overlay.height(), 200.0);
        // Narrow views keep 2-point bars; the last slots fall outside.
        s = bars({1}, {}, 31, 3, 2026, 120, 50, today);
        QCOMPARE(s[0].bar.width(), 2.0);
        QVERIFY(s[30].labelAt.x() >= 120);
        // Labels: every fifth day and today (15, also a fifth day) in this month only.
        QStringList labelled;
        for (const Slot &x : bars({}, {}, 31, 3, 2026, 310, 50, QDate(2026, 3, 7)))
            if (x.label) labelled << QString::number(x.day) + (x.today ? QStringLiteral("*") : QString());
        QCOMPARE(labelled, QStringList({"5", "7*", "10", "15", "20", "25", "30"}));
        labelled.clear();
        for (const Slot &x : bars({}, {}, 31, 4, 2026, 310, 50, QDate(2026, 3, 7)))
            if (x.today) labelled << QString::number(x.day);
        QVERIFY(labelled.isEmpty());
        QVERIFY(bars({1}, {}, 0, 3, 2026, 100, 50, today).empty());
        QVERIFY(bars({1}, {}, -3, 3, 2026, 100, 50, today).empty());
        // The scale counts days beyond the drawn ones.
        QCOMPARE(bars({1, 4}, {}, 1, 3, 2026, 100, 116, today)[0].bar.height(), 25.0);
    }

    void dualPlan() {
        const auto s = dualBars({3, 0}, {0, 3}, 2, 3, 2026, 24, 46, QDate(2026, 1, 1));
        // g = (24 − 4) / 2 = 10, k = 4.5; both series on one scale.
        QCOMPARE(s[0].bar, QRectF(0, 16, 4.5, 30));
        QVERIFY(s[0].overlay.isNull());
        QCOMPARE(s[1].overlay, QRectF(12 + 5.5, 16, 4.5, 30));
        QCOMPARE(dualBars({1}, {}, 1, 3, 2026, 1, 46, QDate())[0].bar.width(), 1.0);
    }

    void viewsDraw() {
        PieChartView pie;
        pie.resize(100, 100);
        pie.configure({{1, Qt::red, QStringLiteral("a")}, {1, Qt::blue, QStringLiteral("b")}});
        QImage img(100, 100, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        pie.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
        QCOMPARE(img.pixelColor(50, 50).rgb(), QColor::fromRgbF(0.04f, 0.09f, 0.05f).rgb()); // the hole
        QCOMPARE(img.pixelColor(80, 50).rgb(), QColor(Qt::red).rgb());                        // right: first half
        QCOMPARE(img.pixelColor(20, 50).rgb(), QColor(Qt::blue).rgb());

        BarChartView bar;
        bar.resize(62, 116);
        bar.configure({1, 0}, {1, 0}, Qt::gray, Qt::yellow, 2, 3, 2026);
        QImage b(62, 116, QImage::Format_ARGB32);
        b.fill(Qt::transparent);
        bar.render(&b, QPoint(), QRegion(), QWidget::DrawChildren);
        QCOMPARE(b.pixelColor(15, 50).rgb(), QColor(Qt::yellow).rgb()); // the overlay covers the bar
        QCOMPARE(b.pixelColor(45, 50).alpha(), 0);                       // day 2: nothing

        DualBarChartView dual;
        dual.resize(62, 116);
        dual.configure({2}, {1}, Qt::green, Qt::red, 1, 3, 2026);
        QImage d(62, 116, QImage::Format_ARGB32);
        d.fill(Qt::transparent);
        dual.render(&d, QPoint(), QRegion(), QWidget::DrawChildren);
        QCOMPARE(d.pixelColor(10, 30).rgb(), QColor(Qt::green).rgb());
        QCOMPARE(d.pixelColor(45, 30).alpha(), 0);  // the second bar is half as tall
        QCOMPARE(d.pixelColor(45, 90).rgb(), QColor(Qt::red).rgb());
    }
};

QTEST_MAIN(TstCharts)
#include "tst_charts.moc"
