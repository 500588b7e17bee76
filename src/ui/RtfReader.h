#pragma once
#include <QByteArray>

class QTextDocument;

// Reads the rich text that note cells keep as RTF: paragraphs, bold, italic, underline, font
// sizes (half-points, taken as design points), \uN characters, Windows-1252 bytes and HYPERLINK
// fields (kept as anchors). Font tables, colours, pictures and other destinations are skipped.
// Returns false, leaving the document empty, for data that is not RTF or nests too deeply.
namespace RtfReader {
bool read(const QByteArray &rtf, QTextDocument *doc);
}
