#include "board/BoardGrid.h"

#include "board/BoardUi.h"
#include "platform/Notifier.h"
#include "pomodoro/TaskStore.h"
#include "ui/DisplayText.h"
#include "ui/Page.h"
#include "ui/RoundedCard.h"
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <QVariantAnimation>
#include <algorithm>

using namespace BoardUi;
using BoardRules::CellRef;

namespace {
const QColor kWeekendRed = QColor::fromRgbF(0.85f, 0.22f, 0.22f);
constexpr double kPlus = 18;
constexpr double kCheck = 13;

int catCol(TaskCat c) {
    return int(c);
}
} // namespace

BoardGrid::BoardGrid(QWidget *parent) : QWidget(parent) {
    setAcceptDrops(true);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    fade_ = new QVariantAnimation(this);
    fade_->setDuration(150);
    connect(fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        hoverAlpha_ = v.toDouble();
        if (hoverDay_ && hoverCat_)
            update(plusRect(hoverDay_, *hoverCat_).toAlignedRect().adjusted(-2, -2, 2, 2));
    });
    rowTops_ = {0};
}

void BoardGrid::setMonth(BoardRules::BoardMonth month, const QDate &today) {
    month_ = std::move(month);
    today_ = today;
    rowTops_.assign(std::size_t(month_.days) + 1, 0);
    for (int d = 1; d <= month_.days; ++d)
        rowTops_[std::size_t(d)] =
            rowTops_[std::size_t(d - 1)] + BoardRules::boardRowHeight(month_.maxInDay(d));
    // A press or hover on the old rows means nothing on the new ones.
    if (!draggingOut_) {
        pressedId_.reset();
        pressedCell_.reset();
        highlightId_.reset();
    }
    dropTarget_.reset();
    resize(width(), int(std::ceil(rowTops_.back())));
    update();
}

double BoardGrid::rowTop(int day) const {
    if (day < 1 || day > month_.days) return 0;
    return rowTops_[std::size_t(day - 1)];
}

double BoardGrid::rowHeight(int day) const {
    if (day < 1 || day > month_.days) return BoardRules::boardRowHeight(0);
    return rowTops_[std::size_t(day)] - rowTops_[std::size_t(day - 1)];
}

double BoardGrid::catColumnWidth() const {
    return std::max(0.0, (width() - kDayColW) * 0.25);
}

QRectF BoardGrid::cellRect(int day, TaskCat cat) const {
    const double c = catColumnWidth();
    return QRectF(kDayColW + catCol(cat) * c, rowTop(day), c, rowHeight(day));
}

QRectF BoardGrid::chipRect(int day, TaskCat cat, int index) const {
    const QRectF cell = cellRect(day, cat);
    return QRectF(cell.x() + 4, cell.y() + kTopPad + index * (kChipH + kChipGap), cell.width() - 8, kChipH);
}

QRectF BoardGrid::checkRect(int day, TaskCat cat, int index) const {
    const QRectF chip = chipRect(day, cat, index);
    return QRectF(chip.x() + 4, chip.y() + 7.5, kCheck, kCheck);
}

QRectF BoardGrid::plusRect(int day, TaskCat cat) const {
    const QRectF cell = cellRect(day, cat);
    return QRectF(cell.right() - kPlus - 4, cell.bottom() - kPlus - 4, kPlus, kPlus);
}

const std::vector<Task> *BoardGrid::cellTasks(int day, TaskCat cat) const {
    if (day < 1 || day > int(month_.cells.size())) return nullptr;
    return &month_.cells[std::size_t(day - 1)][std::size_t(catCol(cat))];
}

CellRef BoardGrid::cellRef(int day, TaskCat cat) const {
    return {cat, day, month_.ym.month, month_.ym.year};
}

BoardGrid::Hit BoardGrid::hitTest(const QPointF &p) const {
    Hit h;
    if (p.y() < 0 || p.y() >= rowTops_.back() || month_.days < 1) return h;
    auto it = std::upper_bound(rowTops_.begin(), rowTops_.end(), p.y());
    h.day = int(it - rowTops_.begin());
    if (h.day < 1 || h.day > month_.days) {
        h.day = 0;
        return h;
    }
    const double c = catColumnWidth();
    if (p.x() < kDayColW || c <= 0) return h;
    const int col = std::min(3, int((p.x() - kDayColW) / c));
    h.cat = TaskCats::allCases[std::size_t(col)];
    // The "+" lies above the chips: in the fullest cell of a row it covers part of the lowest chip,
    // and a click there still adds a task.
    h.onPlus = plusRect(h.day, *h.cat).contains(p);
    if (h.onPlus) return h;
    if (const auto *tasks = cellTasks(h.day, *h.cat)) {
        for (int i = 0; i < int(tasks->size()); ++i) {
            if (checkRect(h.day, *h.cat, i).contains(p)) {
                h.chip = i;
                h.onCheck = true;
                return h;
            }
            if (chipRect(h.day, *h.cat, i).contains(p)) {
                h.chip = i;
                return h;
            }
        }
    }
    return h;
}

// ---- painting

void BoardGrid::paintEvent(QPaintEvent *e) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintedRows_ = 0;
    if (month_.days < 1) return;
    titleFont_ = Fonts::scaledFont(10, QFont::Medium);
    const QRect r = e->rect();
    auto first = std::upper_bound(rowTops_.begin(), rowTops_.end(), double(r.top()));
    int day = std::max(1, int(first - rowTops_.begin()));
    for (; day <= month_.days && rowTop(day) < r.bottom() + 1; ++day) {
        paintRow(p, day);
        ++paintedRows_;
    }
}

void BoardGrid::paintRow(QPainter &p, int day) {
    const double y = rowTop(day), h = rowHeight(day), W = width();
    const bool isToday = today_.isValid() && today_.day() == day && today_.month() == month_.ym.month &&
                         today_.year() == month_.ym.year;
    // A day with many tasks is a tall row: its translucent fills go in bands (RoundedCard).
    if (isToday) {
        RoundedCard::fillRect(p, QRectF(0, y, W, h), VF::today());
        RoundedCard::fillRect(p, QRectF(0, y, 3, h), alpha(VF::todayBorder(), 0.5));
    } else {
        RoundedCard::fillRect(p, QRectF(0, y, W, h), grey(1.0, 0.015));
    }
    // Vertical grid lines between the columns.
    const double c = catColumnWidth();
    for (int i = 0; i < 4; ++i)
        RoundedCard::fillRect(p, QRectF(kDayColW + i * c - 0.5, y, 1, h), VF::gridLine());
    p.fillRect(QRectF(0, y + h - 1, W, 1), VF::gridLine());

    // The day column: number and English weekday, pinned to the top of the row.
    const bool weekend = BoardRules::isWeekendDay(month_.ym, day);
    p.setFont(Fonts::scaledFont(15, QFont::DemiBold));
    p.setPen(isToday ? VF::accent() : weekend ? kWeekendRed : VF::text());
    drawFitted(p, QRectF(0, y + 4, kDayColW, 20), QString::number(day), Qt::AlignCenter);
    p.setFont(Fonts::scaledFont(9.5, QFont::Medium));
    p.setPen(isToday ? VF::accentDim() : weekend ? alpha(kWeekendRed, 0.75) : VF::muted());
    drawFitted(p, QRectF(0, y + 24, kDayColW, 14), BoardRules::weekdayName(month_.ym, day), Qt::AlignCenter);

    for (TaskCat cat : TaskCats::allCases)
        paintCell(p, day, cat);
}

void BoardGrid::paintCell(QPainter &p, int day, TaskCat cat) {
    const QColor cc = TaskCats::color(cat);
    const QRectF cell = cellRect(day, cat);
    const std::vector<Task> *tasks = cellTasks(day, cat);
    const QFont tickFont = Fonts::scaledFont(7, QFont::Bold);
    for (int i = 0; tasks && i < int(tasks->size()); ++i) {
        const Task &t = (*tasks)[std::size_t(i)];
        const QRectF chip = chipRect(day, cat, i);
        const bool highlighted = highlightId_ && *highlightId_ == t.id;
        RoundedCard::paint(p, chip, 6, alpha(cc, t.completed ? 0.08 : 0.18), alpha(cc, 0.85),
                           highlighted ? 1.5 : 0);
        const QRectF box = checkRect(day, cat, i).adjusted(0.75, 0.75, -0.75, -0.75);
        p.setPen(QPen(alpha(cc, 0.7), 1.5));
        p.setBrush(t.completed ? QBrush(alpha(cc, 0.85)) : QBrush(Qt::NoBrush));
        p.drawEllipse(box);
        p.setBrush(Qt::NoBrush);
        if (t.completed) {
            p.setFont(tickFont);
            p.setPen(grey(0.08, 1.0));
            p.drawText(checkRect(day, cat, i), Qt::AlignCenter, QStringLiteral("✓"));
        }
        p.setFont(titleFont_);
        p.setPen(t.completed ? alpha(cc, 0.35) : cc);
        const QRectF tr(chip.x() + 23, chip.y() + 7, std::max(0.0, chip.width() - 25), 14);
        p.drawText(tr, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   elidedTitle(t.title, tr.width()));
    }
    if (hoverDay_ == day && hoverCat_ == cat && hoverAlpha_ > 0) {
        const QRectF pr = plusRect(day, cat);
        p.setOpacity(hoverAlpha_);
        p.setPen(Qt::NoPen);
        p.setBrush(grey(0.5, 0.22));
        p.drawEllipse(pr);
        p.setBrush(Qt::NoBrush);
        p.setPen(cc);
        p.setFont(Fonts::scaledFont(13, QFont::Medium));
        p.drawText(pr, Qt::AlignCenter, QStringLiteral("+"));
        p.setOpacity(1.0);
    }
    if (dropTarget_ && *dropTarget_ == cellRef(day, cat)) {
        p.fillRect(cell, alpha(cc, 0.18));
        p.setPen(QPen(alpha(cc, 0.7), 1.5));
        p.drawRect(cell.adjusted(1, 1, -1, -1));
    }
}

const QString &BoardGrid::elidedTitle(const QString &title, double w) {
    // Kept per width and font: a resize or a new font scale starts afresh, and so does a very long list.
    if (w != elidedW_ || elided_.size() > 20000 || titleFont_ != elidedFont_) {
        elided_.clear();
        elidedW_ = w;
        elidedFont_ = titleFont_;
    }
    auto it = elided_.find(title);
    if (it == elided_.end())
        it = elided_.insert(title,
                            QFontMetricsF(titleFont_).elidedText(DisplayText::cut(title), Qt::ElideRight, w));
    return *it;
}

void BoardGrid::updateCell(const std::optional<CellRef> &c) {
    if (!c) return;
    update(cellRect(c->day, c->cat).toAlignedRect().adjusted(-2, -2, 2, 2));
}

// ---- hover

void BoardGrid::setHover(int day, std::optional<TaskCat> cat) {
    if (day == hoverDay_ && cat == hoverCat_) return;
    if (hoverDay_ && hoverCat_)
        update(plusRect(hoverDay_, *hoverCat_).toAlignedRect().adjusted(-2, -2, 2, 2));
    hoverDay_ = day;
    hoverCat_ = cat;
    fade_->stop();
    hoverAlpha_ = 0;
    if (!day || !cat) return;
    const std::vector<Task> *tasks = cellTasks(day, *cat);
    fade_->setStartValue(0.0);
    fade_->setEndValue(tasks && !tasks->empty() ? 0.7 : 1.0);
    fade_->start();
}

void BoardGrid::leaveEvent(QEvent *e) {
    setHover(0, std::nullopt);
    QWidget::leaveEvent(e);
}

void BoardGrid::resizeEvent(QResizeEvent *e) {
    QWidget::resizeEvent(e);
    update();
}

// ---- mouse

void BoardGrid::mousePressEvent(QMouseEvent *e) {
    if (e->button() != Qt::LeftButton && e->button() != Qt::RightButton) return;
    draggingOut_ = false;
    doubleClick_ = false;
    pressedId_.reset();
    pressedCell_.reset();
    pressPos_ = e->position();
    pressCopies_ = e->button() == Qt::RightButton;
    const Hit h = hitTest(e->position());
    if (h.day && h.cat && h.chip >= 0) {
        const std::vector<Task> *tasks = cellTasks(h.day, *h.cat);
        pressedId_ = (*tasks)[std::size_t(h.chip)].id;
        pressedCell_ = cellRef(h.day, *h.cat);
        if (e->button() == Qt::LeftButton) {
            highlightId_ = pressedId_;
            updateCell(pressedCell_);
        }
    }
}

void BoardGrid::mouseDoubleClickEvent(QMouseEvent *e) {
    mousePressEvent(e);
    doubleClick_ = e->button() == Qt::LeftButton;
}

void BoardGrid::mouseMoveEvent(QMouseEvent *e) {
    if (!(e->buttons() & (Qt::LeftButton | Qt::RightButton))) {
        const Hit h = hitTest(e->position());
        setHover(h.day, h.cat);
        return;
    }
    if (!pressedId_ || draggingOut_) return;
    const QPointF d = e->position() - pressPos_;
    if (!BoardRules::movedFarEnough(d.x(), d.y())) return;
    // Desktops that refuse right-button drags still copy with Ctrl held when the left drag starts.
    startDrag(pressCopies_ || (e->modifiers() & Qt::ControlModifier));
}

void BoardGrid::startDrag(bool copy) {
    draggingOut_ = true;
    dragSource_ = pressedCell_;
    const QString id = *pressedId_;
    const CellRef src = *pressedCell_;
    const QColor cc = TaskCats::color(src.cat);
    QString title;
    if (const auto *tasks = cellTasks(src.day, src.cat))
        for (const Task &t : *tasks)
            if (t.id == id) title = t.title;

    const double w = std::max(80.0, catColumnWidth() - 8);
    const qreal dpr = devicePixelRatioF();
    QPixmap img(QSize(int(std::ceil(w * dpr)), int(std::ceil(kChipH * dpr))));
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath path;
        path.addRoundedRect(QRectF(0.75, 0.75, w - 1.5, kChipH - 1.5), 6, 6);
        p.fillPath(path, alpha(cc, copy ? 0.45 : 0.55));
        p.setPen(QPen(alpha(cc, 0.85), 1.5));
        p.drawPath(path);
        p.setFont(Fonts::scaledFont(10, QFont::Medium));
        p.setPen(cc);
        const double x = copy ? 8 : 22;
        drawFitted(p, QRectF(x, 7, w - x - 4, 14), copy ? QStringLiteral("⊕ ") + title : title,
                   Qt::AlignLeft | Qt::AlignVCenter);
    }
    auto *drag = new QDrag(this);
    drag->setMimeData(BoardRules::makeDragMime(id, copy));
    drag->setPixmap(img);
    const QRectF chip = chipRect(src.day, src.cat, 0);
    drag->setHotSpot(QPoint(int(pressPos_.x() - chip.x()), int(kChipH / 2)));

    QPointer<BoardGrid> self(this);
    {
        // The drag runs its own event loop: redraws wait until it returns.
        Page::DragGuard hold;
        drag->exec(Qt::CopyAction | Qt::MoveAction, copy ? Qt::CopyAction : Qt::MoveAction);
    }
    if (!self) return;
    dragSource_.reset();
    highlightId_.reset();
    dropTarget_.reset();
    QTimer::singleShot(0, this, [this] { update(); });
}

void BoardGrid::mouseReleaseEvent(QMouseEvent *e) {
    if (e->button() == Qt::RightButton) {
        draggingOut_ = false;
        dragSource_.reset();
        pressedId_.reset();
        return;
    }
    if (e->button() != Qt::LeftButton) return;
    const auto wasCell = pressedCell_;
    highlightId_.reset();
    updateCell(wasCell);
    if (draggingOut_) {
        draggingOut_ = false;
        return;
    }
    const Hit h = hitTest(e->position());
    if (!h.day || !h.cat) return;
    const std::vector<Task> *tasks = cellTasks(h.day, *h.cat);
    if (h.chip >= 0 && tasks) {
        const QString id = (*tasks)[std::size_t(h.chip)].id;
        if (h.onCheck) {
            TaskStore::shared().toggle(id);
        } else {
            // The board opens the detail panel from this notice; the id rides on the sender.
            QObject notice;
            notice.setProperty("taskID", id);
            Notifier::get().post(QStringLiteral("showTaskDetail"), &notice);
        }
        return;
    }
    if (h.onPlus || doubleClick_) {
        doubleClick_ = false;
        if (onAdd) onAdd(h.day, *h.cat);
    }
}

// ---- dropping

void BoardGrid::dragEnterEvent(QDragEnterEvent *e) {
    const auto kind = BoardRules::dropKind(*e->mimeData());
    if (kind == BoardRules::DropKind::none) {
        e->ignore();
        return;
    }
    e->setDropAction(kind == BoardRules::DropKind::copy ? Qt::CopyAction : Qt::MoveAction);
    e->accept();
}

void BoardGrid::dragMoveEvent(QDragMoveEvent *e) {
    const auto kind = BoardRules::dropKind(*e->mimeData());
    const Hit h = hitTest(e->position());
    std::optional<CellRef> target;
    if (h.day && h.cat) target = cellRef(h.day, *h.cat);
    const bool fromHere = e->source() == this && dragSource_ && target == dragSource_;
    if (target != dropTarget_) {
        updateCell(dropTarget_);
        dropTarget_ = fromHere ? std::nullopt : target;
        updateCell(dropTarget_);
    }
    if (kind == BoardRules::DropKind::none || !target || fromHere) {
        e->ignore();
        return;
    }
    e->setDropAction(kind == BoardRules::DropKind::copy ? Qt::CopyAction : Qt::MoveAction);
    e->accept();
}

void BoardGrid::dragLeaveEvent(QDragLeaveEvent *) {
    updateCell(dropTarget_);
    dropTarget_.reset();
}

void BoardGrid::dropEvent(QDropEvent *e) {
    updateCell(dropTarget_);
    dropTarget_.reset();
    const auto kind = BoardRules::dropKind(*e->mimeData());
    const Hit h = hitTest(e->position());
    if (!h.day || !h.cat) {
        e->ignore();
        return;
    }
    const std::optional<CellRef> source = e->source() == this ? dragSource_ : std::nullopt;
    const bool taken = BoardRules::applyDrop(TaskStore::shared(), kind, BoardRules::draggedId(*e->mimeData()),
                                             source, cellRef(h.day, *h.cat));
    if (!taken) {
        e->ignore();
        return;
    }
    e->setDropAction(kind == BoardRules::DropKind::copy ? Qt::CopyAction : Qt::MoveAction);
    e->accept();
}
