#include "exercises/BrowserAddress.h"

namespace BrowserAddress {
std::optional<QUrl> fromLink(const QString &text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return std::nullopt;
    return url;
}

QString completed(const QString &text) {
    return text.startsWith(QLatin1String("http")) ? text : QStringLiteral("https://") + text;
}

std::optional<QUrl> fromTyped(const QString &text) {
    qsizetype b = 0, e = text.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (b < e && blank(text[b]))
        ++b;
    while (e > b && blank(text[e - 1]))
        --e;
    const QString t = text.mid(b, e - b);
    if (t.isEmpty()) return std::nullopt;
    return fromLink(completed(t));
}
} // namespace BrowserAddress
