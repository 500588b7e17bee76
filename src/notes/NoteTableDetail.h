#pragma once
#include "notes/Note.h"
#include "notes/NoteGrid.h"
#include "notes/TableClipboard.h"
#include <QObject>
#include <QPointer>
#include <QSize>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QElapsedTimer;
class QPoint;
class QScrollArea;
class QTimer;
class QWidget;

// The detail of a table note on the notes page: its grid, the columns' widths, the rows' heights
// (a large table's measured a slice at a time after its first screen), the cells selected and
// the actions on them. The page tells it where it shows the table; it asks the page to build
// again when a table changes.
class NoteTableDetail : public QObject {
    Q_OBJECT
public:
    // Where the page shows the detail, asked for whenever the table needs it.
    struct Shown {
        std::function<QWidget *()> host;       // the detail's area
        std::function<QScrollArea *()> scroll; // the detail's scroll area, which shows the grid
        std::function<QString()> shownID;      // the note the detail shows
        std::function<std::optional<QString>()> selectedID;
    };
    NoteTableDetail(QWidget *page, Shown shown);

    // Builds the grid of the note into the detail's scroll area; scrollY: where the detail was
    // scrolled to, whose rows are measured first.
    void build(const Note &note, int scrollY);
    // A cell saved, cleared, pasted or swapped in a large table is shown in the grid already there;
    // false when the detail is to be built again (see NoteTableDetail.cpp).
    bool refreshInPlace(const Note &note);
    // The detail is built again: the grid shown is kept until the next one took its layouts.
    void detailGoing() {
        previousGrid_ = grid_;
        grid_ = nullptr;
    }
    NoteGrid *grid() const { return grid_; }
    // Whether the table shown has its settled widths and every row measured.
    bool measured() const;
    NoteGrid::Selection &selection() { return sel_; }
    void clearSelection() { sel_ = {}; }
    // The note's widths are worked out again when it is shown next (it is gone).
    void forgetWidths(const QString &id) { colWidthsMap_.erase(id); }

    // Actions on the note with this id (looked up again in the store).
    void swapOrMove(const QString &noteID, NoteGrid::CellPos from, NoteGrid::CellPos to);
    void copySelection(const QString &noteID);
    void pasteAtAnchor(const QString &noteID);
    void clearSelectionContent(const QString &noteID);
    void showCellEditor(const QString &noteID, int row, int col);

signals:
    // A table changed, or its widths did: the page is built again (the detail alone with the second).
    void rebuildWanted();
    void detailRebuildWanted();

private:
    void deleteColumn(const QString &noteID, int col);
    void deleteRow(const QString &noteID, int row);
    void contextMenu(const QString &noteID, const QPoint &global);
    // showCellEditor once the table is held decoded.
    void openCellEditor(const QString &noteID, int row, int col);

    QWidget *page_;
    Shown shown_;
    QPointer<NoteGrid> grid_;
    QPointer<NoteGrid> previousGrid_; // the grid a rebuild replaces, until the new one took its layouts
    std::map<QString, std::vector<double>> colWidthsMap_;
    // Row heights of the table shown last, with the rows as they were measured. A rebuild for the same
    // note and widths measures again only the rows whose cells changed (matched by row id, so a
    // deleted or moved row does not shift the others); a resize or a selection change measures none.
    struct HeightCache {
        QString id;
        std::vector<double> widths;
        std::vector<NoteRow> rows;
        // The store's version of the rows (NoteStore::textVersion): the same, the rows are, and a
        // table decoded again is not compared with them cell by cell.
        quint64 version = 0;
        std::vector<int> heights;
        // Rows of a long table not measured yet: they stand at one line's height until the idle
        // measurer reaches them (visible rows are measured before the table is shown).
        std::vector<char> estimated;
        size_t nextEstimated = 0;
        // Each column's widest line over these rows, once a width scan went through them all
        // unchanged (measuring then skips the one-line cells that fit); empty otherwise.
        std::vector<double> widest;
    } heightCache_;
    // Tables up to this many cells are measured whole when shown; larger ones show their first screen
    // at once and are measured the rest of the way between events, a slice at a time: first the
    // widest line of each column (while the widths are not the user's), then the rows' heights.
    static constexpr size_t kMeasureAtOnceCells = 2000;
    // How long one slice may keep the window's thread.
    static constexpr int kSliceMs = 4;
    // The scan reads the rows the height cache holds for the same note.
    struct WidthScan {
        QString id;
        std::vector<NoteTableColumn> columns;
        std::vector<double> widest;
        size_t next = 0;
    };
    std::optional<WidthScan> widthScan_;
    // What the shown table's header was built from (title, emoji, language, the detail's size): a
    // change to the table's cells that leaves it and the rows' order as they are is taken by the grid
    // shown, without building the detail again.
    struct HeaderKey {
        QString title, emoji;
        int lang = -1;
        QSize host;
        bool operator==(const HeaderKey &) const = default;
    };
    std::optional<HeaderKey> tableHeader_;
    HeaderKey headerKey(const Note &note) const;
    QTimer *measureTimer_ = nullptr;
    void startMeasuring();
    bool scanSomeWidths(const QElapsedTimer &slice);
    void measureSomeRows();
    NoteGrid::Selection sel_;
    TableClipboard::Block clipboardCells_;
    QString clipboardText_; // what the page last put on the clipboard
};
