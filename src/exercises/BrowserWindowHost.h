#pragma once
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <functional>

class BrowserWindowLink;
class YouTubeBrowserWindow;

// The runner's handle on a step's browser window. The window runs in a small process of its own
// (the app's binary started with --browser-window): the web engine keeps its core, its threads and
// its caches in whatever process loaded it until that process ends, which in the app would be
// +80 MB for as long as it runs, and two helper processes beside it. In its own process all of that
// goes when the window is done, and the app never loads the engine at all. BrowserWindowLink.h
// describes how the two talk.
//
// The window behaves the same wherever it runs: closing it with the title bar stops the countdown
// and reports nothing, bringToFront() shows it again counting on, and it lives until this handle is
// deleted or stopAndClose() is called. A window process that ends (killed, crashed) or whose
// connection closes counts as a window closed with the title bar: bringToFront() then starts a new
// process with the same address and the time that was left.
//
// The window stays in this process (localWindow()) when a test put stand-in web views in place,
// or when the app's binary cannot be found to start it.
class BrowserWindowHost : public QObject {
    Q_OBJECT
public:
    explicit BrowserWindowHost(QObject *parent = nullptr);
    ~BrowserWindowHost() override; // closes the window (its process ends)

    // Loads the address and starts the countdown at seconds. False, with nothing opened, when the
    // text is not an http or https address.
    bool load(const QString &urlString, qint64 seconds);
    // Shows the window (again, after a close from the title bar or the end of its process), raised
    // and active.
    void bringToFront();
    // Stops the countdown and closes the window without calling onFinished.
    void stopAndClose();

    // Called once when the countdown runs out or Stop is pressed, after the window closed.
    std::function<void()> onFinished;

    QUrl currentUrl() const { return url_; }
    bool isRemote() const { return !program_.isEmpty(); }
    // Whether a window (or its process) is there now; false after its process ended, until reopened.
    bool hasWindow() const;
    qint64 secondsLeft() const { return remaining_; }
    YouTubeBrowserWindow *localWindow() const;
    // The program the window runs in: the app's binary beside this program or one folder up.
    static QString windowProgram();

    // The window process's main (after QApplication exists); args are the program's arguments.
    static int runWindowProcess(const QStringList &args);

signals:
    // The window's process ended or its connection closed (the window counts as closed).
    void windowLost();

private:
    BrowserWindowLink *link();
    void finish();

    QString program_; // empty: the window runs in this process
    QPointer<BrowserWindowLink> link_;
    QUrl url_;
    qint64 remaining_ = 0;
    bool closed_ = false;
};
