#include "pomodoro/PhotoCache.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QImageReader>
#include <QUrl>

PhotoCache &PhotoCache::shared() {
    static PhotoCache c;
    return c;
}

bool PhotoCache::exists(const QString &path) const { return !path.isEmpty() && QFileInfo(path).isFile(); }

QImage PhotoCache::image(const QString &path) {
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.isFile()) {
        entries_.remove(path);
        return {};
    }
    const QDateTime mtime = fi.lastModified();
    auto it = entries_.find(path);
    if (it != entries_.end() && it->mtime == mtime && it->size == fi.size()) return it->image;
    ++decodes_;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize sz = reader.size();
    if (sz.isValid() && (sz.width() > kMaxSide || sz.height() > kMaxSide))
        reader.setScaledSize(sz.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio));
    Entry e{mtime, fi.size(), reader.read()};
    entries_.insert(path, e);
    return e.image;
}

namespace PhotoFiles {
namespace {
std::function<void(const QString &)> &opener() {
    static std::function<void(const QString &)> f;
    return f;
}
} // namespace

bool open(const QString &path) {
    if (path.isEmpty()) return false;
    if (opener()) {
        opener()(path);
        return true;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void installOpener(std::function<void(const QString &)> f) { opener() = std::move(f); }
} // namespace PhotoFiles
