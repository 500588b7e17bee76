#include "ui/NewsFeed.h"

#include <QStringDecoder>
#include <QUrlQuery>

#ifndef MIVO_NEWS_URL
#define MIVO_NEWS_URL ""
#endif

namespace NewsFeed {
QUrl endpointRoot() {
    return QUrl(QStringLiteral(MIVO_NEWS_URL));
}

qint64 hourStamp(const QDateTime &now) {
    return now.toSecsSinceEpoch() / 3600;
}

QUrl address(const QUrl &root, const QDateTime &now) {
    QUrl u = root;
    u.setPath(QString::fromLatin1(kPath));
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("v"), QString::number(hourStamp(now)));
    u.setQuery(q);
    return u;
}

QNetworkRequest request(const QUrl &root, const QDateTime &now) {
    QNetworkRequest r(address(root, now));
    r.setRawHeader("Cache-Control", "no-cache");
    r.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    r.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    r.setTransferTimeout(kTimeoutMs);
    return r;
}

std::optional<QString> acceptedBody(int httpStatus, const QByteArray &body) {
    if (httpStatus < 200 || httpStatus > 299 || body.isEmpty()) return std::nullopt;
    QStringDecoder dec(QStringDecoder::Utf8);
    QString text = dec(body);
    if (dec.hasError()) return std::nullopt;
    return text;
}

QString textColor(AppTheme theme) {
    return theme == AppTheme::dark ? QStringLiteral("#eeeeee") : QStringLiteral("#111111");
}

QString document(const QString &fragment, AppTheme theme) {
    QString d;
    d += QStringLiteral("<html><head><meta charset=\"utf-8\">\n<style>\n");
    d += QStringLiteral("  html,body{background:transparent !important;}\n");
    d += QStringLiteral("  body{font-family:system-ui,sans-serif;font-size:11px;\n       color:");
    d += textColor(theme);
    d += QStringLiteral(";margin:4px 8px;line-height:1.5;word-break:break-word;}\n");
    d += QStringLiteral("  a{color:#3a9eff;text-decoration:none;}\n");
    d += QStringLiteral("  h1,h2,h3{font-size:12px;margin:0 0 4px;}\n");
    d += QStringLiteral("  p{margin:0 0 6px;}\n");
    d += QStringLiteral("</style></head><body>");
    d += fragment;
    d += QStringLiteral("</body></html>");
    return d;
}
} // namespace NewsFeed
