#include "common/HeldPool.h"
#include "common/Records.h"
#include "common/TestEnv.h"
#include "exercises/ExerciseHistory.h"
#include "finance/FinanceStore.h"
#include "platform/Keys.h"
#include "platform/RecordJson.h"
#include "platform/StoreLoader.h"
#include "pomodoro/ProjectStore.h"
#include "pomodoro/TaskStore.h"
#include "ui/Page.h"
#include <QRandomGenerator>
#include <QSemaphore>
#include <QtTest>
#include <atomic>
#include <thread>

// The stores' documents: fast reading keeps the strict rules, saves that re-encode only what changed
// write exactly the bytes of a whole encode, large documents load off the window's thread.
namespace {
QString pick(QRandomGenerator &g, const std::vector<QString> &ids) {
    return ids.empty() ? QStringLiteral("none") : ids[g.bounded(int(ids.size()))];
}
// Text that needs escaping now and then.
QString text(QRandomGenerator &g) {
    static const QString parts[] = {"a", "Ü", "\"q\"", "\\", "\n", "😀", "\t", QString(QChar(1))};
    QString s;
    for (int i = g.bounded(4); i >= 0; --i)
        s += parts[g.bounded(8)];
    return s;
}

FinEntry entry(QRandomGenerator &g) {
    FinEntry e;
    e.id = RecordJson::newId();
    e.dateStr = QStringLiteral("0%1.03.2026").arg(g.bounded(1, 9));
    e.name = text(g);
    e.category = QStringLiteral("Food");
    e.type = g.bounded(2) ? FinType::income : FinType::expense;
    e.amount = g.bounded(2) ? double(g.bounded(1, 1000)) : g.bounded(1, 100000) / 100.0;
    e.month = 3;
    e.year = 2026;
    e.note = text(g);
    return e;
}

// A task document of n tasks: well over the size decoded at once.
QByteArray bigTaskDocument(int n) {
    std::vector<Task> tasks;
    for (int i = 0; i < n; ++i)
        tasks.push_back(makeTask(QStringLiteral("T%1").arg(i), "work", 1 + i % 28, 3, 2026, false,
                                 QStringLiteral("task %1 with a longer title").arg(i)));
    return encodeTasks(tasks);
}
} // namespace

class TstDocuments : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        TaskStore::resetForTests();
        FinanceStore::resetForTests();
        ProjectStore::resetForTests();
        ExerciseHistory::resetForTests();
    }

    // Both readers take and refuse the same values.
    void fastReadingKeepsTheRules_data() {
        QTest::addColumn<QByteArray>("value");
        for (const char *v : {"3", "3.0", "-0", "3.5", "1e2", "1e300", "1E400", "9223372036854775807",
                              "9223372036854775808", "-9223372036854775809", "100000000000000000000", "\"3\"",
                              "\"\\u00fc\\ud83d\\ude00\"", "\"\\ud800\"", "true", "null", "[]", "{}",
                              "[\"a\",\"b\"]", "[\"a\",1]"})
            QTest::newRow(v) << QByteArray(v);
    }
    void fastReadingKeepsTheRules() {
        QFETCH(QByteArray, value);
        for (const QByteArray &doc : {"{\"k\":" + value + "}", "\xEF\xBB\xBF{\"k\":" + value + "}",
                                      "{\"k\":\"first\",\"x\":1,\"k\":" + value + "}"}) {
            const auto general = RecordJson::parse(doc);
            const auto fast = RecordJson::Parsed::parse(doc);
            QCOMPARE(bool(fast), bool(general));
            if (!general) continue;
            const RecordJson::Value f = fast->root();
            qint64 i1 = 0, i2 = 0;
            double d1 = 0, d2 = 0;
            bool b1 = false, b2 = false;
            QString s1, s2;
            QStringList l1, l2;
            QCOMPARE(RecordJson::readInt(f, "k", i1), RecordJson::readInt(*general, "k", i2));
            QCOMPARE(i1, i2);
            QCOMPARE(RecordJson::readDouble(f, "k", d1), RecordJson::readDouble(*general, "k", d2));
            QCOMPARE(d1, d2);
            QCOMPARE(RecordJson::readBool(f, "k", b1), RecordJson::readBool(*general, "k", b2));
            QCOMPARE(RecordJson::readString(f, "k", s1), RecordJson::readString(*general, "k", s2));
            QCOMPARE(s1, s2);
            QCOMPARE(RecordJson::readStrings(f, "k", l1), RecordJson::readStrings(*general, "k", l2));
            QCOMPARE(l1, l2);
            QVERIFY(!RecordJson::readInt(f, "missing", i1));
        }
    }

    // After any run of operations the saved bytes are those of encoding every record.
    void incrementalSavesEqualAWholeEncode() {
        TempPrefs t;
        QRandomGenerator g(20260314);
        TaskStore &tasks = TaskStore::shared();
        FinanceStore &fin = FinanceStore::shared();
        ProjectStore &projects = ProjectStore::shared();
        std::vector<QString> taskIds, finIds, projectIds;
        for (int step = 0; step < 600; ++step) {
            // Now and then the documents reach the disk and the next saves read them back from there.
            if (step % 50 == 49) QVERIFY(t.prefs().flush());
            const QString id = pick(g, taskIds);
            switch (g.bounded(9)) {
            case 0: {
                Task n = makeTask(RecordJson::newId(), "work", 1 + g.bounded(28), 3, 2026, false, text(g));
                taskIds.push_back(n.id);
                tasks.add(n);
                break;
            }
            case 1: tasks.toggle(id); break;
            case 2: tasks.remove(id); break;
            case 3: tasks.moveTask(id, "health", 2, 4, 2026); break;
            case 4: tasks.updateText(id, text(g), text(g)); break;
            case 5:
                if (auto c = tasks.copyTask(id, "personal", 3, 3, 2026)) taskIds.push_back(*c);
                break;
            case 6: {
                if (g.bounded(3) == 0) {
                    fin.remove(pick(g, finIds));
                } else {
                    const FinEntry e = entry(g);
                    finIds.push_back(e.id);
                    fin.add(e);
                }
                break;
            }
            case 7: {
                Project p;
                p.id = g.bounded(2) ? RecordJson::newId() : pick(g, projectIds);
                p.name = text(g);
                p.createdDateInterval = g.bounded(1000000) + 0.5;
                projectIds.push_back(p.id);
                if (g.bounded(2)) projects.add(p); else projects.update(p);
                if (g.bounded(4) == 0) projects.remove(pick(g, projectIds));
                break;
            }
            default:
                if (g.bounded(40) == 0) {
                    std::vector<Task> some(tasks.tasks().begin(), tasks.tasks().begin() + tasks.tasks().size() / 2);
                    tasks.replaceAll(some);
                } else {
                    ExerciseHistory::shared().add(ExerciseRecord::make(text(g), "🙂", g.bounded(100)));
                }
            }
            QCOMPARE(t.prefs().data(kTasks), encodeTasks(tasks.tasks()));
            if (t.prefs().contains(kFinances)) QCOMPARE(t.prefs().data(kFinances), encodeEntries(fin.entries()));
            if (t.prefs().contains(kProjects)) QCOMPARE(t.prefs().data(kProjects), encodeProjects(projects.projects()));
            if (t.prefs().contains(kExerciseHistory))
                QCOMPARE(t.prefs().data(kExerciseHistory),
                         ExerciseHistoryJson::encode(ExerciseHistory::shared().records()));
        }
        // And after a restart the store goes on from the bytes it loaded.
        const std::vector<Task> before = tasks.tasks();
        t.reopen();
        TaskStore::resetForTests();
        QCOMPARE(TaskStore::shared().tasks(), before);
        TaskStore::shared().toggle(before.front().id);
        QCOMPARE(t.prefs().data(kTasks), encodeTasks(TaskStore::shared().tasks()));
    }

    // A stored document is taken as it stands when it is exactly what the records encode to, and
    // the next saves change it record by record; one with a record written otherwise (other key
    // order, spaces, escapes, a key the app does not know, spaces between records) is written anew
    // whole at the first save, so no save keeps a stale form.
    void aLoadedDocumentIsChangedWhereItStands_data() {
        QTest::addColumn<int>("odd");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::newRow("as written") << -1 << QByteArray() << QByteArray();
        QTest::newRow("keys in another order, first") << 0 << QByteArray("\"day\":1,\"month\":3")
                                                       << QByteArray("\"month\":3,\"day\":1");
        QTest::newRow("keys in another order, middle") << 21 << QByteArray("\"day\":1,\"month\":3")
                                                        << QByteArray("\"month\":3,\"day\":1");
        QTest::newRow("a space, middle") << 17 << QByteArray("\"completed\":") << QByteArray("\"completed\": ");
        QTest::newRow("an escape, last") << 39 << QByteArray("\"category\":\"work\"")
                                         << QByteArray("\"category\":\"\\u0077ork\"");
        QTest::newRow("an unknown key") << 5 << QByteArray("\"completed\":") << QByteArray("\"x\":1,\"completed\":");
        QTest::newRow("a space between records") << 9 << QByteArray("},") << QByteArray("}, ");
    }
    void aLoadedDocumentIsChangedWhereItStands() {
        QFETCH(int, odd);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        std::vector<Task> tasks;
        for (int i = 0; i < 40; ++i)
            tasks.push_back(makeTask(QStringLiteral("T%1").arg(i), "work", 1, 3, 2026, i % 3 == 0,
                                     QStringLiteral("task \"%1\" \\ Ü 😀").arg(i)));
        QByteArray doc = encodeTasks(tasks);
        if (odd >= 0) {
            const qsizetype record = doc.indexOf("{\"id\":\"T" + QByteArray::number(odd) + "\"");
            const qsizetype at = doc.indexOf(from, record);
            QVERIFY(record > 0 && at > 0);
            doc.replace(at, from.size(), to);
        }
        QRandomGenerator g(odd + 2);
        for (int round = 0; round < 4; ++round) {
            TempPrefs t;
            t.prefs().setData(kTasks, doc);
            QVERIFY(t.prefs().flush());
            t.reopen();
            TaskStore::resetForTests();
            TaskStore &store = TaskStore::shared();
            QCOMPARE(store.tasks(), tasks);
            // A few changes: the first record, the last, one at random, then the odd one.
            int other = int(g.bounded(40));
            if (other == odd) other = (other + 1) % 40;
            for (const int i : {0, 39, other, std::max(odd, 0)}) {
                store.toggle(QStringLiteral("T%1").arg(i));
                QCOMPARE(t.prefs().data(kTasks), encodeTasks(store.tasks()));
            }
            store.remove(QStringLiteral("T%1").arg(g.bounded(40)));
            QCOMPARE(t.prefs().data(kTasks), encodeTasks(store.tasks()));
            QVERIFY(t.prefs().flush());
            QCOMPARE(t.prefs().data(kTasks), encodeTasks(store.tasks()));
        }
    }

    // Reading and decoding a document, large or small, happen on a worker; the window's thread only
    // puts the result in place.
    void documentsAreReadAndDecodedOnAWorker() {
        TempPrefs t;
        t.prefs().setData(QStringLiteral("small"), "[\"a\"]");
        t.prefs().setData(QStringLiteral("large"), "[\"" + QByteArray(2 * Prefs::kLargeBytes, 'x') + "\"]");
        t.reopen(); // the large one is now read back from the database
        for (const QString &key : {QStringLiteral("small"), QStringLiteral("large")}) {
            QThread *decodedOn = nullptr, *readyOn = nullptr;
            QStringList got;
            auto job = loadDocument<QStringList>(
                key,
                [&](const QByteArray &b) -> std::optional<QStringList> {
                    decodedOn = QThread::currentThread();
                    auto v = RecordJson::parse(b);
                    return v ? std::optional(QStringList{QString::number(b.size())}) : std::nullopt;
                },
                [&](QStringList &&l, const DocumentLoad &r) {
                    readyOn = QThread::currentThread();
                    QVERIFY(r.decoded);
                    got = l;
                });
            QVERIFY(job);
            QTRY_VERIFY(readyOn);
            QVERIFY(decodedOn && decodedOn != QThread::currentThread());
            QCOMPARE(readyOn, QThread::currentThread());
            QCOMPARE(got.front().toLongLong(), t.prefs().data(key).size());
        }
    }

    // A part of a stored value comes from memory or from the database, only while the value is the
    // one the caller knows.
    void rangesOfAStoredValue() {
        TempPrefs t;
        QByteArray big(3 * Prefs::kLargeBytes, Qt::Uninitialized);
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char('a' + i % 26);
        t.prefs().setData(QStringLiteral("doc"), big);
        auto v = t.prefs().version(QStringLiteral("doc"));
        QVERIFY(v);
        QCOMPARE(t.prefs().readRange(QStringLiteral("doc"), 5, 10, *v), big.mid(5, 10)); // pending, in memory
        QVERIFY(t.prefs().flush());
        QCOMPARE(t.prefs().readRange(QStringLiteral("doc"), big.size() - 7, 7, *v), big.right(7)); // on disk
        QVERIFY(!t.prefs().readRange(QStringLiteral("doc"), big.size() - 7, 8, *v));
        QVERIFY(!t.prefs().readRange(QStringLiteral("doc"), -1, 2, *v));
        t.prefs().setData(QStringLiteral("doc"), "other");
        QVERIFY(!t.prefs().readRange(QStringLiteral("doc"), 0, 2, *v));
        QVERIFY(t.prefs().version(QStringLiteral("doc")) != v);
        QVERIFY(!t.prefs().version(QStringLiteral("none")));
    }

    // Until its load is in place a store answers nothing on its own: a read waits for the records,
    // an addition goes after them and is saved with them. Small documents load the same way as large.
    void useBeforeTheLoadIsInPlaceWaitsForIt_data() {
        QTest::addColumn<int>("count");
        QTest::newRow("small") << 3;
        QTest::newRow("large") << 4000;
    }
    void useBeforeTheLoadIsInPlaceWaitsForIt() {
        QFETCH(int, count);
        TempPrefs t;
        QRandomGenerator g(7);
        std::vector<FinEntry> entries;
        for (int i = 0; i < count; ++i)
            entries.push_back(entry(g));
        t.prefs().setData(kTasks, bigTaskDocument(count));
        t.prefs().setData(kFinances, encodeEntries(entries));
        t.reopen(); // a relaunch: the bytes come from the database
        {
            TaskStore tasks;
            FinanceStore fin;
            QVERIFY(!tasks.isLoaded() && !fin.isLoaded());
            QCOMPARE(tasks.tasks().size(), size_t(count));
            QCOMPARE(fin.entries(), entries);
        }
        TaskStore tasks;
        FinanceStore fin;
        QVERIFY(!tasks.isLoaded() && !fin.isLoaded());
        tasks.add(makeTask(QStringLiteral("NEW"), "work", 2, 3, 2026, false, QStringLiteral("added early")));
        const FinEntry added = entry(g);
        QVERIFY(fin.add(added));
        QTRY_VERIFY(!StoreLoader::get().loading()); // nothing that is still due can undo the additions
        QCOMPARE(tasks.tasks().size(), size_t(count + 1));
        QCOMPARE(tasks.tasks().back().id, QStringLiteral("NEW"));
        entries.push_back(added);
        QCOMPARE(fin.entries(), entries);
        QVERIFY(t.prefs().flush());
        QCOMPARE(t.prefs().data(kTasks), encodeTasks(tasks.tasks()));
        QCOMPARE(t.prefs().data(kFinances), encodeEntries(entries));
    }

    // A large document decodes on a worker: pages hold their redraws meanwhile, and the first use of
    // the store, read or write, waits for it instead of seeing no records.
    void largeDocumentsLoadOffTheWindowsThread() {
        TempPrefs t;
        const QByteArray doc = bigTaskDocument(4000);
        t.prefs().setData(kTasks, doc);
        Page page;
        page.show();
        QTRY_VERIFY(!page.rebuildPending());
        const int before = page.rebuildCount();
        {
            TaskStore store;
            QVERIFY(!store.isLoaded());
            QVERIFY(StoreLoader::get().loading());
            page.requestRebuild();
            QTest::qWait(1);
            // Before the load is in place nothing has been drawn from it.
            if (!store.isLoaded()) QCOMPARE(page.rebuildCount(), before);
            store.toggle(QStringLiteral("T7")); // a write before the load waits for it
            QCOMPARE(store.tasks().size(), size_t(4000));
            QVERIFY(store.tasks()[7].completed);
            QCOMPARE(t.prefs().data(kTasks), encodeTasks(store.tasks()));
            QTRY_COMPARE(page.rebuildCount(), before + 1);
        }
        // An unreadable large document is kept aside from the worker's verdict, and told.
        DataNotices::get().take();
        QByteArray bad = doc;
        bad.replace("\"completed\":false}]", "\"completed\":0}]");
        t.prefs().setData(kTasks, bad);
        TaskStore store;
        QTRY_VERIFY(store.isLoaded());
        QVERIFY(store.tasks().empty());
        QVERIFY(store.loadReport().existed && !store.loadReport().decoded);
        QCOMPARE(t.prefs().data(store.loadReport().keptAsideKey), bad);
        QCOMPARE(DataNotices::get().take().size(), size_t(1));
        QVERIFY(!StoreLoader::get().loading());
    }

    // Encoding reads a string and writes nothing to it, whatever its buffer: a literal, raw data (not
    // terminated where the string ends), an empty or a null string keep their data where it was. A
    // note's copies share these string objects with the window's thread while a worker encodes
    // them, so a string given a buffer of its own on the way would be freed under the other thread.
    void encodingAStringLeavesItAsItIs() {
        static const char16_t raw[] = u"raw text \"quoted\" and more that the string leaves out";
        const auto *rawChars = reinterpret_cast<const QChar *>(raw);
        const QString strings[] = {QStringLiteral("a literal, with \"quotes\" and ü"),
                                   QString::fromRawData(rawChars, 20), QStringLiteral(""), QString(),
                                   QString::fromRawData(rawChars, 0)};
        const QByteArray want[] = {"\"a literal, with \\\"quotes\\\" and ü\"",
                                   "\"raw text \\\"quoted\\\" an\"", "\"\"", "\"\"", "\"\""};
        for (size_t i = 0; i < std::size(strings); ++i) {
            const QString shared = strings[i];
            const QChar *before = shared.constData();
            QByteArray out;
            RecordJson::appendString(out, shared);
            QCOMPARE(out, want[i]);
            QVERIFY2(shared.constData() == before, qPrintable(QStringLiteral("string %1 moved").arg(i)));
        }
    }

    // What a worker lets go of is gone before a reader of megabytes goes on: a free no worker has
    // taken up yet is done by the reader itself (once: the worker that comes to it later skips it),
    // and one a worker is doing is waited for.
    void freesAreDoneBeforeAReaderGoesOn() {
        std::atomic<int> done{0};
        {
            HeldPool held;
            StoreLoader::freeLater([&] { ++done; });
            std::thread([] { StoreLoader::awaitFrees(); }).join();
            QCOMPARE(done.load(), 1);
        }
        QCOMPARE(done.load(), 1);
        QSemaphore started, go;
        StoreLoader::freeLater([&] {
            started.release();
            go.acquire();
            ++done;
        });
        started.acquire();
        std::atomic<int> seen{-1};
        std::thread reader([&] {
            StoreLoader::awaitFrees();
            seen = done.load();
        });
        go.release();
        reader.join();
        QCOMPARE(seen.load(), 2);
        Background::pool().waitForDone();
    }

    // A member's value found without a parse, as a parse takes it: the last of a repeated key, only
    // at the object's own level, never a key inside a string; nothing where a key is escaped (its
    // name is not known unescaped) or the object never closes.
    void membersFoundWithoutAParse_data() {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<QByteArray>("value"); // "-": none
        QTest::newRow("plain") << QByteArray("{\"a\":1,\"b\":\"x\"}") << QByteArray("\"x\"");
        QTest::newRow("first") << QByteArray("{\"b\":[1,2],\"a\":1}") << QByteArray("[1,2]");
        QTest::newRow("spaced") << QByteArray(" {\n \"b\" : \t{\"c\":[]} \n}") << QByteArray("{\"c\":[]}");
        QTest::newRow("last counts") << QByteArray("{\"b\":1,\"a\":{\"b\":2},\"b\":null}") << QByteArray("null");
        QTest::newRow("only nested") << QByteArray("{\"a\":{\"b\":2},\"c\":[{\"b\":3}]}") << QByteArray("-");
        QTest::newRow("inside strings") << QByteArray("{\"a\":\"\\\",\\\"b\\\":1\",\"c\":\"b\"}") << QByteArray("-");
        QTest::newRow("quotes escaped") << QByteArray("{\"a\":\"x\\\\\",\"b\":\"\\\"y\\\"\"}")
                                        << QByteArray("\"\\\"y\\\"\"");
        QTest::newRow("escaped key") << QByteArray("{\"\\u0062\":1,\"b\":2}") << QByteArray("-");
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf{\"b\":true}") << QByteArray("true");
        QTest::newRow("array") << QByteArray("[{\"b\":1}]") << QByteArray("-");
        QTest::newRow("unclosed") << QByteArray("{\"b\":1") << QByteArray("-");
        QTest::newRow("unclosed string") << QByteArray("{\"a\":1,\"b\":\"x") << QByteArray("-");
    }
    void membersFoundWithoutAParse() {
        QFETCH(QByteArray, object);
        QFETCH(QByteArray, value);
        const auto span = RecordJson::memberSpan(object, "b");
        QCOMPARE(span.has_value(), value != "-");
        if (span) QCOMPARE(object.mid(span->first, span->second - span->first), value);
    }

    // Strings are written straight from UTF-16; the slow twin is Qt's UTF-8 conversion with every
    // byte escaped. Random texts of emoji, quotes, controls, ASCII runs and unpaired surrogates (which
    // keep Qt's own handling) must come out byte for byte the same.
    void stringsAreWrittenAsTheirUtf8Escaped() {
        auto slow = [](const QString &s) {
            QByteArray out("\"");
            for (const char c : s.toUtf8()) {
                const auto u = uchar(c);
                if (u == '"' || u == '\\')
                    out += '\\' + QByteArray(1, char(u));
                else if (u == '\n')
                    out += "\\n";
                else if (u == '\r')
                    out += "\\r";
                else if (u == '\t')
                    out += "\\t";
                else if (u == '\b')
                    out += "\\b";
                else if (u == '\f')
                    out += "\\f";
                else if (u < 0x20)
                    out += QByteArray("\\u00") + QByteArray::number(u, 16).rightJustified(2, '0');
                else
                    out += char(u);
            }
            return out + '"';
        };
        const std::vector<QString> pieces = {QStringLiteral("plain ascii text "),
                                             QStringLiteral("😀"),
                                             QStringLiteral("𝄞"),
                                             QStringLiteral("𠀋"),
                                             QStringLiteral("\U0010FFFD"),
                                             QStringLiteral("\""),
                                             QStringLiteral("\\"),
                                             QStringLiteral("\n\t\x01"),
                                             QStringLiteral("é"),
                                             QStringLiteral("ж"),
                                             QStringLiteral("€"),
                                             QStringLiteral("\u2028"),
                                             QString(QChar(0xD83D)),
                                             QString(QChar(0xDE00)),
                                             QStringLiteral("12345678")};
        QRandomGenerator rng(42);
        for (int round = 0; round < 2000; ++round) {
            QString s;
            const int n = int(rng.bounded(12));
            for (int k = 0; k < n; ++k)
                s += pieces[rng.bounded(quint32(pieces.size()))];
            QByteArray out("x");
            RecordJson::appendString(out, s);
            QVERIFY2(out.mid(1) == slow(s),
                     qPrintable(QString::number(round) + QStringLiteral(": ") + QString::fromUtf8(out)));
            // Counted from the UTF-8 a parse hands over, without the text made.
            const QByteArray utf8 = s.toUtf8();
            QCOMPARE(RecordJson::escapedSize({utf8.constData(), size_t(utf8.size())}), out.size() - 3);
        }
    }
};

QTEST_MAIN(TstDocuments)
#include "tst_documents.moc"
