#pragma once
#include "notes/Note.h"
#include <QString>
#include <functional>

class QObject;
class QTextDocument;

// Writing one note to a file: text, CSV or an A4 PDF. Every write is atomic (QSaveFile); a failure
// comes back with the reason, for the shared "Export failed" alert.
namespace NoteExport {
enum class Format { txt, csv, pdf };

// The title with "/" and ":" made "-", or "note" when the title is empty, plus ".txt", ".csv" or ".pdf".
QString proposedName(const Note &note, Format f);

struct WriteResult {
    bool ok = false;
    QString error;
};
// NoteStore::txtExport or csvExport as UTF-8.
WriteResult writeText(const QString &path, const Note &note, Format f);
// A4, margins 48 left and right, 52 top and bottom, text width 499 points; no link line, no time.
// Any thread: it lays out a document of its own.
WriteResult writePdf(const QString &path, const Note &note);
// writePdf on a worker, for a note of any length: the window never waits for the layout or the disk.
// done runs on the window's thread with the result, unless receiver is gone by then.
void writePdfLater(const QString &path, const Note &note, QObject *receiver,
                   std::function<void(const WriteResult &)> done);
// Waits up to waitMs for every PDF handed to a worker to be written; false when some are still
// being written. Runs by itself when the application is about to quit: a layout still running once
// the application is gone would find no fonts, and the user asked for the file.
bool settlePdfs(int waitMs);
// The PDF's laid-out document (fonts in pixel sizes at 72 dpi, so one pixel is one point).
void buildPdfDocument(const Note &note, QTextDocument &doc);

inline constexpr double kPageWidth = 595, kPageHeight = 842;
inline constexpr double kMarginX = 48, kMarginY = 52;
inline constexpr double kTextWidth = kPageWidth - 2 * kMarginX; // 499

// Texts of the export flow.
QString formatAlertTitle(); // "Export format"
QString noSelectionText();  // "No note selected"
inline QString txtButton() {
    return QStringLiteral("TXT");
}
inline QString csvButton() {
    return QStringLiteral("CSV");
}
inline QString pdfButton() {
    return QStringLiteral("PDF");
}
} // namespace NoteExport
