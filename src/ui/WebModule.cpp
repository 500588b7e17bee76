#include "ui/WebModule.h"

#include "ui/ModuleLoader.h"
#include <cstdio>

#ifndef MIVO_WEB_MODULE_FILE
#define MIVO_WEB_MODULE_FILE "mivo_web.so"
#endif

namespace {
WebViews *g_installed = nullptr;
WebViews *g_loaded = nullptr;
bool g_tried = false;
QtMessageHandler g_previousHandler = nullptr;

// Loading the engine after the application exists makes it warn that it would like a shared GL
// context set up before. We do without one on purpose (the module draws in software), so that
// single warning is dropped; everything else passes.
void withoutSharedContextWarning(QtMsgType type, const QMessageLogContext &ctx, const QString &msg) {
    if (type == QtWarningMsg &&
        msg.startsWith(QLatin1String("Qt WebEngine seems to be initialized from a plugin")))
        return;
    if (g_previousHandler) g_previousHandler(type, ctx, msg);
}

WebViews *loadModule() {
    QString problem;
    g_previousHandler = qInstallMessageHandler(withoutSharedContextWarning);
    QObject *entry = loadAppModule(QStringLiteral(MIVO_WEB_MODULE_FILE), &problem);
    // Back to the handler from before, unless the module put one of its own on top of ours.
    const QtMessageHandler current = qInstallMessageHandler(g_previousHandler);
    if (current != withoutSharedContextWarning) qInstallMessageHandler(current);
    auto *views = qobject_cast<WebViews *>(entry);
    if (entry && !views)
        problem = QStringLiteral("%1 is not a web module").arg(QStringLiteral(MIVO_WEB_MODULE_FILE));
    if (!views)
        std::fprintf(stderr, "mivo: no web views, the news panel stays empty: %s\n", qPrintable(problem));
    return views;
}
} // namespace

WebViews *webViews() {
    if (g_installed) return g_installed;
    if (!g_tried) {
        g_tried = true;
        g_loaded = loadModule();
    }
    return g_loaded;
}

void installWebViews(WebViews *views) {
    g_installed = views;
}

bool webViewsInstalled() {
    return g_installed != nullptr;
}
