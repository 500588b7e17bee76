#pragma once
#include <QString>

class QWidget;

// Alerts that several pages show with the same words.

// A file the user asked for could not be written; error says why (from the writer).
void alertExportFailed(QWidget *parent, const QString &error);
// The six-language "Cancel" button title.
QString cancelTitle();
// The six-language "Replace" button title of the questions before an import replaces a store.
QString replaceTitle();
// An import has replaced a store; text says what was loaded.
void alertImportComplete(QWidget *parent, const QString &text);
