#pragma once
#include <QFileIconProvider>
#include <QMimeDatabase>

// Icons and type names for the entries of a file panel, guessed from each name alone. Qt's own
// provider reads a file's first bytes when its name does not settle the type, and does so while the
// panel draws its list: a file that never ends or never answers (/proc/kmsg, a named pipe, a file on
// a stalled mount) then holds the whole application. This one looks at the name and at what a stat
// says (folder or not), never at the contents. Safe to use from any thread.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;

private:
    QMimeType guess(const QFileInfo &info) const;
    QMimeDatabase mime_;
};
