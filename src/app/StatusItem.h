#pragma once
#include "pomodoro/Phase.h"
#include <QFont>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <QSystemTrayIcon>
#include <functional>
#include <vector>

class MainWindow;
class PomodoroTimer;
class QMenu;

// One health reminder as the status menu shows it.
struct ReminderRow {
    QString emoji, name, onKey, soundKey;
};

// The tray icon: the current phase's symbol with the remaining minutes drawn in, and the exact
// countdown title ("  MM:SS") with the phase label as tooltip. A left click shows or hides the main
// window; a right click opens the status menu, built afresh every time it opens.
class StatusItem : public QObject {
    Q_OBJECT
public:
    // win may be null (tests): the window actions then do nothing.
    StatusItem(MainWindow *win, PomodoroTimer &timer, QObject *parent = nullptr);
    ~StatusItem() override;

    // Where the menu's health reminder rows come from and how one is switched on or off. Until they
    // are set the menu has no reminder rows.
    using ReminderList = std::function<std::vector<ReminderRow>()>;
    using ReminderSwitch = std::function<void(const QString &onKey, bool on)>;
    void setReminders(ReminderList list, ReminderSwitch setOn);

    // Redraws icon and tooltip from the timer now.
    void updateIcon();
    // Observer of pomodoroChanged: queues one redraw after the posting code has returned.
    void onPomChanged();

    QSystemTrayIcon *tray() const { return tray_; }
    QString toolTip() const { return tray_->toolTip(); }
    // The menu as it would open now (rebuilt on every call and before every opening).
    QMenu *buildMenu();

    // "  %02d:%02d" from the whole seconds of remaining; minutes are not capped.
    static QString titleFor(double remaining);
    // The tray symbol of a phase with the minutes written in, size × size pixels.
    static QImage renderIcon(Phase phase, qint64 minutes, int size);
    // The whole pixel size at which text set in f fits box (its advance within the width, its
    // capital height within nine tenths of the height): the largest from the box's height down to 4.
    static int fittedPixelSize(QFont f, const QRectF &box, const QString &text);

    // Menu actions.
    void toggleTimer();
    void skipPhase();
    void toggleReminderOn(const QString &onKey);
    void togglePomSound();
    void toggleReminderSnd(const QString &soundKey);
    void openWindow();

signals:
    void quitRequested();

private:
    MainWindow *win_;
    PomodoroTimer &timer_;
    QSystemTrayIcon *tray_;
    QMenu *menu_;
    ReminderList reminders_;
    ReminderSwitch setReminderOn_;
    bool redrawQueued_ = false;
    // What the icon shows now; it is drawn again only when this changes (once a minute).
    Phase iconPhase_ = Phase::work;
    qint64 iconMinutes_ = -1;
};
