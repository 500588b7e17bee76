#pragma once
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QString>
#include <functional>

// Project photos, decoded once: the project detail is rebuilt every second while the timer runs, and
// decoding camera pictures that often would stall the window. An entry is kept by path and used
// again while the file's modification time and size are unchanged. Images are kept at most
// kMaxSide pixels on their longer side, which is more than any view of them shows.
class PhotoCache {
public:
    static constexpr int kMaxSide = 1600;
    static PhotoCache &shared();

    // The image at path, or a null image when no file exists there or it does not load as an image.
    QImage image(const QString &path);
    bool exists(const QString &path) const;
    int decodeCount() const { return decodes_; }
    void clear() { entries_.clear(); }

private:
    struct Entry {
        QDateTime mtime;
        qint64 size = -1;
        QImage image;
    };
    QHash<QString, Entry> entries_;
    int decodes_ = 0;
};

// Opens a photo file in the desktop's default viewer. Behind a seam so tests record instead.
namespace PhotoFiles {
bool open(const QString &path);
// nullptr returns to the desktop.
void installOpener(std::function<void(const QString &)> opener);
} // namespace PhotoFiles
