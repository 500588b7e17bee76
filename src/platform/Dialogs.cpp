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

void Dialogs::install(Dialogs *d) { g_dialogs = d; }

int ScriptedDialogs::alert(QWidget *, const Alert &a) {
    alertsShown << a.title + QLatin1Char('|') + a.text;
    return alertAnswers.isEmpty() ? 0 : alertAnswers.takeFirst();
}

QString ScriptedDialogs::savePath(QWidget *, const QString &, const QString &, const QStringList &) {
    return savePaths.isEmpty() ? QString() : savePaths.takeFirst();
}

QString ScriptedDialogs::openPath(QWidget *, const QString &, const QStringList &) {
    return openPathAnswers.isEmpty() ? QString() : openPathAnswers.takeFirst();
}

QStringList ScriptedDialogs::openPaths(QWidget *, const QString &, const QStringList &) {
    return openManyAnswers.isEmpty() ? QStringList() : openManyAnswers.takeFirst();
}
