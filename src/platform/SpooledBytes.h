#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <memory>
#include <optional>

// Bytes that are a QByteArray while small and, when made a stretch at a time past a bound, lie in a
// file with no name beside the database, read back by stretches: a record of tens of megabytes is
// handed from its encode to the disk without ever being held whole. Never changed once made (the
// last stretch excepted, see tail()); copies share the one file, which goes with the last of them.
// Reads are safe on any thread.
class SpooledBytes {
public:
    SpooledBytes() = default;
    SpooledBytes(QByteArray bytes) : tail_(std::move(bytes)) {} // NOLINT: small bytes are simply these
    SpooledBytes(const char *bytes) : tail_(bytes) {}           // NOLINT

    qint64 size() const { return fileSize() + tail_.size(); }
    bool isEmpty() const { return size() == 0; }
    bool inFile() const { return bool(file_); }
    // The bytes held in memory: all of them when not in a file, else those after the file's.
    const QByteArray &tail() const { return tail_; }
    QByteArray &tail() { return tail_; }
    // Tells these bytes from others held at the same time (by where they lie).
    const void *identity() const {
        return file_ ? static_cast<const void *>(file_.get()) : tail_.constData();
    }

    // Copies [at, at + len) into into. False when that is not inside, or the file cannot be read.
    bool read(qint64 at, qint64 len, char *into) const;
    std::optional<QByteArray> read(qint64 at, qint64 len) const;
    // All of them in memory (shared when they are there already).
    std::optional<QByteArray> whole() const;
    // Appends [at, at + len) to out.
    bool appendTo(QByteArray &out, qint64 at, qint64 len) const;

    bool operator==(const SpooledBytes &o) const;

    class Spooler;

private:
    struct File;
    qint64 fileSize() const;
    std::shared_ptr<const File> file_;
    QByteArray tail_;
};

// Makes SpooledBytes from a buffer the caller appends to: once it holds `from` bytes, all but its last
// stretch go to a file with no name in the folder of `beside` (never the temporary folder, which may
// be memory), and again each time another stretch has come. When that file cannot be made, the bytes
// stay in the buffer; when a write to it fails after some went there, failed() says so and the caller
// makes the bytes again in memory (spooling nothing).
class SpooledBytes::Spooler {
public:
    static constexpr qint64 kStretch = 1024 * 1024;
    static constexpr qint64 kKeep =
        64 * 1024; // in memory at the end: what a change of the last fields rewrites
    explicit Spooler(QByteArray beside, qint64 from);
    ~Spooler();
    Spooler(const Spooler &) = delete;
    Spooler &operator=(const Spooler &) = delete;

    // After appending to buffer: moves what is due of it to the file.
    void spill(QByteArray &buffer);
    // How many bytes went to the file so far.
    qint64 spilled() const;
    bool failed() const { return failed_; }
    // The bytes: those in the file, then buffer. Nothing when failed().
    std::optional<SpooledBytes> finish(QByteArray &&buffer);

private:
    QByteArray beside_;
    qint64 from_;
    std::shared_ptr<File> file_;
    bool failed_ = false;
    bool noFile_ = false;
};
