#pragma once
#include "exercises/Playlist.h"
#include "ui/FlippedView.h"
#include <QColor>
#include <functional>
#include <vector>

// The painted lists of the exercises page. Each paints only the rows in view, so a library, playlist
// or step list of any length costs what is visible; rows are drawn, not made of child widgets.

// The library list: category headers and one row per exercise. A click on a row (a release within 5
// points, no drag) calls onTap; a press moved more than 4 points drags the exercise's id as
// "com.mivo.exerciseid" (copy).
class ExerciseListView : public FlippedView {
    Q_OBJECT
public:
    struct Row {
        QString id, emoji, name, detail;
        QColor color;
        bool selected = false;
    };
    struct Item {
        QString header; // a category header when rows is empty
        Row row;
        bool isHeader = false;
        double y = 0, h = 0;
    };
    explicit ExerciseListView(QWidget *parent = nullptr);

    // Lays out the groups for width w and sizes the view to at least minH.
    void setGroups(const std::vector<std::pair<QString, std::vector<Row>>> &groups, double w, double minH);
    const std::vector<Item> &items() const { return items_; }
    // The row at a point of the view, or nullptr.
    const Item *rowAt(QPointF p) const;

    std::function<void(const QString &id)> onTap;

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    void paintRow(QPainter &p, const Row &r, const QRectF &rect) const;
    std::vector<Item> items_;
    PlaylistRules::RowGesture gesture_;
    QString pressedId_;
};

// The playlist panel: the drop target for library rows ("com.mivo.exerciseid": onDrop) and for its
// own rows ("com.mivo.plrow": onReorder with the insertion index), which it paints at a 46-point
// pitch from y = 8. A row's "×" calls onRemove.
class PlaylistDropView : public FlippedView {
    Q_OBJECT
public:
    struct Row {
        QString uid, emoji, name;
        QColor color;
        int number = 0; // the entry's index + 1
        bool finished = false;
        int slot = 0; // drawn at 8 + 46 × slot
    };
    explicit PlaylistDropView(QWidget *parent = nullptr);

    // Registers for the two drag types.
    void activate();
    void setRows(const std::vector<Row> &rows, int entryCount, double w, double minH);
    const std::vector<Row> &rows() const { return rows_; }
    int entryCount() const { return entryCount_; }
    bool highlighted() const { return highlighted_; }
    int insertionIdx() const { return insertionIdx_; }
    // Where a row's remove button is, in the view.
    QRectF removeRect(const Row &r) const;
    QRectF rowRect(const Row &r) const;

    // Shown when the playlist is empty.
    void setHint(const QString &hint) {
        hint_ = hint;
        update();
    }

    std::function<void(const QString &exID)> onDrop;
    std::function<void(const QString &uid, int index)> onReorder;
    std::function<void(const QString &uid)> onRemove;

protected:
    void paintEvent(QPaintEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dragLeaveEvent(QDragLeaveEvent *e) override;
    void dropEvent(QDropEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    void paintRow(QPainter &p, const Row &r, const QRectF &rect) const;
    const Row *rowAt(QPointF p) const;
    void endFeedback();

    std::vector<Row> rows_;
    QString hint_;
    int entryCount_ = 0;
    bool highlighted_ = false;
    int insertionIdx_ = -1;
    PlaylistRules::RowGesture gesture_;
    QString pressedUid_;
    bool pressedRemove_ = false;
};

// The steps of the exercise in the detail pane: numbered cards joined by a thin connector.
class StepListView : public FlippedView {
    Q_OBJECT
public:
    struct Step {
        QString title, instruction, duration;
    };
    explicit StepListView(QWidget *parent = nullptr);
    void setSteps(const std::vector<Step> &steps, const QColor &color, double w, double minH);
    double cardHeight() const { return cardH_; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    std::vector<Step> steps_;
    QColor color_;
    double cardH_ = 88;
};
