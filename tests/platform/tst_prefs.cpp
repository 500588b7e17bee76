#include "common/TestEnv.h"
#include "platform/Document.h"
#include "platform/Prefs.h"
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <csignal>
#include <sqlite3.h>

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
    void lockedDatabaseIsNeverSetAside();
    void undecodableDocumentIsKeptAsideBeforeTheStoreStartsEmpty();
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
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(t.path().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT key, type, typeof(value) FROM prefs ORDER BY key", -1, &st, nullptr);
    QStringList rows;
    while (sqlite3_step(st) == SQLITE_ROW)
        rows << QStringLiteral("%1 %2 %3").arg(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)),
                                               reinterpret_cast<const char *>(sqlite3_column_text(st, 1)),
                                               reinterpret_cast<const char *>(sqlite3_column_text(st, 2)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    QCOMPARE(rows, QStringList({"b bool integer", "d double real", "i int integer", "s string text", "z data blob"}));
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
        for (int k = 1; k < 50; ++k) QCOMPARE(p.integer(QStringLiteral("k%1").arg(k)), round);
        QCOMPARE(p.data("doc"), QByteArray(4096, char('a' + round % 26)));
    }
}

void TstPrefs::corruptDatabaseIsKeptAsideAndAFreshOneStarts() {
    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    const QByteArray garbage = QByteArray("this is not a database at all ").repeated(200);
    f.write(garbage);
    f.close();
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
    QFile old(dir.filePath(aside.first()));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), garbage); // the user's file is untouched
    Prefs again(path);
    QCOMPARE(again.integer("fresh"), 1);
}

// A database another process holds locked is good data: it must not be mistaken for a broken one.
void TstPrefs::lockedDatabaseIsNeverSetAside() {
    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    {
        Prefs p(path);
        p.setInt("kept", 7);
        QVERIFY(p.flush());
    }
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                                 "UPDATE prefs SET value = 8 WHERE key = 'kept';",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    {
        Prefs blocked(path);
        QVERIFY(!blocked.isPersistent());
        QVERIFY(blocked.setAsidePath().isEmpty());
        QSignalSpy failed(&blocked, &Prefs::writeFailed);
        blocked.setInt("kept", 9);
        QVERIFY(!blocked.flush()); // not reported as saved
        QCOMPARE(failed.count(), 1);
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    QVERIFY(QDir(dir.path()).entryList({"*.unreadable-*"}).isEmpty());
    Prefs again(path);
    QCOMPARE(again.integer("kept"), 7);
}

void TstPrefs::undecodableDocumentIsKeptAsideBeforeTheStoreStartsEmpty() {
    TempPrefs t;
    auto decode = [](const QByteArray &b) -> std::optional<QStringList> {
        if (!b.startsWith('[')) return std::nullopt;
        return QStringList{QString::fromUtf8(b)};
    };
    t.prefs().setData("savedThings", "{broken");
    DocumentLoad r;
    auto got = loadDocument<QStringList>("savedThings", decode, &r);
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
    loadDocument<QStringList>("other", decode, &r);
    QVERIFY(r.existed && !r.decoded && !r.keptAsideKey.isEmpty());
    loadDocument<QStringList>("none", decode, &r);
    QVERIFY(!r.existed && r.keptAsideKey.isEmpty());
}

QTEST_GUILESS_MAIN(TstPrefs)
#include "tst_prefs.moc"
