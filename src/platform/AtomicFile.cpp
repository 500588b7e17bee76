#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace AtomicFile {
namespace {
// Whether the file system holding path has no room for another block (for this user).
bool fileSystemFull(const QString &path) {
    struct statvfs st {};
    if (::statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &st) != 0) return false;
    const unsigned long long blocks = ::geteuid() == 0 ? st.f_bfree : st.f_bavail;
    return blocks == 0;
}
} // namespace

QString writeError(const QFileDevice &f) {
    const int e = errno;
    if (e == ENOSPC || e == EDQUOT || e == EFBIG) return QString::fromLocal8Bit(std::strerror(e));
    if (fileSystemFull(f.fileName())) return QString::fromLocal8Bit(std::strerror(ENOSPC));
    // errno is long gone when a writer (a PDF engine) wrote on after the failure: the size says it.
    struct rlimit lim {};
    if (::getrlimit(RLIMIT_FSIZE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY &&
        f.size() >= qint64(lim.rlim_cur))
        return QString::fromLocal8Bit(std::strerror(EFBIG));
    return f.errorString();
}

WriteResult commit(QSaveFile &f) {
    if (f.error() != QFileDevice::NoError || !f.flush()) {
        const QString err = writeError(f);
        f.cancelWriting();
        return {false, err};
    }
    if (!f.commit()) return {false, writeError(f)};
    return {true, {}};
}

WriteResult write(const QString &path, const QByteArray &bytes) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {false, f.errorString()};
    if (f.write(bytes) != bytes.size()) {
        const QString err = writeError(f);
        f.cancelWriting();
        return {false, err};
    }
    return commit(f);
}


} // namespace AtomicFile
