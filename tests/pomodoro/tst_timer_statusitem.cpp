// The tray icon and its menu as the user sees them, driven by a timer on a test clock.
#include "platform/Keys.h"
#include "app/StatusItem.h"
#include "common/TestEnv.h"
#include "platform/Announce.h"
#include "pomodoro/PomodoroTimer.h"
#include "ui/Lang.h"
#include <QMenu>
#include <QtTest>

namespace {
QStringList titles(QMenu *m) {
    QStringList out;
    for (QAction *a : m->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

QAction *find(QMenu *m, const QString &text, int nth = 0) {
    for (QAction *a : m->actions())
        if (a->text() == text && nth-- == 0) return a;
    return nullptr;
}

const std::vector<ReminderRow> kRows = {
    {QStringLiteral("💧"), QStringLiteral("Water"), kWaterOn, kWaterSnd},
    {QStringLiteral("👁"), QStringLiteral("Eyes"), kEyesOn, kEyesSnd},
};
} // namespace

class StatusItemTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> temp;
    std::unique_ptr<TestClock> clock;
    QList<QPair<QString, bool>> switched;

    std::unique_ptr<StatusItem> makeItem(PomodoroTimer &t) {
        auto item = std::make_unique<StatusItem>(nullptr, t);
        item->setReminders([] { return kRows; },
                           [this](const QString &key, bool on) {
                               switched.append({key, on});
                               Prefs::get().setBool(key, on);
                           });
        return item;
    }

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        temp = std::make_unique<TempPrefs>();
        clock = std::make_unique<TestClock>(QDateTime(QDate(2026, 1, 5), QTime(9, 0)));
        switched.clear();
    }
    void cleanup() {
        clock.reset();
        temp.reset();
    }

    void iconAndTooltipFollowTheTimer() {
        PomodoroTimer t;
        auto item = makeItem(t);
        QCOMPARE(item->toolTip(), QStringLiteral("FOCUS  25:00"));
        const qint64 before = item->tray()->icon().cacheKey();
        t.start();
        clock->advance(61);
        item->onPomChanged();
        item->onPomChanged();
        QCOMPARE(item->toolTip(), QStringLiteral("FOCUS  25:00")); // redraw is queued, not immediate
        QCoreApplication::processEvents();
        QCOMPARE(item->toolTip(), QStringLiteral("FOCUS  23:59"));
        QVERIFY(item->tray()->icon().cacheKey() != before); // the minutes changed
        t.switchToPhase(Phase::longRest);
        item->updateIcon();
        QCOMPARE(item->toolTip(), QStringLiteral("LONG BREAK  15:00"));
    }

    // At tray size the minutes must stand out: a good share of white digit pixels inside the symbol,
    // and different minutes must look different.
    void iconsShowTheMinutesAt22Pixels() {
        for (Phase ph : {Phase::work, Phase::rest, Phase::longRest}) {
            const QImage img = StatusItem::renderIcon(ph, 100, 22);
            int white = 0;
            for (int y = 0; y < 22; ++y)
                for (int x = 0; x < 22; ++x) {
                    const QColor c = img.pixelColor(x, y);
                    white += c.alpha() >= 200 && c.red() > 200 && c.green() > 200 && c.blue() > 200;
                }
            QVERIFY2(white >= 12, qPrintable(QStringLiteral("%1 white pixels").arg(white)));
            QVERIFY(StatusItem::renderIcon(ph, 24, 22) != StatusItem::renderIcon(ph, 25, 22));
        }
    }

    void englishMenuPausedWithNoSwitchesStored() {
        PomodoroTimer t;
        auto item = makeItem(t);
        QMenu *m = item->buildMenu();
        QCOMPARE(titles(m).join(u'|'), QStringLiteral("⏸ Paused|-|▶ Resume|⏭ Skip phase|-|── Notifications ──|"
                                                      "💧 Water|👁 Eyes|-|── Sounds ──|🍅 Pomodoro sound|"
                                                      "💧 Water|👁 Eyes|-|🖥 Open window|-|Quit"));
        const auto acts = m->actions();
        for (int i : {0, 5, 9})
            QVERIFY(!acts[i]->isEnabled());
        for (int i : {6, 7, 10, 11, 12}) {
            QVERIFY(acts[i]->isCheckable());
            QVERIFY2(acts[i]->isChecked(), qPrintable(acts[i]->text()));
        }
        QCOMPARE(acts[14]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QCOMPARE(acts[16]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    }

    void spanishMenuRunningInALongBreak() {
        L::setLang(AppLang::es);
        PomodoroTimer t;
        t.switchToPhase(Phase::longRest);
        t.start();
        auto item = makeItem(t);
        const QStringList got = titles(item->buildMenu());
        QCOMPARE(got.mid(0, 6), (QStringList{"⏱ PAUSA LARGA", "-", "⏸ Pausa", "⏭ Saltar fase", "-",
                                             "── Notificaciones ──"}));
        QVERIFY(got.contains("── Sonidos ──"));
        QVERIFY(got.contains("🍅 Pomodoro sonido"));
        QVERIFY(got.contains("🖥 Abrir ventana"));
        QCOMPARE(got.last(), QStringLiteral("Salir"));
        L::setLang(AppLang::en);
    }

    void storedSwitchesAndTheirToggles() {
        temp->prefs().setBool(kWaterOn, false);
        temp->prefs().setString(kEyesSnd, QStringLiteral("off")); // not a Boolean: counts as on
        temp->prefs().setBool(kSoundOn, false);
        PomodoroTimer t;
        auto item = makeItem(t);
        QMenu *m = item->buildMenu();
        QVERIFY(!find(m, "💧 Water", 0)->isChecked());
        QVERIFY(find(m, "👁 Eyes", 1)->isChecked());
        QVERIFY(!find(m, "🍅 Pomodoro sound")->isChecked());

        // The reminder's own switch goes through the engine.
        find(m, "💧 Water", 0)->trigger();
        QCOMPARE(switched, (QList<QPair<QString, bool>>{{"waterOn", true}}));
        // A sound row writes only its sound key.
        find(m, "💧 Water", 1)->trigger();
        QCOMPARE(temp->prefs().boolValue(kWaterSnd), false);
        QCOMPARE(switched.size(), 1);
        // Rebuilt on the next opening with the new states.
        m = item->buildMenu();
        QVERIFY(find(m, "💧 Water", 0)->isChecked());
        QVERIFY(!find(m, "💧 Water", 1)->isChecked());
        // A key that names no reminder does nothing.
        item->toggleReminderOn(QStringLiteral("nosuchOn"));
        item->toggleReminderSnd(QString());
        QCOMPARE(switched.size(), 1);
    }

    void timerActions() {
        PomodoroTimer t;
        auto item = makeItem(t);
        QSignalSpy quit(item.get(), &StatusItem::quitRequested);
        find(item->buildMenu(), "▶ Resume")->trigger();
        QVERIFY(t.isRunning());
        find(item->buildMenu(), "⏸ Pause")->trigger();
        QVERIFY(!t.isRunning());
        find(item->buildMenu(), "Quit")->trigger();
        QCOMPARE(quit.count(), 1);
    }
};

QTEST_MAIN(StatusItemTest)
#include "tst_timer_statusitem.moc"
