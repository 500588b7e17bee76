#include "ui/WidgetDialogs.h"

#include "ui/AlertDialog.h"
#include "ui/NameOnlyIconProvider.h"
#include <QDir>
#include <QFileDialog>

namespace {
// Every file panel of the app is made here. Where the desktop offers no panel of its own, Qt's
// panel lists folders through a model that asks an icon provider about each entry on the window's
// thread; the provider given here never reads a file, so browsing /proc or a folder holding a named
// pipe keeps the application answering. The panel is pointed at its folder (and proposed name) only
// once the provider is in place, so no entry is ever looked at by Qt's own.
QStringList askForPaths(QWidget *parent, const QString &title, const QString &proposedName,
                        const QStringList &filters, QFileDialog::AcceptMode accept,
                        QFileDialog::FileMode mode) {
    NameOnlyIconProvider icons; // outlives the panel and the model that uses it
    QFileDialog d(parent, title, QString(), filters.join(QStringLiteral(";;")));
    d.setIconProvider(&icons);
    d.setAcceptMode(accept);
    d.setFileMode(mode);
    d.setDirectory(QDir::homePath());
    if (!proposedName.isEmpty()) d.selectFile(proposedName);
    if (d.exec() != QDialog::Accepted) return {};
    return d.selectedFiles();
}
} // namespace

int WidgetDialogs::alert(QWidget *parent, const Alert &a) {
    AlertDialog d(a, parent ? parent->window() : nullptr);
    d.setWindowModality(Qt::ApplicationModal);
    d.exec();
    return d.chosen();
}

QString WidgetDialogs::savePath(QWidget *parent, const QString &title, const QString &proposedName,
                                const QStringList &filters) {
    return askForPaths(parent, title, proposedName, filters, QFileDialog::AcceptSave, QFileDialog::AnyFile)
        .value(0);
}

QString WidgetDialogs::openPath(QWidget *parent, const QString &title, const QStringList &filters) {
    return askForPaths(parent, title, QString(), filters, QFileDialog::AcceptOpen, QFileDialog::ExistingFile)
        .value(0);
}

QStringList WidgetDialogs::openPaths(QWidget *parent, const QString &title, const QStringList &filters) {
    return askForPaths(parent, title, QString(), filters, QFileDialog::AcceptOpen,
                       QFileDialog::ExistingFiles);
}

void WidgetDialogs::installAsDefault() {
    static WidgetDialogs real;
    Dialogs::install(&real);
}
