#include "platform/AtomicFile.h"

#include "platform/Deadline.h"
#include "platform/ImportFile.h"
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <xxhash.h>

namespace AtomicFile {
namespace {
// Whether the file system holding path has no room for another block (for this user).
bool fileSystemFull(const QString &path) {
    struct statvfs st {};
    if (::statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &st) != 0) return false;
    const unsigned long long blocks = ::geteuid() == 0 ? st.f_bfree : st.f_bavail;
    return blocks == 0;
}

constexpr qsizetype kChecksumBytes = sizeof(XXH128_canonical_t);

QByteArray checksum(const char *data, qsizetype size) {
    XXH128_canonical_t sum;
    XXH128_canonicalFromHash(&sum, XXH3_128bits(data, size_t(size)));
    return QByteArray(reinterpret_cast<const char *>(sum.digest), kChecksumBytes);
}

// The same over the parts one after another.
QByteArray checksum(const std::vector<QByteArrayView> &parts) {
    XXH3_state_t *state = XXH3_createState();
    if (!state) throw std::bad_alloc();
    XXH3_128bits_reset(state);
    for (const QByteArrayView part : parts) XXH3_128bits_update(state, part.data(), size_t(part.size()));
    XXH128_canonical_t sum;
    XXH128_canonicalFromHash(&sum, XXH3_128bits_digest(state));
    XXH3_freeState(state);
    return QByteArray(reinterpret_cast<const char *>(sum.digest), kChecksumBytes);
}

QString systemError(int e) {
    return QString::fromLocal8Bit(std::strerror(e));
}

// A rename is on disk once its folder is.
void syncFolder(const QString &folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
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

namespace {
std::function<void()> g_stretchHook;

// Written by a deadline, this much at a time: each stretch is on disk before the next is written, so
// the last sync has little left to do and no single wait is long.
constexpr qsizetype kSyncStretch = 4 << 20;

// The parts, then sum, written to f and on disk; by the deadline when given (false then, with error
// set, once it has passed).
bool writeSynced(QTemporaryFile &f, const std::vector<QByteArrayView> &parts, const QByteArray &sum,
                 const Deadline *by, WriteResult &error) {
    const auto late = [&] {
        if (!by || !by->passed()) return false;
        error = {false, QStringLiteral("no time was left to write it")};
        return true;
    };
    const auto failed = [&] {
        error = {false, writeError(f)};
        return false;
    };
    {
        // The first stretch is written whatever is left: a few changes are kept in a moment, and
        // only a file of many megabytes could hold the quit up. A stretch may span parts. Without a
        // deadline too: the last sync then has as little left to do.
        qsizetype at = 0; // in the file
        size_t part = 0;
        qsizetype in = 0; // in parts[part]
        const auto partsLeft = [&] {
            while (part < parts.size() && in == parts[part].size()) {
                ++part;
                in = 0;
            }
            return part < parts.size();
        };
        while (partsLeft()) {
            if (at > 0 && late()) return false;
            const qsizetype from = at;
            while (at - from < kSyncStretch && partsLeft()) {
                const QByteArrayView p = parts[part];
                const qsizetype n = std::min(kSyncStretch - (at - from), p.size() - in);
                if (f.write(p.data() + in, n) != n) return failed();
                in += n;
                at += n;
            }
            if (!f.flush()) return failed();
            // Its pages on disk now, while the deadline can still be looked at.
            if (::sync_file_range(f.handle(), from, at - from,
                                  SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
                error = {false, systemError(errno)};
                return false;
            }
            if (g_stretchHook) g_stretchHook();
        }
        if (f.write(sum) != sum.size() || !f.flush()) return failed();
    }
    if (::fsync(f.handle()) != 0) {
        error = {false, systemError(errno)};
        return false;
    }
    return true;
}

WriteResult writeSideFileBy(const QString &path, const std::vector<QByteArrayView> &parts, const Deadline *by) {
    // QSaveFile writes where a link at the path leads. This file is made beside the name instead
    // (created new, for this user only) and renamed over it: a rename replaces the name itself,
    // whatever it is, and never what a link there points at.
    const QFileInfo at(path);
    QTemporaryFile f(at.absolutePath() + QLatin1Char('/') + at.fileName() + QStringLiteral(".XXXXXX"));
    if (!f.open()) return {false, f.errorString()};
    const QByteArray sum = checksum(parts);
    WriteResult failed;
    if (!writeSynced(f, parts, sum, by, failed)) return failed;
    const QByteArray from = QFile::encodeName(f.fileName());
    const QByteArray to = QFile::encodeName(path);
    if (::rename(from.constData(), to.constData()) != 0) {
        const int e = errno;
        // A folder in the way is kept, under another name, and the file takes its place.
        if (e != EISDIR) return {false, systemError(e)};
        if (keepAside(path).isEmpty() || ::rename(from.constData(), to.constData()) != 0)
            return {false, systemError(e)};
    }
    f.setAutoRemove(false);
    syncFolder(at.absolutePath());
    return {true, {}};
}
} // namespace

WriteResult writeSideFile(const QString &path, const QByteArray &content) {
    return writeSideFileBy(path, {QByteArrayView(content)}, nullptr);
}

WriteResult writeSideFile(const QString &path, const QByteArray &content, const Deadline &by) {
    return writeSideFileBy(path, {QByteArrayView(content)}, &by);
}

WriteResult writeSideFile(const QString &path, const std::vector<QByteArrayView> &parts, const Deadline *by) {
    return writeSideFileBy(path, parts, by);
}

void setStretchHookForTests(std::function<void()> hook) {
    g_stretchHook = std::move(hook);
}

SideFile readSideFile(const QString &path, qint64 maxBytes) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return {};
    // Anything else with the name (a link, a pipe, a folder, a file this user may not read, one
    // too large to be ours, one cut short or changed by a bit) is damage.
    ImportFile::Result read = ImportFile::read(path, maxBytes + kChecksumBytes, ImportFile::Links::refuse);
    if (read.error != ImportFile::Error::none || read.bytes.size() < kChecksumBytes)
        return {SideState::damaged, {}, {}};
    const qsizetype size = read.bytes.size() - kChecksumBytes;
    if (checksum(read.bytes.constData(), size) != QByteArrayView(read.bytes).sliced(size)) {
        read.bytes.truncate(size);
        return {SideState::damaged, {}, std::move(read.bytes)};
    }
    read.bytes.truncate(size);
    return {SideState::ok, std::move(read.bytes), {}};
}

QString keepAside(const QString &path) {
    const QString stem = path + QStringLiteral(".unreadable-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray from = QFile::encodeName(path);
    for (int n = 1; n <= 1000; ++n) {
        const QString target = n == 1 ? stem : stem + QStringLiteral("-%1").arg(n);
        const QByteArray to = QFile::encodeName(target);
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
            return target;
        if (errno == EEXIST) continue;
        if (errno != EINVAL) return {};
        // A file system that cannot rename without replacing: look first.
        struct stat st {};
        if (::lstat(to.constData(), &st) == 0) continue;
        return ::rename(from.constData(), to.constData()) == 0 ? target : QString();
    }
    return {};
}

} // namespace AtomicFile
