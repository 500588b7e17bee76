#pragma once
#include <QDate>
#include <QDateTime>
#include <QObject>
#include <vector>

class Ticker;

// The one source of "now" and of timers for engines. The app runs on SystemClock; tests install a
// FakeClock and move time by hand, so days and hours pass without sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // A timer owned by parent that fires on this clock's time.
    virtual Ticker *makeTicker(QObject *parent) = 0;

    QDate today() const { return now().date(); }
    // Seconds since 1 January 2001 00:00 UTC, the reference of every stored time stamp.
    double refSeconds() const { return toRefSeconds(now()); }
    static double toRefSeconds(const QDateTime &t);
    static QDateTime fromRefSeconds(double s);

    static Clock &get();
    static void install(Clock *clock); // takes no ownership; nullptr returns to the system clock
};

// A timer on a Clock. Intervals are milliseconds and may exceed what one QTimer can hold.
class Ticker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void start(qint64 intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    void setSingleShot(bool s) { singleShot_ = s; }
    bool isSingleShot() const { return singleShot_; }
    void setPrecise(bool p) { precise_ = p; }
    qint64 interval() const { return interval_; }

signals:
    void timeout();

protected:
    bool singleShot_ = false;
    bool precise_ = false;
    qint64 interval_ = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    Ticker *makeTicker(QObject *parent) override;
};

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
