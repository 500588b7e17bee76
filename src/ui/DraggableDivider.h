#pragma once
#include <QWidget>
#include <functional>

// The thin split between a page's list and its detail. It shows the left-right resize cursor and,
// while dragged, reports the pointer's x in its parent's coordinates (unclamped); it never moves
// itself: the owner turns the x into its layout.
class DraggableDivider : public QWidget {
    Q_OBJECT
public:
    explicit DraggableDivider(QWidget *parent = nullptr);

    std::function<void(double x)> onDrag;
    bool isDragging() const { return dragging_; }

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    bool dragging_ = false;
};
