// The detail panes of the reminders page: the phase timer, one health reminder, one alarm.
#include "health/AlarmsUi.h"
#include "ui/DisplayText.h"
#include "health/AlarmsView.h"
#include "health/CustomReminderStore.h"
#include "health/HealthManager.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "pomodoro/PomodoroTimer.h"
#include "ui/CommonAlerts.h"
#include "ui/AW.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Stepper.h"
#include "ui/Theme.h"
#include "ui/TintButton.h"
#include "ui/ThemePalette.h"
#include <QCheckBox>
#include <QLabel>
#include <algorithm>
#include <cmath>

using namespace AlarmsUi;

namespace {
constexpr double kCardH = 44;

// The emoji of a pane's head: its frame widened and heightened about its centre to hold the glyph.
void placeEmoji(QLabel *l, double parentH, double x, double y, double w, double h) {
    const QRect r = fitHeight(yUp(parentH, x, y, w, h), l->font());
    const int need = QFontMetrics(l->font()).horizontalAdvance(DisplayText::cut(l->text())) + 4;
    const int wide = std::max(r.width(), need);
    l->setGeometry(r.center().x() - wide / 2, r.y(), wide, r.height());
}

// The switch of a card: a check box without a title.
QCheckBox *cardSwitch(QWidget *card, double cw) {
    auto *cb = new QCheckBox(card);
    cb->setFocusPolicy(Qt::NoFocus);
    ThemePalette::applyToCheckBox(cb);
    cb->setGeometry(yUp(kCardH, cw - 38, 11, 22, 22));
    return cb;
}

// The title of a switch card: medium, scaled, one line.
QLabel *switchTitle(QWidget *card, double cw, const QString &text) {
    QLabel *l = label(card, Fonts::scaledFont(12, QFont::Medium), VF::text());
    place(l, kCardH, 14, 14, cw - 60, 16);
    setFitText(l, text);
    return l;
}

void setLook(TintButton *b, const QColor &accent) {
    b->setLook(accent, alpha(accent, 0.15), alpha(accent, 0.45));
}

QString settingsEnglish() {
    return QStringLiteral("SETTINGS");
}

Tr timesShownToday() {
    return {.en = "Times shown today",
            .es = "Mostrado hoy",
            .de = "Heute angezeigt",
            .fr = "Affiché aujourd'hui",
            .uk = "Показано сьогодні",
            .pl = "Pokazano dziś"};
}

std::optional<CustomReminder> storedAlarm(const QString &id) {
    for (const CustomReminder &a : CustomReminderStore::shared().items())
        if (a.id == id) return a;
    return std::nullopt;
}
} // namespace

// ---- the phase timer

void AlarmsView::showPomodoroDetail() {
    const double W = detailHost_->width(), H = detailHost_->height();
    auto accent = [] { return Phases::accentColor(PomodoroTimer::shared().phase()); };
    accentBar(H, W, accent(), accent);

    QLabel *emoji = label(detailHost_, Fonts::scaledFont(38), VF::text(), Qt::AlignCenter);
    emoji->setObjectName(QStringLiteral("paneEmoji"));
    QLabel *title = label(detailHost_, Fonts::scaledFont(20, QFont::Bold), VF::text());
    title->setObjectName(QStringLiteral("paneTitle"));
    place(title, H, 86, H - 50, W - 118, 26);
    QLabel *sub = label(detailHost_, Fonts::scaledFont(11.5), VF::sub(), Qt::AlignLeft | Qt::AlignTop);
    place(sub, H, 86, H - 76, W - 118, 28, 2, true);
    setFitText(sub,
               L::t({.en = "Focus timer",
                     .es = "Temporizador de enfoque",
                     .de = "Fokus-Timer",
                     .fr = "Minuteur de concentration",
                     .uk = "Таймер фокусування",
                     .pl = "Minutnik skupienia"}),
               2);

    QLabel *time = monoLbl(QString(), 54);
    time->setParent(detailHost_);
    time->setObjectName(QStringLiteral("timerRemaining"));
    place(time, H, 0, H - 210, W, 64);
    QLabel *phase = label(detailHost_, Fonts::scaledFont(11, QFont::DemiBold), VF::text(), Qt::AlignCenter);
    phase->setObjectName(QStringLiteral("timerPhase"));
    place(phase, H, 0, H - 230, W, 16);

    TintButton *start = actionBtn(QString(), accent(), [] {
        PomodoroTimer &t = PomodoroTimer::shared();
        t.isRunning() ? t.pause() : t.start(); // decided at click time
    });
    start->setObjectName(QStringLiteral("startButton"));
    start->setParent(detailHost_);
    TintButton *reset = actionBtn(QString(), VF::sub(), [] { PomodoroTimer::shared().reset(); });
    reset->setObjectName(QStringLiteral("resetButton"));
    reset->setParent(detailHost_);
    // Skipping ends the phase without a banner, as the status menu's skip does.
    TintButton *skip = actionBtn(QString(), VF::sub(), [] { PomodoroTimer::shared().skip(); });
    skip->setObjectName(QStringLiteral("skipButton"));
    skip->setParent(detailHost_);
    const QString skipTitle = QStringLiteral("⏭  ") + L::t({.en = "Skip",
                                                            .es = "Saltar",
                                                            .de = "Überspringen",
                                                            .fr = "Passer",
                                                            .uk = "Пропустити",
                                                            .pl = "Pomiń"});
    // The row keeps the design's widths (130, 90, 120, 6 apart) and widens a button whose title
    // needs more ("⏭  Überspringen", the larger font sizes), pushing the next one right.
    double x = 32;
    auto placeBtn = [&](TintButton *b, double minW, const QStringList &titles) {
        int need = 0;
        for (const QString &t : titles)
            need = std::max(need, b->fontMetrics().horizontalAdvance(t) + 20);
        const double w = std::max(minW, double(need));
        b->setGeometry(yUp(H, x, H - 278, w, 36));
        x += w + 6;
    };
    placeBtn(start, 130, {QStringLiteral("⏸  Pause"), QStringLiteral("▶  Start")});
    placeBtn(reset, 90, {QStringLiteral("↺  Reset")});
    placeBtn(skip, 120, {skipTitle});
    setFitTitle(reset, QStringLiteral("↺  Reset"));
    setFitTitle(skip, skipTitle);

    sectionHdr(settingsEnglish(), H - 324, W, 32);
    QWidget *card = cardBg(H - 374, W, 32, kCardH);
    card->setParent(detailHost_);
    const double cw = W - 64;
    switchTitle(card, cw,
                L::t({.en = "Notification sound",
                      .es = "Sonido de notificación",
                      .de = "Benachrichtigungston",
                      .fr = "Son de notification",
                      .uk = "Звук сповіщення",
                      .pl = "Dźwięk powiadomienia"}));
    QCheckBox *sound = cardSwitch(card, cw);
    sound->setObjectName(QStringLiteral("soundSwitch"));
    connect(sound, &QCheckBox::clicked, newAW([] {
                PomodoroTimer &t = PomodoroTimer::shared();
                t.setSoundEnabled(!t.soundEnabled()); // the stored switch flips; the box's state is not read
            }),
            &AW::run);

    QPointer<QLabel> pe(emoji), pt(title), ptime(time), pphase(phase);
    QPointer<TintButton> pstart(start);
    QPointer<QCheckBox> psound(sound);
    const double Hc = H;
    live([=] {
        const PomodoroTimer &t = PomodoroTimer::shared();
        const QColor a = Phases::accentColor(t.phase());
        if (pe && pe->text() != Phases::emoji(t.phase())) {
            pe->setText(Phases::emoji(t.phase()));
            placeEmoji(pe, Hc, 32, Hc - 76, 50, 48);
        }
        if (pt) setFitText(pt, QStringLiteral("Pomodoro · ") + Phases::label(t.phase()));
        if (ptime) {
            setFitText(ptime, AlarmsRows::mmss(t.remaining()));
            colour(ptime, a);
        }
        if (pphase) {
            setFitText(pphase, Phases::label(t.phase()));
            colour(pphase, alpha(a, 0.6));
        }
        if (pstart) {
            setLook(pstart, a);
            setFitTitle(pstart, t.isRunning() ? QStringLiteral("⏸  Pause") : QStringLiteral("▶  Start"));
        }
        if (psound) psound->setChecked(t.soundEnabled());
    });
}

// ---- one health reminder

void AlarmsView::showHealthDetail(const HReminder &r) {
    const double W = detailHost_->width(), H = detailHost_->height();
    accentBar(H, W, r.accent);

    QLabel *emoji = label(detailHost_, Fonts::scaledFont(38), VF::text(), Qt::AlignCenter);
    emoji->setObjectName(QStringLiteral("paneEmoji"));
    emoji->setText(r.emoji);
    placeEmoji(emoji, H, 32, H - 76, 50, 48);
    QLabel *name = label(detailHost_, Fonts::scaledFont(20, QFont::Bold), VF::text());
    name->setObjectName(QStringLiteral("paneTitle"));
    place(name, H, 86, H - 50, W - 118, 26);
    setFitText(name, r.name);
    QLabel *advice = label(detailHost_, Fonts::scaledFont(11.5), VF::sub(), Qt::AlignLeft | Qt::AlignTop);
    place(advice, H, 86, H - 76, W - 118, 28, 2, true);
    setFitText(advice, r.body, 2);

    QLabel *countdown = monoLbl(QString(), 24);
    countdown->setParent(detailHost_);
    countdown->setObjectName(QStringLiteral("countdown"));
    countdown->setAlignment(Qt::AlignCenter);
    place(countdown, H, 0, H - 185, W, 32);

    sectionHdr(settingsEnglish(), H - 220, W, 32);
    const double cw = W - 64;
    auto card = [&](double y) {
        QWidget *c = cardBg(y, W, 32, kCardH);
        c->setParent(detailHost_);
        return c;
    };
    // A card with a label, a value and a stepper; the value label is returned through value.
    auto stepperCard = [&](double y, const QString &text, double lo, double hi, QLabel **value) {
        QWidget *c = card(y);
        QLabel *l = plainLbl(QString(), 12);
        l->setParent(c);
        place(l, kCardH, 14, 14, 160, 16);
        setFitText(l, text);
        QLabel *v = monoLbl(QString(), 14);
        v->setParent(c);
        v->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        colour(v, r.accent);
        place(v, kCardH, cw - 110, 14, 60, 16);
        *value = v;
        auto *st = new Stepper(lo, hi, 1, c);
        st->setGeometry(yUp(kCardH, cw - 50, 9, 44, 26));
        return st;
    };

    QLabel *intervalLbl = nullptr, *countLbl = nullptr;
    Stepper *interval = stepperCard(H - 270,
                                    QStringLiteral("⏱  ") + L::t({.en = "Interval (min)",
                                                                  .es = "Intervalo (min)",
                                                                  .de = "Intervall (min)",
                                                                  .fr = "Intervalle (min)",
                                                                  .uk = "Інтервал (хв)",
                                                                  .pl = "Interwał (min)"}),
                                    1, 240, &intervalLbl);
    interval->setObjectName(QStringLiteral("intervalStepper"));
    intervalLbl->setObjectName(QStringLiteral("intervalValue"));
    Stepper *target = stepperCard(H - 320, QStringLiteral("📊  ") + L::t(timesShownToday()), 1, 99, &countLbl);
    target->setObjectName(QStringLiteral("targetStepper"));
    countLbl->setObjectName(QStringLiteral("targetValue"));

    QWidget *onCard = card(H - 370);
    switchTitle(onCard, cw,
                L::t({.en = "Enable reminder",
                      .es = "Activar recordatorio",
                      .de = "Erinnerung aktivieren",
                      .fr = "Activer le rappel",
                      .uk = "Увімкнути нагадування",
                      .pl = "Włącz przypomnienie"}));
    QCheckBox *onBox = cardSwitch(onCard, cw);
    onBox->setObjectName(QStringLiteral("onSwitch"));
    QWidget *soundCard = card(H - 420);
    switchTitle(soundCard, cw,
                L::t({.en = "Reminder sound",
                      .es = "Sonido del recordatorio",
                      .de = "Erinnerungston",
                      .fr = "Son du rappel",
                      .uk = "Звук нагадування",
                      .pl = "Dźwięk przypomnienia"}));
    QCheckBox *soundBox = cardSwitch(soundCard, cw);
    soundBox->setObjectName(QStringLiteral("soundSwitch"));

    QPointer<Stepper> pInterval(interval), pTarget(target);
    QPointer<QLabel> pIntervalLbl(intervalLbl), pCountLbl(countLbl), pCountdown(countdown);
    QPointer<AlarmsView> self(this);
    connect(interval, &Stepper::valueChanged, newAW([r, pInterval, pIntervalLbl, self] {
                if (!pInterval) return;
                const double v = pInterval->value();
                HealthManager::shared().setMins(v, r); // a full new interval from now; posts nothing
                if (pIntervalLbl) setFitText(pIntervalLbl, QString::number(qint64(v)));
                if (self) self->updateInPlace(); // the countdown and the row start the new interval now
            }),
            &AW::run);
    connect(target, &Stepper::valueChanged, newAW([r, pTarget, pCountLbl] {
                if (!pTarget) return;
                HealthManager &h = HealthManager::shared();
                h.setDailyTarget(int(pTarget->value()), r);
                if (pCountLbl) setFitText(pCountLbl, h.todayCountString(r));
            }),
            &AW::run);
    connect(onBox, &QCheckBox::clicked, newAW([r] {
                HealthManager &h = HealthManager::shared();
                h.setOn(!h.isOn(r), r);
            }),
            &AW::run);
    connect(soundBox, &QCheckBox::clicked, newAW([r] {
                HealthManager &h = HealthManager::shared();
                h.setSoundOn(!h.isSoundOn(r), r);
            }),
            &AW::run);

    QPointer<QCheckBox> pOn(onBox), pSound(soundBox);
    live([=] {
        HealthManager &h = HealthManager::shared();
        const bool on = h.isOn(r);
        const Countdown c = AlarmsRows::healthCountdown(on, h.remaining(r), r.accent);
        if (pCountdown) {
            setFitText(pCountdown, c.text);
            colour(pCountdown, c.color);
        }
        const double mins = h.mins(r);
        if (pInterval && pInterval->value() != mins) pInterval->setValue(mins);
        if (pIntervalLbl) setFitText(pIntervalLbl, QString::number(qint64(mins)));
        const int target = h.dailyTarget(r);
        if (pTarget && pTarget->value() != target) pTarget->setValue(target);
        if (pCountLbl) setFitText(pCountLbl, h.todayCountString(r));
        if (pOn) pOn->setChecked(on);
        if (pSound) pSound->setChecked(h.isSoundOn(r));
    });
}

// ---- one alarm

void AlarmsView::showCustomDetail(const CustomReminder &a) {
    const double W = detailHost_->width(), H = detailHost_->height();
    const QString id = a.id;
    auto lookNow = [id]() -> std::optional<AlarmLook> {
        const auto cur = storedAlarm(id);
        if (!cur) return std::nullopt;
        return AlarmsRows::alarmLook(*cur, Clock::get().now());
    };
    const AlarmLook look0 = AlarmsRows::alarmLook(a, Clock::get().now());
    accentBar(H, W, look0.accent, [lookNow, look0] {
        const auto l = lookNow();
        return l ? l->accent : look0.accent;
    });

    QLabel *emoji = label(detailHost_, Fonts::scaledFont(36), VF::text(), Qt::AlignCenter);
    emoji->setObjectName(QStringLiteral("paneEmoji"));
    QLabel *title = label(detailHost_, Fonts::scaledFont(20, QFont::Bold), VF::text());
    title->setObjectName(QStringLiteral("paneTitle"));
    place(title, H, 80, H - 50, W - 108, 26);

    auto *timeBox = new RoundBox(alpha(look0.accent, 0.1), alpha(look0.accent, 0.25), 10, 0.5, detailHost_);
    timeBox->setGeometry(yUp(H, 28, H - 120, W - 56, 40));
    const double bw = W - 56;
    QLabel *time = label(timeBox, Fonts::monoDigits(16, QFont::DemiBold), look0.accent, Qt::AlignCenter);
    time->setObjectName(QStringLiteral("alarmTime"));
    place(time, 40, 8, 12, bw - 16, 20);

    QLabel *status =
        label(detailHost_, Fonts::scaledFont(10, QFont::DemiBold), look0.statusColor, Qt::AlignCenter);
    status->setObjectName(QStringLiteral("alarmStatus"));
    place(status, H, 0, H - 140, W, 14);

    sectionHdr(L::t({.en = "SETTINGS",
                     .es = "AJUSTES",
                     .de = "EINSTELLUNGEN",
                     .fr = "RÉGLAGES",
                     .uk = "НАЛАШТУВАННЯ",
                     .pl = "USTAWIENIA"}),
               H - 170, W, 28);
    const double cw = W - 56;
    QWidget *targetCard = cardBg(H - 222, W, 28, kCardH);
    targetCard->setParent(detailHost_);
    QLabel *targetTitle = plainLbl(QString(), 12);
    targetTitle->setParent(targetCard);
    place(targetTitle, kCardH, 14, 14, 160, 16);
    setFitText(targetTitle, QStringLiteral("📊  ") + L::t(timesShownToday()));
    QLabel *count = monoLbl(QString(), 14);
    count->setParent(targetCard);
    count->setObjectName(QStringLiteral("targetValue"));
    count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    place(count, kCardH, cw - 110, 14, 60, 16);
    auto *target = new Stepper(1, 99, 1, targetCard);
    target->setObjectName(QStringLiteral("targetStepper"));
    target->setGeometry(yUp(kCardH, cw - 50, 9, 44, 26));

    QWidget *enableCard = cardBg(H - 274, W, 28, kCardH);
    enableCard->setParent(detailHost_);
    switchTitle(enableCard, cw,
                L::t({.en = "Enable alarm",
                      .es = "Activar alarma",
                      .de = "Alarm aktivieren",
                      .fr = "Activer l'alarme",
                      .uk = "Увімкнути нагадування",
                      .pl = "Włącz alarm"}));
    QCheckBox *enable = cardSwitch(enableCard, cw);
    enable->setObjectName(QStringLiteral("enableSwitch"));
    connect(enable, &QCheckBox::clicked, newAW([id] { CustomReminderStore::shared().toggleEnabled(id); }),
            &AW::run);

    QCheckBox *doneBox = nullptr;
    double deleteY = H - 326;
    if (a.dailyCheckpoint) {
        QWidget *doneCard = cardBg(H - 326, W, 28, kCardH);
        doneCard->setParent(detailHost_);
        switchTitle(doneCard, cw,
                    QStringLiteral("✓  ") + L::t({.en = "Mark as done — stops daily repeats",
                                                  .es = "Marcar como hecho — detiene las repeticiones",
                                                  .de = "Als erledigt markieren — beendet die Wiederholung",
                                                  .fr = "Marquer comme fait — arrête les répétitions",
                                                  .uk = "Позначити виконаним — зупиняє повтори",
                                                  .pl = "Oznacz jako gotowe — kończy powtórzenia"}));
        doneBox = cardSwitch(doneCard, cw);
        doneBox->setObjectName(QStringLiteral("doneSwitch"));
        connect(doneBox, &QCheckBox::clicked, newAW([id] { CustomReminderStore::shared().markDone(id); }),
                &AW::run);
        deleteY = H - 378;
    }

    QPointer<AlarmsView> self(this);
    const CustomReminder copy = a;
    TintButton *del = actionBtn(QString(), QColor::fromRgbF(1.0f, 0.35f, 0.35f, 1.0f), [self, copy] {
        if (self)
            self->confirmDelete(copy);
        else
            CustomReminderStore::shared().remove(copy.id);
    });
    del->setObjectName(QStringLiteral("deleteButton"));
    del->setParent(detailHost_);
    del->setGeometry(yUp(H, 28, deleteY, W - 56, 36));
    setFitTitle(del, QStringLiteral("🗑  ") + L::t({.en = "Delete alarm",
                                                      .es = "Eliminar alarma",
                                                      .de = "Alarm löschen",
                                                      .fr = "Supprimer l'alarme",
                                                      .uk = "Видалити нагадування",
                                                      .pl = "Usuń alarm"}));

    QPointer<Stepper> pTarget(target);
    QPointer<QLabel> pCount(count);
    connect(target, &Stepper::valueChanged, newAW([id, pTarget, pCount] {
                if (!pTarget) return;
                const qint64 n = qint64(pTarget->value());
                CustomReminderStore &s = CustomReminderStore::shared();
                s.setDailyTarget(n, id);
                if (!pCount) return;
                const auto cur = storedAlarm(id);
                setFitText(pCount,
                           cur ? s.todayCountString(*cur) : QStringLiteral("0/") + QString::number(n));
            }),
            &AW::run);

    QPointer<QLabel> pEmoji(emoji), pTitle(title), pTime(time), pStatus(status);
    QPointer<RoundBox> pBox(timeBox);
    QPointer<QCheckBox> pEnable(enable), pDone(doneBox);
    const double Hc = H;
    live([=] {
        const auto cur = storedAlarm(id);
        if (!cur) return; // deleted: the rebuild that follows clears the pane
        const AlarmLook look = AlarmsRows::alarmLook(*cur, Clock::get().now());
        if (pEmoji && pEmoji->text() != look.emoji) {
            pEmoji->setText(look.emoji);
            placeEmoji(pEmoji, Hc, 28, Hc - 74, 48, 44);
        }
        if (pTitle) setFitText(pTitle, AlarmsRows::alarmTitle(*cur));
        if (pBox) pBox->setColors(alpha(look.accent, 0.1), alpha(look.accent, 0.25));
        if (pTime) {
            setFitText(pTime, AlarmsRows::alarmTimeText(*cur));
            colour(pTime, look.accent);
        }
        if (pStatus) {
            setFitText(pStatus, look.status);
            colour(pStatus, look.statusColor);
        }
        if (pCount) {
            setFitText(pCount, CustomReminderStore::shared().todayCountString(*cur));
            colour(pCount, look.accent);
        }
        if (pTarget && pTarget->value() != double(cur->dailyTarget))
            pTarget->setValue(double(cur->dailyTarget));
        if (pEnable) pEnable->setChecked(cur->enabled);
        if (pDone) pDone->setChecked(cur->done);
    });
}

void AlarmsView::confirmDelete(const CustomReminder &a) {
    Dialogs::Alert alert;
    alert.title = L::t({.en = "Delete alarm?",
                        .es = "¿Eliminar alarma?",
                        .de = "Alarm löschen?",
                        .fr = "Supprimer l'alarme ?",
                        .uk = "Видалити нагадування?",
                        .pl = "Usunąć alarm?"});
    alert.text = QStringLiteral("«") + AlarmsRows::alarmTitle(a) + QStringLiteral("»  ") +
                 L::t({.en = "will be permanently deleted.",
                       .es = "se eliminará permanentemente.",
                       .de = "wird dauerhaft gelöscht.",
                       .fr = "sera définitivement supprimé.",
                       .uk = "буде видалено назавжди.",
                       .pl = "zostanie trwale usunięte."});
    alert.buttons = {L::t({.en = "Delete",
                           .es = "Eliminar",
                           .de = "Löschen",
                           .fr = "Supprimer",
                           .uk = "Видалити",
                           .pl = "Usuń"}),
                     cancelTitle()};
    alert.warning = true;
    QPointer<AlarmsView> self(this);
    const QString id = a.id;
    if (Dialogs::get().alert(this, alert) != 0) return;
    CustomReminderStore::shared().remove(id);
    if (!self) return;
    self->selectedItem_.reset();
    self->requestRebuild();
}
