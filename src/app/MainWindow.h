#pragma once
#include <QWidget>
#include <functional>

class MainTabVC;

// The one main window. Its close button hides it; it is never destroyed while the app runs.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    MainWindow(const std::function<class Page *(const QString &)> &pageFactory, QWidget *parent = nullptr);
    MainTabVC *tabs() const { return tabs_; }
    void applyAppearance();
    // Shows the window in front of every other window, raised and focused.
    void bringToFront();
    // Left click on the tray icon: hide when shown, otherwise bring to front.
    void toggle();

protected:
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    MainTabVC *tabs_;
};
