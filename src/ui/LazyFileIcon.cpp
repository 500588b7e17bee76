#include "ui/LazyFileIcon.h"

#include <QApplication>
#include <QEvent>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>
#include <algorithm>

namespace {
class LazyFileIconEngine : public QIconEngine {
public:
    explicit LazyFileIconEngine(std::vector<std::pair<QString, int>> files) {
        for (auto &[name, side] : files)
            if (side > 0) files_.push_back({std::move(name), side, {}, false});
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
            f->pixmap = QPixmap(f->name);
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
        if (mode != QIcon::Normal || state != QIcon::Off) return sizes; // the files are all of the normal look
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

class FirstWindowIcon : public QObject {
public:
    FirstWindowIcon(const QIcon &icon, QObject *parent) : QObject(parent), icon_(icon) {}

    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() == QEvent::Show && o->isWidgetType() && seenByUser(static_cast<QWidget *>(o))) {
            qApp->removeEventFilter(this);
            QApplication::setWindowIcon(icon_); // every window made so far gets it too
            deleteLater();
        }
        return false;
    }

private:
    static bool seenByUser(const QWidget *w) {
        if (!w->isWindow() || w->windowFlags().testFlag(Qt::BypassWindowManagerHint)) return false;
        const Qt::WindowType type = w->windowType();
        return type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen;
    }

    QIcon icon_;
};
} // namespace

namespace LazyFileIcon {
void setAppIconAtFirstWindow(const QIcon &icon) {
    qApp->installEventFilter(new FirstWindowIcon(icon, qApp));
}

QIcon make(std::vector<std::pair<QString, int>> files) {
    return QIcon(new LazyFileIconEngine(std::move(files)));
}
} // namespace LazyFileIcon
