#include "notes/HtmlText.h"

#include <QHash>
#include <array>

namespace HtmlText {
namespace {
bool isSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// Elements that begin and end a block of their own.
bool isBlock(QStringView name) {
    static const std::array<QStringView, 27> blocks = {
        u"p",  u"div", u"h1", u"h2",     u"h3",      u"h4",      u"h5",         u"h6",     u"li",
        u"ul", u"ol",  u"dl", u"dt",     u"dd",      u"pre",     u"blockquote", u"table",  u"tr",
        u"td", u"th",  u"hr", u"center", u"section", u"article", u"header",     u"footer", u"address"};
    for (const QStringView b : blocks)
        if (name.compare(b, Qt::CaseInsensitive) == 0) return true;
    return false;
}

// Elements whose content is not shown.
bool isHidden(QStringView name) {
    return name.compare(u"head", Qt::CaseInsensitive) == 0 ||
           name.compare(u"style", Qt::CaseInsensitive) == 0 ||
           name.compare(u"script", Qt::CaseInsensitive) == 0 ||
           name.compare(u"title", Qt::CaseInsensitive) == 0;
}

// The character a reference names (&amp; &#65; &#x42;); empty when it names none known.
QString reference(QStringView name) {
    if (name.startsWith(u'#')) {
        bool ok = false;
        const uint code = name.size() > 1 && (name[1] == u'x' || name[1] == u'X')
                              ? name.mid(2).toUInt(&ok, 16)
                              : name.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
        const char32_t c = code;
        return QString::fromUcs4(&c, 1);
    }
    static const QHash<QString, QChar> named = {
        {QStringLiteral("amp"), u'&'},    {QStringLiteral("lt"), u'<'},
        {QStringLiteral("gt"), u'>'},     {QStringLiteral("quot"), u'"'},
        {QStringLiteral("apos"), u'\''},  {QStringLiteral("nbsp"), u' '},
        {QStringLiteral("hellip"), u'…'}, {QStringLiteral("mdash"), u'—'},
        {QStringLiteral("ndash"), u'–'},  {QStringLiteral("lsquo"), u'‘'},
        {QStringLiteral("rsquo"), u'’'},  {QStringLiteral("ldquo"), u'“'},
        {QStringLiteral("rdquo"), u'”'},  {QStringLiteral("laquo"), u'«'},
        {QStringLiteral("raquo"), u'»'},  {QStringLiteral("bull"), u'•'},
        {QStringLiteral("middot"), u'·'}, {QStringLiteral("copy"), u'©'},
        {QStringLiteral("reg"), u'®'},    {QStringLiteral("trade"), u'™'},
        {QStringLiteral("euro"), u'€'},   {QStringLiteral("deg"), u'°'},
        {QStringLiteral("times"), u'×'},  {QStringLiteral("shy"), QChar(0xAD)}};
    const auto it = named.constFind(name.toString());
    return it == named.constEnd() ? QString() : QString(*it);
}
} // namespace

QString plainText(QStringView html, qsizetype atMost) {
    QString out;
    out.reserve(html.size() / 2);
    bool lineStart = true;   // white space here is left out
    bool hasContent = false; // the block holds something: a block boundary breaks the line
    bool pendingBreak = false;
    bool pendingSpace = false;
    int pre = 0;             // depth of preformatted elements
    QStringView hiddenUntil; // the end tag that closes hidden content
    const auto put = [&](QStringView s) {
        if (pendingBreak)
            out += u'\n', pendingBreak = false;
        else if (pendingSpace)
            out += u' ';
        pendingSpace = false;
        out += s;
        lineStart = false;
        hasContent = true;
    };
    qsizetype i = 0;
    const qsizetype n = html.size();
    while (i < n && (atMost < 0 || out.size() <= atMost)) {
        const QChar c = html[i];
        if (c == u'<') {
            if (html.mid(i, 4) == u"<!--") {
                const qsizetype end = html.indexOf(u"-->", i + 4);
                i = end < 0 ? n : end + 3;
                continue;
            }
            // The tag's end, past quoted attribute values.
            qsizetype end = i + 1;
            QChar quote;
            for (; end < n; ++end) {
                const QChar t = html[end];
                if (!quote.isNull()) {
                    if (t == quote) quote = QChar();
                } else if (t == u'"' || t == u'\'') {
                    quote = t;
                } else if (t == u'>') {
                    break;
                }
            }
            const QStringView tag = html.mid(i + 1, end - i - 1);
            i = end + 1;
            const bool closing = tag.startsWith(u'/');
            qsizetype nameEnd = closing ? 1 : 0;
            while (nameEnd < tag.size() && (tag[nameEnd].isLetterOrNumber() || tag[nameEnd] == u'-'))
                ++nameEnd;
            const QStringView name = tag.mid(closing ? 1 : 0, nameEnd - (closing ? 1 : 0));
            if (!hiddenUntil.isEmpty()) {
                if (closing && name.compare(hiddenUntil, Qt::CaseInsensitive) == 0) hiddenUntil = {};
                continue;
            }
            if (!closing && isHidden(name) && !tag.endsWith(u'/')) {
                hiddenUntil = name;
                continue;
            }
            if (name.compare(u"br", Qt::CaseInsensitive) == 0) {
                put(u"\n");
                lineStart = true;
            } else if (isBlock(name)) {
                if (name.compare(u"pre", Qt::CaseInsensitive) == 0)
                    pre = std::max(0, pre + (closing ? -1 : 1));
                if (pendingSpace) out += u' ', pendingSpace = false; // kept at the block's end
                if (hasContent) pendingBreak = true;
                hasContent = false;
                lineStart = true;
            }
            continue;
        }
        if (!hiddenUntil.isEmpty()) {
            ++i;
            continue;
        }
        if (isSpace(c) && !pre) {
            if (!lineStart) pendingSpace = true;
            ++i;
            continue;
        }
        if (c == u'&') {
            qsizetype end = i + 1;
            while (end < n && end - i < 12 && (html[end].isLetterOrNumber() || html[end] == u'#'))
                ++end;
            if (end < n && html[end] == u';') {
                const QString ch = reference(html.mid(i + 1, end - i - 1));
                if (!ch.isEmpty()) {
                    put(ch);
                    i = end + 1;
                    continue;
                }
            }
        }
        if (pre && c == u'\r') {
            ++i;
            continue;
        }
        put(html.mid(i, 1));
        ++i;
    }
    if (pendingSpace) out += u' ';
    return out;
}
} // namespace HtmlText
