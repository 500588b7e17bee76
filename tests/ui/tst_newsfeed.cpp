#include "common/TestEnv.h"
#include "common/TinyServer.h"
#include "ui/NewsFeed.h"
#include "ui/NewsPanel.h"
#include "ui/WebLinks.h"
#include "ui/WebModule.h"
#include <QLabel>
#include <QSignalSpy>
#include <QTcpServer>
#include <QUrlQuery>
#include <QtTest>

namespace {
// Stands in for the web module: the document as a label, the link handler kept.
class FakeViews : public WebViews {
public:
    QWidget *makeDocumentView(QWidget *parent, const QString &html, const QUrl &base,
                              std::function<void(const QUrl &)> onLinkClicked) override {
        auto *l = new QLabel(parent);
        l->setObjectName(QStringLiteral("fakeNewsView"));
        l->setText(html);
        lastBase = base;
        clickLink = std::move(onLinkClicked);
        return l;
    }
    BrowserPage *makeBrowserPage(QWidget *, const QString &) override { return nullptr; }
    QUrl lastBase;
    std::function<void(const QUrl &)> clickLink;
};

QByteArray maps() {
    QFile f(QStringLiteral("/proc/self/maps"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool webEngineMapped() {
    return maps().contains("libQt6WebEngineCore");
}

// A GL driver (Mesa's, with its compiler) rather than the small dispatch libraries Qt Gui links.
bool glDriverMapped() {
    const QByteArray m = maps();
    return m.contains("libLLVM") || m.contains("_dri.so") || m.contains("libGLX_mesa") ||
           m.contains("libEGL_mesa");
}

// Whether the widget, as drawn, shows a patch of pure red at least 20 × 20 pixels large.
bool showsRed(QWidget *w) {
    const QImage img = w->grab().toImage();
    int red = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == qRgb(255, 0, 0)) ++red;
    return red >= 400;
}
} // namespace

class TestNewsFeed : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void init() { installWebViews(&fake_); }
    void cleanup() { installWebViews(nullptr); }

    // Without a news address (the default build) nothing is asked, so no TLS is loaded, even once
    // the window is shown. (First: later cases make requests of their own.)
    void noAddressNoRequestNoTls() {
        TempPrefs prefs;
        QVERIFY(NewsFeed::endpointRoot().isEmpty());
        QWidget window;
        NewsPanel panel(&window);
        QSignalSpy settled(&panel, &NewsPanel::settled);
        window.show();
        QVERIFY(!settled.wait(500));
        QVERIFY(panel.isHidden());
        QVERIFY(!maps().contains("libssl.so"));
        QVERIFY(!maps().contains("plugins/tls/"));
    }

    void requestCarriesHourStampAndNoCaching() {
        const QDateTime t = QDateTime::fromString(QStringLiteral("2024-03-05T10:59:59Z"), Qt::ISODate);
        const QNetworkRequest r = NewsFeed::request(QUrl(QStringLiteral("https://example.org/")), t);
        QCOMPARE(r.url().path(), QStringLiteral("/news/app-news.html"));
        QCOMPARE(QUrlQuery(r.url()).queryItemValue("v"), QStringLiteral("474898")); // hours since 1970
        QCOMPARE(r.attribute(QNetworkRequest::CacheLoadControlAttribute).toInt(),
                 int(QNetworkRequest::AlwaysNetwork));
        QCOMPARE(r.attribute(QNetworkRequest::CacheSaveControlAttribute).toBool(), false);
        QCOMPARE(NewsFeed::hourStamp(t.addSecs(-3599)), NewsFeed::hourStamp(t));
        QCOMPARE(NewsFeed::hourStamp(t.addSecs(1)), NewsFeed::hourStamp(t) + 1);
    }

    // An error page is no news, whatever its body says.
    void onlySuccessfulUtf8AnswersAreNews() {
        QCOMPARE(*NewsFeed::acceptedBody(200, "<p>Hi ü</p>"), QStringLiteral("<p>Hi ü</p>"));
        QVERIFY(NewsFeed::acceptedBody(204, "x").has_value());
        for (int status : {404, 500, 302, 0})
            QVERIFY(!NewsFeed::acceptedBody(status, "<h1>Not found</h1>"));
        QVERIFY(!NewsFeed::acceptedBody(200, QByteArray()));
        QVERIFY(!NewsFeed::acceptedBody(200, QByteArray("bad \xff\xfe bytes")));
    }

    void documentWrapsFragmentInThemeColour() {
        const QString golden =
            QStringLiteral("<html><head><meta charset=\"utf-8\">\n<style>\n"
                           "  html,body{background:transparent !important;}\n"
                           "  body{font-family:system-ui,sans-serif;font-size:11px;\n"
                           "       color:#eeeeee;margin:4px 8px;line-height:1.5;word-break:break-word;}\n"
                           "  a{color:#3a9eff;text-decoration:none;}\n"
                           "  h1,h2,h3{font-size:12px;margin:0 0 4px;}\n"
                           "  p{margin:0 0 6px;}\n"
                           "</style></head><body><p>News</p></body></html>");
        QCOMPARE(NewsFeed::document(QStringLiteral("<p>News</p>"), AppTheme::dark), golden);
        QVERIFY(NewsFeed::document(QString(), AppTheme::mint).contains(QLatin1String("color:#111111;")));
    }

    void panelShowsNewsFromA200Answer() {
        TempPrefs prefs;
        TinyServer server(200, "<p>Release 2 is out</p>");
        QWidget window;
        NewsPanel panel(server.root(), &window);
        QSignalSpy settled(&panel, &NewsPanel::settled);
        // Nothing is asked while the window has never been shown.
        QVERIFY(!settled.wait(300));
        QVERIFY(server.request.isEmpty());
        window.show();
        QVERIFY(panel.isHidden());
        QVERIFY(settled.wait(5000));
        QCOMPARE(settled.first().first().toBool(), true);
        QVERIFY(!panel.isHidden());
        QVERIFY(panel.shownDocument().contains(QLatin1String("<body><p>Release 2 is out</p></body>")));
        QVERIFY(server.request.startsWith("GET /news/app-news.html?v="));
        QCOMPARE(fake_.lastBase, server.root());

        // Links go to the default browser, web addresses only; the panel keeps its content.
        RecordingLinks links;
        fake_.clickLink(QUrl(QStringLiteral("https://example.org/more")));
        fake_.clickLink(QUrl(QStringLiteral("file:///etc/passwd")));
        fake_.clickLink(QUrl(QStringLiteral("mailto:news@example.org")));
        QCOMPARE(links.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.org/more"))});
        QVERIFY(panel.shownDocument().contains(QLatin1String("Release 2 is out")));
    }

    // The real thing: the web engine is not there until the news arrives, then the module draws
    // the document and a click on its link reaches the default browser.
    void panelShowsNewsThroughTheWebModule() {
        installWebViews(nullptr);
        TempPrefs prefs;
        QVERIFY(!webEngineMapped());
        TinyServer server(200, "<a href=\"https://example.org/more\" "
                               "style=\"display:block;height:80px;background:#ff0000\">&nbsp;</a>"
                               "<h3>Mivo 1.2</h3><p>Notes now take tables.</p>");
        QWidget window;
        NewsPanel panel(server.root(), &window);
        panel.resize(204, 120);
        QSignalSpy settled(&panel, &NewsPanel::settled);
        window.show();
        QVERIFY(settled.wait(5000));
        QCOMPARE(settled.first().first().toBool(), true);
        QVERIFY2(panel.view(), "the web module did not load");
        QVERIFY(webEngineMapped());
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QTRY_VERIFY2_WITH_TIMEOUT(showsRed(panel.view()), "the news document was never drawn", 30000);
        // Drawn in software: showing news loads no GL driver, under X as offscreen.
        QVERIFY(!glDriverMapped());
        panel.grab().save(QCoreApplication::applicationDirPath() +
                          QStringLiteral("/news-through-module.png"));

        RecordingLinks links;
        QWidget *input = panel.view()->focusProxy() ? panel.view()->focusProxy() : panel.view();
        QTest::mouseMove(input, QPoint(40, 30));
        QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(40, 30));
        QTRY_COMPARE_WITH_TIMEOUT(links.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.org/more"))},
                                  10000);
        QTest::qWait(300);
        QVERIFY(showsRed(panel.view()));
    }

    void panelStaysHiddenAfterAnErrorPageOrWithoutAServer() {
        TempPrefs prefs;
        TinyServer server(404, "<h1>Not found</h1>");
        quint16 closedPort;
        {
            QTcpServer s;
            s.listen(QHostAddress::LocalHost);
            closedPort = s.serverPort();
        }
        for (const QUrl &root :
             {server.root(), QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort))}) {
            QWidget window;
            NewsPanel panel(root, &window);
            QSignalSpy settled(&panel, &NewsPanel::settled);
            window.show();
            QVERIFY(settled.wait(5000));
            QCOMPARE(settled.first().first().toBool(), false);
            QVERIFY(!panel.view());
            QVERIFY(panel.isHidden());
        }
    }

private:
    FakeViews fake_;
};

QTEST_MAIN(TestNewsFeed)
#include "tst_newsfeed.moc"
