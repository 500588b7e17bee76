#pragma once
#include <QWidget>
#include <functional>

// One clickable row of the sidebar: an emoji and a title, painted, with a rounded background when
// it is the active page.
class NavItem : public QWidget {
    Q_OBJECT
public:
    NavItem(const QString &emoji, const QString &title, const QString &id, QWidget *parent = nullptr);

    QString id() const { return id_; }
    QString emoji() const { return emoji_; }
    QString title() const { return title_; }
    bool isActive() const { return active_; }
    void setActive(bool a);
    void updateAppearance();
    std::function<void()> onTap;

    // Layout of the two labels inside the item.
    QRect emojiRect() const;
    QRect titleRect() const;

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    void tapped();
    QString id_, emoji_, title_;
    bool active_ = false;
    bool pressed_ = false;
    QColor back_, titleColor_;
    double emojiAlpha_ = 1.0;
    QFont emojiFont_, titleFont_;
};
