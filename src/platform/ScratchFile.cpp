#include "platform/ScratchFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace ScratchFile {
int openBeside(const char *name) {
    const QByteArray dir = name && *name
                               ? QFile::encodeName(QFileInfo(QFile::decodeName(name)).absolutePath())
                               : QFile::encodeName(QDir::tempPath());
    int fd = ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // A file system without unnamed files: one named, and unlinked at once.
    QByteArray path = dir + "/.mivo-splice-XXXXXX";
    fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(path.constData());
    return fd;
}

bool writeAll(int fd, const char *p, qint64 n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, size_t(n));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= w;
    }
    return true;
}

bool readAll(int fd, char *p, qint64 n) {
    while (n > 0) {
        const ssize_t r = ::read(fd, p, size_t(n));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= r;
    }
    return true;
}

Fd::~Fd() {
    if (fd >= 0) ::close(fd);
}
} // namespace ScratchFile
