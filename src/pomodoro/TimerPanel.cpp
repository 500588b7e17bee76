// The timer panel: the detail shown for the timer row of the Pomodoro page.
#include "platform/Keys.h"
#include "stats/StatsModel.h"
#include "pomodoro/PomBox.h"
#include "pomodoro/PomDotsView.h"
#include "pomodoro/PomStatCard.h"
#include "pomodoro/PomUi.h"
#include "pomodoro/PomodoroTimer.h"
#include "pomodoro/PomodoroView.h"
#include "ui/Stepper.h"
#include "pomodoro/TimerFigures.h"
#include "ui/TintButton.h"
#include "platform/Clock.h"
#include "platform/Prefs.h"
#include "ui/AW.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/RingView.h"
#include "ui/Theme.h"
#include "ui/ThemePalette.h"
#include <QCheckBox>
#include <QFontMetricsF>
#include <cmath>
#include <QScrollBar>

using namespace PomUi;

namespace {
constexpr qint64 kRingMs = 33; // about 30 frames a second
// From the ring's outer edge to where the time may reach: the stroke and a little air.
constexpr double kRingStrokeClearance = 14;

QString tabText(Phase p) {
    switch (p) {
    case Phase::work:
        return QStringLiteral("🧠 ") + L::t({.en = "Focus", .es = "Foco", .de = "Fokus", .fr = "Focus", .uk = "Фокус", .pl = "Skupienie"});
    case Phase::rest:
        return QStringLiteral("☕ ") + L::t({.en = "Break", .es = "Pausa", .de = "Pause", .fr = "Pause", .uk = "Перерва", .pl = "Przerwa"});
    case Phase::longRest:
        return QStringLiteral("🛋 ") + L::t({.en = "Long", .es = "Largo", .de = "Lang", .fr = "Long", .uk = "Довгий", .pl = "Długi"});
    }
    return {};
}

QFont tabFont() { return Fonts::scaledFont(10, QFont::DemiBold); }
QFont controlFont() { return Fonts::scaledFont(12, QFont::Medium); }
QString startText(bool running) {
    return running ? QStringLiteral("⏸  ") + L::t({.en = "Pause", .es = "Pausa", .de = "Pause", .fr = "Pause", .uk = "Пауза", .pl = "Pauza"})
                   : QStringLiteral("▶  ") +
                         L::t({.en = "Start", .es = "Iniciar", .de = "Start", .fr = "Démarrer", .uk = "Старт", .pl = "Start"});
}
QString skipText() {
    return QStringLiteral("⏭  ") +
           L::t({.en = "Skip", .es = "Saltar", .de = "Überspr.", .fr = "Passer", .uk = "Пропуск", .pl = "Pomiń"});
}
constexpr double kGoalPx = 11, kHowPx = 12;
QString goalText(const TimerFigures::Goal &g) {
    return QStringLiteral("🎯  ") +
           L::t({.en = "Daily goal", .es = "Meta diaria", .de = "Tagesziel", .fr = "Objectif quotidien", .uk = "Денна мета",
                 .pl = "Cel dzienny"}) +
           QStringLiteral(": %1/%2").arg(g.done).arg(g.goal);
}
const Tr kHowLines[] = {
    {.en = "1. 🧠 Work 25 min, no distractions", .es = "1. 🧠 Trabaja 25 min sin distracciones",
     .de = "1. 🧠 25 Min fokussiert arbeiten", .fr = "1. 🧠 Travaillez 25 min sans distraction",
     .uk = "1. 🧠 Працюй 25 хв без відволікань", .pl = "1. 🧠 Pracuj 25 min bez rozproszenia"},
    {.en = "2. ☕ Short 5-min break", .es = "2. ☕ Descanso corto de 5 min", .de = "2. ☕ 5 Min kurze Pause",
     .fr = "2. ☕ Pause courte de 5 min", .uk = "2. ☕ Коротка 5-хв перерва", .pl = "2. ☕ Krótka 5-min przerwa"},
    {.en = "3. 🔁 After 4 cycles — long break", .es = "3. 🔁 Tras 4 ciclos: descanso largo",
     .de = "3. 🔁 Nach 4 Zyklen: Langpause", .fr = "3. 🔁 Après 4 cycles: longue pause",
     .uk = "3. 🔁 Після 4 циклів — довга перерва", .pl = "3. 🔁 Po 4 cyklach: długa przerwa"},
    {.en = "4. 🎯 Repeat to reach daily goal", .es = "4. 🎯 Repite hasta la meta diaria",
     .de = "4. 🎯 Wiederholen bis zum Tagesziel", .fr = "4. 🎯 Répétez jusqu'à l'objectif",
     .uk = "4. 🎯 Повторюй до денної мети", .pl = "4. 🎯 Powtarzaj aż do celu dziennego"},
};

struct SettingRow {
    Tr label;
    const char *key;
    double min, max;
    bool integer;
};
const SettingRow kRows[] = {
    {{.en = "Focus (min)", .es = "Foco (min)", .de = "Fokus (min)", .fr = "Focus (min)", .uk = "Фокус (хв)", .pl = "Fokus (min)"},
     kWorkMins, 1, 120, false},
    {{.en = "Break (min)", .es = "Pausa (min)", .de = "Pause (min)", .fr = "Pause (min)", .uk = "Перерва (хв)", .pl = "Przerwa (min)"},
     kBreakMins, 1, 60, false},
    {{.en = "Long break (min)", .es = "Pausa larga (min)", .de = "Lange Pause (min)", .fr = "Longue pause (min)",
      .uk = "Довга перерва (хв)", .pl = "Długa przerwa (min)"},
     kLongBreakMins, 5, 60, false},
    {{.en = "Cycles until long", .es = "Ciclos hasta larga", .de = "Zyklen bis Langpause", .fr = "Cycles avant longue",
      .uk = "Цикли до довгої перерви", .pl = "Cykle do długiej przerwy"},
     kCyclesBeforeLong, 1, 10, true},
};

QString minutesText(double v) { return QString::number(qint64(v)) + QStringLiteral(" min"); }

double valueWidth(const QFont &font, const QString &longest) {
    return std::max(50.0, std::ceil(QFontMetricsF(font).horizontalAdvance(longest)) + 2);
}

PomBox *box(QWidget *parent, const QRectF &r, const QColor &fill, double radius) {
    auto *b = new PomBox(fill, radius, parent);
    b->setGeometry(r.toRect());
    return b;
}
} // namespace

void PomodoroView::showPomodoroDetail() {
    pomSmoothTicker_->stop();
    pomRingRef_.clear();
    pomTimeLblRef_.clear();
    PomodoroTimer &timer = PomodoroTimer::shared();
    Prefs &prefs = Prefs::get();
    const double W = detailHost_->width(), H = detailHost_->height();
    const double cw = W - 56;
    const double s = TimerFigures::ringSize(W);
    const QColor A = Phases::accentColor(timer.phase());
    QPointer<PomodoroView> self(this);

    FlippedView *doc = nullptr;
    QScrollArea *scroll = scrollArea(detailHost_, &doc);
    scroll->setObjectName(QStringLiteral("timerPanel"));
    setScrollerTopInset(scroll, 4); // clear of the accent strip
    scroll->setGeometry(0, 0, int(W), int(H));
    doc->setGeometry(0, 0, int(W), 3000);
    pomSettScrollRef_ = scroll;

    box(doc, {0, 0, W, 4}, A, 0);
    label(doc, Phases::emoji(timer.phase()), kPhaseIconPx, QFont::Normal, VF::text(), Qt::AlignCenter)
        ->setGeometry(QRectF(0, 12, W, 36).toRect());
    label(doc,
          L::t({.en = "POMODORO", .es = "POMODORO", .de = "POMODORO", .fr = "POMODORO", .uk = "ПОМОДОРО", .pl = "POMODORO"}) +
              QStringLiteral(" · ") + Phases::label(timer.phase()),
          11, QFont::DemiBold, alpha(A, 0.75), Qt::AlignCenter)
        ->setGeometry(QRectF(0, 54, W, 16).toRect());

    // Phase tabs
    const double x0 = (W - 262) / 2;
    const Phase phases[] = {Phase::work, Phase::rest, Phase::longRest};
    for (int i = 0; i < 3; ++i) {
        const Phase ph = phases[i];
        auto *tab = new TintButton(tabText(ph), A, 0.18, 0.5, 7, doc);
        if (ph != timer.phase()) tab->setLook(VF::muted(), white(0.04), white(0.1));
        tab->setObjectName(QStringLiteral("tab_") + Phases::rawValue(ph));
        tab->setFont(tabFont());
        tab->setGeometry(QRectF(x0 + 89 * i, 76, 84, 24).toRect());
        connect(tab, &QPushButton::clicked, newAW([ph] { PomodoroTimer::shared().switchToPhase(ph); }), &AW::run);
    }

    // Ring and time
    auto *ring = new RingView(doc);
    ring->setGeometry(QRectF((W - s) / 2, 112, s, s).toRect());
    ring->setProgress(timer.smoothProgress());
    ring->setColor(A);
    pomRingRef_ = ring;
    QLabel *timeLbl = label(doc, TimerFigures::timeText(timer.remaining()), 40, QFont::Thin, A, Qt::AlignCenter);
    // The scaled time must stay inside the ring: at large font scales the size stops where the
    // widest time would reach the stroke.
    timeLbl->setFont(Fonts::shrunkToFit(Fonts::monoDigits(40, QFont::Thin), QStringLiteral("00:00"),
                                        s - 2 * kRingStrokeClearance));
    timeLbl->setObjectName(QStringLiteral("timeLabel"));
    timeLbl->setGeometry(QRectF(0, 112 + s / 2 - 24, W, 50).toRect());
    pomTimeLblRef_ = timeLbl;
    startPomSmoothTicker();

    // Cycle dots
    const qint64 n = TimerFigures::dotsTotal(prefs.integer(kCyclesBeforeLong));
    auto *dots = new PomDotsView(doc);
    dots->setObjectName(QStringLiteral("dots"));
    const double dw = std::min(16.0 * double(n), W);
    dots->setGeometry(QRectF((W - dw) / 2, 112 + s + 10, dw, 14).toRect());
    dots->setTotal(n);
    dots->setFilled(TimerFigures::dotsFilled(timer.cycleCount(), n));
    dots->setColor(A);

    // Control buttons
    const double yBtn = 112 + s + 40;
    const TimerFigures::ControlRow row = TimerFigures::controlRow(W);
    auto ctrlBtn = [&](const QString &title, bool primary, const char *name, std::function<void()> fn) {
        auto *b = new TintButton(title, A, 0.15, 0.45, 8, doc);
        if (!primary) b->setLook(VF::sub(), white(0.06), white(0.18));
        b->setObjectName(QLatin1String(name));
        b->setFont(controlFont());
        connect(b, &QPushButton::clicked, newAW(std::move(fn)), &AW::run);
        return b;
    };
    const QString startTitle = startText(timer.isRunning());
    TintButton *startBtn = ctrlBtn(startTitle, true, "startButton", [] {
        PomodoroTimer &t = PomodoroTimer::shared();
        t.isRunning() ? t.pause() : t.start();
    });
    TintButton *resetBtn =
        ctrlBtn(QStringLiteral("↺  ") + L::t({.en = "Reset", .es = "Reset", .de = "Reset", .fr = "Reset", .uk = "Скинути", .pl = "Reset"}),
                false, "resetButton", [] { PomodoroTimer::shared().reset(); });
    TintButton *skipBtn =
        ctrlBtn(skipText(),
                false, "skipButton", [] { PomodoroTimer::shared().skip(); });
    // Reset and skip take what their titles need at large font scales; the wide start button gives it up.
    const auto need = [](TintButton *b) {
        return std::max(80.0, std::ceil(QFontMetricsF(b->font()).horizontalAdvance(b->text())) + 14);
    };
    const double resetW = need(resetBtn), skipW = need(skipBtn);
    const double startW = std::max(90.0, row.width - (resetW - 80) - (skipW - 80));
    const double bx = (W - (startW + 6 + resetW + 6 + skipW)) / 2;
    startBtn->setGeometry(QRectF(bx, yBtn, startW, 34).toRect());
    resetBtn->setGeometry(QRectF(bx + startW + 6, yBtn, resetW, 34).toRect());
    skipBtn->setGeometry(QRectF(bx + startW + 6 + resetW + 6, yBtn, skipW, 34).toRect());

    // Figure cards
    const double c = (cw - 9) / 4;
    const Tr captions[] = {
        {.en = "Today", .es = "Hoy", .de = "Heute", .fr = "Aujourd'hui", .uk = "Сьогодні", .pl = "Dzisiaj"},
        {.en = "Streak", .es = "Racha", .de = "Serie", .fr = "Série", .uk = "Серія", .pl = "Seria"},
        {.en = "Total", .es = "Total", .de = "Gesamt", .fr = "Total", .uk = "Разом", .pl = "Razem"},
        {.en = "Focus", .es = "Foco", .de = "Fokus", .fr = "Focus", .uk = "Фокус", .pl = "Skupienie"},
    };
    const QString values[] = {QString::number(timer.todayCount()), QString::number(shownStreak()),
                              QString::number(prefs.integer(kPomTotalCount)),
                              TimerFigures::focusText(timer.focusSecsToday())};
    PomStatCard *cards[] = {statToday_, statStreak_, statTotal_, statFocus_};
    // The cards are as high as the tallest needs at this font scale; what follows moves down with them.
    int cardH = 72;
    for (int i = 0; i < 4; ++i) {
        cards[i]->setCaption(L::t(captions[i]));
        cards[i]->valLbl->setText(values[i]);
        cards[i]->applyThemeColors();
        cardH = std::max(cardH, cards[i]->neededHeight());
    }
    for (int i = 0; i < 4; ++i) {
        cards[i]->setParent(doc);
        cards[i]->setGeometry(QRectF(28 + i * (c + 3), yBtn + 50, c, cardH).toRect());
    }

    // Daily goal
    const TimerFigures::Goal g = TimerFigures::goal(timer.todayCount(), prefs.integer(kPomDailyGoal));
    const QColor goalColour = g.reached ? VF::accent() : A;
    const double yGoal = yBtn + 60 + cardH;
    PomBox *goalBox = box(doc, {28, yGoal, cw, 28}, white(0.05), 8);
    QLabel *goalLbl = label(goalBox, goalText(g), kGoalPx, QFont::DemiBold, VF::sub());
    goalLbl->setObjectName(QStringLiteral("goalLabel"));
    goalLbl->setGeometry(yUp(28, 10, 7, cw - 100, 14));
    QLabel *pct = label(goalBox, g.percent, 11, QFont::DemiBold, goalColour, Qt::AlignRight | Qt::AlignVCenter);
    pct->setFont(Fonts::monoDigits(11, QFont::DemiBold));
    pct->setObjectName(QStringLiteral("goalPercent"));
    pct->setGeometry(yUp(28, cw - 58, 7, 52, 14));
    PomBox *track = box(doc, {28, yGoal + 32, cw, 5}, white(0.08), 2.5);
    PomBox *bar = box(track, {0, 0, std::max(cw * g.fraction, 0.0), 5}, goalColour, 2.5);
    bar->setObjectName(QStringLiteral("goalBar"));

    box(doc, {0, yGoal + 48, W, 1}, white(0.07), 0);
    label(doc,
          L::t({.en = "HOW POMODORO WORKS", .es = "CÓMO FUNCIONA", .de = "SO FUNKTIONIERT POMODORO", .fr = "COMMENT ÇA MARCHE",
                .uk = "ЯК ПРАЦЮЄ ПОМОДОРО", .pl = "JAK DZIAŁA POMODORO"}),
          9, QFont::DemiBold, VF::muted())
        ->setGeometry(QRectF(28, yGoal + 62, 220, 12).toRect());
    const double yBox = yGoal + 80;
    PomBox *how = box(doc, {28, yBox, cw, 108}, white(0.04), 10);
    const double lineY[] = {81, 57, 33, 9};
    for (int i = 0; i < 4; ++i)
        label(how, L::t(kHowLines[i]), kHowPx, QFont::Normal, VF::sub())->setGeometry(yUp(108, 14, lineY[i], cw - 28, 18));

    box(doc, {0, yBox + 124, W, 1}, white(0.07), 0);
    label(doc,
          L::t({.en = "TIMER SETTINGS", .es = "AJUSTES DEL TEMPORIZADOR", .de = "TIMER-EINSTELLUNGEN", .fr = "RÉGLAGES DU MINUTEUR",
                .uk = "НАЛАШТУВАННЯ ТАЙМЕРА", .pl = "USTAWIENIA TIMERA"}),
          9, QFont::DemiBold, VF::muted())
        ->setGeometry(QRectF(28, yBox + 138, 220, 12).toRect());
    box(doc, {28, yBox + 154, cw, 1}, VF::border(), 0);

    // Stepper rows
    double y = yBox + 168;
    for (int i = 0; i < 4; ++i) {
        const SettingRow &r = kRows[i];
        if (i == 2) {
            box(doc, {28, y, cw, 1}, VF::border(), 0);
            y += 10;
        }
        PomBox *rowBox = box(doc, {28, y, cw, 36}, white(0.05), 8);

        double v = r.integer ? double(prefs.integer(QLatin1String(r.key))) : prefs.doubleValue(QLatin1String(r.key));
        if (!(v > 0)) v = r.integer ? 4 : Phases::defaultMinutes(Phase(i == 0 ? 0 : i == 1 ? 1 : 2));
        QLabel *val = label(rowBox, r.integer ? QString::number(qint64(v)) : minutesText(v), 12, QFont::Normal, A,
                            Qt::AlignRight | Qt::AlignVCenter);
        val->setFont(Fonts::monoDigits(12));
        // The value keeps its 50 points unless its longest text needs more (large font scales);
        // it then grows leftwards and the caption gives way.
        const double valW = valueWidth(val->font(), r.integer ? QStringLiteral("10") : minutesText(r.max));
        val->setGeometry(yUp(36, cw - 50 - valW, 11, valW, 14));
        label(rowBox, L::t(r.label), 12, QFont::Normal, VF::sub())
            ->setGeometry(yUp(36, 14, 11, std::min(cw - 110, cw - 50 - valW - 14 - 4), 14));
        auto *st = new Stepper(r.min, r.max, 1, rowBox);
        st->setObjectName(QStringLiteral("stepper_") + QLatin1String(r.key));
        st->setValue(v);
        st->setGeometry(yUp(36, cw - 48, 5, 44, 26));
        QPointer<QLabel> valRef(val);
        connect(st, &Stepper::valueChanged, newAW([st, i, valRef] {
                    const double nv = st->value();
                    PomodoroTimer &t = PomodoroTimer::shared();
                    switch (i) {
                    case 0:
                        t.setWorkMins(nv);
                        break;
                    case 1:
                        t.setBreakMins(nv);
                        break;
                    case 2:
                        t.setLongBreakMins(nv);
                        break;
                    default:
                        t.setCyclesBeforeLong(qint64(nv));
                        break;
                    }
                    if (valRef) valRef->setText(i == 3 ? QString::number(qint64(nv)) : minutesText(nv));
                    if (i < 2) t.applyNewSettings();
                }),
                &AW::run);
        y += 42;
    }

    // Daily goal row
    box(doc, {28, y, cw, 1}, VF::border(), 0);
    PomBox *goalRow = box(doc, {28, y + 10, cw, 36}, white(0.05), 8);
    iconLabel(goalRow, QStringLiteral("🎯"), 13, 22)->setGeometry(yUp(36, 10, 10, 22, 16));
    label(goalRow,
          QStringLiteral("  ") + L::t({.en = "Daily goal (sessions)", .es = "Meta diaria", .de = "Tagesziel (Sitzungen)",
                                       .fr = "Objectif quotidien", .uk = "Денна мета (сеанси)", .pl = "Cel dzienny (sesje)"}),
          12, QFont::Normal, VF::sub())
        ->setGeometry(yUp(36, 36, 11, std::max(160.0, cw - 100 - 36 - 4), 14));
    QLabel *goalVal = label(goalRow, QString::number(g.goal), 12, QFont::Normal, A, Qt::AlignRight | Qt::AlignVCenter);
    goalVal->setFont(Fonts::monoDigits(12));
    goalVal->setGeometry(yUp(36, cw - 100, 11, 50, 14));
    auto *goalSt = new Stepper(1, 20, 1, goalRow);
    goalSt->setObjectName(QStringLiteral("stepper_pomDailyGoal"));
    goalSt->setValue(double(g.goal));
    goalSt->setGeometry(yUp(36, cw - 48, 5, 44, 26));
    QPointer<QLabel> goalValRef(goalVal);
    connect(goalSt, &Stepper::valueChanged, newAW([goalSt, goalValRef] {
                PomodoroTimer::shared().setDailyGoal(qint64(goalSt->value()));
                if (goalValRef) goalValRef->setText(QString::number(qint64(goalSt->value())));
            }),
            &AW::run);

    // Switches
    auto switchRow = [&](double ry, const QString &text, bool on, const char *name, std::function<void()> fn) {
        PomBox *b = box(doc, {28, ry, cw, 36}, white(0.05), 8);
        label(b, text, 12, QFont::Normal, VF::text())->setGeometry(yUp(36, 14, 11, cw - 60, 14));
        auto *cb = new QCheckBox(b);
        cb->setObjectName(QLatin1String(name));
        cb->setFocusPolicy(Qt::NoFocus);
        cb->setChecked(on);
        ThemePalette::applyToCheckBox(cb);
        cb->setGeometry(yUp(36, cw - 36, 7, 22, 22));
        connect(cb, &QCheckBox::clicked, newAW(std::move(fn)), &AW::run);
    };
    const double ySound = y + 10 + 42;
    switchRow(ySound,
              QStringLiteral("🔔  ") + L::t({.en = "Notification sound", .es = "Sonido de notificación", .de = "Benachrichtigungston",
                                             .fr = "Son de notification", .uk = "Звук сповіщення", .pl = "Dźwięk powiadomienia"}),
              timer.soundEnabled(), "soundSwitch",
              [] { PomodoroTimer::shared().setSoundEnabled(!PomodoroTimer::shared().soundEnabled()); });
    const double yBanner = ySound + 44;
    switchRow(yBanner,
              QStringLiteral("🔕  ") + L::t({.en = "Pomodoro notifications", .es = "Notificaciones Pomodoro",
                                             .de = "Pomodoro-Benachrichtigungen", .fr = "Notifications Pomodoro",
                                             .uk = "Сповіщення Помодоро", .pl = "Powiadomienia Pomodoro"}),
              timer.notificationsEnabled(), "bannerSwitch", [] {
                  PomodoroTimer::shared().setNotificationsEnabled(!PomodoroTimer::shared().notificationsEnabled());
              });

    doc->setGeometry(0, 0, int(W), int(std::max(yBanner + 70, H)));
    for (QWidget *w : doc->findChildren<QWidget *>()) w->show();
    scroll->show();
    if (pomSettScrollY_ > 0) scroll->verticalScrollBar()->setValue(int(pomSettScrollY_));
}

void PomodoroView::startPomSmoothTicker() {
    pomSmoothTicker_->stop();
    if (isVisible()) pomSmoothTicker_->start(kRingMs);
}

void PomodoroView::onRingTick() {
    if (!pomRingRef_) {
        pomSmoothTicker_->stop();
        return;
    }
    const PomodoroTimer &timer = PomodoroTimer::shared();
    pomRingRef_->setProgress(timer.smoothProgress());
    if (pomTimeLblRef_) {
        const QString t = TimerFigures::timeText(timer.remaining());
        if (pomTimeLblRef_->text() != t) pomTimeLblRef_->setText(t);
    }
}

QList<EmojiPrep::Text> PomodoroView::timerPanelEmoji() {
    const PomodoroTimer &timer = PomodoroTimer::shared();
    QList<EmojiPrep::Text> out;
    for (Phase p : {Phase::work, Phase::rest, Phase::longRest}) out.append({tabText(p), tabFont()});
    out.append({startText(timer.isRunning()), controlFont()});
    out.append({skipText(), controlFont()});
    out.append({goalText(TimerFigures::goal(timer.todayCount(), Prefs::get().integer(kPomDailyGoal))),
                Fonts::scaledFont(kGoalPx, QFont::DemiBold)});
    for (const Tr &line : kHowLines) out.append({L::t(line), Fonts::scaledFont(kHowPx)});
    return out;
}
