#include "platform/Keys.h"
#include "common/Posts.h"
#include "common/TestEnv.h"
#include "platform/Notifier.h"
#include "pomodoro/ProjectStore.h"
#include <QtTest>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>

namespace {
ProjectCheckpoint step(qint64 start, qint64 days, bool done = false) {
    return ProjectCheckpoint(QStringLiteral("S"), QString(), QString(), days, start, done);
}

Project project(const QString &id, const QString &name) {
    Project p;
    p.id = id;
    p.name = name;
    p.emoji = QStringLiteral("📁");
    return p;
}

constexpr qint64 kMax = std::numeric_limits<qint64>::max();
constexpr qint64 kMin = std::numeric_limits<qint64>::min();
} // namespace

class TestProjectStore : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;
    QByteArray stored() { return prefs->prefs().data(kProjects); }

private slots:
    void init() {
        prefs = std::make_unique<TempPrefs>();
        ProjectStore::resetForTests();
    }
    void cleanup() {
        ProjectStore::resetForTests();
        prefs.reset();
    }

    void totalDaysAndProgress() {
        Project p = project(QStringLiteral("P"), QStringLiteral("n"));
        QCOMPARE(p.progress(), 0.0);
        p.checkpoints = {step(0, 3, true), step(2, 5), step(10, 1, true)};
        QCOMPARE(p.totalDays(), 11);
        QCOMPARE(p.progress(), 2.0 / 3.0);
        p.checkpoints = {step(-20, 5)}; // ends before day 0
        QCOMPARE(p.totalDays(), 0);
        // Step ends saturate at the integer limits instead of wrapping.
        p.checkpoints = {step(kMax - 1, 5), step(0, 3)};
        QCOMPARE(p.totalDays(), kMax);
        p.checkpoints = {step(kMin, -5), step(2, 3)};
        QCOMPARE(p.totalDays(), 5);
        QCOMPARE(step(kMax, kMax).dayEnd(), kMax);
        QCOMPARE(step(kMin, kMin).dayEnd(), kMin);
    }

    void addWritesTheExactDocument() {
        TestClock clock(QDateTime(QDate(2026, 1, 1), QTime(0, 0, 0, 500), QTimeZone::utc()));
        ProjectStore &store = ProjectStore::shared();
        Posts posts(Notify::projectsChanged);
        Project p(QStringLiteral("House"), QStringLiteral("🏠"), QStringLiteral("Roof \"new\""));
        p.id = QStringLiteral("P1");
        store.add(p);
        QCOMPARE(stored(),
                 QByteArray("[{\"id\":\"P1\",\"name\":\"House\",\"emoji\":\"🏠\",\"description\":\"Roof "
                            "\\\"new\\\"\",\"imagePaths\":[],\"checkpoints\":[],\"createdDateInterval\":"
                            "788918400.5}]"));
        QCOMPARE(posts.sender, &store);

        p.imagePaths = {QStringLiteral("/home/u/a.png"), QStringLiteral("/home/u/b c.jpg")};
        p.checkpoints = {ProjectCheckpoint(QStringLiteral("S1"), QStringLiteral("Plan"),
                                           QStringLiteral("n\n2"), 3, 0, true),
                         ProjectCheckpoint(QStringLiteral("S2"), QString(), QString(), kMax, kMin, false)};
        p.createdDateInterval = 788918400;
        store.update(p);
        const QByteArray golden =
            "[{\"id\":\"P1\",\"name\":\"House\",\"emoji\":\"🏠\",\"description\":\"Roof \\\"new\\\"\","
            "\"imagePaths\":[\"/home/u/a.png\",\"/home/u/b c.jpg\"],\"checkpoints\":["
            "{\"id\":\"S1\",\"title\":\"Plan\",\"notes\":\"n\\n2\",\"durationDays\":3,\"startOffset\":0,"
            "\"completed\":true},"
            "{\"id\":\"S2\",\"title\":\"\",\"notes\":\"\",\"durationDays\":9223372036854775807,"
            "\"startOffset\":-9223372036854775808,\"completed\":false}],\"createdDateInterval\":788918400}"
            "]";
        QCOMPARE(stored(), golden);
        const auto back = decodeProjects(golden);
        QVERIFY(back);
        QVERIFY(back->front() == p);
    }

    // Each double in its shortest form that reads back the same; a whole one without ".0".
    void creationTimesAreWrittenInTheirShortestForm() {
        const std::pair<double, const char *> cases[] = {
            {-0.0, "-0"},   {788918400.5, "788918400.5"}, {788918400.0, "788918400"},
            {1e20, "1e+20"}, {1e-7, "1e-07"},             {123456789.123456789, "123456789.12345679"}};
        for (const auto &[v, text] : cases) {
            Project p = project(QStringLiteral("P"), QStringLiteral("n"));
            p.createdDateInterval = v;
            const QByteArray bytes = encodeProjects({p});
            const QByteArray number = bytes.mid(bytes.indexOf("\"createdDateInterval\":") + 22).chopped(2);
            QCOMPARE(number, QByteArray(text));
            QCOMPARE(decodeProjects(bytes)->front().createdDateInterval, v);
        }
        // JSON has no NaN: writing it as null would make the whole document unreadable at the next launch.
        Project p = project(QStringLiteral("P"), QStringLiteral("n"));
        p.createdDateInterval = std::numeric_limits<double>::quiet_NaN();
        QVERIFY(decodeProjects(encodeProjects({p})).has_value());
    }

    void decoding_data() {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<bool>("readable");
        const QByteArray head =
            R"([{"id":"P","name":"n","emoji":"e","description":"","imagePaths":[],"checkpoints":[)";
        const QByteArray tail = R"(],"createdDateInterval":1}])";
        const QByteArray ok =
            head + R"({"id":"S","title":"","notes":"","durationDays":3,"startOffset":0,"completed":false})" +
            tail;
        auto with = [&](const char *from, const char *to) { return QByteArray(ok).replace(from, to); };
        QTest::newRow("complete") << ok << true;
        QTest::newRow("step lacks completed") << with(",\"completed\":false", "") << false;
        QTest::newRow("days as text") << with("\"durationDays\":3", "\"durationDays\":\"3\"") << false;
        QTest::newRow("image path not text") << with("\"imagePaths\":[]", "\"imagePaths\":[1]") << false;
        QTest::newRow("no creation time") << with(",\"createdDateInterval\":1", "") << false;
        QTest::newRow("checkpoints not array") << head.chopped(1) + "{}" + tail.mid(1) << false;
        QTest::newRow("truncated") << ok.left(60) << false;
        QTest::newRow("not json") << QByteArray("\xff\xfe") << false;
    }
    void decoding() {
        QFETCH(QByteArray, doc);
        QFETCH(bool, readable);
        QCOMPARE(decodeProjects(doc).has_value(), readable);
    }

    void unreadableDocumentIsKeptAsideBeforeTheFirstWrite() {
        const QByteArray bad =
            R"([{"id":"P","name":"n","emoji":"e","description":"","imagePaths":[],"checkpoints":[{"id":"S","title":"","notes":"","durationDays":3,"startOffset":0}],"createdDateInterval":1}])";
        prefs->prefs().setData(kProjects, bad);
        ProjectStore &store = ProjectStore::shared();
        QVERIFY(store.projects().empty());
        const QString aside = store.loadReport().keptAsideKey;
        QCOMPARE(prefs->prefs().data(aside), bad);
        store.add(project(QStringLiteral("Q"), QStringLiteral("new")));
        QVERIFY(prefs->prefs().flush());
        prefs->reopen();
        QCOMPARE(prefs->prefs().data(aside), bad);
        QCOMPARE(decodeProjects(prefs->prefs().data(kProjects))->size(), 1u);
    }

    void duplicateIdsUpdateTheFirstAndDeleteRemovesBoth() {
        ProjectStore store;
        Posts posts(Notify::projectsChanged);
        store.update(project(QStringLiteral("nope"), QStringLiteral("x"))); // unknown: nothing written
        QVERIFY(!prefs->prefs().contains(kProjects));
        QCOMPARE(posts.count, 0);
        store.add(project(QStringLiteral("D"), QStringLiteral("one")));
        store.add(project(QStringLiteral("X"), QStringLiteral("x")));
        store.add(project(QStringLiteral("D"), QStringLiteral("two")));
        store.update(project(QStringLiteral("D"), QStringLiteral("changed")));
        QCOMPARE(store.projects()[0].name, QStringLiteral("changed"));
        QCOMPARE(store.projects()[2].name, QStringLiteral("two"));
        store.remove(QStringLiteral("D"));
        QCOMPARE(store.projects().size(), 1u);
        QCOMPARE(decodeProjects(stored())->front().id, QStringLiteral("X"));
    }
};

QTEST_GUILESS_MAIN(TestProjectStore)
#include "tst_project_store.moc"
