#include "ui/NameOnlyIconProvider.h"

QMimeType NameOnlyIconProvider::guess(const QFileInfo &info) const {
    // The name as a string: the QFileInfo overload would look at the file itself.
    return mime_.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
}

QIcon NameOnlyIconProvider::icon(const QFileInfo &info) const {
    if (info.isRoot()) return icon(Drive);
    if (info.isDir()) return icon(Folder);
    const QMimeType type = guess(info);
    QIcon themed = QIcon::fromTheme(type.iconName());
    if (themed.isNull()) themed = QIcon::fromTheme(type.genericIconName());
    return themed.isNull() ? icon(File) : themed;
}

QString NameOnlyIconProvider::type(const QFileInfo &info) const {
    // Folders, links to nothing and other kinds get Qt's own words, which need no reading.
    if (info.isRoot() || !info.isFile()) return QFileIconProvider::type(info);
    const QMimeType type = guess(info);
    return type.comment().isEmpty() ? type.name() : type.comment();
}
