#include "app/MainWindow.h"

#include "app/MainTabVC.h"
#include "ui/Theme.h"
#include "ui/ThemePalette.h"
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

MainWindow::MainWindow(QWidget *parent) : MainWindow(MainTabVC::defaultPage, parent) {}

MainWindow::MainWindow(const std::function<Page *(const QString &)> &pageFactory, QWidget *parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Mivo"));
    // Task bars show the icon text, falling back to the lowercase class name without it. (Not the
    // application display name: Qt would append it to every window's title.)
    setWindowIconText(QStringLiteral("Mivo"));
    resize(1200, 760);
    setMinimumSize(1060, 600);
    tabs_ = new MainTabVC(this, pageFactory);
    tabs_->setGeometry(rect());
    connect(tabs_, &MainTabVC::themeApplied, this, &MainWindow::applyAppearance);
    applyAppearance();
    if (QScreen *s = QGuiApplication::primaryScreen()) {
        const QRect a = s->availableGeometry();
        move(a.center() - rect().center());
    }
}

void MainWindow::applyAppearance() {
    // Dialogs and panels are windows of their own: they follow the theme through the application.
    ThemePalette::applyToApp();
    setPalette(ThemePalette::make());
    setAutoFillBackground(true);
}

void MainWindow::bringToFront() {
    // Back from the dock or taskbar as it was: a maximised window stays maximised.
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::toggle() {
    if (isVisible() && !isMinimized())
        hide();
    else
        bringToFront();
}

void MainWindow::closeEvent(QCloseEvent *e) {
    hide();
    e->ignore();
}

void MainWindow::resizeEvent(QResizeEvent *) { tabs_->setGeometry(rect()); }
