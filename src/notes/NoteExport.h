#pragma once
#include "notes/Note.h"
#include "platform/Deadline.h"
#include <QFont>
#include <QImage>
#include <QString>
#include <functional>
#include <optional>

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
    bool stopped = false; // asked to stop before it was written: no file, nothing to tell
};
// Looked at between the steps of an export, from its own thread: true stops it there, and nothing is
// written then. Empty: never stopped.
using Stopped = std::function<bool()>;

// NoteStore::txtExport or csvExport as UTF-8.
WriteResult writeText(const QString &path, const Note &note, Format f, const Stopped &stopped = {});
// A4, margins 48 left and right, 52 top and bottom, text width 499 points; no link line, no time.
// Any thread: it lays out a document of its own. A stop is seen between blocks of the layout and
// between pages.
WriteResult writePdf(const QString &path, const Note &note, const Stopped &stopped = {});
WriteResult write(const QString &path, const Note &note, Format f, const Stopped &stopped = {});

// write on a worker, for a note of any length and every format: the window never waits for the
// text, the layout or the disk. The worker has a copy of the note of its own. done runs on the
// window's thread with the result, unless receiver is gone by then or the export was stopped.
void writeLater(const QString &path, const Note &note, Format f, QObject *receiver,
                std::function<void(const WriteResult &)> done);
// The same for a note read on the worker (NoteStore::readLater): a large note is not decoded on the
// window's thread. A read that gives nothing fails the export, with nothing written.
void writeLater(const QString &path, std::function<std::optional<Note>()> read, Format f, QObject *receiver,
                std::function<void(const WriteResult &)> done);
// Asks every export handed to a worker to stop (quitting): one not yet written leaves no file, not
// even a part of one, and tells nothing. One already written stays, and one being committed is
// waited for and stays. How many will leave no file.
int stopAll();
// Waits up to waitMs for every export handed to a worker to end; false when some still run. A
// layout must not run on once the application is gone: it would find no fonts.
bool settle(int waitMs);
bool settle(const Deadline &deadline);
// The PDF's laid-out document (fonts in pixel sizes at 72 dpi, so one pixel is one point).
void buildPdfDocument(const Note &note, QTextDocument &doc);
// The picture a colour emoji (a cluster) is drawn as in a PDF, at four times its size in font, in
// colour; size gets its size on the page.
QImage glyphPicture(const QString &cluster, QFont font, const QColor &pen, QSizeF *size = nullptr);
// Runs hook on an export's worker when its file is written, just before it is committed.
void setBeforeCommitHookForTests(std::function<void()> hook);

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
