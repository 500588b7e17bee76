#pragma once
#include <QVariant>
#include <QWidget>

// Views found again by a number, as pages look up their cells and labels.
inline void setTag(QWidget *w, int tag) { w->setProperty("mivoTag", tag); }
inline int tagOf(const QWidget *w) {
    const QVariant v = w->property("mivoTag");
    return v.isValid() ? v.toInt() : 0;
}
// The first direct child with this tag, or nullptr.
inline QWidget *viewWithTag(QWidget *parent, int tag) {
    for (QObject *o : parent->children())
        if (auto *w = qobject_cast<QWidget *>(o); w && tagOf(w) == tag) return w;
    return nullptr;
}
