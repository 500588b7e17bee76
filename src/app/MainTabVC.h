#pragma once
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <map>

class Page;
class SidebarView;

// The main window's content: the sidebar, a one-point divider and one page at a time to its right.
//
// Pages are built when they are first shown, not all at launch: an app that starts into the tray
// and may never open its window would otherwise pay for ten pages (their widgets, their text
// shaping, the fonts they pull in) before it is idle. This departs on purpose from building every
// page at start-up, for speed; what the user sees is the same, because a page is built, given its
// frame and set up exactly as it would have been at launch, just before its first show. Nothing is
// built before the window itself is first on screen, the sidebar included. Once built, a page
// lives as long as the switcher; theme and font-scale changes clear and set up again every page
// built so far, the language reaches them through their observers, and pages not yet built simply
// pick up the current settings when they are. So page(id) is nullptr for a page not built yet:
// anything that may run before a page's first show must check for that. Every page is named once, in
// the table of pages in MainTabVC.cpp (how it is made and set up, and what its settings need at
// launch, which prepareAtLaunch() runs whether or not the page is ever built).
class MainTabVC : public QWidget {
    Q_OBJECT
public:
    // Makes the page for an id, or nullptr where the id has no page yet (a placeholder shows).
    using PageFactory = std::function<Page *(const QString &id)>;
    static Page *defaultPage(const QString &id);

    explicit MainTabVC(QWidget *parent = nullptr, PageFactory factory = defaultPage);

    // Page ids in sidebar order.
    static const QStringList &pageIds();
    // Runs, at launch, what each page's settings need whether or not the page is ever shown.
    static void prepareAtLaunch();
    // The one way a page is built and put in place, here and in the page tests (which show a page
    // on its own, in a frame of their choosing). setUpPage gives a new page its background and, if
    // its kind takes it at setup, its frame, and sets it up, hidden; putPageInPlace gives it its
    // frame, shows it and asks for a redraw from the current data.
    static void setUpPage(Page *pg, const QRect &frame);
    static void putPageInPlace(Page *pg, const QRect &frame);

    void showPage(const QString &id);
    // Made on first use or first show.
    SidebarView *sidebar();
    QWidget *current() const { return current_; }
    QWidget *divider() const { return divider_; }
    // The page for id once it has been built (first shown), else nullptr.
    Page *page(const QString &id) const;

    void onLanguageChanged();
    void onThemeChanged();
    void onFontScaleChanged();

signals:
    // The window's appearance must follow the theme.
    void themeApplied();

protected:
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    // The page for id, made and set up on the first call.
    Page *build(const QString &id);
    // Every page built so far, in the order pages are cleared and set up.
    void forEachBuilt(const std::function<void(Page *)> &fn) const;
    void layoutChildren();
    void paintDivider();
    void buildContent();
    // Pages not built yet have the emoji they show drawn ahead, for the current font scale.
    void prepareEmoji();

    SidebarView *sidebar_ = nullptr;
    QWidget *divider_;
    PageFactory factory_;
    std::map<QString, Page *> pages_; // every id the factory was asked for; nullptr where it had no page
    QString active_;                  // the page in place, or to show at the window's first show
    bool everShown_ = false;
    QPointer<QWindow> exposeWatch_; // the window whose first exposure builds the content
    QPointer<QWidget> current_;
};
