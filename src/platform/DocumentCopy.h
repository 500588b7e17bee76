#pragma once
#include "platform/PrefsSplice.h"
#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class QObject;
namespace Background {
class Lane;
}

// A store's document as it last handed it to the preferences, kept so that every record it held can
// be kept aside should another program replace the stored one. Up to a bound it is held in memory and
// kept in step here; above it, it lies in a file with no name beside the database, written and kept in
// step by a worker one save after another: the window's thread neither holds nor copies a second
// document of tens of megabytes. Owner's thread only.
class DocumentCopy {
public:
    explicit DocumentCopy(QObject *owner); // the jobs' receiver
    ~DocumentCopy();                       // waits for a step under way
    DocumentCopy(const DocumentCopy &) = delete;
    DocumentCopy &operator=(const DocumentCopy &) = delete;

    // The document as handed over, beside the database at databasePath.
    void hold(const QByteArray &doc, const QString &databasePath);
    // The splices handed over after it.
    void follow(const std::vector<PrefsSplice> &splices);
    void clear();
    // The size the copy has (-1: none kept).
    qint64 size() const { return size_; }
    // The copy, whole, once the steps before are done; nothing when none is kept or its file failed.
    std::optional<QByteArray> read() const;

    // Above this many bytes the copy lies in a file.
    static qsizetype memoryBound();
    static void setMemoryBoundForTests(qsizetype bytes); // 0: the default

private:
    struct File;
    void toFile(QByteArray doc);

    QObject *owner_;
    QString database_;
    QByteArray held_;              // while in memory
    std::shared_ptr<File> file_;   // while in a file
    std::unique_ptr<Background::Lane> lane_;
    qint64 size_ = -1;
};
