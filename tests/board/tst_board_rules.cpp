#include "board/BoardFiles.h"
#include "board/BoardRules.h"
#include "common/Records.h"
#include "common/Files.h"
#include "common/PdfWords.h"
#include "common/TestEnv.h"
#include "platform/Keys.h"
#include "pomodoro/TaskStore.h"
#include "ui/Lang.h"
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace BoardRules;

namespace {
Task task(const QString &id, const QString &cat, qint64 d, qint64 m, qint64 y, bool done = false) {
    return makeTask(id, cat, d, m, y, done, QStringLiteral("T ") + id);
}
const Task *byId(const TaskStore &s, const QString &id) {
    return taskById(s.tasks(), id);
}
} // namespace

// Month arithmetic, the board's month figures, drops and imports, and the calendar's geometry.
class TstBoardRules : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;

private slots:
    void init() {
        prefs = std::make_unique<TempPrefs>();
        TaskStore::resetForTests();
    }
    void cleanup() {
        TaskStore::resetForTests();
        prefs.reset();
    }

    void monthFactsAndTexts() {
        QCOMPARE(stepMonth({2026, 1}, -1), (YearMonth{2025, 12}));
        QCOMPARE(stepMonth({2025, 12}, 1), (YearMonth{2026, 1}));
        QCOMPARE(daysInMonth({2024, 2}), 29);
        QCOMPARE(daysInMonth({2026, 2}), 28);
        QCOMPARE(daysInMonth({2026, 13}), 30); // a month that cannot be formed
        QVERIFY(isWeekendDay({2026, 3}, 7));   // Saturday
        QVERIFY(isWeekendDay({2026, 3}, 8));   // Sunday
        QVERIFY(!isWeekendDay({2026, 3}, 9));
        QVERIFY(!isWeekendDay({2026, 2}, 30));
        L::setLang(AppLang::de);
        QCOMPARE(weekdayName({2026, 3}, 7), QStringLiteral("SAT"));
        QCOMPARE(weekdayName({2026, 2}, 31), QString());
        QCOMPARE(dayDateText(9, 12, 2026), QStringLiteral("9.12.2026"));
        QCOMPARE(dayDateText(10, 1, 2027), QStringLiteral("10.01.2027"));
    }

    // 2 of 3 done is 66% (integer part); unknown categories and other months are not counted; days
    // that do not exist are counted in the month but placed nowhere.
    void monthFiguresAndCells() {
        const std::vector<Task> all = {
            task("a", "work", 1, 3, 2026, true),      task("b", "work", 1, 3, 2026, true),
            task("c", "work", 2, 3, 2026, false),     task("d", "misc", 2, 3, 2026, true),
            task("e", "health", 5, 4, 2026, true),    task("f", "health", 0, 3, 2026, false),
            task("g", "personal", 99, 3, 2026, true), task("h", "projects", -5, 3, 2026, false),
        };
        const BoardMonth m = buildMonth(all, {2026, 3});
        QCOMPARE(m.days, 31);
        QCOMPARE(m.figures[0].pct(), 66);
        QCOMPARE(m.figures[1].total, 1);
        QCOMPARE(m.figures[3].pct(), 0);
        QCOMPARE(m.overallPct(), 50); // 3 of 6
        QCOMPARE(m.cells[0][0].size(), std::size_t(2));
        QCOMPARE(m.cells[1][0].size(), std::size_t(1));
        QCOMPARE(m.maxInDay(1), 2);
        QCOMPARE(m.maxInDay(0), 0);
        QCOMPARE(m.maxInDay(32), 0);
        // A row fits its fullest category's chips: one (or none) 44, two 77, three 110.
        QCOMPARE((QList<double>{boardRowHeight(0), boardRowHeight(1), boardRowHeight(2), boardRowHeight(3)}),
                 (QList<double>{44, 44, 77, 110}));
        const BoardMonth empty = buildMonth({}, {2026, 3});
        QCOMPARE(empty.overallPct(), 0);
        QCOMPARE(empty.ratio(), 0.0);
    }

    void dropsThroughTheStore() {
        TaskStore &s = TaskStore::shared();
        s.replaceAll({task("a", "work", 3, 3, 2026, true), task("b", "health", 4, 3, 2026)});
        const CellRef src{TaskCat::work, 3, 3, 2026};
        // Onto its own cell: refused.
        QVERIFY(!applyDrop(s, DropKind::move, "a", src, src));
        QVERIFY(!applyDrop(s, DropKind::copy, "a", src, src));
        // Move keeps completion and id.
        QVERIFY(applyDrop(s, DropKind::move, "a", src, {TaskCat::personal, 9, 4, 2026}));
        QCOMPARE(*byId(s, "a"), task("a", "personal", 9, 4, 2026, true));
        // Another category of the same day changes only the category.
        QVERIFY(applyDrop(s, DropKind::move, "b", CellRef{TaskCat::health, 4, 3, 2026},
                          {TaskCat::projects, 4, 3, 2026}));
        QCOMPARE(byId(s, "b")->category, QStringLiteral("projects"));
        QCOMPARE(byId(s, "b")->day, 4);
        // Copy adds an open copy with a new id at the end.
        QVERIFY(applyDrop(s, DropKind::copy, "a", std::nullopt, {TaskCat::work, 1, 5, 2026}));
        QCOMPARE(s.tasks().size(), std::size_t(3));
        const Task &c = s.tasks().back();
        QVERIFY(c.id != "a" && !c.id.isEmpty());
        QCOMPARE(c.title, byId(s, "a")->title);
        QVERIFY(!c.completed);
        QCOMPARE(c.category, QStringLiteral("work"));
        QCOMPARE((QList<qint64>{c.day, c.month, c.year}), (QList<qint64>{1, 5, 2026}));
        QVERIFY(byId(s, "a")->completed);
        // Unknown ids change nothing.
        QVERIFY(!applyDrop(s, DropKind::move, "zz", std::nullopt, {TaskCat::work, 1, 5, 2026}));
        QVERIFY(!applyDrop(s, DropKind::copy, "zz", std::nullopt, {TaskCat::work, 1, 5, 2026}));
        QCOMPARE(s.tasks().size(), std::size_t(3));
    }

    void calendarDropMovesDateOnly() {
        TaskStore &s = TaskStore::shared();
        s.replaceAll({task("a", "health", 3, 3, 2026, true)});
        QVERIFY(!applyDayDrop(s, DropKind::copy, "a", std::nullopt, QDate(2026, 3, 9)));
        QVERIFY(!applyDayDrop(s, DropKind::move, "a", QDate(2026, 3, 3), QDate(2026, 3, 3)));
        QVERIFY(applyDayDrop(s, DropKind::move, "a", QDate(2026, 3, 3), QDate(2026, 3, 9)));
        QCOMPARE(*byId(s, "a"), task("a", "health", 9, 3, 2026, true));
    }

    // The panel's operations act by id and touch only their own fields.
    void storeOperationsByField() {
        TaskStore &s = TaskStore::shared();
        s.replaceAll({task("a", "work", 3, 3, 2026, false)});
        s.moveTask("a", "health", 7, 3, 2026); // a drag while a panel is open
        QVERIFY(s.updateText("a", "New", "Text"));
        const Task *t = byId(s, "a");
        QCOMPARE(t->title, QStringLiteral("New"));
        QCOMPARE(t->day, 7);
        QCOMPARE(t->category, QStringLiteral("health"));
        s.setCompleted("a", true);
        s.setCompleted("a", true); // the state, not a flip
        QVERIFY(byId(s, "a")->completed);
        QVERIFY(!s.updateText("zz", "x", "y"));
        QVERIFY(s.replaceAllAndSave({task("b", "work", 1, 1, 2026)}));
        prefs->reopen();
        TaskStore::resetForTests();
        QCOMPARE(TaskStore::shared().tasks().size(), std::size_t(1));
    }

    void importRenewsLaterDuplicateIds() {
        std::vector<Task> v = {task("a", "work", 1, 1, 2026), task("b", "work", 1, 1, 2026),
                               task("a", "health", 2, 1, 2026), task("a", "work", 3, 1, 2026)};
        QCOMPARE(renewDuplicateIds(v), 2);
        QCOMPARE(v[0].id, QStringLiteral("a"));
        QCOMPARE(v[1].id, QStringLiteral("b"));
        QVERIFY(v[2].id != "a" && v[3].id != "a" && v[2].id != v[3].id);
    }

    void importFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("n");
        QTest::newRow("empty array") << QByteArray("[]") << true << 0;
        QTest::newRow("missing completed")
            << QByteArray(
                   R"([{"id":"a","title":"t","description":"","category":"work","day":1,"month":2,"year":2026}])")
            << false << 0;
        QTest::newRow("wrong type")
            << QByteArray(
                   R"([{"id":"a","title":"t","description":"","category":"work","day":"1","month":2,"year":2026,"completed":false}])")
            << false << 0;
        QTest::newRow("not json") << QByteArray("{[") << false << 0;
        QTest::newRow("object") << QByteArray("{}") << false << 0;
        QTest::newRow("deep") << QByteArray(5000, '[') << false << 0;
        QTest::newRow("odd day kept")
            << QByteArray(
                   R"([{"id":"a","title":"t","description":"","category":"x","day":400,"month":99,"year":-3,"completed":true}])")
            << true << 1;
    }
    void importFiles() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, ok);
        QFETCH(int, n);
        QTemporaryDir dir;
        const BoardFiles::Import imp = BoardFiles::readImport(putFile(dir.filePath("in.json"), bytes));
        QCOMPARE(imp.ok, ok);
        QCOMPARE(int(imp.tasks.size()), n);
        // A record of any numbers places nowhere and crashes nothing.
        if (ok && n) {
            QCOMPARE(buildMonth(imp.tasks, {2026, 3}).cells.size(), std::size_t(31));
            QVERIFY(buildCalMonth(imp.tasks, {-3, 12}).valid);
        }
    }

    void pdfIsPaginatedA4() {
        // As a reader lays it out: 40-point side and 48-point top margins, 11-point type, 3 points
        // between lines.
        QTemporaryDir dir;
        const QString path = putFile(dir.filePath(QStringLiteral("t.pdf")),
                                     BoardFiles::renderPdf(QStringLiteral("Mivo — Tasks\n  ✓  [1.03.2026]  A\nB")));
        const auto l = pdfLayout(path);
        QVERIFY2(l, "pdftotext (poppler-utils) did not run");
        QCOMPARE(l->lines, (QStringList{"Mivo — Tasks", "✓ [1.03.2026] A", "B"}));
        QVERIFY2(nearPt(l->left, 40) && nearPt(l->top, 48) && nearPt(l->height, 12.8) && nearPt(l->pitch, 15.25),
                 qPrintable(l->describe()));
        const QByteArray one = BoardFiles::renderPdf(QStringLiteral("Mivo — Tasks"));
        QVERIFY(one.startsWith("%PDF"));
        QVERIFY2(one.contains("/MediaBox [0 0 595.000000 842.000000]"), "not A4");
        QString longText;
        for (int i = 0; i < 200; ++i)
            longText += QStringLiteral("line %1\n").arg(i);
        // 746 points of body at 11 pt plus 3 between lines: about 14 × 53 lines a page.
        QVERIFY(BoardFiles::pdfPageCount(longText) >= 3);
        QCOMPARE(BoardFiles::pdfPageCount(QStringLiteral("x")), 1);
        // Colour emoji go in as pictures: PDF readers draw no glyphs from a colour bitmap font.
        QVERIFY(!one.contains("/Subtype /Image"));
        QVERIFY(BoardFiles::renderPdf(QStringLiteral("💼  WORK\n  ✓  [1.03.2026]  A"))
                    .contains("/Subtype /Image"));
    }

    void calendarGeometry_data() {
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("m");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("weeks");
        QTest::newRow("Feb 2027 starts Monday, non-leap") << 2027 << 2 << 0 << 4;
        QTest::newRow("Mar 2026 starts Sunday, 31 days") << 2026 << 3 << 6 << 6;
        QTest::newRow("Aug 2026 starts Saturday, 31 days") << 2026 << 8 << 5 << 6;
        QTest::newRow("Dec 2026 starts Tuesday") << 2026 << 12 << 1 << 5;
    }
    void calendarGeometry() {
        QFETCH(int, y);
        QFETCH(int, m);
        QFETCH(int, offset);
        QFETCH(int, weeks);
        const CalMonth c = buildCalMonth({}, {y, m});
        QCOMPARE(c.offset, offset);
        QCOMPARE(c.weeks, weeks);
        QCOMPARE(c.columnOf(1), offset);
    }

    void newTaskRules() {
        QVERIFY(!newTask(" \t ", "work", "x", 1, {2026, 3}));
        const auto t = newTask("  Call  ", "health", "\n\nline1\nline2\n \n", 31, {2026, 3});
        QVERIFY(t);
        QCOMPARE(t->title, QStringLiteral("Call"));
        QCOMPARE(t->description, QStringLiteral("line1\nline2"));
        QCOMPARE((QList<qint64>{t->day, t->month, t->year}), (QList<qint64>{31, 3, 2026}));
        QVERIFY(!t->completed && !t->id.isEmpty());
    }
};

QTEST_MAIN(TstBoardRules)
#include "tst_board_rules.moc"
