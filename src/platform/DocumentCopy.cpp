#include "platform/DocumentCopy.h"

#include "platform/Background.h"
#include "platform/ScratchFile.h"
#include <QFile>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <unistd.h>

namespace {
// Followed in memory, each save's splices cost a move of what lies after them on the window's thread,
// and the copy is a second document in memory: above this, a file does both off it.
constexpr qsizetype kMemoryBound = 16 * 1024 * 1024;
std::atomic<qsizetype> g_bound = 0;

// Bytes are copied between files a stretch at a time.
constexpr qint64 kChunk = qint64(1) << 20;

bool readAt(int fd, char *p, qint64 n, qint64 at) {
    while (n > 0) {
        const ssize_t r = ::pread(fd, p, size_t(n), off_t(at));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= r;
        at += r;
    }
    return true;
}
} // namespace

// The file and whether every step so far went into it: written by the lane's worker, read by the
// owner's thread once the lane is idle.
struct DocumentCopy::File {
    std::mutex m;
    int fd = -1;
    bool ok = true;
    ~File() {
        if (fd >= 0) ::close(fd);
    }
    void replace(int next) {
        std::lock_guard l(m);
        if (fd >= 0) ::close(fd);
        fd = next;
    }
    void fail(int next) {
        if (next >= 0) ::close(next);
        std::lock_guard l(m);
        ok = false;
    }
};

qsizetype DocumentCopy::memoryBound() {
    const qsizetype b = g_bound;
    return b > 0 ? b : kMemoryBound;
}

void DocumentCopy::setMemoryBoundForTests(qsizetype bytes) {
    g_bound = bytes;
}

DocumentCopy::DocumentCopy(QObject *owner) : owner_(owner) {}

DocumentCopy::~DocumentCopy() = default; // the lane waits for its step

void DocumentCopy::clear() {
    held_ = QByteArray();
    file_.reset(); // a step under way keeps it till it ends
    size_ = -1;
}

void DocumentCopy::hold(const QByteArray &doc, const QString &databasePath) {
    clear();
    database_ = databasePath;
    size_ = doc.size();
    if (doc.size() <= memoryBound())
        held_ = doc;
    else
        toFile(doc);
}

void DocumentCopy::toFile(QByteArray doc) {
    held_ = QByteArray();
    if (!lane_) lane_ = std::make_unique<Background::Lane>(1);
    file_ = std::make_shared<File>();
    Background::start(
        owner_,
        [file = file_, doc = std::move(doc), at = QFile::encodeName(database_)]() mutable {
            const int fd = ScratchFile::openBeside(at.constData());
            if (fd < 0 || !ScratchFile::writeAll(fd, doc.constData(), doc.size()))
                file->fail(fd);
            else
                file->replace(fd);
            doc = QByteArray(); // freed here
        },
        {}, {}, {QStringLiteral("a copy of a document set aside")}, lane_.get());
}

void DocumentCopy::follow(const std::vector<PrefsSplice> &splices) {
    if (size_ < 0) return;
    const std::optional<qint64> after = splicedSize(size_, splices);
    if (!after) {
        clear();
        return;
    }
    if (!file_) {
        if (!applySplices(held_, splices)) {
            clear();
            return;
        }
        size_ = held_.size();
        if (size_ > memoryBound()) toFile(std::exchange(held_, QByteArray()));
        return;
    }
    const qint64 before = size_;
    size_ = *after;
    Background::start(
        owner_,
        [file = file_, splices, before, at = QFile::encodeName(database_)] {
            int from = -1;
            {
                std::lock_guard l(file->m);
                if (!file->ok) return;
                from = file->fd;
            }
            const auto pieces = splicePieces(before, splices);
            const int fd = ScratchFile::openBeside(at.constData());
            if (!pieces || fd < 0) return file->fail(fd);
            QByteArray buf;
            for (const PrefsPiece &p : *pieces) {
                if (p.bytes && !p.bytes->inFile()) {
                    if (!ScratchFile::writeAll(fd, p.bytes->tail().constData() + p.from, p.len))
                        return file->fail(fd);
                    continue;
                }
                for (qint64 done = 0; done < p.len;) {
                    const qint64 n = std::min(kChunk, p.len - done);
                    buf.resize(n);
                    const bool read = p.bytes ? p.bytes->read(p.from + done, n, buf.data())
                                              : readAt(from, buf.data(), n, p.from + done);
                    if (!read || !ScratchFile::writeAll(fd, buf.constData(), n))
                        return file->fail(fd);
                    done += n;
                }
            }
            file->replace(fd);
        },
        {}, {}, {QStringLiteral("a copy of a document set aside")}, lane_.get());
}

std::optional<QByteArray> DocumentCopy::read() const {
    if (size_ < 0) return std::nullopt;
    if (!file_) return held_;
    lane_->waitIdle();
    std::lock_guard l(file_->m);
    if (!file_->ok || file_->fd < 0) return std::nullopt;
    QByteArray out(size_, Qt::Uninitialized);
    if (!readAt(file_->fd, out.data(), size_, 0)) return std::nullopt;
    return out;
}
