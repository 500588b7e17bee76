#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "exercises/BrowserWindowHost.h"
#include "platform/ClipboardServer.h"
#include "platform/HeapPolicy.h"
#include "ui/Fonts.h"
#include "ui/LazyFileIcon.h"

#include <QApplication>
#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv) {
    HeapPolicy::apply();
    // Read before the application object exists: --help and --version need no display, and neither
    // they nor a refused option may open the database or ask the running instance anything.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const CommandLine command = CommandLine::parse(args);
    if (command.action == CommandLine::Action::Print) {
        std::fputs(command.text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (command.action == CommandLine::Action::Refuse) {
        std::fputs(command.text.toLocal8Bit().constData(), stderr);
        return CommandLine::kUsageExitCode;
    }

    // The web engine (in its module, loaded when news arrives) refuses to start its sandbox as root.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mivo"));
    // No display name: the platform would append " — Mivo" to every dialog's title.
    QApplication::setDesktopFileName(QStringLiteral("com.mivo.app"));
    // Our own icon for the windows and the taskbar, given to each window as it is shown (the launch
    // hides the main window), its files read on a worker at the first show.
    std::vector<std::pair<QString, int>> iconFiles;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        iconFiles.emplace_back(QStringLiteral(":/icons/%1.png").arg(size), size);
    LazyFileIcon::setWindowIconsAtShow(std::move(iconFiles));
    QApplication::setQuitOnLastWindowClosed(false);
    Fonts::applyAppFont();
    // The exercises' browser window runs in a process of its own (see BrowserWindowHost.h).
    if (command.action == CommandLine::Action::BrowserWindow)
        return BrowserWindowHost::runWindowProcess(QApplication::arguments());

    // A long copy handed to another program a part per turn, not in stretches of 16 MB.
    ClipboardServer::install();
    AppDelegate delegate;
    if (!delegate.launch()) return delegate.exitCode();
    const int rc = app.exec();
    // The final save runs as the loop ends; a failure there is the process's result too.
    const int code = rc != 0 ? rc : delegate.exitCode();
    // Once it has run, nothing is left to wait for: the process ends here.
    delegate.endProcess(code);
    return code;
}
