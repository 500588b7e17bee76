#include "app/AppDelegate.h"
#include "exercises/BrowserWindowHost.h"
#include "ui/Fonts.h"

#include <QApplication>
#include <QIcon>
#include <unistd.h>

int main(int argc, char **argv) {
    // The web engine (in its module, loaded when news arrives) refuses to start its sandbox as root.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mivo"));
    // No display name: the platform would append " — Mivo" to every dialog's title.
    QApplication::setDesktopFileName(QStringLiteral("com.mivo.app"));
    // Our own icon for the window, the taskbar and the tray host's notifications; the files are read
    // only when a window first needs them.
    QIcon appIcon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        appIcon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(appIcon);
    QApplication::setQuitOnLastWindowClosed(false);
    Fonts::applyAppFont();
    // The exercises' browser window runs in a process of its own (see BrowserWindowHost.h).
    if (argc > 1 && qstrcmp(argv[1], BrowserWindowHost::kChildFlag) == 0)
        return BrowserWindowHost::runWindowProcess(QApplication::arguments());

    AppDelegate delegate;
    if (!delegate.launch()) return delegate.exitCode();
    const int rc = app.exec();
    // The final save runs as the loop ends; a failure there is the process's result too.
    return rc != 0 ? rc : delegate.exitCode();
}
