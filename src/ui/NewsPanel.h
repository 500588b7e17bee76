#pragma once
#include <QUrl>
#include <QWidget>
#include <functional>

class QNetworkAccessManager;

// The sidebar's news: fetched once from the vendor's endpoint when the panel is made, shown only
// when a 2xx answer with a UTF-8 body came, in a view with a transparent background and the
// theme's text colour. Links open in the default browser, never in the panel. Until then (and for
// good after a failure) the panel is hidden and nothing is reported.
class NewsPanel : public QWidget {
    Q_OBJECT
public:
    // Makes the view that shows a document (a web view in the app), as a child of parent, with
    // the document already loaded against base. Tests put a plain widget here: the web engine is
    // never started in unit tests, and in the app only once there is news to show.
    using ViewFactory = std::function<QWidget *(QWidget *parent, const QString &html, const QUrl &base)>;
    static void setViewFactory(ViewFactory f); // empty: the web view
    // The web view the app uses: JavaScript off, nothing kept on disk, every navigation but the
    // first load handed to the default browser (http and https only).
    static QWidget *makeWebView(QWidget *parent, const QString &html, const QUrl &base);

    // Starts the request to the vendor's endpoint at once.
    explicit NewsPanel(QWidget *parent = nullptr);
    // The same against another root; an empty root makes no request (showFragment fills it).
    NewsPanel(const QUrl &root, QWidget *parent);

    // Shows a fetched fragment wrapped in the news document (main thread).
    void showFragment(const QString &fragment);
    QWidget *view() const { return view_; }
    QString shownDocument() const { return document_; }

signals:
    // Once per panel: whether news arrived and is shown.
    void settled(bool shown);

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void load();

    QUrl root_;
    QNetworkAccessManager *net_ = nullptr;
    QWidget *view_ = nullptr;
    QString document_;
};
