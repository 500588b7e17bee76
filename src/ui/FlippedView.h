#pragma once
#include <QWidget>

// A view whose frames are given from its top left, y growing downward. Qt widgets already work
// that way; the type marks the document views of scroll areas, whose children are placed with
// plain Qt coordinates and never through yUp().
class FlippedView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    static constexpr bool isFlipped() { return true; }
};
