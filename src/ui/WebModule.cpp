#include "ui/WebModule.h"

namespace {
WebViews *g_installed = nullptr;
} // namespace

// Until the module loader lands, only an installed stand-in serves web views.
WebViews *webViews() { return g_installed; }

void installWebViews(WebViews *views) { g_installed = views; }
