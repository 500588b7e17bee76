#pragma once
#include <QList>
#include <QVariant>
#include <QWidget>

// Views found again by a number, as pages look up their cells and labels.
inline void setTag(QWidget *w, int tag) { w->setProperty("mivoTag", tag); }
// -1 for a view that was never tagged, so a look-up of tag 0 does not find every plain view.
inline int tagOf(const QWidget *w) {
    const QVariant v = w->property("mivoTag");
    return v.isValid() ? v.toInt() : -1;
}
// The nearest view with this tag: the view itself, else its descendants level by level, in child
// order (cells sit inside rows and cards, not only directly in the page). nullptr when none has it.
inline QWidget *viewWithTag(QWidget *root, int tag) {
    QList<QWidget *> level{root};
    while (!level.isEmpty()) {
        QList<QWidget *> next;
        for (QWidget *w : level) {
            if (tagOf(w) == tag) return w;
            for (QObject *o : w->children())
                if (auto *c = qobject_cast<QWidget *>(o); c && !c->isWindow()) next << c;
        }
        level = std::move(next);
    }
    return nullptr;
}
