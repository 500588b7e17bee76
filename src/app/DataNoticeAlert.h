#pragma once
#include "platform/DataNotices.h"
#include "platform/Dialogs.h"
#include "platform/Prefs.h"
#include <QObject>
#include <QPointer>
#include <vector>

class QWidget;

// The one alert that tells the user which of their data could not be read, or was changed by another
// program while Mivo ran, and where the copy is, in the current language.
Dialogs::Alert unreadableDataAlert(const std::vector<DataNotice> &notices);
// The copies among notices that the user may save as a file their page's Import reads, in the order
// the alert offers them (its buttons after the first).
std::vector<DataNotice> savableCopies(const std::vector<DataNotice> &notices);
// The name a save panel proposes for such a copy.
QString keptCopyFileName(const DataNotice &n);
// What the user calls the data under a store key ("tasks", "alarms"…); the database when key is empty.
QString unreadableDataName(const QString &key);

// Shows the pending notices (DataNotices) once, from the event loop: never from inside the store or
// page that found the damage, merged into one alert when several stores report in one go, and over a
// shown window only once it has drawn its page.
// Once quitting has begun it shows nothing more (an alert would hold the quit until someone answers
// it): what is pending then is kept for the next start.
class DataNoticePresenter : public QObject {
    Q_OBJECT
public:
    explicit DataNoticePresenter(QWidget *window, QObject *parent = nullptr);
    // Quitting has begun: no alert from now on.
    void stop();

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void schedule();
    void showPending();
    // Whether the alert waits for the window to draw its page first (it is then shown after that).
    bool waitForWindow();
    // The alert for notices; a copy the user chooses to save is saved, and the alert comes back while
    // others are left to save.
    void show(const std::vector<DataNotice> &notices);

    QPointer<QWidget> window_;
    bool scheduled_ = false;
    bool stopped_ = false;
    bool watching_ = false; // for the window's next paint
    bool painted_ = false;  // since the alert began to wait for it
    int paintsWaited_ = 0;
};

// While changes wait for another program's lock, a small window says so and that they will be saved.
// It never blocks the main window (not modal, shown without taking the focus) and goes by itself once
// everything is saved; the user may close it sooner.
class SaveWaitNotice : public QObject {
    Q_OBJECT
public:
    SaveWaitNotice(Prefs &prefs, QWidget *window, QObject *parent = nullptr);
    ~SaveWaitNotice() override;
    // The notice while it is up.
    QWidget *shown() const;
    // Its title and text in the current language.
    static Dialogs::Alert alert(const QString &databasePath);
    // Quitting has begun: the notice goes and does not come back.
    void stop();

private:
    void update(bool waiting);

    Prefs &prefs_;
    QPointer<QWidget> window_;
    QPointer<QWidget> dialog_;
    bool stopped_ = false;
};
