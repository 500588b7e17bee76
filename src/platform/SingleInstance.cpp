#include "platform/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

SingleInstance::SingleInstance(const QString &id, QObject *parent) : QObject(parent), id_(id) {}
SingleInstance::~SingleInstance() = default;

QString SingleInstance::runtimeDir() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir;
}

QString SingleInstance::lockPath() const { return runtimeDir() + QLatin1Char('/') + id_ + QStringLiteral(".lock"); }
QString SingleInstance::socketPath() const { return runtimeDir() + QLatin1Char('/') + id_; }

bool SingleInstance::claim() {
    lock_ = std::make_unique<QLockFile>(lockPath());
    // A lock left by a killed process names a dead pid; Qt takes it over at once.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return false;
    }
    // Only the lock's owner may clear a socket left behind by a crash.
    QLocalServer::removeServer(socketPath());
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (s->readAll().contains("show")) emit activationRequested();
                s->write("ok");
                s->flush();
                s->disconnectFromServer();
            });
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    if (!server_->listen(socketPath()))
        qWarning("mivo: cannot listen on %s: %s", qPrintable(socketPath()), qPrintable(server_->errorString()));
    return true;
}

bool SingleInstance::signalRunning(int timeoutMs) {
    QLocalSocket s;
    s.connectToServer(socketPath());
    if (!s.waitForConnected(timeoutMs)) return false;
    s.write("show\n");
    s.flush();
    s.waitForBytesWritten(timeoutMs);
    return s.waitForReadyRead(timeoutMs);
}
