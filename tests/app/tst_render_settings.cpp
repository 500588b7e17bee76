#include "app/RenderWalk.h"
#include "settings/SettingsView.h"
#include "settings/SupportView.h"
#include "ui/Fonts.h"
#include <QAbstractButton>

// The settings page (also just after a click on another language), its questions, and the support
// page, in every look (app/RenderWalk.h).
class TstRenderSettings : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void initTestCase() { Fonts::applyAppFont(); }
    void settingsAndSupportFitInEveryLook();
};

void TstRenderSettings::settingsAndSupportFitInEveryLook() {
    TempPrefs prefs;
    RenderWalk walk;
    WalkDialogs dialogs(walk);
    for (const Look &look : allLooks()) {
        walk.look = look;
        applyLook(look);
        auto settings = openPage<SettingsView>();
        QVERIFY(settings);
        walk.check(settings.get(), QStringLiteral("settings"));
        for (const char *action : {"resetButton", "eraseButton", "importButton"}) {
            auto *b = settings->findChild<QAbstractButton *>(QLatin1String(action));
            QVERIFY2(b, action);
            b->click(); // each asks first; the walk answers "cancel"
        }
        // Another language clicked on the page itself: it rebuilds in place.
        const AppLang other = AppLangs::allCases[(size_t(look.lang) + 1) % AppLangs::allCases.size()];
        auto *langButton = settings->findChild<QAbstractButton *>(QStringLiteral("langButton_") + AppLangs::rawValue(other));
        QVERIFY(langButton);
        langButton->click();
        settle();
        QCOMPARE(L::lang(), other);
        walk.check(settings.get(), QStringLiteral("settings after switching to ") + AppLangs::rawValue(other));
        settings.reset();
        L::setLang(look.lang);
        auto support = openPage<SupportView>();
        QVERIFY(support);
        walk.check(support.get(), QStringLiteral("support"));
    }
    QVERIFY2(dialogs.titles.size() >= 3 * allLooks().size(), qPrintable(dialogs.titles.join('\n')));
    walk.verify();
}

QTEST_MAIN(TstRenderSettings)
#include "tst_render_settings.moc"
