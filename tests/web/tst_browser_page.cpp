#include "common/TestEnv.h"
#include "common/TinyServer.h"
#include "ui/WebModule.h"
#include <QPointer>
#include <QtTest>

// The browser page the web module makes, driven through the interface the app sees.
class TestBrowserPage : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void pageAsksWithItsUserAgentAndReportsWhereItIs() {
        WebViews *views = webViews();
        QVERIFY2(views, "the web module did not load");
        const QString agent = QStringLiteral("Mozilla/5.0 (Test) MivoProbe/1.0");
        TinyServer server(200, "<html><body><p>Step one</p></body></html>");
        auto *window = new QWidget;
        window->resize(400, 300);
        BrowserPage *page = views->makeBrowserPage(window, agent);
        QVERIFY(page);
        QCOMPARE(page->widget()->parentWidget(), window);
        QList<QUrl> committed;
        page->onUrlCommitted = [&committed](const QUrl &url) { committed << url; };
        const QUrl address = server.root().resolved(QUrl(QStringLiteral("step?n=1")));
        page->load(address);
        window->show();
        QTRY_VERIFY_WITH_TIMEOUT(server.request.contains("GET /step?n=1 "), 20000);
        QVERIFY2(server.request.contains("User-Agent: " + agent.toUtf8() + "\r\n"),
                 server.request.constData());
        QTRY_COMPARE_WITH_TIMEOUT(committed.value(0), address, 10000);
        QCOMPARE(page->url(), address);

        // The page object goes with its widget, the engine's page before its profile.
        QPointer<QWidget> view = page->widget();
        QTest::failOnWarning(QRegularExpression(QStringLiteral("profile")));
        delete window;
        QVERIFY(view.isNull());
    }
};

QTEST_MAIN(TestBrowserPage)
#include "tst_browser_page.moc"
