#pragma once
#include <QImage>
#include <QWidget>

class BreathingCircleView;
class ExerciseAnimView;
class QLabel;
class RingView;
class RunnerDotsView;
class TintButton;

// The runner's picture area: the image scaled proportionally to fit, centred, clipped.
class RunnerImageView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setImage(const QImage &img) {
        img_ = img;
        update();
    }
    QImage image() const { return img_; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    QImage img_;
};

// The runner panel's one content view: accent strip, emoji, queue line, the ring with the time,
// the step's name, instruction and number, the step dots, one media area (picture, breathing
// circle, body animation or link card) and the three buttons. It holds no exercise data: the panel
// fills it. Frames follow the view's size at every resize.
class RunnerContentView : public QWidget {
    Q_OBJECT
public:
    explicit RunnerContentView(QWidget *parent = nullptr);

    QWidget *accentStrip = nullptr;
    RingView *progressRing = nullptr;
    QLabel *timeLbl = nullptr;
    QLabel *stepNameLbl = nullptr;
    QLabel *instrLbl = nullptr;
    QLabel *stepNumLbl = nullptr;
    QLabel *emojiLbl = nullptr;
    QLabel *queueLbl = nullptr;
    RunnerDotsView *dotsView = nullptr;
    RunnerImageView *imageView = nullptr;
    BreathingCircleView *breatheView = nullptr;
    ExerciseAnimView *exerciseAnim = nullptr;
    QWidget *ytCard = nullptr;
    QLabel *ytIconLbl = nullptr;
    QLabel *ytTitleLbl = nullptr;
    QLabel *ytSubLbl = nullptr;
    TintButton *ytOpenBtn = nullptr;
    TintButton *startPauseBtn = nullptr;
    TintButton *nextBtn = nullptr;
    TintButton *closeBtn = nullptr;

    // Sets a label's text, elided with "…" to its width (the full text in the tooltip).
    static void setFitted(QLabel *label, const QString &text);
    // Shrinks a wrapping label's font, from its designed size, until the whole text fits its frame.
    static void fitWrapped(QLabel *label);
    // Shrinks a button's font, from its designed size, until its title fits its width.
    static void fitButton(TintButton *button);
    // The link card's background in the current theme.
    static QColor linkCardFill();

protected:
    void resizeEvent(QResizeEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    void layoutChildren();
};
