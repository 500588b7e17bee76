#pragma once
#include <QWidget>
#include <functional>

class QPainter;

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

    // The height the sidebar gives every item.
    static constexpr int kHeight = 34;
    // Draws emoji as an item draws it into a scratch image of the window's device pixel ratio, so
    // that the item's first paint copies the picture kept for it (see EmojiCache) instead of
    // decoding it.
    static void drawEmojiAhead(const QString &emoji, double dpr);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    static QFont emojiFont();
    static QRect emojiRectIn(int height);
    // The emoji's frame within its item, as paintEvent draws it.
    static void paintEmoji(QPainter &p, const QRect &frame, const QString &emoji, const QFont &font);
    void tapped();
    QString id_, emoji_, title_;
    bool active_ = false;
    bool pressed_ = false;
    QColor back_, titleColor_;
    double emojiAlpha_ = 1.0;
    QFont emojiFont_, titleFont_;
};
