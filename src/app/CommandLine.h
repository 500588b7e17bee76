#pragma once
#include <QString>
#include <QStringList>

// What the program's arguments ask for, worked out before anything opens the database, asks the
// running instance or connects to a display: --help and --version answer at once, an unknown
// option or a stray argument is refused. The options Qt's own application object takes (-platform,
// -style, …) pass through untouched.
struct CommandLine {
    enum class Action {
        Run,           // start the app (or bring the running one forward)
        BrowserWindow, // the exercises' browser window process (see BrowserWindowHost.h)
        Print,         // print text to standard output, exit 0
        Refuse,        // print text to standard error, exit 2
    };
    Action action = Action::Run;
    QString text;

    static constexpr int kUsageExitCode = 2;
    // Starts the browser window process (the app passes its arguments after it).
    static constexpr char kBrowserWindowFlag[] = "--browser-window";

    // args as the program got them, the program's name first.
    static CommandLine parse(const QStringList &args);
    static QString versionText();
};
