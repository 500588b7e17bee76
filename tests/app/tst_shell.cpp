#include "platform/Keys.h"
#include "app/AppDelegate.h"
#include "app/MainTabVC.h"
#include "app/MainWindow.h"
#include "app/NavItem.h"
#include "app/PlaceholderView.h"
#include "app/SidebarView.h"
#include "common/Files.h"
#include "common/TestEnv.h"
#include "platform/Notifier.h"
#include "settings/Autostart.h"
#include "ui/EmojiCache.h"
#include "ui/Lang.h"
#include "ui/Page.h"
#include "ui/Tag.h"
#include "ui/Theme.h"
#include <QBackingStore>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// A page that counts how it is used and builds one child per setup.
class CountingPage : public Page {
public:
    int setups = 0, rebuilt = 0;
    void setup() override {
        ++setups;
        auto *l = new QLabel(QStringLiteral("built %1").arg(setups), this);
        l->show();
    }
protected:
    void rebuild() override { ++rebuilt; }
};

QStringList headerTexts(SidebarView *s) {
    QStringList out;
    for (QObject *o : s->children())
        if (auto *l = qobject_cast<QLabel *>(o); l && tagOf(l) >= 2000) out << l->text();
    return out;
}
} // namespace

class TstShell : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void startsOnTheTaskBoard();
    void unknownIdShowsCapitalisedPlaceholderUntilReplaced();
    void sidebarClickSelectsAndReportsOnce();
    void pagesAreBuiltWhenFirstShown();
    void themeChangeRebuildsEveryPageAndKeepsTheActiveOne();
    void languageChangeRelabelsWithoutReplacingThePage();
    void pageRedrawsAreMergedAndHeldWhileHidden();
    void closeHidesTheWindow();
    void firstShowPaintsWhatWasPreparedTurnsBefore();
    void everySidebarItemHasAPage();
    // Last: the launch leaves the app's engines running for the rest of the process.
    void launchTurnsAutostartOnWithoutTheSettingsPage();
};

void TstShell::startsOnTheTaskBoard() {
    TempPrefs t;
    MainTabVC vc;
    QCOMPARE(vc.sidebar()->activeID(), QStringLiteral("tasks"));
    vc.show();
    QVERIFY(QTest::qWaitForWindowExposed(&vc));
    // The task board itself, not a placeholder.
    QVERIFY(vc.current());
    QCOMPARE(vc.current()->objectName(), QStringLiteral("tasks"));
    QVERIFY(!qobject_cast<PlaceholderView *>(vc.current()));
    int active = 0;
    for (NavItem *it : vc.sidebar()->items()) active += it->isActive();
    QCOMPARE(active, 1);
    QCOMPARE(int(vc.sidebar()->items().size()), 10);
}

void TstShell::unknownIdShowsCapitalisedPlaceholderUntilReplaced() {
    TempPrefs t;
    CountingPage *tasks = nullptr;
    MainTabVC vc(nullptr, [&](const QString &id) -> Page * {
        if (id == QLatin1String("tasks")) return tasks = new CountingPage;
        return nullptr;
    });
    vc.show();
    QVERIFY(QTest::qWaitForWindowExposed(&vc));
    vc.showPage(QStringLiteral("some page"));
    auto *ph = qobject_cast<PlaceholderView *>(vc.current());
    QVERIFY(ph);
    QCOMPARE(ph->text(), QStringLiteral("🚧\nSome Page"));
    QCOMPARE(PlaceholderView::capitalized(QStringLiteral("eXTRA-page")), QStringLiteral("Extra-Page"));
    QPointer<PlaceholderView> gone(ph);
    vc.showPage(QStringLiteral("tasks"));
    QCOMPARE(vc.current(), tasks);
    QTRY_VERIFY(gone.isNull()); // a placeholder is not kept
}

void TstShell::sidebarClickSelectsAndReportsOnce() {
    TempPrefs t;
    SidebarView s;
    s.resize(220, 760);
    QStringList reported;
    s.onSelect = [&](const QString &id) { reported << id; };
    NavItem *cal = nullptr;
    for (NavItem *it : s.items())
        if (it->id() == QLatin1String("calendar")) cal = it;
    QVERIFY(cal);
    QTest::mouseClick(cal, Qt::LeftButton);
    QCOMPARE(reported, QStringList({"calendar"}));
    QCOMPARE(s.activeID(), QStringLiteral("calendar"));
    for (NavItem *it : s.items()) QCOMPARE(it->isActive(), it == cal);
    QTest::mouseClick(cal, Qt::LeftButton); // the active item reports again
    QCOMPARE(reported.size(), 2);
}

// Nothing is built for a window that was never on screen; each page is built, framed and set up once, just
// before its first show, in the current theme; pages never shown are never built.
void TstShell::pagesAreBuiltWhenFirstShown() {
    TempPrefs t;
    QStringList asked;
    std::map<QString, CountingPage *> made;
    MainTabVC vc(nullptr, [&](const QString &id) -> Page * {
        asked << id;
        if (id == QLatin1String("alarms")) return nullptr;
        return made[id] = new CountingPage;
    });
    vc.resize(1200, 760);
    QVERIFY(asked.isEmpty());
    QVERIFY(!vc.page(QStringLiteral("tasks")));
    VF::setTheme(AppTheme::pink);
    Notifier::get().post(Notify::themeChanged);
    QTest::qWait(10);
    QVERIFY(asked.isEmpty()); // a theme change builds nothing either
    vc.show();
    vc.hide(); // never on screen: still nothing
    QTest::qWait(20);
    QVERIFY(asked.isEmpty());
    QVERIFY(!vc.current());
    vc.show();
    QVERIFY(QTest::qWaitForWindowExposed(&vc));
    QCOMPARE(asked, QStringList({"tasks"}));
    CountingPage *tasks = made["tasks"];
    QCOMPARE(vc.current(), tasks);
    QCOMPARE(tasks->setups, 1);
    QCOMPARE(tasks->geometry(), QRect(221, 0, 1200 - 221, 760));
    QCOMPARE(tasks->palette().color(QPalette::Window), VF::bg());
    vc.showPage(QStringLiteral("notes"));
    vc.showPage(QStringLiteral("tasks"));
    vc.showPage(QStringLiteral("notes"));
    QCOMPARE(asked, QStringList({"tasks", "notes"}));
    QCOMPARE(made["notes"]->setups, 1);
    // An id the factory has no page for shows a placeholder, and is not asked for again.
    vc.showPage(QStringLiteral("alarms"));
    vc.showPage(QStringLiteral("alarms"));
    QVERIFY(qobject_cast<PlaceholderView *>(vc.current()));
    QCOMPARE(asked, QStringList({"tasks", "notes", "alarms"}));
}

void TstShell::themeChangeRebuildsEveryPageAndKeepsTheActiveOne() {
    TempPrefs t;
    QList<CountingPage *> made;
    MainTabVC vc(nullptr, [&](const QString &id) -> Page * {
        if (id == QLatin1String("pomodoro") || id == QLatin1String("notes")) {
            made << new CountingPage;
            return made.last();
        }
        return nullptr;
    });
    vc.show();
    QVERIFY(QTest::qWaitForWindowExposed(&vc));
    vc.sidebar()->select(QStringLiteral("pomodoro"));
    vc.sidebar()->select(QStringLiteral("notes"));
    vc.sidebar()->select(QStringLiteral("pomodoro"));
    QCOMPARE(made.size(), 2);
    for (auto *p : made) QCOMPARE(p->setups, 1);
    VF::setTheme(AppTheme::dark);
    Notifier::get().post(Notify::themeChanged);
    for (auto *p : made) QCOMPARE(p->setups, 1); // observers run after the poster returns
    QTRY_COMPARE(made[0]->setups, 2);
    QCOMPARE(made[1]->setups, 2);
    QCOMPARE(vc.current(), made[0]);
    QTRY_COMPARE(made[0]->findChildren<QLabel *>().size(), 1); // the old tree is gone
    QCOMPARE(vc.sidebar()->palette().color(QPalette::Window), VF::bg());
}

void TstShell::languageChangeRelabelsWithoutReplacingThePage() {
    TempPrefs t;
    MainTabVC vc;
    vc.show();
    QVERIFY(QTest::qWaitForWindowExposed(&vc));
    QWidget *before = vc.current();
    QVERIFY(before);
    L::setLang(AppLang::de);
    Notifier::get().post(Notify::languageChanged);
    QTRY_COMPARE(headerTexts(vc.sidebar()), QStringList({"PRODUKTIVITÄT", "PLANUNG", "ANALYTIK"}));
    QCOMPARE(vc.current(), before);
    QCOMPARE(vc.sidebar()->activeID(), QStringLiteral("tasks"));
    auto *subtitle = qobject_cast<QLabel *>(viewWithTag(vc.sidebar(), 1002));
    QCOMPARE(subtitle->text(), QStringLiteral("GESUNDHEIT & FLOW"));
    QCOMPARE(qobject_cast<QLabel *>(viewWithTag(vc.sidebar(), 1001))->text(), QStringLiteral("Mivo"));
}

void TstShell::pageRedrawsAreMergedAndHeldWhileHidden() {
    TempPrefs t;
    QWidget host;
    auto *p = new CountingPage;
    p->setParent(&host);
    host.show();
    p->requestRebuild();
    p->requestRebuild();
    p->requestRebuild();
    QTRY_COMPARE(p->rebuilt, 1);
    QTest::qWait(20);
    QCOMPARE(p->rebuilt, 1);
    p->hide();
    p->requestRebuild();
    QTest::qWait(20);
    QCOMPARE(p->rebuilt, 1);
    p->show();
    QTRY_COMPARE(p->rebuilt, 2);
    {
        Page::DragGuard drag;
        p->requestRebuild();
        QTest::qWait(50);
        QCOMPARE(p->rebuilt, 2);
    }
    QTRY_COMPARE(p->rebuilt, 3);
}

void TstShell::closeHidesTheWindow() {
    TempPrefs t;
    MainWindow w;
    w.show();
    QVERIFY(!w.close());
    QVERIFY(!w.isVisible());
    w.toggle();
    QVERIFY(w.isVisible());
    w.toggle();
    QVERIFY(!w.isVisible());
    // A minimised window comes back instead of hiding, and keeps being maximised.
    w.show();
    w.setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    w.toggle();
    QVERIFY(w.isVisible());
    QVERIFY(!w.isMinimized());
    QVERIFY(w.isMaximized());
}

// The window's first paint is its first show's longest stretch: the backing store's new pixels are
// written and the sidebar's emoji decoded before it, a few per turn, and the window shown after.
void TstShell::firstShowPaintsWhatWasPreparedTurnsBefore() {
    TempPrefs t;
    EmojiCache &cache = EmojiCache::shared();
    cache.clear();
    MainWindow w([](const QString &) -> Page * { return new CountingPage; });
    struct Watch : QObject {
        QSize storeAtShow;
        int pixmapsAtShow = -1, navPaints = 0;
        bool eventFilter(QObject *o, QEvent *e) override {
            if (e->type() == QEvent::Show && o->isWidgetType() && static_cast<QWidget *>(o)->isWindow()) {
                auto *win = static_cast<QWidget *>(o);
                storeAtShow = win->backingStore() ? win->backingStore()->size() : QSize();
                pixmapsAtShow = EmojiCache::shared().pixmapsMade();
            }
            if (e->type() == QEvent::Paint && qobject_cast<NavItem *>(o)) ++navPaints;
            return false;
        }
    } watch;
    w.installEventFilter(&watch);
    qApp->installEventFilter(&watch);
    const int before = cache.pixmapsMade();
    w.bringToFront();
    QVERIFY(!w.isVisible());
    QList<int> perTurn;
    for (int last = before; !w.isVisible() && perTurn.size() < 50;) {
        QCoreApplication::processEvents();
        perTurn << cache.pixmapsMade() - last;
        last = cache.pixmapsMade();
    }
    QVERIFY(w.isVisible());
    QCOMPARE(watch.pixmapsAtShow - before, int(SidebarView::emojiShown().size()));
    for (int n : perTurn) QVERIFY2(n <= 2, qPrintable(QStringLiteral("%1 emoji in one turn").arg(n)));
    QCOMPARE(watch.storeAtShow, w.size());
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY(watch.navPaints >= int(SidebarView::emojiShown().size()));
    // The sidebar's first paint copies every emoji.
    QCOMPARE(cache.pixmapsMade(), watch.pixmapsAtShow);
    qApp->removeEventFilter(&watch);
    // Shown once, the window comes back at once.
    w.hide();
    w.bringToFront();
    QVERIFY(w.isVisible());
}

void TstShell::everySidebarItemHasAPage() {
    TempPrefs t;
    QCOMPARE(MainTabVC::pageIds().size(), 10);
    for (const QString &id : MainTabVC::pageIds()) {
        std::unique_ptr<Page> pg(MainTabVC::defaultPage(id));
        QVERIFY2(pg, qPrintable(id));
    }
    QVERIFY(!MainTabVC::defaultPage(QStringLiteral("Tasks")));
}

// A user who never opens Settings still starts with autostart on: the launch writes the entry and its
// flag without building the settings page, and the next launch leaves an entry the user removed alone.
void TstShell::launchTurnsAutostartOnWithoutTheSettingsPage() {
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString entry = Autostart::filePath();
    QVERIFY(entry.startsWith(config.path()));
    TempPrefs t;
    TestDialogs dialogs;
    {
        AppDelegate app;
        QVERIFY(app.launch());
        QCOMPARE(fileBytes(entry), *Autostart::fileText(QCoreApplication::applicationFilePath()));
        QVERIFY(t.prefs().boolValue(kAutostartDefaultSet));
        MainTabVC *tabs = app.mainWin()->tabs();
        app.mainWin()->show();
        QVERIFY(QTest::qWaitForWindowExposed(app.mainWin()));
        QVERIFY(tabs->page(QStringLiteral("tasks")));
        QVERIFY(!tabs->page(QStringLiteral("settings")));
        app.mainWin()->hide();
    }
    QVERIFY(QFile::remove(entry));
    MainTabVC::prepareAtLaunch(); // what the next launch runs
    QVERIFY(!QFile::exists(entry));
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

QTEST_MAIN(TstShell)
#include "tst_shell.moc"
