// The files Mivo keeps beside its database for itself: the changes a quit could not write, and the
// notices not yet told. Damage in them is never taken for data, and nothing of them is lost: a file
// that is not whole is kept under another name and the user hears where. They are never read or
// written through a link.
#include "common/Files.h"
#include "platform/DataNotices.h"
#include "platform/Keys.h"
#include "platform/Prefs.h"
#include "platform/UnsavedAtQuit.h"
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

namespace {
// A kept value made in place: moved from a temporary, GCC (instrumented builds above all) cannot tell
// which alternative of the temporary is set and warns of the move (-Wmaybe-uninitialized).
template <class T> std::optional<PrefsValue> value(T v) {
    return std::optional<PrefsValue>(std::in_place, std::in_place_type<T>, std::move(v));
}
QByteArray flipped(QByteArray bytes, qsizetype at, int bit) {
    bytes[at] = char(bytes[at] ^ (1 << bit));
    return bytes;
}

// Whether anything has the name, a link that leads nowhere included.
bool isThere(const QString &path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// The one notice told, which must be of the kind given and name a copy kept beside path.
QString keptAsideTold(const QString &path, DataNotice::Kind kind) {
    const std::vector<DataNotice> told = DataNotices::get().take();
    if (told.size() != 1 || told[0].kind != kind) return {};
    const QString kept = told[0].keptAs;
    if (kept == path || !kept.startsWith(path) || !isThere(kept) || isThere(path)) return {};
    return kept;
}

// A database with three values, and what a quit kept for it: changes to two of them.
struct Stored {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
    QString unsaved = UnsavedAtQuit::pathFor(path);
    QString notices = DataNotices::keptPath(path);
    Stored() {
        Prefs p(path);
        p.setInt("n", 1);
        p.setString(kLanguage, QStringLiteral("de"));
        p.setData(kNotes, QByteArray("[1]"));
        p.close();
    }
    static UnsavedAtQuit changes() {
        UnsavedAtQuit kept;
        kept.edits = {{"n", value(qint64(2)), std::nullopt},
                      {QString::fromLatin1(kNotes), value(QByteArray("[2]")), PrefsDigest::of("[1]")}};
        return kept;
    }
    // Opens the database as a start does; whether it holds the values it held before.
    bool startsUnchanged() const {
        Prefs p(path);
        return p.keys().size() == 3 && p.integer("n") == 1 && p.string(kLanguage) == QStringLiteral("de") &&
               p.data(kNotes) == "[1]";
    }
};

// What another start of the last run would have kept to tell.
QByteArray keptNotices(const QString &path) {
    DataNotices::get().add({QString::fromLatin1(kTasks), QStringLiteral("savedTasks.unreadable-1"),
                            QStringLiteral("/d/mivo.sqlite3"), DataNotice::Kind::otherProgramsValueKept});
    DataNotices::get().keepPending(path);
    DataNotices::get().take();
    return fileBytes(path);
}
} // namespace

class TstSideFiles : public QObject {
    Q_OBJECT
private slots:
    void init() { DataNotices::get().take(); }

    // One bit changed anywhere could clear the database, or write a value under another key, and
    // the user was told the changes were saved. Now: nothing applied, the file kept, the user told.
    void keptChangesWithAnyByteDamagedAreNeitherAppliedNorLost() {
        Stored db;
        QString error;
        QVERIFY2(Stored::changes().write(db.unsaved, &error), qPrintable(error));
        const QByteArray whole = fileBytes(db.unsaved);
        for (qsizetype at = 0; at < whole.size(); ++at) {
            for (int bit = 0; bit < 8; ++bit) {
                putFile(db.unsaved, flipped(whole, at, bit));
                bool unreadable = false;
                QVERIFY2(!UnsavedAtQuit::read(db.unsaved, &unreadable) && unreadable,
                         qPrintable(QStringLiteral("byte %1 bit %2").arg(at).arg(bit)));
            }
        }
        for (qsizetype at = 0; at < whole.size(); ++at) {
            const QByteArray damaged = flipped(whole, at, int(at % 8));
            putFile(db.unsaved, damaged);
            QVERIFY2(db.startsUnchanged(), qPrintable(QStringLiteral("byte %1").arg(at)));
            const QString kept = keptAsideTold(db.unsaved, DataNotice::Kind::unsavedUnreadable);
            QVERIFY2(!kept.isEmpty(), qPrintable(QStringLiteral("byte %1").arg(at)));
            QCOMPARE(fileBytes(kept), damaged);
            QVERIFY(QFile::remove(kept));
        }
        // Damage after the edits (here in the checksum) leaves their names readable: the notice says
        // what the changes were to, and still nothing of them is applied.
        putFile(db.unsaved, flipped(whole, whole.size() - 1, 0));
        QVERIFY(db.startsUnchanged());
        const std::vector<DataNotice> named = DataNotices::get().take();
        QCOMPARE(named.size(), size_t(1));
        QCOMPARE(named[0].held, QStringList({QStringLiteral("n"), QString::fromLatin1(kNotes)}));
        QVERIFY(QFile::remove(named[0].keptAs));
        // Whole, it is written and told.
        putFile(db.unsaved, whole);
        {
            Prefs p(db.path);
            QCOMPARE(p.integer("n"), 2);
            QCOMPARE(p.data(kNotes), QByteArray("[2]"));
            QVERIFY(p.flush());
        }
        QVERIFY(!isThere(db.unsaved));
        const std::vector<DataNotice> told = DataNotices::get().take();
        QCOMPARE(told.size(), size_t(1));
        QCOMPARE(told[0].kind, DataNotice::Kind::savedAtStart);
    }

    // A damaged notices file was removed without a word, and one with a bit changed told something
    // else. Now it is kept and told, and a whole one is told as it was kept.
    void keptNoticesWithAnyByteDamagedAreToldNotLost() {
        Stored db;
        const QByteArray whole = keptNotices(db.notices);
        QVERIFY(!whole.isEmpty());
        const auto damagedIsKept = [&](const QByteArray &damaged) {
            putFile(db.notices, damaged);
            DataNotices::get().restoreKept(db.notices);
            const QString kept = keptAsideTold(db.notices, DataNotice::Kind::noticesUnreadable);
            return !kept.isEmpty() && fileBytes(kept) == damaged && QFile::remove(kept);
        };
        for (qsizetype at = 0; at < whole.size(); ++at)
            QVERIFY2(damagedIsKept(flipped(whole, at, int(at % 8))),
                     qPrintable(QStringLiteral("byte %1").arg(at)));
        // A list the last version kept has no checksum: it cannot be told from a damaged one.
        QVERIFY(damagedIsKept(R"([{"kind":"savedAtStart","key":"","keptAs":"x","database":"y"}])"));

        putFile(db.notices, whole);
        DataNotices::get().restoreKept(db.notices);
        const std::vector<DataNotice> told = DataNotices::get().take();
        QCOMPARE(told.size(), size_t(1));
        QCOMPARE(told[0].kind, DataNotice::Kind::otherProgramsValueKept);
        QCOMPARE(told[0].keptAs, QStringLiteral("savedTasks.unreadable-1"));
    }

    // Whatever has either name instead of a whole file of ours was met with one line on stderr and
    // left there for ever (the changes), or removed (the notices). Now each is kept aside and told.
    void whatIsNotAWholeFileIsKeptAsideAndTold_data() {
        QTest::addColumn<QString>("what");
        for (const char *what : {"empty", "cut short", "a link to a whole file", "a link to nothing",
                                 "a pipe", "a folder", "not readable", "too large"})
            QTest::newRow(what) << QString::fromLatin1(what);
    }
    void whatIsNotAWholeFileIsKeptAsideAndTold() {
        QFETCH(QString, what);
        Stored db;
        QTemporaryDir outside;
        QString error;
        QVERIFY(Stored::changes().write(outside.filePath("unsaved"), &error));
        const QByteArray wholeChanges = fileBytes(outside.filePath("unsaved"));
        const QByteArray wholeNotices = keptNotices(outside.filePath("notices"));
        for (const QString &file : {db.unsaved, db.notices}) {
            const QString elsewhere = outside.filePath(file == db.unsaved ? "unsaved" : "notices");
            const QByteArray whole = fileBytes(elsewhere);
            if (what == "empty")
                putFile(file, {});
            else if (what == "cut short")
                putFile(file, whole.chopped(1));
            else if (what == "a link to a whole file")
                QVERIFY(QFile::link(elsewhere, file));
            else if (what == "a link to nothing")
                QVERIFY(QFile::link(outside.filePath("gone"), file));
            else if (what == "a pipe")
                QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
            else if (what == "a folder")
                QVERIFY(QDir().mkdir(file) && !putFile(file + "/inside", "x").isEmpty());
            else if (what == "not readable")
                QVERIFY(QFile::setPermissions(putFile(file, whole), {}));
            else if (what == "too large")
                QVERIFY(QFile(putFile(file, whole)).resize(qint64(3) << 30)); // sparse: takes no room
            WithoutFileRights user;
            if (what == "not readable" && QFile(file).open(QIODevice::ReadOnly))
                QSKIP("running with rights that ignore file permissions");
            QString kept;
            if (file == db.unsaved) {
                QVERIFY(db.startsUnchanged());
                kept = keptAsideTold(file, DataNotice::Kind::unsavedUnreadable);
            } else {
                DataNotices::get().restoreKept(file);
                kept = keptAsideTold(file, DataNotice::Kind::noticesUnreadable);
            }
            QVERIFY2(!kept.isEmpty(), qPrintable(file));
            QCOMPARE(QFileInfo(kept).isSymLink(), what.startsWith("a link"));
            QCOMPARE(QFileInfo(kept + "/inside").exists(), what == "a folder");
            QCOMPARE(fileBytes(elsewhere), whole); // a link's file is left as it was
            // Told once: the next start finds nothing under the name.
            if (file == db.unsaved)
                QVERIFY(db.startsUnchanged());
            else
                DataNotices::get().restoreKept(file);
            QVERIFY(DataNotices::get().take().empty());
        }
        QCOMPARE(fileBytes(outside.filePath("unsaved")), wholeChanges);
        QCOMPARE(fileBytes(outside.filePath("notices")), wholeNotices);
    }

    // A link at either name had the file it leads to replaced with Mivo's data, or, leading to a file
    // the user may not write, the changes lost at quit. The link is replaced by the file, and what it
    // led to is left as it was; a folder in the way is kept under another name.
    void sideFilesAreWrittenInPlaceOfALinkNeverThroughIt_data() {
        QTest::addColumn<QString>("what");
        for (const char *what :
             {"a link to a file", "a link to a read-only file", "a link to nothing", "a folder"})
            QTest::newRow(what) << QString::fromLatin1(what);
    }
    void sideFilesAreWrittenInPlaceOfALinkNeverThroughIt() {
        QFETCH(QString, what);
        Stored db;
        QTemporaryDir outside;
        const QByteArray theirs = "the user's own file";
        const QString target = putFile(outside.filePath("own.txt"), theirs);
        if (what == "a link to a read-only file") QFile::setPermissions(target, QFile::ReadOwner);
        for (const QString &file : {db.unsaved, db.notices}) {
            if (what == "a folder")
                QVERIFY(QDir().mkdir(file) && !putFile(file + "/inside", "x").isEmpty());
            else
                QVERIFY(QFile::link(what == "a link to nothing" ? outside.filePath("gone") : target, file));
            WithoutFileRights user;
            if (file == db.unsaved) {
                QString error;
                QVERIFY2(Stored::changes().write(file, &error), qPrintable(error));
            } else {
                DataNotices::get().add({QString(), "/d/m.unreadable-1", "/d/m"});
                QVERIFY(DataNotices::get().keepPending(file));
                DataNotices::get().take();
            }
            QCOMPARE(fileBytes(target), theirs);
            QVERIFY(!isThere(outside.filePath("gone")));
            QVERIFY(QFileInfo(file).isFile() && !QFileInfo(file).isSymLink());
            if (what == "a folder") {
                const QStringList aside =
                    QDir(db.dir.path()).entryList({QFileInfo(file).fileName() + ".unreadable-*"});
                QCOMPARE(aside.size(), 1);
                QCOMPARE(fileBytes(db.dir.filePath(aside[0]) + "/inside"), QByteArray("x"));
            }
        }
        // And read back whole.
        QVERIFY(UnsavedAtQuit::read(db.unsaved));
        DataNotices::get().restoreKept(db.notices);
        QCOMPARE(DataNotices::get().take().size(), size_t(1));
    }

    // A locked quit where the user changed nothing keeps the timer's own position (time left, when
    // it was saved): written at the next start, but "Your last changes are saved" would be untrue.
    void theTimersOwnPositionIsWrittenWithoutTellingTheUser() {
        for (bool userChanged : {false, true}) {
            Stored db;
            UnsavedAtQuit kept;
            kept.edits = {{kPhase, value(QStringLiteral("work")), std::nullopt},
                          {kRemaining, value(812.5), std::nullopt},
                          {kTimestamp, value(1.7e9), std::nullopt},
                          {kWasRunning, value(true), std::nullopt},
                          {kCycleCount, value(qint64(2)), std::nullopt}};
            if (userChanged) kept.edits.push_back({kWorkMins, value(qint64(50)), std::nullopt});
            QString error;
            QVERIFY(kept.write(db.unsaved, &error));
            {
                Prefs p(db.path);
                QCOMPARE(p.doubleValue(kRemaining), 812.5);
                QVERIFY(p.flush());
            }
            QVERIFY(!isThere(db.unsaved));
            const std::vector<DataNotice> told = DataNotices::get().take();
            QCOMPARE(told.size(), size_t(userChanged ? 1 : 0));
            if (userChanged) QCOMPARE(told[0].kind, DataNotice::Kind::savedAtStart);
        }
    }
};

QTEST_GUILESS_MAIN(TstSideFiles)
#include "tst_side_files.moc"
