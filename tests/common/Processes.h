#pragma once
// Processes as /proc shows them, for the tests and benchmarks of the helpers the app starts.
#include <QDirIterator>
#include <QFile>
#include <QList>
#include <map>

// Every live process below pid (a zombie, ended but not yet waited for, is none).
inline QList<int> descendants(int pid) {
    std::map<int, int> parent;
    QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        bool ok = false;
        const int p = it.next().section(u'/', -1).toInt(&ok);
        QFile f(QStringLiteral("/proc/%1/stat").arg(p));
        if (!ok || !f.open(QIODevice::ReadOnly)) continue;
        const QByteArray stat = f.readAll();
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.value(0) != "Z") parent[p] = fields.value(1).toInt();
    }
    QList<int> out, frontier{pid};
    while (!frontier.isEmpty()) {
        const int p = frontier.takeFirst();
        for (const auto &[child, par] : parent)
            if (par == p) {
                out << child;
                frontier << child;
            }
    }
    return out;
}

// Whether pid is a live process.
inline bool alive(int pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray stat = f.readAll();
    return stat.mid(stat.lastIndexOf(')') + 2, 1) != "Z";
}
