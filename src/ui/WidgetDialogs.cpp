#include "ui/WidgetDialogs.h"

#include "ui/AlertDialog.h"
#include <QDir>
#include <QFileDialog>

int WidgetDialogs::alert(QWidget *parent, const Alert &a) {
    AlertDialog d(a, parent ? parent->window() : nullptr);
    d.setWindowModality(Qt::ApplicationModal);
    d.exec();
    return d.chosen();
}

QString WidgetDialogs::savePath(QWidget *parent, const QString &title, const QString &proposedName,
                                const QStringList &filters) {
    return QFileDialog::getSaveFileName(parent, title, QDir::home().filePath(proposedName),
                                        filters.join(QStringLiteral(";;")));
}

QString WidgetDialogs::openPath(QWidget *parent, const QString &title, const QStringList &filters) {
    return QFileDialog::getOpenFileName(parent, title, QDir::homePath(), filters.join(QStringLiteral(";;")));
}

QStringList WidgetDialogs::openPaths(QWidget *parent, const QString &title, const QStringList &filters) {
    return QFileDialog::getOpenFileNames(parent, title, QDir::homePath(), filters.join(QStringLiteral(";;")));
}

void WidgetDialogs::installAsDefault() {
    static WidgetDialogs real;
    Dialogs::install(&real);
}
