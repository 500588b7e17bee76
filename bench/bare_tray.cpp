// The yardstick for the start-up benchmarks: the least a Qt tray app does. A hidden window, a tray
// icon and a one-second timer. Given a settle time in ms it reports on itself exactly like the app in
// bench_startup (see StartupProbe.h); without one it only runs, to be measured from outside
// (bench_scale), as a user's tray app would.
#include "StartupProbe.h"
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QWidget window;
    window.resize(900, 760);
    QPixmap pix(22, 22);
    pix.fill(Qt::transparent);
    {
        QPainter p(&pix);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(Qt::red);
        p.drawEllipse(pix.rect().adjusted(2, 2, -2, -2));
    }
    QSystemTrayIcon tray{QIcon(pix)};
    tray.setToolTip(QStringLiteral("25:00"));
    tray.show();
    int ticks = 0;
    QTimer second;
    QObject::connect(&second, &QTimer::timeout, [&] { tray.setToolTip(QString::number(++ticks)); });
    second.start(1000);
    if (argc > 1) StartupProbe::reportAtIdle(QByteArray(argv[1]).toInt());
    return app.exec();
}
