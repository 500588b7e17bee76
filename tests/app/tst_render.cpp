#include "platform/Keys.h"
#include "app/MainTabVC.h"
#include "app/MainWindow.h"
#include "app/SidebarView.h"
#include "common/TestEnv.h"
#include "platform/Notifier.h"
#include "ui/Theme.h"
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QSet>
#include <QtTest>

// Draws the main window with every page, in each theme and at the smallest and largest font scale,
// into PNG files under <build>/tests/render/ for a person to look at; fails on a blank picture.
class TstRender : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void everyPageInEveryTheme();
};

namespace {
int distinctColours(const QImage &img) {
    QSet<QRgb> seen;
    for (int y = 0; y < img.height(); y += 7)
        for (int x = 0; x < img.width(); x += 7) seen.insert(img.pixel(x, y));
    return int(seen.size());
}
} // namespace

void TstRender::everyPageInEveryTheme() {
    TempPrefs t;
    const QString out = QCoreApplication::applicationDirPath() + QStringLiteral("/render");
    QDir().mkpath(out);
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (AppTheme theme : {AppTheme::dark, AppTheme::silver, AppTheme::pink, AppTheme::mint}) {
        for (double scale : {1.0, 1.3}) {
            VF::setTheme(theme);
            VF::setFontScale(scale);
            Notifier::get().post(Notify::themeChanged);
            Notifier::get().post(Notify::fontScaleChanged);
            QTest::qWait(30);
            for (const QString &id : MainTabVC::pageIds()) {
                w.tabs()->sidebar()->select(id);
                QTest::qWait(20);
                const QImage img = w.grab().toImage();
                const QString name = QStringLiteral("%1/%2-%3-%4.png")
                                         .arg(out, AppThemes::rawValue(theme), QString::number(scale), id);
                QVERIFY(img.save(name));
                QVERIFY2(distinctColours(img) > 4, qPrintable(name + " looks blank"));
            }
        }
    }
}

QTEST_MAIN(TstRender)
#include "tst_render.moc"
