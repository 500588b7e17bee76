#pragma once
#include <QString>

class QWidget;

// Alerts that several pages show with the same words.

// A file the user asked for could not be written; error says why (from the writer).
void alertExportFailed(QWidget *parent, const QString &error);
// The six-language "Cancel" button title.
QString cancelTitle();
