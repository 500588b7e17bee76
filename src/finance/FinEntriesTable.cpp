#include "finance/FinEntriesTable.h"

#include "ui/DisplayText.h"
#include "finance/FinanceStore.h"
#include "ui/FadedScroller.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Theme.h"
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <cmath>

namespace {
constexpr int kColumnW[] = {96, 0, 130, 90, 110, 36};
constexpr int kMinNameW = 80;

QColor separatorColor() {
    switch (VF::theme()) {
    case AppTheme::dark:
        return QColor::fromRgbF(1, 1, 1, 0.09f);
    case AppTheme::silver:
        return QColor::fromRgbF(0.6f, 0.68f, 0.8f, 0.22f);
    case AppTheme::pink:
        return QColor::fromRgbF(0.85f, 0.55f, 0.65f, 0.2f);
    case AppTheme::mint:
        return QColor::fromRgbF(0.66f, 0.84f, 0.76f, 0.22f);
    }
    return Qt::transparent;
}

// Draws one cell as the row views of the design did: a faint row tint, a separator line at the top,
// the grid line at the bottom, and the column's text (cut with "…" when it does not fit).
class FinCellDelegate : public QStyledItemDelegate {
public:
    explicit FinCellDelegate(QObject *parent) : QStyledItemDelegate(parent) {
        dateFont_ = Fonts::monoDigits(11);
        nameFont_ = Fonts::scaledFont(12, QFont::Medium);
        noteFont_ = Fonts::scaledFont(10);
        catFont_ = Fonts::scaledFont(11);
        typeFont_ = Fonts::scaledFont(11, QFont::DemiBold);
        amtFont_ = Fonts::monoDigits(12, QFont::Medium);
        delFont_ = Fonts::scaledFont(15, QFont::Light);
        sep_ = separatorColor();
        grid_ = VF::gridLine();
        sub_ = VF::sub();
        text_ = VF::text();
        muted_ = VF::muted();
    }

    void paint(QPainter *p, const QStyleOptionViewItem &opt, const QModelIndex &index) const override {
        const auto *model = static_cast<const FinEntriesModel *>(index.model());
        const FinEntry &e = model->entries()[size_t(index.row())];
        const QRect r = opt.rect;
        p->save();
        p->fillRect(r, QColor::fromRgbF(1, 1, 1, 0.015f));
        p->fillRect(QRect(r.left(), r.top(), r.width(), 1), sep_);
        p->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), grid_);
        const int cw = r.width();
        const QRect text = yUp(r.height(), 10, 0, cw - 12, r.height()).translated(r.topLeft());
        const QColor kind = FinTypes::accent(e.type);
        switch (index.column()) {
        case FinEntriesModel::date:
            draw(p, text, dateFont_, sub_, e.dateStr, Qt::AlignLeft);
            break;
        case FinEntriesModel::name:
            if (e.note.isEmpty()) {
                draw(p, text, nameFont_, text_, e.name, Qt::AlignLeft);
            } else {
                draw(p, text.translated(0, -8), nameFont_, text_, e.name, Qt::AlignLeft);
                const int noteH = std::max(14, QFontMetrics(noteFont_).height());
                draw(p, QRect(text.left(), r.bottom() - noteH, text.width(), noteH), noteFont_, muted_,
                     e.note, Qt::AlignLeft);
            }
            break;
        case FinEntriesModel::category:
            draw(p, text, catFont_, sub_, FinanceStore::displayForKey(e.category), Qt::AlignLeft);
            break;
        case FinEntriesModel::type:
            draw(p, text, typeFont_, kind, FinTypes::display(e.type), Qt::AlignLeft);
            break;
        case FinEntriesModel::amount:
            draw(p, yUp(r.height(), 2, 0, cw - 10, r.height()).translated(r.topLeft()), amtFont_, kind,
                 QString::asprintf("%.2f", e.amount), Qt::AlignRight);
            break;
        case FinEntriesModel::del: {
            QColor c = QColor::fromRgbF(1.0f, 0.27f, 0.27f, 0.9f);
            p->setFont(delFont_);
            p->setPen(c);
            p->drawText(yUp(r.height(), 4, 9, 24, 20).translated(r.topLeft()), Qt::AlignCenter,
                        QStringLiteral("×"));
            break;
        }
        default:
            break;
        }
        p->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override {
        return {80, FinEntriesTable::kRowH};
    }

private:
    static void draw(QPainter *p, const QRect &r, const QFont &f, const QColor &c, const QString &s,
                     Qt::Alignment h) {
        p->setFont(f);
        p->setPen(c);
        const QFontMetrics fm(f);
        p->drawText(r, int(h | Qt::AlignVCenter) | Qt::TextSingleLine,
                    fm.elidedText(DisplayText::cut(s), Qt::ElideRight, r.width()));
    }

    QFont dateFont_, nameFont_, noteFont_, catFont_, typeFont_, amtFont_, delFont_;
    QColor sep_, grid_, sub_, text_, muted_;
};
} // namespace

void FinEntriesModel::setEntries(std::vector<FinEntry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}

int FinEntriesModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(entries_.size());
}

int FinEntriesModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant FinEntriesModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= entries_.size()) return {};
    const FinEntry &e = entries_[size_t(index.row())];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case date:
            return e.dateStr;
        case name:
            return e.name;
        case category:
            return FinanceStore::displayForKey(e.category);
        case type:
            return FinTypes::display(e.type);
        case amount:
            return QString::asprintf("%.2f", e.amount);
        case del:
            return QStringLiteral("×");
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole) {
        if (index.column() == name) return e.note.isEmpty() ? e.name : e.name + QLatin1Char('\n') + e.note;
    }
    return {};
}

FinEntriesTable::FinEntriesTable(QWidget *parent) : QTableView(parent), model_(new FinEntriesModel(this)) {
    setModel(model_);
    setItemDelegate(new FinCellDelegate(this));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    // Every row has the same height, so the view places rows without asking each one.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(kRowH);
    verticalHeader()->setDefaultSectionSize(kRowH);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setMinimumSectionSize(36);
    for (int c = 0; c < FinEntriesModel::columnCount_; ++c)
        if (kColumnW[c] > 0) setColumnWidth(c, kColumnW[c]);
    // The category and type columns widen when a name in the current language would not fit at the
    // current font scale; the name column gives up the room.
    const QFontMetricsF cat(Fonts::scaledFont(11)), type(Fonts::scaledFont(11, QFont::DemiBold));
    double catW = 0, typeW = 0;
    for (const QString &k : FinanceStore::incomeKeys() + FinanceStore::expenseKeys())
        catW = std::max(catW, cat.horizontalAdvance(FinanceStore::displayForKey(k)));
    for (FinType t : {FinType::income, FinType::expense})
        typeW = std::max(typeW, type.horizontalAdvance(FinTypes::display(t)));
    setColumnWidth(FinEntriesModel::category,
                   std::max(kColumnW[FinEntriesModel::category], int(std::ceil(catW)) + 14));
    setColumnWidth(FinEntriesModel::type,
                   std::max(kColumnW[FinEntriesModel::type], int(std::ceil(typeW)) + 14));
    setShowGrid(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    applyFadedScroller(this);
    setMouseTracking(false);
    viewport()->setAutoFillBackground(true);
    QPalette p = viewport()->palette();
    p.setColor(QPalette::Base, VF::bg());
    p.setColor(QPalette::Window, VF::bg());
    viewport()->setPalette(p);
    setPalette(p);
}

QRect FinEntriesTable::deleteRect(int row) const {
    const QRect cell = visualRect(model_->index(row, FinEntriesModel::del));
    return yUp(cell.height(), 4, 9, 24, 20).translated(cell.topLeft());
}

void FinEntriesTable::mouseReleaseEvent(QMouseEvent *e) {
    QTableView::mouseReleaseEvent(e);
    if (e->button() != Qt::LeftButton) return;
    const QModelIndex idx = indexAt(e->position().toPoint());
    if (!idx.isValid() || idx.column() != FinEntriesModel::del) return;
    if (!deleteRect(idx.row()).contains(e->position().toPoint())) return;
    const QString id = model_->entries()[size_t(idx.row())].id;
    if (onDelete) onDelete(id);
}

void FinEntriesTable::resizeEvent(QResizeEvent *e) {
    QTableView::resizeEvent(e);
    fitNameColumn();
}

void FinEntriesTable::fitNameColumn() {
    int others = 0;
    for (int c = 0; c < FinEntriesModel::columnCount_; ++c)
        if (c != FinEntriesModel::name) others += columnWidth(c);
    const int want = std::max(viewport()->width() - others - 2, kMinNameW);
    if (std::abs(columnWidth(FinEntriesModel::name) - want) > 1) setColumnWidth(FinEntriesModel::name, want);
}
