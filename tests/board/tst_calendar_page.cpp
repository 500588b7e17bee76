#include "board/CalDayCell.h"
#include "board/CalendarView.h"
#include "common/PageTest.h"
#include "common/Records.h"
#include "common/TestEnv.h"
#include "platform/Keys.h"
#include "pomodoro/TaskStore.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QFontMetricsF>
#include <QCoreApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QtTest>
#include <memory>

namespace {
Task task(const QString &id, const QString &cat, qint64 d, qint64 m, qint64 y, bool done = false) {
    return makeTask(id, cat, d, m, y, done, QStringLiteral("Event ") + id);
}
const Task *byId(const QString &id) {
    return taskById(TaskStore::shared().tasks(), id);
}
// Drops a payload of the given type onto a cell, as the platform would at the end of a drag.
bool drop(CalDayCell *cell, const char *type, const QString &id) {
    QMimeData mime;
    mime.setData(QLatin1String(type), id.toUtf8());
    const QPointF at(cell->width() / 2.0, cell->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::MoveAction | Qt::CopyAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(cell, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent ev(at, Qt::MoveAction | Qt::CopyAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(cell, &ev);
    return ev.isAccepted();
}
} // namespace

// The calendar as a user sees and drives it: its grid, the right panel, drops and the add sheet.
class TstCalendarPage : public QObject {
    Q_OBJECT
    std::unique_ptr<PageEnv<>> env;
    ShownPage<CalendarView> view;

    void settle() { QTRY_VERIFY(view->isBuilt() && !view->rebuildPending()); }
    CalDayCell *cell(int day) {
        for (CalDayCell *c : view->dayCells())
            if (c->day() == day) return c;
        return nullptr;
    }

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        env = std::make_unique<PageEnv<>>(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
        TaskStore::resetForTests();
        TaskStore::shared().replaceAll({task("a", "health", 9, 12, 2026, true),
                                        task("b", "health", 9, 12, 2026), task("c", "misc", 9, 12, 2026),
                                        task("d", "work", 40, 12, 2026), task("e", "work", 3, 11, 2026)});
        QVERIFY(view.open(1000, 700));
        settle();
    }
    void cleanup() {
        view.close();
        TaskStore::resetForTests();
        env.reset();
    }

    void gridPanelAndNavigation() {
        QCOMPARE(view->titleText(), QStringLiteral("Calendar — December 2026"));
        QCOMPARE(view->dayCells().size(), 31);
        QCOMPARE(view->selectedDay(), std::optional<int>(9));
        // Unknown categories are drawn but counted in no row; a day out of range is shown nowhere.
        QCOMPARE(cell(9)->tasks().size(), std::size_t(3));
        QCOMPARE(int(cell(9)->chipRects().size()), 3);
        const auto rows = *view->rightPanel()->rows();
        QCOMPARE(rows[1].countText(), QStringLiteral("1/2"));
        QCOMPARE(rows[0].countText(), QStringLiteral("—"));
        // Spare height is shared: the week of day 9 needs 77, the others 56, and all grow alike.
        const int h9 = cell(9)->height(), h1 = cell(1)->height();
        QVERIFY2(h9 - h1 >= 20 && h9 - h1 <= 22, qPrintable(QStringLiteral("%1 %2").arg(h9).arg(h1)));
        QVERIFY(h1 > 56);
        // Monday first: 1 December 2026 is a Tuesday, in the second column.
        QVERIFY(cell(1)->x() > cell(7)->x());
        view->navMonth(1);
        settle();
        QCOMPARE(view->titleText(), QStringLiteral("Calendar — January 2027"));
        QCOMPARE(view->selectedDay(), std::nullopt);
        QVERIFY(!view->rightPanel()->rows());
        view->navMonth(-1);
        settle();
        QCOMPARE(view->selectedDay(), std::optional<int>(9));
        L::setLang(AppLang::uk);
        view->refresh();
        settle();
        QVERIFY(view->titleText().startsWith(QStringLiteral("Календар — ")));
        QCOMPARE(CalendarView::weekdayNames().first(), QStringLiteral("ПН"));
        L::setLang(AppLang::en);
    }

    // The day-progress panel's texts show whole in every language up to the largest font scale, and
    // its header keeps clear of the first row.
    void dayProgressTextsShowWhole() {
        const double width = view->rightPanel()->width();
        for (double scale : {1.0, 1.15, 1.3})
            for (AppLang lang : AppLangs::allCases) {
                VF::setFontScale(scale);
                L::setLang(lang);
                const QString where = AppLangs::rawValue(lang) + QStringLiteral(" at ") + QString::number(scale);
                const auto f = CalRightPanel::frames(width);
                const QFontMetricsF hm(CalRightPanel::headerFont()), nm(CalRightPanel::nameFont());
                QVERIFY2(f.header.height() >= hm.height(), qPrintable(where));
                QVERIFY2(f.header.bottom() + 2 <= f.names.front().top(), qPrintable(where));
                for (std::size_t i = 0; i < TaskCats::allCases.size(); ++i) {
                    const QString name = CalRightPanel::rowName(TaskCats::allCases[i]);
                    QVERIFY2(nm.horizontalAdvance(name) <= f.names[i].width(), qPrintable(where + ": " + name));
                    QVERIFY2(nm.height() <= f.names[i].height() + 0.5, qPrintable(where + ": " + name));
                    QVERIFY2(f.names[i].right() < f.counts[i].left(), qPrintable(where));
                    QVERIFY2(f.tracks[i].top() > f.names[i].bottom(), qPrintable(where));
                    if (i > 0) QVERIFY2(f.names[i].top() > f.tracks[i - 1].bottom(), qPrintable(where));
                }
            }
        VF::setFontScale(1.0);
        L::setLang(AppLang::en);
    }

    // A move keeps category and completion; the copy type and a drop onto the source are refused.
    void dropsMoveOnlyByDate() {
        QVERIFY(drop(cell(15), taskDragType, QStringLiteral("a")));
        const Task *a = byId(QStringLiteral("a"));
        QCOMPARE(a->day, 15);
        QCOMPARE(a->category, QStringLiteral("health"));
        QVERIFY(a->completed);
        settle();
        QVERIFY(!drop(cell(20), taskCopyDragType, QStringLiteral("b")));
        QCOMPARE(TaskStore::shared().tasks().size(), std::size_t(5));
        QCOMPARE(byId(QStringLiteral("b"))->day, 9);
        // An id the store no longer has is taken and changes nothing.
        QVERIFY(drop(cell(20), taskDragType, QStringLiteral("gone")));
    }

    void addSheetFromADoubleClickOnAChip() {
        env->dialogs.fills = {[](const Dialogs::Alert &a) {
                              a.accessory->findChild<QLineEdit *>(QStringLiteral("titleField"))
                                  ->setText(QStringLiteral(" "));
                          },
                          [](const Dialogs::Alert &a) {
                              a.accessory->findChild<QLineEdit *>(QStringLiteral("titleField"))
                                  ->setText(QStringLiteral(" Gym "));
                          }};
        env->dialogs.alertAnswers = {0, 0};
        CalDayCell *c = cell(9);
        const QPoint chip = c->chipRects()[0].center().toPoint();
        QTest::mouseClick(c, Qt::LeftButton, {}, chip);
        QTest::mouseDClick(c, Qt::LeftButton, {}, chip);
        QTest::mouseRelease(c, Qt::LeftButton, {}, chip);
        QTRY_COMPARE(env->dialogs.alertsShown.size(), 2); // the blank title kept the sheet open
        QCOMPARE(env->dialogs.alertsShown.first(), QStringLiteral("New event|9.12.2026"));
        const Task &t = TaskStore::shared().tasks().back();
        QCOMPARE(t.title, QStringLiteral("Gym"));
        QCOMPARE(t.category, QStringLiteral("work"));
        QCOMPARE((QList<qint64>{t.day, t.month, t.year}), (QList<qint64>{9, 12, 2026}));
        settle();
        QCOMPARE(cell(9)->tasks().size(), std::size_t(4));
    }

};

QTEST_MAIN(TstCalendarPage)
#include "tst_calendar_page.moc"
