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
    static QList<int> heldSlots() {
        QList<int> s;
        for (BannerWindow *b : BannerWindow::active())
            s << b->slot();
        return s;
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

    void slotsAreTheLowestFree() {
        QCOMPARE(BannerSlots::lowestFree({}), 0);
        QCOMPARE(BannerSlots::lowestFree({0, 1}), 2);
        QCOMPARE(BannerSlots::lowestFree({1}), 0);
        QCOMPARE(BannerSlots::lowestFree({0, 2}), 1);
        const QRect avail(0, 30, 1920, 1050); // a panel above takes 30
        QCOMPARE(BannerSlots::frame(avail, 0), QRect(1920 - 12 - 340, 42, 340, 76));
        QCOMPARE(BannerSlots::frame(avail, 2).top(), 42 + 168);
    }

    void bannersStackAndKeepTheirPlaces() {
        const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
        BannerWindow *a = BannerWindow::present("A", "first", Qt::red);
        BannerWindow *b = BannerWindow::present("B", "second", Qt::green);
        BannerWindow *c = BannerWindow::present("C", "third", Qt::blue);
        QCOMPARE(a->geometry(), BannerSlots::frame(avail, 0));
        QCOMPARE(b->geometry().top() - a->geometry().top(), 84);
        QCOMPARE(c->geometry().top() - b->geometry().top(), 84);
        QCOMPARE(a->geometry().right() + 1, avail.right() + 1 - 12);

        // The oldest closes: the others stay put and the next banner takes the freed top place,
        // not the place of the banner still showing in slot 2.
        a->dismiss();
        settle();
        QCOMPARE(heldSlots(), (QList<int>{1, 2}));
        BannerWindow *d = BannerWindow::present("D", "fourth", Qt::yellow);
        QCOMPARE(d->slot(), 0);
        QCOMPARE(c->geometry(), BannerSlots::frame(avail, 2));
        BannerWindow *e = BannerWindow::present("E", "fifth", Qt::yellow);
        QCOMPARE(e->slot(), 3);
    }

    void closesBySelfAfterSixSeconds() {
        BannerWindow *a = BannerWindow::present("A", "b", Qt::red);
        QPointer<BannerWindow> guard(a);
        clock_->advance(5.9);
        settle();
        QCOMPARE(BannerWindow::active().size(), 1);
        clock_->advance(0.2);
        settle();
        QVERIFY(BannerWindow::active().isEmpty());
        QVERIFY(guard.isNull());
    }

    void closeButtonBeforeTheTimeAndTheLateTimerDoesNothing() {
        BannerWindow *a = BannerWindow::present("A", "b", Qt::red);
        clock_->advance(2);
        QTest::mouseClick(a->closeButton(), Qt::LeftButton);
        QCOMPARE(a->state(), BannerWindow::State::fadingOut);
        a->dismiss(); // a second request while fading changes nothing
        settle();
        QVERIFY(BannerWindow::active().isEmpty());
        BannerWindow *b = BannerWindow::present("B", "c", Qt::red);
        clock_->advance(4.5); // past A's six seconds, not B's
        settle();
        QCOMPARE(BannerWindow::active(), QList<BannerWindow *>{b});
    }

    void fadeOutTakesItsTimeBeforeLeavingTheStack() {
        BannerWindow::setFadeScale(0.1); // 20 ms in, 30 ms out
        BannerWindow *a = BannerWindow::present("A", "b", Qt::red);
        QTRY_COMPARE(a->state(), BannerWindow::State::shown);
        a->dismiss();
        QCOMPARE(BannerWindow::active().size(), 1); // still holds its slot while it fades
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
        Banners::dismissAll(); // nothing open: nothing happens
        settle();
        Banners::install(nullptr);
    }

    void iconFollowsTheTitlesFirstEmoji_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("icon");
        QTest::newRow("water") << "💧 Drink water"
                               << "💧";
        QTest::newRow("eyes with selector") << "👁️ Eyes"
                                            << "👁";
        QTest::newRow("posture") << "🧘 Posture"
                                 << "🧘";
        QTest::newRow("stretch") << "🤸 Stretch"
                                 << "🤸";
        QTest::newRow("muscle") << "💪 Done"
                                << "💪";
        QTest::newRow("couch") << "🛋 Break"
                               << "🛋";
        QTest::newRow("letter") << "Focus"
                                << "🍵";
        QTest::newRow("other emoji") << "🍅 Focus"
                                     << "🍵";
        QTest::newRow("empty") << ""
                               << "🍵";
        QTest::newRow("emoji later") << "Go 💧"
                                     << "🍵";
    }
    void iconFollowsTheTitlesFirstEmoji() {
        QFETCH(QString, title);
        QFETCH(QString, icon);
        QCOMPARE(BannerWindow::iconFor(title), icon);
    }

    void longBodyStaysOnOneLine() {
        const QString body = QString(200, u'w');
        BannerWindow *a = BannerWindow::present("💪 Title kept whole", body, Qt::red);
        QVERIFY(a->bodyShown().endsWith(QChar(0x2026)));
        QVERIFY(a->bodyShown().size() < body.size());
        QCOMPARE(a->size(), QSize(340, 76));
        QCOMPARE(a->title(), QStringLiteral("💪 Title kept whole"));
    }
};

QTEST_MAIN(TestBanners)
#include "tst_banners.moc"
