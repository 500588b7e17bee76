#include "ui/Page.h"

#include "platform/StoreLoader.h"
#include "ui/Theme.h"
#include <QApplication>
#include <QTimer>

namespace {
int g_drags = 0;
int g_outsideModals = 0;
constexpr int kHeldRetryMs = 150;
} // namespace

Page::DragGuard::DragGuard() { ++g_drags; }
Page::DragGuard::~DragGuard() { --g_drags; }
bool Page::dragInProgress() { return g_drags > 0; }
Page::OutsidePagesGuard::OutsidePagesGuard() { ++g_outsideModals; }
Page::OutsidePagesGuard::~OutsidePagesGuard() { --g_outsideModals; }

Page::Page(QWidget *parent) : QWidget(parent) {}

void Page::requestRebuild() {
    if (queued_) return;
    queued_ = true;
    QTimer::singleShot(0, this, [this] { runQueued(); });
}

void Page::runQueued() {
    const bool modalHolds = QApplication::activeModalWidget() && g_outsideModals == 0;
    if (dragInProgress() || modalHolds || QApplication::activePopupWidget()) {
        QTimer::singleShot(kHeldRetryMs, this, [this] { runQueued(); });
        return;
    }
    // A store still decoding its document would draw as empty: redraw once every store is in.
    if (StoreLoader::get().loading()) {
        if (!waitingForStores_) {
            waitingForStores_ = true;
            StoreLoader::get().whenIdle(this, [this] {
                waitingForStores_ = false;
                runQueued();
            });
        }
        return;
    }
    queued_ = false;
    if (!isVisible()) {
        dirty_ = true;
        return;
    }
    dirty_ = false;
    ++rebuilds_;
    rebuild();
}

void Page::showEvent(QShowEvent *e) {
    QWidget::showEvent(e);
    if (dirty_) requestRebuild();
}

void Page::clearContent() {
    const auto kids = findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *w : kids) {
        w->hide();
        w->setParent(nullptr);
        w->deleteLater();
    }
}

void Page::applyBackground() {
    QPalette p = palette();
    p.setColor(QPalette::Window, VF::bg());
    setPalette(p);
    setAutoFillBackground(true);
}
