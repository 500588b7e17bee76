// The application's icon: read from its files only when a size is asked for, picked and scaled as
// Qt's own icon would, and given to the windows only once one a user sees is shown.
#include "common/TestEnv.h"
#include "ui/LazyFileIcon.h"
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// A square image of side pixels whose colour says its size and whose corner mark shows scaling.
QImage sample(int side) {
    QImage img(side, side, QImage::Format_ARGB32);
    img.fill(QColor::fromHsv((side * 7) % 360, 200, 220));
    QPainter p(&img);
    p.fillRect(0, 0, side / 2, side / 3, Qt::black);
    return img;
}
} // namespace

class LazyFileIconTest : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }

    void readsWhenAskedAndPicksAsQtDoes() {
        QTemporaryDir dir;
        const QList<int> sides = {16, 22, 32, 64};
        std::vector<std::pair<QString, int>> files;
        for (int s : sides)
            files.emplace_back(dir.filePath(QStringLiteral("%1.png").arg(s)), s);
        // Made before its files exist: nothing is read until a size is asked for.
        const QIcon lazy = LazyFileIcon::make(files);
        QVERIFY(!lazy.isNull());
        QCOMPARE(lazy.availableSizes(), (QList<QSize>{{16, 16}, {22, 22}, {32, 32}, {64, 64}}));
        QVERIFY(lazy.availableSizes(QIcon::Disabled).isEmpty());
        QIcon eager;
        for (int s : sides) {
            QVERIFY(sample(s).save(dir.filePath(QStringLiteral("%1.png").arg(s))));
            eager.addFile(dir.filePath(QStringLiteral("%1.png").arg(s)), QSize(s, s));
        }
        const QList<QSize> asked = {{8, 8},   {16, 16}, {20, 20}, {22, 22}, {23, 23},
                                    {40, 40}, {64, 64}, {90, 90}, {30, 20}, {16, 48}};
        for (const QSize &size : asked) {
            const QByteArray what =
                QByteArray::number(size.width()) + 'x' + QByteArray::number(size.height());
            QVERIFY2(lazy.actualSize(size) == eager.actualSize(size), what);
            for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
                const QImage a =
                    lazy.pixmap(size, 1.0, mode).toImage().convertToFormat(QImage::Format_ARGB32);
                const QImage b =
                    eager.pixmap(size, 1.0, mode).toImage().convertToFormat(QImage::Format_ARGB32);
                QVERIFY2(!a.isNull() && a == b, what + (mode == QIcon::Normal ? " normal" : " disabled"));
            }
        }
        // Painted into a rectangle as Qt's own icon paints.
        QImage a(40, 24, QImage::Format_ARGB32), b(40, 24, QImage::Format_ARGB32);
        a.fill(Qt::white);
        b.fill(Qt::white);
        {
            QPainter pa(&a), pb(&b);
            lazy.paint(&pa, a.rect());
            eager.paint(&pb, b.rect());
        }
        QCOMPARE(a, b);
        // A file that cannot be read gives an empty pixmap, not a crash or another size's image.
        const QIcon broken = LazyFileIcon::make({{dir.filePath(QStringLiteral("missing.png")), 22}});
        QVERIFY(broken.pixmap(QSize(22, 22), 1.0).isNull());
        QVERIFY(LazyFileIcon::make({}).isNull());
    }

    void windowsGetTheIconOnceOneAUserSeesIsShown() {
        QTemporaryDir dir;
        const QList<int> sides = {16, 22, 48};
        std::vector<std::pair<QString, int>> files;
        for (int s : sides) {
            QVERIFY(sample(s).save(dir.filePath(QStringLiteral("%1.png").arg(s))));
            files.emplace_back(dir.filePath(QStringLiteral("%1.png").arg(s)), s);
        }
        const QIcon lazy = LazyFileIcon::make(files);
        LazyFileIcon::setAppIconAtFirstWindow(files);
        QVERIFY(QApplication::windowIcon().isNull());
        // The tray's own window, a menu and a tooltip-like window do not count.
        QWidget trayLike(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        trayLike.resize(22, 22);
        trayLike.show();
        QMenu menu;
        menu.addAction(QStringLiteral("Quit"));
        menu.popup(QPoint(10, 10));
        QWidget tip(nullptr, Qt::ToolTip);
        tip.show();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QVERIFY(QApplication::windowIcon().isNull());
        menu.close();
        // The first real window brings it, to every window made so far as well; its show reads no
        // file (the window system would ask for every size at once): the icon comes a moment later.
        QWidget window;
        window.resize(200, 100);
        window.show();
        QVERIFY(QApplication::windowIcon().isNull());
        QTRY_VERIFY(!QApplication::windowIcon().isNull());
        const QIcon given = QApplication::windowIcon();
        QCOMPARE(window.windowIcon().cacheKey(), given.cacheKey());
        QCOMPARE(trayLike.windowIcon().cacheKey(), given.cacheKey());
        // Every size was read before it was given: with the files gone, it still has each, the same
        // as the icon that reads them when asked.
        const QList<QSize> asked = {{16, 16}, {20, 20}, {22, 22}, {40, 40}, {48, 48}, {64, 64}};
        QList<QImage> expected;
        for (const QSize &size : asked)
            expected << lazy.pixmap(size, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
        for (int s : sides)
            QVERIFY(QFile::remove(dir.filePath(QStringLiteral("%1.png").arg(s))));
        QCOMPARE(given.availableSizes(), lazy.availableSizes());
        for (qsizetype i = 0; i < asked.size(); ++i) {
            const QImage got = given.pixmap(asked[i], 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
            QVERIFY2(!got.isNull() && got == expected[i], qPrintable(QString::number(asked[i].width())));
        }
        // Once given, the watch is gone: a later icon set by hand stays.
        QApplication::setWindowIcon(QIcon());
        QWidget second;
        second.show();
        QCoreApplication::processEvents();
        QVERIFY(QApplication::windowIcon().isNull());
    }
};

QTEST_MAIN(LazyFileIconTest)
#include "tst_lazy_file_icon.moc"
