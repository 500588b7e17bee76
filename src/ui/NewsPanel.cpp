#include "ui/NewsPanel.h"

#include "platform/Clock.h"
#include "ui/NewsFeed.h"
#include "ui/Theme.h"
#include "ui/WebLinks.h"
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainterPath>
#include <QRegion>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {
NewsPanel::ViewFactory g_factory;
constexpr int kCornerRadius = 10;

bool isWebAddress(const QUrl &url) {
    const QString s = url.scheme().toLower();
    return (s == QLatin1String("http") || s == QLatin1String("https")) && WebLinks::isOpenable(url);
}

// Holds the panel's document: the first navigation is our own load; every later one (a clicked
// link, a form, a redirect the fragment asks for) goes to the default browser, if it is a web
// address at all, and the panel keeps its content.
class NewsPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override {
        if (catcher_) {
            if (isWebAddress(url)) WebLinks::open(url);
            deleteLater();
            return false;
        }
        if (!loaded_ && isMainFrame) {
            loaded_ = true;
            return true;
        }
        if (type == NavigationTypeLinkClicked && isWebAddress(url)) WebLinks::open(url);
        return false;
    }
    // A link that asks for a new window: catch its address and hand it on, without a window.
    QWebEnginePage *createWindow(WebWindowType) override {
        auto *catcher = new NewsPage(profile(), this);
        catcher->catcher_ = true;
        return catcher;
    }

private:
    bool loaded_ = false;
    bool catcher_ = false;
};
} // namespace

void NewsPanel::setViewFactory(ViewFactory f) {
    g_factory = std::move(f);
}

QWidget *NewsPanel::makeWebView(QWidget *parent, const QString &html, const QUrl &base) {
    auto *view = new QWebEngineView(parent);
    auto *profile = new QWebEngineProfile(view); // off the record: no cache or cookies on disk
    auto *page = new NewsPage(profile, view);
    QWebEngineSettings *s = page->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    page->setBackgroundColor(Qt::transparent);
    view->setPage(page);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->setHtml(html, base);
    return view;
}

NewsPanel::NewsPanel(QWidget *parent) : NewsPanel(NewsFeed::endpointRoot(), parent) {}

NewsPanel::NewsPanel(const QUrl &root, QWidget *parent) : QWidget(parent), root_(root) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    hide();
    if (!root_.isEmpty()) load();
}

void NewsPanel::load() {
    net_ = new QNetworkAccessManager(this);
    QNetworkReply *reply = net_->get(NewsFeed::request(root_, Clock::get().now()));
    // The reply belongs to the panel's manager: a panel that is gone takes its request with it.
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const auto body = reply->error() == QNetworkReply::NoError || status != 0
                              ? NewsFeed::acceptedBody(status, reply->readAll())
                              : std::nullopt;
        if (body)
            showFragment(*body);
        else
            emit settled(false);
    });
}

void NewsPanel::showFragment(const QString &fragment) {
    if (view_) return; // loaded once per run
    document_ = NewsFeed::document(fragment, VF::theme());
    view_ = g_factory ? g_factory(this, document_, root_) : makeWebView(this, document_, root_);
    layout()->addWidget(view_);
    show();
    emit settled(true);
}

void NewsPanel::resizeEvent(QResizeEvent *e) {
    QWidget::resizeEvent(e);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}
