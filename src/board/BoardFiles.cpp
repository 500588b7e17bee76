#include "board/BoardFiles.h"

#include "board/BoardRules.h"
#include "platform/PdfText.h"
#include "pomodoro/TaskListFile.h"
#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontDatabase>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

namespace BoardFiles {

namespace {
constexpr double kBodyW = kPageW - 2 * kMarginX;
constexpr double kBodyH = kPageH - 2 * kMarginY;

// The report laid out for the page body; the writer works at 72 dots per inch, so one unit is a point.
void fill(QTextDocument &doc, const QString &text) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(kFontPt);
    PdfText::fill(doc, text, font, kLineSpacing);
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
    if (r.error != TaskListFile::ReadError::none) return {false, {}, r.error};
    BoardRules::renewDuplicateIds(r.tasks);
    return {true, std::move(r.tasks), {}};
}

} // namespace BoardFiles
