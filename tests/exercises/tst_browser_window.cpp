#include "common/PageTest.h"
#include "common/NoWebPages.h"
#include "common/TestEnv.h"
#include "exercises/BrowserCountdown.h"
#include "exercises/YouTubeBrowserWindow.h"
#include "ui/WebLinks.h"
#include "ui/WebModule.h"
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {
// A page that records what it is asked to do. Like the module's pages it lives exactly as long as
// its widget.
class FakePage : public BrowserPage {
public:
    explicit FakePage(QWidget *parent) : widget_(new QWidget(parent)) {
        QObject::connect(widget_, &QObject::destroyed, [this] { delete this; });
    }
    QWidget *widget() override { return widget_; }
    void load(const QUrl &url) override { loads << url; }
    void back() override { calls << "back"; }
    void forward() override { calls << "forward"; }
    void reload() override { calls << "reload"; }
    QUrl url() const override { return loads.isEmpty() ? QUrl() : loads.last(); }
    QList<QUrl> loads;
    QStringList calls;

private:
    QWidget *widget_;
};

class FakeWebViews : public WebViews {
public:
    QWidget *makeDocumentView(QWidget *parent, const QString &, const QUrl &,
                              std::function<void(const QUrl &)>) override {
        return new QWidget(parent);
    }
    BrowserPage *makeBrowserPage(QWidget *parent, const QString &agent) override {
        lastAgent = agent;
        last = new FakePage(parent);
        return last;
    }
    FakePage *last = nullptr;
    QString lastAgent;
};
} // namespace

// The browser window's countdown, toolbar and close paths, on a fake clock and a stand-in web view.
class TstBrowserWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;
    std::unique_ptr<TestClock> clock;
    FakeWebViews views;

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        prefs = std::make_unique<TempPrefs>();
        clock = std::make_unique<TestClock>(QDateTime(QDate(2026, 1, 5), QTime(9, 0)));
        installWebViews(&views);
    }
    void cleanup() {
        installWebViews(nullptr);
        clock.reset();
        prefs.reset();
    }

    void countsDownAndFinishesOnce() {
        YouTubeBrowserWindow w;
        int finished = 0;
        w.onFinished = [&] { ++finished; };
        QCOMPARE(w.timerLabel()->text(), QStringLiteral("⏱  --:--"));
        QVERIFY(w.load(QStringLiteral("https://example.org/video"), 90));
        w.show();
        QCOMPARE(views.lastAgent, YouTubeBrowserWindow::userAgent());
        QCOMPARE(views.last->loads, QList<QUrl>({QUrl("https://example.org/video")}));
        QCOMPARE(w.timerLabel()->text(), QStringLiteral("⏱  01:30"));
        clock->advance(1);
        QCOMPARE(w.timerLabel()->text(), QStringLiteral("⏱  01:29"));
        clock->advance(88);
        QVERIFY(w.isVisible());
        clock->advance(1);
        QVERIFY(!w.isVisible());
        QCOMPARE(finished, 0); // called after the close, from the event loop
        settle();
        QCOMPARE(finished, 1);
        clock->advance(10);
        settle();
        QCOMPARE(finished, 1);
    }

    void zeroSecondsClosesAtTheFirstTick() {
        YouTubeBrowserWindow w;
        int finished = 0;
        w.onFinished = [&] { ++finished; };
        QVERIFY(w.load(QStringLiteral("http://example.org"), 0));
        w.show();
        QCOMPARE(w.timerLabel()->text(), QStringLiteral("⏱  00:00"));
        clock->advance(1);
        settle();
        QVERIFY(!w.isVisible());
        QCOMPARE(finished, 1);
    }

    void stopFinishesCloseOnlyPauses() {
        YouTubeBrowserWindow w;
        int finished = 0;
        w.onFinished = [&] { ++finished; };
        w.load(QStringLiteral("https://example.org"), 30);
        w.show();
        QTest::mouseClick(w.stopButton(), Qt::LeftButton);
        settle();
        QCOMPARE(finished, 1);
        clock->advance(60);
        settle();
        QCOMPARE(finished, 1);

        // closed by the user, the countdown pauses; shown again ("Open again"), it counts on
        w.load(QStringLiteral("https://example.org"), 30);
        w.show();
        clock->advance(10);
        w.close();
        clock->advance(60);
        settle();
        QCOMPARE(finished, 1);
        w.show();
        QVERIFY(w.countdown()->isRunning());
        QCOMPARE(w.timerLabel()->text(), QStringLiteral("⏱  00:20"));
        clock->advance(20);
        settle();
        QCOMPARE(finished, 2);
        w.show(); // a window that finished stays finished when shown again
        clock->advance(60);
        settle();
        QCOMPARE(finished, 2);
        w.load(QStringLiteral("https://example.org"), 30);
        w.show();
        w.stopAndClose();
        QVERIFY(!w.countdown()->isRunning());
        settle();
        QCOMPARE(finished, 2);
    }

    void onlyWebAddressesAreLoaded_data() {
        QTest::addColumn<QString>("address");
        QTest::newRow("file") << "file:///etc/passwd";
        QTest::newRow("javascript") << "javascript:alert(1)";
        QTest::newRow("custom scheme") << "steam://run/1";
        QTest::newRow("no host") << "https://";
        QTest::newRow("not a url") << "http://exa mple.org";
    }
    void onlyWebAddressesAreLoaded() {
        QFETCH(QString, address);
        YouTubeBrowserWindow w;
        QVERIFY(!w.load(address, 30));
        QVERIFY(views.last->loads.isEmpty());
        QCOMPARE(w.timerLabel()->text(), QStringLiteral("⏱  --:--"));
        QVERIFY(!w.countdown()->isRunning());
    }

    void addressFieldAndToolbar() {
        YouTubeBrowserWindow w;
        w.load(QStringLiteral("https://example.org"), 30);
        QVERIFY(QFontInfo(w.addressField()->font()).fixedPitch());
        FakePage *page = views.last;
        auto type = [&](const QString &text) {
            w.addressField()->setText(text);
            QTest::keyClick(w.addressField(), Qt::Key_Return);
        };
        type(QStringLiteral("  example.com/x\t"));
        QCOMPARE(page->loads.last(), QUrl("https://example.com/x"));
        type(QStringLiteral("http://plain.org"));
        QCOMPARE(page->loads.last(), QUrl("http://plain.org"));
        const auto before = page->loads.size();
        type(QStringLiteral("   "));
        type(QStringLiteral("javascript:alert(1)"));
        QCOMPARE(page->loads.size(), before);
        QCOMPARE(w.countdown()->remaining(), 30); // typing leaves the countdown alone
        page->onUrlCommitted(QUrl("https://example.com/followed"));
        QCOMPARE(w.addressField()->text(), QStringLiteral("https://example.com/followed"));
        for (QPushButton *b : w.findChildren<QPushButton *>())
            if (b->text() == QStringLiteral("←") || b->text() == QStringLiteral("→") ||
                b->text() == QStringLiteral("↻"))
                QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(page->calls, QStringList({"back", "forward", "reload"}));
    }

    void withoutTheWebModuleItOffersTheDefaultBrowser() {
        // A module that cannot make a page stands for one that could not be loaded.
        NoWebPages none;
        RecordingLinks links;
        YouTubeBrowserWindow w;
        QVERIFY(!w.page());
        QVERIFY(w.openExternallyButton());
        QVERIFY(w.load(QStringLiteral("https://example.org/v"), 10));
        w.show();
        QTest::mouseClick(w.openExternallyButton(), Qt::LeftButton);
        QCOMPARE(links.opened, QList<QUrl>({QUrl("https://example.org/v")}));
        QVERIFY(w.countdown()->isRunning()); // the step still ends on time
        installWebViews(nullptr);
    }
};

QTEST_MAIN(TstBrowserWindow)
#include "tst_browser_window.moc"
