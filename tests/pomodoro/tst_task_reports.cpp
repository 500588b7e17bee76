#include "common/Records.h"
#include "common/TestEnv.h"
#include "pomodoro/TaskReports.h"
#include "ui/Lang.h"
#include <QtTest>
#include <memory>

namespace {
// The title doubles as the id.
Task task(const QString &cat, qint64 d, qint64 m, qint64 y, bool done, const QString &title,
          const QString &description = {}) {
    return makeTask(title, cat, d, m, y, done, title, description);
}

// Store order on purpose differs from date order.
std::vector<Task> sample() {
    return {task(QStringLiteral("work"), 5, 3, 2026, false, QStringLiteral("Call \"Bob\", then mail"),
                 QStringLiteral("line1\nline2")),
            task(QStringLiteral("misc"), 1, 1, 2026, true, QStringLiteral("Lost")),
            task(QStringLiteral("personal"), 2, 1, 2026, true, QStringLiteral("Read"), QStringLiteral(" ")),
            task(QStringLiteral("work"), 12, 11, 2025, true, QStringLiteral("Plan"))};
}

const QString rule40 = QString(40, QChar(0x2500));
const QString rule48 = QString(48, QChar(0x2500));
} // namespace

class TestTaskReports : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;

private slots:
    void init() { prefs = std::make_unique<TempPrefs>(); }
    void cleanup() { prefs.reset(); }

    void emptyStoreInAllThreeForms() {
        const QString txt = "Mivo — Tasks\n" + rule40 +
                            "\n\n"
                            "💼 Work\n  (no tasks)\n\n"
                            "🏃 Health\n  (no tasks)\n\n"
                            "⭐️ Personal\n  (no tasks)\n\n"
                            "🚀 Projects\n  (no tasks)\n";
        QCOMPARE(TaskReports::txt({}), txt);
        QCOMPARE(TaskReports::csv({}), QStringLiteral("Category,Date,Task,Description,Done"));
        const QString pdf = "Mivo — Tasks\n" + rule48 +
                            "\n\n"
                            "💼  WORK\n    (no tasks)\n\n"
                            "🏃  HEALTH\n    (no tasks)\n\n"
                            "⭐️  PERSONAL\n    (no tasks)\n\n"
                            "🚀  PROJECTS\n    (no tasks)\n\n" +
                            rule48 + "\nTotal: 0 tasks, completed: 0";
        QCOMPARE(TaskReports::pdfText({}), pdf);
    }

    void plainTextList() {
        const QString golden = "Mivo — Tasks\n" + rule40 +
                               "\n\n"
                               "💼 Work\n"
                               "  ✓ [12.11] Plan\n"
                               "  ○ [5.03] Call \"Bob\", then mail\n"
                               "     ↳ line1\nline2\n"
                               "\n"
                               "🏃 Health\n  (no tasks)\n\n"
                               "⭐️ Personal\n"
                               "  ✓ [2.01] Read\n"
                               "     ↳  \n"
                               "\n"
                               "🚀 Projects\n  (no tasks)\n";
        QCOMPARE(TaskReports::txt(sample()), golden);
    }

    void csvQuotesTextAndDoublesQuotes() {
        const QString golden = "Category,Date,Task,Description,Done\n"
                               "\"Work\",\"12.11.2025\",\"Plan\",\"\",Yes\n"
                               "\"Work\",\"5.03.2026\",\"Call \"\"Bob\"\", then mail\",\"line1\nline2\",No\n"
                               "\"Personal\",\"2.01.2026\",\"Read\",\" \",Yes";
        QCOMPARE(TaskReports::csv(sample()), golden);
    }

    void pdfTextCountsEveryTaskInItsTotal() {
        const QString golden = "Mivo — Tasks\n" + rule48 +
                               "\n\n"
                               "💼  WORK\n"
                               "  ✓  [12.11.2025]  Plan\n"
                               "  ○  [5.03.2026]  Call \"Bob\", then mail\n"
                               "       ↳ line1\nline2\n"
                               "\n"
                               "🏃  HEALTH\n    (no tasks)\n\n"
                               "⭐️  PERSONAL\n"
                               "  ✓  [2.01.2026]  Read\n"
                               "       ↳  \n"
                               "\n"
                               "🚀  PROJECTS\n    (no tasks)\n\n" +
                               rule48 + "\nTotal: 4 tasks, completed: 3";
        QCOMPARE(TaskReports::pdfText(sample()), golden);
    }

    void categoryNamesFollowTheLanguageButTheRestStaysEnglish() {
        L::setLang(AppLang::uk);
        const std::vector<Task> tasks{
            task(QStringLiteral("health"), 1, 2, 2026, false, QStringLiteral("Біг")),
            task(QStringLiteral("personal"), 3, 4, 2026, true, QStringLiteral("x"))};
        QCOMPARE(TaskReports::csv(tasks), QStringLiteral("Category,Date,Task,Description,Done\n"
                                                         "\"Здоров'я\",\"1.02.2026\",\"Біг\",\"\",No\n"
                                                         "\"Особисте\",\"3.04.2026\",\"x\",\"\",Yes"));
        QVERIFY(TaskReports::pdfText(tasks).contains(QStringLiteral("🏃  ЗДОРОВ'Я\n")));
        L::setLang(AppLang::de);
        QVERIFY(TaskReports::txt({}).contains(QStringLiteral("🏃 Gesundheit\n")));
    }
};

QTEST_GUILESS_MAIN(TestTaskReports)
#include "tst_task_reports.moc"
