#pragma once
#include <QDBusConnection>
#include <QDateTime>
#include <QObject>

class Ticker;

// Tells engines when the machine goes to sleep, when it wakes, and when the wall clock moved by
// something other than the passing of time (a suspend nobody reported, or the user or NTP setting the
// clock). Timers run on the monotonic clock, which stands still during suspend, so anything that
// must happen at a wall-clock moment re-checks its deadline on didWake() and clockChanged().
//
// Sleep and wake come from logind's PrepareForSleep signal when the system bus is there. Without one
// (containers, CI) a jump detector stands in: a probe on the Clock seam notices when the wall clock
// ran far ahead of the probe's own interval and reports it as a sleep followed by a wake. The probe
// runs in both cases and reports every jump as clockChanged().
class SleepWatcher : public QObject {
    Q_OBJECT
public:
    // Jump detector only.
    explicit SleepWatcher(QObject *parent = nullptr);
    // Listens on bus for logind's PrepareForSleep; falls back to the detector when bus is not connected.
    explicit SleepWatcher(const QDBusConnection &bus, QObject *parent = nullptr);
    ~SleepWatcher() override;

    // The process-wide watcher, on the system bus, created on first use unless a test installed one.
    static SleepWatcher &get();
    static void install(SleepWatcher *w); // takes no ownership; nullptr returns to the default

    bool usesLogind() const { return logind_; }

    // Compares the wall clock with the probe's expectation now and reports a jump; then starts the
    // next probe interval. The probe calls it on its own; tests call it after moving the clock.
    void probe();

    // Forward jumps longer than this count as a sleep when logind cannot tell us; shorter drift
    // (a late timer, NTP slewing) is ignored.
    static constexpr qint64 kSleepJumpMs = 30'000;
    static constexpr qint64 kBackJumpMs = 2'000;
    static constexpr qint64 kProbeMs = 10'000;

signals:
    void willSleep();
    void didWake();
    void clockChanged();

private slots:
    void onPrepareForSleep(bool goingToSleep);

private:
    void startProbe();
    void check(bool intervalElapsed);

    Ticker *probe_ = nullptr;
    QDateTime started_;
    bool logind_ = false;
    QDBusConnection bus_;
};
