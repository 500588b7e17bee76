#pragma once
// Helpers for tests that drive a page through its widgets.
#include "common/TestEnv.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QtTest>
#include <memory>

// Lets queued rebuilds, zero-length timers and deleteLater run.
inline void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QTest::qWait(5);
    }
}

// What a page test starts each function from: a preferences database of its own, the clock stopped
// at a given time and scripted dialogs (D: TestDialogs or a subclass that fills the dialogs in).
template <class D = TestDialogs> struct PageEnv {
    explicit PageEnv(const QDateTime &now) : clock(now) {}
    TempPrefs prefs;
    TestClock clock;
    D dialogs;
};

// One page shown on its own as a window, built and with its first rebuild run.
template <class P> class ShownPage {
public:
    ~ShownPage() { close(); }
    // False when the window never showed: call it as QVERIFY(page.open(w, h)), so that the test
    // stops there.
    [[nodiscard]] bool open(int w, int h) {
        close();
        page_ = std::make_unique<P>();
        page_->resize(w, h);
        page_->setup();
        page_->show();
        if (!QTest::qWaitForWindowExposed(page_.get())) return false;
        settle();
        return true;
    }
    void close() {
        if (!page_) return;
        page_.reset();
        settle();
    }
    P *get() const { return page_.get(); }
    P *operator->() const { return page_.get(); }
    explicit operator bool() const { return bool(page_); }

private:
    std::unique_ptr<P> page_;
};
