// Parts of a large stored value replaced without the rest being read on the window's thread: the
// splices of an array document, and the preferences' reads of a value whose splices may or may not be
// on disk yet.
#include "common/TestEnv.h"
#include "platform/Background.h"
#include "platform/Prefs.h"
#include "platform/PrefsGate.h"
#include "platform/PrefsSplice.h"
#include <QRandomGenerator>
#include <QFile>
#include <QSemaphore>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <sqlite3.h>
#include <thread>

namespace {
const QString kKey = QStringLiteral("doc");

QByteArray element(QRandomGenerator &rng, int n) {
    return "{\"n\":" + QByteArray::number(n) + ",\"t\":\"" +
           QByteArray(int(rng.bounded(1, 40)), char('a' + n % 26)) + "\"}";
}

QByteArray joined(const std::vector<QByteArray> &elements) {
    QByteArray out("[");
    for (size_t i = 0; i < elements.size(); ++i) {
        if (i) out.append(',');
        out.append(elements[i]);
    }
    return out + "]";
}

// A value large enough to be kept on disk only, once written.
QByteArray largeValue(char fill) {
    return QByteArray(Prefs::kLargeBytes + 5000, fill);
}

// The value written, and read at the next launch, where its bytes stay on disk.
bool storedOnDisk(TempPrefs &prefs, const QByteArray &value) {
    prefs.prefs().setData(kKey, value);
    if (!prefs.prefs().flush()) return false;
    prefs.reopen();
    return true;
}
} // namespace

class TestPrefsSplice : public QObject {
    Q_OBJECT
private slots:
    // Elements kept, changed, removed and added in random turns: applying the splices to the stored
    // document gives exactly the joined new elements, and each element is found where it is said to lie.
    void arraySplicesGiveTheJoinedDocument() {
        QRandomGenerator rng(11);
        // New bytes that lie in a file (a long note's record) go in by splices of their own.
        QTemporaryDir dir;
        SpooledBytes::Spooler spooler(QFile::encodeName(dir.filePath(QStringLiteral("db"))), 0);
        QByteArray made = QByteArray("{\"big\":\"") + QByteArray(SpooledBytes::Spooler::kStretch, 'b');
        spooler.spill(made);
        made += QByteArray(SpooledBytes::Spooler::kKeep + 10, 'c') + "\"}";
        spooler.spill(made);
        const SpooledBytes spooled = spooler.finish(std::move(made)).value_or(SpooledBytes());
        QVERIFY(spooled.inFile());
        const QByteArray spooledBytes = spooled.whole().value_or(QByteArray());
        for (int round = 0; round < 200; ++round) {
            std::vector<QByteArray> before;
            const int n = int(rng.bounded(0, 12));
            for (int i = 0; i < n; ++i) before.push_back(element(rng, i));
            // Stored as written, or with another writer's spacing.
            const bool spaced = round % 3 == 0;
            QByteArray stored = spaced ? "\n[ " : "[";
            std::vector<std::pair<qint64, qint64>> places;
            for (int i = 0; i < n; ++i) {
                if (i) stored += spaced ? " ,\n  " : ",";
                places.emplace_back(stored.size(), before[size_t(i)].size());
                stored += before[size_t(i)];
            }
            stored += spaced ? " ]\n" : "]";

            std::vector<ArrayElement> elements;
            std::vector<QByteArray> after;
            std::vector<QByteArray> fresh; // owns the new bytes the elements view
            fresh.reserve(64);
            for (int i = 0; i < n; ++i) {
                const quint32 what = rng.bounded(4u);
                if (what == 0) continue; // removed
                if (what == 1 && rng.bounded(4u) == 0) { // changed, into a long one
                    elements.push_back({-1, 0, {}, &spooled});
                    after.push_back(spooledBytes);
                } else if (what == 1) { // changed
                    fresh.push_back(element(rng, 100 + i));
                    elements.push_back({-1, 0, QByteArrayView(fresh.back())});
                    after.push_back(fresh.back());
                } else {
                    elements.push_back({places[size_t(i)].first, places[size_t(i)].second, {}});
                    after.push_back(before[size_t(i)]);
                }
                if (rng.bounded(5u) == 0) { // one added after it
                    fresh.push_back(element(rng, 200 + i));
                    elements.push_back({-1, 0, QByteArrayView(fresh.back())});
                    after.push_back(fresh.back());
                }
                if (rng.bounded(12u) == 0) { // a long one added after it
                    elements.push_back({-1, 0, {}, &spooled});
                    after.push_back(spooledBytes);
                }
            }
            const auto splices = arraySplices(elements, stored.size());
            QVERIFY(splices);
            QByteArray doc = stored;
            QVERIFY(applySplices(doc, *splices));
            QCOMPARE(doc, joined(after));
            for (size_t i = 0; i < elements.size(); ++i)
                QCOMPARE(doc.mid(elements[i].at, elements[i].len), after[i]);
            // Nothing changed, nothing spliced (a document in the written form).
            if (!spaced && elements.size() == size_t(n) &&
                std::all_of(elements.begin(), elements.end(),
                            [](const ArrayElement &e) { return e.bytes.isNull() && !e.spooled; }))
                QVERIFY(splices->empty());
        }
        // Kept elements out of their stored order, or outside the document, give no splices at all.
        std::vector<ArrayElement> swapped{{5, 3, {}}, {1, 3, {}}};
        QVERIFY(!arraySplices(swapped, 9));
        std::vector<ArrayElement> outside{{1, 30, {}}};
        QVERIFY(!arraySplices(outside, 9));
        QByteArray small("[1]");
        QVERIFY(!applySplices(small, {PrefsSplice{2, 5, "x"}}));
    }

    // The stretches a spliced value is written from are the bytes applySplices makes, for splices that
    // overlap, follow one another, empty the value or grow it from nothing; a list with one splice
    // outside the value gives nothing at all, as applySplices refuses it.
    void piecesMakeWhatApplySplicesMakes() {
        QRandomGenerator rng(5);
        for (int round = 0; round < 500; ++round) {
            const QByteArray before(int(rng.bounded(0, 60)), char('a' + round % 26));
            qint64 size = before.size();
            std::vector<PrefsSplice> splices;
            const int n = int(rng.bounded(0, 6));
            for (int i = 0; i < n; ++i) {
                const qint64 at = rng.bounded(int(size) + 1);
                const qint64 len = rng.bounded(int(size - at) + 1);
                splices.push_back(PrefsSplice{at, len, QByteArray(int(rng.bounded(0, 8)), char('A' + i))});
                size += splices.back().bytes.size() - len;
            }
            const bool outside = round % 7 == 0;
            if (outside) splices.push_back(PrefsSplice{size, 1, "x"});
            QByteArray expected = before;
            const bool applied = applySplices(expected, splices);
            QCOMPARE(applied, !outside);
            const auto pieces = splicePieces(before.size(), splices);
            QCOMPARE(bool(pieces), applied);
            if (!pieces) continue;
            QByteArray made;
            for (const PrefsPiece &p : *pieces)
                made += p.bytes ? p.bytes->read(p.from, p.len).value_or("?") : before.mid(p.from, p.len);
            QCOMPARE(made, expected);
        }
    }

    // A digest taken in stretches of any size is the digest of the whole, and it is the same in
    // every process: one kept in a file at quit still tells the stored value at the next start.
    // Bytes that differ in one place, or only in length, have other digests.
    void aDigestIsTheSameInStretchesAndInEveryRun() {
        QRandomGenerator rng(3);
        QByteArray bytes(300000, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(rng.bounded(256));
        const PrefsDigest whole = PrefsDigest::of(bytes);
        QCOMPARE(whole.size, qint64(bytes.size()));
        for (int round = 0; round < 20; ++round) {
            PrefsDigest::Stream stream;
            for (qsizetype at = 0; at < bytes.size();) {
                const qsizetype n =
                    std::min<qsizetype>(rng.bounded(round < 10 ? 300 : 70000), bytes.size() - at);
                stream.add(QByteArrayView(bytes.constData() + at, n));
                at += n;
            }
            QVERIFY(stream.result() == whole);
        }
        QVERIFY(PrefsDigest::Stream().result() == PrefsDigest::of(QByteArray()));
        QByteArray other = bytes;
        other[150000] = char(other[150000] ^ 1);
        QVERIFY(!(PrefsDigest::of(other) == whole));
        QVERIFY(!(PrefsDigest::of(QByteArray(64, '\0')) == PrefsDigest::of(QByteArray(65, '\0'))));
        const PrefsDigest fixed = PrefsDigest::of("[{\"text\":\"a note\"}]");
        QCOMPARE(fixed.a, quint64(0xc7aac98335f8e0caull));
        QCOMPARE(fixed.b, quint64(0xdc36fd11c8f22085ull));
    }

    // The value's newest form is read whatever part of it is on disk: before the writer has it, after,
    // through every way of reading, and after a relaunch; a whole write in the same turn replaces the
    // splices made before it.
    void readsSeeTheSplicesWhereverTheyAre() {
        TempPrefs prefs;
        QByteArray model = largeValue('a');
        QVERIFY(storedOnDisk(prefs, model));
        Prefs &p = prefs.prefs();
        // The domain of the moment: a relaunch replaces the object.
        const auto check = [&] {
            Prefs &p = prefs.prefs();
            QCOMPARE(p.data(kKey), model);
            QCOMPARE(std::get<QByteArray>(*p.value(kKey)), model);
            QCOMPARE(std::get<QByteArray>(*p.readLater(kKey)()), model);
            const quint64 v = *p.version(kKey);
            for (qint64 at : {qint64(0), qint64(10), model.size() / 2, model.size() - 7}) {
                QCOMPARE(*p.readRange(kKey, at, 7, v), model.mid(at, 7));
                QCOMPARE(*p.readRangeLater(kKey, at, 7, v)(), model.mid(at, 7));
            }
            QVERIFY(!p.readRange(kKey, 0, 7, v + 1));
            QVERIFY(!p.readRangeLater(kKey, 0, 7, v + 1)());
        };
        QRandomGenerator rng(3);
        for (int turn = 0; turn < 6; ++turn) {
            std::vector<PrefsSplice> splices;
            for (int k = 0; k < 3; ++k) {
                const qint64 at = rng.bounded(qint64(model.size() - 100));
                splices.push_back({at, rng.bounded(qint64(50)), QByteArray(int(rng.bounded(80)), char('b' + turn))});
            }
            QVERIFY(applySplices(model, splices));
            QVERIFY(p.spliceData(kKey, *p.version(kKey), splices));
            check(); // not handed to the writer yet
            if (turn % 2) {
                QVERIFY(p.flush());
                check();
            }
        }
        // Splices only fit the value they were made for.
        const quint64 now = *p.version(kKey);
        QVERIFY(!p.spliceData(kKey, now - 1, {PrefsSplice{0, 1, "x"}}));
        QVERIFY(!p.spliceData(kKey, now, {PrefsSplice{model.size(), 1, "x"}}));
        QCOMPARE(*p.version(kKey), now);
        check();

        QVERIFY(p.spliceData(kKey, now, {PrefsSplice{0, 1, "zz"}}));
        model = largeValue('w');
        p.setData(kKey, model); // the same turn: the splices before it must not land on it
        QVERIFY(p.flush());
        prefs.reopen();
        check();
        QVERIFY(prefs.prefs().spliceData(kKey, *prefs.prefs().version(kKey), {PrefsSplice{1, 2, "Q"}}));
        model.replace(1, 2, "Q");
        QVERIFY(prefs.prefs().close());
        prefs.reopen();
        check();

        // A value held in memory (small) is spliced there and written whole.
        prefs.prefs().setData(QStringLiteral("small"), "[1,2]");
        QVERIFY(prefs.prefs().spliceData(QStringLiteral("small"), *prefs.prefs().version(QStringLiteral("small")),
                                         {PrefsSplice{3, 1, "3,4"}}));
        QCOMPARE(prefs.prefs().data(QStringLiteral("small")), QByteArray("[1,3,4]"));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        QCOMPARE(prefs.prefs().data(QStringLiteral("small")), QByteArray("[1,3,4]"));
    }

    // While another program holds the write lock the splices wait, reads still see them, and they go
    // to disk once it lets go.
    void splicesWaitForAnotherProgramsLock() {
        TempPrefs prefs;
        QByteArray model = largeValue('a');
        QVERIFY(storedOnDisk(prefs, model));
        Prefs &p = prefs.prefs();
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(qPrintable(prefs.path()), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000); // as any program, it waits while Mivo's writer commits
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        for (int k = 0; k < 3; ++k) {
            const PrefsSplice s{qint64(100 * k), 3, QByteArray(10, char('x' + k))};
            QVERIFY(applySplices(model, {s}));
            QVERIFY(p.spliceData(kKey, *p.version(kKey), {s}));
            QVERIFY(!p.flush()); // refused by the lock; kept
            QCOMPARE(p.data(kKey), model);
        }
        // Splices piling up past a bound: the value is held whole from then on, the splices before it
        // given up for it.
        const PrefsSplice big{5, 10, QByteArray(17 << 20, 'p')};
        QVERIFY(applySplices(model, {big}));
        QVERIFY(p.spliceData(kKey, *p.version(kKey), {big}));
        QTRY_COMPARE(p.pendingSpliceBytes(kKey), qint64(0)); // held whole, not as 17 MB of splices
        QVERIFY(p.spliceData(kKey, *p.version(kKey), {PrefsSplice{1, 1, "1"}}));
        model.replace(1, 1, "1");
        QCOMPARE(p.data(kKey), model);
        QCOMPARE(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        QTRY_VERIFY(p.flush());
        prefs.reopen();
        QCOMPARE(prefs.prefs().data(kKey), model);
    }

    // A value read whole for splices that piled up is held only for the splices it was read for: a
    // splice made while it was read (of the same size, so the length tells nothing) is not lost.
    void aValueReadWholeIsHeldOnlyIfNothingWasSplicedSince() {
        TempPrefs prefs;
        QByteArray model = largeValue('a');
        QVERIFY(storedOnDisk(prefs, model));
        Prefs &p = prefs.prefs();
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(qPrintable(prefs.path()), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000);
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        const PrefsSplice first{20, 1, "F"};
        QVERIFY(applySplices(model, {first}));
        QVERIFY(p.spliceData(kKey, *p.version(kKey), {first}));
        QVERIFY(!p.flush()); // refused by the lock: splices wait from here on
        const PrefsSplice big{5, 10, QByteArray(17 << 20, 'p')};
        QVERIFY(applySplices(model, {big}));
        QVERIFY(p.spliceData(kKey, *p.version(kKey), {big})); // past the bound: read whole on a worker
        const PrefsSplice since{0, 1, "Z"};
        QVERIFY(applySplices(model, {since}));
        QVERIFY(p.spliceData(kKey, *p.version(kKey), {since}));
        Background::pool().waitForDone();
        QCoreApplication::processEvents(); // the worker's read comes back
        QCOMPARE(p.data(kKey), model);
        QCOMPARE(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        QTRY_VERIFY(p.flush());
        prefs.reopen();
        QCOMPARE(prefs.prefs().data(kKey), model);
    }

    // Splices piled up under another program's lock are held whole past the bound, from the bytes
    // they were made for only: a value another program wrote meanwhile (of any size) is neither
    // spliced nor written over; it stays, reads give it, and the domain says so.
    void thePileUpFallBackTakesOnlyItsOwnBytes_data() {
        QTest::addColumn<QByteArray>("theirs");
        QTest::addColumn<bool>("known"); // the session wrote the value (else: written before, never loaded)
        QTest::addRow("same size") << largeValue('b') << true;
        QTest::addRow("shorter") << QByteArray(Prefs::kLargeBytes + 10, 'c') << true;
        QTest::addRow("longer") << QByteArray(Prefs::kLargeBytes + 9000, 'd') << true;
        QTest::addRow("short, written before") << QByteArray("[1,2,3]") << false;
    }
    void thePileUpFallBackTakesOnlyItsOwnBytes() {
        QFETCH(QByteArray, theirs);
        QFETCH(bool, known);
        TempPrefs prefs;
        prefs.prefs().setData(kKey, largeValue('a'));
        QVERIFY(prefs.prefs().flush());
        if (!known) prefs.reopen();
        Prefs &p = prefs.prefs();
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(qPrintable(prefs.path()), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000); // as any program, it waits while Mivo's writer commits
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(other, "UPDATE prefs SET value = ?1 WHERE key = 'doc'", -1, &st, nullptr);
        sqlite3_bind_blob(st, 1, theirs.constData(), int(theirs.size()), SQLITE_STATIC);
        QCOMPARE(sqlite3_step(st), SQLITE_DONE);
        sqlite3_finalize(st);
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        QVERIFY(p.spliceData(kKey, *p.version(kKey), {PrefsSplice{10, 3, "xyz"}}));
        QVERIFY(!p.flush()); // waits for the lock
        QSignalSpy replaced(&p, &Prefs::storedValueReplaced);
        const auto mine =
            p.spliceData(kKey, *p.version(kKey), {PrefsSplice{0, 1, QByteArray(17 << 20, 'p')}});
        QVERIFY(mine);
        if (known) { // told once the value is read
            QTRY_COMPARE(replaced.count(), 1);
            QVERIFY(*p.version(kKey) != *mine);
            QVERIFY(!p.dataAsWritten(kKey, *mine));
            QCOMPARE(p.data(kKey), theirs);
        }
        QCOMPARE(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        QTRY_VERIFY(p.flush());
        QCOMPARE(p.data(kKey), theirs);
        QCOMPARE(replaced.count(), 1);
        QCOMPARE(replaced.at(0).at(0).toString(), kKey);
        prefs.reopen();
        QCOMPARE(prefs.prefs().data(kKey), theirs);
        sqlite3_close(other);
    }

    // A splice the disk holds is no longer pending. A value another program wrote of the same size,
    // the same but for its last byte, is not the one splices were made for.
    void splicesGoOnlyIntoTheBytesTheyWereMadeForToTheLast() {
        TempPrefs prefs;
        QByteArray model = largeValue('a');
        QVERIFY(storedOnDisk(prefs, model));
        Prefs &p = prefs.prefs();
        QVERIFY(p.spliceData(kKey, *p.version(kKey), {PrefsSplice{0, 1, "Q"}}));
        QCOMPARE(p.pendingSpliceBytes(kKey), qint64(1));
        QVERIFY(p.flush());
        QCOMPARE(p.pendingSpliceBytes(kKey), qint64(0));
        model[0] = 'Q';
        QCOMPARE(p.data(kKey), model);

        QByteArray theirs = model;
        theirs[theirs.size() - 1] = 'b';
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(qPrintable(prefs.path()), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000);
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(other, "UPDATE prefs SET value = ?1 WHERE key = 'doc'", -1, &st, nullptr);
        sqlite3_bind_blob(st, 1, theirs.constData(), int(theirs.size()), SQLITE_STATIC);
        QCOMPARE(sqlite3_step(st), SQLITE_DONE);
        sqlite3_finalize(st);
        sqlite3_close(other);
        QSignalSpy replaced(&p, &Prefs::storedValueReplaced);
        QVERIFY(p.spliceData(kKey, *p.version(kKey), {PrefsSplice{1, 1, "R"}}));
        QVERIFY(p.flush());
        QCOMPARE(replaced.count(), 1);
        QCOMPARE(p.data(kKey), theirs);
    }

    // Another program stores the spliced value in another form: another storage class (Python's str
    // gives TEXT), or another type. From the commit that finds it on, the session reads what is stored
    // as a launch reads it, and the store is told; the value never reads as gone.
    void aValueStoredInAnotherFormReadsAsALaunchReadsIt_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addRow("text") << QByteArray("'[\"theirs\"]'");
        QTest::addRow("large text") << QByteArray("replace(hex(zeroblob(40000)), '0', 'x')");
        QTest::addRow("integer") << QByteArray("42");
        QTest::addRow("real") << QByteArray("1.5");
        QTest::addRow("null") << QByteArray("NULL");
        QTest::addRow("a string") << QByteArray("'theirs', type = 'string'");
        QTest::addRow("a type this version does not know") << QByteArray("'{}', type = 'json'");
    }
    void aValueStoredInAnotherFormReadsAsALaunchReadsIt() {
        QFETCH(QByteArray, value);
        TempPrefs prefs;
        prefs.prefs().setData(kKey, largeValue('a'));
        QVERIFY(prefs.prefs().flush());
        Prefs &p = prefs.prefs();
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(qPrintable(prefs.path()), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000);
        const QByteArray sql = "UPDATE prefs SET value = " + value + " WHERE key = 'doc'";
        QCOMPARE(sqlite3_exec(other, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        QSignalSpy replaced(&p, &Prefs::storedValueReplaced);
        QVERIFY(p.spliceData(kKey, *p.version(kKey), {PrefsSplice{10, 3, "xyz"}}));
        QVERIFY(p.flush());
        QCOMPARE(replaced.count(), 1);
        const std::optional<Prefs::Value> during = p.value(kKey);
        const bool foreignDuring = p.hasForeignRow(kKey);
        QVERIFY(during || foreignDuring);
        prefs.reopen();
        const std::optional<Prefs::Value> atLaunch = prefs.prefs().value(kKey);
        QCOMPARE(bool(during), bool(atLaunch));
        QCOMPARE(foreignDuring, prefs.prefs().hasForeignRow(kKey));
        if (!during) return;
        QVERIFY(*during == *atLaunch);
        if (const auto *bytes = std::get_if<QByteArray>(&*during))
            QCOMPARE(*bytes, std::get<QByteArray>(*atLaunch));
    }

    // A save far past the bound (a splice larger than the value) while a commit is on its way to
    // the disk in a form a read cannot see through (a replacement of everything): the save is taken
    // at once. The value is read whole on a worker, never on the window's thread, which would wait
    // for that commit.
    void aSavePastTheBoundReadsNothingOnTheWindowsThread() {
        TempPrefs prefs;
        const QByteArray model = largeValue('a');
        QVERIFY(storedOnDisk(prefs, model));
        Prefs &p = prefs.prefs();
        struct Held {
            QSemaphore entered, release;
            std::atomic<bool> hold = false, gaveUp = false;
        };
        const auto held = std::make_shared<Held>();
        setPrefsCommitHookForTests([held](bool made) {
            if (made || !held->hold.exchange(false)) return;
            held->entered.release();
            if (!held->release.tryAcquire(1, 10000)) held->gaveUp = true;
        });
        struct Unhook {
            std::shared_ptr<Held> held;
            ~Unhook() {
                setPrefsCommitHookForTests({});
                held->release.release();
            }
        } unhook{held};
        QObject context;
        bool replaced = false;
        held->hold = true;
        p.replaceLater({{kKey, Prefs::Value(model)}}, &context,
                       [&](bool ok, const QString &) { replaced = ok; });
        QVERIFY(held->entered.tryAcquire(1, 10000));
        QVERIFY(p.spliceData(kKey, *p.version(kKey), {PrefsSplice{0, 1, QByteArray(17 << 20, 'p')}}));
        QVERIFY2(!held->gaveUp, "the save read the value on the window's thread");
        held->release.release();
        QTRY_VERIFY(replaced);
        QCOMPARE(p.data(kKey), model);
    }

    // A save larger than the value while the writer takes what it is given (it is only busy with a
    // commit, as a slow sync keeps it): its splices go to the disk as they are, and the value is not
    // read back whole to be held beside them, which would hold a large document twice. Reads give
    // the newest value throughout.
    void aLargeSpliceTheWriterTakesIsNoPileUp() {
        TempPrefs prefs;
        QByteArray model = largeValue('a');
        QVERIFY(storedOnDisk(prefs, model));
        Prefs &p = prefs.prefs();
        struct Held {
            QSemaphore entered, release;
            std::atomic<bool> hold = false, gaveUp = false;
        };
        const auto held = std::make_shared<Held>();
        setPrefsCommitHookForTests([held](bool made) {
            if (made || !held->hold.exchange(false)) return;
            held->entered.release();
            if (!held->release.tryAcquire(1, 10000)) held->gaveUp = true;
        });
        struct Unhook {
            std::shared_ptr<Held> held;
            ~Unhook() {
                setPrefsCommitHookForTests({});
                held->release.release();
            }
        } unhook{held};
        const PrefsSplice big{5, 10, QByteArray(17 << 20, 'p')};
        QVERIFY(applySplices(model, {big}));
        held->hold = true;
        QVERIFY(p.spliceData(kKey, *p.version(kKey), {big}));
        QTRY_VERIFY(held->entered.available() > 0); // handed over; the writer holds its commit
        Background::pool().waitForDone();
        QCoreApplication::processEvents(); // a read whole, had one begun, comes back
        QCOMPARE(p.pendingSpliceBytes(kKey), qint64(big.bytes.size())); // still splices, not held whole
        QCOMPARE(p.data(kKey), model);
        held->release.release();
        QVERIFY(p.flush());
        QVERIFY(!held->gaveUp);
        QCOMPARE(p.pendingSpliceBytes(kKey), qint64(0));
        prefs.reopen();
        QCOMPARE(prefs.prefs().data(kKey), model);
    }

    // Whole values replaced again and again (each a new row) while another thread reads them: every
    // read gives one whole value, never nothing and never a mix.
    void readsOnAnotherThreadSeeWholeValuesWhileTheyAreReplaced() {
        TempPrefs prefs;
        Prefs &p = prefs.prefs();
        const qint64 size = Prefs::kLargeBytes + 100;
        p.setData(kKey, QByteArray(size, 'a'));
        QVERIFY(p.flush());
        // A read from the disk whenever it is made, as a worker loading a document makes it.
        const auto read = p.readLater(kKey);
        std::atomic<bool> stop = false;
        std::atomic<int> reads = 0, wrong = 0;
        std::thread reader([&] {
            while (!stop) {
                const auto got = read();
                const auto *bytes = got ? std::get_if<QByteArray>(&*got) : nullptr;
                if (!bytes || bytes->size() != size || bytes->count(bytes->at(0)) != size) ++wrong;
                ++reads;
            }
        });
        for (int k = 1; k < 400; ++k) {
            p.setInt(QStringLiteral("other"), k); // the value's row is never the last one: each write gets a new rowid
            p.setData(kKey, QByteArray(size, char('a' + k % 26)));
            QVERIFY(p.flush());
        }
        QTRY_VERIFY(reads > 400);
        stop = true;
        reader.join();
        QCOMPARE(wrong.load(), 0);
    }

    // A read from another thread while splices are committed sees one whole version of the value,
    // never the disk's bytes with splices put on twice or missing.
    void readsOnAnotherThreadSeeWholeVersions() {
        TempPrefs prefs;
        QByteArray model = largeValue('a');
        QVERIFY(storedOnDisk(prefs, model));
        Prefs &p = prefs.prefs();
        std::vector<PrefsSplice> splices;
        QSet<QByteArray> versions{model};
        for (int k = 0; k < 40; ++k) {
            splices.push_back({qint64(37 * k), 5, QByteArray(9, char('b' + k % 20))});
            QVERIFY(applySplices(model, {splices.back()}));
            versions.insert(model);
        }
        std::atomic<bool> stop = false;
        std::atomic<int> reads = 0, wrong = 0;
        std::thread reader([&] {
            while (!stop) {
                if (!versions.contains(p.data(kKey))) ++wrong;
                ++reads;
            }
        });
        for (int k = 0; k < 40; ++k) {
            QVERIFY(p.spliceData(kKey, *p.version(kKey), {splices[size_t(k)]}));
            if (k % 3 == 0) QVERIFY(p.flush());
            else QCoreApplication::processEvents(); // handed over, committed whenever the writer can
        }
        QVERIFY(p.flush());
        QTRY_VERIFY(reads > 40);
        stop = true;
        reader.join();
        QCOMPARE(wrong.load(), 0);
        QCOMPARE(p.data(kKey), model);
    }

    // What a read's snapshot holds, from the gate as it was before and after the snapshot was taken:
    // told exactly, or left untold (the read looks again) when nothing can tell it.
    void aSnapshotIsToldOnlyWhenItCanBe() {
        const PrefsDigest old = PrefsDigest::of("old"), fresh = PrefsDigest::of("fresh");
        PrefsGateLook calm;
        calm.settled = 4;
        calm.committed = 10;
        calm.known = old;
        PrefsGateLook flying = calm;
        flying.inFlight = true;
        flying.flightSeq = 12;
        flying.flightWritesKey = true;
        flying.flightRow = 7;
        flying.flightKnown = fresh;
        const auto told = [](std::optional<PrefsSnapshot> s, quint64 upTo, const PrefsDigest &known) {
            return s && s->heldUpTo == upTo && s->known == known;
        };
        QVERIFY(told(snapshotBetween(calm, calm, 3), 10, old));
        // A commit published in between: the snapshot may hold it or not.
        PrefsGateLook later = calm;
        later.settled = 5;
        later.committed = 12;
        later.known = fresh;
        QVERIFY(!snapshotBetween(calm, later, 7));
        QVERIFY(!snapshotBetween(flying, later, 7));
        // In flight, begun before the snapshot or while it was taken: the key's row tells.
        QVERIFY(told(snapshotBetween(flying, flying, 7), 12, fresh));
        QVERIFY(told(snapshotBetween(calm, flying, 7), 12, fresh));
        QVERIFY(told(snapshotBetween(flying, flying, 3), 10, old));
        QVERIFY(told(snapshotBetween(flying, flying, std::nullopt), 10, old));
        PrefsGateLook removing = flying;
        removing.flightRow = std::nullopt;
        removing.flightKnown = std::nullopt;
        QVERIFY(snapshotBetween(removing, removing, std::nullopt)->heldUpTo == 12);
        QVERIFY(told(snapshotBetween(removing, removing, 3), 10, old));
        // A commit that leaves the key's row alone: read as just before it.
        PrefsGateLook elsewhere = flying;
        elsewhere.flightWritesKey = false;
        QVERIFY(told(snapshotBetween(elsewhere, elsewhere, 3), 10, old));
        // A wiped table may give a row its old rowid back: nothing to tell by.
        PrefsGateLook wiping = flying;
        wiping.flightRowsTell = false;
        QVERIFY(!snapshotBetween(wiping, wiping, 7));
    }

    // A read whose first look cannot tell what its snapshot holds (a commit was published meanwhile)
    // looks again, and takes what it reads then, rather than waiting for the next commit, held on
    // its way to the disk.
    void aReadLooksAgainBeforeItWaitsForACommit() {
        TempPrefs prefs;
        QByteArray model = largeValue('a');
        QVERIFY(storedOnDisk(prefs, model));
        Prefs &p = prefs.prefs();
        struct Held {
            QSemaphore entered, release, looked, goOn;
            std::atomic<bool> hold = false, gaveUp = false;
        };
        const auto held = std::make_shared<Held>();
        setPrefsCommitHookForTests([held](bool made) {
            if (made || !held->hold.exchange(false)) return;
            held->entered.release();
            if (!held->release.tryAcquire(1, 10000)) held->gaveUp = true;
        });
        setPrefsLookHookForTests([held](int look) {
            if (look != 0) return;
            held->looked.release();
            held->goOn.tryAcquire(1, 10000);
        });
        struct Unhook {
            std::shared_ptr<Held> held;
            ~Unhook() {
                setPrefsCommitHookForTests({});
                setPrefsLookHookForTests({});
                held->release.release(2);
                held->goOn.release();
            }
        } unhook{held};
        const auto spliceHeldInFlight = [&](qint64 at, const QByteArray &bytes) {
            const PrefsSplice s{at, qint64(bytes.size()), bytes};
            QVERIFY(applySplices(model, {s}));
            QVERIFY(p.spliceData(kKey, *p.version(kKey), {s}));
            held->hold = true;
            QTRY_VERIFY(held->entered.available() > 0); // handed over; the writer holds it
            held->entered.acquire();
        };
        spliceHeldInFlight(100, "1");
        const QByteArray expected = model.mid(90, 40);
        std::atomic<bool> done = false;
        std::optional<QByteArray> got;
        std::thread reader([read = p.readRangeLater(kKey, 90, 40, *p.version(kKey)), &got, &done] {
            got = read();
            done = true;
        });
        QVERIFY(held->looked.tryAcquire(1, 10000));
        // Between the reader's first read and its look after it, the commit is published, and the
        // next one is held on its way.
        held->release.release();
        QVERIFY(p.flush());
        spliceHeldInFlight(110, "2");
        held->goOn.release();
        const bool readInTime = QTest::qWaitFor([&] { return done.load(); }, 5000);
        held->release.release();
        reader.join();
        QVERIFY2(readInTime && !held->gaveUp, "the read waited for the commit in flight");
        QCOMPARE(got, std::optional<QByteArray>(expected));
        QVERIFY(p.flush());
        QCOMPARE(p.data(kKey), model);
    }

    // A commit held on its way to the disk (as a slow sync holds it), before its COMMIT and again
    // after it: every read, on this thread and on a worker, returns meanwhile, and gives the newest
    // value, the splices the commit carries put on exactly once whether its snapshot holds the commit
    // or not, and those made since on top.
    void readsDoNotWaitForACommitOnItsWayToTheDisk() {
        TempPrefs prefs;
        QByteArray model = largeValue('a');
        QVERIFY(storedOnDisk(prefs, model));
        Prefs &p = prefs.prefs();
        struct Held {
            QSemaphore entered, release;
            std::atomic<int> at = -1; // 0: before COMMIT, 1: after it; -1: none held
            std::atomic<bool> gaveUp = false;
        };
        const auto held = std::make_shared<Held>();
        setPrefsCommitHookForTests([held](bool made) {
            if (held->at != int(made)) return;
            held->at = -1;
            held->entered.release();
            // A read that waits for this commit waits until then: the test fails instead of hanging.
            if (!held->release.tryAcquire(1, 10000)) held->gaveUp = true;
        });
        struct Unhook {
            std::shared_ptr<Held> held;
            ~Unhook() {
                setPrefsCommitHookForTests({});
                held->release.release(2);
            }
        } unhook{held};
        for (int at : {0, 1}) {
            // Inserted bytes: put on twice, or left out, they show.
            const PrefsSplice carried{qint64(100 + at), 0, QByteArray("carried") + char('0' + at)};
            QVERIFY(applySplices(model, {carried}));
            QVERIFY(p.spliceData(kKey, *p.version(kKey), {carried}));
            held->at = at;
            QTRY_VERIFY(held->entered.available() > 0); // handed over; the writer holds it
            held->entered.acquire();
            const PrefsSplice since{qint64(3000 + at), 2, "since"};
            QVERIFY(applySplices(model, {since}));
            QVERIFY(p.spliceData(kKey, *p.version(kKey), {since}));
            const quint64 v = *p.version(kKey);
            std::optional<QByteArray> onWorker;
            std::thread worker([read = p.readRangeLater(kKey, 90, 3000, v), &onWorker] { onWorker = read(); });
            QCOMPARE(p.data(kKey), model);
            QCOMPARE(p.readRange(kKey, 90, 40, v), std::optional<QByteArray>(model.mid(90, 40)));
            QCOMPARE(p.dataAsWritten(kKey, v), std::optional<QByteArray>(model));
            QCOMPARE(std::get<QByteArray>(*p.readLater(kKey)()), model);
            worker.join();
            QCOMPARE(onWorker, std::optional<QByteArray>(model.mid(90, 3000)));
            QVERIFY2(!held->gaveUp, "a read waited for the commit in flight");
            held->release.release();
            QVERIFY(p.flush());
            QVERIFY(!held->gaveUp);
            QCOMPARE(p.data(kKey), model);
        }
        prefs.reopen();
        QCOMPARE(prefs.prefs().data(kKey), model);
    }
};

QTEST_GUILESS_MAIN(TestPrefsSplice)
#include "tst_prefs_splice.moc"
