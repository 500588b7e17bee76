#pragma once
#include "health/AlarmsRows.h"
#include "ui/FlippedView.h"
#include <functional>
#include <optional>
#include <vector>

// The reminders page's list, painted: section headers, rows and the note shown for an empty
// section. It keeps only what each line is (a header's text, a row's id) and where it stands; a
// row's texts, colours and bar are asked for while painting, and only for the rows in view, so a
// repaint every second costs what is visible whatever the number of alarms.
class AlarmListView : public FlippedView {
    Q_OBJECT
public:
    struct Entry {
        enum class Kind { header, row, note };
        Kind kind = Kind::row;
        QString text; // a header's or note's text, a row's id
        double y = 0;
    };
    static constexpr double kRowH = 58;
    static constexpr double kRowStep = 62;
    static constexpr double kHeaderStep = 26;

    explicit AlarmListView(QWidget *parent = nullptr);

    std::function<AlarmRow(const QString &id)> rowFor;
    std::function<void(const QString &id)> onSelect;

    void setEntries(std::vector<Entry> entries, const std::optional<QString> &selected);
    const std::vector<Entry> &entries() const { return entries_; }
    QStringList rowIds() const;
    // The row's rectangle in this view; empty when there is no such row.
    QRect rowRect(const QString &id) const;
    std::optional<QString> rowAt(const QPoint &p) const;
    // Rows whose contents the last paint asked for.
    int rowsPainted() const { return rowsPainted_; }

protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    void paintHeader(QPainter &p, const Entry &e);
    void paintNote(QPainter &p, const Entry &e);
    void paintRow(QPainter &p, const Entry &e);
    double heightOf(const Entry &e) const;

    std::vector<Entry> entries_;
    std::optional<QString> selected_;
    int rowsPainted_ = 0;
};
