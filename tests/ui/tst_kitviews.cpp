#include "common/TestEnv.h"
#include "ui/AW.h"
#include "ui/AlertDialog.h"
#include "ui/SwitchButton.h"
#include "ui/DraggableDivider.h"
#include "ui/FadedScroller.h"
#include "ui/Makers.h"
#include "ui/PassthroughView.h"
#include "ui/RingView.h"
#include "ui/Theme.h"
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include "common/TextFitCheck.h"
#include "ui/Fonts.h"
#include "ui/TextFit.h"
#include <QPainter>
#include <QRandomGenerator>
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

void moveTo(QWidget *w, QPointF p, Qt::MouseButtons held) {
    QMouseEvent e(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, held, {});
    QApplication::sendEvent(w, &e);
}
} // namespace

class TestKitViews : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void ringClampsWhatItShowsAndDrawsClockwiseFromTheBottom() {
        TempPrefs prefs;
        RingView ring;
        for (auto [given, shown] : {std::pair{1.5, 1.0}, {-0.2, 0.0}, {std::nan(""), 0.0}}) {
            ring.setProgress(given);
            QCOMPARE(ring.shownFraction(), shown);
        }
        ring.resize(100, 100);
        ring.setColor(Qt::red);
        ring.setProgress(0.25);
        const QImage img = ring.grab().toImage();
        auto isRed = [&](int x, int y) {
            const QColor c = img.pixelColor(x, y);
            return c.red() > 200 && c.green() < 80 && c.blue() < 80;
        };
        QVERIFY(isRed(50 - 32, 50 + 32));  // 7:30
        QVERIFY(!isRed(50 + 32, 50 + 32)); // 4:30
        QVERIFY(!isRed(50 - 32, 50 - 32)); // 10:30
    }

    // The ring repaints only the stretch its arc changed: the old picture with that area drawn anew
    // is exactly the new picture, whichever way the arc moved and over whichever quarters.
    void ringRepaintsOnlyWhatItsArcChanged() {
        TempPrefs prefs;
        RingView ring;
        ring.resize(130, 120);
        ring.setColor(Qt::red);
        auto draw = [&](double progress, const QRegion &area) {
            QImage img(ring.size(), QImage::Format_ARGB32_Premultiplied);
            img.fill(Qt::transparent);
            ring.setProgress(progress);
            ring.render(&img, area.boundingRect().topLeft(), area, {});
            return img;
        };
        std::vector<std::pair<double, double>> moves = {{0.10, 0.13}, {0.24, 0.26}, {0.2, 0.8}, {0.55, 0.45},
                                                        {0.70, 0.999}, {0.0, 0.3}, {0.9, 1.0}};
        QRandomGenerator random(7);
        for (int i = 0; i < 30; ++i) { // clock steps of a second or less, anywhere on the ring
            const double f = random.bounded(0.99);
            moves.emplace_back(f, f + random.bounded(0.01));
        }
        for (auto [from, to] : moves) {
            const QRect changed = ring.changedArea(from, to);
            QImage patched = draw(from, ring.rect());
            {
                QPainter p(&patched);
                p.setCompositionMode(QPainter::CompositionMode_Source);
                p.fillRect(changed, Qt::transparent);
                p.setCompositionMode(QPainter::CompositionMode_SourceOver);
                p.drawImage(changed.topLeft(), draw(to, changed).copy(changed));
            }
            QVERIFY2(patched == draw(to, ring.rect()), qPrintable(QStringLiteral("%1 to %2").arg(from).arg(to)));
            if (from > 0 && to < 1 && int(from * 4) == int(to * 4)) // within a quarter: that quarter at most
                QVERIFY(changed.width() * changed.height() * 3 < ring.width() * ring.height());
        }
    }

    void dividerReportsXInItsParentOnlyWhileDragged() {
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
        QTest::mouseRelease(d, Qt::LeftButton, {}, QPoint(2, 10));
        QVERIFY(xs.isEmpty()); // press and release without movement report nothing

        QTest::mousePress(d, Qt::LeftButton, {}, QPoint(2, 10));
        moveTo(d, QPointF(-250, 10), Qt::LeftButton);
        moveTo(d, QPointF(300, 10), Qt::LeftButton);
        QTest::mouseRelease(d, Qt::LeftButton, {}, QPoint(300, 10));
        moveTo(d, QPointF(5, 5), Qt::NoButton);
        QCOMPARE(xs, (QList<double>{-50, 500})); // parent coordinates, unclamped

        DraggableDivider orphan;
        orphan.onDrag = [&](double x) { xs << x; };
        QTest::mousePress(&orphan, Qt::LeftButton, {}, QPoint(1, 1));
        moveTo(&orphan, QPointF(9, 9), Qt::LeftButton);
        QCOMPARE(xs.size(), 2);
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
        QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(cell->presses, 1);
    }

    void awRunsItsClosureForAsLongAsItsControlLives() {
        int runs = 0;
        QPointer<AW> aw;
        {
            QPushButton b;
            aw = AW::attach(&b, [&] { ++runs; });
            QObject::connect(&b, &QPushButton::clicked, aw, &AW::run);
            b.click();
        }
        QCOMPARE(runs, 1);
        QVERIFY(aw.isNull());
    }

    // A line too long for its frame is cut with "…" and shown whole in the tool tip; once it fits
    // again the tip goes. A frame lower than the line grows about its centre. Kit buttons do the same.
    void kitTextsElideAndGrowInsteadOfCutting() {
        TempPrefs prefs;
        QWidget host;
        host.resize(400, 200);
        host.show();
        QLabel *l = mkText(&host, QStringLiteral("Zyklen bis Langpause"), 12 * 1.3, QFont::Normal, Qt::black);
        l->setGeometry(10, 50, 60, 14);
        l->show();
        const int line = TextFit::lineHeight(l->font());
        QVERIFY(line > 14);
        QCOMPARE(l->height(), line);
        QCOMPARE(l->y(), 50 - (line - 14) / 2);
        host.grab();
        QVERIFY(static_cast<FitLabel *>(l)->isElided());
        QCOMPARE(l->toolTip(), QStringLiteral("Zyklen bis Langpause"));
        l->resize(300, line);
        host.grab();
        QVERIFY(!static_cast<FitLabel *>(l)->isElided());
        QVERIFY(l->toolTip().isEmpty());
        l->setToolTip(QStringLiteral("own tip")); // a tip the page set is left alone
        l->resize(40, line);
        host.grab();
        QCOMPARE(l->toolTip(), QStringLiteral("own tip"));

        // An icon alone is drawn whole and smaller, never replaced by a lone "…".
        QLabel *icon = mkText(&host, QStringLiteral("🏡"), 60, QFont::Normal, Qt::black);
        icon->setGeometry(10, 130, 20, 80);
        icon->show();
        host.grab();
        QVERIFY(!static_cast<FitLabel *>(icon)->isElided());
        QVERIFY(Fonts::shrunkToFit(icon->font(), icon->text(), 20).pointSizeF() < icon->font().pointSizeF());
        QVERIFY(QFontMetricsF(Fonts::shrunkToFit(icon->font(), icon->text(), 20)).horizontalAdvance(icon->text()) <= 20);

        QPushButton *b = makeHdrBtn(new QPushButton, QStringLiteral("📥 Імпортувати"), false, &host);
        QVERIFY(!b->isHidden());
        b->setGeometry(10, 100, 60, 26);
        host.grab();
        QVERIFY(b->property(TextFit::kElidedProperty).toBool());
        QCOMPARE(b->toolTip(), b->text());
        b->resize(hdrBtnWidth(b, 90), 26);
        QVERIFY(b->width() > 90); // the Ukrainian title needs more than the usual 90 points
        host.grab();
        QVERIFY(!b->property(TextFit::kElidedProperty).toBool());
        QVERIFY(b->toolTip().isEmpty());
    }

    // The render test's check: cut plain labels and buttons are reported with their sizes; the kit's
    // eliding widgets pass while a reader can still tell the text, except a button title elided at
    // font scale 1.0.
    void textFitCheckReportsCutTexts() {
        TempPrefs prefs;
        QWidget host;
        host.resize(400, 300);
        auto *wide = new QLabel(QStringLiteral("Benachrichtigungston"), &host);
        wide->setFont(Fonts::scaledFont(12));
        wide->setGeometry(0, 0, 40, 30);
        auto *low = new QLabel(QStringLiteral("Erledigt"), &host);
        low->setFont(Fonts::scaledFont(16));
        low->setGeometry(0, 40, 200, 12);
        QLabel *kit = mkText(&host, QStringLiteral("Benachrichtigungston"), 12, QFont::Normal, Qt::black);
        kit->setGeometry(0, 60, 40, 20);
        QLabel *kitMostly = mkText(&host, QStringLiteral("Benachrichtigungston"), 12, QFont::Normal, Qt::black);
        kitMostly->setGeometry(0, 120, int(QFontMetricsF(kitMostly->font()).horizontalAdvance(kitMostly->text()) - 8), 20);
        QPushButton *b = makeHdrBtn(new QPushButton, QStringLiteral("Exportieren"), false, &host);
        b->setGeometry(0, 90, 40, 26);
        host.show();
        host.grab();
        QVERIFY(static_cast<FitLabel *>(kitMostly)->isElided());
        QStringList seen;
        for (const CutText &c : TextFitCheck::findCutTexts(&host, true))
            seen << c.text + ": " + c.problem.section(QStringLiteral(" ("), 0, 0);
        QCOMPARE(seen, QStringList({"Benachrichtigungston: wider than its frame", "Erledigt: taller than its frame",
                                    "Benachrichtigungston: elided too far to read",
                                    "Exportieren: button title elided at font scale 1.0"}));
        QCOMPARE(TextFitCheck::findCutTexts(&host, false).size(), 4); // the button then as elided too far
        QVERIFY(TextFitCheck::findCutTexts(&host, true).first().describe().contains(QStringLiteral("frame 40×30")));
    }

    // Faded scrollers float over the content (the viewport keeps the whole width) and the vertical
    // one keeps clear of a strip along the top when asked.
    // A button whose title does not fit grows into the room its row leaves (up to the end of the text
    // beside it), and no further; a row without room leaves it to elide.
    void buttonsGrowIntoTheirRowBeforeEliding() {
        TempPrefs prefs;
        QWidget row;
        row.resize(500, 50);
        QLabel *text = mkText(&row, QStringLiteral("Short"), 13, QFont::Normal, Qt::black);
        text->setGeometry(10, 10, 330, 20);
        auto *b = makeHdrBtn(new QPushButton, QStringLiteral("Alle Timer auf Standardwerte zurücksetzen"), true, &row);
        b->setGeometry(350, 10, 130, 26);
        const double need = QFontMetricsF(b->font()).horizontalAdvance(b->text()) + 16;
        QVERIFY(TextFit::growIntoRow(b) > 0);
        QCOMPARE(b->geometry().right(), 479);
        QVERIFY(b->width() >= need);
        QVERIFY(text->geometry().right() < b->x());
        QVERIFY(text->width() > QFontMetricsF(text->font()).horizontalAdvance(text->text()));

        text->setText(QStringLiteral("A description that runs on and on, all the way to the button and beyond it"));
        text->setGeometry(10, 10, 330, 20);
        b->setGeometry(350, 10, 130, 26);
        QCOMPARE(TextFit::growIntoRow(b), 0);
        QCOMPARE(b->width(), 130);
    }

    // The switch: the whole frame takes the click; on, the track is the theme's accent.
    void switchShowsItsStateInTheAccent() {
        TempPrefs prefs;
        VF::setTheme(AppTheme::dark);
        QWidget host;
        auto *sw = new SwitchButton(&host);
        sw->setGeometry(0, 0, 50, 22);
        host.resize(60, 30);
        host.show();
        QTest::mouseClick(sw, Qt::LeftButton, {}, QPoint(2, 11));
        QVERIFY(sw->isChecked());
        const QImage on = sw->grab().toImage();
        const QRectF t = sw->trackRect();
        const QColor fill = on.pixelColor(QPointF(t.left() + 6, t.top() + 3).toPoint());
        QVERIFY2(std::abs(fill.green() - VF::accent().green()) < 20 && fill.red() < 80, qPrintable(fill.name()));
        QTest::mouseClick(sw, Qt::LeftButton, {}, QPoint(48, 11));
        QVERIFY(!sw->isChecked());
    }

    // An alert follows the font scale and the theme, and hands its accessory back to the caller.
    void alertsFollowScaleAndTheme() {
        TempPrefs prefs;
        VF::setTheme(AppTheme::dark);
        VF::setFontScale(1.3);
        Dialogs::Alert a;
        a.title = QStringLiteral("Replace all tasks?");
        a.buttons = {QStringLiteral("Replace"), QStringLiteral("Cancel")};
        QWidget accessory;
        a.accessory = &accessory;
        {
            AlertDialog d(a, nullptr);
            QCOMPARE(d.findChild<QLabel *>(QStringLiteral("alertTitle"))->font().pointSizeF(), Fonts::scaledFont(14).pointSizeF());
            QCOMPARE(d.palette().color(QPalette::Window), VF::bg());
            QVERIFY(d.palette().color(QPalette::Base).lightnessF() < 0.3);
            QVERIFY(d.minimumWidth() >= 380 * 1.3 - 1);
            d.show();
            d.findChild<QPushButton *>(QStringLiteral("alertButton1"))->click();
            QCOMPARE(d.chosen(), 1);
        }
        QVERIFY(!accessory.parent());
    }

    void fadedScrollersOverlayTheContent() {
        QScrollArea area;
        area.setFrameShape(QFrame::NoFrame);
        area.resize(300, 200);
        applyFadedScroller(&area);
        setScrollerTopInset(&area, 4);
        auto *doc = new QWidget;
        doc->resize(300, 2000);
        area.setWidget(doc);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        QVERIFY(qobject_cast<FadedScroller *>(area.verticalScrollBar()));
        QCOMPARE(area.viewport()->width(), 300);
        QWidget *bar = area.verticalScrollBar()->parentWidget();
        QVERIFY(bar->isVisible());
        QVERIFY(bar->geometry().right() == 299 && bar->y() >= 4);
    }

};

QTEST_MAIN(TestKitViews)
#include "tst_kitviews.moc"
