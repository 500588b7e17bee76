#include "HealthTestEnv.h"
#include "common/PageTest.h"
#include "common/Posts.h"
#include "common/TextFitCheck.h"
#include "app/MainTabVC.h"
#include "health/AlarmListView.h"
#include "health/AlarmsView.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "pomodoro/PomodoroTimer.h"
#include "ui/Lang.h"
#include "ui/Stepper.h"
#include "ui/Theme.h"
#include "ui/TintButton.h"
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimeEdit>
#include <QtTest>

// The reminders page as a user drives it: rows clicked, controls used, the add-alarm sheet filled in
// (dialogs scripted), time moved on by a fake clock.
namespace {
const QDateTime kStart(QDate(2027, 3, 3), QTime(9, 0));

// Scripted dialogs that fill in the add-alarm sheet before answering.
class SheetDialogs : public TestDialogs {
public:
    QTime time = QTime(9, 0);
    QString typedMinute; // when set, clicked into the picker's minutes and typed instead of setting time
    QString text, day, month, year = QStringLiteral("keep");
    bool checkpoint = false;
    std::function<void(QWidget *accessory)> inspect; // looks at the sheet before it is filled in
    int alert(QWidget *parent, const Alert &a) override {
        if (QWidget *acc = a.accessory) {
            if (inspect) inspect(acc);
            auto *picker = acc->findChild<QTimeEdit *>(QStringLiteral("timePicker"));
            if (typedMinute.isEmpty()) {
                picker->setTime(time);
            } else {
                QLineEdit *line = picker->findChild<QLineEdit *>();
                const QFontMetrics fm(line->font());
                const QPoint minutes(fm.horizontalAdvance(QStringLiteral("00:0")) + 2, line->height() / 2);
                QTest::mouseClick(line, Qt::LeftButton, {}, minutes);
                QTest::keyClicks(line, typedMinute);
            }
            acc->findChild<QLineEdit *>(QStringLiteral("alarmText"))->setText(text);
            acc->findChild<QLineEdit *>(QStringLiteral("dayField"))->setText(day);
            acc->findChild<QLineEdit *>(QStringLiteral("monthField"))->setText(month);
            if (year != QLatin1String("keep"))
                acc->findChild<QLineEdit *>(QStringLiteral("yearField"))->setText(year);
            acc->findChild<QCheckBox *>(QStringLiteral("checkpointBox"))->setChecked(checkpoint);
        }
        return TestDialogs::alert(parent, a);
    }
};

CustomReminder alarm(const QString &text, int h, int m, bool daily = false) {
    CustomReminder a;
    a.text = text;
    a.hour = h;
    a.minute = m;
    a.dailyCheckpoint = daily;
    return a;
}

} // namespace

class TstAlarmsPage : public QObject {
    Q_OBJECT
    std::unique_ptr<HealthEnv> env;
    std::unique_ptr<SheetDialogs> dialogs;
    ShownPage<AlarmsView> page;

    void select(const QString &id) {
        const QRect r = page->listView()->rowRect(id);
        QVERIFY2(!r.isEmpty(), qPrintable(id));
        QTest::mouseClick(page->listView(), Qt::LeftButton, {}, r.center());
        settle();
        QCOMPARE(page->selectedItem().value_or(QString()), id);
    }
    template <class T> T *detail(const char *name) const {
        return page->detailHost()->findChild<T *>(QLatin1String(name));
    }
    QString detailText(const char *name) const {
        QLabel *l = detail<QLabel>(name);
        return l ? l->text() : QStringLiteral("<none>");
    }
    void clickOn(QWidget *w) {
        QTest::mouseClick(w, Qt::LeftButton);
        settle();
    }
    void clickStepper(Stepper *s, bool up) {
        QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->width() / 2, up ? 3 : s->height() - 3));
    }
    QString onlyAlarmId() const {
        const auto &items = CustomReminderStore::shared().items();
        return items.size() == 1 ? items.front().id : QString();
    }

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        env = std::make_unique<HealthEnv>(kStart);
        dialogs = std::make_unique<SheetDialogs>();
        L::setLang(AppLang::en);
        PomodoroTimer::shared().reset();
    }
    void cleanup() {
        page.close();
        dialogs.reset();
        env.reset();
    }

    void listOrderAndPlaceholder() {
        CustomReminderStore::shared().add(alarm(QStringLiteral("B"), 8, 0));
        CustomReminderStore::shared().add(alarm(QStringLiteral("A"), 7, 0));
        QVERIFY(page.open(979, 686));
        const auto &items = CustomReminderStore::shared().items();
        QCOMPARE(page->listView()->rowIds(),
                 (QStringList{"pom_timer", "health_waterMins", "health_eyesMins", "health_postureMins",
                              "health_stretchMins", "custom_" + items[0].id, "custom_" + items[1].id}));
        QCOMPARE(detailText("emptyDetail"), QStringLiteral("← Select an alarm from the list"));
        // The list paints the rows in view, and asks only for those.
        QVERIFY(page->listView()->rowsPainted() <= 7);
    }

    // Every second repaints the rows in view, whatever the number of alarms, and builds nothing.
    void manyAlarmsCostWhatIsVisible() {
        for (int i = 0; i < 300; ++i)
            CustomReminderStore::shared().add(alarm(QString::number(i), 7, i % 60));
        QVERIFY(page.open(979, 686));
        const int builds = page->structureBuilds();
        QCOMPARE(page->listView()->rowIds().size(), 305);
        env->clock.advance(1);
        settle();
        QVERIFY2(page->listView()->rowsPainted() > 0 && page->listView()->rowsPainted() <= 12,
                 qPrintable(QString::number(page->listView()->rowsPainted())));
        QCOMPARE(page->structureBuilds(), builds);
    }

    // Each second the values move on in the same widgets; the views are built once.
    void secondsUpdateInPlace() {
        QVERIFY(page.open(979, 686));
        select(QStringLiteral("health_waterMins"));
        QLabel *countdown = detail<QLabel>("countdown");
        QCOMPARE(countdown->text(), QStringLiteral("⏱  Next in  60:00"));
        const int builds = page->structureBuilds();
        env->clock.advance(3);
        settle();
        QCOMPARE(detail<QLabel>("countdown"), countdown);
        QCOMPARE(countdown->text(), QStringLiteral("⏱  Next in  59:57"));
        QCOMPARE(page->structureBuilds(), builds);

        // A change of structure (a new alarm) does rebuild.
        CustomReminderStore::shared().add(alarm(QStringLiteral("x"), 7, 0));
        settle();
        QCOMPARE(page->structureBuilds(), builds + 1);

        // Hidden, the page builds nothing, whatever happens; shown again it catches up once.
        page->hide();
        env->clock.advance(5);
        CustomReminderStore::shared().add(alarm(QStringLiteral("y"), 7, 0));
        settle();
        QCOMPARE(page->structureBuilds(), builds + 1);
        page->show();
        settle();
        QCOMPARE(page->structureBuilds(), builds + 2);
        QCOMPARE(detail<QLabel>("countdown")->text(), QStringLiteral("⏱  Next in  59:52"));
    }

    void intervalAndTargetSteppers() {
        env->prefs.prefs().setDouble(kEyesMins, 18.7);
        QVERIFY(page.open(979, 686));
        select(QStringLiteral("health_eyesMins"));
        auto *interval = detail<Stepper>("intervalStepper");
        QCOMPARE(detailText("intervalValue"), QStringLiteral("18"));
        QCOMPARE(interval->value(), 18.7);
        clickStepper(interval, true);
        settle();
        QCOMPARE(env->prefs.prefs().doubleValue(kEyesMins), 19.7);
        QCOMPARE(detailText("intervalValue"), QStringLiteral("19"));
        QCOMPARE(detail<QLabel>("countdown")->text(), QStringLiteral("⏱  Next in  19:42"));

        auto *target = detail<Stepper>("targetStepper");
        QCOMPARE(target->value(), 1.0);
        clickStepper(target, true);
        settle();
        QCOMPARE(env->prefs.prefs().integer(kEyesTarget), qint64(2));
        QCOMPARE(detailText("targetValue"), QStringLiteral("0/2"));
        QCOMPARE(detail<Stepper>("targetStepper"), target);
        QCOMPARE(target->value(), 2.0);
        clickStepper(target, false);
        clickStepper(target, false); // stops at 1
        settle();
        QCOMPARE(env->prefs.prefs().integer(kEyesTarget), qint64(1));
        env->prefs.prefs().setInt(kEyesTarget, 99);
        env->clock.advance(1);
        settle();
        QCOMPARE(target->value(), 99.0);
        clickStepper(target, true);
        settle();
        QCOMPARE(env->prefs.prefs().integer(kEyesTarget), qint64(99));
        QCOMPARE(detailText("targetValue"), QStringLiteral("0/99"));
    }

    void reminderSwitches() {
        QVERIFY(page.open(979, 686));
        select(QStringLiteral("health_waterMins"));
        auto *on = detail<QCheckBox>("onSwitch");
        auto *sound = detail<QCheckBox>("soundSwitch");
        QVERIFY(on->isChecked() && sound->isChecked());
        clickOn(on);
        QCOMPARE(env->prefs.prefs().boolValue(kWaterOn), false);
        QCOMPARE(detail<QLabel>("countdown")->text(), QStringLiteral("⏸  Off"));
        QVERIFY(!on->isChecked());
        clickOn(sound);
        QCOMPARE(env->prefs.prefs().boolValue(kWaterSnd), false);
        // Switched from elsewhere (the status menu), the box follows within the second.
        env->prefs.prefs().setBool(kWaterSnd, true);
        env->clock.advance(1);
        settle();
        QVERIFY(sound->isChecked());
    }

    void addedAlarmFiresAndCounts() {
        QVERIFY(page.open(979, 686));
        dialogs->typedMinute = QStringLiteral("01"); // a click picks the minutes, typing replaces them
        dialogs->text = QStringLiteral("  Take vitamins ");
        page->showAddAlarmDialog();
        settle();
        const QString id = onlyAlarmId();
        QVERIFY(!id.isEmpty());
        QCOMPARE(page->selectedItem().value_or(QString()), "custom_" + id);
        QCOMPARE(CustomReminderStore::shared().items().front().text, QStringLiteral("Take vitamins"));
        QCOMPARE(detailText("alarmTime"), QStringLiteral("09:01   ·   Every day"));
        QCOMPARE(detailText("alarmStatus"), QStringLiteral("⏰  ACTIVE"));
        QCOMPARE(detailText("targetValue"), QStringLiteral("0/1"));
        QVERIFY(!detail<QCheckBox>("doneSwitch"));
        const int builds = page->structureBuilds();
        env->clock.advance(61);
        settle();
        QCOMPARE(env->banners.timesOf(QStringLiteral("Take vitamins")), (QList<qint64>{60}));
        QCOMPARE(env->sound.played.count(QStringLiteral("Tink")), 1);
        QCOMPARE(detailText("targetValue"), QStringLiteral("1/1"));
        QCOMPARE(page->structureBuilds(), builds);
    }

    // At the largest font scale in Ukrainian: each date caption stands over its field, and the check
    // box's caption shows whole on two lines.
    void sheetCaptionsStandOverTheirFields() {
        VF::setFontScale(1.3);
        L::setLang(AppLang::uk);
        QVERIFY(page.open(979, 686));
        bool looked = false;
        dialogs->inspect = [&](QWidget *acc) {
            looked = true;
            for (const char *pair : {"day", "month", "year"}) {
                auto *cap = acc->findChild<QLabel *>(QLatin1String(pair) + QStringLiteral("Caption"));
                auto *field = acc->findChild<QLineEdit *>(QLatin1String(pair) + QStringLiteral("Field"));
                QVERIFY2(cap && field, pair);
                const QRect c = cap->geometry(), f = field->geometry();
                QVERIFY2(c.center().x() >= f.left() && c.center().x() <= f.right(), pair);
                QVERIFY2(c.bottom() <= f.top(), pair);
                QVERIFY2(QFontMetrics(cap->font()).horizontalAdvance(cap->text()) <= c.width(), pair);
            }
            QCOMPARE(acc->findChild<QLabel *>(QStringLiteral("dayCaption"))->text(), QStringLiteral("ДД"));
            QCOMPARE(acc->findChild<QLabel *>(QStringLiteral("dateHeading"))->text(), QStringLiteral("📅  ДАТА ПОЧАТКУ"));
            auto *cp = acc->findChild<QLabel *>(QStringLiteral("checkpointCaption"));
            QVERIFY(cp->wordWrap());
            QVERIFY2(!cp->text().contains(QChar(0x2026)) && cp->toolTip().isEmpty(), qPrintable(cp->text()));
            const QRect need = cp->fontMetrics().boundingRect(QRect(0, 0, cp->width(), 1000), Qt::TextWordWrap, cp->text());
            QVERIFY2(need.height() <= cp->height(), qPrintable(QStringLiteral("%1 > %2").arg(need.height()).arg(cp->height())));
        };
        dialogs->alertAnswers = {1}; // Cancel
        page->showAddAlarmDialog();
        settle();
        QVERIFY(looked);
        L::setLang(AppLang::en);
        VF::setFontScale(1.0);
    }

    void invalidDateCreatesNothing() {
        QVERIFY(page.open(979, 686));
        dialogs->day = QString();
        dialogs->month = QStringLiteral("3");
        page->showAddAlarmDialog();
        settle();
        QVERIFY(CustomReminderStore::shared().items().empty());
        QCOMPARE(
            dialogs->alertsShown.last(),
            QStringLiteral("Invalid date|Enter Day, Month, Year correctly — or leave all blank for daily."));
        dialogs->day = QStringLiteral("1");
        dialogs->month = QStringLiteral("1");
        dialogs->year = QStringLiteral("10000");
        page->showAddAlarmDialog();
        settle();
        QVERIFY(CustomReminderStore::shared().items().empty());
        dialogs->alertAnswers = {1}; // Cancel
        dialogs->year = QStringLiteral("2028");
        page->showAddAlarmDialog();
        settle();
        QVERIFY(CustomReminderStore::shared().items().empty());
    }

    void checkpointAlarmPaneAndDelete() {
        QVERIFY(page.open(979, 686));
        dialogs->day = QStringLiteral("29");
        dialogs->month = QStringLiteral("2");
        dialogs->year = QStringLiteral("2028");
        dialogs->checkpoint = true;
        page->showAddAlarmDialog();
        settle();
        QVERIFY(CustomReminderStore::shared().items().front().dailyCheckpoint);
        QCOMPARE(detailText("alarmTime"), QStringLiteral("09:00   ·   📅 29.02.2028   🔁"));
        QCOMPARE(detailText("alarmStatus"), QStringLiteral("🔁  ACTIVE · DAILY"));
        // The daily target's stepper stops at 99: a click up there changes (and saves) nothing.
        auto *target = detail<Stepper>("targetStepper");
        CustomReminderStore::shared().setDailyTarget(99, onlyAlarmId());
        settle();
        QCOMPARE(target->value(), 99.0);
        const Posts saves(Notify::customRemindersChanged);
        clickStepper(target, true);
        settle();
        QCOMPARE(saves.count, 0);
        QCOMPARE(target->value(), 99.0);
        auto *done = detail<QCheckBox>("doneSwitch");
        QVERIFY(done);
        clickOn(done);
        QVERIFY(CustomReminderStore::shared().items().front().done);
        QCOMPARE(detailText("alarmStatus"), QStringLiteral("✓  DONE"));
        QCOMPARE(detailText("paneEmoji"), QStringLiteral("✅"));

        auto *del = detail<QPushButton>("deleteButton");
        dialogs->alertAnswers = {1};
        clickOn(del);
        QCOMPARE(CustomReminderStore::shared().items().size(), size_t(1));
        QCOMPARE(dialogs->alertsShown.last(),
                 QStringLiteral("Delete alarm?|«Alarm»  will be permanently deleted."));
        dialogs->alertAnswers = {0};
        clickOn(detail<QPushButton>("deleteButton"));
        QVERIFY(CustomReminderStore::shared().items().empty());
        QVERIFY(!page->selectedItem());
        QCOMPARE(detailText("emptyDetail"), QStringLiteral("← Select an alarm from the list"));
    }

    // A one-off whose moment has passed keeps its record but looks done.
    void spentAlarmLooksDone() {
        CustomReminder a = alarm(QStringLiteral("Dentist"), 8, 30);
        a.startDay = 3;
        a.startMonth = 3;
        a.startYear = 2027;
        CustomReminderStore::shared().add(a);
        QVERIFY(page.open(979, 686));
        select("custom_" + a.id);
        QCOMPARE(detailText("alarmStatus"), QStringLiteral("✓  DONE"));
        QCOMPARE(detailText("paneEmoji"), QStringLiteral("✅"));
        QCOMPARE(CustomReminderStore::shared().items().size(), size_t(1));
    }

    void timerPane() {
        QVERIFY(page.open(979, 686));
        select(QStringLiteral("pom_timer"));
        auto *start = detail<TintButton>("startButton");
        QCOMPARE(start->text(), QStringLiteral("▶  Start"));
        QCOMPARE(detailText("timerRemaining"), QStringLiteral("25:00"));
        const int builds = page->structureBuilds();
        clickOn(start);
        QVERIFY(PomodoroTimer::shared().isRunning());
        QCOMPARE(start->text(), QStringLiteral("⏸  Pause"));
        env->clock.advance(2);
        settle();
        QCOMPARE(detailText("timerRemaining"), QStringLiteral("24:58"));
        clickOn(detail<QPushButton>("skipButton"));
        QCOMPARE(PomodoroTimer::shared().phase(), Phase::rest);
        QCOMPARE(start->tint(), Phases::accentColor(Phase::rest));
        QVERIFY(env->banners.shown.isEmpty()); // skipped, not ended: no banner
        QCOMPARE(page->structureBuilds(), builds);
        auto *sound = detail<QCheckBox>("soundSwitch");
        QVERIFY(sound->isChecked());
        QTest::mouseClick(sound, Qt::LeftButton);
        QCOMPARE(env->prefs.prefs().boolValue(kSoundOn), false);
        PomodoroTimer::shared().reset();
    }

    // Every text of every pane fits its frame in the six languages at the three font sizes.
    // The list keeps 200 points at least and 60 % of the page at most; a drag stops at 500 points.
    void listWidthRules() {
        const auto &rule = AlarmsView::kListRule;
        QCOMPARE(SplitPageFrame::listWidth(rule, 1000, 0.1), 200.0);
        QCOMPARE(SplitPageFrame::listWidth(rule, 1000, 0.42), 420.0);
        QCOMPARE(SplitPageFrame::listWidth(rule, 1000, 0.9), 600.0);
        QCOMPARE(SplitPageFrame::fractionForDrag(rule, 100, 1000), 0.2);
        QCOMPARE(SplitPageFrame::fractionForDrag(rule, 900, 1000), 0.5);
        QCOMPARE(SplitPageFrame::fractionForDrag(rule, 550, 800), 0.6);
    }

    void textsFitAndPanesRender() {
        CustomReminder a = alarm(
            QStringLiteral("A very long alarm text that will never fit the pane title at all"), 7, 5, true);
        a.startDay = 3;
        a.startMonth = 3;
        a.startYear = 2027;
        CustomReminderStore::shared().add(a);
        QVERIFY(page.open(979, 686));
        const QStringList panes = {"pom_timer", "health_eyesMins", "custom_" + a.id, QString()};
        for (double scale : {1.0, 1.15, 1.3}) {
            VF::setFontScale(scale);
            for (AppLang lang : AppLangs::allCases) {
                L::setLang(lang);
                for (const QString &sel : panes) {
                    page->clearContent();
                    page->setup();
                    page->setSelectedItem(sel.isEmpty() ? std::nullopt : std::optional<QString>(sel));
                    settle();
                    for (const CutText &c : TextFitCheck::findCutTexts(page.get(), true))
                        QFAIL(qPrintable(QStringLiteral("%1 %2 %3: %4")
                                             .arg(AppLangs::rawValue(lang), QString::number(scale), sel,
                                                  c.describe())));
                }
            }
        }
        L::setLang(AppLang::en);
        VF::setFontScale(1.0);
    }
};

QTEST_MAIN(TstAlarmsPage)
#include "tst_alarms_page.moc"
