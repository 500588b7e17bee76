#include "app/MainTabVC.h"
#include "app/MainWindow.h"
#include "app/SidebarView.h"
#include "common/TestEnv.h"
#include "common/TextFitCheck.h"
#include "platform/Keys.h"
#include "exercises/BuiltInExercises.h"
#include "exercises/ExerciseEditor.h"
#include "exercises/ExerciseRunnerPanel.h"
#include "platform/Notifier.h"
#include "ui/Fonts.h"
#include "ui/Lang.h"
#include "ui/Page.h"
#include "ui/Theme.h"
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPushButton>
#include <QSet>
#include <QtTest>

// Draws the main window with every page that MainTabVC builds, so each page added later is
// covered without touching this file:
// - in each theme at the smallest and largest font scale, into PNG files under <build>/tests/render/
//   for a person to look at, with a few pixel probes;
// - in all six languages at the three font scales, failing on any label or button whose text is cut.
class TstRender : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void initTestCase() { Fonts::applyAppFont(); } // as main() does
    void everyPageInEveryTheme();
    void everyTextFitsOnEveryPage();
    void runnerAndEditorInEveryLanguage();
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

void apply(AppTheme theme, double scale, AppLang lang) {
    VF::setTheme(theme);
    VF::setFontScale(scale);
    L::setLang(lang);
    Notifier::get().post(Notify::languageChanged);
    Notifier::get().post(Notify::themeChanged);
    Notifier::get().post(Notify::fontScaleChanged);
    QTest::qWait(10);
}

// Shows the page and lets its queued rebuild run.
Page *show(MainWindow &w, const QString &id) {
    w.tabs()->sidebar()->select(id);
    Page *p = w.tabs()->page(id);
    for (int i = 0; i < 50 && p && p->rebuildPending(); ++i)
        QTest::qWait(2);
    QCoreApplication::processEvents();
    return p;
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
    for (AppLang lang : AppLangs::allCases) {
        for (double scale : {1.0, 1.15, 1.3}) {
            apply(AppTheme::dark, scale, lang);
            for (const QString &id : MainTabVC::pageIds()) {
                show(w, id);
                w.grab(); // paints: the kit's widgets note whether they elided
                const QString where = QStringLiteral("page \"%1\", %2, scale %3: ")
                                          .arg(id, AppLangs::rawValue(lang))
                                          .arg(scale);
                for (const CutText &c : TextFitCheck::findCutTexts(w.tabs()->current(), scale == 1.0))
                    cuts << where + c.describe();
            }
            for (const CutText &c : TextFitCheck::findCutTexts(w.tabs()->sidebar(), scale == 1.0))
                cuts << QStringLiteral("sidebar, %1, scale %2: ").arg(AppLangs::rawValue(lang)).arg(scale) +
                            c.describe();
        }
    }
    L::setLang(AppLang::en);
    QVERIFY2(cuts.isEmpty(),
             qPrintable(QStringLiteral("%1 cut texts:\n").arg(cuts.size()) + cuts.join('\n')));
}

// The runner (a breathing and a stretching exercise) and the editor in every theme and language:
// drawn to PNG files, not blank, and every button title fits, at font scales 1.0 and 1.3.
void TstRender::runnerAndEditorInEveryLanguage() {
    TempPrefs t;
    const QString out = QCoreApplication::applicationDirPath() + QStringLiteral("/render");
    QDir().mkpath(out);
    for (double scale : {1.0, 1.3})
    for (AppLang lang : AppLangs::allCases) {
        VF::setFontScale(scale);
        L::setLang(lang);
        const AppTheme theme = lang == AppLang::en ? AppTheme::dark : lang == AppLang::uk ? AppTheme::pink : AppTheme::silver;
        VF::setTheme(theme);
        QList<QWidget *> windows;
        std::vector<Exercise> lib = BuiltInExercises::make(lang);
        QList<ExerciseRunnerPanel *> runners;
        for (const Exercise &e : lib)
            if (e.id == QLatin1String("builtin-box") || e.id == QLatin1String("builtin-neck"))
                runners << new ExerciseRunnerPanel({e}, 0, std::nullopt, nullptr);
        for (auto *r : runners) {
            r->showAndRaise();
            windows << r->window();
        }
        ExerciseEditorController::show(lib.front(), nullptr, [](std::optional<Exercise>) {});
        windows << ExerciseEditorController::current()->panel();
        QTest::qWait(600);
        int n = 0;
        for (QWidget *w : windows) {
            const QImage img = w->grab().toImage();
            const QString name = QStringLiteral("%1/%2-%3-%4-%5.png")
                                     .arg(out, AppLangs::rawValue(lang), AppThemes::rawValue(theme), QString::number(scale),
                                          w->objectName() + QString::number(n++));
            QVERIFY(img.save(name));
            QVERIFY2(distinctColours(img) > 4, qPrintable(name + " looks blank"));
            QStringList cuts;
            for (const CutText &c : TextFitCheck::findCutTexts(w, scale == 1.0)) cuts << c.describe();
            QVERIFY2(cuts.isEmpty(), qPrintable(name + QStringLiteral(":\n") + cuts.join('\n')));
        }
        for (auto *r : runners) r->close();
        ExerciseEditorController::current()->doCancel();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    L::setLang(AppLang::en);
}

QTEST_MAIN(TstRender)
#include "tst_render.moc"
