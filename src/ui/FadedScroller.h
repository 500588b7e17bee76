#pragma once
#include <QScrollBar>

class QAbstractScrollArea;

// A scroll bar drawn whole, track and knob, at half opacity.
class FadedScroller : public QScrollBar {
    Q_OBJECT
public:
    explicit FadedScroller(Qt::Orientation o, QWidget *parent = nullptr) : QScrollBar(o, parent) {}

protected:
    void paintEvent(QPaintEvent *e) override;
};

// Gives the scroll area a FadedScroller on both axes; when it shows them is left as it was.
void applyFadedScroller(QAbstractScrollArea *area);
