#pragma once
#include <QScrollBar>

class QAbstractScrollArea;

// A scroll bar drawn whole, track and knob, at half opacity, in the overlay style: it floats over
// the content instead of taking a strip of it, and shows only while the view scrolls (or the
// pointer is on it), then fades out.
class FadedScroller : public QScrollBar {
    Q_OBJECT
public:
    explicit FadedScroller(Qt::Orientation o, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *e) override;
};

// Gives the scroll area a FadedScroller on both axes; when it shows them is left as it was.
void applyFadedScroller(QAbstractScrollArea *area);
// Keeps the vertical overlay scroller clear of a strip along the top of the view (an accent bar
// the page draws there), by starting it inset points lower. Call after applyFadedScroller.
void setScrollerTopInset(QAbstractScrollArea *area, int inset);
