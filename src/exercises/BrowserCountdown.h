#pragma once
#include <QObject>
#include <QString>

class Ticker;

// The browser window's step countdown, on the app's Clock: start(n) shows n seconds at once and
// counts down once a second; the tick that takes it below 1 stops it and emits expired() exactly
// once. stop() ends it silently.
class BrowserCountdown : public QObject {
    Q_OBJECT
public:
    explicit BrowserCountdown(QObject *parent = nullptr);

    void start(qint64 seconds);
    void stop();
    bool isRunning() const;
    qint64 remaining() const { return remaining_; }
    QString text() const { return running_ || started_ ? format(remaining_) : placeholder(); }

    // "⏱  01:30"; a count below zero shows 00:00.
    static QString format(qint64 remaining);
    static QString placeholder() { return QStringLiteral("⏱  --:--"); }

signals:
    void textChanged(const QString &text);
    void expired();

private:
    void tick();
    Ticker *ticker_ = nullptr;
    qint64 remaining_ = 0;
    bool running_ = false;
    bool started_ = false;
};
