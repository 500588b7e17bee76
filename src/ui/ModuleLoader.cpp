#include "ui/ModuleLoader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPluginLoader>
#include <QStringList>

#ifndef MIVO_MODULE_DIR_FROM_BIN
#define MIVO_MODULE_DIR_FROM_BIN "../lib/mivo"
#endif

QObject *loadAppModule(const QString &fileName, QString *problem) {
    const QString dir = QCoreApplication::applicationDirPath();
    QStringList problems;
    const QString installed = dir + u'/' + QStringLiteral(MIVO_MODULE_DIR_FROM_BIN) + u'/' + fileName;
    for (const QString &path : {dir + u'/' + fileName, dir + QStringLiteral("/../") + fileName, installed}) {
        if (!QFileInfo::exists(path)) continue;
        QPluginLoader loader(path);
        // The libraries behind a module keep threads and objects until the process ends: never
        // unmap their code.
        loader.setLoadHints(QLibrary::PreventUnloadHint);
        if (QObject *entry = loader.instance()) return entry;
        problems << loader.errorString();
    }
    if (problems.isEmpty())
        problems << QStringLiteral("%1 not found beside %2 nor in %3")
                        .arg(fileName, dir, QFileInfo(installed).absolutePath());
    if (problem) *problem = problems.join(QStringLiteral("; "));
    return nullptr;
}
