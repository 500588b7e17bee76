// The yardstick for the start-up benchmark: the least a Qt tray app does. A hidden window, a tray
// icon and a one-second timer, measured exactly like the app (see StartupProbe.h).
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
    StartupProbe::reportAtIdle(argc > 1 ? QByteArray(argv[1]).toInt() : 1000);
    return app.exec();
}
