#pragma once
#include <QPointer>
#include <QUrl>
#include <QWidget>

class QNetworkAccessManager;

// The sidebar's news: fetched once from the vendor's endpoint when the panel's window is first
// shown (never while the app sits in the tray; never at all without an endpoint), shown only
// when a 2xx answer with a UTF-8 body came, in a view with a transparent background and the
// theme's text colour. Links open in the default browser, never in the panel. Until then (and for
// good after a failure) the panel is hidden and nothing is reported. The view comes from the web
// module (webViews()), so the web engine is loaded only once there is news to show; without the
// module the panel stays hidden too.
class NewsPanel : public QWidget {
    Q_OBJECT
public:
    // Asks the vendor's endpoint (NewsFeed::endpointRoot()) once the window it is in is first shown.
    explicit NewsPanel(QWidget *parent = nullptr);
    // The same against another root; an empty root makes no request (showFragment fills it).
    // The window it waits for is the one parent belongs to when the panel is made.
    NewsPanel(const QUrl &root, QWidget *parent);

    // Shows a fetched fragment wrapped in the news document (main thread). A clicked link goes to
    // the default browser (http and https only), and the panel keeps its content.
    void showFragment(const QString &fragment);
    QWidget *view() const { return view_; }
    QString shownDocument() const { return document_; }

signals:
    // Once per panel: whether news arrived and is shown.
    void settled(bool shown);

protected:
    void resizeEvent(QResizeEvent *e) override;
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    void load();

    QUrl root_;
    QNetworkAccessManager *net_ = nullptr;
    QPointer<QWidget> watched_;
    QWidget *view_ = nullptr;
    QString document_;
};
