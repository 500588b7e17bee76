#include "web/DocumentView.h"

#include "web/OwnProfileView.h"
#include <QWebEnginePage>
#include <QWebEngineSettings>

namespace {
using LinkHandler = std::function<void(const QUrl &)>;

class DocumentPage : public QWebEnginePage {
public:
    DocumentPage(QWebEngineProfile *profile, QObject *parent, LinkHandler onLink, bool catcher = false)
        : QWebEnginePage(profile, parent), onLink_(std::move(onLink)), catcher_(catcher) {}

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override {
        if (catcher_) {
            // Stands in for the window a link asked for: hand its address on, then go.
            if (onLink_) onLink_(url);
            deleteLater();
            return false;
        }
        if (!loaded_ && isMainFrame) {
            loaded_ = true;
            return true;
        }
        if (type == NavigationTypeLinkClicked && onLink_) onLink_(url);
        return false;
    }

    QWebEnginePage *createWindow(WebWindowType) override {
        return new DocumentPage(profile(), this, onLink_, true);
    }

private:
    LinkHandler onLink_;
    bool catcher_;
    bool loaded_ = false;
};
} // namespace

QWidget *DocumentView::make(QWidget *parent, const QString &html, const QUrl &base,
                            LinkHandler onLinkClicked) {
    auto *view = new OwnProfileView(parent);
    auto *page = new DocumentPage(view->ownProfile(), view, std::move(onLinkClicked));
    QWebEngineSettings *s = page->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    page->setBackgroundColor(Qt::transparent);
    view->adoptPage(page);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->setHtml(html, base);
    return view;
}
