#include "exercises/ExerciseViews.h"

#include "ui/DisplayText.h"
#include "platform/Keys.h"
#include "ui/EmojiText.h"
#include "ui/Fonts.h"
#include "ui/Page.h"
#include "ui/Theme.h"
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace {
QColor withAlpha(QColor c, double a) {
    c.setAlphaF(float(c.alphaF() * a));
    return c;
}

const QColor kGreen = QColor::fromRgbF(0.13f, 0.77f, 0.37f);

double lineH(const QFont &f) {
    return QFontMetricsF(f).height();
}

// Draws text cut to at most maxLines lines of width w, the last one ending in "…" when cut.
void drawWrapped(QPainter &p, const QString &text, const QFont &font, const QRectF &r, int maxLines) {
    QTextLayout layout(text, font);
    QTextOption opt;
    opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(opt);
    const QFontMetricsF fm(font);
    layout.beginLayout();
    double y = 0;
    int n = 0;
    QList<QTextLine> lines;
    while (n < maxLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(r.width());
        line.setPosition(QPointF(0, y));
        y += fm.height();
        lines << line;
        ++n;
    }
    const bool cut = layout.createLine().isValid();
    layout.endLayout();
    for (int i = 0; i < lines.size(); ++i) {
        const QTextLine &l = lines[i];
        if (i == lines.size() - 1 && cut) {
            const QString rest = text.mid(l.textStart());
            p.drawText(QRectF(r.x(), r.y() + l.y(), r.width(), fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                       fm.elidedText(DisplayText::cut(rest), Qt::ElideRight, r.width()));
        } else {
            l.draw(&p, r.topLeft());
        }
    }
}

void startDrag(QWidget *source, const char *type, const QString &value, const QPixmap &image,
               Qt::DropAction action) {
    auto *mime = new QMimeData;
    mime->setData(QString::fromLatin1(type), value.toUtf8());
    auto *drag = new QDrag(source);
    drag->setMimeData(mime);
    drag->setPixmap(image);
    Page::DragGuard guard;
    drag->exec(action);
}
} // namespace

// ---------------------------------------------------------------- library list

ExerciseListView::ExerciseListView(QWidget *parent) : FlippedView(parent) {
    setObjectName(QStringLiteral("exerciseList"));
    setAutoFillBackground(false);
}

void ExerciseListView::setGroups(const std::vector<std::pair<QString, std::vector<Row>>> &groups, double w,
                                 double minH) {
    items_.clear();
    const double nameH = lineH(Fonts::scaledFont(13, QFont::DemiBold));
    const double detailH = lineH(Fonts::scaledFont(10));
    const double headerH = std::max(14.0, lineH(Fonts::scaledFont(9, QFont::DemiBold)));
    const double rowH = std::max(46.0, nameH + detailH + 14);
    double y = 8;
    for (const auto &[name, rows] : groups) {
        Item h;
        h.isHeader = true;
        h.header = name.toUpper();
        h.y = y;
        h.h = headerH;
        items_.push_back(h);
        y += headerH + 6;
        for (const Row &r : rows) {
            Item it;
            it.row = r;
            it.y = y;
            it.h = rowH;
            items_.push_back(it);
            y += rowH + 6;
        }
        y += 8;
    }
    resize(int(w), int(std::ceil(std::max(y, minH))));
    update();
}

const ExerciseListView::Item *ExerciseListView::rowAt(QPointF p) const {
    for (const Item &it : items_)
        if (!it.isHeader && QRectF(4, it.y, width() - 8, it.h).contains(p)) return &it;
    return nullptr;
}

void ExerciseListView::paintRow(QPainter &p, const Row &r, const QRectF &rect) const {
    p.save();
    p.translate(rect.topLeft());
    const double w = rect.width() + 8; // the list width the row's insets are measured from
    const double h = rect.height();
    if (r.selected) {
        QPainterPath path;
        path.addRoundedRect(QRectF(0.5, 0.5, rect.width() - 1, h - 1), 10, 10);
        p.fillPath(path, withAlpha(r.color, 0.18));
        p.setPen(QPen(withAlpha(r.color, 0.45), 1));
        p.drawPath(path);
    }
    const QFont emojiF = Fonts::scaledFont(20);
    p.setFont(emojiF);
    p.setPen(VF::text());
    EmojiText::draw(p, QRectF(6, 0, 36, h), Qt::AlignCenter, r.emoji);
    const QFont nameF = Fonts::scaledFont(13, QFont::DemiBold), detailF = Fonts::scaledFont(10);
    const double nameH = lineH(nameF), detailH = lineH(detailF);
    const double top = (h - nameH - detailH - 2) / 2;
    const double textW = w - 58 - 20;
    p.setFont(nameF);
    p.setPen(r.selected ? r.color : VF::text());
    p.drawText(QRectF(44, top, textW, nameH), Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetricsF(nameF).elidedText(DisplayText::cut(r.name), Qt::ElideRight, textW));
    p.setFont(detailF);
    p.setPen(VF::sub());
    p.drawText(QRectF(44, top + nameH + 2, textW, detailH), Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetricsF(detailF).elidedText(DisplayText::cut(r.detail), Qt::ElideRight, textW));
    p.setFont(Fonts::scaledFont(11));
    p.setPen(VF::muted());
    p.drawText(QRectF(w - 30, 0, 18, h), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("⠿"));
    p.restore();
}

void ExerciseListView::paintEvent(QPaintEvent *e) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF clip = e->rect();
    const QFont headerF = Fonts::scaledFont(9, QFont::DemiBold);
    for (const Item &it : items_) {
        if (it.y > clip.bottom() || it.y + it.h < clip.top()) continue;
        if (it.isHeader) {
            p.setFont(headerF);
            p.setPen(VF::muted());
            const double tw = width() - 24;
            p.drawText(QRectF(12, it.y, tw, it.h), Qt::AlignLeft | Qt::AlignVCenter,
                       QFontMetricsF(headerF).elidedText(DisplayText::cut(it.header), Qt::ElideRight, tw));
        } else {
            paintRow(p, it.row, QRectF(4, it.y, width() - 8, it.h));
        }
    }
}

void ExerciseListView::mousePressEvent(QMouseEvent *e) {
    const Item *it = e->button() == Qt::LeftButton ? rowAt(e->position()) : nullptr;
    pressedId_ = it ? it->row.id : QString();
    const QPointF g = e->scenePosition();
    gesture_.press(g.x(), g.y());
}

void ExerciseListView::mouseMoveEvent(QMouseEvent *e) {
    if (pressedId_.isEmpty()) return;
    const QPointF g = e->scenePosition();
    if (!gesture_.move(g.x(), g.y())) return;
    const Item *it = nullptr;
    for (const Item &x : items_)
        if (!x.isHeader && x.row.id == pressedId_) it = &x;
    if (!it) return;
    const QRectF r(4, it->y, width() - 8, it->h);
    QPixmap img(r.size().toSize() * devicePixelRatioF());
    img.setDevicePixelRatio(devicePixelRatioF());
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        paintRow(p, it->row, QRectF(QPointF(0, 0), r.size()));
    }
    startDrag(this, exDragType, pressedId_, img, Qt::CopyAction);
}

void ExerciseListView::mouseReleaseEvent(QMouseEvent *e) {
    const QString id = pressedId_;
    pressedId_.clear();
    if (id.isEmpty() || e->button() != Qt::LeftButton) return;
    const QPointF g = e->scenePosition();
    if (gesture_.release(g.x(), g.y()) && onTap) onTap(id);
}

// ---------------------------------------------------------------- playlist

PlaylistDropView::PlaylistDropView(QWidget *parent) : FlippedView(parent) {
    setObjectName(QStringLiteral("playlistDrop"));
    setAutoFillBackground(false);
}

void PlaylistDropView::activate() {
    setAcceptDrops(true);
}

void PlaylistDropView::setRows(const std::vector<Row> &rows, int entryCount, double w, double minH) {
    rows_ = rows;
    entryCount_ = entryCount;
    double bottom = 0;
    for (const Row &r : rows_)
        bottom = std::max(bottom, rowRect(r).bottom());
    resize(int(w), int(std::ceil(std::max(entryCount > 0 ? bottom + 8 + 4 : 0.0, minH))));
    update();
}

QRectF PlaylistDropView::rowRect(const Row &r) const {
    return QRectF(4, PlaylistRules::kTopPad + r.slot * PlaylistRules::kPitch, width() - 8,
                  PlaylistRules::kRowH);
}

QRectF PlaylistDropView::removeRect(const Row &r) const {
    const QRectF row = rowRect(r);
    return QRectF(row.left() + width() - 26 - 4, row.top() + 12 - 4, 24, 24);
}

const PlaylistDropView::Row *PlaylistDropView::rowAt(QPointF p) const {
    for (const Row &r : rows_)
        if (rowRect(r).contains(p)) return &r;
    return nullptr;
}

void PlaylistDropView::paintRow(QPainter &p, const Row &r, const QRectF &rect) const {
    p.save();
    p.translate(rect.topLeft());
    const double w = rect.width() + 8, h = rect.height();
    const bool dark = VF::theme() == AppTheme::dark;
    const QColor ink = dark ? QColor(Qt::white) : QColor(Qt::black);
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, rect.width(), h), 8, 8);
    p.fillPath(path, withAlpha(ink, r.finished ? 0.02 : 0.06));
    if (r.finished) {
        p.setFont(Fonts::scaledFont(11, QFont::DemiBold));
        p.setPen(withAlpha(r.color, 0.5));
        p.drawText(QRectF(0, 0, 30, h), Qt::AlignCenter, QStringLiteral("✓"));
    } else {
        QPainterPath badge;
        badge.addEllipse(QRectF(6, (h - 20) / 2, 20, 20));
        p.fillPath(badge, withAlpha(r.color, 0.22));
        p.setFont(Fonts::monoDigits(9, QFont::Bold));
        p.setPen(r.color);
        p.drawText(QRectF(2, 0, 28, h), Qt::AlignCenter, QString::number(r.number));
    }
    p.setOpacity(r.finished ? 0.4 : 1.0);
    p.setFont(Fonts::scaledFont(14));
    p.setPen(VF::text());
    EmojiText::draw(p, QRectF(29, 0, 24, h), Qt::AlignCenter, r.emoji);
    p.setOpacity(1.0);
    const QFont nameF = Fonts::scaledFont(11, QFont::DemiBold);
    const double nameW = w - 96;
    p.setFont(nameF);
    p.setPen(r.finished ? VF::muted() : VF::text());
    p.drawText(QRectF(54, 0, nameW, h), Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetricsF(nameF).elidedText(DisplayText::cut(r.name), Qt::ElideRight, nameW));
    p.setFont(Fonts::scaledFont(11));
    p.setPen(VF::muted());
    p.drawText(QRectF(w - 42, 0, 16, h), Qt::AlignCenter, QStringLiteral("⠿"));
    p.setFont(Fonts::scaledFont(12, QFont::Light));
    p.setPen(withAlpha(ink, dark ? 0.2 : 0.3));
    p.drawText(QRectF(w - 28, 0, 20, h), Qt::AlignCenter, QStringLiteral("×"));
    p.restore();
}

void PlaylistDropView::paintEvent(QPaintEvent *e) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF clip = e->rect();
    if (entryCount_ == 0) {
        const QFont f = Fonts::scaledFont(11);
        p.setFont(f);
        p.setPen(VF::muted());
        p.drawText(QRectF(8, 24, width() - 16, lineH(f)), Qt::AlignCenter,
                   QFontMetricsF(f).elidedText(DisplayText::cut(hint_), Qt::ElideRight, width() - 16));
    }
    for (const Row &r : rows_) {
        const QRectF rr = rowRect(r);
        if (rr.top() > clip.bottom() || rr.bottom() < clip.top()) continue;
        paintRow(p, r, rr);
    }
    if (highlighted_) {
        QPainterPath bg;
        bg.addRoundedRect(QRectF(rect()), 8, 8);
        p.fillPath(bg, withAlpha(kGreen, 0.1));
        QPainterPath border;
        border.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 8, 8);
        p.setPen(QPen(withAlpha(kGreen, 0.4), 1.5));
        p.drawPath(border);
    }
    if (insertionIdx_ >= 0) {
        QPainterPath line;
        line.addRoundedRect(QRectF(6, PlaylistRules::insertionLineY(insertionIdx_), width() - 12, 3), 1.5,
                            1.5);
        p.fillPath(line, withAlpha(kGreen, 0.9));
    }
}

void PlaylistDropView::endFeedback() {
    highlighted_ = false;
    insertionIdx_ = -1;
    update();
}

void PlaylistDropView::dragEnterEvent(QDragEnterEvent *e) {
    const QMimeData *m = e->mimeData();
    if (m->hasFormat(QString::fromLatin1(plRowDragType))) {
        insertionIdx_ = PlaylistRules::insertionIndex(e->position().y(), entryCount_);
        update();
        e->setDropAction(Qt::MoveAction);
        e->accept();
    } else if (m->hasFormat(QString::fromLatin1(exDragType))) {
        highlighted_ = true;
        update();
        e->setDropAction(Qt::CopyAction);
        e->accept();
    } else {
        e->ignore();
    }
}

void PlaylistDropView::dragMoveEvent(QDragMoveEvent *e) {
    if (e->mimeData()->hasFormat(QString::fromLatin1(plRowDragType))) {
        insertionIdx_ = PlaylistRules::insertionIndex(e->position().y(), entryCount_);
        update();
        e->setDropAction(Qt::MoveAction);
    } else {
        e->setDropAction(Qt::CopyAction);
    }
    e->accept();
}

void PlaylistDropView::dragLeaveEvent(QDragLeaveEvent *) {
    endFeedback();
}

void PlaylistDropView::dropEvent(QDropEvent *e) {
    endFeedback();
    const QMimeData *m = e->mimeData();
    if (m->hasFormat(QString::fromLatin1(plRowDragType))) {
        const QString uid = QString::fromUtf8(m->data(QString::fromLatin1(plRowDragType)));
        const int idx = PlaylistRules::insertionIndex(e->position().y(), entryCount_);
        e->setDropAction(Qt::MoveAction);
        e->accept();
        if (onReorder) onReorder(uid, idx);
    } else if (m->hasFormat(QString::fromLatin1(exDragType))) {
        const QString id = QString::fromUtf8(m->data(QString::fromLatin1(exDragType)));
        e->setDropAction(Qt::CopyAction);
        e->accept();
        if (onDrop) onDrop(id);
    } else {
        e->ignore();
    }
}

void PlaylistDropView::mousePressEvent(QMouseEvent *e) {
    const Row *r = e->button() == Qt::LeftButton ? rowAt(e->position()) : nullptr;
    pressedUid_ = r ? r->uid : QString();
    pressedRemove_ = r && removeRect(*r).contains(e->position());
    const QPointF g = e->scenePosition();
    gesture_.press(g.x(), g.y());
}

void PlaylistDropView::mouseMoveEvent(QMouseEvent *e) {
    if (pressedUid_.isEmpty() || pressedRemove_) return;
    const QPointF g = e->scenePosition();
    if (!gesture_.move(g.x(), g.y())) return;
    const Row *row = nullptr;
    for (const Row &r : rows_)
        if (r.uid == pressedUid_) row = &r;
    if (!row) return;
    const QRectF rr = rowRect(*row);
    QPixmap img(rr.size().toSize() * devicePixelRatioF());
    img.setDevicePixelRatio(devicePixelRatioF());
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        paintRow(p, *row, QRectF(QPointF(0, 0), rr.size()));
    }
    const QString uid = pressedUid_;
    pressedUid_.clear();
    startDrag(this, plRowDragType, uid, img, Qt::MoveAction);
}

void PlaylistDropView::mouseReleaseEvent(QMouseEvent *e) {
    const QString uid = pressedUid_;
    const bool onRemoveBtn = pressedRemove_;
    pressedUid_.clear();
    pressedRemove_ = false;
    if (uid.isEmpty() || !onRemoveBtn || e->button() != Qt::LeftButton) return;
    for (const Row &r : rows_)
        if (r.uid == uid && removeRect(r).contains(e->position())) {
            if (onRemove) onRemove(uid);
            return;
        }
}

// ---------------------------------------------------------------- steps

StepListView::StepListView(QWidget *parent) : FlippedView(parent) {
    setObjectName(QStringLiteral("stepList"));
    setAutoFillBackground(false);
}

void StepListView::setSteps(const std::vector<Step> &steps, const QColor &color, double w, double minH) {
    steps_ = steps;
    color_ = color;
    const double titleH = lineH(Fonts::scaledFont(13, QFont::DemiBold));
    const double instrH = 2 * lineH(Fonts::scaledFont(11));
    cardH_ = std::max(88.0, 10 + titleH + 6 + instrH + 12);
    const double n = double(steps_.size());
    const double needed = steps_.empty() ? 24 : n * (cardH_ + 12) + 24;
    resize(int(w), int(std::ceil(std::max(needed, minH))));
    update();
}

void StepListView::paintEvent(QPaintEvent *e) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF clip = e->rect();
    const double W = width();
    const QFont titleF = Fonts::scaledFont(13, QFont::DemiBold), instrF = Fonts::scaledFont(11);
    const QFont numF = Fonts::monoDigits(12, QFont::Bold), durF = Fonts::monoDigits(13, QFont::DemiBold);
    const double titleH = lineH(titleF);
    const double pitch = cardH_ + 12;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        const double y = 12 + pitch * double(i);
        if (y > clip.bottom() || y + pitch < clip.top()) continue;
        const Step &s = steps_[i];
        const QRectF card(28, y, W - 56, cardH_);
        QPainterPath path;
        path.addRoundedRect(card.adjusted(0.25, 0.25, -0.25, -0.25), 12, 12);
        p.fillPath(path, VF::card());
        p.setPen(QPen(VF::border(), 0.5));
        p.drawPath(path);
        QPainterPath badge;
        const QRectF b(card.left() + 14, card.top() + (cardH_ - 28) / 2, 28, 28);
        badge.addEllipse(b);
        p.fillPath(badge, withAlpha(color_, 0.22));
        p.setFont(numF);
        p.setPen(color_);
        p.drawText(b, Qt::AlignCenter, QString::number(i + 1));
        const QFontMetricsF durM(durF);
        const double durW = std::max(68.0, durM.horizontalAdvance(s.duration) + 4);
        const double textW = std::max(20.0, card.width() - 52 - durW - 26);
        p.setFont(titleF);
        p.setPen(VF::text());
        p.drawText(QRectF(card.left() + 52, card.top() + 10, textW, titleH), Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetricsF(titleF).elidedText(DisplayText::cut(s.title), Qt::ElideRight, textW));
        p.setPen(VF::sub());
        drawWrapped(p, s.instruction, instrF,
                    QRectF(card.left() + 52, card.top() + 10 + titleH + 6, textW, 0), 2);
        p.setFont(durF);
        p.setPen(color_);
        p.drawText(QRectF(card.right() - 14 - durW, card.top(), durW, cardH_),
                   Qt::AlignRight | Qt::AlignVCenter, s.duration);
        if (i + 1 < steps_.size()) {
            p.fillRect(QRectF(55, y + cardH_, 2, 12), withAlpha(color_, 0.18));
        }
    }
}
