#include "app/AppDelegate.h"
#include "ui/Fonts.h"

#include <QApplication>
#include <unistd.h>

int main(int argc, char **argv) {
    // The web engine (news panel) needs a shared GL context set before the application exists, and
    // refuses to start its sandbox as root.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mivo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Mivo"));
    QApplication::setDesktopFileName(QStringLiteral("com.mivo.app"));
    QApplication::setQuitOnLastWindowClosed(false);
    Fonts::applyAppFont();

    AppDelegate delegate;
    if (!delegate.launch()) return 0;
    return app.exec();
}
