#pragma once
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <functional>

class QLocalServer;
class QLocalSocket;
class QProcess;
class YouTubeBrowserWindow;

// The runner's handle on a step's browser window. The window runs in a small process of its own
// (the app's binary started with kChildFlag): the web engine keeps its core, its threads and its
// caches in whatever process loaded it until that process ends, which in the app would be +80 MB
// for as long as it runs, and two helper processes beside it. In its own process all of that goes
// when the window is done, and the app never loads the engine at all.
//
// The two sides talk over a local socket, one line per message:
//   app → window:  "open <seconds> <address>", "front", "close"
//   window → app:  "finished" (the countdown ran out or Stop was pressed; the window has closed)
// The window process behaves exactly like the window did in the app: closing it with the title
// bar stops the countdown and reports nothing, "front" shows it again, and it lives until this
// handle is deleted or stopAndClose() is called.
//
// The window stays in this process (localWindow()) when a test put stand-in web views in place,
// or when the app's binary cannot be found to start it.
class BrowserWindowHost : public QObject {
    Q_OBJECT
public:
    static constexpr char kChildFlag[] = "--browser-window";

    explicit BrowserWindowHost(QObject *parent = nullptr);
    ~BrowserWindowHost() override; // closes the window (its process ends)

    // Loads the address and starts the countdown at seconds. False, with nothing opened, when the
    // text is not an http or https address.
    bool load(const QString &urlString, qint64 seconds);
    // Shows the window (again, after a close from the title bar), raised and active.
    void bringToFront();
    // Stops the countdown and closes the window without calling onFinished.
    void stopAndClose();

    // Called once when the countdown runs out or Stop is pressed, after the window closed.
    std::function<void()> onFinished;

    QUrl currentUrl() const { return url_; }
    bool isRemote() const;
    YouTubeBrowserWindow *localWindow() const;
    // The program the window runs in: the app's binary beside this program or one folder up.
    static QString windowProgram();

    // The window process's main (after QApplication exists); args are the program's arguments.
    static int runWindowProcess(const QStringList &args);

private:
    void send(const QByteArray &line);
    void onLine(const QByteArray &line);
    void finish();

    QPointer<YouTubeBrowserWindow> local_;
    QLocalServer *server_ = nullptr;
    QPointer<QLocalSocket> socket_;
    QPointer<QProcess> process_;
    QList<QByteArray> queued_; // sent once the window process has connected
    QByteArray buffer_;
    QUrl url_;
    bool closed_ = false;
};
