#include "board/CalDayCell.h"

#include "board/BoardRules.h"
#include "board/BoardUi.h"
#include "pomodoro/TaskStore.h"
#include "ui/Page.h"
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <QVariantAnimation>

using namespace BoardUi;

namespace {
const QColor kWeekendRed = QColor::fromRgbF(0.9f, 0.35f, 0.35f);
QColor catColour(const Task &t) {
    return TaskCats::color(TaskCats::fromRaw(t.category).value_or(TaskCat::work));
}
} // namespace

CalDayCell::CalDayCell(int day, int month, int year, std::vector<Task> tasks, bool isToday, bool isWeekend,
                       QWidget *parent)
    : QWidget(parent), day_(day), month_(month), year_(year), tasks_(std::move(tasks)), isToday_(isToday),
      isWeekend_(isWeekend) {
    setAcceptDrops(true);
    setMouseTracking(true);
    fade_ = new QVariantAnimation(this);
    fade_->setDuration(150);
    connect(fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        plusAlpha_ = v.toDouble();
        update(plusRect().toAlignedRect().adjusted(-2, -2, 2, 2));
    });
}

QString CalDayCell::chipText(const Task &t) {
    return t.completed ? QStringLiteral("✓ ") + t.title : t.title;
}

std::vector<QRectF> CalDayCell::chipRects() const {
    std::vector<QRectF> out;
    const double W = width(), H = height();
    for (std::size_t i = 0; i < tasks_.size(); ++i) {
        // Design frame (2, H − 39 − 17i, W − 4, 15) from the bottom; placed only while y ≥ 1.
        const double yUpBottom = H - 39 - kChipStep * double(i);
        if (yUpBottom < 1) break;
        out.emplace_back(2, H - yUpBottom - kChipH, W - 4, kChipH);
    }
    return out;
}

QRectF CalDayCell::plusRect() const {
    return QRectF(width() - 23, height() - 23, 20, 20);
}

void CalDayCell::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double W = width(), H = height();
    p.fillRect(rect(), isToday_ ? VF::today() : isWeekend_ ? grey(1, 0.02) : VF::bg());
    p.setPen(QPen(VF::gridLine(), 0.5));
    p.drawRect(QRectF(0.5, 0.5, W - 1, H - 1));
    if (isToday_) p.fillRect(QRectF(0, 0, 2, H), VF::accent());

    // The day number at the top right, on an accent disc for today.
    if (isToday_) {
        p.setPen(Qt::NoPen);
        p.setBrush(VF::accent());
        p.drawEllipse(QRectF(W - 20, 2, 18, 18));
        p.setBrush(Qt::NoBrush);
    }
    p.setFont(Fonts::scaledFont(11, isToday_ ? QFont::Bold : QFont::DemiBold));
    p.setPen(isToday_ ? QColor(Qt::black) : isWeekend_ ? alpha(kWeekendRed, 0.75) : VF::text());
    p.drawText(QRectF(isToday_ ? W - 20 : W - 22, 3, 18, 16), Qt::AlignCenter, QString::number(day_));

    const std::vector<QRectF> chips = chipRects();
    p.setFont(Fonts::scaledFont(8.5));
    for (std::size_t i = 0; i < chips.size(); ++i) {
        const Task &t = tasks_[i];
        const QColor cc = catColour(t);
        QPainterPath path;
        path.addRoundedRect(chips[i], 3, 3);
        p.fillPath(path, alpha(cc, t.completed ? 0.1 : 0.22));
        if (highlightId_ && *highlightId_ == t.id) {
            p.setPen(QPen(alpha(cc, 0.9), 1.5));
            p.drawPath(path);
        }
        p.setPen(cc);
        drawFitted(p, QRectF(chips[i].x() + 3, chips[i].y() + 1, std::max(0.0, W - 10), 13), chipText(t),
                   Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (plusAlpha_ > 0) {
        const QRectF pr = plusRect();
        p.setOpacity(plusAlpha_);
        p.setPen(Qt::NoPen);
        p.setBrush(grey(0.5, 0.25));
        p.drawEllipse(pr);
        p.setPen(VF::accent());
        p.setFont(Fonts::scaledFont(14, QFont::Medium));
        p.drawText(pr, Qt::AlignCenter, QStringLiteral("+"));
        p.setOpacity(1);
    }
    if (dropTarget_) {
        p.fillRect(rect(), alpha(VF::accent(), 0.18));
        p.setPen(QPen(alpha(VF::accent(), 0.7), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

void CalDayCell::fadePlus(double to) {
    fade_->stop();
    fade_->setStartValue(plusAlpha_);
    fade_->setEndValue(to);
    fade_->start();
}

void CalDayCell::enterEvent(QEnterEvent *e) {
    fadePlus(1.0);
    QWidget::enterEvent(e);
}

void CalDayCell::leaveEvent(QEvent *e) {
    fadePlus(0.0);
    QWidget::leaveEvent(e);
}

void CalDayCell::mousePressEvent(QMouseEvent *e) {
    if (e->button() != Qt::LeftButton) return;
    draggingOut_ = false;
    dragSource_ = false;
    doubleClick_ = false;
    draggedId_.reset();
    pressPos_ = e->position();
    const std::vector<QRectF> chips = chipRects();
    for (std::size_t i = 0; i < chips.size(); ++i) {
        if (chips[i].contains(e->position())) {
            draggedId_ = tasks_[i].id;
            highlightId_ = tasks_[i].id;
            update();
            break;
        }
    }
}

void CalDayCell::mouseDoubleClickEvent(QMouseEvent *e) {
    mousePressEvent(e);
    doubleClick_ = e->button() == Qt::LeftButton;
}

void CalDayCell::mouseMoveEvent(QMouseEvent *e) {
    if (!(e->buttons() & Qt::LeftButton) || !draggedId_ || draggingOut_) return;
    const QPointF d = e->position() - pressPos_;
    if (!BoardRules::movedFarEnough(d.x(), d.y())) return;
    startDrag();
}

void CalDayCell::startDrag() {
    draggingOut_ = true;
    dragSource_ = true;
    const Task *task = nullptr;
    for (const Task &t : tasks_)
        if (t.id == *draggedId_) task = &t;
    const double w = std::max(80.0, width() - 4.0);
    const qreal dpr = devicePixelRatioF();
    QPixmap img(QSize(int(std::ceil(w * dpr)), int(std::ceil(kChipH * dpr))));
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::transparent);
    if (task) {
        const QColor cc = catColour(*task);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(0.5, 0.5, w - 1, kChipH - 1), 3, 3);
        p.fillPath(path, alpha(cc, 0.55));
        p.setPen(QPen(alpha(cc, 0.85), 1));
        p.drawPath(path);
        p.setFont(Fonts::scaledFont(8.5));
        p.setPen(cc);
        drawFitted(p, QRectF(3, 1, w - 6, 13), chipText(*task), Qt::AlignLeft | Qt::AlignVCenter);
    }
    auto *drag = new QDrag(this);
    drag->setMimeData(BoardRules::makeDragMime(*draggedId_, false));
    drag->setPixmap(img);
    drag->setHotSpot(QPoint(int(std::min(pressPos_.x(), w - 1)), int(kChipH / 2)));
    QPointer<CalDayCell> self(this);
    {
        Page::DragGuard hold;
        drag->exec(Qt::MoveAction, Qt::MoveAction);
    }
    // The page may have replaced its cells meanwhile; this one is then gone.
    if (!self) return;
    dragSource_ = false;
    draggingOut_ = false;
    highlightId_.reset();
    QTimer::singleShot(0, this, [this] { update(); });
}

void CalDayCell::mouseReleaseEvent(QMouseEvent *e) {
    if (e->button() != Qt::LeftButton) return;
    highlightId_.reset();
    update();
    if (draggingOut_) {
        draggingOut_ = false;
        return;
    }
    if (doubleClick_) {
        doubleClick_ = false;
        if (onAdd) onAdd();
        return;
    }
    if (plusRect().contains(e->position()) && onAdd) onAdd();
}

void CalDayCell::dragEnterEvent(QDragEnterEvent *e) {
    if (dragSource_ || BoardRules::dropKind(*e->mimeData()) != BoardRules::DropKind::move) {
        e->ignore();
        return;
    }
    dropTarget_ = true;
    update();
    e->setDropAction(Qt::MoveAction);
    e->accept();
}

void CalDayCell::dragMoveEvent(QDragMoveEvent *e) {
    if (dragSource_ || BoardRules::dropKind(*e->mimeData()) != BoardRules::DropKind::move) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::MoveAction);
    e->accept();
}

void CalDayCell::dragLeaveEvent(QDragLeaveEvent *) {
    dropTarget_ = false;
    update();
}

void CalDayCell::dropEvent(QDropEvent *e) {
    dropTarget_ = false;
    update();
    if (dragSource_ || BoardRules::dropKind(*e->mimeData()) != BoardRules::DropKind::move) {
        e->ignore();
        return;
    }
    // The store posts tasksChanged; the page rebuilds its cells once the drag has returned.
    BoardRules::applyDayDrop(TaskStore::shared(), BoardRules::DropKind::move,
                             BoardRules::draggedId(*e->mimeData()), std::nullopt, QDate(year_, month_, day_));
    e->setDropAction(Qt::MoveAction);
    e->accept();
}
