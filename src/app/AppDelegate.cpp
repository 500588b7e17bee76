#include "app/AppDelegate.h"

#include "app/Keys.h"
#include "app/MainWindow.h"
#include "app/StatusItem.h"
#include "health/CustomReminderStore.h"
#include "health/HealthManager.h"
#include "platform/Prefs.h"
#include "platform/SingleInstance.h"
#include "platform/UnixSignals.h"
#include "ui/WidgetDialogs.h"
#include <QApplication>
#include <QSystemTrayIcon>

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate() {
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

    mainWin_ = new MainWindow;
    statusItem_ = new StatusItem(mainWin_);
    connect(statusItem_, &StatusItem::quitRequested, this, [this] { quitApp(); });
    connect(instance_.get(), &SingleInstance::activationRequested, mainWin_, &MainWindow::bringToFront);

    // The health reminders start with their engine; the alarms are armed once the store has loaded.
    HealthManager::shared();
    CustomReminderStore::shared().scheduleAll();

    // Without a tray to click, the window is the only way in.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) mainWin_->bringToFront();
    return true;
}

void AppDelegate::quitApp() { QCoreApplication::quit(); }

void AppDelegate::willTerminate() { Prefs::get().flush(); }
