#include "finance/FinanceFile.h"

#include "platform/PdfText.h"
#include "platform/RecordJson.h"
#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSet>
#include <QTextDocument>

namespace FinanceFile {
namespace {
constexpr double kMarginX = 40, kMarginY = 48;
constexpr double kFontPt = 11, kLineGap = 3;
// One device unit is one point, so the page's sizes are the design's numbers.
constexpr int kPointsPerInch = 72;
} // namespace

WriteResult writePdf(const QString &path, const QString &text, const QString &title) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {false, f.errorString()};
    {
        QPdfWriter pdf(&f);
        pdf.setResolution(kPointsPerInch);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(kMarginX, kMarginY, kMarginX, kMarginY), QPageLayout::Point);
        pdf.setTitle(title);

        QTextDocument doc;
        doc.documentLayout()->setPaintDevice(&pdf);
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
        font.setPointSizeF(kFontPt);
        PdfText::fill(doc, text, font, kLineGap);
        doc.setPageSize(QSizeF(pdf.width(), pdf.height()));
        doc.print(&pdf);
    }
    return AtomicFile::commit(f);
}

ReadResult readBytes(const QByteArray &bytes) {
    if (auto tooLong = LongText::find(bytes)) return {false, {}, tooLong};
    auto entries = decodeEntries(bytes);
    if (!entries) return {};
    QSet<QString> seen;
    seen.reserve(qsizetype(entries->size()));
    for (FinEntry &e : *entries) {
        if (!isValidAmount(e.amount)) return {};
        if (seen.contains(e.id)) e.id = RecordJson::newId();
        seen.insert(e.id);
    }
    return {true, std::move(*entries), {}};
}

ReadResult read(const QString &path, qint64 maxBytes) {
    const ImportFile::Result file = ImportFile::read(path, maxBytes);
    if (file.error != ImportFile::Error::none) return {false, {}, {}, file.error};
    return readBytes(file.bytes);
}
} // namespace FinanceFile
