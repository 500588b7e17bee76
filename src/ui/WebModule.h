#pragma once
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

// A page view for the exercises' browser window, made by the web module. Its widget belongs to the
// parent it was made for; this object lives exactly as long as that widget.
class BrowserPage {
public:
    virtual ~BrowserPage() = default;
    virtual QWidget *widget() = 0;
    // Loads url (default cache policy, 60-second time-out where the engine allows one).
    virtual void load(const QUrl &url) = 0;
    virtual void back() = 0;
    virtual void forward() = 0;
    virtual void reload() = 0;
    virtual QUrl url() const = 0;
    // Called whenever a navigation commits, with the page's address.
    std::function<void(const QUrl &)> onUrlCommitted;
};

// What the web module offers. The main binary never links the web engine: the module is loaded on
// first use and reached only through this interface.
class WebViews {
public:
    virtual ~WebViews() = default;
    // A read-only view of one HTML document laid out against base: JavaScript off, nothing kept on
    // disk, a transparent background. Every navigation but the first load goes to onLinkClicked.
    // (The module's view hands on clicked links and links that ask for a new window; what the
    // document would start by itself, such as a refresh or a frame, is refused.)
    virtual QWidget *makeDocumentView(QWidget *parent, const QString &html, const QUrl &base,
                                      std::function<void(const QUrl &)> onLinkClicked) = 0;
    // A browsing view with its own profile, the given user agent, media that may play without a
    // user gesture.
    virtual BrowserPage *makeBrowserPage(QWidget *parent, const QString &userAgent) = 0;
};

// The loaded module, or nullptr when it cannot be loaded (said once on stderr). Loads it on the
// first call. Main thread only.
WebViews *webViews();
// Tests put a stand-in here (nullptr returns to the module).
void installWebViews(WebViews *views);
// Whether a stand-in is in place (then web views stay in this process).
bool webViewsInstalled();

// How the module's entry object is known to the loader (qobject_cast across the library boundary).
#define MIVO_WEB_VIEWS_IID "com.mivo.WebViews/1"
Q_DECLARE_INTERFACE(WebViews, MIVO_WEB_VIEWS_IID)
