#pragma once
#include "finance/FinEntry.h"
#include <QAbstractTableModel>
#include <QTableView>
#include <functional>
#include <vector>

// The finance page's entries table: one 38-point row per entry of the shown month, columns date,
// name (with the note beneath when there is one), category, type, amount and a "×" that deletes.
// Rows are painted by a delegate, so the cost of a redraw follows the rows on screen, not the month.
class FinEntriesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { date, name, category, type, amount, del, columnCount_ };
    using QAbstractTableModel::QAbstractTableModel;

    void setEntries(std::vector<FinEntry> entries);
    const std::vector<FinEntry> &entries() const { return entries_; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    std::vector<FinEntry> entries_;
};

class FinEntriesTable : public QTableView {
    Q_OBJECT
public:
    static constexpr int kRowH = 38;

    explicit FinEntriesTable(QWidget *parent = nullptr);
    FinEntriesModel *entriesModel() const { return model_; }
    // Called with the row's id when its "×" is clicked. The caller must not rebuild the table inside.
    std::function<void(const QString &id)> onDelete;
    // The "×" of a row, in viewport coordinates.
    QRect deleteRect(int row) const;

protected:
    void resizeEvent(QResizeEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    void fitNameColumn();
    FinEntriesModel *model_;
};
