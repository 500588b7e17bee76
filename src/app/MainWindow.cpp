#include "app/MainWindow.h"

#include "app/MainTabVC.h"
#include "ui/Theme.h"
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

MainWindow::MainWindow(QWidget *parent) : MainWindow(MainTabVC::defaultPage, parent) {}

MainWindow::MainWindow(const std::function<Page *(const QString &)> &pageFactory, QWidget *parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Mivo"));
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
    // Dark widgets for the dark theme, light ones for the others.
    QPalette p = style()->standardPalette();
    if (VF::theme() == AppTheme::dark) {
        p.setColor(QPalette::Window, QColor(30, 32, 30));
        p.setColor(QPalette::WindowText, QColor(235, 235, 235));
        p.setColor(QPalette::Base, QColor(22, 26, 22));
        p.setColor(QPalette::AlternateBase, QColor(34, 40, 34));
        p.setColor(QPalette::Text, QColor(235, 235, 235));
        p.setColor(QPalette::Button, QColor(40, 44, 40));
        p.setColor(QPalette::ButtonText, QColor(235, 235, 235));
        p.setColor(QPalette::ToolTipBase, QColor(40, 44, 40));
        p.setColor(QPalette::ToolTipText, QColor(235, 235, 235));
        p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    }
    p.setColor(QPalette::Window, VF::bg());
    p.setColor(QPalette::Highlight, VF::accent());
    setPalette(p);
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
