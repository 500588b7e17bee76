#include "app/AppDelegate.h"

#include "app/Keys.h"
#include "app/MainWindow.h"
#include "app/StatusItem.h"
#include "platform/Prefs.h"
#include "platform/SingleInstance.h"
#include "platform/UnixSignals.h"
#include "ui/BannerWindow.h"
#include "ui/NoFocusRingStyle.h"
#include "ui/ToneSoundPlayer.h"
#include "ui/WidgetDialogs.h"
#include <QApplication>
#include <QShortcut>
#include <QSystemTrayIcon>

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate() {
    Sound::install(nullptr); // the player is our child and goes with us
    delete statusItem_;
    delete mainWin_;
}

bool AppDelegate::launch() {
    // A second instance leaves before it creates a window, a store or an engine, and without writing
    // to the preferences: the running one owns them.
    instance_ = std::make_unique<SingleInstance>(QString::fromLatin1(kBundleId));
    if (!instance_->claim()) {
        instance_->signalRunning();
        return false;
    }

    signals_ = new UnixSignals(this);
    connect(signals_, &UnixSignals::terminationRequested, this, [this] { quitApp(); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { willTerminate(); });

    WidgetDialogs::installAsDefault();
    NoFocusRingStyle::install();
    // Engines announce through the seams; these live as long as the process.
    static BannerWindowPresenter banners;
    Banners::install(&banners);
    Sound::install(new ToneSoundPlayer(this));

    mainWin_ = new MainWindow;
    statusItem_ = new StatusItem(mainWin_);
    connect(statusItem_, &StatusItem::quitRequested, this, [this] { quitApp(); });
    // There is no menu bar to carry "Quit Mivo": its shortcut works in the window.
    auto *quit = new QShortcut(QKeySequence::Quit, mainWin_);
    quit->setContext(Qt::ApplicationShortcut);
    connect(quit, &QShortcut::activated, this, [this] { quitApp(); });
    connect(instance_.get(), &SingleInstance::activationRequested, mainWin_, &MainWindow::bringToFront);

    // Without a tray to click, the window is the only way in.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) mainWin_->bringToFront();
    return true;
}

void AppDelegate::quitApp() { QCoreApplication::quit(); }

void AppDelegate::willTerminate() { Prefs::get().flush(); }
