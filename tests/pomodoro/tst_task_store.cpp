#include "platform/Keys.h"
#include "common/Records.h"
#include "common/Posts.h"
#include "common/TestEnv.h"
#include "platform/Notifier.h"
#include "pomodoro/TaskStore.h"
#include <QRandomGenerator>
#include <QtTest>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>

namespace {
QStringList ids(const std::vector<Task> &list) {
    QStringList out;
    for (const Task &t : list)
        out << t.id;
    return out;
}

const char kOneTask[] =
    R"([{"id":"A","title":"Call","description":"","category":"work","day":5,"month":3,"year":2026,"completed":false}])";
} // namespace

class TestTaskStore : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;
    QByteArray stored() { return prefs->prefs().data(kTasks); }

private slots:
    void init() {
        prefs = std::make_unique<TempPrefs>();
        TaskStore::resetForTests();
    }
    void cleanup() {
        TaskStore::resetForTests();
        prefs.reset();
    }

    void newTaskIsDatedTodayWithAnUpperCaseUuid() {
        TestClock clock(QDateTime(QDate(2026, 3, 5), QTime(23, 30)));
        const Task t(QStringLiteral("Call"), QStringLiteral("work"), QStringLiteral("about x"));
        QCOMPARE(QList<qint64>({t.day, t.month, t.year}), QList<qint64>({5, 3, 2026}));
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"))
                    .match(t.id)
                    .hasMatch());
    }

    void addWritesTheExactDocumentAndPostsAfterwards() {
        TaskStore &store = TaskStore::shared();
        Posts posts(Notify::tasksChanged);
        QByteArray seenOnPost;
        Notifier::get().observe(Notify::tasksChanged, &posts.ctx, [&](QObject *) { seenOnPost = stored(); });
        store.add(
            makeTask(QStringLiteral("A"), QStringLiteral("work"), 5, 3, 2026, false, QStringLiteral("Call")));
        QCOMPARE(stored(), QByteArray(kOneTask));
        QCOMPARE(seenOnPost, QByteArray(kOneTask)); // the post comes after the write
        QCOMPARE(posts.sender, &store);
    }

    void textIsWrittenAsUtf8WithJsonEscapes() {
        Task t = makeTask(QStringLiteral("B"), QStringLiteral("health"), 1, 12, 2025, true,
                      QStringLiteral("Laufen \"5 km\" / Ü"));
        t.description = QStringLiteral("line1\nline2\t\\ 🏃");
        const QByteArray golden =
            "[{\"id\":\"B\",\"title\":\"Laufen \\\"5 km\\\" / Ü\",\"description\":\"line1\\nline2\\t\\\\ 🏃\","
            "\"category\":\"health\",\"day\":1,\"month\":12,\"year\":2025,\"completed\":true}]";
        QCOMPARE(encodeTasks({t}), golden);
        QVERIFY(decodeTasks(golden)->front() == t);
    }

    // The document writer must give the bytes nlohmann's ordered_json would, for any text.
    void documentBytesMatchAnOrderedJsonDump() {
        QString awkward;
        for (char16_t c = 0; c < 0x20; ++c)
            awkward += QChar(c);
        awkward += QStringLiteral("\x7f \"q\" \\ / ü € 🏃 ⭐️ end");
        const QString loneSurrogate = QString(QChar(0xD83C)) + QStringLiteral("x");
        Task t = makeTask(awkward, loneSurrogate, -1, 0, std::numeric_limits<qint64>::min(), true, awkward);
        t.description = QStringLiteral("a\r\nb");
        const nlohmann::ordered_json o = {{"id", t.id.toStdString()},
                                          {"title", t.title.toStdString()},
                                          {"description", t.description.toStdString()},
                                          {"category", t.category.toStdString()},
                                          {"day", t.day},
                                          {"month", t.month},
                                          {"year", t.year},
                                          {"completed", t.completed}};
        const nlohmann::ordered_json doc = nlohmann::ordered_json::array({o, o});
        const std::string expected =
            doc.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
        QCOMPARE(encodeTasks({t, t}), QByteArray::fromStdString(expected));
        QCOMPARE(decodeTasks(encodeTasks({t}))->front().title, awkward);
    }

    void decoding_data() {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<bool>("readable");
        const QByteArray ok =
            R"([{"id":"A","title":"x","description":"","category":"work","day":1,"month":2,"year":2026,"completed":true}])";
        auto with = [&](const char *from, const char *to) { return QByteArray(ok).replace(from, to); };
        QTest::newRow("complete") << ok << true;
        QTest::newRow("integral float day") << with("\"day\":1,", "\"day\":1.0,") << true;
        QTest::newRow("empty array") << QByteArray("[]") << true;
        QTest::newRow("missing completed") << with(",\"completed\":true", "") << false;
        QTest::newRow("completed as number") << with("true", "1") << false;
        QTest::newRow("day as string") << with("\"day\":1,", "\"day\":\"1\",") << false;
        QTest::newRow("fractional day") << with("\"day\":1,", "\"day\":1.5,") << false;
        QTest::newRow("year beyond 64 bits") << with("2026", "18446744073709551615") << false;
        QTest::newRow("second record bad") << with("}]", "},{\"id\":\"B\"}]") << false;
        QTest::newRow("object not array") << QByteArray("{\"id\":\"A\"}") << false;
        QTest::newRow("truncated") << QByteArray("[{\"id\":\"A\",") << false;
        QTest::newRow("trailing garbage") << QByteArray("[]x") << false;
    }
    void decoding() {
        QFETCH(QByteArray, doc);
        QFETCH(bool, readable);
        QCOMPARE(decodeTasks(doc).has_value(), readable);
    }

    // A record's members are found in any order, with keys the app does not know among them; a key
    // that repeats counts with its last value, and one that is missing makes the record unreadable.
    void membersAreFoundInAnyOrder() {
        const QList<QPair<QByteArray, QByteArray>> members{
            {"id", "\"A\""},  {"title", "\"x\""}, {"description", "\"d\""}, {"category", "\"work\""},
            {"day", "1"},     {"month", "2"},     {"year", "2026"},          {"completed", "true"}};
        const Task withDescription = makeTask("A", "work", 1, 2, 2026, true, "x", "d");
        auto doc = [](const QList<QPair<QByteArray, QByteArray>> &m) {
            QByteArrayList parts;
            for (const auto &[k, v] : m) parts << '"' + k + "\":" + v;
            return "[{" + parts.join(',') + "}]";
        };
        QRandomGenerator rng(7);
        for (int round = 0; round < 200; ++round) {
            auto m = members;
            std::shuffle(m.begin(), m.end(), rng);
            const int extra = int(rng.bounded(m.size() + 1));
            m.insert(extra, {"unknown", "{\"day\":5}"});
            // A key given twice: first with a value that would not do, then with the right one.
            const int twice = int(rng.bounded(members.size()));
            const int firstAt = int(rng.bounded(m.size() + 1));
            m.insert(firstAt, {members[twice].first, "null"});
            m.append(members[twice]);
            const auto got = decodeTasks(doc(m));
            QVERIFY2(got && got->size() == 1 && got->front() == withDescription, doc(m).constData());
            // The other way round, the last value is the wrong one.
            auto wrongLast = m;
            wrongLast.removeLast();
            wrongLast.append({members[twice].first, "null"});
            QVERIFY2(!decodeTasks(doc(wrongLast)), doc(wrongLast).constData());
            // Without one of them.
            auto missing = m;
            const QByteArray gone = members[int(rng.bounded(members.size()))].first;
            missing.removeIf([&](const auto &kv) { return kv.first == gone; });
            QVERIFY2(!decodeTasks(doc(missing)), doc(missing).constData());
        }
    }

    void unreadableDocumentIsKeptAsideAndSurvivesTheNextSave() {
        TestClock clock(QDateTime(QDate(2026, 3, 5), QTime(9, 0)));
        const QByteArray bad =
            R"([{"id":"A","title":"x","description":"","category":"work","day":1,"month":2,"year":2026}])";
        prefs->prefs().setData(kTasks, bad);
        prefs->prefs().flush();

        TaskStore &store = TaskStore::shared();
        QVERIFY(store.tasks().empty());
        const QString aside = store.loadReport().keptAsideKey;
        QCOMPARE(prefs->prefs().data(aside), bad);

        store.add(
            makeTask(QStringLiteral("A"), QStringLiteral("work"), 5, 3, 2026, false, QStringLiteral("Call")));
        QCOMPARE(stored(), QByteArray(kOneTask));
        QVERIFY(prefs->prefs().flush());
        prefs->reopen();
        QCOMPARE(prefs->prefs().data(aside), bad);
        QCOMPARE(prefs->prefs().data(kTasks), QByteArray(kOneTask));
    }

    void documentStoredAsTextIsKeptAsideToo() {
        prefs->prefs().setString(kTasks, QStringLiteral("[]"));
        TaskStore store;
        QCOMPARE(prefs->prefs().string(store.loadReport().keptAsideKey), QStringLiteral("[]"));
    }

    void unknownCategoryIsKeptAndOnlyListedWithoutCategory() {
        TaskStore store;
        store.add(makeTask(QStringLiteral("A"), QStringLiteral("Work"), 1, 1, 2026, true));
        store.add(makeTask(QStringLiteral("B"), QStringLiteral("work"), 2, 1, 2026, true));
        QVERIFY(!TaskCats::fromRaw(QStringLiteral("Work")));
        QCOMPARE(ids(store.forCat(std::nullopt)), QStringList({"A", "B"}));
        for (TaskCat c : TaskCats::allCases)
            QVERIFY(!ids(store.forCat(c)).contains(QStringLiteral("A")));
        QCOMPARE(store.totalForCat(TaskCat::work), 1);
        QVERIFY(stored().contains("\"category\":\"Work\""));
    }

    void forCatSortsByDateAndKeepsStoreOrderWithinADay() {
        TaskStore store;
        store.add(makeTask(QStringLiteral("feb-1"), QStringLiteral("work"), 3, 2, 2026));
        store.add(makeTask(QStringLiteral("jan27"), QStringLiteral("work"), 1, 1, 2027));
        store.add(makeTask(QStringLiteral("feb-2"), QStringLiteral("work"), 3, 2, 2026));
        store.add(makeTask(QStringLiteral("dec25"), QStringLiteral("work"), 31, 12, 2025));
        store.add(makeTask(QStringLiteral("other"), QStringLiteral("health"), 1, 1, 2000));
        QCOMPARE(ids(store.forCat(TaskCat::work)), QStringList({"dec25", "feb-1", "feb-2", "jan27"}));
        QCOMPARE(ids(store.tasks()),
                 QStringList({"feb-1", "jan27", "feb-2", "dec25", "other"})); // never re-sorted
    }

    void duplicateIdsChangeOnlyTheFirstAndRemoveDeletesAll() {
        TaskStore store;
        store.replaceAll({makeTask(QStringLiteral("D"), QStringLiteral("work"), 1, 1, 2026),
                          makeTask(QStringLiteral("X"), QStringLiteral("work"), 1, 1, 2026),
                          makeTask(QStringLiteral("D"), QStringLiteral("work"), 1, 1, 2026)});

        Task changed =
            makeTask(QStringLiteral("D"), QStringLiteral("health"), 9, 9, 2029, false, QStringLiteral("new"));
        store.update(changed);
        QCOMPARE(store.tasks()[0], changed);
        QCOMPARE(store.tasks()[2].title, QStringLiteral("t"));

        store.toggle(QStringLiteral("D"));
        QVERIFY(store.tasks()[0].completed);
        QVERIFY(!store.tasks()[2].completed);

        store.move(QStringLiteral("D"), QStringLiteral("study"));
        QCOMPARE(store.tasks()[0].category, QStringLiteral("study"));
        QCOMPARE(store.tasks()[2].category, QStringLiteral("work"));

        store.moveTask(QStringLiteral("D"), QStringLiteral("projects"), 7, 8, 2030);
        QCOMPARE(store.tasks()[0].year, 2030);
        QCOMPARE(store.tasks()[2].year, 2026);

        store.remove(QStringLiteral("D"));
        QCOMPARE(ids(store.tasks()), QStringList({"X"}));
        QCOMPARE(ids(*decodeTasks(stored())), QStringList({"X"}));
    }

    // Done over all as a fraction, not cut to a whole number: 1 of 3 is a third.
    void progressIsTheDoneFraction() {
        TaskStore store;
        QCOMPARE(store.progress(), 0.0);
        store.replaceAll({makeTask(QStringLiteral("a"), QStringLiteral("work"), 1, 1, 2026, true),
                          makeTask(QStringLiteral("b"), QStringLiteral("work"), 1, 1, 2026),
                          makeTask(QStringLiteral("c"), QStringLiteral("work"), 1, 1, 2026)});
        QCOMPARE(store.progress(), 1.0 / 3);
        store.toggle(QStringLiteral("b"));
        QCOMPARE(store.progress(), 2.0 / 3);
    }

    void unknownIdChangesNothingButRemoveStillSavesAndPosts() {
        TaskStore store;
        Posts posts(Notify::tasksChanged);
        store.update(makeTask(QStringLiteral("nope"), QStringLiteral("work"), 1, 1, 2026));
        store.toggle(QStringLiteral("nope"));
        store.move(QStringLiteral("nope"), QStringLiteral("work"));
        store.moveTask(QStringLiteral("nope"), QStringLiteral("work"), 1, 1, 2026);
        QCOMPARE(posts.count, 0);
        QVERIFY(!prefs->prefs().contains(kTasks));
        store.remove(QStringLiteral("nope"));
        QCOMPARE(posts.count, 1);
        QCOMPARE(stored(), QByteArray("[]"));
    }
};

QTEST_GUILESS_MAIN(TestTaskStore)
#include "tst_task_store.moc"
