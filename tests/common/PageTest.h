#pragma once
// Helpers for tests that drive a page through its widgets.
#include <QCoreApplication>
#include <QtTest>

// Lets queued rebuilds, zero-length timers and deleteLater run.
inline void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::qWait(5);
    }
}
