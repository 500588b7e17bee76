#include "health/CustomReminderStore.h"

#include "platform/Announce.h"
#include "platform/Clock.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "platform/Prefs.h"
#include "platform/SharedObjects.h"
#include "platform/SleepWatcher.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <algorithm>
#include <limits>

namespace {
QString todayString() {
    return Clock::get().today().toString(QStringLiteral("yyyy-MM-dd"));
}
} // namespace

CustomReminderStore &CustomReminderStore::shared() {
    return SharedObjects::get().of<CustomReminderStore>();
}

void CustomReminderStore::resetShared() {
    SharedObjects::get().drop<CustomReminderStore>();
}

CustomReminderStore::CustomReminderStore() {
    pending_ = loadDocument<std::vector<CustomReminder>>(
        QString::fromLatin1(kCustomReminders), &CustomReminderDoc::decode,
        [this](std::vector<CustomReminder> &&items, const DocumentLoad &r) {
            items_ = std::move(items);
            load_ = r;
            pending_.clear();
        });
    SleepWatcher &w = SleepWatcher::get();
    connect(&w, &SleepWatcher::didWake, this, &CustomReminderStore::recheck);
    connect(&w, &SleepWatcher::clockChanged, this, &CustomReminderStore::recheck);
}

void CustomReminderStore::save() {
    pending_.wait();
    saveDocument(QString::fromLatin1(kCustomReminders), CustomReminderDoc::encode(items_));
}

void CustomReminderStore::post() {
    Notifier::get().post(QString::fromLatin1(Notify::customRemindersChanged), this);
}

CustomReminder *CustomReminderStore::find(const QString &id) {
    pending_.wait();
    auto it = std::find_if(items_.begin(), items_.end(), [&](const CustomReminder &r) { return r.id == id; });
    return it == items_.end() ? nullptr : &*it;
}

void CustomReminderStore::add(const CustomReminder &r) {
    pending_.wait();
    items_.push_back(r);
    save();
    reschedule(r);
    post();
}

void CustomReminderStore::remove(const QString &id) {
    pending_.wait();
    cancel(id);
    auto t = tickers_.find(id);
    if (t != tickers_.end()) {
        t->second->deleteLater();
        tickers_.erase(t);
    }
    std::erase_if(items_, [&](const CustomReminder &r) { return r.id == id; });
    save();
    post();
}

void CustomReminderStore::toggleEnabled(const QString &id) {
    CustomReminder *r = find(id);
    if (!r) return;
    r->enabled = !r->enabled;
    save();
    if (r->enabled)
        reschedule(*r);
    else
        cancel(id);
    post();
}

void CustomReminderStore::markDone(const QString &id) {
    CustomReminder *r = find(id);
    if (!r) return;
    r->done = !r->done;
    if (r->done)
        cancel(id);
    else if (r->enabled)
        reschedule(*r);
    save();
    post();
}

void CustomReminderStore::setDailyTarget(qint64 n, const QString &id) {
    CustomReminder *r = find(id);
    if (!r) return;
    r->dailyTarget = std::clamp<qint64>(n, 1, 99);
    save();
    post();
}

QString CustomReminderStore::todayCountString(const CustomReminder &r) const {
    const qint64 shown = r.shownDate == todayString() ? r.shownCount : 0;
    return QString::number(shown) + QLatin1Char('/') + QString::number(r.dailyTarget);
}

void CustomReminderStore::scheduleAll() {
    pending_.wait();
    // A copy: arming never changes the records, but keep iteration independent of it anyway.
    const auto all = items_;
    for (const CustomReminder &r : all)
        if (r.enabled && !r.done) reschedule(r);
}

void CustomReminderStore::reschedule(const CustomReminder &r) {
    arm(r, QDate());
}

std::optional<QDateTime> CustomReminderStore::nextFire(const QString &id) const {
    auto it = armed_.find(id);
    if (it == armed_.end()) return std::nullopt;
    return it->second.target;
}

std::optional<QDateTime> CustomReminderStore::nextTarget(const CustomReminder &r, const QDateTime &now,
                                                         QDate notOn) {
    if (!r.enabled || r.done || !r.isArmable()) return std::nullopt;

    if (r.hasStartDate()) {
        const QDateTime start = *r.startDate();
        if (start > now) return start;
        if (!r.dailyCheckpoint) return std::nullopt; // a one-off whose day has passed
    }
    // The next calendar day whose hour:minute is still ahead: the same clock time whatever the
    // length of the days in between.
    for (int ahead = 0; ahead < 3; ++ahead) {
        const QDate day = now.date().addDays(ahead);
        if (day == notOn) continue;
        const QDateTime t = localMoment(day, int(r.hour), int(r.minute));
        if (t > now) return t;
    }
    return std::nullopt;
}

void CustomReminderStore::cancel(const QString &id) {
    armed_.erase(id);
    auto t = tickers_.find(id);
    if (t != tickers_.end()) t->second->stop();
}

void CustomReminderStore::arm(const CustomReminder &r, QDate notOn) {
    cancel(r.id);
    const auto target = nextTarget(r, Clock::get().now(), notOn);
    if (!target) return;
    armed_[r.id] = Armed{r, *target};
    armLeg(r.id);
}

void CustomReminderStore::armLeg(const QString &id) {
    auto a = armed_.find(id);
    if (a == armed_.end()) return;
    Ticker *&t = tickers_[id];
    if (!t) {
        t = Clock::get().makeTicker(this);
        t->setSingleShot(true);
        t->setPrecise(true);
        connect(t, &Ticker::timeout, this, [this, id] { onLeg(id); });
    }
    // Timers count monotonic time, which stands still while the machine sleeps; waking up now and
    // then to look at the wall clock keeps the alarm on its minute whatever happened meanwhile.
    const qint64 left = Clock::get().now().msecsTo(a->second.target);
    t->start(std::clamp<qint64>(left, 1, kMaxLegMs));
}

void CustomReminderStore::onLeg(const QString &id) {
    auto a = armed_.find(id);
    if (a == armed_.end()) return;
    if (Clock::get().now() < a->second.target) {
        armLeg(id);
        return;
    }
    const CustomReminder copy = a->second.copy;
    const QDate firedOn = a->second.target.date();
    armed_.erase(a);
    fireReminder(copy);

    // Arm again from the record as it is now: a one-off (start date, no checkpoint) is finished.
    const CustomReminder *cur = find(copy.id);
    if (cur && cur->enabled && !cur->done && (!cur->hasStartDate() || cur->dailyCheckpoint))
        arm(*cur, firedOn);
}

void CustomReminderStore::recheck() {
    pending_.wait();
    std::vector<QString> ids;
    for (const auto &kv : armed_)
        ids.push_back(kv.first);
    for (const QString &id : ids) {
        auto t = tickers_.find(id);
        if (t != tickers_.end()) t->second->stop();
        onLeg(id);
    }
}

void CustomReminderStore::fireReminder(const CustomReminder &copy) {
    if (CustomReminder *r = find(copy.id)) {
        if (r->shownDate != todayString()) {
            r->shownDate = todayString();
            r->shownCount = 1;
        } else if (r->shownCount < std::numeric_limits<qint64>::max()) {
            ++r->shownCount;
        }
        save();
        post();
    }

    const QString word = L::t({.en = "Reminder",
                               .es = "Recordatorio",
                               .de = "Erinnerung",
                               .fr = "Rappel",
                               .uk = "Нагадування",
                               .pl = "Przypomnienie"});
    const QString title = QStringLiteral("⏰ ") + (copy.text.isEmpty() ? word : copy.text);
    QString body;
    if (copy.dailyCheckpoint)
        body = L::t({.en = "Daily checkpoint — tap ✓ Done when completed",
                     .es = "Punto diario — toca ✓ Hecho cuando termines",
                     .de = "Täglicher Checkpoint — ✓ Erledigt tippen wenn fertig",
                     .fr = "Point quotidien — tapez ✓ Fait quand terminé",
                     .uk = "Щоденний чекпоінт — натисни ✓ Виконано після завершення",
                     .pl = "Dzienny punkt kontrolny — dotknij ✓ Gotowe po zakończeniu"});
    else if (copy.text.isEmpty())
        body = L::t({.en = "Time!",
                     .es = "¡Es la hora!",
                     .de = "Zeit!",
                     .fr = "C'est l'heure !",
                     .uk = "Час!",
                     .pl = "Czas!"});
    else
        body = copy.text;
    Banners::show(title, body, VF::accent());
    if (Prefs::get().switchOn(kSoundOn)) Sound::play(QStringLiteral("Tink"));
}
