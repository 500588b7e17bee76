// What Mivo keeps aside. Copies in the database go under names no other row has, whoever made that
// row and whenever: the copy the user is told of is always the one under the name told. Changes kept
// beside the database at a quit stay there until a commit holds them.
#include "common/TestEnv.h"
#include "platform/DataNotices.h"
#include "platform/Document.h"
#include "platform/Prefs.h"
#include "platform/UnsavedAtQuit.h"
#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>

namespace {
// Another program's connection to the database.
class Other {
public:
    explicit Other(const QString &path) {
        sqlite3_open(path.toUtf8().constData(), &db_);
        sqlite3_busy_timeout(db_, 10000);
    }
    ~Other() { sqlite3_close(db_); }
    bool exec(const QString &sql) {
        return sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    // "type value" of the row under key; empty when there is none.
    QString row(const QString &key) {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db_, "SELECT type, CAST(value AS TEXT) FROM prefs WHERE key = ?1", -1, &st,
                           nullptr);
        const QByteArray k = key.toUtf8();
        sqlite3_bind_text(st, 1, k.constData(), -1, SQLITE_TRANSIENT);
        QString out;
        if (sqlite3_step(st) == SQLITE_ROW)
            out = QStringLiteral("%1 %2").arg(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)),
                                              reinterpret_cast<const char *>(sqlite3_column_text(st, 1)));
        sqlite3_finalize(st);
        return out;
    }

private:
    sqlite3 *db_ = nullptr;
};

std::optional<QStringList> decodeList(const QByteArray &b) {
    if (!b.startsWith('[')) return std::nullopt;
    return QStringList{QString::fromUtf8(b)};
}

QString stampIn(int seconds) {
    return QDateTime::currentDateTime().addSecs(seconds).toString(QStringLiteral("yyyyMMdd-HHmmss"));
}
} // namespace

class TstKeptAside : public QObject {
    Q_OBJECT
private slots:
    void init() { DataNotices::get().take(); }

    // A row of a type the app does not know is copied aside inside the database once the writer
    // gets there; another program that took the copy's name meanwhile (while it held the lock) keeps
    // its row, and the copy and the notice go under another name.
    void aCopyNeverGoesUnderANameAnotherProgramTookMeanwhile() {
        TempPrefs t;
        Other other(t.path());
        QVERIFY(other.exec("INSERT INTO prefs VALUES('savedTasks', 'json', '[1,2]')"));
        t.reopen();
        QVERIFY(other.exec("BEGIN IMMEDIATE"));
        DocumentLoad r;
        QVERIFY(loadDocumentNow<QStringList>("savedTasks", decodeList, &r).isEmpty());
        const QString chosen = r.keptAsideKey;
        QVERIFY(chosen.startsWith("savedTasks.unreadable-"));
        QVERIFY(!t.prefs().flush()); // waits for the lock
        QVERIFY(other.exec(QStringLiteral("INSERT INTO prefs VALUES('%1', 'json', 'theirs')").arg(chosen)));
        QVERIFY(other.exec("COMMIT"));
        QTRY_VERIFY(t.prefs().flush());

        QCOMPARE(other.row(chosen), QStringLiteral("json theirs"));
        const std::vector<DataNotice> told = DataNotices::get().take();
        QCOMPARE(told.size(), size_t(1));
        QCOMPARE(told[0].key, QStringLiteral("savedTasks"));
        QVERIFY(told[0].keptAs != chosen && told[0].keptAs.startsWith("savedTasks.unreadable-"));
        QCOMPARE(other.row(told[0].keptAs), QStringLiteral("json [1,2]"));

        // Known from then on: the next launch finds the copy and makes no other.
        t.reopen();
        DocumentLoad again;
        loadDocumentNow<QStringList>("savedTasks", decodeList, &again);
        QCOMPARE(again.keptAsideKey, told[0].keptAs);
        QVERIFY(t.prefs().flush());
        QVERIFY(DataNotices::get().take().empty());
    }

    // Names of copies stored by an earlier run or another program with a type the app does not know
    // are as taken as any other: a new copy goes beside them, never over them.
    void aCopyNeverGoesUnderTheNameOfARowOfUnknownType() {
        TempPrefs t;
        Other other(t.path());
        // Every name a copy made within the next minute could be given.
        QStringList theirs;
        for (int s = -1; s < 60; ++s)
            theirs << QStringLiteral("savedNotes.unreadable-") + stampIn(s);
        for (const QString &name : theirs)
            QVERIFY(other.exec(QStringLiteral("INSERT INTO prefs VALUES('%1', 'json', 'theirs')").arg(name)));
        t.reopen();
        const QString kept = t.prefs().keepAsideData(QStringLiteral("savedNotes"), "[\"mine\"]");
        QVERIFY(kept.startsWith("savedNotes.unreadable-"));
        QVERIFY2(!theirs.contains(kept), qPrintable(kept));
        QVERIFY(t.prefs().flush());
        for (const QString &name : theirs)
            QCOMPARE(other.row(name), QStringLiteral("json theirs"));
        QCOMPARE(other.row(kept), QStringLiteral("data [\"mine\"]"));
    }

    // The changes a locked quit kept beside the database are written at the next start; while that
    // start's commit waits for another program's lock too, the file stays (a crash then loses
    // nothing), and it goes once the changes are committed.
    void changesKeptAtQuitStayBesideTheDatabaseUntilCommitted() {
        QTemporaryDir dir;
        const QString path = dir.filePath("mivo.sqlite3");
        const QString file = UnsavedAtQuit::pathFor(path);
        {
            Prefs p(path);
            p.setInt("n", 1);
            QVERIFY(p.close());
        }
        Other other(path);
        QVERIFY(other.exec("BEGIN IMMEDIATE"));
        {
            Prefs p(path);
            p.setInt("n", 2);
            QVERIFY(!p.close());
        }
        QVERIFY(QFile::exists(file));
        {
            Prefs p(path);
            QCOMPARE(p.integer("n"), 2);
            QVERIFY(!p.flush()); // still locked
            QVERIFY(QFile::exists(file));
            QVERIFY(other.exec("ROLLBACK"));
            QTRY_VERIFY(p.flush());
            QTRY_VERIFY(!QFile::exists(file));
            QVERIFY(p.close());
        }
        Prefs p(path);
        QCOMPARE(p.integer("n"), 2);
    }
};

QTEST_MAIN(TstKeptAside)
#include "tst_kept_aside.moc"
