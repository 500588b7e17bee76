#include "app/Keys.h"
#include "common/TestEnv.h"
#include "ui/AW.h"
#include "ui/DraggableDivider.h"
#include "ui/FadedScroller.h"
#include "ui/Makers.h"
#include "ui/NoFocusRingStyle.h"
#include "ui/PassthroughView.h"
#include "ui/RingView.h"
#include "ui/TaggedView.h"
#include "ui/Theme.h"
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QtTest>
#include <cmath>

namespace {
// Records presses that reach it.
class Cell : public QWidget {
public:
    using QWidget::QWidget;
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};
} // namespace

class TestKitViews : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void ringClampsWhatItShows_data() {
        QTest::addColumn<double>("progress");
        QTest::addColumn<double>("shown");
        QTest::newRow("zero") << 0.0 << 0.0;
        QTest::newRow("half") << 0.5 << 0.5;
        QTest::newRow("over") << 1.5 << 1.0;
        QTest::newRow("under") << -0.2 << 0.0;
        QTest::newRow("nan") << std::nan("") << 0.0;
    }
    void ringClampsWhatItShows() {
        QFETCH(double, progress);
        QFETCH(double, shown);
        TempPrefs prefs;
        RingView ring;
        ring.setProgress(progress);
        QCOMPARE(ring.shownFraction(), shown);
        if (!std::isnan(progress)) QCOMPARE(ring.progress(), progress); // kept as given
    }

    void ringFollowsItsSizeAndKeepsItsTrackColour() {
        TempPrefs prefs;
        VF::setTheme(AppTheme::dark);
        RingView ring;
        ring.resize(60, 40);
        QCOMPARE(ring.radius(), 15.0);
        QCOMPARE(ring.centre(), QPointF(30, 20));
        VF::setTheme(AppTheme::silver);
        QCOMPARE(ring.trackColor(), QColor::fromRgbF(1, 1, 1, 0.15f));
        QCOMPARE(RingView().trackColor(), QColor::fromRgbF(0, 0, 0, 0.12f));
    }

    void ringArcStartsAtTheBottomAndRunsClockwise() {
        TempPrefs prefs;
        RingView ring;
        ring.resize(100, 100);
        ring.setColor(Qt::red);
        ring.setProgress(0.25);
        const QImage img = ring.grab().toImage();
        // Radius 45 around (50, 50): a quarter from 6 o'clock clockwise covers the lower left.
        auto isRed = [&](int x, int y) {
            const QColor c = img.pixelColor(x, y);
            return c.red() > 200 && c.green() < 80 && c.blue() < 80;
        };
        QVERIFY(isRed(50 - 32, 50 + 32));  // 7:30
        QVERIFY(!isRed(50 + 32, 50 + 32)); // 4:30
        QVERIFY(!isRed(50 - 32, 50 - 32)); // 10:30
    }

    void dividerReportsXInItsParentWhileDragged() {
        TempPrefs prefs;
        QWidget parent;
        parent.resize(400, 300);
        auto *d = new DraggableDivider(&parent);
        d->setGeometry(200, 0, 5, 300);
        QList<double> xs;
        d->onDrag = [&](double x) { xs << x; };
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));

        QTest::mousePress(d, Qt::LeftButton, {}, QPoint(2, 10));
        QVERIFY(d->isDragging());
        QTest::mouseRelease(d, Qt::LeftButton, {}, QPoint(2, 10));
        QVERIFY(!d->isDragging());
        QVERIFY(xs.isEmpty()); // press and release without movement report nothing

        QTest::mousePress(d, Qt::LeftButton, {}, QPoint(2, 10));
        QMouseEvent move(QEvent::MouseMove, QPointF(-250, 10), d->mapToGlobal(QPointF(-250, 10)),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(d, &move);
        QMouseEvent move2(QEvent::MouseMove, QPointF(300, 10), d->mapToGlobal(QPointF(300, 10)), Qt::NoButton,
                          Qt::LeftButton, {});
        QApplication::sendEvent(d, &move2);
        QTest::mouseRelease(d, Qt::LeftButton, {}, QPoint(300, 10));
        QCOMPARE(xs, (QList<double>{-50, 500})); // parent coordinates, unclamped

        QMouseEvent after(QEvent::MouseMove, QPointF(5, 5), d->mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                          Qt::NoButton, {});
        QApplication::sendEvent(d, &after);
        QCOMPARE(xs.size(), 2); // not dragging: nothing

        DraggableDivider orphan;
        bool called = false;
        orphan.onDrag = [&](double) { called = true; };
        QTest::mousePress(&orphan, Qt::LeftButton, {}, QPoint(1, 1));
        QMouseEvent m(QEvent::MouseMove, QPointF(9, 9), QPointF(9, 9), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&orphan, &m);
        QVERIFY(!called);
        QCOMPARE(d->cursor().shape(), Qt::SplitHCursor);
    }

    void passthroughLetsClicksReachTheCellBeneath() {
        QWidget top;
        top.resize(100, 100);
        auto *cell = new Cell(&top);
        cell->setGeometry(0, 0, 100, 100);
        auto *over = new PassthroughView(cell);
        over->setGeometry(10, 10, 50, 50);
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));
        QCOMPARE(top.childAt(20, 20), cell);
        QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(cell->presses, 1);
    }

    void taggedViewsAreFoundByTag() {
        QWidget page;
        auto *t = new TaggedView(7700, &page);
        QCOMPARE(t->tag(), 7700);
        QCOMPARE(viewWithTag(&page, 7700), t);
        QCOMPARE(viewWithTag(&page, 7701), nullptr);
    }

    void awRunsItsClosureForAsLongAsItsControlLives() {
        int runs = 0;
        QPointer<AW> aw;
        {
            QPushButton b;
            aw = AW::attach(&b, [&] { ++runs; });
            QObject::connect(&b, &QPushButton::clicked, aw, &AW::run);
            b.click();
            QCOMPARE(AW::attachedTo(&b), aw.data());
        }
        QCOMPARE(runs, 1);
        QVERIFY(aw.isNull());
    }

    void labelMakersFollowTheThemeNotTheScale() {
        TempPrefs prefs;
        VF::setFontScale(1.3);
        VF::setTheme(AppTheme::pink);
        std::unique_ptr<QLabel> l(mkLbl(14, QFont::Bold, 0.5));
        QCOMPARE(l->font().pixelSize(), 14);
        QCOMPARE(l->font().weight(), QFont::Bold);
        QCOMPARE(l->palette().color(QPalette::WindowText), QColor::fromRgbF(0, 0, 0, 0.5f));
        QCOMPARE(l->alignment(), Qt::AlignCenter);
        VF::setTheme(AppTheme::dark);
        l.reset(mkLbl(14, QFont::Bold, 0.5));
        QCOMPARE(l->palette().color(QPalette::WindowText), QColor::fromRgbF(1, 1, 1, 0.5f));
        l.reset(mkMono(20, QFont::Medium));
        QCOMPARE(l->palette().color(QPalette::WindowText), QColor::fromRgbF(1, 1, 1, 0.9f));
        VF::setTheme(AppTheme::mint);
        l.reset(mkMono(20, QFont::Medium));
        QCOMPARE(l->palette().color(QPalette::WindowText), QColor::fromRgbF(0, 0, 0, 0.88f));
        QCOMPARE(l->font().pixelSize(), 20);
    }

    void headerButtonIsRestyledCompletelyOnEveryCall() {
        TempPrefs prefs;
        QWidget parent;
        QPushButton b;
        makeHdrBtn(&b, "Add", true, &parent);
        QCOMPARE(b.parentWidget(), &parent);
        QCOMPARE(b.font().pixelSize(), 12);
        QCOMPARE(b.font().weight(), QFont::DemiBold);
        QCOMPARE(hdrBtnLook(&b).tint, VF::accent());
        VF::setFontScale(1.3);
        makeHdrBtn(&b, "Export", false, nullptr);
        QCOMPARE(b.text(), QStringLiteral("Export"));
        QCOMPARE(b.font().pixelSize(), 16); // 15.6 design points on whole pixels
        QCOMPARE(b.font().weight(), QFont::Medium);
        const HdrBtnLook look = hdrBtnLook(&b);
        QVERIFY(!look.primary);
        QCOMPARE(look.tint, VF::sub());
        QCOMPARE(look.background, QColor::fromRgbF(1, 1, 1, 0.06f));
        QCOMPARE(look.border, QColor::fromRgbF(1, 1, 1, 0.18f));
        QCOMPARE(b.parentWidget(), &parent); // stays with its current parent
        QPushButton loose;
        makeHdrBtn(&loose, "X", true, nullptr);
        QCOMPARE(loose.parentWidget(), nullptr);
    }

    void buttonsNeverDrawAFocusRing() {
        NoFocusRingStyle::install();
        QWidget w;
        w.resize(200, 60);
        auto *b = new QPushButton("Focus me", &w);
        b->setGeometry(10, 10, 120, 32);
        b->setFocusPolicy(Qt::StrongFocus);
        auto *other = new QPushButton("other", &w);
        other->setGeometry(140, 10, 50, 32);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        const QImage without = b->grab().toImage();
        b->setFocus();
        QTRY_VERIFY(b->hasFocus());
        QCOMPARE(b->grab().toImage(), without);
    }

    void fadedScrollersOnBothAxes() {
        QScrollArea area;
        area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        applyFadedScroller(&area);
        QVERIFY(qobject_cast<FadedScroller *>(area.verticalScrollBar()));
        QVERIFY(qobject_cast<FadedScroller *>(area.horizontalScrollBar()));
        QCOMPARE(area.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }
};

QTEST_MAIN(TestKitViews)
#include "tst_kitviews.moc"
