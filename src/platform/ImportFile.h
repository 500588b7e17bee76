#pragma once
#include <QByteArray>
#include <QString>
#include <functional>

class QFile;
class QObject;

// Reading a file the user picked for an import. Only a regular file is read: a named pipe, a device,
// a socket or a folder is refused at once (it is opened without blocking, then looked at), and no
// import reads more than kMaxBytes. The read runs on a worker and hands its result back on the
// caller's thread.
namespace ImportFile {
// The one bound for every import: a full backup of a large profile fits well within it.
inline constexpr qint64 kMaxBytes = 256LL * 1024 * 1024;

enum class Error { none, notAFile, tooLarge, unreadable };
struct Result {
    QByteArray bytes;
    Error error = Error::none;
};

// Whether a symbolic link at the path itself is read through. A file the user picked is read where
// the link leads; a file Mivo keeps for itself is never read through one (notAFile).
enum class Links { follow, refuse };

// Blocks the calling thread for the read itself (never for a pipe or a device): call it on a worker.
Result read(const QString &path, qint64 maxBytes = kMaxBytes, Links links = Links::follow);

// The points of a read a test may act at: just before the path is opened, and once what was opened
// is known to be a regular file within the bound, before its bytes are read.
enum class Step { opening, sized };
void setStepHookForTests(std::function<void(Step)> hook);

// Opens path for reading into file only when it is a regular file (no waiting for a pipe's writer):
// for readers that stream a file themselves, such as an image reader that wants its header only.
bool openRegular(const QString &path, QFile &file);

// An import's own error for what read() found. Its enum names the four outcomes of a read as Error
// does (none, notAFile, tooLarge, unreadable), so every import tells a file it could not read alike.
template <class ReadError> ReadError readError(Error e) {
    switch (e) {
    case Error::none:
        return ReadError::none;
    case Error::notAFile:
        return ReadError::notAFile;
    case Error::tooLarge:
        return ReadError::tooLarge;
    case Error::unreadable:
        break;
    }
    return ReadError::unreadable;
}

// What to tell the user for notAFile and tooLarge (empty for the others, which each import reports
// in its own words).
QString message(Error e);

// read(path) on a worker, done on context's thread unless context is gone by then (Background). Quitting
// never waits for it: a read still running then is abandoned with the process, its result dropped.
void readLater(const QString &path, QObject *context, std::function<void(Result)> done);
} // namespace ImportFile
