// The list of the reminders page and the choice of detail.
#include "health/AlarmListView.h"
#include "health/AlarmsUi.h"
#include "health/AlarmsView.h"
#include "health/CustomReminderStore.h"
#include "health/HealthManager.h"
#include "platform/Clock.h"
#include "pomodoro/PomodoroTimer.h"
#include "ui/AW.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include "ui/TintButton.h"
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>

using namespace AlarmsUi;

namespace {
void clearChildren(QWidget *w) {
    const auto kids = w->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *k : kids) {
        k->hide();
        k->setParent(nullptr);
        k->deleteLater(); // a click handler may still be running inside it
    }
}
} // namespace

void AlarmsView::rebuildList(double W) {
    clearChildren(listView_);
    using Kind = AlarmListView::Entry::Kind;
    std::vector<AlarmListView::Entry> entries;
    double y = 8;
    auto header = [&](const QString &text) {
        entries.push_back({Kind::header, text, y});
        y += AlarmListView::kHeaderStep;
    };
    auto row = [&](const QString &id) {
        entries.push_back({Kind::row, id, y});
        y += AlarmListView::kRowStep;
    };

    header(QStringLiteral("🍅  POMODORO"));
    row(QString::fromLatin1(AlarmsRows::kTimerId));
    header(QStringLiteral("💚  ") + L::t({.en = "HEALTH",
                                         .es = "SALUD",
                                         .de = "GESUNDHEIT",
                                         .fr = "SANTÉ",
                                         .uk = "ЗДОРОВ'Я",
                                         .pl = "ZDROWIE"}));
    for (const HReminder &r : HealthManager::shared().list())
        row(AlarmsRows::healthRowId(r.key));
    header(QStringLiteral("⏰  ") + L::t({.en = "MY ALARMS",
                                         .es = "MIS ALARMAS",
                                         .de = "MEINE ALARME",
                                         .fr = "MES ALARMES",
                                         .uk = "МОЇ НАГАДУВАННЯ",
                                         .pl = "MOJE ALARMY"}));
    const auto &items = CustomReminderStore::shared().items();
    if (items.empty()) {
        entries.push_back({Kind::note,
                           L::t({.en = "No alarms yet",
                                 .es = "Aún no hay alarmas",
                                 .de = "Noch keine Alarme",
                                 .fr = "Aucune alarme pour l'instant",
                                 .uk = "Нагадувань ще немає",
                                 .pl = "Brak alarmów"}),
                           y});
        y += 26;
    } else {
        for (const CustomReminder &a : items)
            row(AlarmsRows::customRowId(a.id));
    }
    alarmIndex_.clear();
    for (size_t i = 0; i < items.size(); ++i)
        alarmIndex_.insert(items[i].id, qsizetype(i));

    // The list fills the visible width; a scroll bar, when the rows need one, takes its share.
    const double viewH = listScroll_->height();
    const double neededH = y + 52;
    if (W <= 0) W = listScroll_->width() > 0 ? listScroll_->width() : 280;
    if (neededH > viewH) W -= listScroll_->verticalScrollBar()->sizeHint().width();
    listView_->setGeometry(0, 0, int(W), int(std::max(viewH, neededH)));

    auto *add = new TintButton(QString(), VF::accent(), 0.15, 0.45, 8, listView_);
    add->setObjectName(QStringLiteral("addAlarmListButton"));
    add->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    add->setGeometry(QRectF(8, y + 4, W - 16, 32).toRect());
    setFitTitle(add, addAlarmText());
    QPointer<AlarmsView> self(this);
    connect(add, &QPushButton::clicked, newAW([self] {
                if (self) self->showAddAlarmDialog();
            }),
            &AW::run);
    add->show();
    listView_->setEntries(std::move(entries), selectedItem_);
}

AlarmRow AlarmsView::rowFor(const QString &id) const {
    const AlarmSelection sel = AlarmsRows::parse(id);
    switch (sel.kind) {
    case AlarmSelection::Kind::timer: {
        const PomodoroTimer &t = PomodoroTimer::shared();
        return AlarmsRows::timerRow(t.phase(), t.remaining(), t.total(), t.isRunning());
    }
    case AlarmSelection::Kind::health: {
        HealthManager &h = HealthManager::shared();
        for (const HReminder &r : h.list())
            if (r.key == sel.key)
                return AlarmsRows::healthRow(r, h.isOn(r), h.remaining(r), h.mins(r), h.todayCountString(r));
        break;
    }
    case AlarmSelection::Kind::custom: {
        const CustomReminderStore &s = CustomReminderStore::shared();
        const auto &items = s.items();
        // Painting asks for the rows in view only; the index keeps each one a single look-up.
        const qsizetype i = alarmIndex_.value(sel.key, -1);
        if (i >= 0 && size_t(i) < items.size() && items[size_t(i)].id == sel.key)
            return AlarmsRows::customRow(items[size_t(i)], Clock::get().now(),
                                         s.todayCountString(items[size_t(i)]));
        for (const CustomReminder &a : items)
            if (a.id == sel.key) return AlarmsRows::customRow(a, Clock::get().now(), s.todayCountString(a));
        break;
    }
    case AlarmSelection::Kind::none:
    case AlarmSelection::Kind::other:
        break;
    }
    return {id, {}, {}, {}, 0, VF::muted()};
}

void AlarmsView::rebuildDetail() {
    clearChildren(detailHost_);
    const double w = detailHost_->width(), h = detailHost_->height();
    if (w <= 10 || h <= 10) return;
    const AlarmSelection sel = AlarmsRows::parse(selectedItem_);
    switch (sel.kind) {
    case AlarmSelection::Kind::none: {
        QLabel *l = label(detailHost_, Fonts::scaledFont(15, QFont::Medium), VF::muted(), Qt::AlignCenter);
        l->setObjectName(QStringLiteral("emptyDetail"));
        place(l, h, 0, (h - 30) / 2, w, 30);
        setFitText(l, L::t({.en = "← Select an alarm from the list",
                            .es = "← Selecciona una alarma de la lista",
                            .de = "← Alarm aus der Liste wählen",
                            .fr = "← Choisissez une alarme dans la liste",
                            .uk = "← Виберіть нагадування зі списку",
                            .pl = "← Wybierz alarm z listy"}));
        break;
    }
    case AlarmSelection::Kind::timer:
        showPomodoroDetail();
        break;
    case AlarmSelection::Kind::health:
        for (const HReminder &r : HealthManager::shared().list())
            if (r.key == sel.key) {
                showHealthDetail(r);
                break;
            }
        break;
    case AlarmSelection::Kind::custom: {
        const auto &items = CustomReminderStore::shared().items();
        auto it = std::find_if(items.begin(), items.end(),
                               [&](const CustomReminder &a) { return a.id == sel.key; });
        if (it != items.end()) {
            const CustomReminder copy = *it; // the pane's controls act by id on the store as it is then
            showCustomDetail(copy);
        }
        break;
    }
    case AlarmSelection::Kind::other:
        break;
    }
    for (QWidget *c : detailHost_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        c->show();
}
