#pragma once
#include "exercises/ExerciseHosts.h"
#include <QPointer>

class YouTubeBrowserWindow;
class QLabel;
class QPushButton;
class QWidget;

// A minimal runner kept for tests of the page's reporting: a small window that shows the
// current exercise and step and moves on with its Next button (or when a step's browser window
// finishes). It reports every finished exercise through onExerciseComplete and closes after the last.
class StandInRunner : public ExerciseRunner {
    Q_OBJECT
public:
    StandInRunner(const std::vector<Exercise> &exercises, qint64 startStep, QWidget *parentWindow);
    ~StandInRunner() override;

    void showAndRaise() override;
    void close() override;
    // Moves to the next step, finishing the exercise after its last step.
    void next();

    QWidget *window() const { return window_; }
    qsizetype exerciseIndex() const { return exIdx_; }
    qint64 stepIndex() const { return step_; }

private:
    void showStep();

    std::vector<Exercise> run_;
    qsizetype exIdx_ = 0;
    qint64 step_ = 0;
    QPointer<QWidget> window_;
    QLabel *title_ = nullptr;
    QLabel *stepLbl_ = nullptr;
    QPushButton *nextBtn_ = nullptr;
    QPointer<YouTubeBrowserWindow> browser_;
};

class StandInRunnerHost : public ExerciseRunnerHost {
public:
    ExerciseRunner *open(const std::vector<Exercise> &exercises, qint64 startStep,
                         std::optional<qint64> startRemaining, QWidget *parentWindow) override;
};

class StandInEditorHost : public ExerciseEditorHost {
public:
    void show(const std::optional<Exercise> &, QWidget *, Completion completion) override;
};
