// The application's icon: read from its files only when a size is asked for, picked and scaled as
// Qt's own icon would, and given to the windows a user sees as they are shown.
#include "common/Instrumented.h"
#include "common/TestEnv.h"
#include "platform/Background.h"
#include "ui/LazyFileIcon.h"
#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>
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

    void windowsAUserSeesGetTheIconWhenShown() {
        QTemporaryDir dir;
        const QList<int> sides = {16, 22, 48};
        std::vector<std::pair<QString, int>> files;
        for (int s : sides) {
            QVERIFY(sample(s).save(dir.filePath(QStringLiteral("%1.png").arg(s))));
            files.emplace_back(dir.filePath(QStringLiteral("%1.png").arg(s)), s);
        }
        const QIcon lazy = LazyFileIcon::make(files);
        LazyFileIcon::setWindowIconsAtShow(files);
        // The tray's own window, a menu and a tooltip-like window do not count, and a window never
        // shown gets nothing (the window system would be sent every size for it).
        QWidget trayLike(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        trayLike.resize(22, 22);
        trayLike.show();
        QMenu menu;
        menu.addAction(QStringLiteral("Quit"));
        menu.popup(QPoint(10, 10));
        QWidget tip(nullptr, Qt::ToolTip);
        tip.show();
        QWidget hidden;
        hidden.winId();
        QCoreApplication::processEvents();
        menu.close();
        // The first real window brings it; its show reads no file (the window system would ask for
        // every size at once): the icon comes a moment later.
        QWidget window;
        window.resize(200, 100);
        window.show();
        QVERIFY(!window.testAttribute(Qt::WA_SetWindowIcon));
        QTRY_VERIFY(window.testAttribute(Qt::WA_SetWindowIcon));
        const QIcon given = window.windowIcon();
        for (QWidget *w : {&trayLike, static_cast<QWidget *>(&menu), &tip, &hidden})
            QVERIFY(!w->testAttribute(Qt::WA_SetWindowIcon));
        QVERIFY(QApplication::windowIcon().isNull());
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
        // A window shown later gets the same icon at once; one with an icon of its own keeps it.
        QWidget second;
        second.show();
        QCOMPARE(second.windowIcon().cacheKey(), given.cacheKey());
        QWidget own;
        const QIcon ownIcon = LazyFileIcon::make({{QStringLiteral(":/none.png"), 16}});
        own.setWindowIcon(ownIcon);
        own.show();
        QCOMPARE(own.windowIcon().cacheKey(), ownIcon.cacheKey());
    }

    // The filter sees every event, a worker's hand-back to a window included. Taken from Qt's queue
    // without the event loop waking (whose wake-up ThreadSanitizer would read as the handover), the
    // event is known to this thread only through Qt's lock: under ThreadSanitizer, a filter that
    // reads it as its own is a race of ours and fails the run.
    void workersHandBacksPassTheFilter() {
        LazyFileIcon::setWindowIconsAtShow({});
        QWidget receiver;
        constexpr int kJobs = 20;
        int got = 0;
        for (int i = 0; i < kJobs; ++i)
            Background::run<int>(
                &receiver, [i] { return i; }, [&got](int) { ++got; }, {QStringLiteral("a test's job")});
        QDeadlineTimer until(scaledWaitMs(30000));
        while (got < kJobs && !until.hasExpired()) {
            QCoreApplication::sendPostedEvents();
            QThread::yieldCurrentThread();
        }
        QCOMPARE(got, kJobs);
    }
};

QTEST_MAIN(LazyFileIconTest)
#include "tst_lazy_file_icon.moc"
