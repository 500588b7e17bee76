#include "health/HealthManager.h"

#include "platform/Keys.h"
#include "platform/Announce.h"
#include "platform/Clock.h"
#include "platform/Notifier.h"
#include "platform/Prefs.h"
#include "platform/SleepWatcher.h"
#include <QCoreApplication>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {
QPointer<HealthManager> g_shared;

QString todayString() {
    return Clock::get().today().toString(QStringLiteral("yyyy-MM-dd"));
}

int toInt(qint64 v) {
    return int(std::clamp<qint64>(v, INT_MIN, INT_MAX));
}
} // namespace

HealthManager &HealthManager::shared() {
    if (!g_shared) {
        g_shared = new HealthManager;
        g_shared->setParent(QCoreApplication::instance());
        g_shared->startStaggered();
    }
    return *g_shared;
}

void HealthManager::resetShared() {
    delete g_shared.data();
}

HealthManager::HealthManager() {
    // The redraw beat runs for the life of the engine, also while asleep and with every reminder off.
    uiTimer_ = Clock::get().makeTicker(this);
    connect(uiTimer_, &Ticker::timeout, this, [this] { broadcast(); });
    uiTimer_->start(1000);

    SleepWatcher &w = SleepWatcher::get();
    connect(&w, &SleepWatcher::willSleep, this, &HealthManager::onSleep);
    connect(&w, &SleepWatcher::didWake, this, &HealthManager::onWake);
    Notifier::get().observe(QString::fromLatin1(Notify::languageChanged), this,
                            [this](QObject *) { onLangChange(); });
}

std::vector<HReminder> HealthManager::list() const {
    return HReminder::all();
}

void HealthManager::startStaggered() {
    // The offset follows the place in the list, whether or not the reminders before it are on.
    const auto all = list();
    for (size_t i = 0; i < all.size(); ++i)
        restart(all[i], double(i) * kStaggerSecs);
}

double HealthManager::mins(const HReminder &r) const {
    const double v = Prefs::get().doubleValue(r.key);
    if (!std::isfinite(v) || v <= 0) return r.defaultMins;
    return std::clamp(v, kMinMins, kMaxMins);
}

void HealthManager::setMins(double minutes, const HReminder &r) {
    Prefs::get().setDouble(r.key, minutes);
    restart(r, 0);
}

void HealthManager::restart(const HReminder &r, double startOffset) {
    stop(r);
    if (!isOn(r)) return;
    if (!std::isfinite(startOffset) || startOffset < 0) startOffset = 0;

    Slot &s = slots_[r.key];
    if (!s.ticker) {
        s.ticker = Clock::get().makeTicker(this);
        const QString key = r.key;
        connect(s.ticker, &Ticker::timeout, this, [this, key] { onTick(key); });
    }
    s.r = r;
    s.intervalMs = std::llround(mins(r) * 60'000.0);
    const qint64 firstMs = s.intervalMs + std::llround(startOffset * 1000.0);
    nextFire_[r.key] = Clock::get().now().addMSecs(firstMs);
    s.ticker->setSingleShot(true);
    s.ticker->start(firstMs);
}

void HealthManager::stop(const HReminder &r) {
    auto it = slots_.find(r.key);
    if (it != slots_.end()) {
        it->second.ticker->stop();
        ++it->second.generation;
    }
    nextFire_.remove(r.key);
}

void HealthManager::onTick(const QString &key) {
    auto it = slots_.find(key);
    if (it == slots_.end()) return;
    const bool first = it->second.ticker->isSingleShot();
    const quint64 gen = it->second.generation;
    const HReminder r = it->second.r;
    const qint64 intervalMs = it->second.intervalMs;
    fire(r, intervalMs);
    // An observer of the fire may have stopped or restarted this reminder meanwhile.
    it = slots_.find(key);
    if (first && it != slots_.end() && it->second.generation == gen) {
        it->second.ticker->setSingleShot(false);
        it->second.ticker->start(intervalMs);
    }
}

void HealthManager::fire(const HReminder &r, qint64 intervalMs) {
    // The timer's own interval, so remaining() tells when it will really fire.
    nextFire_[r.key] = Clock::get().now().addMSecs(intervalMs);
    incrementShown(r);
    Banners::show(r.emoji + QLatin1Char(' ') + r.name, r.body, r.accent);
    if (Prefs::get().switchOn(kSoundOn) && isSoundOn(r)) Sound::play(QStringLiteral("Pop"));
    broadcast();
}

bool HealthManager::isOn(const HReminder &r) const {
    return Prefs::get().switchOn(r.onKey);
}

void HealthManager::setOn(bool on, const HReminder &r) {
    Prefs::get().setBool(r.onKey, on);
    if (on)
        restart(r, 0);
    else
        stop(r);
    broadcast();
}

bool HealthManager::isSoundOn(const HReminder &r) const {
    return Prefs::get().switchOn(r.soundKey);
}

void HealthManager::setSoundOn(bool on, const HReminder &r) {
    Prefs::get().setBool(r.soundKey, on);
}

int HealthManager::dailyTarget(const HReminder &r) const {
    return std::max(1, toInt(Prefs::get().integer(r.targetKey)));
}

void HealthManager::setDailyTarget(int n, const HReminder &r) {
    Prefs::get().setInt(r.targetKey, std::clamp(n, 1, 99));
    broadcast();
}

int HealthManager::shownToday(const HReminder &r) const {
    const Prefs &p = Prefs::get();
    if (p.string(r.shownDateKey) != todayString()) return 0;
    return toInt(p.integer(r.shownKey));
}

QString HealthManager::todayCountString(const HReminder &r) const {
    return QString::number(shownToday(r)) + QLatin1Char('/') + QString::number(dailyTarget(r));
}

void HealthManager::incrementShown(const HReminder &r) {
    Prefs &p = Prefs::get();
    const QString today = todayString();
    if (p.string(r.shownDateKey) == today) {
        const qint64 n = p.integer(r.shownKey);
        p.setInt(r.shownKey, n < std::numeric_limits<qint64>::max() ? n + 1 : n);
    } else {
        p.setString(r.shownDateKey, today);
        p.setInt(r.shownKey, 1);
    }
}

double HealthManager::remaining(const HReminder &r) const {
    auto it = nextFire_.constFind(r.key);
    if (it == nextFire_.constEnd()) return -1;
    return std::max(0.0, double(Clock::get().now().msecsTo(*it)) / 1000.0);
}

void HealthManager::broadcast() {
    Notifier::get().post(QString::fromLatin1(Notify::healthChanged), this);
}

void HealthManager::onSleep() {
    // The switches stay as they are; only the timers go.
    for (const HReminder &r : list())
        stop(r);
}

void HealthManager::onWake() {
    // Time asleep does not count: every reminder that is on starts a fresh interval.
    Banners::dismissAll();
    uiTimer_->start(1000); // the beat, too, counts from the wake
    startStaggered();
}

void HealthManager::onLangChange() {
    broadcast();
}
