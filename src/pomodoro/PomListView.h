#pragma once
#include "pomodoro/PomListRows.h"
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

// The rows of the Pomodoro page's list (the timer, today's tasks, the projects), painted rather than
// built from widgets: a rebuild records which records the rows show, and a paint draws only the rows
// in view, so the list costs what is visible whatever the length of the stores. The page puts the
// section headers, the empty-list notes and the two add buttons around the rows as widgets.
class PomListView : public QWidget {
    Q_OBJECT
public:
    explicit PomListView(QWidget *parent = nullptr);

    static constexpr double kRowH = 50;     // a row's box
    static constexpr double kRowPitch = 56; // from one row to the next
    // The rows' emoji font before it shrinks to fit the tomato in the emoji column.
    static QFont emojiFontToFit();

    // The rows, from the top of their block down. Texts are worked out when a row is painted.
    enum class Source { timer, task, project };
    struct Block {
        Source source;
        double top = 0;
        std::vector<int> indexes; // into the store's records; unused for the timer
    };
    void setBlocks(std::vector<Block> blocks, const std::optional<QString> &selected);
    // The timer row's texts; repaints that row alone (the per-second tick).
    void setTimerRow(const PomListRow &row);
    const PomListRow &timerRow() const { return timerRow_; }

    // A row's id and texts, or nothing for a position between rows.
    std::optional<PomListRow> rowAt(double y) const;
    // Where the row with this id is, or an empty rectangle.
    QRect rowRect(const QString &id) const;
    qsizetype rowCount() const;

    std::function<void(const QString &id)> onRowClicked;

protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    bool event(QEvent *e) override;

private:
    struct Hit {
        const Block *block = nullptr;
        qsizetype row = -1;
    };
    Hit hitAt(double y) const;
    std::optional<PomListRow> rowFor(const Block &b, qsizetype i) const;
    QRectF rowBox(const Block &b, qsizetype i) const;
    void paintRow(class QPainter &p, const PomListRow &row, const QRectF &box) const;

    std::vector<Block> blocks_;
    std::optional<QString> selected_;
    PomListRow timerRow_;
    QFont emojiFont_, titleFont_, subFont_;
};
