#pragma once
#include "board/BoardRules.h"
#include <QDate>
#include <QFont>
#include <QHash>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class QVariantAnimation;

// The board's table: one row per day of the shown month, the day column and one column per
// category. Rows are laid out by hand and painted, chips included, and a paint touches only the rows
// in view, so the cost follows what is visible, not how many tasks the month holds.
//
// A cell's chips take the clicks: the check box toggles, the rest of a chip posts "showTaskDetail";
// a click on the cell's hover "+" (which lies above the chips) or a double click on its empty part
// asks to add a task. Dragging a chip more
// than 5 points moves it (left button) or copies it (right button, or left with Ctrl held at the
// press); a cell refuses the drag that started in it.
class BoardGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr double kDayColW = 72;
    static constexpr double kChipH = 28, kChipGap = 5, kTopPad = 8;

    explicit BoardGrid(QWidget *parent = nullptr);

    // New data from the page's refresh; the widget takes the height its rows need.
    void setMonth(BoardRules::BoardMonth month, const QDate &today);
    const BoardRules::BoardMonth &month() const { return month_; }

    std::function<void(int day, TaskCat cat)> onAdd;

    // Geometry, in the widget's coordinates (y down).
    double rowTop(int day) const;    // day 1…days
    double rowHeight(int day) const; // 44 for a day outside the month
    double catColumnWidth() const;
    QRectF cellRect(int day, TaskCat cat) const;
    QRectF chipRect(int day, TaskCat cat, int index) const;
    QRectF checkRect(int day, TaskCat cat, int index) const;
    QRectF plusRect(int day, TaskCat cat) const;
    struct Hit {
        int day = 0; // 0 when outside every row
        std::optional<TaskCat> cat;
        int chip = -1;
        bool onCheck = false;
        bool onPlus = false;
    };
    Hit hitTest(const QPointF &p) const;

    // State shown for tests.
    std::optional<BoardRules::CellRef> dropTarget() const { return dropTarget_; }
    std::optional<BoardRules::CellRef> dragSource() const { return dragSource_; }
    int paintedRows() const { return paintedRows_; }

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dragLeaveEvent(QDragLeaveEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    BoardRules::CellRef cellRef(int day, TaskCat cat) const;
    const std::vector<Task> *cellTasks(int day, TaskCat cat) const;
    void paintRow(QPainter &p, int day);
    void paintCell(QPainter &p, int day, TaskCat cat);
    void startDrag(bool copy);
    void setHover(int day, std::optional<TaskCat> cat);
    void updateCell(const std::optional<BoardRules::CellRef> &c);

    BoardRules::BoardMonth month_;
    QDate today_;
    std::vector<double> rowTops_; // rowTops_[d - 1] = top of day d; back() = total height

    // The current press.
    QPointF pressPos_;
    std::optional<QString> pressedId_;
    std::optional<BoardRules::CellRef> pressedCell_;
    bool pressCopies_ = false;
    bool draggingOut_ = false;
    bool doubleClick_ = false;
    std::optional<QString> highlightId_;
    std::optional<BoardRules::CellRef> dragSource_;
    std::optional<BoardRules::CellRef> dropTarget_;

    int hoverDay_ = 0;
    std::optional<TaskCat> hoverCat_;
    double hoverAlpha_ = 0;
    QVariantAnimation *fade_ = nullptr;
    int paintedRows_ = 0;

    // Painting reuses the chip title font and the titles already cut to the chip width.
    QFont titleFont_;
    QHash<QString, QString> elided_;
    double elidedW_ = -1;
    QFont elidedFont_;
    const QString &elidedTitle(const QString &title, double w);
};
