#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {
// A lock file holds at most this much; anything longer was not written by us.
constexpr qint64 kMaxLockContent = 4096;
// How long a later launch waits for a fresh owner to write its details.
constexpr int kOwnerDetailsWaitMs = 1000;

QString errnoText(int e) {
    return QString::fromLocal8Bit(std::strerror(e));
}

// Whether any process holds a lock on this file, from the kernel's list of locks: for a file we may
// not even open. Unknown (no /proc) counts as held.
bool lockedByAnyone(const struct stat &st) {
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) return true;
    // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF", device numbers in hex.
    const QByteArray id = QByteArray::number(major(st.st_dev), 16).rightJustified(2, '0') + ':' +
                          QByteArray::number(minor(st.st_dev), 16).rightJustified(2, '0') + ':' +
                          QByteArray::number(qulonglong(st.st_ino));
    for (const QByteArray &line : locks.readAll().split('\n'))
        for (const QByteArray &field : line.simplified().split(' '))
            if (field == id) return true;
    return false;
}

bool sameFile(int fd, const QByteArray &path) {
    struct stat a {
    }, b{};
    return ::fstat(fd, &a) == 0 && ::lstat(path.constData(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}
} // namespace

SingleInstance::SingleInstance(const QString &id, const QString &dataPath, QObject *parent)
    : QObject(parent), id_(id), dataPath_(QFileInfo(dataPath).absoluteFilePath()),
      lockPath_(dataPath_ + QStringLiteral(".lock")) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
    if (fd_ >= 0) ::close(fd_); // releases the lock; the file stays for the next launch to reuse
}

QString SingleInstance::runtimeDir() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir;
}

SingleInstance::Claim SingleInstance::claim() {
    // A database file this user may not write is shown read-only: nothing, not even a lock file, is
    // made beside it. Where no lock file can be made beside it, the one rule still holds through a
    // lock in the runtime directory, found by every launch with the same runtime directory.
    const QString inRuntimeDir = derivedSocketPath() + QStringLiteral(".lock");
    if (QFileInfo::exists(dataPath_) &&
        ::faccessat(AT_FDCWD, QFile::encodeName(dataPath_).constData(), W_OK, AT_EACCESS) != 0)
        lockPath_ = inRuntimeDir;
    if (const auto c = claimAt()) return *c;
    lockPath_ = inRuntimeDir;
    if (const auto c = claimAt()) return *c;
    // Not even there: nothing can be saved either, so there is nothing for a lock to guard.
    listen();
    return Claim::Owner;
}

// Nothing when no lock file can be made at lockPath_.
std::optional<SingleInstance::Claim> SingleInstance::claimAt() {
    const QByteArray path = QFile::encodeName(lockPath());
    QDir().mkpath(QFileInfo(lockPath()).absolutePath());
    // Each round either ends, or removes something at the lock path that no live owner can hold;
    // the bound only guards against another process doing the same at the same moment forever.
    for (int round = 0; round < 20; ++round) {
        bool readOnly = false;
        int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd < 0 && (errno == EACCES || errno == EPERM)) {
            // Not ours to write: a lock can still be taken on it to learn whether anyone holds it.
            readOnly = true;
            fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        }
        if (fd < 0) {
            const int e = errno;
            struct stat st {};
            if (readOnly && e == EACCES && ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
                !lockedByAnyone(st)) {
                // Not even readable, and nobody holds it: stale. Replace it.
                if (::unlink(path.constData()) == 0) continue;
            }
            if (::lstat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
                // A directory, a link or anything but a file: no Mivo made it, so none holds it.
                if (S_ISDIR(st.st_mode) ? ::rmdir(path.constData()) == 0 : ::unlink(path.constData()) == 0)
                    continue;
                error_ = tr("%1 is not a file and cannot be removed: %2").arg(lockPath(), errnoText(errno));
                return Claim::Failed;
            }
            if (readOnly && e == ENOENT) return std::nullopt; // a folder we may not write
            error_ = tr("cannot open the lock file %1: %2").arg(lockPath(), errnoText(e));
            return Claim::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int e = errno;
            ::close(fd);
            if (e == EWOULDBLOCK) {
                readOwner();
                return Claim::Running;
            }
            error_ = tr("cannot lock %1: %2").arg(lockPath(), errnoText(e));
            return Claim::Failed;
        }
        // Someone may have replaced the file between our open and our lock.
        if (!sameFile(fd, path)) {
            ::close(fd);
            continue;
        }
        struct stat st {};
        ::fstat(fd, &st);
        if (readOnly || !S_ISREG(st.st_mode)) {
            // Stale and unusable: replace it while holding its lock, so a launch racing us finds a
            // new file and starts over.
            const bool removed = ::unlink(path.constData()) == 0;
            const int e = errno;
            if (!removed && S_ISREG(st.st_mode) && (e == EACCES || e == EPERM || e == EROFS)) {
                // In a folder we may not write, the lock we hold on it still guards the data.
                fd_ = fd;
                listen();
                return Claim::Owner;
            }
            ::close(fd);
            if (removed) continue;
            error_ = tr("the lock file %1 is not ours to use and cannot be replaced: %2")
                         .arg(lockPath(), errnoText(e));
            return Claim::Failed;
        }
        fd_ = fd;
        listen();
        // What a later launch reads to find us. A full disk only costs that: the lock itself holds.
        const QByteArray details = QByteArray::number(qint64(::getpid())) + '\n' +
                                   QSysInfo::machineHostName().toUtf8() + '\n' +
                                   QFile::encodeName(socketPath_) + '\n';
        if (::ftruncate(fd_, 0) != 0 ||
            ::pwrite(fd_, details.constData(), size_t(details.size()), 0) != details.size())
            qWarning("mivo: cannot write %s: %s", path.constData(), std::strerror(errno));
        return Claim::Owner;
    }
    error_ = tr("the lock file %1 keeps changing").arg(lockPath());
    return Claim::Failed;
}

QString SingleInstance::derivedSocketPath() const {
    // Named after the database, so owners of different databases sharing one runtime directory do
    // not take each other's socket.
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(dataPath_), QCryptographicHash::Sha1).toHex();
    return runtimeDir() + QLatin1Char('/') + id_ + QLatin1Char('-') + QString::fromLatin1(hash.left(12));
}

void SingleInstance::listen() {
    // Only the owner of this database may clear a socket left by a crash.
    socketPath_ = derivedSocketPath();
    QLocalServer::removeServer(socketPath_);
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
    // Without the socket later launches cannot bring the window forward; the data stays guarded.
    if (!server_->listen(socketPath_)) {
        qWarning("mivo: cannot listen on %s: %s", qPrintable(socketPath_),
                 qPrintable(server_->errorString()));
        socketPath_.clear();
    }
}

void SingleInstance::readOwner() {
    // A fresh owner may not have written its details yet.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QFile f(lockPath());
        if (f.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = f.read(kMaxLockContent).split('\n');
            if (lines.size() >= 4) {
                bool ok = false;
                const qint64 pid = lines[0].toLongLong(&ok);
                const QString socket = QFile::decodeName(lines[2]);
                ownerPid_ = ok && pid > 0 ? pid : 0;
                // Only a socket of ours is asked to show a window.
                const QFileInfo fi(socket);
                socketPath_ =
                    fi.isAbsolute() && fi.fileName().startsWith(id_ + QLatin1Char('-')) ? socket : QString();
                return;
            }
        }
        if (waited.elapsed() > kOwnerDetailsWaitMs) break;
        QThread::msleep(20);
    }
    // No details: the owner could not write them (a full disk leaves the lock file empty). An owner
    // in the same runtime directory still listens where the database's name puts it.
    ownerPid_ = 0;
    socketPath_ = derivedSocketPath();
}

bool SingleInstance::signalRunning(int timeoutMs) {
    if (socketPath_.isEmpty()) return false;
    QLocalSocket s;
    s.connectToServer(socketPath_);
    if (!s.waitForConnected(timeoutMs)) return false;
    s.write("show\n");
    s.flush();
    s.waitForBytesWritten(timeoutMs);
    return s.waitForReadyRead(timeoutMs);
}
