#pragma once
// Helpers for tests that drive a page through its widgets.
#include "app/MainTabVC.h"
#include "common/TestEnv.h"
#include "ui/Page.h"
#include <QApplication>
#include <QDateTime>
#include <QtTest>
#include <memory>

// Whether a page on screen still has a redraw queued.
inline bool aShownPageWillRebuild() {
    const auto widgets = QApplication::allWidgets();
    for (QWidget *w : widgets)
        if (auto *p = qobject_cast<Page *>(w); p && p->isVisible() && p->rebuildPending()) return true;
    return false;
}

// Runs what is queued until it has run: posted events and zero-length timers, deleteLater, and the
// queued redraw of every page on screen (a redraw can queue more work: that runs too). A redraw
// held back on purpose (a drag, a modal dialog, a store still loading) is waited for at most
// kSettleMs, and the test goes on to fail on what it then sees.
inline void settle() {
    constexpr int kSettleMs = 5000;
    // Rounds of posted events after the pages are done: what their redraws queued in turn.
    constexpr int kQuietRounds = 3;
    const auto drain = [] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    drain();
    const bool done = QTest::qWaitFor(
        [&drain] {
            drain();
            return !aShownPageWillRebuild();
        },
        kSettleMs);
    if (!done) qWarning("settle(): a shown page's redraw is still held after %d ms", kSettleMs);
    for (int i = 0; i < kQuietRounds; ++i)
        drain();
}

// A page built, set up and put in place the way the main window does it (MainTabVC), shown on its
// own as a window in a page area of w × h, with its first redraw run. Null when it never showed.
template <class P> std::unique_ptr<P> openShownPage(int w, int h) {
    auto page = std::make_unique<P>();
    const QRect frame(0, 0, w, h);
    MainTabVC::setUpPage(page.get(), frame);
    MainTabVC::putPageInPlace(page.get(), frame);
    if (!QTest::qWaitForWindowExposed(page.get())) return nullptr;
    settle();
    return page;
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
        page_ = openShownPage<P>(w, h);
        return bool(page_);
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
