#include "platform/ImportFile.h"

#include "platform/Background.h"
#include "ui/Lang.h"
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ImportFile {
namespace {
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

bool isRegular(const QByteArray &name) {
    struct stat st {};
    return ::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool exists(const QByteArray &name) {
    struct stat st {};
    return ::stat(name.constData(), &st) == 0;
}

std::function<void(Step)> &stepHook() {
    static std::function<void(Step)> hook;
    return hook;
}

void reached(Step step) {
    if (const auto &hook = stepHook()) hook(step);
}
} // namespace

void setStepHookForTests(std::function<void(Step)> hook) {
    stepHook() = std::move(hook);
}

Result read(const QString &path, qint64 maxBytes, Links links) {
    const QByteArray name = QFile::encodeName(path);
    // Opening a named pipe for reading waits for a writer, one with O_NONBLOCK does not; a device
    // opens at once either way but must not be read. So: open without waiting, then look at what
    // was opened (not at the path, which may change in between).
    reached(Step::opening);
    const int noFollow = links == Links::refuse ? O_NOFOLLOW : 0;
    Fd f{::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | noFollow)};
    if (f.fd < 0) {
        if (noFollow && errno == ELOOP) return {{}, Error::notAFile};
        // A socket cannot be opened at all; say what it is rather than "unreadable".
        return {{}, exists(name) && !isRegular(name) ? Error::notAFile : Error::unreadable};
    }
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) return {{}, Error::unreadable};
    if (!S_ISREG(st.st_mode)) return {{}, Error::notAFile};
    if (st.st_size > maxBytes) return {{}, Error::tooLarge};
    reached(Step::sized);

    QByteArray bytes;
    // The size may change while it is read: read to the end, but never past the bound.
    qint64 capacity = std::min<qint64>(qint64(st.st_size) + 1, maxBytes + 1);
    bytes.resize(capacity);
    qint64 got = 0;
    for (;;) {
        if (got == capacity) {
            if (capacity > maxBytes) return {{}, Error::tooLarge};
            capacity = std::min<qint64>(capacity * 2, maxBytes + 1);
            bytes.resize(capacity);
        }
        const ssize_t n = ::read(f.fd, bytes.data() + got, size_t(capacity - got));
        if (n < 0) {
            if (errno == EINTR) continue;
            // A file that tells no size and cannot be read (the memory behind /proc/self/mem) is a
            // window on something else, not a file anyone saved: told as such at once.
            return {{}, st.st_size == 0 && got == 0 ? Error::notAFile : Error::unreadable};
        }
        if (n == 0) break;
        got += n;
    }
    if (got > maxBytes) return {{}, Error::tooLarge};
    bytes.truncate(got);
    return {std::move(bytes), Error::none};
}

bool openRegular(const QString &path, QFile &file) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

QString message(Error e) {
    switch (e) {
    case Error::notAFile:
        return L::t(
            {.en = "This is not a regular file (perhaps a folder, a pipe or a device), so it cannot be "
                   "imported. Choose a file.",
             .es = "No es un archivo normal (quizá una carpeta, una tubería o un dispositivo), así que no "
                   "se puede importar. Elige un archivo.",
             .de = "Das ist keine normale Datei (vielleicht ein Ordner, eine Pipe oder ein Gerät) und "
                   "kann nicht importiert werden. Wähle eine Datei.",
             .fr = "Ce n'est pas un fichier ordinaire (peut-être un dossier, un tube ou un périphérique) : "
                   "il ne peut pas être importé. Choisissez un fichier.",
             .uk = "Це не звичайний файл (можливо, папка, канал або пристрій), тому його не можна "
                   "імпортувати. Виберіть файл.",
             .pl = "To nie jest zwykły plik (może folder, potok lub urządzenie), więc nie można go "
                   "zaimportować. Wybierz plik."});
    case Error::tooLarge:
        return L::
            t({.en = "This file is too large to import: an import reads at most %1 MB.",
               .es =
                   "Este archivo es demasiado grande para importarlo: una importación lee como máximo %1 MB.",
               .de = "Diese Datei ist zu groß für den Import: Ein Import liest höchstens %1 MB.",
               .fr = "Ce fichier est trop volumineux pour être importé : une importation lit au plus %1 Mo.",
               .uk = "Цей файл завеликий для імпорту: імпорт читає щонайбільше %1 МБ.",
               .pl = "Ten plik jest za duży do zaimportowania: import wczytuje najwyżej %1 MB."})
                .arg(kMaxBytes / (1024 * 1024));
    case Error::none:
    case Error::unreadable:
        break;
    }
    return {};
}

void readLater(const QString &path, QObject *context, std::function<void(Result)> done) {
    Background::run<Result>(
        context, [path] { return read(path); }, std::move(done));
}
} // namespace ImportFile
