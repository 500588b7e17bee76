#include "ui/FadedScroller.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionSlider>

namespace {
constexpr char kTopInsetProperty[] = "mivoScrollerTopInset";

// Qt lays a scroll bar over the viewport, and shows it only while scrolling, when the bar's style
// calls it transient. Fusion draws transient bars (fading them out when idle); the hint comes from
// here so that only our scrollers change, not every scroll bar of the app.
class TransientStyle : public QProxyStyle {
public:
    TransientStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
    int styleHint(StyleHint hint, const QStyleOption *opt, const QWidget *w,
                  QStyleHintReturn *ret) const override {
        if (hint == SH_ScrollBar_Transient) return 1;
        return QProxyStyle::styleHint(hint, opt, w, ret);
    }
};

QStyle *transientStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        style = new TransientStyle;
        style->setParent(qApp);
    }
    return style;
}

// Moves the vertical bar below the inset each time the area lays it out.
class TopInsetFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() == QEvent::Move || e->type() == QEvent::Resize) {
            auto *bar = static_cast<QScrollBar *>(o);
            auto *area = qobject_cast<QAbstractScrollArea *>(
                bar->parentWidget() ? bar->parentWidget()->parentWidget() : nullptr);
            const int inset = area ? area->property(kTopInsetProperty).toInt() : 0;
            QWidget *container = bar->parentWidget();
            if (inset > 0 && container && container->y() < inset && !guard_) {
                guard_ = true;
                const QRect g = container->geometry();
                container->setGeometry(g.x(), inset, g.width(), std::max(0, g.bottom() + 1 - inset));
                guard_ = false;
            }
        }
        return false;
    }

private:
    bool guard_ = false;
};
} // namespace

FadedScroller::FadedScroller(Qt::Orientation o, QWidget *parent) : QScrollBar(o, parent) {
    setStyle(transientStyle());
}

void FadedScroller::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setOpacity(0.5);
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    opt.subControls = QStyle::SC_All;
    style()->drawComplexControl(QStyle::CC_ScrollBar, &opt, &p, this);
}

void applyFadedScroller(QAbstractScrollArea *area) {
    area->setVerticalScrollBar(new FadedScroller(Qt::Vertical));
    area->setHorizontalScrollBar(new FadedScroller(Qt::Horizontal));
}

void setScrollerTopInset(QAbstractScrollArea *area, int inset) {
    area->setProperty(kTopInsetProperty, inset);
    area->verticalScrollBar()->installEventFilter(new TopInsetFilter(area->verticalScrollBar()));
}
