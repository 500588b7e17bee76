#include "app/MainWindow.h"

#include "app/MainTabVC.h"
#include "app/NavItem.h"
#include "app/SidebarView.h"
#include "ui/Theme.h"
#include "ui/ThemePalette.h"
#include <QBackingStore>
#include <QCloseEvent>
#include <QPainter>
#include <QTimer>
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
    if (!shownOnce_) {
        prepareFirstShow();
        return;
    }
    showInFront();
}

void MainWindow::showInFront() {
    // Back from the dock or taskbar as it was: a maximised window stays maximised.
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

namespace {
// Each a picture decoded: about a millisecond and a half on a busy machine.
constexpr int kEmojiPerTurn = 2;
// The backing store's first writes are filled in bands, one a turn: touching new memory is slow on a
// busy machine (about 20 ms for the whole window).
constexpr int kFillBands = 4;
} // namespace

void MainWindow::prepareFirstShow() {
    if (preparing_) return; // shown once the steps under way end
    preparing_ = true;
    bandsFilled_ = 0;
    emojiAhead_ = SidebarView::emojiShown();
    QTimer::singleShot(0, this, [this] { firstShowStep(); });
}

void MainWindow::firstShowStep() {
    if (shownOnce_) { // shown meanwhile by other means
        preparing_ = false;
        return;
    }
    if (bandsFilled_ < kFillBands) {
        fillBackingStoreBand(bandsFilled_++);
    } else if (!emojiAhead_.isEmpty()) {
        const double dpr = devicePixelRatio();
        for (int n = 0; n < kEmojiPerTurn && !emojiAhead_.isEmpty(); ++n)
            NavItem::drawEmojiAhead(emojiAhead_.takeFirst(), dpr);
    } else {
        preparing_ = false;
        showInFront();
        return;
    }
    QTimer::singleShot(0, this, [this] { firstShowStep(); });
}

void MainWindow::fillBackingStoreBand(int band) {
    winId(); // the native window and its backing store, not yet mapped
    QBackingStore *store = backingStore();
    if (!store) return;
    const QRect all = rect();
    if (store->size() != all.size()) store->resize(all.size());
    const int top = all.height() * band / kFillBands, bottom = all.height() * (band + 1) / kFillBands;
    const QRect rows(0, top, all.width(), bottom - top);
    store->beginPaint(QRegion(rows));
    if (QPaintDevice *device = store->paintDevice()) {
        QPainter p(device);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(rows, palette().color(QPalette::Window));
    }
    store->endPaint();
}

void MainWindow::showEvent(QShowEvent *e) {
    shownOnce_ = true;
    QWidget::showEvent(e);
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
