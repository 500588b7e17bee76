#include "web/WebViewsPlugin.h"

#include "web/BrowserView.h"
#include "web/DocumentView.h"
#include <QLoggingCategory>
#include <QQuickWindow>

namespace {
QLoggingCategory::CategoryFilter g_previousFilter = nullptr;
QtMessageHandler g_previousHandler = nullptr;

// Qt 6.4's engine, when it starts, describes the shared GL context in an info message of this
// category without checking that one exists, and crashes when there is none. We have none.
void withoutContextReport(QLoggingCategory *category) {
    if (g_previousFilter) g_previousFilter(category);
    if (qstrcmp(category->categoryName(), "qt.webenginecontext") == 0) category->setEnabled(QtInfoMsg, false);
}
// When the engine starts without a GL context it says it found no graphics back end: that is the
// software drawing we chose, not a fault worth a line on the user's terminal.
void withoutBackendNotice(QtMsgType type, const QMessageLogContext &ctx, const QString &msg) {
    if (type == QtWarningMsg && msg.trimmed() == QLatin1String("No suitable graphics backend found")) return;
    if (g_previousHandler) g_previousHandler(type, ctx, msg);
}
} // namespace

WebViewsPlugin::WebViewsPlugin() {
    // The app starts without a shared OpenGL context, so that an idle tray app never loads the GL
    // stack. Our two views are small: Qt Quick's software renderer draws them, and the engine then
    // composites in software too. Must happen before the first view exists.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    // On X11 the engine asks whether OpenGL is there, and to answer Qt loads the GL driver (with
    // Mesa, its compiler: tens of megabytes). Nothing of ours draws with GL, so the answer is "no"
    // without loading anything, unless the user chose an integration.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");
    g_previousFilter = QLoggingCategory::installFilter(withoutContextReport);
    g_previousHandler = qInstallMessageHandler(withoutBackendNotice);
}

QWidget *WebViewsPlugin::makeDocumentView(QWidget *parent, const QString &html, const QUrl &base,
                                          std::function<void(const QUrl &)> onLinkClicked) {
    return DocumentView::make(parent, html, base, std::move(onLinkClicked));
}

BrowserPage *WebViewsPlugin::makeBrowserPage(QWidget *parent, const QString &userAgent) {
    return BrowserView::make(parent, userAgent);
}
