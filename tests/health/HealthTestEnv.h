#pragma once
#include "common/TestEnv.h"
#include "health/CustomReminderStore.h"
#include "health/HealthManager.h"
#include "common/Fakes.h"
#include "platform/SleepWatcher.h"

// Banners with the moment they were shown.
class TimedBanners : public RecordingBanners {
public:
    explicit TimedBanners(const QDateTime &start) : start_(start) {}
    QList<QDateTime> when;
    void show(const QString &t, const QString &b, const QColor &a) override {
        RecordingBanners::show(t, b, a);
        when << Clock::get().now();
    }
    // Seconds after the start of the banners whose title contains part.
    QList<qint64> timesOf(const QString &part) const {
        QList<qint64> out;
        for (int i = 0; i < shown.size(); ++i)
            if (shown[i].title.contains(part)) out << start_.secsTo(when[i]);
        return out;
    }

private:
    QDateTime start_;
};

// Fresh preferences, a fake clock starting at start, a sleep watcher on that clock and recorders;
// the engine and the store are rebuilt on first use and torn down before the clock goes.
struct HealthEnv {
    explicit HealthEnv(const QDateTime &start) : clock(start), banners(start) {
        SleepWatcher::install(&watcher);
    }
    ~HealthEnv() {
        HealthManager::resetShared();
        CustomReminderStore::resetShared();
        SleepWatcher::install(nullptr);
    }
    TempPrefs prefs;
    TestClock clock;
    SleepWatcher watcher;
    TimedBanners banners;
    RecordingSound sound;
};
