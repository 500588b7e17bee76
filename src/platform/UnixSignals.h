#pragma once
#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the main thread (self-pipe), so ending the process
// from outside runs the same quit path as the Quit menu item. SIGXFSZ is ignored, so a file-size
// limit makes a write fail instead of ending the process.
class UnixSignals : public QObject {
    Q_OBJECT
public:
    explicit UnixSignals(QObject *parent = nullptr);
    ~UnixSignals() override;

signals:
    // msAgo: how long ago the signal came (the window's thread may have been busy meanwhile).
    void terminationRequested(int signo, qint64 msAgo);

private:
    QSocketNotifier *notifier_ = nullptr;
};
