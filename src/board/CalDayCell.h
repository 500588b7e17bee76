#pragma once
#include "pomodoro/Task.h"
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class QVariantAnimation;

// One day of the calendar's month grid: its background (today, weekend or plain), the day number and
// one painted chip per task. A double click anywhere in it, or its hover "+", asks to add an event on
// that day. A chip dragged more than 5 points moves its task to the day it is dropped on; the copy
// type is not taken here, and a cell refuses its own drag.
class CalDayCell : public QWidget {
    Q_OBJECT
public:
    static constexpr double kChipH = 15, kChipStep = 17;

    CalDayCell(int day, int month, int year, std::vector<Task> tasks, bool isToday, bool isWeekend,
               QWidget *parent = nullptr);

    std::function<void()> onAdd;

    int day() const { return day_; }
    const std::vector<Task> &tasks() const { return tasks_; }
    // Chip frames in the cell's coordinates; chips that would not fit are not placed.
    std::vector<QRectF> chipRects() const;
    QRectF plusRect() const;
    bool isDropTarget() const { return dropTarget_; }
    bool isDragSource() const { return dragSource_; }
    // The text a chip shows: "✓ " before a done task's title.
    static QString chipText(const Task &t);

protected:
    void paintEvent(QPaintEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dragLeaveEvent(QDragLeaveEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    void startDrag();
    void fadePlus(double to);

    const int day_, month_, year_;
    const std::vector<Task> tasks_;
    const bool isToday_, isWeekend_;
    QPointF pressPos_;
    std::optional<QString> draggedId_, highlightId_;
    bool draggingOut_ = false, dragSource_ = false, dropTarget_ = false, doubleClick_ = false;
    double plusAlpha_ = 0;
    QVariantAnimation *fade_ = nullptr;
};
