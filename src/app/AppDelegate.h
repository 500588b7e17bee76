#pragma once
#include <QObject>
#include <memory>

class MainWindow;
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

    // Runs the start-up sequence. False when another instance is running: it was asked to show its
    // window, and this process must exit without creating anything else.
    bool launch();

    MainWindow *mainWin() const { return mainWin_; }
    StatusItem *statusItem() const { return statusItem_; }

    // Saves what must be saved, then ends the event loop.
    void quitApp();

private:
    void willTerminate();
    void reportSaveFailure(const QString &message);

    std::unique_ptr<SingleInstance> instance_;
    UnixSignals *signals_ = nullptr;
    MainWindow *mainWin_ = nullptr;
    StatusItem *statusItem_ = nullptr;
    bool saveFailureShown_ = false;
};
