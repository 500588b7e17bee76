#include "common/TestEnv.h"
#include "pomodoro/GanttView.h"
#include "ui/Theme.h"
#include <QPainter>
#include <cmath>
#include <QtTest>
#include <limits>
#include <memory>

namespace {
ProjectCheckpoint step(qint64 start, qint64 days, bool done = false,
                       const QString &title = QStringLiteral("s")) {
    return ProjectCheckpoint(QStringLiteral("S"), title, QString(), days, start, done);
}

QImage paint(const std::vector<ProjectCheckpoint> &steps, int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    GanttView::paintChart(p, QSizeF(w, h), steps);
    return img;
}

// Qt y of the middle of row i's bar in a view of height h.
int barMidY(int h, int row) {
    return h - (h - 18 - 31 * (row + 1) + 4 + 9);
}

// The open-step blue, over a transparent image or over the window background.
bool isOpenBar(QRgb c) {
    return qAlpha(c) > 180 && qBlue(c) > 200 && qBlue(c) > qRed(c) + 80;
}

bool hasInk(const QImage &img, const QRect &r) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qAlpha(img.pixel(x, y)) > 40) return true;
    return false;
}

constexpr qint64 kMax = std::numeric_limits<qint64>::max();
constexpr qint64 kMin = std::numeric_limits<qint64>::min();
} // namespace

class TestGanttView : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() { prefs = std::make_unique<TempPrefs>(); }
    void cleanup() { prefs.reset(); }

    void scale_data() {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("stepSize");
        QTest::addColumn<std::vector<qint64>>("days");
        QTest::newRow("T=0") << qint64(0) << qint64(1) << std::vector<qint64>{};
        QTest::newRow("T=11") << qint64(11) << qint64(1)
                              << std::vector<qint64>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        QTest::newRow("T=13 has no 13d")
            << qint64(13) << qint64(2) << std::vector<qint64>{0, 2, 4, 6, 8, 10, 12};
        const qint64 s = kMax / 6;
        QTest::newRow("largest T") << kMax << s
                                   << std::vector<qint64>{0, s, 2 * s, 3 * s, 4 * s, 5 * s, 6 * s};
    }
    void scale() {
        QFETCH(qint64, total);
        QFETCH(qint64, stepSize);
        QFETCH(std::vector<qint64>, days);
        QCOMPARE(GanttView::scaleStep(total), stepSize);
        QCOMPARE(GanttView::scaleDays(total), days);
    }

    void namesAndZeroDayProjects() {
        QCOMPARE(GanttView::stepName(step(0, 1, false, QString()), 2), QStringLiteral("Step 3"));
        QCOMPARE(GanttView::stepName(step(0, 1, false, QStringLiteral(" ")), 2), QStringLiteral(" "));
        QVERIFY(!hasInk(paint({step(0, 0)}, 300, 55), QRect(0, 0, 300, 55)));
    }

    void extremeOffsetsPaintWithoutOverflow() {
        const int h = GanttView::intrinsicHeight(3);
        // T saturates at the 64-bit limit: the short step gets its 6-point bar at the axis start.
        QImage img = paint({step(kMax - 10, 100), step(0, 5), step(kMin, kMin)}, 400, h);
        QVERIFY(isOpenBar(img.pixel(113, barMidY(h, 1))));
        QVERIFY(isOpenBar(img.pixel(387, barMidY(h, 0))));            // 6 points at the axis end
        QVERIFY(!hasInk(img, QRect(111, barMidY(h, 2) - 4, 270, 8))); // far left of the axis: no bar
        // A bar starting far before day 0 is cut off left of the view.
        img = paint({step(kMin, 10), step(0, 5)}, 400, GanttView::intrinsicHeight(2));
        QVERIFY(!isOpenBar(img.pixel(112, barMidY(GanttView::intrinsicHeight(2), 0))));
    }
};

QTEST_MAIN(TestGanttView)
#include "tst_gantt_view.moc"
