// Start-up: time from process start to an idle event loop with the window hidden, and resident
// memory then. Runs the same launch sequence as the app, in a temporary home.
#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace {
double processAgeMs() {
    // Process start time from /proc, so the figure includes loading the libraries.
    QFile f(QStringLiteral("/proc/self/stat"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble();
    QFile up(QStringLiteral("/proc/uptime"));
    if (!up.open(QIODevice::ReadOnly)) return -1;
    const double uptime = up.readAll().split(' ').value(0).toDouble();
    return (uptime - startTicks / double(sysconf(_SC_CLK_TCK))) * 1000.0;
}

long rssKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

bool webEngineStarted() {
    QFile f(QStringLiteral("/proc/self/maps"));
    if (!f.open(QIODevice::ReadOnly)) return false;
    // The engine's resources are mapped only once a web view or profile exists.
    return f.readAll().contains("qtwebengine_resources");
}
} // namespace

int main(int argc, char **argv) {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    AppDelegate delegate;
    if (!delegate.launch()) return 1;
    if (delegate.mainWin()) delegate.mainWin()->hide();
    QTimer::singleShot(0, &app, [&] {
        std::printf("startup: %.1f ms from process start to idle event loop\n", processAgeMs());
        std::printf("startup: resident memory %ld KiB\n", rssKiB());
        std::printf("startup: web engine loaded: %s\n", webEngineStarted() ? "yes" : "no");
        app.quit();
    });
    return app.exec();
}
