#pragma once
#include <QColor>
#include <QString>
#include <vector>

// One of the four built-in health reminders. key (the preferences key of its interval) is also its
// identity; the other keys name its switches and its daily counters in the preferences domain.
struct HReminder {
    QString key;
    QString onKey;
    QString soundKey;
    QString name; // in the language current when the value was built
    QString emoji;
    double defaultMins = 0;
    QString body; // advice text, same language as name
    QColor accent;
    QString targetKey;
    QString shownKey;
    QString shownDateKey;

    // Water, eyes, posture, stretch, in this order (the order staggers their first fires), with names
    // and bodies in the current language.
    static std::vector<HReminder> all();
};
