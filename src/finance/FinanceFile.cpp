#include "finance/FinanceFile.h"

#include "platform/RecordJson.h"
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFontDatabase>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSet>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace FinanceFile {
namespace {
constexpr double kMarginX = 40, kMarginY = 48;
constexpr double kFontPt = 11, kLineGap = 3;
// One device unit is one point, so the page's sizes are the design's numbers.
constexpr int kPointsPerInch = 72;

WriteResult commitOrCancel(QSaveFile &f) {
    if (!f.flush()) {
        const QString err = f.errorString();
        f.cancelWriting();
        return {false, err};
    }
    if (!f.commit()) return {false, f.errorString()};
    return {true, {}};
}
} // namespace

WriteResult write(const QString &path, const QByteArray &bytes) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {false, f.errorString()};
    if (f.write(bytes) != bytes.size()) {
        const QString err = f.errorString();
        f.cancelWriting();
        return {false, err};
    }
    return commitOrCancel(f);
}

WriteResult writePdf(const QString &path, const QString &text) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {false, f.errorString()};
    {
        QPdfWriter pdf(&f);
        pdf.setResolution(kPointsPerInch);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(kMarginX, kMarginY, kMarginX, kMarginY), QPageLayout::Point);
        pdf.setTitle(QStringLiteral("Mivo — Finance Report"));

        QTextDocument doc;
        doc.documentLayout()->setPaintDevice(&pdf);
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
        font.setPointSizeF(kFontPt);
        doc.setDefaultFont(font);
        doc.setDocumentMargin(0);
        doc.setPlainText(text);
        QTextCursor all(&doc);
        all.select(QTextCursor::Document);
        QTextBlockFormat block;
        block.setLineHeight(kLineGap, QTextBlockFormat::LineDistanceHeight);
        all.mergeBlockFormat(block);
        QTextCharFormat black;
        black.setForeground(Qt::black);
        all.mergeCharFormat(black);
        doc.setPageSize(QSizeF(pdf.width(), pdf.height()));
        doc.print(&pdf);
    }
    if (f.error() != QFileDevice::NoError) {
        const QString err = f.errorString();
        f.cancelWriting();
        return {false, err};
    }
    return commitOrCancel(f);
}

ReadResult readBytes(const QByteArray &bytes) {
    auto entries = decodeEntries(bytes);
    if (!entries) return {};
    QSet<QString> seen;
    seen.reserve(qsizetype(entries->size()));
    for (FinEntry &e : *entries) {
        if (!isValidAmount(e.amount)) return {};
        if (seen.contains(e.id)) e.id = RecordJson::newId();
        seen.insert(e.id);
    }
    return {true, std::move(*entries)};
}

ReadResult read(const QString &path, qint64 maxBytes) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    if (f.size() > maxBytes) return {};
    const QByteArray bytes = f.read(maxBytes + 1);
    if (f.error() != QFileDevice::NoError || bytes.size() > maxBytes) return {};
    return readBytes(bytes);
}
} // namespace FinanceFile
