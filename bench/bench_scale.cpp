// Five years of ordinary use: 20 000 tasks, 10 000 finance entries over 60 months, 500 notes (250 of
// them tables of 50 x 10 rich-text cells), built in a temporary home. Prints, for each user action,
// the longest stretch the window's thread was busy or blocked for it, repaint included:
//   window thread: <action> <N> ms
// then start-to-idle and settled resident memory of a launch with the profile against an empty one.
// The aims: every action within a frame (16 ms), start-to-idle with the profile at most 1.5 times the
// empty app's, settled memory at most the empty app's plus the size of the database.
//
//   bench_scale [rounds]             everything (default 5 launch rounds per side)
//   bench_scale --child              one launch in the current home, figures on one line
//   bench_scale --hold-lock PATH MS  holds PATH's write lock for MS ms, as another process would
//   bench_scale --profile PATH       writes the profile's database to PATH (to look at, or profile)
#include "BenchUtil.h"
#include "StartupProbe.h"
#include "app/AppDelegate.h"
#include "app/MainTabVC.h"
#include "app/MainWindow.h"
#include "common/TestEnv.h"
#include "exercises/ExerciseHistory.h"
#include "finance/FinanceStore.h"
#include "notes/NoteStore.h"
#include "notes/RtfCodec.h"
#include "platform/Clock.h"
#include "platform/Keys.h"
#include "platform/RecordJson.h"
#include "pomodoro/TaskStore.h"
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <sqlite3.h>
#include <map>
#include <memory>

namespace {
constexpr int kSettleMs = 1500;

// ---- the profile ----

QByteArray richCell(int i) {
    QTextDocument d;
    QTextCursor c(&d);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    c.insertText(QStringLiteral("Cell %1 ").arg(i), QTextCharFormat());
    c.insertText(QStringLiteral("bold"), bold);
    c.insertText(QStringLiteral(" червоний"), QTextCharFormat());
    return RtfCodec::write(d);
}

QDate monthBack(int i) {
    const QDate today = QDate::currentDate();
    return QDate(today.year(), today.month(), 1).addMonths(-(i % 60));
}

std::vector<Task> makeTasks() {
    static const char *cats[] = {"work", "health", "personal", "projects"};
    std::vector<Task> out;
    for (int i = 0; i < 20000; ++i) {
        Task t(QStringLiteral("Task number %1 with a title of ordinary length").arg(i),
               QString::fromLatin1(cats[i % 4]), i % 3 ? QString() : QStringLiteral("Notes for %1").arg(i));
        const QDate m = monthBack(i);
        t.day = 1 + i % 28;
        t.month = m.month();
        t.year = m.year();
        t.completed = i % 2;
        out.push_back(std::move(t));
    }
    return out;
}

FinEntry makeEntry(int i) {
    const QDate m = monthBack(i);
    FinEntry e;
    e.id = RecordJson::newId();
    e.dateStr = finDateStr(1 + i % 28, m.month(), m.year());
    e.name = QStringLiteral("Entry %1").arg(i);
    e.category = i % 3 ? QStringLiteral("Food") : QStringLiteral("Salary");
    e.type = i % 3 ? FinType::expense : FinType::income;
    e.amount = 10 + i % 500 + 0.25;
    e.month = m.month();
    e.year = m.year();
    e.note = i % 4 ? QString() : QStringLiteral("a note");
    return e;
}

std::vector<Note> makeNotes() {
    std::vector<Note> notes;
    const QByteArray cell = richCell(1);
    for (int i = 0; i < 500; ++i) {
        Note n(i % 2 ? NoteType::table : NoteType::text, QStringLiteral("📝"), QStringLiteral("Note %1").arg(i));
        if (n.type == NoteType::text) {
            n.body = QStringLiteral("A text note of a few lines.\nSecond line %1").arg(i);
            n.bodyRTF = richCell(i);
        } else {
            for (int c = 0; c < 10; ++c)
                n.columns.emplace_back(QStringLiteral("Column %1").arg(c));
            for (int r = 0; r < 50; ++r) {
                QStringList cells;
                for (int c = 0; c < 10; ++c)
                    cells << QStringLiteral("Cell %1 bold червоний").arg(r * 10 + c);
                NoteRow row(cells);
                for (int c = 0; c < 10; ++c)
                    row.cellsRTF[c] = cell;
                n.rows.push_back(std::move(row));
            }
        }
        notes.push_back(std::move(n));
    }
    return notes;
}

std::vector<ExerciseRecord> makeHistory(int n) {
    std::vector<ExerciseRecord> out;
    out.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        const QDate m = monthBack(i);
        out.push_back({RecordJson::newId(), QStringLiteral("Exercise %1").arg(i % 12), QStringLiteral("🧘"),
                       1 + i % 28, m.month(), m.year(), 60 + i % 300});
    }
    return out;
}

void writeProfile(const QString &dbPath, bool withHistory) {
    Prefs prefs(dbPath);
    prefs.setData(QString::fromLatin1(kTasks), encodeTasks(makeTasks()));
    std::vector<FinEntry> fin;
    for (int i = 0; i < 10000; ++i)
        fin.push_back(makeEntry(i));
    prefs.setData(QString::fromLatin1(kFinances), encodeEntries(fin));
    prefs.setData(QString::fromLatin1(kNotes), encodeNotes(makeNotes()));
    if (withHistory)
        prefs.setData(QString::fromLatin1(kExerciseHistory), ExerciseHistoryJson::encode(makeHistory(100000)));
    prefs.close();
}

// ---- the window's thread ----

// The longest stretch the window's thread spent between its first event after a wait and its next
// wait: the events it delivered (paints included) and whatever blocked it meanwhile.
class MeteredApp : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override {
        if (!busy_ && metering_) {
            busy_ = true;
            clock_.start();
        }
        return QApplication::notify(receiver, event);
    }
    void startMetering() {
        if (metering_) return;
        metering_ = true;
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (busy_) longest_ = std::max(longest_, double(clock_.nsecsElapsed()) / 1e6);
            busy_ = false;
        });
    }
    void reset() {
        longest_ = 0;
        busy_ = false;
    }
    double longest() const { return longest_; }

private:
    QElapsedTimer clock_;
    bool metering_ = false, busy_ = false;
    double longest_ = 0;
};

void runLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Starts fn from the event loop, as a click would, and gives the longest busy stretch until the
// window has settled.
double windowThreadMs(MeteredApp &meter, const std::function<void()> &fn, int settleMs = 600) {
    runLoop(300);
    meter.reset();
    QTimer::singleShot(0, fn);
    runLoop(settleMs);
    return meter.longest();
}

void line(const char *action, double ms) {
    std::printf("window thread: %s %.0f ms\n", action, ms);
    std::fflush(stdout);
}

int holdLock(const QString &path, int ms) {
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) return 1;
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    QThread::msleep(ulong(ms));
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return 0;
}

void actions(MeteredApp &meter, const QString &dbPath, const QString &self) {
    Prefs prefs(dbPath);
    Prefs::install(&prefs);
    // As the launch does: every store starts loading, then the window is built.
    TaskStore::shared();
    FinanceStore::shared();
    NoteStore::shared();
    ExerciseHistory::shared();
    MainWindow win;
    win.resize(1200, 760);
    win.show();
    meter.startMetering();
    MainTabVC *tabs = win.tabs();
    tabs->showPage(QStringLiteral("tasks"));
    runLoop(1500);

    const QDate today = QDate::currentDate();
    QString taskId;
    for (const Task &t : TaskStore::shared().tasks())
        if (t.month == today.month() && t.year == today.year()) taskId = t.id;
    line("tick a task on the board", windowThreadMs(meter, [&] { TaskStore::shared().toggle(taskId); }));

    tabs->showPage(QStringLiteral("finances"));
    runLoop(800);
    line("add a finance entry", windowThreadMs(meter, [] { FinanceStore::shared().add(makeEntry(0)); }));
    line("delete a finance entry", windowThreadMs(meter, [] {
             FinanceStore::shared().remove(FinanceStore::shared().entries().back().id);
         }));

    // The big table note, added before the measure; then one cell edited as the editor stores it.
    Note big(NoteType::table, QStringLiteral("📊"), QStringLiteral("Big"));
    for (int c = 0; c < 20; ++c)
        big.columns.emplace_back(QStringLiteral("C%1").arg(c));
    for (int r = 0; r < 10000; ++r) {
        QStringList cells;
        for (int c = 0; c < 20; ++c)
            cells << QStringLiteral("value %1").arg(r * 20 + c);
        big.rows.emplace_back(cells);
    }
    NoteStore::shared().add(big);
    tabs->showPage(QStringLiteral("notes"));
    runLoop(1500);
    line("edit one cell of a 10 000 x 20 table note", windowThreadMs(meter, [&] {
             Note edited = *NoteStore::shared().find(big.id);
             edited.rows[5000].cells[7] = QStringLiteral("edited");
             NoteStore::shared().update(edited);
         }));

    tabs->showPage(QStringLiteral("tasks"));
    runLoop(800);
    line("open the statistics page with 100 000 exercise-history records",
         windowThreadMs(meter, [&] { tabs->showPage(QStringLiteral("statistics")); }));

    tabs->showPage(QStringLiteral("tasks"));
    runLoop(800);
    QProcess holder;
    holder.start(self, {QStringLiteral("--hold-lock"), dbPath, QStringLiteral("3000")});
    holder.waitForReadyRead(5000);
    line("any save while another process holds the write lock",
         windowThreadMs(meter, [&] { TaskStore::shared().toggle(taskId); }, 2500));
    holder.waitForFinished(10000);
    runLoop(1500);
    Prefs::install(nullptr);
}

// ---- launches ----

using Figures = std::map<QString, double>;

std::unique_ptr<QTemporaryDir> makeHome() {
    auto home = std::make_unique<QTemporaryDir>();
    for (const char *d : {"home", "data/mivo", "config", "cache", "runtime"})
        QDir(home->path()).mkpath(QString::fromLatin1(d));
    QFile::setPermissions(home->filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return home;
}

Figures launchOnce(const QString &self, const QTemporaryDir &home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 startedAt = StartupProbe::monotonicNs();
    p.start(self, {QStringLiteral("--child")});
    Figures f;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return f;
    }
    for (const QByteArray &l : p.readAllStandardOutput().split('\n')) {
        if (!l.startsWith("idle_ms=")) continue;
        for (const QByteArray &pair : l.split(' ')) {
            const int eq = pair.indexOf('=');
            if (eq > 0) f[QString::fromLatin1(pair.left(eq))] = pair.mid(eq + 1).toDouble();
        }
        f[QStringLiteral("start_to_idle_ms")] = (f[QStringLiteral("idle_at_ns")] - startedAt) / 1e6;
    }
    return f;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int runChild(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    AppDelegate delegate;
    if (!delegate.launch()) return 1;
    if (delegate.mainWin()) delegate.mainWin()->hide();
    StartupProbe::reportAtIdle(kSettleMs);
    return app.exec();
}
} // namespace

int main(int argc, char **argv) {
    useOffscreenWhenHeadless();
    if (argc > 1 && QByteArray(argv[1]) == "--child") return runChild(argc, argv);
    if (argc > 3 && QByteArray(argv[1]) == "--hold-lock")
        return holdLock(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    if (argc > 2 && QByteArray(argv[1]) == "--profile") {
        QCoreApplication core(argc, argv);
        writeProfile(QString::fromLocal8Bit(argv[2]), false);
        return 0;
    }
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;

    MeteredApp app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();

    std::printf("Building the five-year profile…\n");
    std::fflush(stdout);
    auto empty = makeHome();
    auto full = makeHome();
    const QString fullDb = full->filePath(QStringLiteral("data/mivo/mivo.sqlite3"));
    writeProfile(fullDb, false);
    const double dbMb = QFileInfo(fullDb).size() / 1e6;

    {
        QTemporaryDir work;
        const QString db = work.filePath(QStringLiteral("mivo.sqlite3"));
        writeProfile(db, true);
        actions(app, db, self);
    }

    std::vector<double> idleEmpty, idleFull, rssEmpty, rssFull;
    launchOnce(self, *empty); // uncounted: the files and the library cache warm up
    launchOnce(self, *full);
    for (int i = 0; i < rounds; ++i) {
        Figures e = launchOnce(self, *empty), f = launchOnce(self, *full);
        idleEmpty.push_back(e[QStringLiteral("start_to_idle_ms")]);
        idleFull.push_back(f[QStringLiteral("start_to_idle_ms")]);
        rssEmpty.push_back(e[QStringLiteral("rss_kib")] / 1024.0);
        rssFull.push_back(f[QStringLiteral("rss_kib")] / 1024.0);
    }
    const double ie = median(idleEmpty), ifull = median(idleFull), re = median(rssEmpty), rf = median(rssFull);
    std::printf("start to idle: empty %.0f ms, profile %.0f ms (%.2f x; aim <= 1.5 x)\n", ie, ifull,
                ie > 0 ? ifull / ie : 0);
    std::printf("settled resident memory: empty %.0f MB, profile %.0f MB, database %.0f MB "
                "(profile - empty = %.0f MB; aim <= database)\n",
                re, rf, dbMb, rf - re);
    return 0;
}
