#include "board/BoardFiles.h"

#include "board/BoardRules.h"
#include "pomodoro/TaskListFile.h"
#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QTextBlockFormat>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

namespace BoardFiles {

namespace {
constexpr double kBodyW = kPageW - 2 * kMarginX;
constexpr double kBodyH = kPageH - 2 * kMarginY;

// Colour emoji are bitmaps that PDF readers do not draw from an embedded font: such clusters go in
// as small pictures of themselves, so the report keeps every glyph.
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

// The report laid out for the page body; the writer works at 72 dots per inch, so one unit is a point.
void fill(QTextDocument &doc, const QString &text) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(kFontPt);
    doc.setDefaultFont(font);
    doc.setDocumentMargin(0);
    QTextCharFormat cf;
    cf.setForeground(Qt::black);
    cf.setFont(font);
    QTextBlockFormat bf;
    bf.setLineHeight(kLineSpacing, QTextBlockFormat::LineDistanceHeight);
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
    doc.setPageSize(QSizeF(kBodyW, kBodyH));
}
} // namespace

QByteArray renderPdf(const QString &text) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    if (!buf.open(QIODevice::WriteOnly)) return {};
    {
        QPdfWriter writer(&buf);
        writer.setResolution(72);
        writer.setPageLayout(QPageLayout(
            QPageSize(QSizeF(kPageW, kPageH), QPageSize::Point, QString(), QPageSize::ExactMatch),
            QPageLayout::Portrait, QMarginsF(kMarginX, kMarginY, kMarginX, kMarginY), QPageLayout::Point));
        writer.setTitle(QStringLiteral("Mivo — Tasks"));
        QTextDocument doc;
        doc.documentLayout()->setPaintDevice(&writer);
        fill(doc, text);
        QPainter p;
        if (!p.begin(&writer)) return {};
        const int pages = doc.pageCount();
        for (int i = 0; i < pages; ++i) {
            if (i) writer.newPage();
            p.save();
            p.translate(0, -i * kBodyH);
            const QRectF clip(0, i * kBodyH, kBodyW, kBodyH);
            QAbstractTextDocumentLayout::PaintContext ctx;
            ctx.clip = clip;
            ctx.palette.setColor(QPalette::Text, Qt::black);
            p.setClipRect(clip);
            doc.documentLayout()->draw(&p, ctx);
            p.restore();
        }
        p.end();
    }
    return bytes;
}

int pdfPageCount(const QString &text) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buf);
    writer.setResolution(72);
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    fill(doc, text);
    return doc.pageCount();
}

Import readImport(const QString &path) {
    TaskListFile::ReadResult r = TaskListFile::read(path);
    if (r.error != TaskListFile::ReadError::none) return {};
    BoardRules::renewDuplicateIds(r.tasks);
    return {true, std::move(r.tasks)};
}

} // namespace BoardFiles
