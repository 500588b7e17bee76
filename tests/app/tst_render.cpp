#include "platform/Keys.h"
#include "app/MainTabVC.h"
#include "app/MainWindow.h"
#include "app/SidebarView.h"
#include "common/TestEnv.h"
#include "exercises/BuiltInExercises.h"
#include "exercises/ExerciseEditor.h"
#include "exercises/ExerciseRunnerPanel.h"
#include "platform/Notifier.h"
#include "ui/Theme.h"
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPushButton>
#include <QSet>
#include <QtTest>

// Draws the main window with every page, in each theme and at the smallest and largest font scale,
// into PNG files under <build>/tests/render/ for a person to look at; fails on a blank picture.
class TstRender : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void everyPageInEveryTheme();
    void runnerAndEditorInEveryLanguage();
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
            for (QPushButton *b : w->findChildren<QPushButton *>()) {
                if (!b->isVisibleTo(w) || b->text().isEmpty()) continue;
                const int need = b->fontMetrics().horizontalAdvance(b->text()) + 8;
                QVERIFY2(need <= b->width(), qPrintable(QStringLiteral("%1: \"%2\" needs %3 of %4")
                                                            .arg(name, b->text()).arg(need).arg(b->width())));
            }
        }
        for (auto *r : runners) r->close();
        ExerciseEditorController::current()->doCancel();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    L::setLang(AppLang::en);
}

QTEST_MAIN(TstRender)
#include "tst_render.moc"
