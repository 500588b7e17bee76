#pragma once
#include "platform/Announce.h"
#include <QColor>
#include <QList>
#include <QPointer>
#include <QWidget>

class QLabel;
class QPropertyAnimation;
class QPushButton;
class Ticker;

// A small floating card at the top right of the primary screen that announces an event without
// taking the focus. Banners stack downwards, each in a slot of its own that it keeps until it
// closes; it fades in, closes by itself after 6 seconds or earlier with its "×", and plays no sound.
// Looks the same in every theme; only the accent bar takes the caller's colour.
class BannerWindow : public QWidget {
    Q_OBJECT
public:
    enum class State { fadingIn, shown, fadingOut, closed };
    static constexpr int kLifetimeMs = 6000;
    static constexpr int kFadeInMs = 200;
    static constexpr int kFadeOutMs = 300;

    // May be called from any thread: queues the banner on the main thread and returns at once.
    static void show(const QString &title, const QString &body, const QColor &accent);
    // May be called from any thread: queues the fade-out of every open banner.
    static void dismissAll();
    // Builds and shows one banner now (main thread); null when there is no screen.
    static BannerWindow *present(const QString &title, const QString &body, const QColor &accent);

    // The banners on screen (fading ones included), oldest first.
    static QList<BannerWindow *> active();
    // The emoji shown beside the title, picked by the title's first emoji.
    static QString iconFor(const QString &title);
    // Multiplies the fade durations; tests set 0 to make fades end on the next event-loop turn.
    static void setFadeScale(double scale);

    // Starts the fade-out unless one has started already; a closed banner ignores it.
    void dismiss();
    State state() const { return state_; }
    int slot() const { return slot_; }
    QString title() const;
    QString bodyShown() const; // the body as drawn, elided to one line
    QPushButton *closeButton() const { return close_; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    BannerWindow(const QString &title, const QString &body, const QColor &accent, int slot);
    void fadeIn();
    void finishClose();

    State state_ = State::fadingIn;
    int slot_ = 0;
    QColor accent_;
    QLabel *icon_ = nullptr;
    QLabel *title_ = nullptr;
    QLabel *body_ = nullptr;
    QPushButton *close_ = nullptr;
    QPointer<QPropertyAnimation> fade_;
    Ticker *lifetime_ = nullptr;
};

// Puts BannerWindow behind the Banners seam that engines call.
class BannerWindowPresenter : public BannerPresenter {
public:
    void show(const QString &title, const QString &body, const QColor &accent) override {
        BannerWindow::show(title, body, accent);
    }
    void dismissAll() override { BannerWindow::dismissAll(); }
};
