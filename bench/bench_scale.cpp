// Five years of ordinary use: 20 000 tasks, 10 000 finance entries over 60 months, 500 notes (250 of
// them tables of 50 x 10 rich-text cells), built in a temporary home.
//
// The launch, measured from outside on the real binary (build/mivo, see OutsideProbe.h), with no data
// and with the five-year profile: CPU to quiet over every thread, the window's thread before its first
// wait and its longest stretch until quiet, settled and peak resident memory; beside them the same
// for a bare Qt tray app (bare_tray). Then, in this process on the app's window, for each user action
// the longest stretch the window's thread was busy or blocked for it, repaint included, and the bytes
// the process wrote to disk for it:
//   window thread: <action> <N> ms (<B> written)
// The aims: every action within a frame (16 ms); CPU to quiet with the profile at most 1.5 times the
// empty app's; the window's thread before its first wait at most 16 ms more than empty, its longest
// stretch no longer than empty's; settled memory at most the empty app's plus the size of the
// database, and the peak at most the settled plus that.
//
//   bench_scale [rounds]             everything (default 3 launch rounds per side)
//   bench_scale --launches [rounds]  the launch figures only
//   bench_scale --actions            the window's-thread figures only
//   bench_scale --hold-lock PATH MS  holds PATH's write lock for MS ms, as another process would
//   bench_scale --profile PATH [--with-actions]
//                                    writes the profile's database to PATH (to look at, or profile),
//                                    with what the actions use when asked
// MIVO_BENCH_SETTLE_S sets how long a launch settles before its memory is read (default 20 s);
// MIVO_BENCH_STRETCHES=1 lists every stretch of 8 ms or more of each action, in order.
#include "BenchUtil.h"
#include "OutsideProbe.h"
#include "app/AppDelegate.h"
#include "app/MainTabVC.h"
#include "app/MainWindow.h"
#include "common/TestEnv.h"
#include "exercises/ExerciseHistory.h"
#include "finance/FinanceStore.h"
#include "notes/NoteDialogs.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "notes/RichTextView.h"
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

// The large table the actions open: 10 000 rows of 20 plain cells.
Note bigTable() {
    Note big(NoteType::table, QStringLiteral("📊"), QStringLiteral("Big"));
    for (int c = 0; c < 20; ++c)
        big.columns.emplace_back(QStringLiteral("C%1").arg(c));
    for (int r = 0; r < 10000; ++r) {
        QStringList cells;
        for (int c = 0; c < 20; ++c)
            cells << QStringLiteral("value %1").arg(r * 20 + c);
        big.rows.emplace_back(cells);
    }
    return big;
}

// withActions: also the 100 000 exercise-history records and the large table the actions use.
void writeProfile(const QString &dbPath, bool withActions, QString *bigId = nullptr) {
    Prefs prefs(dbPath);
    prefs.setData(QString::fromLatin1(kTasks), encodeTasks(makeTasks()));
    std::vector<FinEntry> fin;
    for (int i = 0; i < 10000; ++i)
        fin.push_back(makeEntry(i));
    prefs.setData(QString::fromLatin1(kFinances), encodeEntries(fin));
    std::vector<Note> notes = makeNotes();
    if (withActions) {
        notes.push_back(bigTable());
        if (bigId) *bigId = notes.back().id;
    }
    prefs.setData(QString::fromLatin1(kNotes), encodeNotes(notes));
    if (withActions)
        prefs.setData(QString::fromLatin1(kExerciseHistory), ExerciseHistoryJson::encode(makeHistory(100000)));
    prefs.close();
}

// ---- the window's thread ----

// Starts fn from the event loop, as a click would, and gives the longest busy stretch until the
// window has settled, and what the process wrote to disk meanwhile.
struct Cost {
    double ms = 0;
    qint64 written = 0;
};
Cost windowThread(MeteredApp &meter, const std::function<void()> &fn, int settleMs = 600) {
    runLoop(300);
    meter.reset();
    const qint64 before = OutsideProbe::writeBytes();
    QTimer::singleShot(0, fn);
    runLoop(settleMs);
    if (qEnvironmentVariableIsSet("MIVO_BENCH_STRETCHES")) {
        std::printf("  stretches of 8 ms or more:");
        for (double ms : meter.longStretches()) std::printf(" %.1f", ms);
        std::printf("\n");
    }
    return {meter.longest(), OutsideProbe::writeBytes() - before};
}

QString bytesText(qint64 b) {
    if (b < 0) return QStringLiteral("? bytes");
    if (b < 10 * 1024) return QStringLiteral("%1 bytes").arg(b);
    if (b < 10 * 1024 * 1024) return QStringLiteral("%1 KB").arg(double(b) / 1024, 0, 'f', 0);
    return QStringLiteral("%1 MB").arg(double(b) / 1048576, 0, 'f', 1);
}

void line(const char *action, const Cost &c) {
    std::printf("window thread: %s %.0f ms (%s written)\n", action, c.ms, qPrintable(bytesText(c.written)));
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

void actions(MeteredApp &meter, const QString &dbPath, const QString &bigId, const QString &self) {
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
    line("tick a task on the board", windowThread(meter, [&] { TaskStore::shared().toggle(taskId); }));

    tabs->showPage(QStringLiteral("finances"));
    runLoop(800);
    line("add a finance entry", windowThread(meter, [] { FinanceStore::shared().add(makeEntry(0)); }));
    line("delete a finance entry", windowThread(meter, [] {
             FinanceStore::shared().remove(FinanceStore::shared().entries().back().id);
         }));

    // The large table as stored (not decoded yet), opened on the notes page: until every row is
    // measured and the grid has its settled widths.
    tabs->showPage(QStringLiteral("notes"));
    runLoop(800);
    auto *notes = qobject_cast<NotesView *>(tabs->page(QStringLiteral("notes")));
    if (notes) {
        line("open a 10 000 x 20 table note", windowThread(meter, [&] { notes->selectNote(bigId); }, 6000));
        if (!notes->tableMeasured()) std::printf("  (the table was not measured whole within 6 s)\n");
        // One cell through the cell editor, as a double-click opens it; the measure is the save.
        notes->showCellEditor(bigId, 3, 2);
        runLoop(300);
        auto *editor = win.findChild<CellEditor *>(QStringLiteral("cellEditor"));
        if (editor) {
            editor->textView()->setPlainText(QStringLiteral("edited through the cell editor"));
            line("edit one cell of it through the cell editor", windowThread(meter, [&] { editor->save(); }, 1500));
        }
    }

    tabs->showPage(QStringLiteral("tasks"));
    runLoop(800);
    line("open the statistics page with 100 000 exercise-history records",
         windowThread(meter, [&] { tabs->showPage(QStringLiteral("statistics")); }));

    tabs->showPage(QStringLiteral("tasks"));
    runLoop(800);
    QProcess holder;
    holder.start(self, {QStringLiteral("--hold-lock"), dbPath, QStringLiteral("3000")});
    holder.waitForReadyRead(5000);
    line("any save while another process holds the write lock",
         windowThread(meter, [&] { TaskStore::shared().toggle(taskId); }, 2500));
    holder.waitForFinished(10000);
    runLoop(1500);
    Prefs::install(nullptr);
}

// ---- launches ----

using OutsideProbe::homeEnv;
using OutsideProbe::makeHome;

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Side {
    std::vector<double> cpu, first, longest, rss, hwm;
    void add(const OutsideProbe::Launch &l) {
        if (!l.ok()) return;
        cpu.push_back(l.cpuMs);
        if (l.firstWaitMs >= 0) first.push_back(l.firstWaitMs);
        if (l.longestMs >= 0) longest.push_back(l.longestMs);
        rss.push_back(l.rssMb);
        hwm.push_back(l.hwmMb);
    }
};

QString platformLabel() {
    const QString qpa = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!qpa.isEmpty()) return qpa;
    return qEnvironmentVariableIsSet("DISPLAY") ? QStringLiteral("xcb on ") + qEnvironmentVariable("DISPLAY")
                                                : QStringLiteral("no display");
}

void launches(const QString &dir, int rounds) {
    const QString mivo = QDir(dir).absoluteFilePath(QStringLiteral("../mivo"));
    const QString bare = QDir(dir).absoluteFilePath(QStringLiteral("bare_tray"));
    if (!QFileInfo(mivo).isExecutable()) {
        std::printf("launch: %s is not built; skipped\n", qPrintable(mivo));
        return;
    }
    if (OutsideProbe::windowStallsTool().isEmpty())
        std::printf("launch: the window-stalls tool is not there (MIVO_WINDOW_STALLS); the window's-thread "
                    "figures are skipped\n");
    const int settleS = qEnvironmentVariableIsSet("MIVO_BENCH_SETTLE_S")
                            ? qEnvironmentVariableIntValue("MIVO_BENCH_SETTLE_S")
                            : 20;
    auto empty = makeHome(), full = makeHome(), bareHome = makeHome();
    const QString fullDb = full->filePath(QStringLiteral("data/mivo/mivo.sqlite3"));
    writeProfile(fullDb, false);
    const double dbMb = QFileInfo(fullDb).size() / 1048576.0;
    std::printf("launch (%s, %s, median of %d, memory %d s after quiet): the five-year profile's database is "
                "%.1f MB\n",
                qPrintable(platformLabel()), qPrintable(mivo), rounds, settleS, dbMb);
    std::fflush(stdout);
    Side e, f, b;
    // Not counted: the first start creates the preferences and fills the system's file caches.
    OutsideProbe::measure(mivo, {}, homeEnv(*empty), 0);
    OutsideProbe::measure(mivo, {}, homeEnv(*full), 0);
    const bool haveBare = QFileInfo(bare).isExecutable();
    if (haveBare) OutsideProbe::measure(bare, {}, homeEnv(*bareHome), 0);
    for (int i = 0; i < rounds; ++i) {
        // In turns, so a busy machine weighs on every side alike.
        e.add(OutsideProbe::measure(mivo, {}, homeEnv(*empty), settleS));
        f.add(OutsideProbe::measure(mivo, {}, homeEnv(*full), settleS));
        if (haveBare) b.add(OutsideProbe::measure(bare, {}, homeEnv(*bareHome), settleS));
    }
    auto row = [](const char *what, const std::vector<double> &a, const std::vector<double> &c, const char *unit,
                  const QString &aim) {
        const double x = median(a), y = median(c);
        if (x < 0 && y < 0) {
            std::printf("launch: %-52s skipped\n", what);
            return;
        }
        std::printf("launch: %-52s no data %6.1f %s, five years %6.1f %s (%.2f x; aim %s)\n", what, x, unit, y, unit,
                    x > 0 ? y / x : 0, qPrintable(aim));
    };
    const double eCpu = median(e.cpu), eFirst = median(e.first), eLong = median(e.longest), eRss = median(e.rss);
    row("CPU to quiet, every thread", e.cpu, f.cpu, "ms", QStringLiteral("<= %1 ms").arg(1.5 * eCpu, 0, 'f', 0));
    row("window's thread before its event loop first waits", e.first, f.first, "ms",
        QStringLiteral("<= %1 ms").arg(eFirst + 16, 0, 'f', 0));
    row("window's thread's longest stretch until quiet", e.longest, f.longest, "ms",
        QStringLiteral("<= %1 ms").arg(eLong, 0, 'f', 0));
    row("settled resident memory", e.rss, f.rss, "MB", QStringLiteral("<= %1 MB").arg(eRss + dbMb, 0, 'f', 0));
    row("peak resident memory", e.hwm, f.hwm, "MB",
        QStringLiteral("<= %1 MB").arg(median(f.rss) + dbMb, 0, 'f', 0));
    if (haveBare) {
        const double bCpu = median(b.cpu);
        std::printf("launch: no data against a bare Qt tray app: CPU to quiet %.1f ms vs %.1f ms (%.2f x; aim <= 2 x), "
                    "settled resident %.1f MB vs %.1f MB, window's thread before its first wait %.1f ms vs %.1f ms\n",
                    eCpu, bCpu, bCpu > 0 ? eCpu / bCpu : 0, eRss, median(b.rss), eFirst, median(b.first));
    }
    std::fflush(stdout);
}
} // namespace

int main(int argc, char **argv) {
    useOffscreenWhenHeadless();
    if (argc > 3 && QByteArray(argv[1]) == "--hold-lock")
        return holdLock(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    if (argc > 2 && QByteArray(argv[1]) == "--profile") {
        QCoreApplication core(argc, argv);
        writeProfile(QString::fromLocal8Bit(argv[2]), argc > 3 && QByteArray(argv[3]) == "--with-actions");
        return 0;
    }
    const bool onlyLaunches = argc > 1 && QByteArray(argv[1]) == "--launches";
    const bool onlyActions = argc > 1 && QByteArray(argv[1]) == "--actions";
    const char *roundsArg = onlyLaunches ? (argc > 2 ? argv[2] : nullptr) : (argc > 1 && !onlyActions ? argv[1] : nullptr);
    const int rounds = roundsArg ? std::max(1, QByteArray(roundsArg).toInt()) : 3;

    MeteredApp app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    if (!onlyActions) launches(QCoreApplication::applicationDirPath(), rounds);
    if (!onlyLaunches) {
        std::printf("Building the five-year profile with 100 000 exercise-history records and a 10 000 x 20 table…\n");
        std::fflush(stdout);
        QTemporaryDir work;
        const QString db = work.filePath(QStringLiteral("mivo.sqlite3"));
        QString bigId;
        writeProfile(db, true, &bigId);
        actions(app, db, bigId, self);
    }
    return 0;
}
