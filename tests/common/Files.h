#pragma once
// Fixture files written and read back by tests.
#include <QFile>
#include <QString>

// Writes bytes to path (replacing what was there) and gives the path back.
inline QString putFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
    return path;
}

// The file's bytes, or nothing when it cannot be read.
inline QByteArray fileBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

#include <csignal>
#include <sys/resource.h>

// Runs fn with the file size limit lowered to bytes, so a write fails half way as on a full disk
// (root included); the limit and the SIGXFSZ handler are put back afterwards.
template <class Fn> auto withFileSizeLimit(rlim_t bytes, Fn fn) {
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto prev = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &small);
    struct Restore {
        rlimit lim;
        void (*handler)(int);
        ~Restore() {
            ::setrlimit(RLIMIT_FSIZE, &lim);
            std::signal(SIGXFSZ, handler);
        }
    } restore{old, prev};
    return fn();
}

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Root passes every permission check; without these rights (on this thread and the threads it starts)
// it meets folder and file modes as a user does.
class WithoutFileRights {
public:
    WithoutFileRights() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct less[2] = {saved_[0], saved_[1]};
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            less[cap / 32].effective &= ~(1u << (cap % 32));
        dropped_ = syscall(SYS_capset, &header_, less) == 0;
    }
    ~WithoutFileRights() {
        if (dropped_) syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};
