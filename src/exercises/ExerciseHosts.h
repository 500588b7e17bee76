#pragma once
#include "exercises/Exercise.h"
#include <QObject>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

// The exercises page opens the runner and the editor only through these two seams. With nothing
// installed the real runner panel (ExerciseRunnerPanel) and editor (ExerciseEditorController) serve;
// tests install recorders of their own.

// One open runner panel, playing a run of exercises step by step.
class ExerciseRunner : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Called each time one exercise of the run has finished: before moving on to the next queued
    // exercise and also after the last one. Set by the page after open().
    std::function<void()> onExerciseComplete;
    // Makes the panel the key window and brings it to the front.
    virtual void showAndRaise() = 0;
    // Closes the panel's browser window (stopping it), stops the panel's timers and closes the panel.
    // The runner deletes itself later; holders keep a QPointer.
    virtual void close() = 0;
};

class ExerciseRunnerHost {
public:
    virtual ~ExerciseRunnerHost() = default;
    // Creates a runner on a non-empty run: the first exercise starts at step
    // min(startStep, its step count - 1, at least 0); startRemaining of 1 or more continues that
    // step with that many seconds left, none or 0 runs it at full length; the others follow in
    // order. The panel is centred and, when parentWindow is given, kept above it; it is not yet
    // brought to the front (callers call showAndRaise()).
    virtual ExerciseRunner *open(const std::vector<Exercise> &exercises, qint64 startStep,
                                 std::optional<qint64> startRemaining, QWidget *parentWindow) = 0;

    static ExerciseRunnerHost &get();
    static void install(ExerciseRunnerHost *host); // takes no ownership; nullptr returns to the real one
};

class ExerciseEditorHost {
public:
    // Receives the saved exercise, or nothing when the editor was cancelled.
    using Completion = std::function<void(std::optional<Exercise>)>;
    virtual ~ExerciseEditorHost() = default;
    // Opens the editor on a copy of exercise (none: a new one), above parentWindow when given,
    // closing an editor that is open. The editor never writes the store: the completion does.
    virtual void show(const std::optional<Exercise> &exercise, QWidget *parentWindow,
                      Completion completion) = 0;

    static ExerciseEditorHost &get();
    static void install(ExerciseEditorHost *host); // takes no ownership; nullptr returns to the real one
};
