#include "ui/ModuleLoader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPluginLoader>
#include <QStringList>

QObject *loadAppModule(const QString &fileName, QString *problem) {
    const QString dir = QCoreApplication::applicationDirPath();
    QStringList problems;
    for (const QString &path : {dir + u'/' + fileName, dir + QStringLiteral("/../") + fileName}) {
        if (!QFileInfo::exists(path)) continue;
        QPluginLoader loader(path);
        // The libraries behind a module keep threads and objects until the process ends: never
        // unmap their code.
        loader.setLoadHints(QLibrary::PreventUnloadHint);
        if (QObject *entry = loader.instance()) return entry;
        problems << loader.errorString();
    }
    if (problems.isEmpty()) problems << QStringLiteral("%1 not found beside %2").arg(fileName, dir);
    if (problem) *problem = problems.join(QStringLiteral("; "));
    return nullptr;
}
