#pragma once
// The text-fit walk through what the pages open (dialogs, sheets, panels, alerts), in every look a
// user can choose: six languages × three font scales × the four themes. It fails on any text cut in
// a frame, any two texts drawn over each other, any control whose font ignores the font scale and, in
// the dark theme, on any window, field or plain button drawn light.
// Each render test program walks one part of the app, so ctest runs them side by side.
#include "app/ContrastCheck.h"
#include "app/LookChecks.h"
#include "common/PageTest.h"
#include "common/TestEnv.h"
#include "common/TextFitCheck.h"
#include "ui/AlertDialog.h"
#include "ui/Fonts.h"
#include "ui/Lang.h"
#include "ui/QtTexts.h"
#include "ui/Theme.h"
#include "ui/ThemePalette.h"
#include <QDir>
#include <QRegularExpression>
#include <QtTest>

struct Look {
    AppTheme theme;
    double scale;
    AppLang lang;
    QString name() const {
        return QStringLiteral("%1, %2, scale %3").arg(AppThemes::rawValue(theme), AppLangs::rawValue(lang)).arg(scale);
    }
};

// Theme and scale change least often: pages that follow a change rebuild the most for those.
inline QList<Look> allLooks() {
    QList<Look> out;
    for (AppTheme t : {AppTheme::dark, AppTheme::silver, AppTheme::pink, AppTheme::mint})
        for (double s : {1.0, 1.15, 1.3})
            for (AppLang l : AppLangs::allCases) out << Look{t, s, l};
    return out;
}

// Stores the look as the settings page would, without posting: what is built next takes it.
inline void applyLook(const Look &l) {
    VF::setTheme(l.theme);
    VF::setFontScale(l.scale);
    L::setLang(l.lang);
    QtTexts::apply(l.lang);
    Fonts::applyAppFont(l.scale);
    ThemePalette::applyToApp(); // as the main window does when it takes a theme
}

class RenderWalk {
public:
    Look look{AppTheme::dark, 1.0, AppLang::en};
    QStringList problems;
    QSet<QString> designLow; // texts under 3:1 in the design's own colours, by theme

    // Paints root's window (the kit's widgets note while painting whether they had to elide), then
    // notes every cut text under root and, in the dark theme, every light background in its window.
    void check(QWidget *root, const QString &what) {
        QVERIFY2(root && root->isVisible(), qPrintable(look.name() + ": " + what + " is not shown"));
        QWidget *win = root->window();
        const QPixmap shot = win->grab();
        // Silver at the largest scale in Ukrainian and German, drawn for a person to look at (every
        // look with MIVO_WALK_SHOTS=all).
        const bool all = qgetenv("MIVO_WALK_SHOTS") == "all";
        if (all || (look.theme == AppTheme::silver && look.scale > 1.2 && (look.lang == AppLang::uk || look.lang == AppLang::de))) {
            const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/render/walk/");
            QDir().mkpath(dir);
            QString name = what;
            name.replace(QRegularExpression(QStringLiteral("[^\\w]+"), QRegularExpression::UseUnicodePropertiesOption), QStringLiteral("-"));
            const QString look_ = all ? QStringLiteral("%1-%2-%3-").arg(AppThemes::rawValue(look.theme)).arg(look.scale).arg(AppLangs::rawValue(look.lang))
                                      : AppLangs::rawValue(look.lang) + QLatin1Char('-');
            shot.save(dir + look_ + name + QStringLiteral(".png"));
        }
        const QString where = look.name() + QStringLiteral(", ") + what + QStringLiteral(": ");
        for (const CutText &c : TextFitCheck::findCutTexts(root, look.scale == 1.0)) problems << where + c.describe();
        for (const QString &p : TextFitCheck::findOverlappingTexts(root))
            problems << where + p;
        if (look.theme == AppTheme::dark)
            for (const QString &p : TextFitCheck::findLightBackgrounds(win)) problems << where + p;
        for (const QString &p : LookChecks::findUnscaledFonts(root, look.scale)) problems << where + p;
        // Contrast depends on the theme, not on the language or the scale: two languages per theme.
        if (look.lang == AppLang::uk || look.lang == AppLang::en)
        {
            QStringList low;
            for (const QString &p : ContrastCheck::findLowContrast(win, shot.toImage(), root, ContrastCheck::designInks(), &low))
                problems << where + p;
            for (const QString &p : low) designLow.insert(AppThemes::rawValue(look.theme) + QStringLiteral(", ") + what + QStringLiteral(": ") + p);
        }
        ++checked;
    }

    // Fails with every problem found (each on a line of its own: a test message is cut short).
    void verify() const {
        QVERIFY2(checked > 0, "nothing was checked");
        // Under 3:1 but in the design's own colours: listed, not failed.
        QStringList low(designLow.cbegin(), designLow.cend());
        low.sort();
        for (const QString &p : low) qInfo().noquote() << "LOW CONTRAST (design's own colours)" << p;
        for (const QString &p : problems) qInfo().noquote() << "PROBLEM" << p;
        QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("%1 problems, listed above").arg(problems.size())));
    }

    int checked = 0;
};

// Every alert the walk raises, built as the real dialog, shown and checked, then answered with
// answer (cancel by default); file panels are cancelled.
class WalkDialogs : public Dialogs {
public:
    explicit WalkDialogs(RenderWalk &walk) : walk_(walk) { Dialogs::install(this); }
    ~WalkDialogs() override { Dialogs::install(nullptr); }
    int answer = -1;
    QStringList titles;

    int alert(QWidget *parent, const Alert &a) override {
        AlertDialog d(a, parent ? parent->window() : nullptr);
        d.show();
        settle(); // the accessory's own start-up hooks (focus, look) run
        walk_.check(&d, QStringLiteral("alert \"%1\"").arg(a.title));
        titles << a.title;
        d.close();
        return answer;
    }
    QString savePath(QWidget *, const QString &, const QString &, const QStringList &) override { return {}; }
    QString openPath(QWidget *, const QString &, const QStringList &) override { return {}; }
    QStringList openPaths(QWidget *, const QString &, const QStringList &) override { return {}; }

private:
    RenderWalk &walk_;
};

// A page built and shown on its own at the main window's page size, as the page switcher would.
template <class P> std::unique_ptr<P> openPage(int w = 979, int h = 760) {
    return openShownPage<P>(w, h);
}
