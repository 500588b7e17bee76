#pragma once
// Counts the posts of one notification and remembers who posted last.
#include "platform/Notifier.h"
#include <QObject>

struct Posts {
    QObject ctx;
    int count = 0;
    QObject *sender = nullptr;
    explicit Posts(const char *name) {
        Notifier::get().observe(QLatin1String(name), &ctx, [this](QObject *s) {
            ++count;
            sender = s;
        });
    }
};
