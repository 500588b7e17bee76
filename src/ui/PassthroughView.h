#pragma once
#include <QWidget>

// A view that never takes a click: presses, drags and releases go to the widget beneath it (the
// board and calendar cells).
class PassthroughView : public QWidget {
    Q_OBJECT
public:
    explicit PassthroughView(QWidget *parent = nullptr) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
};
