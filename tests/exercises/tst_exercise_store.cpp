#include "common/TestEnv.h"
#include "exercises/BuiltInExercises.h"
#include "exercises/ExerciseStore.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "ui/Lang.h"
#include <QtTest>
#include <limits>

namespace {
Exercise userExercise(const QString &id, const QString &category = QStringLiteral("Health")) {
    Exercise e;
    e.id = id;
    e.name = QStringLiteral("Mine ") + id;
    e.emoji = QStringLiteral("🙂");
    e.category = category;
    e.steps = {{QStringLiteral("S1"), QStringLiteral("One"), QStringLiteral("Do it"), 30, {}, {}, {}}};
    return e;
}

QByteArray exerciseJson(const QString &id, const QByteArray &duration = "30", bool builtIn = false) {
    return "{\"id\":\"" + id.toUtf8() +
           "\",\"name\":\"N\",\"emoji\":\"E\",\"category\":\"Other\",\"steps\":[{\"id\":\"s\",\"title\":"
           "\"T\","
           "\"instruction\":\"I\",\"durationSecs\":" +
           duration + "}],\"isBuiltIn\":" + (builtIn ? "true" : "false") + ",\"accentHex\":\"22C970\"}";
}

struct PostCounter {
    int count = 0;
    QObject ctx;
    PostCounter() {
        Notifier::get().observe(Notify::exercisesChanged, &ctx, [this](QObject *) { ++count; });
    }
};
} // namespace

// The exercise library: built-ins first in the interface language, the user's own after them, and
// only the user's own ever written.
class TstExerciseStore : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;

private slots:
    void init() {
        prefs = std::make_unique<TempPrefs>();
        ExerciseStore::resetForTests();
    }
    void cleanup() {
        ExerciseStore::resetForTests();
        prefs.reset();
    }

    // Built-in records found in the stored library are dropped: the built-ins come from the program.
    void builtInsComeFirstInTableOrder() {
        prefs->prefs().setData(kExerciseLibrary,
                               "[" + exerciseJson("x", "5", true) + "," + exerciseJson("u1") + "]");
        const auto &list = ExerciseStore::shared().exercises();
        QCOMPARE(list.size(), size_t(9));
        // The table of the built-ins: id, emoji, name, category, accent and each step's seconds.
        const QStringList table = {
            "builtin-eyes 👁 Eyes 20-20-20|Health|40E8D0|20 10 15",
            "builtin-neck 🧘 Neck & Shoulders|Stretching|F0A030|20 20 20 15",
            "builtin-wrist 🤲 Wrists|Stretching|E040FB|20 20 20",
            "builtin-back 🏃 Back|Stretching|22C970|30 20 30",
            "builtin-breath 🌬 4-7-8 Breathing|Relaxation|4488FF|4 7 8 4 7 8",
            "builtin-box 🟦 Box Breathing|Relaxation|5577FF|4 4 4 4 4 4 4 4",
            "builtin-belly 🫁 Belly Breathing|Relaxation|33AACC|8 5 6 5 6 5 6",
            "builtin-sigh 😮\u200d💨 Cyclic Sighing|Relaxation|AA55EE|3 2 7 3 2 7 3 2 7"};
        QStringList got;
        for (size_t i = 0; i < 8; ++i) {
            const Exercise &e = list[i];
            QStringList secs;
            for (const ExerciseStep &st : e.steps) secs << QString::number(st.durationSecs);
            got << QStringLiteral("%1 %2 %3|%4|%5|%6").arg(e.id, e.emoji, e.name, e.category, e.accentHex, secs.join(' '));
            QVERIFY(e.isBuiltIn);
        }
        QCOMPARE(got, table);
        QCOMPARE(list[8].id, QStringLiteral("u1"));
        QCOMPARE(ExerciseStore::shared().exportJSON(), "[" + exerciseJson("u1") + "]");
    }

    void anUnreadableLibraryIsKeptAsideNotOverwritten() {
        const QByteArray bad = "[" + exerciseJson("u") + ",{\"id\":\"broken\"}]";
        prefs->prefs().setData(kExerciseLibrary, bad);
        ExerciseStore &s = ExerciseStore::shared();
        QCOMPARE(s.exercises().size(), size_t(8));
        const QString aside = s.loadReport().keptAsideKey;
        QVERIFY(!aside.isEmpty());
        s.add(userExercise("new"));
        QCOMPARE(prefs->prefs().data(aside), bad);
    }

    void stepLengthsAreClampedNotRefused_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("negative") << QByteArray("-5") << qint64(0);
        QTest::newRow("a day") << QByteArray("86400") << qint64(86400);
        QTest::newRow("too long") << QByteArray("100000") << qint64(86400);
        QTest::newRow("beyond 64 bits") << QByteArray("18446744073709551615") << qint64(86400);
        QTest::newRow("float notation") << QByteArray("1e30") << qint64(86400);
        QTest::newRow("negative float") << QByteArray("-1e30") << qint64(0);
    }
    void stepLengthsAreClampedNotRefused() {
        QFETCH(QByteArray, stored);
        QFETCH(qint64, expected);
        const auto e = ExerciseJson::decodeOne(exerciseJson("u", stored));
        QVERIFY(e);
        QCOMPARE(e->steps[0].durationSecs, expected);
    }

    void wrongTypesMakeTheDocumentUnreadable_data() {
        QTest::addColumn<QByteArray>("doc");
        QTest::newRow("fractional length") << ("[" + exerciseJson("u", "3.5") + "]");
        QTest::newRow("string length") << ("[" + exerciseJson("u", "\"30\"") + "]");
        QTest::newRow("link not a string") << QByteArray(
            "[{\"id\":\"u\",\"name\":\"N\",\"emoji\":\"E\",\"category\":\"C\",\"steps\":[{\"id\":\"s\","
            "\"title\":\"T\",\"instruction\":\"I\",\"durationSecs\":1,\"videoURL\":5}],"
            "\"isBuiltIn\":false,\"accentHex\":\"\"}]");
        QTest::newRow("missing accent")
            << QByteArray("[{\"id\":\"u\",\"name\":\"N\",\"emoji\":\"E\",\"category\":\"C\",\"steps\":[],"
                          "\"isBuiltIn\":false}]");
        QTest::newRow("not an array") << exerciseJson("u");
        QTest::newRow("deep nesting") << QByteArray(100000, '[');
    }
    void wrongTypesMakeTheDocumentUnreadable() {
        QFETCH(QByteArray, doc);
        QVERIFY(!ExerciseJson::decodeList(doc));
    }

    void encodingWritesLinksOnlyWhenPresent() {
        Exercise e = userExercise("u");
        e.steps.push_back(
            {"S2", "Two", "Watch", 5, std::nullopt, std::nullopt, QStringLiteral("https://x.org/v")});
        e.steps[0].imagePath = QStringLiteral("/tmp/a.png");
        QCOMPARE(
            ExerciseJson::encodeOne(e),
            QByteArray(
                "{\"id\":\"u\",\"name\":\"Mine u\",\"emoji\":\"🙂\",\"category\":\"Health\",\"steps\":["
                "{\"id\":\"S1\",\"title\":\"One\",\"instruction\":\"Do it\",\"durationSecs\":30,"
                "\"imagePath\":\"/tmp/a.png\"},"
                "{\"id\":\"S2\",\"title\":\"Two\",\"instruction\":\"Watch\",\"durationSecs\":5,"
                "\"videoURL\":\"https://x.org/v\"}],\"isBuiltIn\":false,\"accentHex\":\"22C970\"}"));
        QCOMPARE(*ExerciseJson::decodeOne(ExerciseJson::encodeOne(e)), e);
        Exercise none = userExercise("n");
        none.steps.clear();
        QCOMPARE(none.totalDuration(), 0);
        QVERIFY(ExerciseJson::encodeOne(none).contains("\"steps\":[]"));
    }

    void totalDurationSaturates() {
        Exercise e = userExercise("u");
        e.steps.push_back(e.steps[0]);
        e.steps[0].durationSecs = e.steps[1].durationSecs = std::numeric_limits<qint64>::max() - 1;
        QCOMPARE(e.totalDuration(), std::numeric_limits<qint64>::max());
    }

    void updateAndDelete() {
        ExerciseStore &s = ExerciseStore::shared();
        PostCounter posts;
        s.update(userExercise("nobody"));
        QCOMPARE(posts.count, 0);
        QVERIFY(!prefs->prefs().contains(kExerciseLibrary));
        s.remove(QStringLiteral("builtin-eyes"));
        QCOMPARE(posts.count, 1);
        QVERIFY(!s.find(QStringLiteral("builtin-eyes")));
        QCOMPARE(prefs->prefs().data(kExerciseLibrary), QByteArray("[]"));
        QCOMPARE(s.importJSON("[" + exerciseJson("builtin-eyes") + "]"), 0); // a deleted built-in's id stays taken
        s.reseedBuiltIn();
        QCOMPARE(s.exercises().front().id, QStringLiteral("builtin-eyes"));
    }

    void importJSONCounts_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("added");
        QTest::newRow("empty array") << QByteArray("[]") << 0;
        QTest::newRow("single object") << exerciseJson("a") << -1;
        QTest::newRow("same id twice") << ("[" + exerciseJson("a") + "," + exerciseJson("a") + "]") << 1;
        QTest::newRow("built-in ids")
            << ("[" + exerciseJson("builtin-eyes") + "," + exerciseJson("builtin-box") + "]") << 0;
        QTest::newRow("two new") << ("[" + exerciseJson("a") + "," + exerciseJson("b", "1", true) + "]") << 2;
        QTest::newRow("garbage") << QByteArray("\xff\xfe") << -1;
    }
    void importJSONCounts() {
        QFETCH(QByteArray, file);
        QFETCH(int, added);
        ExerciseStore &s = ExerciseStore::shared();
        PostCounter posts;
        QCOMPARE(s.importJSON(file), added);
        QCOMPARE(posts.count, added < 0 ? 0 : 1);
        QCOMPARE(s.exercises().size(), size_t(8 + std::max(added, 0)));
        for (std::size_t i = 8; i < s.exercises().size(); ++i)
            QVERIFY(!s.exercises()[i].isBuiltIn);
    }

    void importingACopyOfABuiltInGivesItAFreshId() {
        ExerciseStore &s = ExerciseStore::shared();
        const QByteArray exported = *s.exportOne(QStringLiteral("builtin-neck"));
        QVERIFY(exported.contains("\"isBuiltIn\":true"));
        QVERIFY(s.importOne(exported));
        const Exercise &builtIn = *s.find(QStringLiteral("builtin-neck"));
        QVERIFY(builtIn.isBuiltIn);
        const Exercise &copy = s.exercises().back();
        QVERIFY(!copy.isBuiltIn);
        QVERIFY(copy.id != QStringLiteral("builtin-neck"));
        QCOMPARE(copy.name, builtIn.name);
        // Deleting the copy leaves the built-in alone.
        s.remove(copy.id);
        QVERIFY(s.find(QStringLiteral("builtin-neck")));
    }

    void importOneReplacesInPlaceOrAppends() {
        ExerciseStore &s = ExerciseStore::shared();
        s.add(userExercise("a"));
        s.add(userExercise("b"));
        QByteArray again = exerciseJson("a");
        QVERIFY(s.importOne(again));
        QCOMPARE(s.exercises()[8].id, QStringLiteral("a"));
        QCOMPARE(s.exercises()[8].name, QStringLiteral("N"));
        QVERIFY(!s.importOne("[" + exerciseJson("c") + "]"));
        QVERIFY(s.importOne(exerciseJson("c")));
        QCOMPARE(s.exercises().back().id, QStringLiteral("c"));
    }

    void byCategoryFollowsTheLanguage() {
        ExerciseStore &s = ExerciseStore::shared();
        s.add(userExercise("h", QStringLiteral("Health")));
        s.add(userExercise("z", QStringLiteral("Zen")));
        s.add(userExercise("o", QStringLiteral("Other")));
        auto names = [&] {
            QStringList out;
            for (const auto &g : s.byCategory())
                out << g.first;
            return out;
        };
        QCOMPARE(names(), QStringList({"Health", "Stretching", "Relaxation", "Other", "Zen"}));
        L::setLang(AppLang::de);
        Notifier::get().post(Notify::languageChanged);
        QCOMPARE(s.find(QStringLiteral("builtin-eyes"))->name, QStringLiteral("Augen 20-20-20"));
        QCOMPARE(names(), QStringList({"Gesundheit", "Dehnen", "Entspannung", "Health", "Zen", "Other"}));
        QCOMPARE(s.exercises()[8].id, QStringLiteral("h"));
    }
};

QTEST_GUILESS_MAIN(TstExerciseStore)
#include "tst_exercise_store.moc"
