#pragma once
#include "pomodoro/Task.h"
#include "pomodoro/TaskListFile.h"
#include <QByteArray>
#include <QString>
#include <vector>

// The board's report files. Text goes out as UTF-8; every file is written through TaskListFile::write
// (atomic: a failed write leaves an existing file as it was).
namespace BoardFiles {
inline constexpr char kCsvName[] = "tasks.csv";
inline constexpr char kTxtName[] = "tasks.txt";
inline constexpr char kPdfName[] = "tasks.pdf";
inline constexpr char kJsonName[] = "tasks.json";

// Page geometry of the PDF report, in points: A4 with margins 40 left and right, 48 top and bottom.
inline constexpr double kPageW = 595, kPageH = 842, kMarginX = 40, kMarginY = 48;
inline constexpr double kFontPt = 11, kLineSpacing = 3;

// The text as a paginated A4 PDF: monospaced 11 pt, black, 3 points between lines, never scaled by
// the interface font scale. Empty bytes when rendering failed.
QByteArray renderPdf(const QString &text);
// Number of pages of the rendered text (for tests and the export's own check).
int pdfPageCount(const QString &text);

// The import file: the task list as TaskListFile reads it, with later duplicate ids renewed.
struct Import {
    bool ok = false;
    std::vector<Task> tasks;
    TaskListFile::ReadError error = TaskListFile::ReadError::none;
};
// Call it on a worker (see ImportFile).
Import readImport(const QString &path);
} // namespace BoardFiles
