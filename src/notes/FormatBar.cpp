#include "notes/FormatBar.h"

#include "notes/PacedLayout.h"
#include "notes/RichTextView.h"
#include "notes/TextViewOps.h"
#include "ui/Theme.h"
#include <QAbstractScrollArea>
#include <QFocusEvent>
#include <QGraphicsDropShadowEffect>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>

namespace {
// The floating bar's own face: a dark rounded plate with a soft shadow under it.
class BarPlate : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        // On the dark theme's dark editor a hairline keeps the plate apart from the page.
        if (VF::theme() == AppTheme::dark)
            p.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.18f), 1));
        else
            p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgbF(0.15f, 0.15f, 0.15f, 0.92f));
        const double r = 8 * VF::fontScale();
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), r, r);
    }
    // Clicks between the buttons stay on the bar, never reaching the text under it.
    void mousePressEvent(QMouseEvent *e) override { e->accept(); }
    void mouseReleaseEvent(QMouseEvent *e) override { e->accept(); }
    void mouseDoubleClickEvent(QMouseEvent *e) override { e->accept(); }
};
} // namespace

FloatingFormatBar::FloatingFormatBar(QAbstractScrollArea *view, std::function<void(int)> apply)
    : QObject(view), view_(view), apply_(std::move(apply)) {
    setObjectName(QStringLiteral("floatingFormatBarOwner"));
}

FloatingFormatBar *FloatingFormatBar::attach(QAbstractScrollArea *view, std::function<void(int)> apply) {
    auto *f = new FloatingFormatBar(view, std::move(apply));
    if (auto *t = qobject_cast<QTextEdit *>(view)) {
        connect(t, &QTextEdit::selectionChanged, f, &FloatingFormatBar::place);
        connect(t, &QTextEdit::cursorPositionChanged, f, &FloatingFormatBar::place);
    } else if (auto *p = qobject_cast<QPlainTextEdit *>(view)) {
        connect(p, &QPlainTextEdit::selectionChanged, f, &FloatingFormatBar::place);
        connect(p, &QPlainTextEdit::cursorPositionChanged, f, &FloatingFormatBar::place);
    }
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, f, &FloatingFormatBar::place);
    connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, f, &FloatingFormatBar::place);
    // A long note's paragraphs are laid out over a few turns after they are first drawn: the
    // selection moves on the screen without a scroll.
    if (auto *p = qobject_cast<QPlainTextEdit *>(view))
        connect(p, &QPlainTextEdit::updateRequest, f, &FloatingFormatBar::placeLater);
    view->installEventFilter(f);
    f->viewport_ = view->viewport();
    view->viewport()->installEventFilter(f);
    return f;
}

QWidget *FloatingFormatBar::barOf(const QAbstractScrollArea *view) {
    const auto *f = view ? view->findChild<FloatingFormatBar *>(QStringLiteral("floatingFormatBarOwner"),
                                                                Qt::FindDirectChildrenOnly)
                         : nullptr;
    return f ? f->bar() : nullptr;
}

bool FloatingFormatBar::eventFilter(QObject *watched, QEvent *event) {
    if (watched == viewport_) {
        // The text is laid out again at the new width once the view has handled its resize.
        if (event->type() == QEvent::Resize) placeLater();
    } else if (watched == view_) {
        switch (event->type()) {
        case QEvent::Resize:
            placeLater();
            break;
        case QEvent::FocusIn:
        case QEvent::ReadOnlyChange:
            place();
            break;
        case QEvent::FocusOut:
            // A popup (the context menu) takes the focus only for a moment.
            if (static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason) place();
            break;
        default:
            break;
        }
    }
    return false;
}

void FloatingFormatBar::placeLater() {
    if (placeQueued_) return;
    placeQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        placeQueued_ = false;
        place();
    });
}

void FloatingFormatBar::place() {
    const QTextCursor sel = TextViewOps::textCursor(view_);
    const auto hide = [this] {
        if (bar_) bar_->hide();
    };
    if (!sel.hasSelection() || TextViewOps::isReadOnly(view_) || !view_->hasFocus()) return hide();
    // Only the shown part of the selection is measured: placing a position far outside the view
    // would lay out all the text between (a long note's view lays out only what it shows). A
    // selection out of view has no bar: one kept at the view's edge would lie over other text.
    const auto [shownFrom, shownTo] = TextViewOps::visibleRange(view_);
    if (shownFrom < 0 || sel.selectionEnd() <= shownFrom || sel.selectionStart() > shownTo) return hide();
    const int from = std::max(sel.selectionStart(), shownFrom);
    const int to = std::min(sel.selectionEnd(), shownTo);
    // Paragraphs not drawn yet are measured as a drawing would, a few per turn.
    const NoteDocument::PacedLayout::Pacing pacing(sel.document(), qobject_cast<QPlainTextEdit *>(view_));
    QTextCursor a(sel.document()), b(sel.document());
    a.setPosition(from);
    b.setPosition(to);
    // A selection that ends at a line's start holds nothing of that line.
    if (to > from && b.atBlockStart()) b.setPosition(to - 1);
    const QRect ra = TextViewOps::cursorRect(view_, a), rb = TextViewOps::cursorRect(view_, b);
    const QRect area = view_->viewport()->rect();
    // Its paragraphs may be shown while its lines are not (a paragraph of many lines).
    if (rb.bottom() < area.top() || ra.top() > area.bottom()) return hide();
    const double s = VF::fontScale();
    if (!bar_) {
        auto *bar = new BarPlate(view_->viewport());
        bar->setObjectName(QStringLiteral("floatingFormatBar"));
        bar->resize(qRound(116 * s), qRound(34 * s));
        auto *shadow = new QGraphicsDropShadowEffect(bar);
        shadow->setColor(QColor::fromRgbF(0, 0, 0, 0.25f));
        shadow->setBlurRadius(6 * s);
        shadow->setOffset(0, 2 * s); // drawn below the bar
        bar->setGraphicsEffect(shadow);
        const struct {
            const char16_t *label;
            int idx;
            int x;
        } buttons[] = {{u"B", 0, 6}, {u"I", 1, 42}, {u"U\u0332", 2, 78}};
        for (const auto &b : buttons) {
            const int idx = b.idx;
            auto *btn = new FmtBarButton(
                QString::fromUtf16(b.label),
                [this, idx] {
                    if (apply_) apply_(idx);
                },
                bar);
            btn->setBoldLabel(idx == 0);
            btn->setLabelStyle(Qt::white, true);
            btn->setGeometry(qRound(b.x * s), qRound(4 * s), qRound(32 * s), qRound(26 * s));
        }
        bar_ = bar;
    }
    // Centred over the selection's first line; when there is no room above it in the view, below
    // the line after its last, which the user reads on to (then right below its last line; over the
    // selection itself when it fills the view); always inside the view.
    const int gap = qRound(6 * s);
    const int w = bar_->width(), h = bar_->height();
    const int centre = ra.top() == rb.top() ? (ra.left() + rb.left()) / 2 : (ra.left() + area.right()) / 2;
    const int nextLine = rb.bottom() + rb.height();
    int y = ra.top() - gap - h;
    if (y < area.top())
        y = nextLine + gap + h <= area.bottom()      ? nextLine + gap
            : rb.bottom() + gap + h <= area.bottom() ? rb.bottom() + gap
                                                     : std::max(ra.bottom(), area.top()) + gap;
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() - h));
    const int x =
        std::clamp(centre - w / 2, area.left() + 2, std::max(area.left() + 2, area.right() - w - 2));
    bar_->move(x, y);
    bar_->show();
    bar_->raise();
}
