// The detail of a table note: the grid, its row heights, and the actions on its cells.
#include "notes/NotesView.h"
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
#include <QMenu>
#include <QScrollBar>
#include <QTimer>

using namespace NotesUi;

void NotesView::buildTableDetail(const Note &note) {
    const int W = detailHost_->width();
    if (note.columns.empty()) {
        auto *doc = new FlippedView;
        auto *l = label(doc, L::t({.en = "Table is empty", .es = "La tabla está vacía", .de = "Tabelle ist leer", .fr = "Le tableau est vide",
                                   .uk = "Таблиця порожня", .pl = "Tabela jest pusta"}),
                        12, QFont::Normal, VF::muted());
        l->setGeometry(28, 12, W - 56, 20);
        doc->resize(W, std::max(60, detailScroll_->height()));
        detailScroll_->setWidget(doc);
        return;
    }
    auto &widths = colWidthsMap_[note.id];
    if (widths.size() != note.columns.size()) widths = NoteGrid::defaultWidths(note);
    HeightCache &hc = heightCache_;
    if (hc.id != note.id || hc.widths != widths || hc.rows.size() != hc.heights.size() ||
        hc.estimated.size() != hc.heights.size()) {
        const size_t n = note.rows.size();
        std::vector<int> known;
        std::vector<char> estimated(n, 0);
        if (n > kMeasureAtOnce) {
            // A long table shows at once: the rows that can reach the viewport are measured now
            // (every row is at least 33 points tall with its gap), the rest later while idle.
            const int est = NoteGrid::oneLineRowHeight();
            const int top = std::max(0, detailScrollPos_.y() - NoteGrid::kTop);
            const size_t first = std::min(n, size_t(top / (est + 3)));
            const size_t last = std::min(n, first + size_t(std::max(detailScroll_->height(), 700) / 33 + 2));
            known.assign(n, est);
            estimated.assign(n, 1);
            for (size_t r = first; r < last; ++r) known[r] = -1, estimated[r] = 0;
        }
        hc = {note.id, widths, note.rows, NoteGrid::measureHeights(note, widths, known.empty() ? nullptr : &known),
              std::move(estimated), 0};
    } else if (hc.rows != note.rows) {
        // Heights follow the cells and the widths only: an unchanged row keeps its height.
        std::vector<int> known(note.rows.size(), -1);
        std::vector<char> estimated(note.rows.size(), 0);
        QHash<QString, size_t> oldIndex;
        for (size_t i = 0; i < note.rows.size(); ++i) {
            const NoteRow &row = note.rows[i];
            size_t j = i;
            if (j >= hc.rows.size() || hc.rows[j].id != row.id) {
                if (oldIndex.isEmpty())
                    for (size_t k = hc.rows.size(); k-- > 0;) oldIndex.insert(hc.rows[k].id, k);
                const auto it = oldIndex.constFind(row.id);
                if (it == oldIndex.constEnd()) continue;
                j = *it;
            }
            const NoteRow &was = hc.rows[j];
            if (was.cells == row.cells && was.cellsRTF == row.cellsRTF) {
                known[i] = hc.heights[j];
                estimated[i] = hc.estimated[j];
            }
        }
        hc.heights = NoteGrid::measureHeights(note, widths, &known);
        hc.rows = note.rows;
        hc.estimated = std::move(estimated);
        hc.nextEstimated = 0;
    }
    if (std::find(hc.estimated.begin(), hc.estimated.end(), 1) != hc.estimated.end()) {
        if (!measureTimer_) {
            measureTimer_ = new QTimer(this);
            measureTimer_->setInterval(0);
            connect(measureTimer_, &QTimer::timeout, this, &NotesView::measureSomeRows);
        }
        measureTimer_->start();
    }
    auto *g = new NoteGrid(note, widths, hc.heights, W, &sel_, nullptr);
    g->resize(g->width(), std::max(g->height(), detailScroll_->height()));
    detailScroll_->setWidget(g);
    grid_ = g;
    const QString id = note.id;
    QPointer<NotesView> self(this);
    g->onDoubleTap = [self, id](int r, int c) { if (self) self->showCellEditor(id, r, c); };
    g->onDragSwap = [self, id](NoteGrid::CellPos a, NoteGrid::CellPos b) { if (self) self->swapOrMove(id, a, b); };
    g->onResize = [self, id](int c, double d) {
        if (!self) return;
        auto &ws = self->colWidthsMap_[id];
        if (c >= 0 && c < int(ws.size())) ws[size_t(c)] = TableOps::resizedWidth(ws[size_t(c)], d);
    };
    g->onResizeEnd = [self] { if (self) self->requestRebuild(); };
    g->onDeleteColumn = [self, id](int c) { if (self) self->deleteColumn(id, c); };
    g->onDeleteRow = [self, id](int r) { if (self) self->deleteRow(id, r); };
    g->onContextMenu = [self, id](const QPoint &p) { if (self) self->contextMenu(id, p); };
    g->onCopy = [self, id] { if (self) self->copySelection(id); };
    g->onPaste = [self, id] { if (self) self->pasteAtAnchor(id); };
    g->onClear = [self, id] { if (self) self->clearSelectionContent(id); };
}

// A slice of the rows still standing at an estimated height, measured between events so the window
// never waits for a whole long table. The shown grid takes the new heights; rows above the visible
// part move the scroll position with them, so what is on screen stays put.
void NotesView::measureSomeRows() {
    HeightCache &hc = heightCache_;
    const size_t n = hc.estimated.size();
    if (n != hc.rows.size() || n != hc.heights.size()) return measureTimer_->stop();
    std::vector<int> known = hc.heights;
    size_t r = hc.nextEstimated, taken = 0;
    for (; r < n && taken < kMeasureSlice; ++r)
        if (hc.estimated[r]) known[r] = -1, ++taken;
    hc.nextEstimated = r;
    if (taken == 0) return measureTimer_->stop();
    std::vector<int> measured = NoteGrid::measureRows(hc.rows, hc.widths, &known);
    const bool shown = grid_ && shownDetailID_ == hc.id && detailScroll_;
    const int scrollY = shown ? detailScroll_->verticalScrollBar()->value() : 0;
    int shift = 0;
    for (size_t i = 0; i < n; ++i) {
        if (known[i] >= 0) continue;
        hc.estimated[i] = 0;
        if (shown && measured[i] != hc.heights[i] && grid_->cellRect({int(i), 0}).top() < scrollY)
            shift += measured[i] - hc.heights[i];
    }
    hc.heights = measured;
    if (shown && grid_->widths() == hc.widths) {
        grid_->setRowHeights(hc.heights);
        if (shift) detailScroll_->verticalScrollBar()->setValue(scrollY + shift);
    }
    if (r >= n) measureTimer_->stop();
}

// ---- table actions ----

void NotesView::swapOrMove(const QString &noteID, NoteGrid::CellPos from, NoteGrid::CellPos to) {
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
    requestRebuild();
}

void NotesView::copySelection(const QString &noteID) {
    const Note *n = NoteStore::shared().find(noteID);
    if (!n || !sel_.anchor || !sel_.end) return;
    clipboardCells_ = TableClipboard::copyBlock(*n, sel_.rect());
    clipboardText_ = TableClipboard::blockText(clipboardCells_);
    QApplication::clipboard()->setText(clipboardText_);
}

void NotesView::pasteAtAnchor(const QString &noteID) {
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
    NoteStore::shared().update(copy);
    requestRebuild();
}

void NotesView::clearSelectionContent(const QString &noteID) {
    if (!sel_.anchor || !sel_.end) return;
    const Note *n = NoteStore::shared().find(noteID);
    if (!n) return;
    Note copy = *n;
    TableClipboard::clear(copy, sel_.rect());
    NoteStore::shared().update(copy);
    requestRebuild();
}

void NotesView::contextMenu(const QString &noteID, const QPoint &global) {
    QMenu m(this);
    const bool has = sel_.anchor.has_value();
    QPointer<NotesView> self(this);
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

void NotesView::deleteColumn(const QString &noteID, int col) {
    const Note *n = NoteStore::shared().find(noteID);
    if (!n || col < 0 || col >= int(n->columns.size())) return;
    const QString msg = L::lang() == AppLang::en ? QStringLiteral("Delete column '%1'?").arg(n->columns[size_t(col)].title)
                                                 : L::t({.en = "", .es = "¿Eliminar la columna?", .de = "Spalte löschen?", .fr = "Supprimer la colonne?",
                                                         .uk = "Видалити стовпець?", .pl = "Usunąć kolumnę?"});
    if (Dialogs::get().alert(this, {msg, {}, {deleteWord(), cancelTitle()}, nullptr, true, {}}) != 0) return;
    const Note *again = NoteStore::shared().find(noteID);
    if (!again) return;
    Note copy = *again;
    TableOps::deleteColumn(copy, col);
    colWidthsMap_.erase(noteID);
    sel_ = {};
    NoteStore::shared().update(copy);
    requestRebuild();
}

void NotesView::deleteRow(const QString &noteID, int row) {
    const QString msg = L::t({.en = "Delete row %1?", .es = "¿Eliminar fila %1?", .de = "Zeile %1 löschen?", .fr = "Supprimer la ligne %1?",
                              .uk = "Видалити рядок %1?", .pl = "Usunąć wiersz %1?"})
                            .arg(row + 1);
    if (Dialogs::get().alert(this, {msg, {}, {deleteWord(), cancelTitle()}, nullptr, true, {}}) != 0) return;
    const Note *n = NoteStore::shared().find(noteID);
    if (!n) return;
    Note copy = *n;
    TableOps::deleteRow(copy, row);
    sel_ = {};
    NoteStore::shared().update(copy);
    requestRebuild();
}

void NotesView::showCellEditor(const QString &noteID, int row, int col) {
    const Note *n = NoteStore::shared().find(noteID);
    if (!n || row < 0 || row >= int(n->rows.size())) return;
    sel_ = {};
    if (grid_) grid_->update();
    const NoteRow &r = n->rows[size_t(row)];
    auto *ed = new CellEditor(noteID, row, col, col < r.cells.size() ? r.cells.at(col) : QString(), window());
    QPointer<NotesView> self(this);
    ed->onSaved = [self] { if (self) self->requestRebuild(); };
    ed->show();
    ed->raise();
    ed->activateWindow();
}
