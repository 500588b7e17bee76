#include "ui/WebLinks.h"

#include <QDesktopServices>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocument>

namespace {
LinkOpener *g_opener = nullptr;

bool isGlueChar(QChar c) {
    return c.isLetterOrNumber() || c == u'@' || c == u'/' || c == u'.';
}

// Sentence punctuation after an address belongs to the sentence, and a closing bracket only to the
// address when the address opened one.
int trimmedLength(const QString &s) {
    int n = int(s.size());
    while (n > 0) {
        const QChar c = s.at(n - 1);
        if (QStringLiteral(".,;:!?'\"").contains(c)) {
            --n;
            continue;
        }
        if (c == u')' || c == u']' || c == u'}') {
            const QChar open = c == u')' ? u'(' : c == u']' ? u'[' : u'{';
            const QStringView part = QStringView(s).left(n);
            if (part.count(open) < part.count(c)) {
                --n;
                continue;
            }
        }
        break;
    }
    return n;
}
} // namespace

void LinkOpener::install(LinkOpener *opener) {
    g_opener = opener;
}

namespace WebLinks {
bool isOpenable(const QUrl &url) {
    if (!url.isValid()) return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) return !url.host().isEmpty();
    if (scheme == QLatin1String("mailto")) return !url.path().isEmpty();
    return false;
}

std::optional<QUrl> fromLinkValue(const QVariant &value) {
    QUrl url;
    if (value.metaType() == QMetaType::fromType<QUrl>())
        url = value.toUrl();
    else if (value.metaType() == QMetaType::fromType<QString>())
        url = QUrl(value.toString().trimmed(), QUrl::StrictMode);
    else
        return std::nullopt;
    if (!isOpenable(url)) return std::nullopt;
    return url;
}

QList<Match> find(const QString &text) {
    static const QRegularExpression re(
        // A line separator ends an address as a line break does (the pattern's \s does not take it):
        // lines a long note gathers into one paragraph are joined by them.
        QStringLiteral(R"((?:https?://[^\s<>"\x{2028}\x{2029}]+|www\.[A-Za-z0-9-]+(?:\.[A-Za-z0-9-]+)+(?:[/?#][^\s<>"\x{2028}\x{2029}]*)?))"),
        QRegularExpression::CaseInsensitiveOption);
    QList<Match> out;
    auto it = re.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const int start = int(m.capturedStart());
        if (start > 0 && isGlueChar(text.at(start - 1))) continue;
        const QString raw = m.captured().left(trimmedLength(m.captured()));
        const bool bareHost = raw.startsWith(QLatin1String("www."), Qt::CaseInsensitive);
        const QUrl url(bareHost ? QStringLiteral("https://") + raw : raw, QUrl::TolerantMode);
        if (!isOpenable(url)) continue;
        out.append({start, int(raw.size()), url});
    }
    return out;
}

void applyDetected(QTextDocument *doc, const QColor &linkColor) {
    const QString text = doc->toPlainText(); // one character per paragraph break, as positions count
    for (const Match &m : find(text)) {
        QTextCursor c(doc);
        c.setPosition(m.start);
        c.setPosition(m.start + m.length, QTextCursor::KeepAnchor);
        QTextCharFormat f;
        f.setAnchor(true);
        f.setAnchorHref(m.url.toString(QUrl::FullyEncoded));
        f.setForeground(linkColor);
        f.setFontUnderline(true);
        c.mergeCharFormat(f);
    }
}

bool open(const QUrl &url) {
    if (!isOpenable(url)) return false;
    if (g_opener)
        g_opener->openUrl(url);
    else
        QDesktopServices::openUrl(url);
    return true;
}
} // namespace WebLinks
