#pragma once
#include "ui/Theme.h"
#include <QByteArray>
#include <QDateTime>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <optional>

// The sidebar's news: what is asked of the vendor's web endpoint and the document the answer is
// shown in. Plain functions, so they are tested without a network or a web view.
namespace NewsFeed {
// The vendor's web endpoint, chosen when the app is built (MIVO_NEWS_URL). The product has no public
// host yet, so it is empty by default: then no request is made at all (no lookup, no TLS loaded)
// and the panel stays empty.
QUrl endpointRoot();
inline constexpr char kPath[] = "/news/app-news.html";
inline constexpr int kTimeoutMs = 8000;

// Whole hours since 1970-01-01 00:00 UTC: the same within a clock hour, so caches in between see
// at most one new address an hour.
qint64 hourStamp(const QDateTime &now);
QUrl address(const QUrl &root, const QDateTime &now);
// GET with "Cache-Control: no-cache", no cached answer used or stored, 8-second time-out.
QNetworkRequest request(const QUrl &root, const QDateTime &now);

// The body to show, or none: only a 2xx answer whose body is non-empty UTF-8 is news (an error
// page from the server or a proxy is not).
std::optional<QString> acceptedBody(int httpStatus, const QByteArray &body);

// "#eeeeee" in the dark theme, "#111111" in the others.
QString textColor(AppTheme theme);
// The fixed document around the fetched fragment, with a transparent background.
QString document(const QString &fragment, AppTheme theme);
} // namespace NewsFeed
