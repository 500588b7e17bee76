#include "common/NoteTables.h"
#include "common/Records.h"
#include "common/TestEnv.h"
#include "exercises/ExerciseHistory.h"
#include "finance/FinanceStore.h"
#include "notes/NoteStore.h"
#include "platform/Keys.h"
#include "platform/SharedObjects.h"
#include "pomodoro/ProjectStore.h"
#include "pomodoro/TaskStore.h"
#include <QGuiApplication>
#include <QProcess>
#include <QtTest>
#include <cstdio>
#include <cstdlib>

// The stores and their loader have one owner that frees them in a set order: quitting while the
// launch's loads still run (a signal right after start) is clean, in the app's own teardown and in
// the process's exit, and the stored documents are left as they were.
namespace {
constexpr char kExitWhileLoading[] = "--exit-while-loading";

QByteArray bigTasks() {
    std::vector<Task> tasks;
    for (int i = 0; i < 20000; ++i)
        tasks.push_back(makeTask(QStringLiteral("T%1").arg(i), "work", 1 + i % 28, 1 + i % 12, 2021 + i % 5,
                                 i % 3 == 0, QStringLiteral("task %1 with a longer title").arg(i)));
    return encodeTasks(tasks);
}

QByteArray bigNotes() {
    std::vector<Note> notes;
    for (int n = 0; n < 40; ++n) {
        QList<QStringList> rows;
        for (int r = 0; r < 400; ++r)
            rows << QStringList{QStringLiteral("row %1").arg(r), QStringLiteral("note %1").arg(n),
                                QStringLiteral("a longer cell of text")};
        notes.push_back(tableNote(QStringLiteral("N%1").arg(n), 3, rows));
    }
    return encodeNotes(notes);
}

// Writes the large documents into the database at path.
void seed(const QString &path) {
    Prefs p(path);
    p.setData(kTasks, bigTasks());
    p.setData(kNotes, bigNotes());
    QVERIFY(p.flush());
}

// Every store the app creates at launch, loads started.
void startLoads() {
    TaskStore::shared();
    ProjectStore::shared();
    NoteStore::shared();
    FinanceStore::shared();
    ExerciseHistory::shared();
}

// The child: starts the loads and leaves main at once, so the process's exit frees what is loading.
int exitWhileLoading(int argc, char **argv, const QString &path) {
    QGuiApplication app(argc, argv);
    auto *prefs = new Prefs(path);
    Prefs::install(prefs);
    startLoads();
    if (!StoreLoader::get().loading()) return 3; // nothing was still loading: the test shows nothing
    // Registered last, so it runs first at exit, once the application object has gone: a worker
    // still at work then would go on while exit destroys what it uses (simdjson's parser
    // implementation, made on a worker's first parse, goes before the loader waits for it).
    std::atexit([] {
        if (!StoreLoader::get().working()) return;
        std::fputs("a worker was still at work when the process began to exit\n", stderr);
        std::_Exit(4);
    });
    Prefs::install(nullptr);
    delete prefs;
    return 0;
}
} // namespace

class TstStoreLifetime : public QObject {
    Q_OBJECT
private slots:
    void init() { SharedObjects::get().freeAll(); }

    void quittingDuringALoadFreesEverythingAndKeepsTheData() {
        TempPrefs t;
        const QByteArray tasks = bigTasks(), notes = bigNotes();
        t.prefs().setData(kTasks, tasks);
        t.prefs().setData(kNotes, notes);
        QVERIFY(t.prefs().flush());
        startLoads();
        QVERIFY(StoreLoader::get().loading());
        SharedObjects::get().freeAll();
        QVERIFY(!StoreLoader::get().loading());
        // Nothing arrives later for the stores that are gone, and nothing was written or kept aside.
        QTest::qWait(50);
        QVERIFY(t.prefs().flush());
        QCOMPARE(t.prefs().data(kTasks), tasks);
        QCOMPARE(t.prefs().data(kNotes), notes);
        for (const QString &k : t.prefs().keys())
            QVERIFY2(!k.contains(QLatin1String(".unreadable-")), qPrintable(k));
        // The next launch loads them whole.
        QCOMPARE(TaskStore::shared().tasks().size(), size_t(20000));
        QCOMPARE(NoteStore::shared().notes().size(), size_t(40));
        QCOMPARE(NoteStore::shared().document(), notes);
        SharedObjects::get().freeAll();
    }

    // Freed one by one (as tests do) while loading, in any order, the loader stays sound.
    void storesDroppedWhileLoadingInAnyOrder() {
        TempPrefs t;
        t.prefs().setData(kTasks, bigTasks());
        t.prefs().setData(kNotes, bigNotes());
        for (int round = 0; round < 6; ++round) {
            startLoads();
            if (round % 2) {
                NoteStore::resetForTests();
                TaskStore::resetForTests();
            } else {
                TaskStore::resetForTests();
                QCOMPARE(NoteStore::shared().notes().size(), size_t(40));
                NoteStore::resetForTests();
            }
            SharedObjects::get().freeAll();
            QVERIFY(!StoreLoader::get().loading());
        }
    }

    // The process ends while the loads run, without the app's teardown: the owner's own end frees
    // the stores before the loader (under AddressSanitizer a store reaching a freed loader fails here).
    void exitWhileLoadingIsClean() {
        TempPrefs t;
        Prefs::install(nullptr);
        seed(t.path() + QStringLiteral(".child"));
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kExitWhileLoading), t.path() + QStringLiteral(".child")});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray err = child.readAllStandardError();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, err.constData());
        // A sanitizer's report, not its other words: ThreadSanitizer tells at exit how often each of
        // its suppressions (races wholly inside Qt) matched.
        const bool reported = err.contains("ERROR: AddressSanitizer") || err.contains("ERROR: LeakSanitizer") ||
                              err.contains("WARNING: ThreadSanitizer") || err.contains("runtime error");
        QVERIFY2(!reported, err.constData());
        Prefs::install(&t.prefs());
    }
};

int main(int argc, char **argv) {
    if (argc > 2 && qstrcmp(argv[1], kExitWhileLoading) == 0)
        return exitWhileLoading(argc, argv, QString::fromLocal8Bit(argv[2]));
    useOffscreenWhenHeadless();
    QGuiApplication app(argc, argv);
    TstStoreLifetime t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_store_lifetime.moc"
