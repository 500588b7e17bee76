#pragma once
#include "ui/WebModule.h"
#include <QObject>

// The web module's entry: the one object the app gets from it, through the WebViews interface.
class WebViewsPlugin : public QObject, public WebViews {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID MIVO_WEB_VIEWS_IID)
    Q_INTERFACES(WebViews)
public:
    WebViewsPlugin();

    QWidget *makeDocumentView(QWidget *parent, const QString &html, const QUrl &base,
                              std::function<void(const QUrl &)> onLinkClicked) override;
    BrowserPage *makeBrowserPage(QWidget *parent, const QString &userAgent) override;
};
