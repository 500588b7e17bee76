#include "exercises/ExerciseRunnerPanel.h"
#include "ui/TextFit.h"

#include "exercises/BreathingCircleView.h"
#include "exercises/ExerciseAnimView.h"
#include "exercises/ExercisesView.h"
#include "exercises/RunnerContentView.h"
#include "exercises/RunnerDotsView.h"
#include "exercises/RunnerLogic.h"
#include "exercises/RunnerTexts.h"
#include "exercises/StepPicture.h"
#include "platform/Announce.h"
#include "platform/Background.h"
#include "platform/Clock.h"
#include "ui/Fonts.h"
#include "ui/Makers.h"
#include "ui/RingView.h"
#include "ui/Theme.h"
#include "ui/TintButton.h"
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr qint64 kMaxImageBytes = 10 * 1024 * 1024;

qint64 nowMs() {
    return Clock::get().now().toMSecsSinceEpoch();
}

// The overlay over the content at an exercise's end: the page colour nearly opaque and the accent
// strip along its bottom edge.
class RunnerOverlay : public QWidget {
public:
    RunnerOverlay(QWidget *parent, const QColor &accent) : QWidget(parent), accent_(accent) {
        setObjectName(QStringLiteral("runnerOverlay"));
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        QColor bg = VF::bg();
        bg.setAlphaF(0.97f);
        p.fillRect(rect(), bg);
        p.fillRect(QRect(0, height() - 4, width(), 4), accent_);
    }

private:
    QColor accent_;
};

QLabel *overlayLabel(QWidget *parent, const QString &text, const QFont &f, const QColor &c, const QRect &r) {
    auto *l = new FitLabel(parent);
    l->setAlignment(Qt::AlignCenter);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, c);
    l->setPalette(pal);
    l->setGeometry(r);
    RunnerContentView::setFitted(l, text);
    return l;
}

void fadeIn(QWidget *w, int ms) {
    auto *eff = new QGraphicsOpacityEffect(w);
    eff->setOpacity(0);
    w->setGraphicsEffect(eff);
    auto *anim = new QPropertyAnimation(eff, "opacity", w);
    anim->setStartValue(0.0);
    anim->setEndValue(1.0);
    anim->setDuration(ms);
    anim->start(QAbstractAnimation::DeleteWhenStopped);
}

class CloseWatcher : public QObject {
public:
    CloseWatcher(QObject *parent, std::function<void()> onClose) : QObject(parent), fn_(std::move(onClose)) {}
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::Close && fn_) fn_();
        return false;
    }

private:
    std::function<void()> fn_;
};
} // namespace

ExerciseRunner *RunnerPanelHost::open(const std::vector<Exercise> &exercises, qint64 startStep,
                                      std::optional<qint64> startRemaining, QWidget *parentWindow) {
    if (exercises.empty()) return nullptr;
    auto *r = new ExerciseRunnerPanel(exercises, startStep, startRemaining, parentWindow);
    if (QWidget *w = r->window()) {
        if (QScreen *s = QGuiApplication::primaryScreen())
            w->move(s->availableGeometry().center() - w->rect().center());
    }
    return r;
}

ExerciseRunnerPanel::ExerciseRunnerPanel(const std::vector<Exercise> &exercises, qint64 startStep,
                                         std::optional<qint64> startRemaining, QWidget *parentWindow)
    : accent_(VF::accent()) {
    if (!exercises.empty()) {
        exercise_ = exercises.front();
        queue_.assign(exercises.begin() + 1, exercises.end());
    }
    stepStartMs_ = nowMs();

    window_ = new QWidget(parentWindow, Qt::Window);
    window_->setObjectName(QStringLiteral("exerciseRunner"));
    window_->setWindowTitle(exercise_.emoji + QStringLiteral("  ") + exercise_.name);
    window_->resize(560, 720);
    window_->setMinimumSize(380, 480);
    QPalette pal = window_->palette();
    pal.setColor(QPalette::Window, VF::bg());
    window_->setPalette(pal);
    window_->setAutoFillBackground(true);
    auto *lay = new QVBoxLayout(window_);
    lay->setContentsMargins(0, 0, 0, 0);
    cv_ = new RunnerContentView(window_);
    lay->addWidget(cv_);
    QPointer<ExerciseRunnerPanel> self(this);
    window_->installEventFilter(new CloseWatcher(window_, [self] {
        if (self) self->close();
    }));
    cv_->installEventFilter(this);

    ticker_ = Clock::get().makeTicker(this);
    connect(ticker_, &Ticker::timeout, this, &ExerciseRunnerPanel::smoothTick);
    gap_ = Clock::get().makeTicker(this);
    gap_->setSingleShot(true);
    connect(gap_, &Ticker::timeout, this, [this] {
        // Only the step that ended may move on: Next or a close in the gap made it stale.
        if (closed_ || gapGen_ != gen_) return;
        goToStep(currentStep_ + 1);
    });
    countdown_ = Clock::get().makeTicker(this);
    frames_ = Clock::get().makeTicker(this);
    connect(frames_, &Ticker::timeout, this, &ExerciseRunnerPanel::frame);
    net_ = new QNetworkAccessManager(this);

    setPauseTitle();
    connect(cv_->startPauseBtn, &QPushButton::clicked, this, &ExerciseRunnerPanel::togglePause);
    connect(cv_->nextBtn, &QPushButton::clicked, this, &ExerciseRunnerPanel::skipStep);
    connect(cv_->closeBtn, &QPushButton::clicked, this, &ExerciseRunnerPanel::doClose);
    connect(cv_->ytOpenBtn, &QPushButton::clicked, this, [this] {
        if (browser_) browser_->bringToFront();
    });

    applyAccent(ExercisesView::hexColor(exercise_.accentHex));
    if (exercises.empty()) {
        closed_ = true;
        return;
    }
    const qint64 n = qint64(exercise_.steps.size());
    const qint64 start = RunnerLogic::startIndex(startStep, n);
    if (n == 0) {
        // An exercise without steps finishes at once; wait one turn so the owner can set
        // onExerciseComplete first.
        const quint64 gen = gen_;
        QTimer::singleShot(0, this, [this, gen] {
            if (!closed_ && gen == gen_) goToStep(0);
        });
        return;
    }
    goToStep(start);
    if (startRemaining && *startRemaining >= 1 && start < n) {
        const qint64 d = exercise_.steps[size_t(start)].durationSecs;
        const qint64 passed = std::max<qint64>(0, d - *startRemaining);
        stepStartMs_ = nowMs() - passed * 1000;
        remaining_ = std::min(*startRemaining, std::max<qint64>(d, 0));
        updateTimerUI();
    }
}

ExerciseRunnerPanel::~ExerciseRunnerPanel() {
    if (browser_) {
        browser_->onFinished = nullptr;
        browser_->stopAndClose();
        browser_->deleteLater();
    }
    delete window_.data();
}

void ExerciseRunnerPanel::showAndRaise() {
    if (!window_ || closed_) return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

bool ExerciseRunnerPanel::eventFilter(QObject *o, QEvent *e) {
    if (o == cv_ && e->type() == QEvent::Resize && overlay_) overlay_->setGeometry(cv_->rect());
    return false;
}

bool ExerciseRunnerPanel::tickerRunning() const {
    return ticker_->isActive();
}

bool ExerciseRunnerPanel::hasValidStep() const {
    return !closed_ && currentStep_ >= 0 && currentStep_ < qint64(exercise_.steps.size());
}

double ExerciseRunnerPanel::elapsed() const {
    // Never negative, whatever the wall clock did since the step began.
    return std::max<qint64>(0, nowMs() - stepStartMs_) / 1000.0;
}

void ExerciseRunnerPanel::setPauseTitle() {
    cv_->startPauseBtn->setText(paused_ ? QStringLiteral("▶ ") + RunnerTexts::resume()
                                        : QStringLiteral("⏸ ") + RunnerTexts::pause());
    RunnerContentView::fitButton(cv_->startPauseBtn);
}

void ExerciseRunnerPanel::applyAccent(const QColor &c) {
    accent_ = c;
    QPalette pal = cv_->accentStrip->palette();
    pal.setColor(QPalette::Window, c);
    cv_->accentStrip->setPalette(pal);
    cv_->progressRing->setColor(c);
    QColor bg = c, border = c;
    bg.setAlphaF(0.15f);
    border.setAlphaF(0.45f);
    cv_->startPauseBtn->setLook(c, bg, border);
    cv_->dotsView->accent = c;
    cv_->dotsView->update();
}

void ExerciseRunnerPanel::goToStep(qint64 i) {
    ++gen_;
    gap_->stop();
    if (i >= 0 && i < qint64(exercise_.steps.size())) {
        const ExerciseStep &s = exercise_.steps[size_t(i)];
        // Named after the exercise it runs, as its header shows, not after the program.
        window_->setWindowTitle(exercise_.emoji + QStringLiteral("  ") + exercise_.name);
        currentStep_ = i;
        remaining_ = std::max<qint64>(s.durationSecs, 0);
        stepStartMs_ = nowMs();
        RunnerContentView::setFitted(cv_->queueLbl, queue_.empty() ? QString()
                                                                    : QStringLiteral("Next: %1 ex.").arg(queue_.size()));
        cv_->dotsView->count = int(std::min<qsizetype>(exercise_.steps.size(), 1000));
        cv_->dotsView->current = int(i);
        cv_->dotsView->update();
        // The old content fades out; the new one is filled in when it has gone. The clock runs on.
        fadeStage_ = 1;
        fadeGen_ = gen_;
        fadeStartMs_ = nowMs();
        if (!frames_->isActive()) frames_->start(33);
        updateTimerUI();
        if (!paused_) startTicker();
        return;
    }
    showComplete();
}

void ExerciseRunnerPanel::startTicker() {
    ticker_->stop();
    ticker_->start(33);
}

void ExerciseRunnerPanel::smoothTick() {
    if (paused_ || !hasValidStep()) return;
    const qint64 d = exercise_.steps[size_t(currentStep_)].durationSecs;
    const double e = elapsed();
    const qint64 r = RunnerLogic::remainingSecs(d, e);
    if (r != remaining_) {
        remaining_ = r;
        cv_->timeLbl->setText(RunnerLogic::clockText(r));
    }
    cv_->progressRing->setProgress(RunnerLogic::ringProgress(d, e));
    if (e >= double(d) && !browser_) {
        ticker_->stop();
        blinkStartMs_ = nowMs();
        if (!frames_->isActive()) frames_->start(33);
        Sound::play(QStringLiteral("Ping"));
        gapGen_ = gen_;
        gap_->start(600);
    }
}

void ExerciseRunnerPanel::updateTimerUI() {
    cv_->timeLbl->setText(RunnerLogic::clockText(remaining_));
    const qint64 d = hasValidStep() ? exercise_.steps[size_t(currentStep_)].durationSecs : 0;
    cv_->progressRing->setProgress(RunnerLogic::ringProgress(d, elapsed()));
}

void ExerciseRunnerPanel::togglePause() {
    // Keyboard activation reaches buttons the overlay covers: nothing to pause then.
    if (overlay_ || !hasValidStep()) return;
    paused_ = !paused_;
    const qint64 d = exercise_.steps[size_t(currentStep_)].durationSecs;
    if (paused_) {
        ticker_->stop();
        remaining_ = RunnerLogic::pausedRemaining(d, elapsed());
    } else {
        stepStartMs_ = nowMs() - std::max<qint64>(0, d - remaining_) * 1000;
        startTicker();
    }
    setPauseTitle();
    applyAccent(accent_);
}

void ExerciseRunnerPanel::skipStep() {
    if (overlay_ || !hasValidStep()) return;
    dropBrowser();
    ticker_->stop();
    goToStep(currentStep_ + 1);
}

void ExerciseRunnerPanel::doClose() {
    dropBrowser();
    close();
}

void ExerciseRunnerPanel::stopTimers() {
    ticker_->stop();
    gap_->stop();
    countdown_->stop();
    frames_->stop();
}

void ExerciseRunnerPanel::close() {
    if (closed_) return;
    closed_ = true;
    ++gen_; // nothing pending may start a step of a closed panel
    dropBrowser();
    stopTimers();
    if (window_) window_->hide();
    deleteLater();
}

void ExerciseRunnerPanel::dropBrowser() {
    if (!browser_) return;
    BrowserWindowHost *b = browser_;
    browser_ = nullptr;
    b->onFinished = nullptr;
    b->stopAndClose();
    b->deleteLater();
}

// A widget with an opacity effect is drawn through an offscreen picture and repaints whole, with
// what lies under it: so the step's texts and visual carry one only while they fade, and the ring
// only while it blinks. Between fades they draw directly, and an animation costs what it draws.
void ExerciseRunnerPanel::setOpacity(QWidget *w, double opacity) {
    auto *eff = qobject_cast<QGraphicsOpacityEffect *>(w->graphicsEffect());
    if (opacity >= 1) {
        if (eff) w->setGraphicsEffect(nullptr); // deletes it
        return;
    }
    if (!eff) {
        eff = new QGraphicsOpacityEffect(w);
        w->setGraphicsEffect(eff);
    }
    eff->setOpacity(opacity);
}

void ExerciseRunnerPanel::setFadeOpacity(double opacity) {
    for (QWidget *w : std::initializer_list<QWidget *>{cv_->stepNameLbl, cv_->instrLbl, cv_->imageView,
                                                       cv_->breatheView, cv_->exerciseAnim})
        setOpacity(w, opacity);
}

void ExerciseRunnerPanel::frame() {
    const qint64 now = nowMs();
    if (fadeStage_ == 1) {
        const double t = (now - fadeStartMs_) / 220.0;
        setFadeOpacity(std::clamp(1 - t, 0.0, 1.0));
        if (t >= 1) {
            fadeStage_ = 2;
            fadeStartMs_ = now;
            fillStep(fadeGen_);
        }
    } else if (fadeStage_ == 2) {
        const double t = (now - fadeStartMs_) / 280.0;
        setFadeOpacity(std::clamp(t, 0.0, 1.0));
        if (t >= 1) fadeStage_ = 0;
    }
    if (blinkStartMs_ >= 0) {
        const double dt = double(now - blinkStartMs_);
        double a = 1;
        if (dt < 100)
            a = 1 - 0.7 * dt / 100;
        else if (dt < 300)
            a = 0.3 + 0.7 * (dt - 100) / 200;
        else
            blinkStartMs_ = -1;
        setOpacity(cv_->progressRing, a);
    }
    if (fadeStage_ == 0 && blinkStartMs_ < 0) frames_->stop();
}

void ExerciseRunnerPanel::fillStep(quint64 gen) {
    if (closed_ || gen != gen_ || !hasValidStep()) return;
    const ExerciseStep &s = exercise_.steps[size_t(currentStep_)];
    RunnerContentView::setFitted(cv_->stepNameLbl, s.title);
    cv_->instrLbl->setText(s.instruction);
    RunnerContentView::fitWrapped(cv_->instrLbl);
    cv_->instrLbl->setToolTip(s.instruction);
    RunnerContentView::setFitted(cv_->stepNumLbl, RunnerTexts::stepOf(currentStep_ + 1, qint64(exercise_.steps.size())));
    cv_->emojiLbl->setText(exercise_.emoji);
    chooseVisual();
}

void ExerciseRunnerPanel::chooseVisual() {
    const ExerciseStep &s = exercise_.steps[size_t(currentStep_)];
    auto only = [this](QWidget *shown) {
        for (QWidget *w : std::initializer_list<QWidget *>{cv_->imageView, cv_->breatheView, cv_->exerciseAnim, cv_->ytCard})
            w->setVisible(w == shown);
        cv_->update();
    };
    if (s.videoURL && !s.videoURL->isEmpty()) {
        only(cv_->ytCard);
        openURLBrowser(*s.videoURL, s.durationSecs);
        return;
    }
    if (s.imagePath && StepPicture::looksLikePicture(*s.imagePath)) {
        cv_->imageView->setImage(QImage());
        only(cv_->imageView);
        const QString path = *s.imagePath;
        showDecoded([path](QSize box) { return StepPicture::read(path, box); }, gen_);
        return;
    }
    if (s.imageURL && !s.imageURL->isEmpty()) {
        const QUrl url(s.imageURL->trimmed(), QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
            !url.host().isEmpty()) {
            cv_->imageView->setImage(QImage());
            only(cv_->imageView);
            requestImage(url.toString(), gen_);
            return;
        }
    }
    if (!exercise_.isBuiltIn) {
        only(nullptr);
        return;
    }
    const auto [phase, kind] = RunnerLogic::animForBuiltIn(exercise_, currentStep_);
    if (phase != BreathePhase::none) {
        only(cv_->breatheView);
        cv_->breatheView->animatePhase(phase, accent_, double(s.durationSecs));
    } else if (kind != AnimKind::none) {
        only(cv_->exerciseAnim);
        cv_->exerciseAnim->setAccent(accent_);
        cv_->exerciseAnim->setKind(kind);
    } else {
        only(nullptr);
    }
}

void ExerciseRunnerPanel::requestImage(const QString &address, quint64 gen) {
    QNetworkRequest req{QUrl(address)};
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    req.setMaximumRedirectsAllowed(5);
    QNetworkReply *reply = net_->get(req);
    auto tooBig = [reply] {
        const QVariant len = reply->header(QNetworkRequest::ContentLengthHeader);
        return (len.isValid() && len.toLongLong() > kMaxImageBytes) || reply->bytesAvailable() > kMaxImageBytes;
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, tooBig] {
        if (tooBig()) reply->abort();
    });
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxImageBytes) reply->abort();
    });
    QPointer<ExerciseRunnerPanel> self(this);
    connect(reply, &QNetworkReply::finished, this, [self, reply, gen] {
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError) return;
        const QByteArray data = reply->read(kMaxImageBytes + 1);
        if (data.isEmpty() || data.size() > kMaxImageBytes) return;
        // A picture for a step that is no longer shown, or for a closed panel, is dropped.
        if (!self || self->closed_ || gen != self->gen_) return;
        self->showDecoded([data](QSize box) { return StepPicture::fromData(data, box); }, gen);
    });
}

// Decodes away from the window's thread (a phone photo takes a noticeable moment even scaled) at the
// size the picture is shown, and shows it if its step is still the one shown.
void ExerciseRunnerPanel::showDecoded(std::function<QImage(QSize)> decode, quint64 gen) {
    const QSize box = cv_->imageView->size() * cv_->imageView->devicePixelRatioF();
    // A picture decoder must be done before the application (and its image plugins) goes.
    Background::run<QImage>(
        this, [box, decode = std::move(decode)] { return decode(box); },
        [this, gen](QImage img) {
            if (closed_ || gen != gen_ || img.isNull()) return;
            cv_->imageView->setImage(img);
        },
        {QStringLiteral("picture"), Background::AtQuit::end, {}});
}

void ExerciseRunnerPanel::openURLBrowser(const QString &urlString, qint64 durationSecs) {
    dropBrowser();
    auto *b = new BrowserWindowHost;
    QPointer<ExerciseRunnerPanel> self(this);
    const quint64 gen = gen_;
    b->onFinished = [self, gen] {
        if (!self || self->closed_ || gen != self->gen_) return;
        if (self->browser_) self->browser_->deleteLater();
        self->browser_ = nullptr;
        self->ticker_->stop();
        self->goToStep(self->currentStep_ + 1);
    };
    const QString address =
        urlString.startsWith(QLatin1String("http")) ? urlString : QStringLiteral("https://") + urlString;
    b->load(address, durationSecs);
    b->bringToFront();
    browser_ = b;
}

void ExerciseRunnerPanel::showComplete() {
    ticker_->stop();
    gap_->stop();
    const double W = cv_->width(), H = cv_->height();
    auto *ov = new RunnerOverlay(cv_, accent_);
    ov->setGeometry(cv_->rect());
    overlay_ = ov;
    QPointer<ExerciseRunnerPanel> self(this);
    const Exercise done = exercise_;
    if (!queue_.empty()) {
        const Exercise next = queue_.front();
        queue_.pop_front();
        auto *check = overlayLabel(ov, QStringLiteral("✅"), Fonts::scaledFont(64), VF::text(), QRect(24, 60, int(W - 48), 72));
        fadeIn(check, 400);
        const QString heading = QStringLiteral("«") + done.name + QStringLiteral("» ") + RunnerTexts::exerciseFinished();
        window_->setWindowTitle(heading);
        overlayLabel(ov, heading, Fonts::scaledFont(18, QFont::Bold), VF::text(), QRect(24, 144, int(W - 48), 26));
        overlayLabel(ov, RunnerTexts::nextLead() + QLatin1Char(' ') + next.emoji + QLatin1Char(' ') + next.name,
                     Fonts::scaledFont(14, QFont::Medium), accent_, QRect(24, 180, int(W - 48), 20));
        countdownLbl_ = mkMono(42, QFont::Thin);
        countdownLbl_->setParent(ov);
        countdownLbl_->setGeometry(0, 220, int(W), 50);
        countdownLbl_->setText(QStringLiteral("3"));
        ov->show();
        ov->raise();
        if (onExerciseComplete) onExerciseComplete();
        if (!self || closed_) return;
        count_ = 3;
        countdown_->disconnect(this);
        connect(countdown_, &Ticker::timeout, this, [this, next] {
            --count_;
            if (count_ >= 1) {
                if (countdownLbl_) countdownLbl_->setText(QString::number(count_));
                return;
            }
            countdown_->stop();
            if (closed_) return;
            delete overlay_.data();
            overlay_ = nullptr;
            countdownLbl_ = nullptr;
            exercise_ = next;
            paused_ = false;
            setPauseTitle();
            applyAccent(ExercisesView::hexColor(next.accentHex));
            goToStep(0);
        });
        countdown_->start(1000);
        Sound::play(QStringLiteral("Ping"));
        return;
    }
    finished_ = true;
    window_->setWindowTitle(RunnerTexts::runFinished());
    fadeIn(overlayLabel(ov, QStringLiteral("✅"), Fonts::scaledFont(72), VF::text(), QRect(0, int(0.38 * H), int(W), 84)),
           500);
    overlayLabel(ov, RunnerTexts::runFinished(), Fonts::scaledFont(20, QFont::Bold), VF::text(),
                 QRect(24, int(0.27 * H), int(W - 48), 28));
    overlayLabel(ov, done.name, Fonts::scaledFont(14), accent_, QRect(24, int(0.21 * H), int(W - 48), 20));
    QColor bg = accent_, border = accent_;
    bg.setAlphaF(0.18f);
    border.setAlphaF(0.5f);
    auto *closeBtn = new TintButton(RunnerTexts::close(), accent_, 0.18, 0.5, 8, ov);
    closeBtn->setLook(accent_, bg, border);
    closeBtn->setFont(Fonts::scaledFont(14, QFont::DemiBold));
    closeBtn->setObjectName(QStringLiteral("overlayCloseButton"));
    closeBtn->setGeometry(int((W - 140) / 2), int(0.1 * H), 140, 38);
    connect(closeBtn, &QPushButton::clicked, this, &ExerciseRunnerPanel::doClose);
    ov->show();
    ov->raise();
    if (onExerciseComplete) onExerciseComplete();
    Sound::play(QStringLiteral("Glass"));
    recordExerciseSession(done);
}
