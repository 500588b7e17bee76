#pragma once
// Test doubles for the platform seams: time, banners, sounds and dialogs. They live with the tests so
// the shipped binary carries none of them.
#include "platform/Announce.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SteadyClock.h"
#include <QColor>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <atomic>
#include <functional>
#include <vector>

// Time that moves only when told to. advance() fires every timer that falls due on the way, in order,
// with now() set to each timer's deadline while it runs.
class FakeClock : public Clock {
public:
    explicit FakeClock(const QDateTime &start);
    ~FakeClock() override;
    QDateTime now() const override { return now_; }
    Ticker *makeTicker(QObject *parent) override;

    void setNow(const QDateTime &t) { now_ = t; }
    void advance(double seconds);
    void advanceMs(qint64 ms);
    int activeTickers() const;

private:
    friend class FakeTicker;
    QDateTime now_;
    std::vector<class FakeTicker *> tickers_;
};

// Steady time that moves only when told to, or by a step at every look (as if each look came after
// that much work). It starts where the steady clock it stands in for is, so that a turn begun before
// it came is not taken for one begun in the future.
class FakeSteadyClock : public SteadyClock {
public:
    qint64 nowNs() const override {
        const qint64 step = step_;
        return now_.fetch_add(step) + step;
    }
    void advanceMs(double ms) { now_ += qint64(ms * 1e6); }
    void setStepMs(double ms) { step_ = qint64(ms * 1e6); }

private:
    mutable std::atomic<qint64> now_{SteadyClock::get().nowNs()};
    std::atomic<qint64> step_{0};
};

// Recorders for tests.
class RecordingBanners : public BannerPresenter {
public:
    struct Shown {
        QString title, body;
        QColor accent;
    };
    QList<Shown> shown;
    int dismissed = 0;
    RecordingBanners() { Banners::install(this); }
    ~RecordingBanners() override { Banners::install(nullptr); }
    void show(const QString &t, const QString &b, const QColor &a) override { shown.append({t, b, a}); }
    void dismissAll() override { ++dismissed; }
};

class RecordingSound : public SoundPlayer {
public:
    QStringList played;
    RecordingSound() { Sound::install(this); }
    ~RecordingSound() override { Sound::install(nullptr); }
    void play(const QString &name) override { played << name; }
};

// Answers scripted in advance; records what was asked. For tests.
class ScriptedDialogs : public Dialogs {
public:
    QStringList alertsShown; // "title|text"
    QList<int> alertAnswers; // consumed in order; 0 when empty
    QList<std::function<void(const Alert &)>> fills; // run in order before answering, e.g. to type into an accessory
    QStringList savePaths, openPathAnswers;
    QStringList proposed; // the file name each save panel offered
    QList<QStringList> openManyAnswers;
    int alert(QWidget *, const Alert &a) override;
    QString savePath(QWidget *, const QString &, const QString &, const QStringList &) override;
    QString openPath(QWidget *, const QString &, const QStringList &) override;
    QStringList openPaths(QWidget *, const QString &, const QStringList &) override;
    // Runs the event loop until more than `before` alerts were shown (false after a long while): an
    // import reads its file on a worker, and what it says comes once the file is in.
    bool waitForAlertsAfter(qsizetype before);
};

#include "platform/Deadline.h"
#include <atomic>

// Deadline time that moves only when something waits: a wait for another thread takes all that is
// left of its deadline, a pause what it asks for. onPause runs at each pause, before time moves, for
// what another program does meanwhile. Installed for the life of the object.
class SteppedTime : public Deadline::Time {
public:
    std::function<void()> onPause;
    SteppedTime() { Deadline::installTime(this); }
    ~SteppedTime() override { Deadline::installTime(nullptr); }
    qint64 nowMs() const override { return now_; }
    void waitUntil(qint64 untilMs) override { now_ = std::max<qint64>(now_, untilMs); }
    void pauseUntil(qint64 untilMs) override {
        ++pauses;
        if (onPause) onPause();
        waitUntil(untilMs);
    }
    void advance(qint64 ms) { now_ += ms; }
    std::atomic<int> pauses = 0;

private:
    std::atomic<qint64> now_ = 1'000'000;
};
