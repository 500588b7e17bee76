#include "platform/SpooledBytes.h"

#include "platform/ScratchFile.h"
#include <cerrno>
#include <cstring>
#include <unistd.h>

struct SpooledBytes::File {
    int fd = -1;
    qint64 size = 0;
    ~File() {
        if (fd >= 0) ::close(fd);
    }
};

qint64 SpooledBytes::fileSize() const {
    return file_ ? file_->size : 0;
}

bool SpooledBytes::read(qint64 at, qint64 len, char *into) const {
    if (at < 0 || len < 0 || at > size() || len > size() - at) return false;
    const qint64 inFile = fileSize();
    while (len > 0 && at < inFile) {
        const ssize_t r = ::pread(file_->fd, into, size_t(std::min(len, inFile - at)), off_t(at));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        into += r;
        at += r;
        len -= r;
    }
    if (len > 0) std::memcpy(into, tail_.constData() + (at - inFile), size_t(len));
    return true;
}

std::optional<QByteArray> SpooledBytes::read(qint64 at, qint64 len) const {
    if (!file_ && at == 0 && len == tail_.size()) return tail_;
    if (at < 0 || len < 0 || at > size() || len > size() - at) return std::nullopt;
    QByteArray out(len, Qt::Uninitialized);
    if (!read(at, len, out.data())) return std::nullopt;
    return out;
}

std::optional<QByteArray> SpooledBytes::whole() const {
    return read(0, size());
}

bool SpooledBytes::appendTo(QByteArray &out, qint64 at, qint64 len) const {
    if (!file_) {
        if (at < 0 || len < 0 || at > tail_.size() || len > tail_.size() - at) return false;
        out.append(tail_.constData() + at, len);
        return true;
    }
    const qsizetype was = out.size();
    out.resize(was + len);
    if (read(at, len, out.data() + was)) return true;
    out.truncate(was);
    return false;
}

bool SpooledBytes::operator==(const SpooledBytes &o) const {
    if (!file_ && !o.file_) return tail_ == o.tail_;
    if (size() != o.size()) return false;
    const auto a = whole(), b = o.whole();
    return a && b && *a == *b;
}

SpooledBytes::Spooler::Spooler(QByteArray beside, qint64 from) : beside_(std::move(beside)), from_(from) {
    // No folder of the database: nothing is spooled (the temporary folder may be memory).
    noFile_ = beside_.isEmpty();
}

SpooledBytes::Spooler::~Spooler() = default;

qint64 SpooledBytes::Spooler::spilled() const {
    return file_ ? file_->size : 0;
}

void SpooledBytes::Spooler::spill(QByteArray &buffer) {
    if (noFile_ || failed_) return;
    if (buffer.size() < (file_ ? kStretch + kKeep : std::max(from_, kStretch + kKeep))) return;
    if (!file_) {
        auto f = std::make_shared<File>();
        f->fd = ScratchFile::openBeside(beside_.constData());
        if (f->fd < 0) {
            noFile_ = true; // held in memory, as a small one is
            return;
        }
        file_ = std::move(f);
    }
    const qint64 n = buffer.size() - kKeep;
    if (!ScratchFile::writeAll(file_->fd, buffer.constData(), n)) {
        failed_ = true;
        file_.reset();
        return;
    }
    file_->size += n;
    buffer.remove(0, n);
}

std::optional<SpooledBytes> SpooledBytes::Spooler::finish(QByteArray &&buffer) {
    if (failed_) return std::nullopt;
    SpooledBytes out(std::move(buffer));
    out.file_ = std::exchange(file_, nullptr);
    return out;
}
