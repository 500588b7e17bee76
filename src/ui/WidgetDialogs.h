#pragma once
#include "platform/Dialogs.h"

// Alerts and file panels as real dialogs. Alerts are application-modal.
class WidgetDialogs : public Dialogs {
public:
    int alert(QWidget *parent, const Alert &a) override;
    QString savePath(QWidget *parent, const QString &title, const QString &proposedName,
                     const QStringList &filters) override;
    QString openPath(QWidget *parent, const QString &title, const QStringList &filters) override;
    QStringList openPaths(QWidget *parent, const QString &title, const QStringList &filters) override;
    static void installAsDefault();
};
