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
    void terminationRequested(int signo);

private:
    QSocketNotifier *notifier_ = nullptr;
};
