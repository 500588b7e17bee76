#include "platform/Dialogs.h"

namespace {
Dialogs *g_dialogs = nullptr;

class CancellingDialogs : public Dialogs {
public:
    int alert(QWidget *, const Alert &) override { return -1; }
    QString savePath(QWidget *, const QString &, const QString &, const QStringList &) override { return {}; }
    QString openPath(QWidget *, const QString &, const QStringList &) override { return {}; }
    QStringList openPaths(QWidget *, const QString &, const QStringList &) override { return {}; }
};
} // namespace

// The widget implementation registers itself from the ui library at start-up; without it (a test
// that installed nothing) every question is answered "cancel".
Dialogs &Dialogs::get() {
    static CancellingDialogs none;
    return g_dialogs ? *g_dialogs : none;
}

void Dialogs::install(Dialogs *d) {
    g_dialogs = d;
}

bool Dialogs::isInstalled() {
    return g_dialogs != nullptr;
}
