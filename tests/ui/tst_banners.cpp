#include "common/TestEnv.h"
#include "platform/Announce.h"
#include "ui/BannerSlots.h"
#include "ui/BannerWindow.h"
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

class TestBanners : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private:
    std::unique_ptr<TempPrefs> prefs_;
    std::unique_ptr<TestClock> clock_;

    // Lets queued shows, zero-length fades and deleteLater run.
    static void settle() {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

private slots:
    void init() {
        prefs_ = std::make_unique<TempPrefs>();
        clock_ = std::make_unique<TestClock>(QDateTime(QDate(2024, 5, 6), QTime(9, 0)));
        BannerWindow::setFadeScale(0);
    }
    void cleanup() {
        for (BannerWindow *b : BannerWindow::active())
            b->dismiss();
        settle();
        QVERIFY(BannerWindow::active().isEmpty());
        clock_.reset();
        prefs_.reset();
    }

    // A new banner takes the lowest free slot, not the one after the last banner still showing.
    void bannersTakeTheLowestFreeSlotAndKeepTheirPlaces() {
        QCOMPARE(BannerSlots::lowestFree({1}), 0);
        QCOMPARE(BannerSlots::lowestFree({0, 2}), 1);
        const QRect avail(0, 30, 1920, 1050); // a panel above takes 30
        QCOMPARE(BannerSlots::frame(avail, 2), QRect(1920 - 12 - 340, 42 + 168, 340, 76));

        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        BannerWindow *a = BannerWindow::present("A", "first", Qt::red);
        BannerWindow::present("B", "second", Qt::green);
        BannerWindow *c = BannerWindow::present("C", "third", Qt::blue);
        a->dismiss();
        settle();
        QCOMPARE(BannerWindow::present("D", "fourth", Qt::yellow)->slot(), 0);
        QCOMPARE(c->geometry(), BannerSlots::frame(screen, 2));
        QCOMPARE(BannerWindow::present("E", "fifth", Qt::yellow)->slot(), 3);
    }

    void closesBySelfAfterSixSeconds() {
        QPointer<BannerWindow> a(BannerWindow::present("A", "b", Qt::red));
        clock_->advance(5.9);
        settle();
        QVERIFY(!a.isNull());
        clock_->advance(0.2);
        settle();
        QVERIFY(a.isNull());
    }

    // Closed early by hand, the banner's own timer must not close the next banner.
    void closeButtonBeforeTheTimeAndTheLateTimerDoesNothing() {
        BannerWindow *a = BannerWindow::present("A", "b", Qt::red);
        clock_->advance(2);
        QTest::mouseClick(a->closeButton(), Qt::LeftButton);
        a->dismiss(); // a second request while fading changes nothing
        settle();
        BannerWindow *b = BannerWindow::present("B", "c", Qt::red);
        clock_->advance(4.5); // past A's six seconds, not B's
        settle();
        QCOMPARE(BannerWindow::active(), QList<BannerWindow *>{b});
    }

    void fadingBannerHoldsItsSlotUntilGone() {
        BannerWindow::setFadeScale(0.1); // 20 ms in, 30 ms out
        BannerWindow *a = BannerWindow::present("A", "b", Qt::red);
        QTRY_COMPARE(a->state(), BannerWindow::State::shown);
        a->dismiss();
        QCOMPARE(BannerWindow::active().size(), 1);
        QTRY_VERIFY(BannerWindow::active().isEmpty());
    }

    void showAndDismissAllGoThroughTheSeamOnALaterTurn() {
        BannerWindowPresenter presenter;
        Banners::install(&presenter);
        Banners::show("💧 Water", "Drink a glass", Qt::cyan);
        Banners::show("Focus", "25 min", Qt::red);
        QVERIFY(BannerWindow::active().isEmpty());
        settle();
        QCOMPARE(BannerWindow::active().size(), 2);
        Banners::dismissAll();
        Banners::dismissAll();
        settle();
        QVERIFY(BannerWindow::active().isEmpty());
        Banners::install(nullptr);
    }

    void iconAndLongBody() {
        const QList<QPair<QString, QString>> cases = {{"💧 Drink water", "💧"},
                                                      {"👁️ Eyes", "👁"},
                                                      {"🛋 Break", "🛋"},
                                                      {"🍅 Focus", "🍵"},
                                                      {"", "🍵"},
                                                      {"Go 💧", "🍵"}};
        for (const auto &[title, icon] : cases)
            QCOMPARE(BannerWindow::iconFor(title), icon);

        const QString body = QString(200, u'w');
        BannerWindow *a = BannerWindow::present("💪 Title", body, Qt::red);
        QVERIFY(a->bodyShown().endsWith(QChar(0x2026)) && a->bodyShown().size() < body.size());
        QCOMPARE(a->size(), QSize(340, 76));
    }
};

QTEST_MAIN(TestBanners)
#include "tst_banners.moc"
