// The tray icon and its menu as the user sees them, driven by a timer on a test clock.
#include "platform/Keys.h"
#include "app/StatusItem.h"
#include "common/TestEnv.h"
#include "platform/Announce.h"
#include "pomodoro/PomodoroTimer.h"
#include "ui/Lang.h"
#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>
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

    // The tray's icon is drawn for the size a host asks for, the same pixels as the symbol drawn on
    // its own, once per size until the minutes change; hosts that take a list get the usual sizes.
    void trayIconDrawsTheAskedSizeWhenAsked() {
        PomodoroTimer t;
        auto item = makeItem(t);
        const QIcon icon = item->tray()->icon();
        QCOMPARE(icon.availableSizes(),
                 (QList<QSize>{{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}}));
        for (int side : {16, 22, 23, 64}) { // 23: no listed size, drawn exactly, not scaled
            const QPixmap pm = icon.pixmap(QSize(side, side), 1.0);
            QCOMPARE(pm.size(), QSize(side, side));
            QCOMPARE(pm.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                     StatusItem::renderIcon(Phase::work, 25, side));
            QCOMPARE(icon.pixmap(QSize(side, side), 1.0).cacheKey(), pm.cacheKey()); // drawn once
        }
        // A host's rectangle that is not square gets the symbol square and centred.
        QCOMPARE(icon.actualSize(QSize(40, 22)), QSize(22, 22));
        QImage wide(40, 22, QImage::Format_ARGB32_Premultiplied);
        wide.fill(Qt::transparent);
        {
            QPainter p(&wide);
            icon.paint(&p, wide.rect());
        }
        QCOMPARE(wide.copy(9, 0, 22, 22), StatusItem::renderIcon(Phase::work, 25, 22));
        QCOMPARE(wide.pixelColor(3, 11).alpha(), 0);
        // The disabled look is the style's, not the normal pixels.
        QVERIFY(icon.pixmap(QSize(22, 22), 1.0, QIcon::Disabled).toImage() !=
                icon.pixmap(QSize(22, 22), 1.0).toImage());
        // A new phase brings a new symbol; the same phase and minute keep the icon.
        item->updateIcon();
        QCOMPARE(item->tray()->icon().cacheKey(), icon.cacheKey());
        t.switchToPhase(Phase::rest);
        item->updateIcon();
        QCOMPARE(item->tray()->icon().pixmap(QSize(22, 22), 1.0).toImage().convertToFormat(
                     QImage::Format_ARGB32_Premultiplied),
                 StatusItem::renderIcon(Phase::rest, 5, 22));
    }

    // The digits' size found with a few measurements is the one a walk down from the box's height
    // in half pixels finds, for one to five digits, boxes the digits fill or overflow, and boxes so
    // small that nothing fits.
    void digitsFitAsAWalkDownWould() {
        auto walk = [](QFont f, const QRectF &box, const QString &text) {
            double px = box.height();
            for (; px > 4; px -= 0.5) {
                f.setPixelSize(int(px));
                const QFontMetricsF fm(f);
                if (fm.horizontalAdvance(text) <= box.width() && fm.capHeight() <= box.height() * 0.9) break;
            }
            return int(px);
        };
        QFont f;
        f.setBold(true);
        f.setStyleHint(QFont::SansSerif);
        // The symbols' own boxes, boxes where nothing fits (the walk then ends below 4 or at 4), and
        // a spread of shapes from tall to wide.
        QList<QRectF> boxes = {{3.4, 6.4, 15.2, 12.0}, {1.6, 4.0, 14.6, 11.6}, {3.6, 6.8, 17.6, 11.0},
                               {0, 0, 3, 11.7},        {0, 0, 3, 12.0},        {0, 0, 40, 4.5},
                               {0, 0, 40, 3.2}};
        for (double h = 4.3; h < 40; h += 1.7)
            for (double w = 2; w < 70; w += 3.1)
                boxes << QRectF(0, 0, w, h);
        int mismatches = 0;
        QString first;
        for (const QRectF &box : boxes)
            for (const QString text : {"0", "5", "25", "59", "120", "1440", "99999"}) {
                const int got = StatusItem::fittedPixelSize(f, box, text), want = walk(f, box, text);
                if (got == want) continue;
                if (!mismatches++)
                    first = QStringLiteral("%1 in %2×%3: %4, walk %5")
                                .arg(text)
                                .arg(box.width())
                                .arg(box.height())
                                .arg(got)
                                .arg(want);
            }
        QVERIFY2(mismatches == 0, qPrintable(QStringLiteral("%1 mismatches, first %2").arg(mismatches).arg(first)));
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
