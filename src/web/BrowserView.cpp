#include "web/BrowserView.h"

#include "web/OwnProfileView.h"
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace {
// The engine has no time-out of its own: a load still running after this is stopped.
constexpr int kLoadTimeoutMs = 60'000;

class Browser : public QObject, public BrowserPage {
public:
    explicit Browser(OwnProfileView *view) : QObject(view), view_(view) {
        timeout_.setSingleShot(true);
        timeout_.setInterval(kLoadTimeoutMs);
        connect(&timeout_, &QTimer::timeout, view_,
                [this] { view_->page()->triggerAction(QWebEnginePage::Stop); });
        connect(view_, &QWebEngineView::loadFinished, &timeout_, &QTimer::stop);
        connect(view_, &QWebEngineView::urlChanged, this, [this](const QUrl &url) {
            if (onUrlCommitted && !url.isEmpty()) onUrlCommitted(url);
        });
    }

    QWidget *widget() override { return view_; }
    void load(const QUrl &url) override {
        view_->load(url);
        timeout_.start();
    }
    void back() override { view_->back(); }
    void forward() override { view_->forward(); }
    void reload() override {
        view_->reload();
        timeout_.start();
    }
    QUrl url() const override { return view_->url(); }

private:
    OwnProfileView *view_;
    QTimer timeout_;
};
} // namespace

BrowserPage *BrowserView::make(QWidget *parent, const QString &userAgent) {
    auto *view = new OwnProfileView(parent);
    view->ownProfile()->setHttpUserAgent(userAgent);
    auto *page = new QWebEnginePage(view->ownProfile(), view);
    page->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    view->adoptPage(page);
    // A child of the view: it lives exactly as long as the widget.
    return new Browser(view);
}
