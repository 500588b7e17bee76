#include "common/Files.h"
#include "common/TestEnv.h"
#include "platform/Keys.h"
#include "settings/Autostart.h"
#include "settings/Backup.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The full backup file and its restore checks, and the autostart desktop entry.
class TstBackup : public QObject {
    Q_OBJECT
private slots:
    void exportWritesSortedMembersWithEscapedSlashes() {
        TempPrefs t;
        Prefs &p = t.prefs();
        p.setString(kLanguage, QStringLiteral("uk"));
        p.setBool(kSoundOn, false);
        p.setInt(kWorkMins, 25);
        p.setDouble(kBreakMins, 2.5);
        p.setData(kTasks, QByteArray("[\"?\"]"));
        p.setInt(kPomDailyGoal, 3); // not backed up
        p.setString(kTheme, QStringLiteral("dark")); // not backed up
        const auto got = Backup::exportJson(p);
        QVERIFY(got);
        // The Base64 of the document, with its "/" escaped.
        QCOMPARE(got->bytes, QByteArray("{\n"
                                        "  \"appLanguage\": \"uk\",\n"
                                        "  \"breakMins\": 2.5,\n"
                                        "  \"savedTasks\": \"WyI\\/Il0=\",\n"
                                        "  \"soundEnabled\": false,\n"
                                        "  \"workMins\": 25\n"
                                        "}"));
        QCOMPARE(Backup::exportJson(TempPrefs().prefs())->bytes, QByteArray("{}"));
    }

    // Other tools read the file: exactly these 38 keys, by name.
    void backsUpExactlyTheseKeys() {
        QStringList keys = Backup::backedUpKeys(), expected{
            "workMins", "breakMins", "longBreakMins", "cyclesBeforeLong", "soundEnabled", "notifEnabled",
            "savedPhase", "savedRemaining", "savedTimestamp", "savedRunning", "savedCycleCount", "savedTasks",
            "waterMins", "eyesMins", "postureMins", "stretchMins", "waterOn", "eyesOn", "postureOn", "stretchOn",
            "waterSnd", "eyesSnd", "postureSnd", "stretchSnd", "savedFinances", "pomTodayCount", "pomTotalCount",
            "pomStreak", "pomFocusSecs", "pomLastDate", "pomStreakLastDate", "customReminders", "exerciseLibrary",
            "exerciseHistory", "playlistState", "savedProjects", "savedNotes", "appLanguage"};
        keys.sort();
        expected.sort();
        QCOMPARE(keys, expected);
    }

    void exportOfAFullDomainRestoresEveryDocumentByteEqual() {
        TempPrefs t;
        Prefs &p = t.prefs();
        for (const QString &k : Backup::backedUpKeys()) {
            if (Backup::documentKeys().contains(k))
                p.setData(k, k == QLatin1String(kPlaylistState) ? QByteArray("{\"a\":\"x/y\"}") : QByteArray("[\"" + k.toUtf8() + "/é\"]"));
        }
        for (const char *k : {kWorkMins, kPomStreak, kRemaining}) p.setInt(k, 7);
        p.setDouble(kTimestamp, 786543210.25);
        for (const char *k : {kSoundOn, kWaterOn, kStretchSnd, kWasRunning}) p.setBool(k, true);
        for (const char *k : {kPhase, kPomLastDate, kPomStreakLast, kLanguage}) p.setString(k, QStringLiteral("2026-1-5"));
        const auto bytes = Backup::exportJson(p);
        QVERIFY(bytes);
        QVERIFY(bytes->leftOut.isEmpty() && bytes->defaulted.isEmpty());
        const auto back = Backup::parseRestore(bytes->bytes);
        QVERIFY(back);
        for (const QString &k : p.keys()) QVERIFY2(back->count(k) && back->at(k) == *p.value(k), qPrintable(k));
        QCOMPARE(back->size(), std::size_t(p.keys().size()));
    }

    // Whatever damage the domain holds, the backup restores: unreadable documents are left out and
    // named, a non-finite number becomes its default, and every member has the type the restore wants.
    void aBackupOfADamagedDomainAlwaysRestores() {
        TempPrefs t;
        Prefs &p = t.prefs();
        p.setDouble(kWorkMins, qInf());
        p.setDouble(kWaterMins, -qInf());
        p.setDouble(kPomFocusSecs, qQNaN());
        p.setBool(kPomStreak, true);
        p.setInt(kSoundOn, 0);
        p.setString(kEyesOn, QStringLiteral("no"));
        p.setInt(kWasRunning, 1);
        p.setInt(kPomLastDate, 20260105);
        p.setData(kLanguage, "uk");
        p.setData(kTasks, "[{\"id\":");
        p.setString(kNotes, QStringLiteral("[]"));
        p.setData(kPlaylistState, "[]");
        p.setData(kFinances, "[]");
        const auto ex = Backup::exportJson(p);
        QVERIFY(ex);
        QCOMPARE(ex->leftOut, (QStringList{kTasks, kPlaylistState, kNotes}));
        QCOMPARE(ex->defaulted, (QStringList{kWorkMins, kWaterMins, kPomFocusSecs}));
        const auto back = Backup::parseRestore(ex->bytes);
        QVERIFY2(back, ex->bytes.constData());
        const std::map<QString, Prefs::Value> expected = {{kWorkMins, 25.0},
                                                          {kWaterMins, 60.0},
                                                          {kPomFocusSecs, qint64(0)},
                                                          {kPomStreak, 1.0},
                                                          {kSoundOn, true},
                                                          {kEyesOn, true},
                                                          {kWasRunning, true},
                                                          {kPomLastDate, QStringLiteral("20260105")},
                                                          {kFinances, QByteArray("[]")}};
        QCOMPARE(*back, expected);
    }

    void hostileRestoreFilesAreRefused_data() {
        QTest::addColumn<QByteArray>("file");
        const QByteArray tasks = QByteArray("[]").toBase64();
        QTest::newRow("empty object") << QByteArray("{}");
        QTest::newRow("top-level array") << QByteArray("[{\"appLanguage\":\"en\"}]");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("truncated") << QByteArray("{\"appLanguage\": \"en\", \"workMins\": 2");
        QTest::newRow("unknown keys only") << QByteArray("{\"name\": \"other program\", \"version\": 3}");
        QTest::newRow("number as string") << QByteArray("{\"workMins\": \"25\"}");
        QTest::newRow("language as number") << QByteArray("{\"appLanguage\": 1}");
        QTest::newRow("switch as null") << QByteArray("{\"soundEnabled\": null}");
        QTest::newRow("infinite number") << QByteArray("{\"workMins\": 1e999}");
        QTest::newRow("document not a string") << QByteArray("{\"savedTasks\": []}");
        QTest::newRow("corrupt base64") << QByteArray("{\"savedTasks\": \"W10*\"}");
        QTest::newRow("base64 with a line break") << QByteArray("{\"savedTasks\": \"W1\\n0=\"}");
        QTest::newRow("base64 without padding") << QByteArray("{\"savedTasks\": \"W10\"}");
        QTest::newRow("document not JSON") << QByteArray("{\"savedTasks\": \"" + QByteArray("[oops").toBase64() + "\"}");
        QTest::newRow("playlist state as array") << QByteArray("{\"playlistState\": \"" + tasks + "\"}");
        QTest::newRow("tasks as object") << QByteArray("{\"savedTasks\": \"" + QByteArray("{}").toBase64() + "\"}");
    }

    void hostileRestoreFilesAreRefused() {
        QFETCH(QByteArray, file);
        QVERIFY(!Backup::parseRestore(file));
    }

    // Good members read; one bad member spoils the whole file. Each member must have the type the
    // export writes: no true/false for a number, no number or text for a switch.
    void oneBadMemberAmongGoodOnes() {
        const QByteArray good = "{\"appLanguage\": \"de\", \"savedTasks\": \"W10=\", \"workMins\": 25";
        QCOMPARE(Backup::parseRestore(good + "}").value_or(std::map<QString, Prefs::Value>{}).size(), std::size_t(3));
        for (const char *bad : {"\"eyesOn\": \"yes\"", "\"soundEnabled\": 0", "\"breakMins\": true"})
            QVERIFY2(!Backup::parseRestore(good + ", " + bad + "}"), bad);
    }

    void unknownMembersBesideKnownOnesAreIgnored() {
        const auto r = Backup::parseRestore("{\"appLanguage\": \"fr\", \"appTheme\": \"dark\", \"x\": [1, null]}");
        QVERIFY(r);
        QCOMPARE(r->size(), std::size_t(1));
        QCOMPARE(std::get<QString>(r->at(kLanguage)), QStringLiteral("fr"));
    }

    void restoreKeepsTheAutostartFlagAndKeptAsideCopies() {
        TempPrefs t;
        Prefs &p = t.prefs();
        p.setBool(kAutostartDefaultSet, true);
        p.setData(QStringLiteral("savedTasks.unreadable-20260101"), "junk");
        p.setString(kTheme, QStringLiteral("pink"));
        p.setData(kNotes, "[1]");
        const auto d = Backup::restoredDomain(p, {{QString::fromLatin1(kLanguage), Prefs::Value(QStringLiteral("pl"))}});
        QCOMPARE(d.size(), std::size_t(3));
        QVERIFY(d.count(kAutostartDefaultSet) && d.count(QStringLiteral("savedTasks.unreadable-20260101")));
        QVERIFY(!d.count(kTheme) && !d.count(kNotes));
    }

    void autostartFileBytesAndEscaping_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("exec");
        QTest::newRow("plain") << "/usr/bin/mivo" << QByteArray("\"/usr/bin/mivo\"");
        QTest::newRow("space") << "/home/a b/mivo" << QByteArray("\"/home/a b/mivo\"");
        QTest::newRow("percent") << "/opt/100%/mivo" << QByteArray("\"/opt/100%%/mivo\"");
        QTest::newRow("quote") << "/x\"y/mivo" << QByteArray("\"/x\\\\\"y/mivo\"");
        QTest::newRow("dollar and backtick") << "/a$b`c" << QByteArray("\"/a\\\\$b\\\\`c\"");
        QTest::newRow("backslash") << "/a\\b" << QByteArray("\"/a\\\\\\\\b\"");
        QTest::newRow("control character") << "/a\nb" << QByteArray();
    }

    void autostartFileBytesAndEscaping() {
        QFETCH(QString, path);
        QFETCH(QByteArray, exec);
        const auto text = Autostart::fileText(path);
        if (exec.isEmpty()) {
            QVERIFY(!text);
            QTemporaryDir dir;
            QVERIFY(!Autostart::set(true, path, dir.filePath("a.desktop")));
            QVERIFY(!QFile::exists(dir.filePath("a.desktop")));
            return;
        }
        QVERIFY(text);
        QCOMPARE(*text, "[Desktop Entry]\nType=Application\nName=Mivo\nIcon=com.mivo.app\nExec=" + exec +
                            "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    }

    // Autostart starts the Mivo the user runs: the installed one after the build folder's and back;
    // a file edited by hand or switched off by a desktop tool stays as it is.
    void autostartFollowsTheRunningExecutable() {
        QTemporaryDir dir;
        const QString file = dir.filePath("a.desktop");
        QVERIFY(Autostart::set(true, "/home/u/mivo/build/mivo", file));
        QVERIFY(!Autostart::followExecutable("/home/u/mivo/build/mivo", file));
        QVERIFY(Autostart::followExecutable("/usr/bin/mivo", file));
        QCOMPARE(fileBytes(file), *Autostart::fileText("/usr/bin/mivo"));
        for (const QByteArray &extra : {QByteArray("\nHidden=true"), QByteArray("\nComment=mine")}) {
            const QByteArray edited = *Autostart::fileText("/usr/bin/mivo") + extra;
            putFile(file, edited);
            QVERIFY(!Autostart::followExecutable("/opt/mivo/bin/mivo", file));
            QCOMPARE(fileBytes(file), edited);
        }
        QVERIFY(!Autostart::followExecutable("/usr/bin/mivo", dir.filePath("none.desktop")));
        QVERIFY(!QFile::exists(dir.filePath("none.desktop")));

        // The entry an earlier version wrote (no icon, no final line feed) is ours: it gets the icon,
        // for the same executable too; edited, it is the user's.
        const QByteArray old = "[Desktop Entry]\nType=Application\nName=Mivo\nExec=\"/usr/bin/mivo\"\n"
                               "Terminal=false\nX-GNOME-Autostart-enabled=true";
        putFile(file, old);
        QVERIFY(Autostart::followExecutable("/usr/bin/mivo", file));
        QCOMPARE(fileBytes(file), *Autostart::fileText("/usr/bin/mivo"));
        for (const QByteArray &edited : {old + "\nHidden=false", old + "\n", QByteArray(old).replace("Mivo\n", "Mivo\nIcon=x\n")}) {
            putFile(file, edited);
            QVERIFY(!Autostart::followExecutable("/usr/bin/mivo", file));
            QCOMPARE(fileBytes(file), edited);
        }
    }

    // Autostart is on after the first start, once per domain: a later start leaves an entry the user
    // switched off or deleted alone, and an entry that is there already is not rewritten or flagged.
    void firstStartDefaultRunsOnce() {
        TempPrefs t;
        Prefs &p = t.prefs();
        QTemporaryDir dir;
        const QString file = dir.filePath("autostart/com.mivo.app.desktop");
        QVERIFY(Autostart::applyFirstStartDefault(p, "/usr/bin/mivo", file));
        QCOMPARE(fileBytes(file), *Autostart::fileText("/usr/bin/mivo"));
        QVERIFY(p.boolValue(kAutostartDefaultSet));
        QVERIFY(!Autostart::applyFirstStartDefault(p, "/opt/other/mivo", file));
        QCOMPARE(fileBytes(file), *Autostart::fileText("/usr/bin/mivo"));
        QVERIFY(QFile::remove(file)); // by hand, or the switch turned off
        QVERIFY(!Autostart::applyFirstStartDefault(p, "/usr/bin/mivo", file));
        QVERIFY(!QFile::exists(file));

        // An erase takes the flag: the next start turns autostart on again.
        p.remove(kAutostartDefaultSet);
        QVERIFY(Autostart::applyFirstStartDefault(p, "/usr/bin/mivo", file));
        QVERIFY(Autostart::isOn(file));

        // An entry found without the flag is the user's setting: left as it is, nothing flagged.
        p.remove(kAutostartDefaultSet);
        putFile(file, "[Desktop Entry]\nHidden=true");
        QVERIFY(!Autostart::applyFirstStartDefault(p, "/usr/bin/mivo", file));
        QCOMPARE(fileBytes(file), QByteArray("[Desktop Entry]\nHidden=true"));
        QVERIFY(!p.contains(kAutostartDefaultSet));
    }

    void autostartFolderFollowsXdgConfigHome() {
        const QByteArray old = qgetenv("XDG_CONFIG_HOME");
        const QString fallback = QDir::homePath() + "/.config/autostart/com.mivo.app.desktop";
        qputenv("XDG_CONFIG_HOME", "/tmp/cfg");
        QCOMPARE(Autostart::filePath(), QStringLiteral("/tmp/cfg/autostart/com.mivo.app.desktop"));
        qputenv("XDG_CONFIG_HOME", "relative/cfg");
        QCOMPARE(Autostart::filePath(), fallback);
        qputenv("XDG_CONFIG_HOME", "");
        QCOMPARE(Autostart::filePath(), fallback);
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(Autostart::filePath(), fallback);
        qputenv("XDG_CONFIG_HOME", old);
    }

    void autostartReadsOffWhenDesktopToolsDisabledIt() {
        QTemporaryDir dir;
        const QString path = dir.filePath("deep/autostart/com.mivo.app.desktop");
        QVERIFY(!Autostart::isOn(path));
        QVERIFY(Autostart::set(true, "/usr/bin/mivo", path));
        QVERIFY(Autostart::isOn(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("\nHidden=true");
        f.close();
        QVERIFY(!Autostart::isOn(path));
        QVERIFY(Autostart::set(true, "/usr/bin/mivo", path)); // switching on again replaces the file
        QVERIFY(Autostart::isOn(path));
        QVERIFY(Autostart::set(false, "/usr/bin/mivo", path));
        QVERIFY(!QFile::exists(path));
        QVERIFY(Autostart::set(false, "/usr/bin/mivo", path)); // already gone: nothing to do
    }
};

QTEST_MAIN(TstBackup)
#include "tst_backup.moc"
