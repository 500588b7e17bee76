#pragma once
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

// One running instance per user. The first process holds a lock file in the runtime directory and
// listens on a local socket; a later one finds the lock taken, asks the first to show its window and
// must then exit without creating anything.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString &id, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the one instance (and now listens for others).
    bool claim();
    // From a second process: ask the running one to come to the front. True when it answered.
    bool signalRunning(int timeoutMs = 1000);

    static QString runtimeDir();
    QString lockPath() const;
    QString socketPath() const;

signals:
    void activationRequested();

private:
    QString id_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer *server_ = nullptr;
};
