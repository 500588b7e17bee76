#pragma once
#include <QObject>
#include "platform/Deadline.h"
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class DataNoticePresenter;
class MainWindow;
class SaveWaitNotice;
class SingleInstance;
class StatusItem;
class UnixSignals;

// Starts the app as one tray instance and ends it in order: everything the app keeps is written
// before the process exits, whether it quits from the menu or receives SIGTERM.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate();
    ~AppDelegate() override;

    // Runs the start-up sequence. False when this process must exit at once, with exitCode(): another
    // instance owns the data (it was asked to show its window), or the app cannot start (the reason
    // was told on stderr and in an alert).
    bool launch();
    // What the process should end with: 0, or the failure launch() or the final save met.
    int exitCode() const { return exitCode_; }
    static constexpr int kExitCannotStart = 2;
    static constexpr int kExitSaveFailed = 3;

    MainWindow *mainWin() const { return mainWin_; }
    StatusItem *statusItem() const { return statusItem_; }

    // Saves what must be saved, then ends the event loop. askedMsAgo: how long ago the quit was asked
    // for (a signal waits for the window's thread): the quit's deadline counts from then.
    void quitApp(qint64 askedMsAgo = 0);
    // After the event loop has ended: once the quit has run (every change committed or kept beside
    // the database), ends the process at once with code; otherwise returns, for the usual teardown.
    void endProcess(int code);
    // Tests: what endProcess ends the process with (empty: _exit).
    static void setExitForTests(std::function<void(int)> exit);

private:
    void beginQuitting();
    void keepNoticesForNextStart();
    void willTerminate();
    void reportSaveFailure(const QString &message);
    void reportCannotSave();
    void reportCannotStart(const QString &message, const QString &detail);

    std::unique_ptr<SingleInstance> instance_;
    UnixSignals *signals_ = nullptr;
    MainWindow *mainWin_ = nullptr;
    StatusItem *statusItem_ = nullptr;
    QPointer<DataNoticePresenter> notices_;
    QPointer<SaveWaitNotice> saveWait_;
    bool quitting_ = false;
    bool saveFailureShown_ = false;
    bool terminated_ = false;
    std::optional<Deadline> quitBy_; // from the first request to quit
    int exitCode_ = 0;
};
