#pragma once
#include <QFont>
#include <QString>

class QTextDocument;

// The text of a PDF report laid into a document: black, in the given (monospaced) font, with lineGap
// points between lines. Colour emoji are bitmaps that PDF readers do not draw from an embedded font:
// such clusters go in as small pictures of themselves, so the report keeps every glyph.
namespace PdfText {
void fill(QTextDocument &doc, const QString &text, const QFont &font, double lineGap);
} // namespace PdfText
