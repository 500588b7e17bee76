#pragma once
#include <QObject>
#include <QString>
#include <optional>

class QLocalServer;

// One running instance per database. The owner holds an exclusive lock on a file beside the database
// ("<database>.lock"), so two launches that differ in anything else (runtime directory, session) still
// cannot both write the same data; the kernel drops the lock when the process ends, however it ends,
// so a lock file that no live process holds is simply taken over, whatever it contains. The owner
// writes its pid and the path of its local socket into the file; a later launch reads them to ask
// the running one to show its window, and when the file holds nothing (the owner's disk was full)
// it asks at the socket path derived from the database's, which a same-session owner listens on.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // id names the local socket ("com.mivo.app"); dataPath is the database this process would own.
    SingleInstance(const QString &id, const QString &dataPath, QObject *parent = nullptr);
    ~SingleInstance() override;

    enum class Claim {
        Owner,   // this process owns the data (and listens for later launches, if it can)
        Running, // a live process owns the data: ask it with signalRunning(), then leave
        Failed,  // neither: errorString() says why
    };
    Claim claim();
    // From a later launch: ask the owner to come to the front. True when it answered.
    bool signalRunning(int timeoutMs = 1000);

    QString errorString() const { return error_; }
    qint64 ownerPid() const { return ownerPid_; } // the running owner's pid, once claim() said Running
    // The lock file in use: beside the database, or, where none can be made there (a folder or a
    // database file this user may not write), in the runtime directory, named after the database.
    QString lockPath() const { return lockPath_; }
    // The socket the owner listens on (this process's, or the one read from the running owner's lock).
    QString socketPath() const { return socketPath_; }

    static QString runtimeDir();

signals:
    void activationRequested();

private:
    std::optional<Claim> claimAt();
    void listen();
    void readOwner();
    QString derivedSocketPath() const;

    QString id_;
    QString dataPath_;
    QString lockPath_;
    QString socketPath_;
    QString error_;
    qint64 ownerPid_ = 0;
    int fd_ = -1;
    QLocalServer *server_ = nullptr;
};
