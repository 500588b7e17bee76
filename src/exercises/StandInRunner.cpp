#include "exercises/StandInRunner.h"

#include "exercises/BrowserAddress.h"
#include "exercises/ExerciseEditor.h"
#include "exercises/ExerciseRunnerPanel.h"
#include "exercises/ExerciseFormat.h"
#include "exercises/YouTubeBrowserWindow.h"
#include "ui/Fonts.h"
#include "ui/Lang.h"
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace {
ExerciseRunnerHost *g_runnerHost = nullptr;
ExerciseEditorHost *g_editorHost = nullptr;
} // namespace

ExerciseRunnerHost &ExerciseRunnerHost::get() {
    static RunnerPanelHost panel;
    return g_runnerHost ? *g_runnerHost : panel;
}
void ExerciseRunnerHost::install(ExerciseRunnerHost *host) {
    g_runnerHost = host;
}

ExerciseEditorHost &ExerciseEditorHost::get() {
    static EditorPanelHost panel;
    return g_editorHost ? *g_editorHost : panel;
}
void ExerciseEditorHost::install(ExerciseEditorHost *host) {
    g_editorHost = host;
}

ExerciseRunner *StandInRunnerHost::open(const std::vector<Exercise> &exercises, qint64 startStep,
                                        std::optional<qint64>, QWidget *parentWindow) {
    return new StandInRunner(exercises, startStep, parentWindow);
}

void StandInEditorHost::show(const std::optional<Exercise> &, QWidget *, Completion completion) {
    if (completion) completion(std::nullopt);
}

StandInRunner::StandInRunner(const std::vector<Exercise> &exercises, qint64 startStep, QWidget *parentWindow)
    : run_(exercises) {
    window_ = new QWidget(parentWindow, Qt::Tool);
    window_->setObjectName(QStringLiteral("standInRunner"));
    window_->setAttribute(Qt::WA_DeleteOnClose);
    window_->resize(420, 220);
    auto *lay = new QVBoxLayout(window_);
    title_ = new QLabel(window_);
    title_->setFont(Fonts::scaledFont(18, QFont::Bold));
    title_->setWordWrap(true);
    stepLbl_ = new QLabel(window_);
    stepLbl_->setFont(Fonts::scaledFont(13));
    stepLbl_->setWordWrap(true);
    nextBtn_ = new QPushButton(
        L::t(
            {.en = "Next", .es = "Siguiente", .de = "Weiter", .fr = "Suivant", .uk = "Далі", .pl = "Dalej"}) +
            QStringLiteral("  ▶"),
        window_);
    nextBtn_->setObjectName(QStringLiteral("nextButton"));
    lay->addWidget(title_);
    lay->addWidget(stepLbl_, 1);
    lay->addWidget(nextBtn_, 0, Qt::AlignRight);
    connect(nextBtn_, &QPushButton::clicked, this, [this] { next(); });
    // The user may close the window at any time: the run ends without further reports.
    connect(window_, &QObject::destroyed, this, [this] { deleteLater(); });
    if (!run_.empty()) {
        const auto &first = run_.front();
        step_ = std::max<qint64>(0, std::min<qint64>(startStep, qint64(first.steps.size()) - 1));
    }
    if (QScreen *s = QGuiApplication::primaryScreen())
        window_->move(s->availableGeometry().center() - window_->rect().center());
    showStep();
}

StandInRunner::~StandInRunner() {
    if (browser_) browser_->deleteLater();
}

void StandInRunner::showAndRaise() {
    if (!window_) return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void StandInRunner::close() {
    if (browser_) browser_->stopAndClose();
    if (window_)
        window_->close();
    else
        deleteLater();
}

void StandInRunner::showStep() {
    if (exIdx_ >= qsizetype(run_.size()) || !window_) return;
    const Exercise &e = run_[size_t(exIdx_)];
    window_->setWindowTitle(e.emoji + QStringLiteral("  ") + e.name);
    title_->setText(e.emoji + QStringLiteral("  ") + e.name);
    if (e.steps.empty()) {
        stepLbl_->clear();
        return;
    }
    const ExerciseStep &s = e.steps[size_t(step_)];
    stepLbl_->setText(QStringLiteral("%1 / %2 · %3 · %4\n\n%5")
                          .arg(step_ + 1)
                          .arg(e.steps.size())
                          .arg(s.title, ExerciseFormat::durStr(s.durationSecs), s.instruction));
    if (s.videoURL) {
        if (browser_) {
            browser_->stopAndClose();
            browser_->deleteLater(); // possibly from inside its own finish callback: later
        }
        auto *b = new YouTubeBrowserWindow;
        browser_ = b;
        QPointer<StandInRunner> self(this);
        b->onFinished = [self] {
            if (self) self->next();
        };
        if (b->load(BrowserAddress::completed(*s.videoURL), s.durationSecs)) {
            if (QScreen *sc = QGuiApplication::primaryScreen())
                b->move(sc->availableGeometry().center() - b->rect().center());
            b->show();
            b->raise();
            b->activateWindow();
        }
    }
}

void StandInRunner::next() {
    if (exIdx_ >= qsizetype(run_.size())) return;
    const Exercise &e = run_[size_t(exIdx_)];
    if (step_ + 1 < qint64(e.steps.size())) {
        ++step_;
        showStep();
        return;
    }
    QPointer<StandInRunner> self(this);
    if (onExerciseComplete) onExerciseComplete();
    if (!self) return;
    ++exIdx_;
    step_ = 0;
    if (exIdx_ >= qsizetype(run_.size())) {
        close();
        return;
    }
    showStep();
}
