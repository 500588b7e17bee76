#pragma once
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <mutex>
#include <vector>

// What was set aside because it could not be read, or because another program changed it while Mivo
// ran, waiting to be told to the user once. The layer
// that finds the damage (the preferences database, a store's document) adds a notice; the app shows
// the pending ones in one alert, later, from the event loop. What is still pending when Mivo quits is
// kept in a file beside the database and told at the next start.
struct DataNotice {
    // What the copy holds.
    enum class Kind {
        unreadable,              // what could not be read
        otherProgramsValueKept,  // another program's value, which the user's records replaced
        ownChangesKept,          // the user's version, whole, which could not go into another program's value
        ownChangedRecordsKept,   // only the records the user changed, which could not go into it
        otherProgramsValueInUse, // another program's value replaced ours; none of the user's changes waited
        savedAtStart,            // changes that could not be written at the last quit, written now
        unsavedUnreadable,       // those changes, in a file that was not whole: none applied
        noticesUnreadable,       // notices the last run kept for this start, in a file that was not whole
        lostAtQuit,              // changes the last quit could neither write nor keep
        editLostAtQuit,          // one edit (what, saved at) the last quit could not wait for
    };
    DataNotice() = default;
    DataNotice(QString key, QString keptAs, QString database = {}, Kind kind = Kind::unreadable)
        : key(std::move(key)), keptAs(std::move(keptAs)), database(std::move(database)), kind(kind) {}

    QString key; // the store's document key; empty when the whole database was set aside
    // The key of the copy inside the database, or the path of the file set aside (the database, or
    // a file of Mivo's beside it: its modification time is when it was written).
    QString keptAs;
    QString database; // the database file
    Kind kind = Kind::unreadable;
    // editLostAtQuit: the record edited, in the user's words (a note's title), and when it was saved.
    QString what;
    QDateTime at;
    // unsavedUnreadable: the keys of the data the file seemed to hold changes to.
    QStringList held;
    bool operator==(const DataNotice &) const = default;
};

class DataNotices : public QObject {
    Q_OBJECT
public:
    static DataNotices &get();

    // Any thread: the notice is pending at once; added() is emitted on this object's thread.
    void add(const DataNotice &n);
    // The copy a notice names went under another name (the one chosen was taken meanwhile): the
    // pending notice names keptAs instead; one told already is told again with it.
    void keptElsewhere(const DataNotice &was, const QString &keptAs);
    bool hasPending() const;
    // The pending notices, oldest first; they are not pending afterwards, and those read back from the
    // last run (restoreKept) are not kept for the next start any more.
    std::vector<DataNotice> take();

    // Where the notices of a database are kept between runs.
    static QString keptPath(const QString &database);
    // Writes the pending notices to path, atomically, for the next start (removes the file when none
    // is pending). They stay pending. False when they could not be written.
    bool keepPending(const QString &path);
    // Adds the notices the last run kept at path; the file goes once they are taken. A file that is
    // not whole is kept aside instead, and that is the notice.
    void restoreKept(const QString &path);

signals:
    void added();

private:
    DataNotices();
    mutable std::mutex m_;
    std::vector<DataNotice> pending_; // guarded by m_
    QString restoredFrom_;            // guarded by m_
};
