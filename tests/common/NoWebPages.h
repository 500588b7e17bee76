#pragma once
#include "ui/WebModule.h"

// A web module that makes no page, standing for one that could not be loaded (tests run without the
// web engine): the browser window then offers the default browser. Installed while it lives, so no
// test after a failed one is left with a module that is gone.
struct NoWebPages : WebViews {
    NoWebPages() { installWebViews(this); }
    ~NoWebPages() override { installWebViews(nullptr); }
    NoWebPages(const NoWebPages &) = delete;
    NoWebPages &operator=(const NoWebPages &) = delete;
    QWidget *makeDocumentView(QWidget *, const QString &, const QUrl &, std::function<void(const QUrl &)>) override {
        return nullptr;
    }
    BrowserPage *makeBrowserPage(QWidget *, const QString &) override { return nullptr; }
};
