#include "common/Files.h"
#include "common/PrefsRaw.h"
#include "common/TestEnv.h"
#include "platform/DataNotices.h"
#include "platform/Document.h"
#include "platform/Prefs.h"
#include "platform/PrefsDb.h"
#include "platform/SingleInstance.h"
#include "platform/UnsavedAtQuit.h"
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <sqlite3.h>
#include <thread>

namespace {
std::optional<QStringList> decodeList(const QByteArray &b) {
    if (!b.startsWith('[')) return std::nullopt;
    return QStringList{QString::fromUtf8(b)};
}

bool allOneByte(const QByteArray &b) {
    return !b.isEmpty() && std::all_of(b.begin(), b.end(), [&](char c) { return c == b.front(); });
}

const char kThreeTasks[] = R"([{"id":"A"},{"id":"B"},{"id":"C"}])";
} // namespace

class TstPrefs : public QObject {
    Q_OBJECT
private slots:
    void valuesSurviveReopenWithTheirTypes();
    void looseReadsFollowTheConversionsCallersRelyOn();
    void switchesCountMissingAndNonBooleanAsOn();
    void storedLayoutIsNativePerType();
    void removeClearAndReplace();
    void frozenDomainIgnoresWrites();
    void killedWriterLeavesLastCommittedRound();
    void corruptDatabaseIsKeptAsideAndAFreshOneStarts();
    void undecodableDocumentIsKeptAsideBeforeTheStoreStartsEmpty();
    void rowsOfUnknownTypeAreKeptAsideBeforeAnythingReplacesThem_data();
    void rowsOfUnknownTypeAreKeptAsideBeforeAnythingReplacesThem();
    void unreadableDocumentIsKeptOnceOverThreeLaunches_data();
    void unreadableDocumentIsKeptOnceOverThreeLaunches();
    void writingTheStoredValueWritesNothing();
    void commitsReachTheDiskInOrder();
    void largeValuesAreReadBackFromDiskOnAnyThread();
    void readOnlyFolderShowsTheDataAndAsksForNothing();
    void aDomainInMemoryLeavesNothingOnDisk();
};

void TstPrefs::valuesSurviveReopenWithTheirTypes() {
    TempPrefs t;
    Prefs &p = t.prefs();
    p.setBool("b", true);
    p.setInt("i", -42);
    p.setDouble("d", 1.15);
    p.setString("s", QStringLiteral("Привіт ✓"));
    p.setData("blob", QByteArray("\x00\x01\xff", 3));
    p.setDouble("nan", std::nan(""));
    QVERIFY(p.flush());
    t.reopen();
    Prefs &q = t.prefs();
    QVERIFY(q.isBool("b"));
    QCOMPARE(q.boolValue("b"), true);
    QCOMPARE(q.integer("i"), -42);
    QVERIFY(!q.isBool("i"));
    QCOMPARE(q.doubleValue("d"), 1.15);
    QCOMPARE(q.string("s").value(), QStringLiteral("Привіт ✓"));
    QCOMPARE(q.data("blob"), QByteArray("\x00\x01\xff", 3));
    QVERIFY(std::isnan(q.doubleValue("nan")));
    QCOMPARE(q.keys().size(), 6);
}

void TstPrefs::looseReadsFollowTheConversionsCallersRelyOn() {
    TempPrefs t;
    Prefs &p = t.prefs();
    QCOMPARE(p.integer("missing"), 0);
    QCOMPARE(p.doubleValue("missing"), 0.0);
    QCOMPARE(p.boolValue("missing"), false);
    QVERIFY(!p.string("missing").has_value());
    p.setString("num", QStringLiteral("25"));
    QCOMPARE(p.integer("num"), 25);
    p.setString("frac", QStringLiteral(" 0.5 "));
    QCOMPARE(p.doubleValue("frac"), 0.5);
    p.setString("junk", QStringLiteral("abc"));
    QCOMPARE(p.integer("junk"), 0);
    p.setDouble("d", 7.9);
    QCOMPARE(p.integer("d"), 7); // cut towards zero
    p.setDouble("huge", 1e300);
    QCOMPARE(p.integer("huge"), std::numeric_limits<qint64>::max());
    p.setBool("t", true);
    QCOMPARE(p.integer("t"), 1);
    QCOMPARE(p.string("t").value(), QStringLiteral("1"));
    p.setInt("n", 3);
    QCOMPARE(p.string("n").value(), QStringLiteral("3"));
    QCOMPARE(p.boolValue("n"), true);
    p.setString("yes", QStringLiteral("YES"));
    QCOMPARE(p.boolValue("yes"), true);
    QVERIFY(p.data("n").isEmpty());
}

void TstPrefs::switchesCountMissingAndNonBooleanAsOn() {
    TempPrefs t;
    Prefs &p = t.prefs();
    QVERIFY(p.switchOn("soundEnabled"));
    p.setInt("soundEnabled", 0);
    QVERIFY(p.switchOn("soundEnabled"));
    p.setString("soundEnabled", QStringLiteral("no"));
    QVERIFY(p.switchOn("soundEnabled"));
    p.setBool("soundEnabled", false);
    QVERIFY(!p.switchOn("soundEnabled"));
}

void TstPrefs::storedLayoutIsNativePerType() {
    TempPrefs t;
    t.prefs().setBool("b", false);
    t.prefs().setInt("i", 5);
    t.prefs().setDouble("d", 2.5);
    t.prefs().setString("s", "x");
    t.prefs().setData("z", "yz");
    QVERIFY(t.prefs().flush());
    QCOMPARE(rawRows(t.path(), "%"), QStringList({"b bool integer 0", "d double real 2.5", "i int integer 5",
                                                   "s string text x", "z data blob yz"}));
}

void TstPrefs::removeClearAndReplace() {
    TempPrefs t;
    Prefs &p = t.prefs();
    p.setInt("a", 1);
    p.setInt("b", 2);
    p.remove("a");
    QVERIFY(p.flush());
    t.reopen();
    QCOMPARE(t.prefs().keys(), QStringList({"b"}));
    t.prefs().clear();
    t.prefs().setInt("c", 3); // written after the clear in the same turn
    QVERIFY(t.prefs().flush());
    t.reopen();
    QCOMPARE(t.prefs().keys(), QStringList({"c"}));
    QVERIFY(t.prefs().replace({{"x", Prefs::Value(qint64(9))}, {"y", Prefs::Value(QStringLiteral("z"))}}));
    t.reopen();
    QCOMPARE(t.prefs().keys(), QStringList({"x", "y"}));
    QCOMPARE(t.prefs().integer("x"), 9);
}

void TstPrefs::frozenDomainIgnoresWrites() {
    TempPrefs t;
    t.prefs().setInt("a", 1);
    t.prefs().setFrozen(true);
    t.prefs().setInt("a", 2);
    t.prefs().remove("a");
    t.prefs().clear();
    QCOMPARE(t.prefs().integer("a"), 1);
}

void TstPrefs::killedWriterLeavesLastCommittedRound() {
    QTemporaryDir dir;
    const QString path = dir.filePath("kill.sqlite3");
    for (int attempt = 0; attempt < 3; ++attempt) {
        QProcess child;
        child.start(QStringLiteral(PREFS_WRITER), {path});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(10000));
        QTest::qWait(30 + attempt * 40); // let it be somewhere in the middle of a transaction
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(5000));

        Prefs p(path);
        QVERIFY(p.isPersistent());
        const qint64 round = p.integer("k0");
        QVERIFY(round >= 1);
        for (int k = 1; k < 50; ++k)
            QCOMPARE(p.integer(QStringLiteral("k%1").arg(k)), round);
        QCOMPARE(p.data("doc"), QByteArray(4096, char('a' + round % 26)));
    }
}

void TstPrefs::corruptDatabaseIsKeptAsideAndAFreshOneStarts() {
    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    const QByteArray garbage = QByteArray("this is not a database at all ").repeated(200);
    putFile(path, garbage);
    {
        Prefs p(path);
        QVERIFY(p.isPersistent());
        QVERIFY(!p.setAsidePath().isEmpty());
        QVERIFY(p.keys().isEmpty());
        p.setInt("fresh", 1);
        QVERIFY(p.flush());
    }
    const QStringList aside = QDir(dir.path()).entryList({"mivo.sqlite3.unreadable-*"});
    QCOMPARE(aside.size(), 1);
    const auto notices = DataNotices::get().take(); // the user is told, naming the copy
    QCOMPARE(notices.size(), size_t(1));
    QCOMPARE(notices[0], (DataNotice{QString(), dir.filePath(aside.first()), path}));
    QCOMPARE(fileBytes(dir.filePath(aside.first())), garbage); // the user's file is untouched
    Prefs again(path);
    QCOMPARE(again.integer("fresh"), 1);
}

void TstPrefs::undecodableDocumentIsKeptAsideBeforeTheStoreStartsEmpty() {
    TempPrefs t;
    const auto decode = decodeList;
    t.prefs().setData("savedThings", "{broken");
    DocumentLoad r;
    auto got = loadDocumentNow<QStringList>("savedThings", decode, &r);
    QVERIFY(got.isEmpty());
    QVERIFY(r.existed && !r.decoded);
    QVERIFY(r.keptAsideKey.startsWith("savedThings.unreadable-"));
    saveDocument("savedThings", "[]"); // the store's next save
    QVERIFY(t.prefs().flush());
    t.reopen();
    QCOMPARE(t.prefs().data(r.keptAsideKey), QByteArray("{broken"));
    QCOMPARE(t.prefs().data("savedThings"), QByteArray("[]"));

    // A document stored as another type is unreadable too; a missing one is simply empty.
    t.prefs().setString("other", "[x]");
    loadDocumentNow<QStringList>("other", decode, &r);
    QVERIFY(r.existed && !r.decoded && !r.keptAsideKey.isEmpty());
    loadDocumentNow<QStringList>("none", decode, &r);
    QVERIFY(!r.existed && r.keptAsideKey.isEmpty());
}

// A document stored with a type the app does not write ("json", "DATA", "blob": another program, an
// older or newer version) is unreadable, not absent: the store's first save must not replace it
// without a byte-exact copy, and the user is told.
void TstPrefs::rowsOfUnknownTypeAreKeptAsideBeforeAnythingReplacesThem_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("asBlob");
    QTest::newRow("json text") << "json" << false;
    QTest::newRow("DATA blob") << "DATA" << true;
    QTest::newRow("blob blob") << "blob" << true;
    QTest::newRow("empty type") << "" << false;
}

void TstPrefs::rowsOfUnknownTypeAreKeptAsideBeforeAnythingReplacesThem() {
    QFETCH(QString, type);
    QFETCH(bool, asBlob);
    TempPrefs t;
    DataNotices::get().take();
    const QString value = asBlob ? QStringLiteral("CAST('%1' AS BLOB)").arg(kThreeTasks)
                                 : QStringLiteral("'%1'").arg(kThreeTasks);
    QVERIFY(rawExec(t.path(), QStringLiteral("INSERT INTO prefs VALUES('savedTasks', '%1', %2);"
                                             "INSERT INTO prefs VALUES('workMins', 'integer', 30);"
                                             "INSERT INTO prefs VALUES('oddKey', 'float', 1.5);")
                                  .arg(type, value)
                                  .toUtf8()
                                  .constData()));
    t.reopen();
    const QString storage = asBlob ? "blob" : "text";
    const QString original = QStringLiteral("%1 %2 %3").arg(type, storage, kThreeTasks);

    DocumentLoad r;
    QVERIFY(loadDocumentNow<QStringList>("savedTasks", decodeList, &r).isEmpty());
    QVERIFY(r.existed && !r.decoded);
    QVERIFY(r.keptAsideKey.startsWith("savedTasks.unreadable-"));
    const auto notices = DataNotices::get().take();
    QCOMPARE(notices.size(), size_t(1));
    QCOMPARE(notices[0], (DataNotice{"savedTasks", r.keptAsideKey, t.path()}));

    // The store adds one task and saves; settings stored with unknown types are written over too.
    saveDocument("savedTasks", R"([{"id":"NEW"}])");
    t.prefs().setInt("workMins", 25);
    t.prefs().remove("oddKey");
    QVERIFY(t.prefs().flush());
    t.reopen();
    QCOMPARE(rawRows(t.path(), "savedTasks%"),
             QStringList({R"(savedTasks data blob [{"id":"NEW"}])", r.keptAsideKey + ' ' + original}));
    const QStringList mins = rawRows(t.path(), "workMins%");
    QCOMPARE(mins.size(), 2);
    QCOMPARE(mins[0], "workMins int integer 25");
    QVERIFY2(mins[1].startsWith("workMins.unreadable-") && mins[1].endsWith(" integer integer 30"),
             qPrintable(mins[1]));
    const QStringList odd = rawRows(t.path(), "oddKey%");
    QCOMPARE(odd.size(), 1);
    QVERIFY2(odd[0].startsWith("oddKey.unreadable-") && odd[0].endsWith(" float real 1.5"),
             qPrintable(odd[0]));
    QCOMPARE(t.prefs().integer("workMins"), 25);
}

// A document that stays unreadable is found again at every launch until the user changes something:
// one copy is kept and the user is told once, not a new copy per launch.
void TstPrefs::unreadableDocumentIsKeptOnceOverThreeLaunches_data() {
    QTest::addColumn<QString>("sql");
    QTest::newRow("bytes that do not decode")
        << "INSERT INTO prefs VALUES('savedTasks', 'data', CAST('{broken' AS BLOB))";
    QTest::newRow("a number instead of data") << "INSERT INTO prefs VALUES('savedTasks', 'int', 7)";
    QTest::newRow("a type the app does not know")
        << "INSERT INTO prefs VALUES('savedTasks', 'json', '[1,2]')";
}

void TstPrefs::unreadableDocumentIsKeptOnceOverThreeLaunches() {
    QFETCH(QString, sql);
    TempPrefs t;
    DataNotices::get().take();
    QVERIFY(rawExec(t.path(), sql.toUtf8().constData()));
    QStringList keptAs;
    for (int launch = 0; launch < 3; ++launch) {
        t.reopen();
        DocumentLoad r;
        loadDocumentNow<QStringList>("savedTasks", decodeList, &r);
        QVERIFY(!r.decoded && !r.keptAsideKey.isEmpty());
        keptAs << r.keptAsideKey;
    }
    QCOMPARE(keptAs, QStringList(3, keptAs.first()));
    QCOMPARE(rawRows(t.path(), "savedTasks.unreadable-%").size(), 1);
    QCOMPARE(DataNotices::get().take().size(), size_t(1));

    // Other unreadable bytes are other data: kept as well.
    QVERIFY(rawExec(
        t.path(), "UPDATE prefs SET type = 'data', value = CAST('{other' AS BLOB) WHERE key = 'savedTasks'"));
    t.reopen();
    DocumentLoad r;
    loadDocumentNow<QStringList>("savedTasks", decodeList, &r);
    QVERIFY(r.keptAsideKey != keptAs.first());
    QVERIFY(t.prefs().flush());
    QCOMPARE(rawRows(t.path(), "savedTasks.unreadable-%").size(), 2);
    QCOMPARE(DataNotices::get().take().size(), size_t(1));
}

// The timer, steppers and switches store values that often have not changed.
void TstPrefs::writingTheStoredValueWritesNothing() {
    TempPrefs t;
    Prefs &p = t.prefs();
    const auto writeAll = [&] {
        p.setBool("b", true);
        p.setInt("i", 25);
        p.setDouble("d", 0.5);
        p.setDouble("nan", std::nan(""));
        p.setString("s", "de");
        p.setData("z", "[1]");
    };
    writeAll();
    QVERIFY(p.flush());
    writeAll();
    p.remove("never-stored");
    QVERIFY(!p.hasPending());

    p.setInt("b", 1); // the same number as another type is a change of the stored row
    QVERIFY(p.hasPending());
    QVERIFY(p.flush());
    p.setInt("i", 26);
    p.setInt("i", 25); // back to the stored value within one turn: still written, and right
    QVERIFY(p.flush());
    t.reopen();
    QCOMPARE(t.prefs().integer("i"), 25);
    QVERIFY(!t.prefs().isBool("b"));
}

// "a" is always written before "b": whatever another reader sees on disk, "a" is never behind.
void TstPrefs::commitsReachTheDiskInOrder() {
    TempPrefs t;
    Prefs &p = t.prefs();
    p.setInt("a", 0);
    p.setInt("b", 0);
    QVERIFY(p.flush());
    std::atomic<bool> stop = false;
    std::atomic<int> behind = 0, looks = 0;
    std::thread observer([&] {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(t.path().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db, "SELECT (SELECT value FROM prefs WHERE key = 'a'), "
                               "(SELECT value FROM prefs WHERE key = 'b')", -1, &st, nullptr);
        while (!stop) {
            if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) < sqlite3_column_int(st, 1))
                ++behind;
            sqlite3_reset(st);
            ++looks;
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
    });
    QTRY_VERIFY(looks > 0);
    for (int r = 1; r <= 300; ++r) {
        p.setInt("a", r);
        QCoreApplication::processEvents();
        p.setInt("b", r);
        QCoreApplication::processEvents();
    }
    QVERIFY(p.flush());
    stop = true;
    observer.join();
    QCOMPARE(behind.load(), 0);
    QCOMPARE(rawRows(t.path(), "_"), QStringList({"a int integer 300", "b int integer 300"}));
}

// Large documents, and those a store holds decoded, are read back from the file when asked; a
// loader thread may ask while the window's thread writes, and always gets one whole version.
void TstPrefs::largeValuesAreReadBackFromDiskOnAnyThread() {
    TempPrefs t;
    const QByteArray big(300 * 1024, 'x');
    t.prefs().setData("doc", big);
    t.prefs().setData("small", "[1]");
    QVERIFY(t.prefs().flush());
    t.reopen();
    Prefs &p = t.prefs();
    QVERIFY(p.contains("doc") && p.isData("doc") && !p.isData("none"));
    QCOMPARE(p.data("doc"), big);
    QCOMPARE(std::get<QByteArray>(*p.value("doc")), big);
    // Not held from the open on: what is in the file is what data() gives.
    QVERIFY(rawExec(t.path(), "UPDATE prefs SET value = zeroblob(70000) WHERE key = 'doc'"));
    QCOMPARE(p.data("doc"), QByteArray(70000, '\0'));
    p.releaseBytes("small");
    QVERIFY(rawExec(t.path(), "UPDATE prefs SET value = CAST('[2]' AS BLOB) WHERE key = 'small'"));
    QCOMPARE(p.data("small"), QByteArray("[2]"));

    p.releaseBytes("doc");
    std::atomic<bool> stop = false;
    std::atomic<int> torn = 0, reads = 0;
    std::thread loader([&] {
        while (!stop) {
            const QByteArray b = p.data("doc");
            if (!allOneByte(b) || !p.isData("doc") || (b.size() != 70000 && b.size() % 1000 != 0)) ++torn;
            ++reads;
        }
    });
    QByteArray last;
    for (int i = 1; i <= 200; ++i) {
        // Small and large versions in turn: held until written, then read back.
        last = QByteArray((i % 3 ? 1000 : 100 * 1000) * (1 + i % 4), char('a' + i % 26));
        p.setData("doc", last);
        QCoreApplication::processEvents();
        if (i % 25 == 0) QVERIFY(p.flush());
    }
    QVERIFY(p.flush());
    stop = true;
    loader.join();
    QVERIFY(reads > 0);
    QCOMPARE(torn.load(), 0);
    QCOMPARE(p.data("doc"), last);
}

// A data folder the user may not write: the data is shown, read-only, nothing fails at quit (the
// session never could write, and was told so), and the file is left exactly as it was.
void TstPrefs::readOnlyFolderShowsTheDataAndAsksForNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    const QByteArray big(200 * 1024, 'r');
    {
        Prefs p(path);
        p.setString("appTheme", "dark");
        p.setData("doc", big);
        QVERIFY(p.close());
    }
    const QByteArray before = fileBytes(path);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    {
        WithoutFileRights user;
        QFile probe(dir.filePath("probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("running with rights that ignore folder permissions");
        }
        // No lock file can be made there: the launch goes on, as the only one that could write.
        SingleInstance guard("com.mivo.test", path);
        QCOMPARE(guard.claim(), SingleInstance::Claim::Owner);

        Prefs p(path);
        QCOMPARE(p.access(), Prefs::Access::ReadOnly);
        QCOMPARE(p.string("appTheme").value_or(""), QStringLiteral("dark"));
        QCOMPARE(p.data("doc"), big);
        QSignalSpy failed(&p, &Prefs::writeFailed);
        p.setInt("n", 2);
        QCoreApplication::processEvents();
        QCOMPARE(p.integer("n"), 2);
        QVERIFY(p.close());
        QCOMPARE(failed.count(), 0);

        Prefs none(dir.filePath("sub/mivo.sqlite3")); // nothing stored yet, and nowhere to store it
        QCOMPARE(none.access(), Prefs::Access::ReadOnly);
        QVERIFY(none.keys().isEmpty());
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"mivo.sqlite3"}));
}

// The browser window's process keeps its settings in memory: nothing of it may appear where it was
// started (a folder named ":" once did, in the user's home).
void TstPrefs::aDomainInMemoryLeavesNothingOnDisk() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    {
        Prefs memory(QStringLiteral(":memory:"));
        memory.setInt("i", 7);
        QVERIFY(memory.flush());
        QCOMPARE(memory.integer("i"), 7);
    }
    QDir::setCurrent(before);
    const QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u", ")));
}

QTEST_GUILESS_MAIN(TstPrefs)
#include "tst_prefs.moc"
