#include "pomodoro/PomodoroTimer.h"

#include "platform/Keys.h"
#include "platform/Announce.h"
#include "platform/Clock.h"
#include "platform/Notifier.h"
#include "platform/Prefs.h"
#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr qint64 kTickMs = 1000;
constexpr int kSaveEverySecs = 30;
constexpr qint64 kDefaultCycles = 4;
constexpr qint64 kDefaultGoal = 8;
constexpr double kMaxSeconds = PomodoroTimer::kMaxMinutes * 60;

// The counters are meant never to reach the limit; if a stored value is already near it, stop there
// rather than wrap into negative numbers.
qint64 satAdd(qint64 a, qint64 b) {
    qint64 out;
    if (__builtin_add_overflow(a, b, &out))
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    return out;
}

qint64 satFromDouble(double d) {
    if (!(d < 9.2e18)) return std::numeric_limits<qint64>::max();
    return qint64(d);
}

qint64 posMod(qint64 a, qint64 m) {
    const qint64 r = a % m;
    return r < 0 ? r + m : r;
}

bool saneSeconds(double s) {
    return std::isfinite(s) && s > 0 && s <= kMaxSeconds;
}

// The whole number of steps of length step in e, and what is left (never negative).
double wholeSteps(double &e, double step) {
    double k = std::floor(e / step);
    if (!(k > 0)) return 0;
    double left = e - k * step;
    if (left < 0) {
        k -= 1;
        left += step;
    }
    e = std::max(0.0, left);
    return k;
}
} // namespace

PomodoroTimer::PomodoroTimer(QObject *parent) : QObject(parent) {
    loadState();
}

PomodoroTimer::~PomodoroTimer() = default;

PomodoroTimer &PomodoroTimer::shared() {
    // Lives as long as the process: it must still be there when the quit path saves its state.
    static PomodoroTimer *instance = new PomodoroTimer;
    return *instance;
}

// ---- settings ----------------------------------------------------------------------------------

double PomodoroTimer::minutesFor(Phase p) const {
    const double v = Prefs::get().doubleValue(QLatin1String(Phases::lengthKey(p)));
    // A corrupted value (inf, NaN, 1e300, 1e-300) would overflow every conversion to whole seconds or
    // make the catch-up count phases past any integer; it reads as the default like a zero does.
    if (std::isfinite(v) && v >= kMinMinutes && v <= kMaxMinutes) return v;
    return Phases::defaultMinutes(p);
}

double PomodoroTimer::durationFor(Phase p) const {
    return minutesFor(p) * 60.0;
}

PhaseLengths PomodoroTimer::lengths() const {
    return {durationFor(Phase::work), durationFor(Phase::rest), durationFor(Phase::longRest),
            cyclesBeforeLong()};
}

void PomodoroTimer::setWorkMins(double m) {
    Prefs::get().setDouble(kWorkMins, m);
}
void PomodoroTimer::setBreakMins(double m) {
    Prefs::get().setDouble(kBreakMins, m);
}
void PomodoroTimer::setLongBreakMins(double m) {
    Prefs::get().setDouble(kLongBreakMins, m);
}

qint64 PomodoroTimer::cyclesBeforeLong() const {
    const qint64 v = Prefs::get().integer(kCyclesBeforeLong);
    return v > 0 ? v : kDefaultCycles;
}
void PomodoroTimer::setCyclesBeforeLong(qint64 n) {
    Prefs::get().setInt(kCyclesBeforeLong, n);
}

qint64 PomodoroTimer::dailyGoal() const {
    const qint64 v = Prefs::get().integer(kPomDailyGoal);
    return v > 0 ? v : kDefaultGoal;
}
void PomodoroTimer::setDailyGoal(qint64 n) {
    Prefs::get().setInt(kPomDailyGoal, n);
}

bool PomodoroTimer::soundEnabled() const {
    return Prefs::get().switchOn(kSoundOn);
}
void PomodoroTimer::setSoundEnabled(bool on) {
    Prefs::get().setBool(kSoundOn, on);
}
bool PomodoroTimer::notificationsEnabled() const {
    return Prefs::get().switchOn(kNotifOn);
}
void PomodoroTimer::setNotificationsEnabled(bool on) {
    Prefs::get().setBool(kNotifOn, on);
}

// ---- running -----------------------------------------------------------------------------------

void PomodoroTimer::post() {
    Notifier::get().post(QLatin1String(Notify::pomodoroChanged), this);
}

void PomodoroTimer::scheduleTicker() {
    if (ticker_) {
        ticker_->stop();
        ticker_->deleteLater();
    }
    // Taken from the clock at each start, so a test clock installed after creation drives it.
    ticker_ = Clock::get().makeTicker(this);
    // Precise: a coarse timer may drift by up to 5 % a tick, and the countdown counts ticks.
    ticker_->setPrecise(true);
    connect(ticker_, &Ticker::timeout, this, &PomodoroTimer::tick);
    ticker_->start(kTickMs);
}

void PomodoroTimer::start() {
    if (isRunning_) return;
    isRunning_ = true;
    lastTickAt_ = Clock::get().refSeconds();
    scheduleTicker();
    post();
    saveState();
}

void PomodoroTimer::pause() {
    isRunning_ = false;
    if (ticker_) {
        ticker_->stop();
        ticker_->deleteLater(); // pause() may run inside the ticker's own signal
        ticker_ = nullptr;
    }
    post();
    saveState();
}

void PomodoroTimer::reset() {
    pause();
    phase_ = Phase::work;
    cycleCount_ = 0;
    total_ = remaining_ = durationFor(Phase::work);
    post();
    saveState();
}

void PomodoroTimer::applyNewSettings() {
    const bool wasRunning = isRunning_;
    reset();
    if (wasRunning) start();
}

void PomodoroTimer::switchToPhase(Phase p) {
    const bool wasRunning = isRunning_;
    pause();
    phase_ = p;
    total_ = remaining_ = durationFor(p);
    post();
    saveState();
    if (wasRunning) start();
}

void PomodoroTimer::tick() {
    remaining_ = std::max(remaining_ - 1.0, 0.0);
    lastTickAt_ = Clock::get().refSeconds();
    if (remaining_ != 0)
        post();
    else
        advance(true);
    if (qint64(remaining_) % kSaveEverySecs == 0) saveState();
}

QDate PomodoroTimer::today() const {
    return Clock::get().now().toLocalTime().date();
}

QString PomodoroTimer::dayString(const QDate &d) {
    return QStringLiteral("%1-%2-%3").arg(d.year()).arg(d.month()).arg(d.day());
}

void PomodoroTimer::advance(bool notify) {
    Prefs &prefs = Prefs::get();
    if (phase_ == Phase::work) {
        cycleCount_ = satAdd(cycleCount_, 1);
        const QDate day = today();
        const QString t = dayString(day);
        const QString last = prefs.string(kPomLastDate).value_or(QString());
        const qint64 todayCount = last == t ? prefs.integer(kPomTodayCount) : 0;
        const qint64 totalCount = prefs.integer(kPomTotalCount);
        const qint64 focusSecs = last == t ? prefs.integer(kPomFocusSecs) : 0;
        const qint64 streak = prefs.integer(kPomStreak);
        const QString streakLast = prefs.string(kPomStreakLast).value_or(QString());

        // Yesterday is the calendar's previous day: "now minus 24 hours" names today or the day before
        // yesterday around a daylight-saving change and would double-count or reset the streak.
        qint64 newStreak = 1;
        if (streakLast == dayString(day.addDays(-1)))
            newStreak = satAdd(streak, 1);
        else if (streakLast == t)
            newStreak = streak;

        prefs.setInt(kPomTodayCount, satAdd(todayCount, 1));
        prefs.setInt(kPomTotalCount, satAdd(totalCount, 1));
        // The full length is credited, also for a phase skipped before its end.
        prefs.setInt(kPomFocusSecs, satAdd(focusSecs, qint64(total_)));
        prefs.setString(kPomLastDate, t);
        prefs.setInt(kPomStreak, newStreak);
        prefs.setString(kPomStreakLast, t);

        phase_ = cycleCount_ % cyclesBeforeLong() == 0 ? Phase::longRest : Phase::rest;
    } else {
        phase_ = Phase::work;
    }
    total_ = remaining_ = durationFor(phase_);

    if (notify && notificationsEnabled()) {
        Banners::show(Phases::notifyTitle(phase_), Phases::notifyBody(phase_, minutesFor(phase_)),
                      Phases::accentColor(phase_));
        if (soundEnabled())
            Sound::play(phase_ == Phase::work ? QStringLiteral("Glass") : QStringLiteral("Ping"));
    }
    post();
    saveState();
}

// ---- reading -----------------------------------------------------------------------------------

double PomodoroTimer::progress() const {
    if (!(total_ > 0)) return 0;
    const double p = 1.0 - remaining_ / total_;
    return std::isnan(p) ? 0 : std::clamp(p, 0.0, 1.0);
}

double PomodoroTimer::smoothProgress() const {
    if (!(total_ > 0)) return 0;
    if (!isRunning_) return progress();
    // Following the remaining time (not a start date) keeps the ring honest after a system sleep,
    // during which the ticker did not run.
    const double sinceTick = std::clamp(Clock::get().refSeconds() - lastTickAt_, 0.0, 1.0);
    const double p = (total_ - remaining_ + sinceTick) / total_;
    return std::isnan(p) ? 0 : std::clamp(p, 0.0, 1.0);
}

qint64 PomodoroTimer::todayCount() const {
    const auto last = Prefs::get().string(kPomLastDate);
    return last && *last == dayString(today()) ? Prefs::get().integer(kPomTodayCount) : 0;
}

qint64 PomodoroTimer::focusSecsToday() const {
    const auto last = Prefs::get().string(kPomLastDate);
    return last && *last == dayString(today()) ? Prefs::get().integer(kPomFocusSecs) : 0;
}

qint64 PomodoroTimer::totalCount() const {
    return Prefs::get().integer(kPomTotalCount);
}
qint64 PomodoroTimer::streak() const {
    return Prefs::get().integer(kPomStreak);
}

// ---- state -------------------------------------------------------------------------------------

void PomodoroTimer::saveState() {
    Prefs &prefs = Prefs::get();
    prefs.setString(kPhase, Phases::rawValue(phase_));
    prefs.setDouble(kRemaining, remaining_);
    prefs.setDouble(kTimestamp, Clock::get().refSeconds());
    prefs.setBool(kWasRunning, isRunning_);
    prefs.setInt(kCycleCount, cycleCount_);
}

void PomodoroTimer::loadState() {
    const Prefs &prefs = Prefs::get();
    TimerPosition pos;
    pos.phase = Phases::fromRaw(prefs.string(kPhase).value_or(QString())).value_or(Phase::work);
    pos.cycleCount = prefs.integer(kCycleCount);
    pos.total = durationFor(pos.phase);
    // A longer remaining time than the phase's current length stays (the length may have been
    // shortened since); only a damaged value (inf, NaN, absurdly large) falls back like a missing one.
    const double r = prefs.doubleValue(kRemaining);
    pos.remaining = saneSeconds(r) ? r : pos.total;

    if (prefs.boolValue(kWasRunning)) {
        const double t = prefs.doubleValue(kTimestamp);
        if (std::isfinite(t) && t > 0) {
            const double e = Clock::get().refSeconds() - t;
            if (e > 0) pos = replay(pos, e, lengths());
        }
    }
    phase_ = pos.phase;
    cycleCount_ = pos.cycleCount;
    total_ = pos.total;
    remaining_ = pos.remaining;
}

TimerPosition PomodoroTimer::replay(TimerPosition pos, double elapsed, const PhaseLengths &len) {
    if (!(elapsed > 0) || !std::isfinite(elapsed)) return pos;
    const qint64 c = std::max<qint64>(1, len.cyclesBeforeLong);
    double e = elapsed;

    auto endPhase = [&] {
        if (pos.phase == Phase::work) {
            pos.cycleCount = satAdd(pos.cycleCount, 1);
            pos.phase = pos.cycleCount % c == 0 ? Phase::longRest : Phase::rest;
        } else {
            pos.phase = Phase::work;
        }
        pos.phasesEnded = satAdd(pos.phasesEnded, 1);
        pos.total = pos.remaining = len.of(pos.phase);
    };

    // At the start of a focus phase the rest of the time away falls into whole cycles (c focus phases,
    // c - 1 short breaks and one long break, whatever the count is now), then into focus-and-short-
    // break pairs up to the next long break; both are skipped without stepping through them, so a long
    // absence with short phases costs no more than a short one.
    auto skipAhead = [&] {
        const double cycle = double(c) * len.work + double(c - 1) * len.rest + len.longRest;
        const double cycles = wholeSteps(e, cycle);
        if (cycles > 0) {
            pos.cycleCount = satAdd(pos.cycleCount, satFromDouble(cycles * double(c)));
            pos.phasesEnded = satAdd(pos.phasesEnded, satFromDouble(cycles * double(c) * 2));
        }
        const qint64 toLong = c - posMod(pos.cycleCount, c); // focus phases up to the long break
        if (toLong > 1) {
            double e2 = e;
            const double pairs = std::min(double(toLong - 1), wholeSteps(e2, len.work + len.rest));
            if (pairs > 0) {
                e = std::max(0.0, e - pairs * (len.work + len.rest));
                pos.cycleCount = satAdd(pos.cycleCount, qint64(pairs));
                pos.phasesEnded = satAdd(pos.phasesEnded, qint64(pairs) * 2);
            }
        }
    };

    for (;;) {
        if (e < pos.remaining) {
            pos.remaining -= e;
            break;
        }
        e -= pos.remaining;
        endPhase();
        if (!(e > 0)) break;
        if (pos.phase == Phase::work) skipAhead();
    }
    return pos;
}
