#pragma once
#include "exercises/ExerciseHosts.h"
#include "exercises/BrowserWindowHost.h"
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <deque>
#include <functional>

class QGraphicsOpacityEffect;
class QNetworkAccessManager;
class QWidget;
class RunnerContentView;
class Ticker;

// The panel that plays an exercise, or a queue of them, step by step. Each step is timed from the
// clock seam (the time shown is derived from the step's start, never counted in ticks), shown with
// a fade, and ends with "Ping" and a 0.6 s gap; a step with a browser window waits for it. Between
// exercises an overlay counts down three seconds; after the last one the final overlay congratulates
// with "Glass" and the run is recorded in the history.
//
// Every delayed piece of work (the step-end advance, the fade's fill-in, a picture arriving from
// the network) carries the step generation it was made for and does nothing once another step is
// current or the panel has closed.
class ExerciseRunnerPanel : public ExerciseRunner {
    Q_OBJECT
public:
    ExerciseRunnerPanel(const std::vector<Exercise> &exercises, qint64 startStep, std::optional<qint64> startRemaining,
                        QWidget *parentWindow = nullptr);
    ~ExerciseRunnerPanel() override;

    void showAndRaise() override;
    void close() override;

    // The three buttons' actions.
    void togglePause();
    void skipStep();
    void doClose();

    QWidget *window() const { return window_; }
    RunnerContentView *content() const { return cv_; }
    const Exercise &exercise() const { return exercise_; }
    qsizetype queued() const { return qsizetype(queue_.size()); }
    qint64 currentStep() const { return currentStep_; }
    qint64 remaining() const { return remaining_; }
    bool isPaused() const { return paused_; }
    bool isClosed() const { return closed_; }
    bool tickerRunning() const;
    QWidget *overlay() const { return overlay_; }
    bool finalOverlayShown() const { return overlay_ && finished_; }
    QLabel *countdownLabel() const { return countdownLbl_; }
    BrowserWindowHost *browser() const { return browser_; }
    QColor accentColor() const { return accent_; }
    // True while the step's texts are faded out and its visual not yet chosen.
    bool fillPending() const { return fadeStage_ == 1; }

protected:
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    bool hasValidStep() const;
    void goToStep(qint64 i);
    void startTicker();
    void smoothTick();
    void updateTimerUI();
    void applyAccent(const QColor &c);
    void showComplete();
    void fillStep(quint64 gen);
    void chooseVisual();
    void openURLBrowser(const QString &urlString, qint64 durationSecs);
    void requestImage(const QString &address, quint64 gen);
    void showDecoded(std::function<QImage(QSize)> decode, quint64 gen);
    void dropBrowser();
    void frame();
    static void setOpacity(QWidget *w, double opacity);
    void setFadeOpacity(double opacity);
    void setPauseTitle();
    double elapsed() const;
    void stopTimers();

    Exercise exercise_;
    std::deque<Exercise> queue_;
    QPointer<BrowserWindowHost> browser_;
    qint64 currentStep_ = 0;
    qint64 remaining_ = 0;
    bool paused_ = false;
    bool closed_ = false;
    bool finished_ = false;
    QColor accent_;
    qint64 stepStartMs_ = 0;
    quint64 gen_ = 0; // the step generation; every step change and the close move it on

    QPointer<QWidget> window_;
    RunnerContentView *cv_ = nullptr;
    Ticker *ticker_ = nullptr;     // the step clock, 30 per second
    Ticker *gap_ = nullptr;        // the 0.6 s step-end gap
    quint64 gapGen_ = 0;
    Ticker *countdown_ = nullptr;  // between exercises
    int count_ = 0;
    Ticker *frames_ = nullptr;     // fades and the ring's blink
    int fadeStage_ = 0;            // 0 none, 1 fading out, 2 fading in
    quint64 fadeGen_ = 0;
    qint64 fadeStartMs_ = 0;
    qint64 blinkStartMs_ = -1;
    QPointer<QWidget> overlay_;
    QPointer<QLabel> countdownLbl_;
    QNetworkAccessManager *net_ = nullptr;
};

// The host the exercises page opens runners through.
class RunnerPanelHost : public ExerciseRunnerHost {
public:
    ExerciseRunner *open(const std::vector<Exercise> &exercises, qint64 startStep,
                         std::optional<qint64> startRemaining, QWidget *parentWindow) override;
};
