#include "common/TestEnv.h"
#include "exercises/Playlist.h"
#include "platform/Keys.h"
#include <QtTest>
#include <map>

namespace {
Exercise ex(const QString &id, std::vector<qint64> steps) {
    Exercise e;
    e.id = id;
    e.name = id;
    for (qint64 s : steps)
        e.steps.push_back({id + QString::number(s), "t", "i", s, {}, {}, {}});
    return e;
}

struct Library {
    std::map<QString, Exercise> byId{
        {"A", ex("A", {20, 10})}, {"B", ex("B", {4, 7})}, {"C", ex("C", {})}, {"D", ex("D", {30})}};
    PlaylistModel::Resolver resolver() {
        return [this](const QString &id) -> const Exercise * {
            auto it = byId.find(id);
            return it == byId.end() ? nullptr : &it->second;
        };
    }
};

QStringList order(const PlaylistModel &m) {
    QStringList out;
    for (const PlaylistEntry &e : m.entries())
        out << e.exID;
    return out;
}

std::optional<PlaylistSavedState> saved() {
    return PlaylistJson::decode(Prefs::get().data(kPlaylistState));
}
} // namespace

// The playlist's rules and the progress it stores, without the page.
class TstPlaylist : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;

private slots:
    void init() { prefs = std::make_unique<TempPrefs>(); }
    void cleanup() { prefs.reset(); }

    void stateCodec() {
        const PlaylistSavedState s{{"a", "b"}, {"U1", "U2"}, 1, 1, 0, 20};
        const QByteArray golden =
            "{\"entryExIDs\":[\"a\",\"b\"],\"entryUIDs\":[\"U1\",\"U2\"],\"completedCount\":1,"
            "\"currentExIdx\":1,\"currentStep\":0,\"remainingSecs\":20}";
        QCOMPARE(PlaylistJson::encode(s), golden);
        QCOMPARE(*PlaylistJson::decode(golden), s);
        QVERIFY(PlaylistJson::decode(QByteArray(golden).replace("}", ",\"more\":1}")));
        QVERIFY(!PlaylistJson::decode(QByteArray(golden).replace(",\"remainingSecs\":20", "")));
        QVERIFY(!PlaylistJson::decode(QByteArray(golden).replace("\"a\"", "1")));
        QVERIFY(!PlaylistJson::decode("[]"));
    }

    void shorterArrayDecidesTheEntries() {
        prefs->prefs().setData(kPlaylistState,
                               "{\"entryExIDs\":[\"A\",\"B\"],\"entryUIDs\":[\"1\",\"2\",\"3\"],"
                               "\"completedCount\":9,\"currentExIdx\":0,\"currentStep\":0,"
                               "\"remainingSecs\":0}");
        Library lib;
        PlaylistModel m(lib.resolver());
        m.load();
        QCOMPARE(order(m), QStringList({"A", "B"}));
        QCOMPARE(m.completedCount(), 2);
    }

    void insertionIndex_data() {
        QTest::addColumn<double>("y");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("index");
        QTest::newRow("empty panel") << 300.0 << 0 << 0;
        QTest::newRow("top") << 0.0 << 3 << 0;
        QTest::newRow("y 40") << 40.0 << 3 << 1;
        QTest::newRow("half rounds up") << 31.0 << 3 << 1;
        QTest::newRow("below the last") << 500.0 << 3 << 3;
    }
    void insertionIndex() {
        QFETCH(double, y);
        QFETCH(int, count);
        QFETCH(int, index);
        QCOMPARE(PlaylistRules::insertionIndex(y, count), index);
    }

    void tapsAndDrags() {
        PlaylistRules::RowGesture g;
        g.press(10, 10);
        QVERIFY(!g.move(13, 10));
        QVERIFY(g.release(13, 10)); // moved 3 points: a click
        g.press(10, 10);
        QVERIFY(!g.move(14, 10));     // exactly 4 points: not yet a drag
        QVERIFY(g.release(14.5, 10)); // released 4.5 away without a drag: still a click
        g.press(10, 10);
        QVERIFY(g.move(14.5, 10)); // 4.5 points: the drag starts, once
        QVERIFY(!g.move(30, 10));
        QVERIFY(!g.release(10, 10)); // after a drag no tap
        g.press(0, 0);
        QVERIFY(!g.release(3, 4)); // 5 points away: no tap
    }

    void reorder_data() {
        QTest::addColumn<QStringList>("start");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("k");
        QTest::addColumn<QStringList>("result");
        const QStringList abc = {"A", "B", "C"};
        QTest::newRow("A to 2") << abc << 0 << 2 << QStringList({"B", "A", "C"});
        QTest::newRow("C to 0") << abc << 2 << 0 << QStringList({"C", "A", "B"});
        QTest::newRow("B to 3") << abc << 1 << 3 << QStringList({"A", "C", "B"});
        QTest::newRow("own gap") << abc << 1 << 2 << abc;
    }
    void reorder() {
        QFETCH(QStringList, start);
        QFETCH(int, from);
        QFETCH(int, k);
        QFETCH(QStringList, result);
        Library lib;
        PlaylistModel m(lib.resolver());
        for (const QString &id : start)
            m.drop(id);
        QVERIFY(m.reorder(m.entries()[size_t(from)].uid, k));
        QCOMPARE(order(m), result);
        QVERIFY(!m.reorder(QStringLiteral("nobody"), 0));
    }

    // What Resume and the next start show is what the user sees: after a change, the next
    // exercise after the finished ones, from its first step.
    void changesStoreTheVisiblePosition() {
        Library lib;
        PlaylistModel m(lib.resolver());
        m.drop("A");
        m.drop("A");
        QVERIFY(m.entries()[0].uid != m.entries()[1].uid);
        m.drop("B");
        m.startRun();
        QCOMPARE(saved()->remainingSecs, 20);
        m.exerciseFinished(m.resolvedRun(), false);
        m.exerciseFinished(m.resolvedRun(), false);
        QCOMPARE(saved()->currentExIdx, 2);
        QCOMPARE(saved()->remainingSecs, 4);

        m.drop("D");
        QCOMPARE(saved()->entryExIDs, QStringList({"A", "A", "B", "D"}));
        QCOMPARE(saved()->completedCount, 2);
        QCOMPARE(saved()->currentExIdx, 2);
        QCOMPARE(saved()->currentStep, 0);
        QCOMPARE(saved()->remainingSecs, 0);
        m.reorder(m.entries()[3].uid, 0);
        QCOMPARE(saved()->currentExIdx, 2);
        QCOMPARE(saved()->entryExIDs, QStringList({"D", "A", "A", "B"}));

        m.remove(m.entries()[0].uid);
        QCOMPARE(saved()->entryExIDs, QStringList({"A", "A", "B"}));
        QCOMPARE(saved()->currentExIdx, 2);
        m.remove(m.entries()[2].uid);
        m.remove(m.entries()[1].uid);
        QCOMPARE(m.completedCount(), 1);
        QCOMPARE(saved()->completedCount, 1);
        m.remove(m.entries()[0].uid);
        QVERIFY(!prefs->prefs().contains(kPlaylistState));
    }

    void resumeAfterARestart() {
        Library lib;
        {
            PlaylistModel m(lib.resolver());
            m.drop("A");
            m.drop("B");
            m.drop("D");
            m.startRun();
            m.exerciseFinished(m.resolvedRun(), false);
        }
        prefs->reopen();
        PlaylistModel m(lib.resolver());
        m.load();
        QCOMPARE(order(m), QStringList({"A", "B", "D"}));
        QCOMPARE(m.completedCount(), 1);
        const auto at = m.resume();
        QVERIFY(at);
        QCOMPARE(at->fromExIdx, 1);
        QCOMPARE(at->step, 0);
        QCOMPARE(at->remainingSecs, 4); // B's first step at its full length
        m.exerciseFinished({}, true);
        QCOMPARE(saved()->remainingSecs, 0);
        m.exerciseFinished({}, true);
        QCOMPARE(m.completedCount(), 3);
        QVERIFY(!m.resume()); // the whole run finished: nothing to resume
    }

    void damagedPositionsResumeNothingOrFromZero_data() {
        QTest::addColumn<int>("idx");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("remaining");
        QTest::addColumn<bool>("resumes");
        QTest::newRow("negative index") << -1 << 0 << 0 << false;
        QTest::newRow("past the end") << 2 << 0 << 0 << false;
        QTest::newRow("negative step and time") << 1 << -3 << -20 << true;
    }
    void damagedPositionsResumeNothingOrFromZero() {
        QFETCH(int, idx);
        QFETCH(int, step);
        QFETCH(int, remaining);
        QFETCH(bool, resumes);
        prefs->prefs().setData(
            kPlaylistState,
            PlaylistJson::encode({{"A", "gone", "B"}, {"1", "2", "3"}, 0, idx, step, remaining}));
        Library lib;
        PlaylistModel m(lib.resolver());
        const auto at = m.resume();
        QCOMPARE(bool(at), resumes);
        QCOMPARE(m.entries().size(), size_t(3)); // the restored playlist stays either way
        if (at) {
            QCOMPARE(at->step, 0);
            QCOMPARE(at->remainingSecs, 0);
        }
    }

    void anUnreadableStateIsKeptAsideAndIgnored() {
        prefs->prefs().setData(kPlaylistState, "{\"entryExIDs\":[\"A\"]}");
        Library lib;
        PlaylistModel m(lib.resolver());
        m.load();
        QVERIFY(m.entries().empty());
        QVERIFY(!m.resume());
        m.drop("A");
        const QStringList aside = prefs->prefs().keys().filter(QStringLiteral("playlistState.unreadable"));
        QCOMPARE(aside.size(), 1);
        QCOMPARE(prefs->prefs().data(aside[0]), QByteArray("{\"entryExIDs\":[\"A\"]}"));
    }

    void clearDeletesTheState() {
        Library lib;
        PlaylistModel m(lib.resolver());
        m.drop("A");
        QVERIFY(m.hasSavedState());
        m.clear();
        QVERIFY(!m.hasSavedState());
        QVERIFY(!m.resume());
        m.exerciseFinished({}, false); // a run still going: nothing to count, nothing written
        QCOMPARE(m.completedCount(), 0);
        QVERIFY(!m.hasSavedState());
    }

    void percentText_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("done");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << 0 << 0 << QString();
        QTest::newRow("none") << 3 << 0 << "0%";
        QTest::newRow("two of three") << 3 << 2 << "66%";
        QTest::newRow("more than all") << 3 << 5 << "100%";
    }
    void percentText() {
        QFETCH(int, n);
        QFETCH(int, done);
        QFETCH(QString, text);
        QCOMPARE(PlaylistRules::percentText(n, done), text);
    }
};

QTEST_GUILESS_MAIN(TstPlaylist)
#include "tst_playlist.moc"
