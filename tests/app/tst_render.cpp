#include "app/MainTabVC.h"
#include "app/ContrastCheck.h"
#include "app/LookChecks.h"
#include "app/MainWindow.h"
#include "app/SidebarView.h"
#include "common/PageTest.h"
#include "common/TestEnv.h"
#include "common/TextFitCheck.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "ui/Fonts.h"
#include "ui/Lang.h"
#include "ui/Page.h"
#include "ui/Theme.h"
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QSet>
#include <QtTest>

// Draws the main window with every page that MainTabVC builds, so each page added later is
// covered without touching this file:
// - in each theme at the smallest and largest font scale, into PNG files under <build>/tests/render/
//   for a person to look at, with a few pixel probes;
// - in all six languages at the three font scales in the four themes, failing on any label
//   or button whose text is cut, any two labels drawn over each other, any control whose font ignores the
//   scale, any text under 3:1 against its background unless both colours are the design's own, and, in the
//   dark theme, on any field drawn light.
// What the pages open is walked by the other render tests (app/RenderWalk.h).
class TstRender : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void initTestCase() { Fonts::applyAppFont(); } // as main() does
    void everyPageInEveryTheme();
    void everyTextFitsOnEveryPage();
};

namespace {
int distinctColours(const QImage &img) {
    QSet<QRgb> seen;
    for (int y = 0; y < img.height(); y += 7)
        for (int x = 0; x < img.width(); x += 7)
            seen.insert(img.pixel(x, y));
    return int(seen.size());
}

bool near(QRgb a, const QColor &b, int tol = 3) {
    return std::abs(qRed(a) - b.red()) <= tol && std::abs(qGreen(a) - b.green()) <= tol &&
           std::abs(qBlue(a) - b.blue()) <= tol;
}

// Posts only what changed: a theme or font-scale change rebuilds every page.
void apply(AppTheme theme, double scale, AppLang lang) {
    const bool newTheme = VF::theme() != theme, newScale = VF::fontScale() != scale, newLang = L::lang() != lang;
    VF::setTheme(theme);
    VF::setFontScale(scale);
    L::setLang(lang);
    if (newLang) Notifier::get().post(Notify::languageChanged);
    if (newTheme) Notifier::get().post(Notify::themeChanged);
    if (newScale) Notifier::get().post(Notify::fontScaleChanged);
    settle();
}

// Shows the page and lets its queued rebuild run.
Page *show(MainWindow &w, const QString &id) {
    w.tabs()->sidebar()->select(id);
    settle();
    return w.tabs()->page(id);
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
            apply(theme, scale, AppLang::en);
            for (const QString &id : MainTabVC::pageIds()) {
                show(w, id);
                const QImage img = w.grab().toImage();
                const QString name = QStringLiteral("%1/%2-%3-%4.png")
                                         .arg(out, AppThemes::rawValue(theme), QString::number(scale), id);
                QVERIFY(img.save(name));
                QVERIFY2(distinctColours(img) > 4, qPrintable(name + " looks blank"));
                // The sidebar and the page take the theme's colours: the sidebar's left edge, and
                // somewhere along the page's bottom edge the page background.
                const QPoint side =
                    w.tabs()->sidebar()->mapTo(&w, QPoint(2, w.tabs()->sidebar()->height() / 2));
                QVERIFY2(near(img.pixel(side), VF::bg()), qPrintable(name + ": sidebar colour"));
                QWidget *page = w.tabs()->current();
                bool sawBg = false;
                for (int x = 2; x < page->width() && !sawBg; x += 16)
                    sawBg = near(img.pixel(page->mapTo(&w, QPoint(x, page->height() - 2))), VF::bg(), 6);
                QVERIFY2(sawBg, qPrintable(name + ": no page background along the bottom edge"));
            }
        }
    }
}

void TstRender::everyTextFitsOnEveryPage() {
    TempPrefs t;
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QStringList cuts;
    QSet<QString> designLow; // texts under 3:1 in the design's own colours: listed, not failed
    for (AppTheme theme : {AppTheme::dark, AppTheme::silver, AppTheme::pink, AppTheme::mint})
    for (double scale : {1.0, 1.15, 1.3}) {
        for (AppLang lang : AppLangs::allCases) {
            apply(theme, scale, lang);
            for (const QString &id : MainTabVC::pageIds()) {
                show(w, id);
                const QImage shot = w.grab().toImage(); // paints: the kit's widgets note whether they elided
                const QString where = QStringLiteral("page \"%1\", %2, %3, scale %4: ")
                                          .arg(id, AppThemes::rawValue(theme), AppLangs::rawValue(lang))
                                          .arg(scale);
                for (const CutText &c : TextFitCheck::findCutTexts(w.tabs()->current(), scale == 1.0))
                    cuts << where + c.describe();
                for (const QString &p : TextFitCheck::findOverlappingTexts(w.tabs()->current()))
                    cuts << where + p;
                if (theme == AppTheme::dark && lang == AppLang::en)
                    for (const QString &p : TextFitCheck::findLightBackgrounds(&w)) cuts << where + p;
                for (const QString &p : LookChecks::findUnscaledFonts(w.tabs()->current(), scale)) cuts << where + p;
                if (lang == AppLang::uk || lang == AppLang::en) {
                    QStringList low;
                    for (const QString &p : ContrastCheck::findLowContrast(&w, shot, &w, ContrastCheck::designInks(), &low))
                        cuts << where + p;
                    for (const QString &p : low) designLow.insert(AppThemes::rawValue(theme) + QStringLiteral(", ") + id + QStringLiteral(": ") + p);
                }
            }
            for (const QString &p : LookChecks::findUnscaledFonts(w.tabs()->sidebar(), scale)) cuts << QStringLiteral("sidebar: ") + p;
            for (const CutText &c : TextFitCheck::findCutTexts(w.tabs()->sidebar(), scale == 1.0))
                cuts << QStringLiteral("sidebar, %1, %2, scale %3: ")
                                .arg(AppThemes::rawValue(theme), AppLangs::rawValue(lang))
                                .arg(scale) +
                            c.describe();
        }
    }
    L::setLang(AppLang::en);
    QStringList low(designLow.cbegin(), designLow.cend());
    low.sort();
    for (const QString &p : low) qInfo().noquote() << "LOW CONTRAST (design's own colours)" << p;
    QVERIFY2(cuts.isEmpty(),
             qPrintable(QStringLiteral("%1 cut texts:\n").arg(cuts.size()) + cuts.join('\n')));
}

QTEST_MAIN(TstRender)
#include "tst_render.moc"
