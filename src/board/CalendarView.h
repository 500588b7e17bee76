#pragma once
#include "board/BoardRules.h"
#include "ui/Page.h"
#include <QList>
#include <QMetaObject>
#include <QFont>
#include <QPointer>
#include <QRectF>
#include <vector>
#include <optional>

class CalDayCell;
class CalRightPanel;
class FlippedView;
class QLabel;
class QPushButton;
class QScrollArea;
class TaggedView;

// The "calendar" page: a Monday-first month grid whose weeks grow to fit their tasks, month
// navigation, and a right panel with the selected day's progress per category. It keeps no data:
// every redraw reads the task store. Day cells are only ever replaced by the page's queued rebuild
// (after a task change, a resize or a selection), never inside one of their own handlers.
class CalendarView : public Page {
    Q_OBJECT
public:
    explicit CalendarView(QWidget *parent = nullptr);

    void setup() override;

    BoardRules::YearMonth displayMonth() const { return ym_; }
    std::optional<int> selectedDay() const { return selectedDay_; }
    void navMonth(int delta);
    void selectDay(std::optional<int> day);
    bool isBuilt() const { return built_; }

    QString titleText() const;
    QList<CalDayCell *> dayCells() const;
    CalRightPanel *rightPanel() const { return right_; }
    QScrollArea *gridScroll() const { return scroll_; }

    // The add-event sheet for a day of the shown month (also reached by tests).
    void addTaskDialog(int day);

    // The weekday names of the current language, Monday first.
    static QStringList weekdayNames();

protected:
    void rebuild() override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void buildTree();
    void layoutHeader();
    void layoutGrid();

    BoardRules::YearMonth ym_;
    std::optional<int> selectedDay_;
    bool built_ = false;
    QList<QMetaObject::Connection> observers_;

    TaggedView *hdrBand_ = nullptr;
    QLabel *titleLbl_ = nullptr;
    QLabel *hintLbl_ = nullptr;
    QPushButton *prevBtn_ = nullptr;
    QLabel *monthLbl_ = nullptr;
    QPushButton *nextBtn_ = nullptr;
    QScrollArea *scroll_ = nullptr;
    FlippedView *content_ = nullptr;
    CalRightPanel *right_ = nullptr;
    QList<QPointer<CalDayCell>> cells_;
    QPointer<QWidget> weekdayRow_;
};

// The calendar's right panel: "DAY PROGRESS" and, for the selected day, one row per category with
// its done and total counts and a bar. Tasks of other categories are counted in no row.
class CalRightPanel : public QWidget {
    Q_OBJECT
public:
    explicit CalRightPanel(QWidget *parent = nullptr);
    struct Row {
        TaskCat cat;
        int done = 0, total = 0;
        QString countText() const;
    };
    void setRows(const std::optional<std::vector<Row>> &rows);
    const std::optional<std::vector<Row>> &rows() const { return rows_; }
    static std::vector<Row> rowsFor(const std::vector<Task> &dayTasks);
    // Where the panel draws its texts at a width, in the current language and font scale: each frame
    // is at least a line of its font high, and the header keeps clear of the first row.
    struct Frames {
        QRectF header;
        std::vector<QRectF> names, counts, tracks;
    };
    static Frames frames(double width);
    static QString rowName(TaskCat cat);
    static QFont headerFont();
    static QFont nameFont();
    static QFont countFont();

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    std::optional<std::vector<Row>> rows_;
};
