#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>

class Page;
class SidebarView;

// The main window's content: the sidebar, a one-point divider and one page at a time to its right.
// It owns every page for the life of the process and rebuilds them on theme and font-scale changes.
class MainTabVC : public QWidget {
    Q_OBJECT
public:
    // Makes the page for an id, or nullptr where the id has no page yet (a placeholder shows).
    using PageFactory = std::function<Page *(const QString &id)>;
    static Page *defaultPage(const QString &id);

    explicit MainTabVC(QWidget *parent = nullptr, PageFactory factory = defaultPage);

    // Page ids in sidebar order.
    static const QStringList &pageIds();

    void showPage(const QString &id);
    SidebarView *sidebar() const { return sidebar_; }
    QWidget *current() const { return current_; }
    QWidget *divider() const { return divider_; }
    Page *page(const QString &id) const;

    void onLanguageChanged();
    void onThemeChanged();
    void onFontScaleChanged();

signals:
    // The window's appearance must follow the theme.
    void themeApplied();

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void createPages(const PageFactory &factory);
    void setupAll();
    void clearAll();
    void layoutChildren();
    void paintDivider();

    SidebarView *sidebar_;
    QWidget *divider_;
    std::map<QString, Page *> pages_;
    QPointer<QWidget> current_;
};
