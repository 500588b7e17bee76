#pragma once
#include "exercises/ExerciseRecord.h"
#include "platform/Document.h"
#include <QObject>

// Every finished exercise run, oldest first, kept as the exerciseHistory document. The runner adds to
// it; statistics reads it. A run added writes the document, re-encoding only the new record. Main
// thread only.
class ExerciseHistory : public QObject {
    Q_OBJECT
public:
    // The process-wide history, created and loaded on first use (at launch).
    static ExerciseHistory &shared();
    // Drops the shared history; the next shared() loads again from the current preferences domain.
    static void resetForTests();

    // Starts loading the document (a large one decodes off the window's thread; every use waits for
    // it). An unreadable document is kept aside, told once, and the history starts empty.
    explicit ExerciseHistory(QObject *parent = nullptr);

    const std::vector<ExerciseRecord> &records() const { return doc_.records(); }
    const DocumentLoad &loadReport() const { return doc_.report(); }
    bool isLoaded() const { return doc_.isLoaded(); }

    void add(const ExerciseRecord &record);

private:
    RecordDocument<ExerciseRecord, ExerciseHistoryJson::append> doc_;
};
