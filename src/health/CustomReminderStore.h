#pragma once
#include "health/CustomReminder.h"
#include "platform/Document.h"
#include <QDate>
#include <QDateTime>
#include <QObject>
#include <map>
#include <optional>
#include <vector>

class Ticker;

// The user's alarms, stored as one JSON document under "customReminders". Every change writes the
// whole document and posts customRemindersChanged. Each enabled alarm that is not done is armed for
// its next wall-clock moment; at that moment it shows its banner, plays "Tink" while sounds are on,
// counts the fire for today and arms itself again when its kind repeats.
//
// The schedule is kept as a calendar date and time (07:30 stays 07:30 across daylight-saving
// changes) and is re-checked after wake and clock changes, so a suspend or a clock set by hand does
// not shift it; an alarm whose moment passed while the machine slept fires on waking.
class CustomReminderStore : public QObject {
    Q_OBJECT
public:
    // Created on first use, its document loading (every use of the store waits for it); creating the
    // store arms nothing.
    static CustomReminderStore &shared();
    // Tests: destroys the store so the next shared() loads afresh.
    static void resetShared();

    const std::vector<CustomReminder> &items() const {
        pending_.wait();
        return items_;
    }
    const DocumentLoad &loadReport() const {
        pending_.wait();
        return load_;
    }

    void add(const CustomReminder &r);
    void remove(const QString &id); // also writes and posts when no record has the id
    void toggleEnabled(const QString &id);
    void markDone(const QString &id);
    void setDailyTarget(qint64 n, const QString &id);
    QString todayCountString(const CustomReminder &r) const;

    // Arms every enabled alarm that is not done, in store order.
    void scheduleAll();
    // Cancels the alarm's timer and arms it again when its kind and its values allow.
    void reschedule(const CustomReminder &r);

    // When the alarm will fire next; absent when it is not armed.
    std::optional<QDateTime> nextFire(const QString &id) const;

    // The moment r is due after now, or absent when it is not to be armed. The daily moment is never
    // on the day notOn (the day it just fired).
    static std::optional<QDateTime> nextTarget(const CustomReminder &r, const QDateTime &now,
                                               QDate notOn = {});

    // Timers wake at least this often to compare the wall clock with the target.
    static constexpr qint64 kMaxLegMs = 5 * 60 * 1000;

private:
    friend class SharedObjects;
    CustomReminderStore();
    void save();
    void post();
    CustomReminder *find(const QString &id);
    void cancel(const QString &id);
    void arm(const CustomReminder &r, QDate notOn);
    void armLeg(const QString &id);
    void onLeg(const QString &id);
    void recheck();
    void fireReminder(const CustomReminder &copy);

    struct Armed {
        CustomReminder copy; // as armed: the banner shows these texts even if the record changed
        QDateTime target;
    };
    std::vector<CustomReminder> items_;
    std::map<QString, Armed> armed_;
    std::map<QString, Ticker *> tickers_; // one per alarm id, reused
    DocumentLoad load_;
    PendingLoad pending_; // last: dropped before what it would fill
};
