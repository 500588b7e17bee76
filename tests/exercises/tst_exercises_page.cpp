#include "common/PageTest.h"
#include "common/TestEnv.h"
#include "exercises/EditorRules.h"
#include "exercises/ExerciseHosts.h"
#include "exercises/ExerciseStore.h"
#include "exercises/ExerciseViews.h"
#include "exercises/ExercisesView.h"
#include "exercises/RunnerDotsView.h"
#include "platform/Keys.h"
#include "ui/Theme.h"
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include "platform/ImportFile.h"
#include <QtTest>
#include <sys/stat.h>

namespace {
class RecordingRunner : public ExerciseRunner {
public:
    std::vector<Exercise> run;
    qint64 step = 0;
    std::optional<qint64> remaining;
    bool shown = false, closed = false;
    void showAndRaise() override { shown = true; }
    void close() override {
        closed = true;
        deleteLater();
    }
};

class RecordingRunnerHost : public ExerciseRunnerHost {
public:
    QList<QPointer<RecordingRunner>> opened;
    RecordingRunnerHost() { install(this); }
    ~RecordingRunnerHost() override { install(nullptr); }
    ExerciseRunner *open(const std::vector<Exercise> &exercises, qint64 startStep,
                         std::optional<qint64> startRemaining, QWidget *) override {
        auto *r = new RecordingRunner;
        r->run = exercises;
        r->step = startStep;
        r->remaining = startRemaining;
        opened << r;
        return r;
    }
};

QStringList names(const std::vector<Exercise> &run) {
    QStringList out;
    for (const Exercise &e : run)
        out << e.id;
    return out;
}

// Delivers a drop of type/value onto the playlist at y, as a drag from the list or a row would.
void dropOn(PlaylistDropView *v, const char *type, const QString &value, double y) {
    QMimeData mime;
    mime.setData(QString::fromLatin1(type), value.toUtf8());
    const QPointF pos(v->width() / 2.0, y);
    QDragEnterEvent enter(pos.toPoint(), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(v, &enter);
    QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &drop);
    QVERIFY(!v->highlighted());
    QCOMPARE(v->insertionIdx(), -1);
}
} // namespace

// The exercises page as a user drives it, with a recording runner and scripted dialogs.
class TstExercisesPage : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;
    std::unique_ptr<TestDialogs> dialogs;
    std::unique_ptr<RecordingRunnerHost> runners;
    std::unique_ptr<ExercisesView> page;

    void openPage() {
        page = std::make_unique<ExercisesView>();
        page->resize(980, 700);
        page->setup();
        page->show();
        settle();
    }
    void restart() {
        page.reset();
        ExerciseStore::resetForTests();
        prefs->reopen();
        openPage();
    }

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        prefs = std::make_unique<TempPrefs>();
        dialogs = std::make_unique<TestDialogs>();
        runners = std::make_unique<RecordingRunnerHost>();
        ExerciseStore::resetForTests();
        openPage();
    }
    void cleanup() {
        page.reset();
        settle();
        ExerciseStore::resetForTests();
        runners.reset();
        dialogs.reset();
        prefs.reset();
    }

    void buildReorderRunAndResumeAfterARestart() {
        PlaylistDropView *drop = page->playlistDrop();
        QCOMPARE(page->percentLabel()->text(), QString());
        QVERIFY(!page->runButton()->isEnabled());
        for (const char *id : {"builtin-eyes", "builtin-neck", "builtin-box"})
            dropOn(drop, exDragType, QString::fromLatin1(id), 300);
        settle();
        QCOMPARE(drop->rows().size(), size_t(3));
        QVERIFY(page->resumeButton()->isVisible()); // a drop already stores a state
        // The box row dragged above the first row.
        dropOn(drop, plRowDragType, drop->rows()[2].uid, 2);
        settle();
        QCOMPARE(drop->rows()[0].name, QStringLiteral("Box Breathing"));
        QCOMPARE(page->percentLabel()->text(), QStringLiteral("0%"));

        QTest::mouseClick(page->runButton(), Qt::LeftButton);
        QCOMPARE(runners->opened.size(), 1);
        RecordingRunner *r = runners->opened[0];
        QVERIFY(r->shown);
        QCOMPARE(names(r->run), QStringList({"builtin-box", "builtin-eyes", "builtin-neck"}));
        QCOMPARE(r->step, 0);
        QVERIFY(!r->remaining);
        r->onExerciseComplete();
        settle();
        QCOMPARE(page->percentLabel()->text(), QStringLiteral("33%"));
        QVERIFY(drop->rows()[0].finished);

        restart();
        drop = page->playlistDrop();
        QCOMPARE(drop->rows().size(), size_t(3));
        QCOMPARE(page->percentLabel()->text(), QStringLiteral("33%"));
        QVERIFY(page->resumeButton()->isVisible());
        QTest::mouseClick(page->resumeButton(), Qt::LeftButton);
        QCOMPARE(runners->opened.size(), 2);
        RecordingRunner *again = runners->opened[1];
        QCOMPARE(names(again->run), QStringList({"builtin-eyes", "builtin-neck"}));
        QCOMPARE(again->remaining, std::optional<qint64>(20)); // the eyes' first step, whole
        again->onExerciseComplete();
        again->onExerciseComplete();
        settle();
        QCOMPARE(page->percentLabel()->text(), QStringLiteral("100%"));
        QTest::mouseClick(page->resumeButton(), Qt::LeftButton);
        QCOMPARE(runners->opened.size(), 2); // a finished run resumes nothing
    }

    void removingARowIsWhatResumeSees() {
        for (const char *id : {"builtin-eyes", "builtin-neck"})
            page->dropExercise(QString::fromLatin1(id));
        settle();
        PlaylistDropView *drop = page->playlistDrop();
        const QPointF x = drop->removeRect(drop->rows()[0]).center();
        QTest::mouseClick(drop, Qt::LeftButton, Qt::NoModifier, x.toPoint());
        settle();
        QCOMPARE(drop->rows().size(), size_t(1));
        restart();
        QCOMPARE(page->playlistDrop()->rows().size(), size_t(1));
        QCOMPARE(page->playlistDrop()->rows()[0].name, QStringLiteral("Neck & Shoulders"));
        QTest::mouseClick(page->clearButton(), Qt::LeftButton);
        settle();
        QVERIFY(!prefs->prefs().contains(kPlaylistState));
        QVERIFY(!page->resumeButton()->isVisible());
    }

    // A new exercise saved from the editor is selected and its row scrolled into view, also at the
    // end of a list longer than its view.
    void aSavedNewExerciseIsScrolledIntoView() {
        struct SavingEditor : ExerciseEditorHost {
            std::optional<Exercise> answer;
            SavingEditor() { install(this); }
            ~SavingEditor() override { install(nullptr); }
            void show(const std::optional<Exercise> &, QWidget *, Completion done) override { done(answer); }
        } editor;
        for (int i = 0; i < 30; ++i) {
            Exercise e = EditorRules::newDraft(AppLang::en);
            e.name = QStringLiteral("Filler %1").arg(i);
            ExerciseStore::shared().add(e);
        }
        settle();
        Exercise mine = EditorRules::newDraft(AppLang::en);
        mine.name = QStringLiteral("Mine");
        editor.answer = mine;
        page->openEditor(std::nullopt);
        settle();
        QCOMPARE(page->selectedID(), std::optional<QString>(mine.id));
        auto *scroll = qobject_cast<QScrollArea *>(page->listView()->parentWidget()->parentWidget());
        QVERIFY(scroll);
        const int top = scroll->verticalScrollBar()->value(), bottom = top + scroll->viewport()->height();
        bool seen = false;
        for (const ExerciseListView::Item &it : page->listView()->items())
            if (!it.isHeader && it.row.id == mine.id) {
                seen = true;
                QVERIFY2(it.y >= top && it.y + it.h <= bottom,
                         qPrintable(QStringLiteral("row at %1..%2, view %3..%4").arg(it.y).arg(it.y + it.h).arg(top).arg(bottom)));
            }
        QVERIFY(seen);
    }

    void aTapSelectsABuiltInWithoutEditOrDelete() {
        ExerciseListView *list = page->listView();
        const auto it = std::find_if(list->items().begin(), list->items().end(), [](const auto &i) {
            return !i.isHeader && i.row.id == QLatin1String("builtin-neck");
        });
        QVERIFY(it != list->items().end());
        QTest::mouseClick(list, Qt::LeftButton, Qt::NoModifier, QPoint(40, int(it->y + it->h / 2)));
        settle();
        QCOMPARE(page->selectedID(), std::optional<QString>(QStringLiteral("builtin-neck")));
        QWidget *detail = page->detailHost();
        QVERIFY(detail->findChild<QPushButton *>(QStringLiteral("startButton")));
        QVERIFY(detail->findChild<QPushButton *>(QStringLiteral("exportOneButton")));
        QVERIFY(!detail->findChild<QPushButton *>(QStringLiteral("editButton")));
        QVERIFY(!detail->findChild<QPushButton *>(QStringLiteral("deleteButton")));
        QTest::mouseClick(detail->findChild<QPushButton *>(QStringLiteral("startButton")), Qt::LeftButton);
        QCOMPARE(runners->opened.size(), 1);
        QVERIFY(!runners->opened[0]->onExerciseComplete); // a single run leaves the playlist alone
    }

    void importsExportsAndDelete() {
        QTemporaryDir dir;
        // One exercise whose id is a built-in's: kept as a copy with a fresh id.
        dialogs->openPathAnswers << QStringLiteral(MIVO_TEST_DATA "/exercises/neck-copy.json");
        page->doImportOne();
        QVERIFY(dialogs->waitForAlertsAfter(0));
        QCOMPARE(dialogs->alertsShown.last(), QStringLiteral("Import complete|Exercise imported."));
        const Exercise copy = ExerciseStore::shared().exercises().back();
        QVERIFY(!copy.isBuiltIn && copy.id != QLatin1String("builtin-neck"));
        QVERIFY(ExerciseStore::shared().find(QStringLiteral("builtin-neck"))->isBuiltIn);

        dialogs->openPathAnswers << QStringLiteral(MIVO_TEST_DATA "/exercises/neck-copy.json");
        page->doImport();
        QVERIFY(dialogs->waitForAlertsAfter(1));
        QCOMPARE(dialogs->alertsShown.last(), QStringLiteral("Import error|Invalid JSON export."));
        dialogs->openPathAnswers << QStringLiteral(MIVO_TEST_DATA "/exercises/two-exercises.json");
        page->doImport();
        QVERIFY(dialogs->waitForAlertsAfter(2));
        QCOMPARE(dialogs->alertsShown.last(), QStringLiteral("Import complete|2 exercises added."));
        QCOMPARE(ExerciseStore::shared().exercises().size(), size_t(11));
        QCOMPARE(ExerciseStore::shared().exercises()[9].steps[0].durationSecs, 0);

        const QString big = dir.filePath(QStringLiteral("big.json"));
        QFile f(big);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(16 * 1024 * 1024 + 1));
        f.close();
        dialogs->openPathAnswers << big;
        page->doImportOne();
        QVERIFY(dialogs->waitForAlertsAfter(3));
        QCOMPARE(dialogs->alertsShown.last(), QStringLiteral("Import error|Invalid exercise file."));
        // Over the bound every import shares, and a named pipe (which once froze the window for good):
        // each refused in its own words, and the page goes on to the next import.
        QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(ImportFile::kMaxBytes + 1));
        f.close();
        const QString pipe = dir.filePath(QStringLiteral("pipe.json"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        dialogs->openPathAnswers << big << pipe << QStringLiteral(MIVO_TEST_DATA "/exercises/neck-copy.json");
        page->doImportOne();
        QVERIFY(dialogs->waitForAlertsAfter(4));
        QCOMPARE(dialogs->alertsShown.last(),
                 QStringLiteral("Import error|") + ImportFile::message(ImportFile::Error::tooLarge));
        page->doImport();
        QVERIFY(dialogs->waitForAlertsAfter(5));
        QCOMPARE(dialogs->alertsShown.last(),
                 QStringLiteral("Import error|") + ImportFile::message(ImportFile::Error::notAFile));
        page->doImportOne();
        QVERIFY(dialogs->waitForAlertsAfter(6));
        QCOMPARE(dialogs->alertsShown.last(), QStringLiteral("Import complete|Exercise imported."));
        QCOMPARE(ExerciseStore::shared().exercises().size(), size_t(12));

        dialogs->savePaths << dir.filePath(QStringLiteral("no-such-folder/x.json"));
        page->doExportOne(*ExerciseStore::shared().find(QStringLiteral("builtin-neck")));
        QCOMPARE(dialogs->proposed.last(), QStringLiteral("exercise-neck--shoulders.json"));
        QVERIFY(dialogs->alertsShown.last().startsWith(QLatin1String("Export failed|")));
        dialogs->savePaths << dir.filePath(QStringLiteral("all.json"));
        page->doExport();
        QCOMPARE(dialogs->proposed.last(), QStringLiteral("exercises.json"));
        QFile all(dir.filePath(QStringLiteral("all.json")));
        QVERIFY(all.open(QIODevice::ReadOnly));
        QCOMPARE(all.readAll(), ExerciseStore::shared().exportJSON());

        page->selectExercise(copy.id);
        settle();
        auto *del = page->detailHost()->findChild<QPushButton *>(QStringLiteral("deleteButton"));
        QVERIFY(del);
        dialogs->alertAnswers << 1; // Cancel
        QTest::mouseClick(del, Qt::LeftButton);
        QVERIFY(ExerciseStore::shared().find(copy.id));
        dialogs->alertAnswers << 0;
        QTest::mouseClick(del, Qt::LeftButton);
        QCOMPARE(dialogs->alertsShown.last(), QStringLiteral("Delete exercise?|"));
        QVERIFY(!ExerciseStore::shared().find(copy.id));
        QVERIFY(!page->selectedID());
    }

    void runnerDotsShowDoneCurrentAndLater() {
        RunnerDotsView dots;
        dots.resize(200, 30);
        dots.count = 4;
        dots.current = 1;
        dots.accent = QColor(255, 0, 0);
        const auto rects = dots.dotRects();
        QCOMPARE(rects.size(), 4);
        QCOMPARE(rects[0], QRectF(68, 10, 10, 10)); // 4 dots and 3 gaps, 64 wide, centred
        QImage img(dots.size(), QImage::Format_ARGB32);
        img.fill(Qt::white);
        dots.render(&img);
        auto at = [&](int i) { return img.pixelColor(rects[i].center().toPoint()); };
        QCOMPARE(at(1), QColor(255, 0, 0)); // current: the accent
        QVERIFY(at(0).red() > 240 && at(0).green() > 80 &&
                at(0).green() < 160);                      // done: the accent at half strength
        QVERIFY(at(3).red() > 200 && at(3).green() > 200); // later: faint
        dots.count = 0;
        QCOMPARE(dots.dotRects().size(), 1);
    }

    void layoutRules() {
        QCOMPARE(ExercisesView::listWidth(300, 0.3), 160.0);
        QCOMPARE(ExercisesView::fractionForDrag(100, 1000), 0.16);
        QCOMPARE(ExercisesView::fractionForDrag(900, 1000), 0.6);
        QColor accent = VF::accent();
        accent.setAlphaF(1);
        QCOMPARE(ExercisesView::hexColor(QStringLiteral("zz")), accent);
    }
};

QTEST_MAIN(TstExercisesPage)
#include "tst_exercises_page.moc"
