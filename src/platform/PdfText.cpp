#include "platform/PdfText.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QTextBlockFormat>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

namespace {
bool isColourEmoji(const QString &cluster, const QRawFont &mono) {
    for (const uint cp : cluster.toUcs4()) {
        const bool emojiRange = (cp >= 0x1F000 && cp <= 0x1FAFF) || (cp >= 0x2300 && cp <= 0x23FF) ||
                                (cp >= 0x2600 && cp <= 0x27BF) || (cp >= 0x2B00 && cp <= 0x2BFF);
        if (emojiRange && !mono.supportsCharacter(cp)) return true;
    }
    return false;
}

QImage emojiPicture(const QString &cluster, const QFont &font, QSizeF *size) {
    constexpr qreal kScale = 4; // drawn finer than the page so it prints sharply
    const QFontMetricsF fm(font);
    *size = QSizeF(std::max(1.0, fm.horizontalAdvance(cluster)), fm.ascent() + fm.descent());
    QImage img((*size * kScale).toSize(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    img.setDevicePixelRatio(kScale);
    QPainter p(&img);
    p.setFont(font);
    p.drawText(QRectF(QPointF(0, 0), *size), Qt::AlignLeft | Qt::AlignVCenter, cluster);
    return img;
}
} // namespace

namespace PdfText {
void fill(QTextDocument &doc, const QString &text, const QFont &font, double lineGap) {
    doc.setDefaultFont(font);
    doc.setDocumentMargin(0);
    QTextCharFormat cf;
    cf.setForeground(Qt::black);
    cf.setFont(font);
    QTextBlockFormat bf;
    bf.setLineHeight(lineGap, QTextBlockFormat::LineDistanceHeight);
    QTextCursor c(&doc);
    c.setBlockFormat(bf);
    c.setCharFormat(cf);
    // The monospaced face alone, without the fallbacks a QFontMetrics would consult.
    const QRawFont mono = QRawFont::fromFont(font);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    QString run;
    int pictures = 0;
    auto flush = [&] {
        if (!run.isEmpty()) c.insertText(run, cf);
        run.clear();
    };
    qsizetype from = 0;
    while (graphemes.toNextBoundary() != -1) {
        const qsizetype to = graphemes.position();
        const QString cluster = text.mid(from, to - from);
        from = to;
        if (cluster == QLatin1String("\n")) {
            flush();
            c.insertBlock(bf, cf);
        } else if (isColourEmoji(cluster, mono)) {
            flush();
            QSizeF size;
            const QImage img = emojiPicture(cluster, font, &size);
            const QString name = QStringLiteral("emoji:%1").arg(++pictures);
            doc.addResource(QTextDocument::ImageResource, QUrl(name), img);
            QTextImageFormat f;
            f.setName(name);
            f.setWidth(size.width());
            f.setHeight(size.height());
            f.setVerticalAlignment(QTextCharFormat::AlignBaseline);
            c.insertImage(f);
        } else {
            run += cluster;
        }
    }
    flush();
}
} // namespace PdfText
