// The detail of a table note: the grid, its row heights, and the actions on its cells.
#include "notes/NoteTableDetail.h"
#include "notes/NotesUi.h"

#include "notes/NoteDialogs.h"
#include "notes/NoteStore.h"
#include "notes/TableClipboard.h"
#include "notes/TableOps.h"
#include "platform/Dialogs.h"
#include "ui/CommonAlerts.h"
#include "ui/FlippedView.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>

using namespace NotesUi;

NoteTableDetail::NoteTableDetail(QWidget *page, Shown shown) : QObject(page), page_(page), shown_(std::move(shown)) {}

namespace {
// A selection is a rectangle over the cells as they stood: once the table changes it may cover other
// cells or none, so any change drops it (as a column resize does).
bool sameTable(const Note &was, const Note &now) {
    return was.id == now.id && was.columns == now.columns && was.rows == now.rows;
}
} // namespace

void NoteTableDetail::build(const Note &note, int scrollY) {
    QScrollArea *scroll = shown_.scroll();
    const int W = shown_.host()->width();
    if (note.columns.empty()) {
        auto *doc = new FlippedView;
        auto *l = label(doc, L::t({.en = "Table is empty", .es = "La tabla está vacía", .de = "Tabelle ist leer", .fr = "Le tableau est vide",
                                   .uk = "Таблиця порожня", .pl = "Tabela jest pusta"}),
                        12, QFont::Normal, VF::muted());
        l->setGeometry(28, 12, W - 56, 20);
        doc->resize(W, std::max(60, scroll->height()));
        scroll->setWidget(doc);
        return;
    }
    const size_t n = note.rows.size();
    // A large table shows its first screen at once and is measured the rest of the way between
    // events. The rows that can reach the viewport first (every row is at least 33 points tall with
    // its gap) are measured now.
    const bool sliced = n * note.columns.size() > kMeasureAtOnceCells;
    const int est = NoteGrid::oneLineRowHeight();
    const size_t first = std::min(n, size_t(std::max(0, scrollY - NoteGrid::kTop) / (est + 3)));
    const size_t last = std::min(n, first + size_t(std::max(scroll->height(), 700) / 33 + 2));
    auto &widths = colWidthsMap_[note.id];
    // The widest lines known for the rows measured now: the first screen's, when its scan gave the widths.
    std::vector<double> firstWidest;
    if (widths.size() != note.columns.size()) {
        if (!sliced) {
            widths = NoteGrid::defaultWidths(note);
        } else {
            // Widths from the first screen for now; the scan of every row settles them.
            if (widthScan_ && widthScan_->id != note.id) colWidthsMap_.erase(widthScan_->id);
            WidthScan scan{note.id, note.columns, {}, 0};
            NoteGrid::scanWidest(note.rows, first, last, scan.widest);
            widths = NoteGrid::widthsFromWidest(note.columns, scan.widest);
            firstWidest = scan.widest;
            widthScan_ = std::move(scan);
        }
    }
    HeightCache &hc = heightCache_;
    const quint64 version = NoteStore::shared().textVersion(note.id);
    // The rows measured are the note's own when the store still has them in that version: a table
    // the store let go of and decoded again for this open holds the same cells in other strings,
    // and comparing its 200 000 cells took longer than building the detail.
    const bool sameRows = hc.id == note.id && version != 0 && hc.version == version && hc.rows.size() == n;
    if (hc.id != note.id || hc.widths != widths || hc.rows.size() != hc.heights.size() ||
        hc.estimated.size() != hc.heights.size()) {
        std::vector<int> known;
        std::vector<char> estimated(n, 0);
        if (sliced) {
            known.assign(n, est);
            estimated.assign(n, 1);
            for (size_t r = first; r < last; ++r) known[r] = -1, estimated[r] = 0;
        }
        // A settled scan of these very rows still holds when only the widths changed.
        std::vector<double> widest = hc.id == note.id && !hc.widest.empty() && (sameRows || hc.rows == note.rows)
                                         ? std::move(hc.widest)
                                         : std::vector<double>{};
        const std::vector<double> *knownWidest = !widest.empty()        ? &widest
                                                 : !firstWidest.empty() ? &firstWidest
                                                                        : nullptr;
        std::vector<int> heights = NoteGrid::measureHeights(note, widths, known.empty() ? nullptr : &known, knownWidest);
        hc = {note.id, widths, note.rows, version, std::move(heights), std::move(estimated), 0, std::move(widest)};
    } else if (!sameRows && hc.rows != note.rows) {
        // Changed rows are not covered by a scan: measure them, and scan a running scan again.
        hc.widest.clear();
        if (widthScan_ && widthScan_->id == note.id) widthScan_->widest.clear(), widthScan_->next = 0;
        // Heights follow the cells and the widths only: an unchanged row keeps its height. In a large
        // table, changed rows off the first screen are measured later like the rest.
        std::vector<int> known(n, -1);
        std::vector<char> estimated(n, 0);
        QHash<QString, size_t> oldIndex;
        for (size_t i = 0; i < n; ++i) {
            const NoteRow &row = note.rows[i];
            size_t j = i;
            if (j >= hc.rows.size() || hc.rows[j].id != row.id) {
                if (oldIndex.isEmpty())
                    for (size_t k = hc.rows.size(); k-- > 0;) oldIndex.insert(hc.rows[k].id, k);
                const auto it = oldIndex.constFind(row.id);
                if (it == oldIndex.constEnd()) {
                    if (sliced && (i < first || i >= last)) known[i] = est, estimated[i] = 1;
                    continue;
                }
                j = *it;
            }
            const NoteRow &was = hc.rows[j];
            if (was.cells == row.cells && was.cellsRTF == row.cellsRTF) {
                known[i] = hc.heights[j];
                estimated[i] = hc.estimated[j];
            } else if (sliced && (i < first || i >= last)) {
                known[i] = est;
                estimated[i] = 1;
            }
        }
        hc.heights = NoteGrid::measureHeights(note, widths, &known);
        hc.rows = note.rows;
        hc.version = version;
        hc.estimated = std::move(estimated);
        hc.nextEstimated = 0;
    }
    if ((widthScan_ && widthScan_->id == note.id) ||
        std::find(hc.estimated.begin(), hc.estimated.end(), 1) != hc.estimated.end())
        startMeasuring();
    if (previousGrid_ && previousGrid_->note().id == note.id && sel_.anchor && !sameTable(previousGrid_->note(), note))
        sel_ = {};
    auto *g = new NoteGrid(note, widths, hc.heights, W, &sel_, nullptr);
    if (previousGrid_) g->takeLayouts(*previousGrid_);
    previousGrid_ = nullptr;
    g->resize(g->width(), std::max(g->height(), scroll->height()));
    scroll->setWidget(g);
    grid_ = g;
    const QString id = note.id;
    QPointer<NoteTableDetail> self(this);
    g->onDoubleTap = [self, id](int r, int c) { if (self) self->showCellEditor(id, r, c); };
    g->onDragSwap = [self, id](NoteGrid::CellPos a, NoteGrid::CellPos b) { if (self) self->swapOrMove(id, a, b); };
    g->onResize = [self, id](int c, double d) {
        if (!self) return;
        auto &ws = self->colWidthsMap_[id];
        if (c >= 0 && c < int(ws.size())) ws[size_t(c)] = TableOps::resizedWidth(ws[size_t(c)], d);
        // Widths the user set are kept: no scan replaces them.
        if (self->widthScan_ && self->widthScan_->id == id) self->widthScan_.reset();
    };
    g->onResizeEnd = [self] {
        if (!self) return;
        self->sel_ = {};
        emit self->rebuildWanted();
    };
    g->onDeleteColumn = [self, id](int c) { if (self) self->deleteColumn(id, c); };
    g->onDeleteRow = [self, id](int r) { if (self) self->deleteRow(id, r); };
    g->onContextMenu = [self, id](const QPoint &p) { if (self) self->contextMenu(id, p); };
    g->onCopy = [self, id] { if (self) self->copySelection(id); };
    g->onPaste = [self, id] { if (self) self->pasteAtAnchor(id); };
    g->onClear = [self, id] { if (self) self->clearSelectionContent(id); };
    tableHeader_ = headerKey(note);
}

NoteTableDetail::HeaderKey NoteTableDetail::headerKey(const Note &note) const {
    return {note.title, note.emoji, int(L::lang()), shown_.host()->size()};
}

// A cell saved, cleared, pasted or swapped in a large table is shown in the grid already there: the
// header, the scroll area and the other cells' layouts stay, and a changed row takes its new height
// in place. Anything else (rows added, removed or moved, other widths, a new title, an open find bar)
// builds the detail again.
bool NoteTableDetail::refreshInPlace(const Note &note) {
    HeightCache &hc = heightCache_;
    const size_t n = note.rows.size();
    if (!grid_ || !shown_.scroll() || note.type != NoteType::table || note.id != shown_.shownID() || !tableHeader_ ||
        !(*tableHeader_ == headerKey(note)) || hc.id != note.id ||
        hc.rows.size() != n || hc.heights.size() != n || hc.estimated.size() != n || hc.widths != grid_->widths())
        return false;
    const auto widths = colWidthsMap_.find(note.id);
    if (widths == colWidthsMap_.end() || widths->second != hc.widths) return false;
    std::vector<size_t> changed;
    for (size_t i = 0; i < n; ++i) {
        const NoteRow &was = hc.rows[i], &now = note.rows[i];
        if (was.id != now.id) return false;
        if (was.cells != now.cells || was.cellsRTF != now.cellsRTF) changed.push_back(i);
    }
    // A row not measured yet stays for the idle measurer; a measured one is measured again.
    std::vector<int> heights = hc.heights;
    for (size_t i : changed)
        if (!hc.estimated[i]) heights[i] = NoteGrid::measureRows({note.rows[i]}, hc.widths).front();
    if (!grid_->takeCells(note)) return false;
    if (!changed.empty()) sel_ = {};
    for (size_t i : changed) hc.rows[i] = note.rows[i];
    hc.version = NoteStore::shared().textVersion(note.id);
    if (heights != hc.heights) {
        hc.heights = std::move(heights);
        grid_->setRowHeights(hc.heights);
    }
    if (!changed.empty()) {
        // Changed rows are not covered by a scan: as when the detail is built again.
        hc.widest.clear();
        if (widthScan_ && widthScan_->id == note.id) widthScan_->widest.clear(), widthScan_->next = 0;
    }
    // The selection or the changed cells: what is visible is painted again from the layouts kept.
    grid_->update();
    return true;
}

bool NoteTableDetail::measured() const {
    const QString shownID = shown_.shownID();
    if (!grid_ || (widthScan_ && widthScan_->id == shownID)) return false;
    const HeightCache &hc = heightCache_;
    return hc.id == shownID && std::find(hc.estimated.begin(), hc.estimated.end(), 1) == hc.estimated.end();
}

void NoteTableDetail::startMeasuring() {
    if (!measureTimer_) {
        measureTimer_ = new QTimer(this);
        measureTimer_->setInterval(0);
        connect(measureTimer_, &QTimer::timeout, this, &NoteTableDetail::measureSomeRows);
    }
    measureTimer_->start();
}

// One slice of the width scan. Returns whether the widths are settled; when the scan ends with other
// widths than the first screen gave, the detail is built again with them (and goes on measuring).
bool NoteTableDetail::scanSomeWidths(const QElapsedTimer &slice) {
    if (!widthScan_) return true;
    WidthScan &s = *widthScan_;
    HeightCache &hc = heightCache_;
    if (hc.id != s.id) {
        // Another note is shown: its widths are worked out again when it is.
        colWidthsMap_.erase(s.id);
        widthScan_.reset();
        return true;
    }
    constexpr size_t kStep = 8;
    while (s.next < hc.rows.size() && slice.elapsed() < kSliceMs) {
        NoteGrid::scanWidest(hc.rows, s.next, s.next + kStep, s.widest);
        s.next += kStep;
    }
    if (s.next < hc.rows.size()) return false;
    auto it = colWidthsMap_.find(s.id);
    const std::vector<double> settled = NoteGrid::widthsFromWidest(s.columns, s.widest);
    const bool changed = it != colWidthsMap_.end() && it->second.size() == settled.size() && it->second != settled;
    if (changed) it->second = settled;
    hc.widest = std::move(s.widest);
    widthScan_.reset();
    if (!changed) return true;
    // The detail alone is built again with them; the list has not changed.
    emit detailRebuildWanted();
    return false;
}

// A slice of the work left on a large table, between events, so the window never waits for a whole
// long table: the width scan first, then the rows still standing at an estimated height. The shown
// grid takes the new heights; rows above the visible part move the scroll position with them, so
// what is on screen stays put.
void NoteTableDetail::measureSomeRows() {
    QElapsedTimer slice;
    slice.start();
    if (!scanSomeWidths(slice)) return; // still scanning, or built again with the settled widths
    HeightCache &hc = heightCache_;
    const size_t n = hc.estimated.size();
    if (n != hc.rows.size() || n != hc.heights.size()) return measureTimer_->stop();
    std::vector<int> heights = hc.heights;
    std::vector<size_t> taken;
    std::vector<NoteRow> chunk;
    constexpr size_t kStep = 16;
    size_t r = hc.nextEstimated;
    while (r < n && slice.elapsed() < kSliceMs) {
        chunk.clear();
        size_t from = taken.size();
        for (; r < n && chunk.size() < kStep; ++r)
            if (hc.estimated[r]) chunk.push_back(hc.rows[r]), taken.push_back(r);
        const std::vector<int> measured =
            NoteGrid::measureRows(chunk, hc.widths, nullptr, hc.widest.empty() ? nullptr : &hc.widest);
        for (size_t k = 0; k < measured.size(); ++k) heights[taken[from + k]] = measured[k];
    }
    hc.nextEstimated = r;
    QScrollArea *scroll = shown_.scroll();
    const bool shown = grid_ && shown_.shownID() == hc.id && scroll;
    const int scrollY = shown ? scroll->verticalScrollBar()->value() : 0;
    int shift = 0;
    for (size_t i : taken) {
        hc.estimated[i] = 0;
        if (shown && heights[i] != hc.heights[i] && grid_->cellRect({int(i), 0}).top() < scrollY)
            shift += heights[i] - hc.heights[i];
    }
    const bool any = heights != hc.heights;
    hc.heights = std::move(heights);
    if (shown && any && grid_->widths() == hc.widths) {
        grid_->setRowHeights(hc.heights);
        if (shift) scroll->verticalScrollBar()->setValue(scrollY + shift);
    }
    if (r >= n) measureTimer_->stop();
}

// ---- table actions ----

void NoteTableDetail::swapOrMove(const QString &noteID, NoteGrid::CellPos from, NoteGrid::CellPos to) {
    const Note *n = NoteStore::shared().find(noteID);
    if (!n) return;
    Note copy = *n;
    bool changed;
    if (sel_.multi() && sel_.contains(from))
        changed = TableOps::moveBlock(copy, sel_.rect(), to.row - from.row, to.col - from.col);
    else
        changed = TableOps::swapCells(copy, from, to);
    if (!changed) return;
    sel_ = {};
    NoteStore::shared().update(copy);
    emit rebuildWanted();
}

void NoteTableDetail::copySelection(const QString &noteID) {
    const Note *n = NoteStore::shared().find(noteID);
    if (!n || !sel_.anchor || !sel_.end) return;
    clipboardCells_ = TableClipboard::copyBlock(*n, sel_.rect());
    clipboardText_ = TableClipboard::blockText(clipboardCells_);
    QApplication::clipboard()->setText(clipboardText_);
}

void NoteTableDetail::pasteAtAnchor(const QString &noteID) {
    // The page's own block keeps cells that hold tabs or line breaks whole, but only while the
    // clipboard still holds what the page put there: anything copied since, here or in another
    // program, wins.
    const QString text = QApplication::clipboard()->text();
    TableClipboard::Block b;
    if (!clipboardCells_.empty() && text == clipboardText_) {
        b = clipboardCells_;
    } else {
        if (text.isNull()) return;
        b = TableClipboard::blockFromText(text);
    }
    if (b.empty() || !sel_.anchor) return;
    const Note *n = NoteStore::shared().find(noteID);
    if (!n) return;
    Note copy = *n;
    TableClipboard::paste(copy, *sel_.anchor, b);
    sel_ = {};
    NoteStore::shared().update(copy);
    emit rebuildWanted();
}

void NoteTableDetail::clearSelectionContent(const QString &noteID) {
    if (!sel_.anchor || !sel_.end) return;
    const Note *n = NoteStore::shared().find(noteID);
    if (!n) return;
    Note copy = *n;
    TableClipboard::clear(copy, sel_.rect());
    sel_ = {};
    NoteStore::shared().update(copy);
    emit rebuildWanted();
}

void NoteTableDetail::contextMenu(const QString &noteID, const QPoint &global) {
    QMenu m(page_);
    const bool has = sel_.anchor.has_value();
    QPointer<NoteTableDetail> self(this);
    QAction *c = m.addAction(QStringLiteral("📋 ") + L::t({.en = "Copy selection", .es = "Copiar selección", .de = "Auswahl kopieren", .fr = "Copier la sélection",
                                                          .uk = "Копіювати виділене", .pl = "Kopiuj zaznaczenie"}));
    c->setEnabled(has);
    m.addSeparator();
    QAction *p = m.addAction(QStringLiteral("📌 ") + L::t({.en = "Paste here", .es = "Pegar aquí", .de = "Hier einfügen", .fr = "Coller ici", .uk = "Вставити тут", .pl = "Wklej tu"}));
    p->setEnabled(has && (!clipboardCells_.empty() || !QApplication::clipboard()->text().isEmpty()));
    m.addSeparator();
    QAction *x = m.addAction(QStringLiteral("🗑 ") + L::t({.en = "Clear", .es = "Borrar", .de = "Löschen", .fr = "Effacer", .uk = "Очистити", .pl = "Wyczyść"}));
    x->setEnabled(has);
    QAction *chosen = m.exec(global);
    if (!self || !chosen) return;
    if (chosen == c) copySelection(noteID);
    if (chosen == p) pasteAtAnchor(noteID);
    if (chosen == x) clearSelectionContent(noteID);
}

void NoteTableDetail::deleteColumn(const QString &noteID, int col) {
    const Note *n = NoteStore::shared().find(noteID);
    if (!n || col < 0 || col >= int(n->columns.size())) return;
    const QString msg = L::lang() == AppLang::en ? QStringLiteral("Delete column '%1'?").arg(n->columns[size_t(col)].title)
                                                 : L::t({.en = "", .es = "¿Eliminar la columna?", .de = "Spalte löschen?", .fr = "Supprimer la colonne?",
                                                         .uk = "Видалити стовпець?", .pl = "Usunąć kolumnę?"});
    if (Dialogs::get().alert(page_, {msg, {}, {deleteWord(), cancelTitle()}, nullptr, true, {}}) != 0) return;
    const Note *again = NoteStore::shared().find(noteID);
    if (!again) return;
    Note copy = *again;
    TableOps::deleteColumn(copy, col);
    colWidthsMap_.erase(noteID);
    sel_ = {};
    NoteStore::shared().update(copy);
    emit rebuildWanted();
}

void NoteTableDetail::deleteRow(const QString &noteID, int row) {
    const QString msg = L::t({.en = "Delete row %1?", .es = "¿Eliminar fila %1?", .de = "Zeile %1 löschen?", .fr = "Supprimer la ligne %1?",
                              .uk = "Видалити рядок %1?", .pl = "Usunąć wiersz %1?"})
                            .arg(row + 1);
    if (Dialogs::get().alert(page_, {msg, {}, {deleteWord(), cancelTitle()}, nullptr, true, {}}) != 0) return;
    const Note *n = NoteStore::shared().find(noteID);
    if (!n) return;
    Note copy = *n;
    TableOps::deleteRow(copy, row);
    sel_ = {};
    NoteStore::shared().update(copy);
    emit rebuildWanted();
}

void NoteTableDetail::showCellEditor(const QString &noteID, int row, int col) {
    // A large table the store let go of since it was shown (another large note was used meanwhile) is
    // decoded on a worker; its cell's editor opens once it is in, if the table is still the one shown.
    QPointer<NoteTableDetail> self(this);
    if (NoteStore::shared().decodeInBackground(noteID, this, [self, noteID, row, col] {
            if (self && self->shown_.selectedID() == noteID) self->openCellEditor(noteID, row, col);
        }))
        return;
    openCellEditor(noteID, row, col);
}

void NoteTableDetail::openCellEditor(const QString &noteID, int row, int col) {
    const Note *n = NoteStore::shared().find(noteID);
    if (!n || row < 0 || row >= int(n->rows.size())) return;
    sel_ = {};
    if (grid_) grid_->update();
    const NoteRow &r = n->rows[size_t(row)];
    auto *ed = new CellEditor(noteID, row, col, col < r.cells.size() ? r.cells.at(col) : QString(), page_->window());
    QPointer<NoteTableDetail> self(this);
    ed->onSaved = [self] { if (self) emit self->rebuildWanted(); };
    ed->show();
    ed->raise();
    ed->activateWindow();
}
