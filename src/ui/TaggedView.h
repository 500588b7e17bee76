#pragma once
#include "ui/Tag.h"
#include <QWidget>

// A view with a tag fixed when it is made, so a page finds it again with viewWithTag(). The caller
// sets the frame afterwards.
class TaggedView : public QWidget {
    Q_OBJECT
public:
    explicit TaggedView(int tag, QWidget *parent = nullptr) : QWidget(parent), tag_(tag) {
        setTag(this, tag);
    }
    int tag() const { return tag_; }

private:
    const int tag_;
};
