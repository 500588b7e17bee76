#pragma once
#include <QObject>
#include <QString>
#include <vector>

// What was set aside because it could not be read, or because another program changed it while Mivo
// ran, waiting to be told to the user once. The layer
// that finds the damage (the preferences database, a store's document) adds a notice; the app shows
// the pending ones in one alert, later, from the event loop.
struct DataNotice {
    // What the copy holds.
    enum class Kind {
        unreadable,             // what could not be read
        otherProgramsValueKept, // another program's value, which the user's records replaced
        ownChangesKept,         // the user's changes, which could not go into another program's value
    };
    QString key;      // the store's document key; empty when the whole database was set aside
    QString keptAs;   // the key of the copy inside the database, or the path of the database set aside
    QString database; // the database file
    Kind kind = Kind::unreadable;
    bool operator==(const DataNotice &) const = default;
};

class DataNotices : public QObject {
    Q_OBJECT
public:
    static DataNotices &get();

    void add(const DataNotice &n); // emits added()
    bool hasPending() const { return !pending_.empty(); }
    // The pending notices, oldest first; they are not pending afterwards.
    std::vector<DataNotice> take();

signals:
    void added();

private:
    std::vector<DataNotice> pending_;
};
