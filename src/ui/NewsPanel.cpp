#include "ui/NewsPanel.h"

#include "platform/Clock.h"
#include "ui/NewsFeed.h"
#include "ui/Theme.h"
#include "ui/WebLinks.h"
#include "ui/WebModule.h"
#include <QEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainterPath>
#include <QRegion>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kCornerRadius = 10;

void openWebAddress(const QUrl &url) {
    const QString s = url.scheme().toLower();
    if (s == QLatin1String("http") || s == QLatin1String("https")) WebLinks::open(url);
}
} // namespace

NewsPanel::NewsPanel(QWidget *parent) : NewsPanel(NewsFeed::endpointRoot(), parent) {}

NewsPanel::NewsPanel(const QUrl &root, QWidget *parent) : QWidget(parent), root_(root) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    hide();
    if (root_.isEmpty()) return;
    // Nobody sees the panel before its window is shown: the request (which loads the TLS stack and
    // looks up the host) waits for that, so a launch into the tray asks no server anything.
    watched_ = window();
    watched_->installEventFilter(this);
}

bool NewsPanel::eventFilter(QObject *o, QEvent *e) {
    if (o == watched_ && e->type() == QEvent::Show) {
        watched_->removeEventFilter(this);
        // After the window has been drawn: the first show must not wait for the network.
        QTimer::singleShot(0, this, &NewsPanel::load);
    }
    return QWidget::eventFilter(o, e);
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
    WebViews *views = webViews();
    if (!views) {
        emit settled(false);
        return;
    }
    document_ = NewsFeed::document(fragment, VF::theme());
    view_ = views->makeDocumentView(this, document_, root_, openWebAddress);
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
