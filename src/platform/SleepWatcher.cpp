#include "platform/SleepWatcher.h"

#include "platform/Clock.h"

namespace {
SleepWatcher *g_installed = nullptr;

const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kPrepareForSleep = QStringLiteral("PrepareForSleep");
} // namespace

SleepWatcher::SleepWatcher(QObject *parent) : QObject(parent), bus_(QString()) {
    startProbe();
}

SleepWatcher::SleepWatcher(const QDBusConnection &bus, QObject *parent) : QObject(parent), bus_(bus) {
    // Only logind itself may tell us about sleep: the match names its service.
    if (bus_.isConnected())
        logind_ = bus_.connect(kLogindService, kLogindPath, kLogindManager, kPrepareForSleep, this,
                               SLOT(onPrepareForSleep(bool)));
    startProbe();
}

SleepWatcher::~SleepWatcher() {
    if (logind_)
        bus_.disconnect(kLogindService, kLogindPath, kLogindManager, kPrepareForSleep, this,
                        SLOT(onPrepareForSleep(bool)));
    if (g_installed == this) g_installed = nullptr;
}

SleepWatcher &SleepWatcher::get() {
    if (g_installed) return *g_installed;
    static SleepWatcher *sys = new SleepWatcher(QDBusConnection::systemBus());
    return *sys;
}

void SleepWatcher::install(SleepWatcher *w) {
    g_installed = w;
}

void SleepWatcher::onPrepareForSleep(bool goingToSleep) {
    if (goingToSleep)
        emit willSleep();
    else
        emit didWake();
}

void SleepWatcher::startProbe() {
    if (!probe_) {
        probe_ = Clock::get().makeTicker(this);
        probe_->setSingleShot(true);
        connect(probe_, &Ticker::timeout, this, [this] { check(true); });
    }
    started_ = Clock::get().now();
    probe_->start(kProbeMs);
}

void SleepWatcher::probe() {
    check(false);
}

void SleepWatcher::check(bool intervalElapsed) {
    const QDateTime now = Clock::get().now();
    // Wall time since this probe interval began, against the monotonic time we know has passed: the
    // whole interval when the probe's own timer ran, nothing we can vouch for when called early.
    const qint64 wallMs = started_.msecsTo(now);
    const qint64 aheadMs = wallMs - (intervalElapsed ? kProbeMs : 0);
    const bool forward = aheadMs > kSleepJumpMs;
    const bool backward = aheadMs < -kBackJumpMs;
    startProbe();
    if (!forward && !backward) return;
    if (forward && !logind_) {
        emit willSleep();
        emit didWake();
    }
    emit clockChanged();
}
