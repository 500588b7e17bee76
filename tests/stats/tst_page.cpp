#include "common/PageTest.h"
#include "common/PdfWords.h"
#include "common/TestEnv.h"
#include "finance/FinanceStore.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "pomodoro/PomStatCard.h"
#include "pomodoro/PomodoroTimer.h"
#include "pomodoro/PomodoroView.h"
#include "pomodoro/TaskStore.h"
#include "stats/StatisticsView.h"
#include "stats/StatsContentView.h"
#include "pomodoro/TaskCat.h"
#include "ui/EmojiPrep.h"
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {
Task task(const char *cat, int d) {
    Task t(QStringLiteral("T"), QString::fromLatin1(cat), QString());
    t.day = d;
    t.month = 3;
    t.year = 2026;
    return t;
}
} // namespace

// The statistics page as a user drives it, and the streak both timer pages show.
class TstStatsPage : public QObject {
    Q_OBJECT
    std::unique_ptr<PageEnv<>> env;
    ShownPage<StatisticsView> page;
    QTemporaryDir dir;

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        env = std::make_unique<PageEnv<>>(QDateTime(QDate(2026, 3, 10), QTime(10, 0)));
        TaskStore::resetForTests();
        FinanceStore::resetForTests();
        L::setLang(AppLang::en);
        QVERIFY(page.open(980, 600));
    }
    void cleanup() {
        page.close();
        TaskStore::resetForTests();
        FinanceStore::resetForTests();
        env.reset();
    }

    void periodNavigation() {
        QCOMPARE(page->periodLabel()->text(), QStringLiteral("March 2026"));
        QTest::mouseClick(page->dayButton(), Qt::LeftButton);
        settle();
        QCOMPARE(page->periodLabel()->text(), QStringLiteral("10 March"));
        for (int i = 0; i < 10; ++i) page->navPeriod(-1);
        settle();
        QCOMPARE(page->periodLabel()->text(), QStringLiteral("28 February"));
        QTest::mouseClick(page->dayButton(), Qt::LeftButton); // back to today
        settle();
        QCOMPARE(page->periodLabel()->text(), QStringLiteral("10 March"));
        QTest::mouseClick(page->monthButton(), Qt::LeftButton);
        for (int i = 0; i < 3; ++i) page->navPeriod(-1);
        settle();
        QCOMPARE(page->periodLabel()->text(), QStringLiteral("December 2025"));
        L::setLang(AppLang::de);
        Notifier::get().post(QString::fromLatin1(Notify::languageChanged));
        settle();
        QCOMPARE(page->periodLabel()->text(), QStringLiteral("Dezember 2025"));
    }

    // Redraws follow the inputs, not the notifications: the timer's every-second post draws nothing,
    // a hidden page draws nothing, and the user's scroll position stays.
    void redrawsOnlyWhenInputsChange() {
        for (int d = 1; d <= 28; ++d) TaskStore::shared().add(task("work", d));
        settle();
        int builds = page->contentBuilds();
        QCOMPARE(page->content()->model().tasks.rows[0].value, QStringLiteral("28"));
        for (int i = 0; i < 5; ++i) Notifier::get().post(QString::fromLatin1(Notify::pomodoroChanged));
        settle();
        QCOMPARE(page->contentBuilds(), builds);

        page->resize(980, 400);
        settle();
        QScrollBar *bar = page->scrollArea()->verticalScrollBar();
        QVERIFY(bar->maximum() > 100);
        builds = page->contentBuilds(); // a new width lays the content out again
        bar->setValue(100);
        page->hide();
        TaskStore::shared().add(task("health", 3));
        settle();
        QCOMPARE(page->contentBuilds(), builds);
        page->show();
        settle();
        QCOMPARE(page->contentBuilds(), builds + 1);
        QCOMPARE(page->content()->model().tasks.rows[0].value, QStringLiteral("29"));
        QCOMPARE(bar->value(), 100);
        // A new day redraws even with the same data.
        env->clock.setNow(QDateTime(QDate(2026, 3, 11), QTime(0, 1)));
        Notifier::get().post(QString::fromLatin1(Notify::pomodoroChanged));
        settle();
        QCOMPARE(page->contentBuilds(), builds + 2);
    }

    void observersConnectedOnce() {
        for (int i = 0; i < 3; ++i) {
            page->clearContent();
            page->setup(); // as after a theme change
        }
        const int seen = page->changesSeen();
        Notifier::get().post(QString::fromLatin1(Notify::tasksChanged));
        QCOMPARE(page->changesSeen(), seen + 1);
        settle();
        QVERIFY(page->periodLabel()->isVisible());
    }

    void exports() {
        TaskStore::shared().add(task("work", 5));
        const QString csv = dir.filePath(QStringLiteral("s.csv")), txt = dir.filePath(QStringLiteral("s.txt")),
                      pdf = dir.filePath(QStringLiteral("s.pdf"));
        env->dialogs.savePaths = {csv, txt, pdf, dir.filePath(QStringLiteral("missing/folder/s.csv"))};
        page->doExportCSV();
        page->doExportTXT();
        page->doExportPDF();
        QFile c(csv), t(txt), p(pdf);
        QVERIFY(c.open(QIODevice::ReadOnly) && t.open(QIODevice::ReadOnly) && p.open(QIODevice::ReadOnly));
        QVERIFY(c.readAll().startsWith("Section,Key,Value\nPomodoro,Sessions,0\n"));
        QVERIFY(t.readAll().contains("\n  Total:     1\n  Completed: 0\n  Rate:      0%\n  \xF0\x9F\x92\xBC Work: 0/1\n"));
        const QByteArray pdfBytes = p.readAll();
        QVERIFY(pdfBytes.startsWith("%PDF"));
        // its emoji (🍅 💼 …) print as pictures: PDF readers draw no glyphs from a colour bitmap font
        QVERIFY(pdfBytes.contains("/Subtype /Image"));
        // Viewers name the document as its first line does, not as the finance report it is printed like.
        QCOMPARE(pdfTitle(pdf).value_or("pdfinfo did not run"), QStringLiteral("Mivo — Statistics Report"));
        QVERIFY(env->dialogs.alertsShown.isEmpty());
        page->doExportCSV(); // into a folder that does not exist
        QCOMPARE(env->dialogs.alertsShown.size(), qsizetype(1));
    }

    // The Pomodoro page's streak card and the statistics page agree: a streak whose last day is older
    // than yesterday shows 0 on both.
    void streakOnBothPages() {
        Prefs::get().setInt(kPomStreak, 6);
        Prefs::get().setString(kPomStreakLast, QStringLiteral("2026-3-8"));
        PomodoroView pom;
        pom.resize(980, 760);
        pom.setup();
        pom.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pom));
        settle();
        QStringList values;
        for (PomStatCard *c : pom.findChildren<PomStatCard *>())
            if (c->isVisible()) values << c->tagLbl->text() + QLatin1Char('=') + c->valLbl->text();
        QVERIFY2(values.contains(QStringLiteral("STREAK=0")), qPrintable(values.join(QLatin1Char(','))));
        Notifier::get().post(QString::fromLatin1(Notify::pomodoroChanged));
        settle();
        QCOMPARE(page->content()->model().timer.rows[4].value, QStringLiteral("0 d"));
        Prefs::get().setString(kPomStreakLast, QStringLiteral("2026-3-9"));
        Notifier::get().post(QString::fromLatin1(Notify::pomodoroChanged));
        settle();
        QCOMPARE(page->content()->model().timer.rows[4].value, QStringLiteral("6 d"));
    }
    // The emoji the page may show are drawn ahead on a worker (the window's thread then decodes none
    // for the page's first show): every row's and card's emoji the page shows is among them, the page
    // draws them from their copies and looks as it did when it drew them itself.
    void theEmojiItShowsAreCopiedFromADrawingMadeAhead() {
        for (TaskCat c : TaskCats::allCases) TaskStore::shared().add(task(qPrintable(TaskCats::rawValue(c)), 5));
        page->refresh();
        settle();
        auto *content = page->findChild<StatsContentView *>();
        QVERIFY(content);
        const QStringList rows = StatsText::rowEmoji(), cards = StatsText::cardIcons();
        int shown = 0;
        for (const StatsContentView::Placed &pl : content->placed()) {
            if (pl.kind == StatsContentView::Placed::row) {
                const QString e = pl.section->rows[size_t(pl.index)].emoji;
                QVERIFY2(rows.contains(e), qPrintable(e));
                ++shown;
            } else if (pl.kind == StatsContentView::Placed::card) {
                QVERIFY2(cards.contains(content->model().cards[size_t(pl.index)].icon), qPrintable(QString::number(pl.index)));
                ++shown;
            }
        }
        QVERIFY(shown > 10);
        EmojiCache &cache = EmojiCache::shared();
        cache.clear();
        const QImage drawnHere = page->grab().toImage();
        EmojiPrep::prepareNow(StatisticsView::emojiShown());
        const int before = cache.preparedDrawn();
        const QImage copied = page->grab().toImage();
        QVERIFY2(cache.preparedDrawn() - before >= 10, qPrintable(QString::number(cache.preparedDrawn() - before)));
        QCOMPARE(copied.size(), drawnHere.size());
        int worst = 0;
        for (int y = 0; y < copied.height(); ++y)
            for (int x = 0; x < copied.width(); ++x) {
                const QRgb a = drawnHere.pixel(x, y), b = copied.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
            }
        QVERIFY2(worst <= 3, qPrintable(QString::number(worst)));
    }
};

QTEST_MAIN(TstStatsPage)
#include "tst_page.moc"
