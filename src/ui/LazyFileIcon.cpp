#include "ui/LazyFileIcon.h"

#include "platform/Background.h"
#include "platform/Handover.h"
#include <QApplication>
#include <QEvent>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>
#include <algorithm>

namespace {
class LazyFileIconEngine : public QIconEngine {
public:
    explicit LazyFileIconEngine(std::vector<std::pair<QString, int>> files,
                                std::vector<QImage> decoded = {}) {
        for (size_t i = 0; i < files.size(); ++i)
            if (files[i].second > 0)
                files_.push_back({std::move(files[i].first),
                                  files[i].second,
                                  {},
                                  i < decoded.size() ? std::move(decoded[i]) : QImage(),
                                  false});
        std::sort(files_.begin(), files_.end(), [](const File &a, const File &b) { return a.side < b.side; });
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override {
        const File *f = pick(size);
        return f ? fitted(f->side, size) : QSize();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override {
        File *f = pick(size);
        if (!f) return {};
        if (!f->read) {
            f->read = true;
            f->pixmap = f->decoded.isNull() ? QPixmap(f->name) : QPixmap::fromImage(std::move(f->decoded));
            f->decoded = QImage();
        }
        QPixmap pm = f->pixmap;
        if (pm.isNull()) return pm;
        const QSize want = fitted(f->side, size);
        if (pm.size() != want) pm = pm.scaled(want, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (mode == QIcon::Normal || mode == QIcon::Active) return pm;
        // The disabled or selected look Qt gives an icon that has no image of its own for it.
        QStyleOption opt;
        opt.palette = QApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, pm, &opt);
    }

    void paint(QPainter *p, const QRect &rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal dpr = p->device() ? p->device()->devicePixelRatio() : qApp->devicePixelRatio();
        p->drawPixmap(rect, pixmap(rect.size() * dpr, mode, state));
    }

    // Known from the names, without reading a file.
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        QList<QSize> sizes;
        if (mode != QIcon::Normal || state != QIcon::Off)
            return sizes; // the files are all of the normal look
        for (const File &f : files_)
            sizes << QSize(f.side, f.side);
        return sizes;
    }

    QIconEngine *clone() const override { return new LazyFileIconEngine(*this); }
    QString key() const override { return QStringLiteral("MivoLazyFileIcon"); }
    bool isNull() override { return files_.empty(); }

private:
    struct File {
        QString name;
        int side;
        QPixmap pixmap;
        QImage decoded; // read already, off the window's thread; becomes the pixmap when first asked for
        bool read;
    };

    // The smallest file whose area reaches the one asked for, else the largest.
    File *pick(const QSize &size) {
        if (files_.empty() || size.isEmpty()) return nullptr;
        const qint64 area = qint64(size.width()) * size.height();
        for (File &f : files_)
            if (qint64(f.side) * f.side >= area) return &f;
        return &files_.back();
    }

    // A file's size, scaled down with its shape kept when it does not fit size.
    static QSize fitted(int side, const QSize &size) {
        QSize s(side, side);
        if (s.width() > size.width() || s.height() > size.height()) s.scale(size, Qt::KeepAspectRatio);
        return s;
    }

    std::vector<File> files_; // by size, smallest first
};

class WindowIcons : public QObject {
public:
    WindowIcons(std::vector<std::pair<QString, int>> files, QObject *parent)
        : QObject(parent), files_(std::move(files)) {}

    bool eventFilter(QObject *o, QEvent *e) override {
        if (Handover::typeOfPosted(e) != QEvent::Show || !o->isWidgetType()) return false;
        auto *w = static_cast<QWidget *>(o);
        if (!seenByUser(w) || w->testAttribute(Qt::WA_SetWindowIcon)) return false;
        if (!icon_.isNull())
            w->setWindowIcon(icon_);
        else
            waiting_.emplace_back(w);
        if (!reading_) decodeThenGive();
        return false;
    }

private:
    static bool seenByUser(const QWidget *w) {
        if (!w->isWindow() || w->windowFlags().testFlag(Qt::BypassWindowManagerHint)) return false;
        const Qt::WindowType type = w->windowType();
        return type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen;
    }

    // The window system asks for every size as soon as a window has an icon, and reading the files
    // (the first image read loads Qt's image format plugins too) would be part of the window's
    // first show; a worker reads them instead and the icon follows a moment later.
    void decodeThenGive() {
        reading_ = true;
        std::vector<QString> names;
        for (const auto &f : files_)
            names.push_back(f.first);
        Background::run<std::vector<QImage>>(
            this,
            [names = std::move(names)] {
                std::vector<QImage> images;
                for (const QString &name : names)
                    images.push_back(QImage(name).convertToFormat(QImage::Format_ARGB32_Premultiplied));
                return images;
            },
            [this](std::vector<QImage> images) {
                icon_ = QIcon(new LazyFileIconEngine(std::move(files_), std::move(images)));
                for (const QPointer<QWidget> &w : waiting_)
                    if (w && !w->testAttribute(Qt::WA_SetWindowIcon)) w->setWindowIcon(icon_);
                waiting_.clear();
            },
            Background::Options(QStringLiteral("window icon"), Background::AtQuit::end));
    }

    std::vector<std::pair<QString, int>> files_;
    bool reading_ = false;
    QIcon icon_;                             // once read
    std::vector<QPointer<QWidget>> waiting_; // shown before it was read
};
} // namespace

namespace LazyFileIcon {
void setWindowIconsAtShow(std::vector<std::pair<QString, int>> files) {
    qApp->installEventFilter(new WindowIcons(std::move(files), qApp));
}

QIcon make(std::vector<std::pair<QString, int>> files) {
    return QIcon(new LazyFileIconEngine(std::move(files)));
}
} // namespace LazyFileIcon
