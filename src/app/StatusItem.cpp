#include "app/StatusItem.h"

#include "app/MainWindow.h"
#include "ui/Lang.h"
#include <QMenu>
#include <QPainter>
#include <QPixmap>

StatusItem::StatusItem(MainWindow *win, QObject *parent)
    : QObject(parent), win_(win), tray_(new QSystemTrayIcon(this)), menu_(new QMenu) {
    tray_->setContextMenu(menu_);
    connect(menu_, &QMenu::aboutToShow, this, [this] { buildMenu(); });
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) win_->toggle();
    });
    updateIcon();
    // Shown even with no tray host yet: on X11 the icon docks when a tray appears.
    tray_->show();
}

StatusItem::~StatusItem() { delete menu_; }

void StatusItem::updateIcon() {
    QPixmap pm(44, 44);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 90, 0), 4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(6, 8, 32, 32));
    p.drawLine(QPointF(22, 24), QPointF(22, 14));
    p.drawLine(QPointF(18, 4), QPointF(26, 4));
    p.end();
    tray_->setIcon(QIcon(pm));
    tray_->setToolTip(QStringLiteral("Mivo"));
}

QMenu *StatusItem::buildMenu() {
    menu_->clear();
    menu_->addAction(QStringLiteral("🖥 ") + L::t({.en = "Open window", .es = "Abrir ventana", .de = "Fenster öffnen",
                                                 .fr = "Ouvrir la fenêtre", .uk = "Відкрити вікно", .pl = "Otwórz okno"}),
                     win_, &MainWindow::bringToFront);
    menu_->addSeparator();
    menu_->addAction(L::t({.en = "Quit", .es = "Salir", .de = "Beenden", .fr = "Quitter", .uk = "Вийти", .pl = "Zakończ"}),
                     this, &StatusItem::quitRequested);
    return menu_;
}
