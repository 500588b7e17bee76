#pragma once
#include <QWidget>
#include <functional>
#include <vector>

class NavItem;
class QLabel;

// The left column: brand, subtitle, three groups of page items and, at the bottom, the news panel's
// slot. A click marks the item active and reports its page id through onSelect.
class SidebarView : public QWidget {
    Q_OBJECT
public:
    struct Entry {
        QString emoji, title, id;
    };
    struct Group {
        QString title;
        std::vector<Entry> entries;
    };

    explicit SidebarView(QWidget *parent = nullptr);

    std::function<void(const QString &)> onSelect;
    QString activeID() const { return activeID_; }
    const std::vector<NavItem *> &items() const { return items_; }

    void select(const QString &id);
    void rebuildNavItems();
    void applyTheme();
    void setSubtitleFont(const QFont &f);

    // Where the news panel goes; the panel is placed into it by whoever builds it.
    QWidget *newsSlot() const { return newsSlot_; }

    static std::vector<Group> localizedGroups();
    // The page ids of every item, top to bottom.
    static const QStringList &pageIds();
    static QString subtitle();
    // The emoji of every item, top to bottom.
    static QStringList emojiShown();

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void buildItems();
    void layoutChildren();
    QList<QLabel *> headers() const;

    std::vector<NavItem *> items_;
    QString activeID_ = QStringLiteral("tasks");
    QLabel *brand_ = nullptr;
    QLabel *subtitle_ = nullptr;
    QWidget *newsSlot_ = nullptr;
};
