#pragma once
#include <QObject>
#include <QPointer>
#include <memory>

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

    // Saves what must be saved, then ends the event loop.
    void quitApp();

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
    int exitCode_ = 0;
};
