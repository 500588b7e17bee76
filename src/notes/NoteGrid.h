#pragma once
#include "notes/Note.h"
#include "notes/TableClipboard.h"
#include "ui/Theme.h"
#include <QColor>
#include <QFont>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QStaticText>
#include <QTextDocument>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QLabel;

// The painted grid of a table note: letter header, column titles with resize handles, numbered rows
// with delete buttons, and cells. One widget paints every cell; a cell's text is a QTextDocument made
// only while the cell is visible, so a long table costs what is on screen. The grid decides nothing:
// selection lives in the page, changes go back through the callbacks.
class NoteGrid : public QWidget {
    Q_OBJECT
public:
    using CellPos = TableClipboard::CellPos;

    struct Selection {
        std::optional<CellPos> anchor, end;
        bool contains(CellPos p) const;
        bool multi() const;
        TableClipboard::CellRect rect() const;
    };

    // heights: the rows' heights from measureHeights() for these widths.
    NoteGrid(const Note &note, std::vector<double> widths, std::vector<int> heights, double detailWidth,
             Selection *sel, QWidget *parent);
    // Each row's height: 30, or the tallest wrapped plain text plus 20. A row whose entry in known is
    // zero or more takes that height as it is, unmeasured (known: one entry per row, or nothing).
    static std::vector<int> measureHeights(const Note &note, const std::vector<double> &widths,
                                           const std::vector<int> *known = nullptr,
                                           const std::vector<double> *widest = nullptr);
    // widest, when given, is each column's widest line over these rows as scanWidest found it: a
    // one-line cell of a column whose widest line fits is then one line without being measured.
    static std::vector<int> measureRows(const std::vector<NoteRow> &rows, const std::vector<double> &widths,
                                        const std::vector<int> *known = nullptr,
                                        const std::vector<double> *widest = nullptr);
    // The height of a row of one-line cells: what a row not yet measured is taken to be.
    static int oneLineRowHeight();
    // Takes the cell layouts an earlier grid of the same note made, for the cells that did not change
    // (same row, text and rich text, same widths, theme and font), so a grid built again after an
    // edit lays out only what changed.
    void takeLayouts(NoteGrid &earlier);
    // Takes a later version of the same note whose rows and columns are the same ones (same ids, same
    // order, same titles) and whose heights the caller found unchanged: only the changed cells are laid
    // out again. Returns false, taking nothing, when that does not hold or the look changed since the
    // grid was built.
    bool takeCells(const Note &note);
    // New heights (one per row) once rows were measured later; the grid's height follows.
    void setRowHeights(std::vector<int> heights);
    // Rows measured so far by measureHeights, for tests and benchmarks of what an edit costs.
    static inline qint64 rowsMeasured = 0;
    // Cells laid out for painting so far, likewise.
    static inline qint64 cellsLaidOut = 0;
    ~NoteGrid() override;

    std::function<void(int row, int col)> onDoubleTap;
    std::function<void(CellPos from, CellPos to)> onDragSwap;
    std::function<void(int col, double step)> onResize;
    std::function<void()> onResizeEnd;
    std::function<void(int col)> onDeleteColumn;
    std::function<void(int row)> onDeleteRow;
    std::function<void(const QPoint &globalPos)> onContextMenu;
    std::function<void()> onCopy, onPaste, onClear;

    // Highlighted find matches (row −1 is a column title) and the current one.
    void setFindMatches(const std::vector<CellPos> &matches, std::optional<CellPos> current);
    QRect cellRect(CellPos p) const;
    std::optional<CellPos> cellAt(const QPoint &p) const;
    int rowHeight(int r) const { return heights_[size_t(r)]; }
    double tableWidth() const { return tableW_; }
    const std::vector<double> &widths() const { return widths_; }
    const Note &note() const { return note_; }
    QString ghostText(CellPos from) const;

    // Fonts of a table, for measuring widths.
    static QFont cellFont();
    static QFont headerFont();
    // Default widths: title plus 30, or the widest content line plus 24 (capped).
    static std::vector<double> defaultWidths(const Note &note);
    // The same in steps, for a table too long to measure at once: scanWidest folds rows [from, to)
    // into widest (one entry per column, below zero while a column has no content), and
    // widthsFromWidest turns what was found into widths. A column already at the cap is not measured
    // again.
    static void scanWidest(const std::vector<NoteRow> &rows, size_t from, size_t to,
                           std::vector<double> &widest);
    static std::vector<double> widthsFromWidest(const std::vector<NoteTableColumn> &columns,
                                                const std::vector<double> &widest);

    static constexpr int kTop = 74, kLeft = 76, kNumX = 28;

    // The hover texts of the painted delete buttons.
    static QString deleteColumnTip();
    static QString deleteRowTip();

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    struct DeleteButton {
        bool column; // else a row's
        int index;
    };
    std::optional<DeleteButton> deleteButtonAt(const QPoint &p) const;
    // A cell is drawn from a document when it has rich text or may hold a link (drawn as one, and
    // clickable); a plain cell, most of a large table, from a static text, which costs a fraction of
    // a document to lay out, draw and free.
    bool needsDocument(CellPos p) const;
    QTextDocument *docFor(CellPos p);
    const QStaticText *plainFor(CellPos p);
    int rowTop(int r) const { return tops_[size_t(r)]; }
    int rowIndexAt(int y) const;
    double colX(int c) const;
    std::optional<int> resizeEdgeAt(const QPoint &p) const;
    void showGhost(const QPoint &global);

    Note note_;
    std::vector<double> widths_;
    double tableW_ = 0;
    std::vector<int> heights_, tops_;
    Selection *sel_;
    struct CellLayout {
        std::shared_ptr<QTextDocument> doc;
        std::shared_ptr<QStaticText> text;
    };
    QHash<quint64, CellLayout> docs_;
    AppTheme docsTheme_;
    QFont docsFont_;
    std::vector<CellPos> findMatches_;
    std::optional<CellPos> findCurrent_;

    QPoint downPt_;
    bool leftDown_ = false, rightDown_ = false, dragging_ = false;
    std::optional<CellPos> downCell_;
    std::optional<int> resizing_;
    int resizeX_ = 0;
    QPointer<QLabel> ghost_;
};
