#pragma once
#include <QObject>
#include <QSystemTrayIcon>

class MainWindow;
class QMenu;

// The tray icon: a left click shows or hides the main window, a right click opens the status menu,
// built afresh every time it opens.
class StatusItem : public QObject {
    Q_OBJECT
public:
    StatusItem(MainWindow *win, QObject *parent = nullptr);
    ~StatusItem() override;

    void updateIcon();
    QSystemTrayIcon *tray() const { return tray_; }
    // The menu as it would open now (rebuilt on every call).
    QMenu *buildMenu();

signals:
    void quitRequested();

private:
    MainWindow *win_;
    QSystemTrayIcon *tray_;
    QMenu *menu_;
};
