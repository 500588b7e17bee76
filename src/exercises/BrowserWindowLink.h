#pragma once
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <memory>

class YouTubeBrowserWindow;

// One browser window as the runner's handle (BrowserWindowHost) drives it, wherever the window
// runs: in this process, or in a small process of its own (the app's binary started with
// --browser-window) that it talks to over a local socket, one line per message:
//   app → window:  "open <seconds> <address>", "front", "close"
//   window → app:  "left <seconds>" (the countdown's time left, as it changes),
//                  "finished" (the countdown ran out or Stop was pressed; the window has closed)
// A link serves one window. Once it reports gone() (the window's process ended or its connection
// closed, however that happened) it does nothing more, and the host makes a new one when needed.
class BrowserWindowLink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Loads url and starts the countdown at seconds.
    virtual void open(const QUrl &url, qint64 seconds) = 0;
    // Shows the window (again, after a close from the title bar), raised and active.
    virtual void front() = 0;
    // Stops the countdown and closes the window; nothing is reported after this.
    virtual void close() = 0;
    // The window, when it lives in this process (tests with stand-in web views); otherwise null.
    virtual YouTubeBrowserWindow *localWindow() const { return nullptr; }

    static std::unique_ptr<BrowserWindowLink> inThisProcess();
    // program: the app's binary.
    static std::unique_ptr<BrowserWindowLink> inOwnProcess(const QString &program);

    // The window process's main (after QApplication exists); args are the program's arguments:
    // --browser-window <server> <language> <theme> <font scale>.
    static int runWindowProcess(const QStringList &args);

signals:
    void finished();
    void remainingChanged(qint64 seconds);
    void gone();
};
