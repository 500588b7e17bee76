#include "common/Files.h"
#include "common/NotesImport.h"
#include "common/Records.h"
#include "common/TestEnv.h"
#include "exercises/Exercise.h"
#include "exercises/ExerciseRecord.h"
#include "exercises/Playlist.h"
#include "finance/FinEntry.h"
#include "health/CustomReminder.h"
#include "notes/NoteCodec.h"
#include "notes/NoteListImport.h"
#include "notes/NoteStore.h"
#include "platform/Keys.h"
#include "platform/LongText.h"
#include "pomodoro/TaskListFile.h"
#include "finance/FinanceFile.h"
#include "ui/Lang.h"
#include "platform/RecordJson.h"
#include "pomodoro/Project.h"
#include "settings/Backup.h"
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

// Documents as a hostile file or a damaged database gives them: every reader takes or refuses the
// same bytes, and none of them crashes, whatever the nesting. A crash ends this program, which fails
// the test.
namespace {
QByteArray nested(int depth) {
    return QByteArray(depth, '[') + QByteArray(depth, ']');
}

// Inserts a member at the start of the first object in doc.
QByteArray withMember(const QByteArray &doc, const QByteArray &member) {
    QByteArray out = doc;
    return out.insert(doc.indexOf('{') + 1, member + ',');
}

// How deep the first object of doc sits.
int firstObjectDepth(const QByteArray &doc) {
    return doc.startsWith('{') ? 1 : 2;
}

struct Reader {
    const char *name;
    QByteArray sample; // a document with one record that the reader takes
    std::function<bool(const QByteArray &)> takes;
};

QByteArray tableNote() {
    Note n;
    n.id = QStringLiteral("N");
    n.type = NoteType::table;
    n.columns.emplace_back(QStringLiteral("C"), QStringLiteral("c"));
    NoteRow row;
    row.id = QStringLiteral("R");
    row.cells = {QStringLiteral("x")};
    n.rows.push_back(row);
    return encodeNotes({n});
}

// Every reader of a stored or imported document, each with a document it takes.
const std::vector<Reader> &readers() {
    static const std::vector<Reader> all = [] {
        std::vector<Reader> r;
        Project project;
        project.id = QStringLiteral("P");
        FinEntry entry;
        entry.id = QStringLiteral("F");
        entry.amount = 1;
        CustomReminder reminder;
        reminder.id = QStringLiteral("C");
        Exercise exercise;
        exercise.id = QStringLiteral("E");
        PlaylistSavedState playlist;
        const QByteArray tasks = encodeTasks({makeTask("T", "work", 1, 3, 2026)});
        r.push_back(
            {"general parser", tasks, [](const QByteArray &b) { return bool(RecordJson::parse(b)); }});
        r.push_back(
            {"fast parser", tasks, [](const QByteArray &b) { return bool(RecordJson::Parsed::parse(b)); }});
        r.push_back({"tasks", tasks, [](const QByteArray &b) { return bool(decodeTasks(b)); }});
        r.push_back({"projects", encodeProjects({project}),
                     [](const QByteArray &b) { return bool(decodeProjects(b)); }});
        r.push_back(
            {"finances", encodeEntries({entry}), [](const QByteArray &b) { return bool(decodeEntries(b)); }});
        r.push_back({"reminders", CustomReminderDoc::encode({reminder}),
                     [](const QByteArray &b) { return bool(CustomReminderDoc::decode(b)); }});
        r.push_back({"exercise library", ExerciseJson::encodeList({exercise}),
                     [](const QByteArray &b) { return bool(ExerciseJson::decodeList(b)); }});
        r.push_back({"one exercise", ExerciseJson::encodeOne(exercise),
                     [](const QByteArray &b) { return bool(ExerciseJson::decodeOne(b)); }});
        r.push_back({"exercise history", ExerciseHistoryJson::encode({ExerciseRecord::make("a", "b", 1)}),
                     [](const QByteArray &b) { return bool(ExerciseHistoryJson::decode(b)); }});
        r.push_back({"playlist", PlaylistJson::encode(playlist),
                     [](const QByteArray &b) { return bool(PlaylistJson::decode(b)); }});
        r.push_back({"notes", tableNote(), [](const QByteArray &b) { return bool(decodeNotes(b)); }});
        r.push_back(
            {"notes index", tableNote(), [](const QByteArray &b) { return bool(NoteCodec::index(b)); }});
        r.push_back({"one note", tableNote().mid(1).chopped(1),
                     [](const QByteArray &b) { return bool(NoteCodec::decodeHeld(b)); }});
        Note rich;
        rich.id = QStringLiteral("N");
        rich.body = QStringLiteral("x");
        rich.bodyRTF = QByteArray("{\\rtf1 x}");
        // Its rich text read before the parse, from bytes handed over.
        r.push_back({"one note handed over", encodeNotes({rich}).mid(1).chopped(1), [](const QByteArray &b) {
                         QByteArray own(b.constData(), b.size());
                         return bool(NoteCodec::decodeHeldInPlace(own));
                     }});
        r.push_back({"settings restore", tasks, [](const QByteArray &b) {
                         return bool(Backup::parseRestore("{\"savedTasks\":\"" + b.toBase64() + "\"}"));
                     }});
        return r;
    }();
    return all;
}
} // namespace


class TstHostileDocuments : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        NoteStore::resetForTests();
        DataNotices::get().take();
    }

    // One rule for all readers: strict JSON with only whitespace after the value (a NUL byte is no
    // whitespace, and JSON has no other place for one), nested at most kMaxDepth deep.
    void everyReaderTakesTheSameDocuments_data() {
        QTest::addColumn<std::function<QByteArray(const QByteArray &)>>("make");
        QTest::addColumn<bool>("taken");
        using F = std::function<QByteArray(const QByteArray &)>;
        auto deepMember = [](int total) {
            return F([total](const QByteArray &d) {
                return withMember(d, "\"x\":" + nested(total - firstObjectDepth(d)));
            });
        };
        QTest::newRow("as written") << F([](const QByteArray &d) { return d; }) << true;
        QTest::newRow("whitespace around")
            << F([](const QByteArray &d) { return " \t\r\n" + d + "\n "; }) << true;
        QTest::newRow("byte-order mark") << F([](const QByteArray &d) { return "\xEF\xBB\xBF" + d; }) << true;
        QTest::newRow("escaped NUL in a string")
            << F([](const QByteArray &d) { return withMember(d, "\"x\":\"a\\u0000b\""); }) << true;
        QTest::newRow("NUL then text")
            << F([](const QByteArray &d) { return d + QByteArray("\0 trailing", 10); }) << false;
        QTest::newRow("NUL at the end")
            << F([](const QByteArray &d) { return d + QByteArray(1, '\0'); }) << false;
        QTest::newRow("NUL before") << F([](const QByteArray &d) { return QByteArray(1, '\0') + d; })
                                    << false;
        QTest::newRow("NUL in a string")
            << F([](const QByteArray &d) { return withMember(d, QByteArray("\"x\":\"a\0b\"", 9)); }) << false;
        QTest::newRow("text after") << F([](const QByteArray &d) { return d + " x"; }) << false;
        QTest::newRow("two documents") << F([](const QByteArray &d) { return d + d; }) << false;
        QTest::newRow("form feed after") << F([](const QByteArray &d) { return d + "\f"; }) << false;
        QTest::newRow("comment after") << F([](const QByteArray &d) { return d + "/**/"; }) << false;
        QTest::newRow("invalid UTF-8")
            << F([](const QByteArray &d) { return withMember(d, "\"x\":\"\xC0\x80\""); }) << false;
        QTest::newRow("lone surrogate")
            << F([](const QByteArray &d) { return withMember(d, "\"x\":\"\\ud800\""); }) << false;
        QTest::newRow("nested 1024 deep") << deepMember(RecordJson::kMaxDepth) << true;
        QTest::newRow("nested 1025 deep") << deepMember(RecordJson::kMaxDepth + 1) << false;
        QTest::newRow("nested 100000 deep in a member") << deepMember(100000) << false;
        QTest::newRow("nested 100000 deep") << F([](const QByteArray &) { return nested(100000); }) << false;
        QTest::newRow("nested 100000 deep, open")
            << F([](const QByteArray &) { return QByteArray(100000, '['); }) << false;
    }
    void everyReaderTakesTheSameDocuments() {
        QFETCH(std::function<QByteArray(const QByteArray &)>, make);
        QFETCH(bool, taken);
        QStringList otherwise;
        for (const Reader &r : readers()) {
            QVERIFY2(r.takes(r.sample), r.name);
            if (r.takes(make(r.sample)) != taken) otherwise << QString::fromLatin1(r.name);
        }
        QCOMPARE(otherwise, QStringList());
    }

    // The notes decoder's own places: a note's unknown member, a row's, a cell; each reader of notes
    // refuses them, the import says so, and a stored one is kept aside once and told.
    void deepNotesAreRefusedWherever_data() {
        QTest::addColumn<QByteArray>("doc");
        const QByteArray deep = nested(100000);
        const QByteArray doc = tableNote();
        QTest::newRow("document") << deep;
        QTest::newRow("a note") << "[" + deep + "]";
        QTest::newRow("a note's unknown member") << withMember(doc, "\"x\":" + deep);
        QTest::newRow("a row's unknown member")
            << QByteArray(doc).replace("{\"id\":\"R\"", "{\"x\":" + deep + ",\"id\":\"R\"");
        QTest::newRow("a row's cells") << QByteArray(doc).replace("\"cells\":[\"x\"]", "\"cells\":" + deep);
        QTest::newRow("a cell") << QByteArray(doc).replace("\"cells\":[\"x\"]", "\"cells\":[" + deep + "]");
        QTest::newRow("rich text of the cells")
            << QByteArray(doc).replace("\"cellsRTF\":{}", "\"cellsRTF\":{\"0\":" + deep + "}");
    }
    void deepNotesAreRefusedWherever() {
        QFETCH(QByteArray, doc);
        QVERIFY(!decodeNotes(doc));
        QVERIFY(!NoteCodec::index(doc));
        QVERIFY(!Backup::parseRestore("{\"savedNotes\":\"" + doc.toBase64() + "\"}"));

        TempPrefs prefs;
        TestDialogs dialogs;
        QTemporaryDir dir;
        NoteStore &store = NoteStore::shared();
        store.add(Note{});
        dialogs.openPathAnswers = {putFile(dir.filePath("deep.json"), doc)};
        QVERIFY(!runNotesImport(store));
        QCOMPARE(dialogs.alertsShown, QStringList{"Import error|Invalid Mivo Notes JSON."});
        QCOMPARE(store.notes().size(), size_t(1));

        // Stored by another program: kept aside once, and the store starts empty.
        prefs.prefs().setData(kNotes, doc);
        NoteStore::resetForTests();
        QVERIFY(NoteStore::shared().notes().empty());
        const DocumentLoad report = NoteStore::shared().loadReport();
        QVERIFY(report.existed && !report.decoded);
        QCOMPARE(prefs.prefs().data(report.keptAsideKey), doc);
        QCOMPARE(DataNotices::get().take().size(), size_t(1));
        prefs.reopen();
        NoteStore::resetForTests();
        QVERIFY(NoteStore::shared().notes().empty());
        QVERIFY(DataNotices::get().take().empty());
    }

    // A backup file nested too deep anywhere is refused as a whole, like any file that does not read.
    void deepBackupFilesAreRefused() {
        const QByteArray good = "{\"appLanguage\":\"de\"}";
        QVERIFY(Backup::parseRestore(good));
        QVERIFY(!Backup::parseRestore(withMember(good, "\"unknown\":" + nested(100000))));
        QVERIFY(!Backup::parseRestore(QByteArray(100000, '{')));
    }

    // The first text over the bound, named by its members and its record; data members of notes are
    // not texts. Small bounds here; the importers below use the real one.
    void longTextsAreFoundAndNamed_data() {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<bool>("notes");
        QTest::addColumn<QString>("field");
        QTest::addColumn<qsizetype>("item");
        const QByteArray nine = "\"123456789\"";
        QTest::newRow("fits") << QByteArray("[{\"title\":\"12345678\"}]") << false << QString() << qsizetype(0);
        QTest::newRow("one over") << "[{\"title\":\"ok\"},{\"a\":\"b\",\"title\":" + nine + "}]" << false
                                  << "title" << qsizetype(2);
        QTest::newRow("first of two") << "[{\"b\":" + nine + ",\"a\":" + nine + "}]" << false << "b" << qsizetype(1);
        QTest::newRow("8 letters of 2 bytes") << QByteArray("[{\"t\":\"éééééééé\"}]") << false << QString()
                                              << qsizetype(0);
        QTest::newRow("5 pairs") << QByteArray("[{\"t\":\"😀😀😀😀😀\"}]") << false << "t" << qsizetype(1);
        QTest::newRow("escapes count as read") << QByteArray("[{\"t\":\"\\u00e9\\u00e9\\u00e9\\u00e9\"}]")
                                               << false << QString() << qsizetype(0);
        QTest::newRow("a cell") << "[{\"rows\":[{\"cells\":[\"a\"," + nine + "]}]}]" << true << "rows › cells"
                                << qsizetype(1);
        QTest::newRow("a step") << "[{\"steps\":[{\"title\":" + nine + "}]}]" << false << "steps › title"
                                << qsizetype(1);
        QTest::newRow("one object") << "{\"entryExIDs\":[" + nine + "]}" << false << "entryExIDs" << qsizetype(0);
        QTest::newRow("a note's data") << "[{\"body\":" + nine + ",\"bodyRTF\":" + nine + ",\"imageBase64\":" + nine +
                                              ",\"rows\":[{\"cellsRTF\":{\"0\":" + nine + "}}]}]"
                                       << true << QString() << qsizetype(0);
        QTest::newRow("a note's body elsewhere") << "[{\"body\":" + nine + "}]" << false << "body" << qsizetype(1);
        QTest::newRow("not JSON") << "[{\"t\":" + nine << false << QString() << qsizetype(0);
    }
    void longTextsAreFoundAndNamed() {
        QFETCH(QByteArray, doc);
        QFETCH(bool, notes);
        QFETCH(QString, field);
        QFETCH(qsizetype, item);
        const auto found = notes ? LongText::find(doc, LongText::kNoteData, 8) : LongText::find(doc, {}, 8);
        QCOMPARE(found.value_or(LongText::Found{}), (LongText::Found{field, item}));
    }

    // Each import refuses a file with a text over a table cell's bound and names the field; nothing is
    // replaced. A note's body may be longer.
    void importsRefuseALongTextNamingIt() {
        TempPrefs prefs;
        TestDialogs dialogs;
        QTemporaryDir dir;
        const QString big(LongText::kMaxChars + 1, QLatin1Char('x'));
        Task task = makeTask("T", "work", 1, 3, 2026);
        task.description = big;
        const auto tasks = TaskListFile::read(putFile(dir.filePath("t.json"), encodeTasks({makeTask("S", "work", 1, 3, 2026), task})));
        QCOMPARE(tasks.error, TaskListFile::ReadError::textTooLong);
        QCOMPARE(tasks.tooLong, (LongText::Found{"description", 2}));

        FinEntry entry;
        entry.id = QStringLiteral("F");
        entry.amount = 1;
        entry.category = big;
        const auto fin = FinanceFile::readBytes(encodeEntries({entry}));
        QVERIFY(!fin.ok);
        QCOMPARE(fin.tooLong, (LongText::Found{"category", 1}));

        Note note;
        note.id = QStringLiteral("N");
        note.body = big + big;
        const QString notesPath = dir.filePath("n.json");
        putFile(notesPath, encodeNotes({note}));
        QCOMPARE(NoteListImport::read(notesPath).error, NoteListImport::ReadError::none);
        note.title = big;
        putFile(notesPath, encodeNotes({note}));
        NoteStore &store = NoteStore::shared();
        store.add(Note{});
        dialogs.openPathAnswers = {notesPath};
        QVERIFY(!runNotesImport(store));
        QCOMPARE(dialogs.alertsShown, QStringList{"Import error|Nothing was imported: “title” in item 1 holds more than "
                                                  "1048576 characters."});
        QCOMPARE(store.notes().size(), size_t(1));

        LongText::Found found;
        QVERIFY(!Backup::parseRestore("{\"savedTasks\":\"" + encodeTasks({task}).toBase64() + "\"}", &found));
        QCOMPARE(found, (LongText::Found{"savedTasks › description", 1}));
    }

    void theMessageNamesTheFieldInEveryLanguage() {
        const LongText::Found inItem{"title", 3}, alone{"entryExIDs", 0};
        QCOMPARE(LongText::message(inItem),
                 QStringLiteral("Nothing was imported: “title” in item 3 holds more than 1048576 characters."));
        QCOMPARE(LongText::message(alone),
                 QStringLiteral("Nothing was imported: “entryExIDs” holds more than 1048576 characters."));
        QSet<QString> texts;
        for (AppLang lang : AppLangs::allCases) {
            L::setLang(lang);
            const QString m = LongText::message(inItem);
            QVERIFY2(m.contains("title") && m.contains('3') && m.contains("1048576"), qPrintable(m));
            texts.insert(m);
        }
        L::setLang(AppLang::en);
        QCOMPARE(texts.size(), 6);
    }

    // Large lists are read in chunks of records: a document of several chunks reads as a whole, and
    // what spoils it anywhere (after a chunk's end too) spoils it as over the whole.
    void listsReadInChunksReadAsAWhole() {
        std::vector<Task> tasks;
        for (int i = 0; i < 20000; ++i)
            tasks.push_back(makeTask(QStringLiteral("T%1").arg(i), "work", 1, 3, 2026, false,
                                     QStringLiteral("a, title] with {brackets} and \"quotes\" %1").arg(i)));
        const QByteArray doc = encodeTasks(tasks);
        QVERIFY(doc.size() > 2 * (1 << 20));
        QCOMPARE(decodeTasks(doc), std::optional<std::vector<Task>>(tasks));
        int seen = 0;
        QVERIFY(RecordJson::forEachElement(" " + doc + "\n", [&](RecordJson::Value) { return ++seen; }));
        QCOMPARE(seen, 20000);
        const QByteArray body = doc.chopped(1);
        for (const QByteArray &bad : {body + ",]", body + ", ]", body + ",,{}]", body, doc + "]", body + "}",
                                      body + "," + QByteArray(1, '\0') + "]", doc + QByteArray(1, '\0'),
                                      body + ",[" + nested(RecordJson::kMaxDepth - 1) + "]]"})
            QVERIFY2(!RecordJson::forEachElement(bad, [](RecordJson::Value) { return true; }), bad.right(12).constData());
        QVERIFY(RecordJson::forEachElement(body + "," + nested(RecordJson::kMaxDepth - 1) + "]",
                                           [](RecordJson::Value) { return true; }));
        QVERIFY(!RecordJson::forEachElement(doc, [&](RecordJson::Value) { return --seen > 10000; }));
    }

    // Wherever the chunks are cut, a list reads exactly as one parse of the whole reads it: the same
    // elements, or refused by both. The lists are full of what a cut could trip over (escaped quotes,
    // runs of backslashes before a closing quote, brackets and commas inside strings), and then spoilt
    // one byte at a time.
    void chunksAreCutOnlyBetweenElements_data() {
        QTest::addColumn<QByteArray>("doc");
        QTest::newRow("backslash pairs before the closing quote") << QByteArray("[\"a\\\\\", \"b\\\\\\\\\", \"]\"]");
        QTest::newRow("an escaped quote after backslash pairs") << QByteArray("[\"a\\\\\\\"],[\", \"b\"]");
        QTest::newRow("only backslashes") << QByteArray("[\"\\\\\", \"\\\\\\\\\\\\\", \"\\\\\"]");
        QTest::newRow("brackets and commas in strings") << QByteArray("[{\"k]\":\"v,}\"},\"[,{\", [\"],\"]]");
        QTest::newRow("escapes of every kind") << QByteArray("[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\ud83d\\ude00\", 1]");
        QTest::newRow("unclosed after an escaped quote") << QByteArray("[\"a\\\"]");
        QTest::newRow("odd backslashes before the last quote") << QByteArray("[\"a\\\\\\\"]");
        const QByteArray run(70, 'a');
        QTest::newRow("escapes far into long strings")
            << "[\"" + run + "\\\"" + run + "\\\\\", \"" + run + run + run + "\\\\\\\"]\"]";
        QTest::newRow("nothing before the first comma") << QByteArray("[        ,1]");
        QTest::newRow("nothing after the last comma") << QByteArray("[1,        ]");
        QTest::newRow("two commas") << QByteArray("[1,   ,2]");
        QTest::newRow("empty") << QByteArray("[   ]");
        QTest::newRow("closed by a brace") << QByteArray("[\"a\", \"b\"}");
    }
    void chunksAreCutOnlyBetweenElements() {
        QFETCH(QByteArray, doc);
        // The reference: one parse of the whole, each element in its compact form.
        auto whole = [](const QByteArray &bytes) -> std::optional<std::vector<std::string>> {
            simdjson::dom::parser parser;
            RecordJson::Value root;
            simdjson::dom::array list;
            if (!RecordJson::parseFast(parser, bytes, root) || root.get_array().get(list) != simdjson::SUCCESS)
                return std::nullopt;
            std::vector<std::string> out;
            for (const RecordJson::Value e : list) out.push_back(simdjson::minify(e));
            return out;
        };
        auto chunked = [](const QByteArray &bytes, qsizetype chunk) -> std::optional<std::vector<std::string>> {
            std::vector<std::string> out;
            if (!RecordJson::forEachElement(
                    bytes, [&](RecordJson::Value e) { return out.push_back(simdjson::minify(e)), true; }, chunk))
                return std::nullopt;
            return out;
        };
        auto same = [&](const QByteArray &bytes) {
            const auto expected = whole(bytes);
            for (const qsizetype chunk : {qsizetype(1), qsizetype(2), qsizetype(5), qsizetype(40), RecordJson::kChunkBytes})
                if (chunked(bytes, chunk) != expected)
                    return QStringLiteral("chunks of %1 read %2 otherwise than the whole (%3)")
                        .arg(chunk)
                        .arg(QString::fromUtf8(bytes.toPercentEncoding(" []{},:\\\"")))
                        .arg(expected ? "taken" : "refused");
            return QString();
        };
        QCOMPARE(same(doc), QString());
        // A longer list of such elements, then that list spoilt: every byte in turn replaced, doubled
        // or dropped.
        QByteArray list = "[";
        for (int i = 0; i < 6; ++i) list += doc.mid(1).chopped(1) + (i < 5 ? "," : "]");
        QCOMPARE(same(list), QString());
        static const char kinds[] = {'"', '\\', '[', ']', '{', '}', ',', ' ', '\0', 'x', '1'};
        for (qsizetype at = 0; at < doc.size(); ++at) {
            for (const char c : kinds) {
                QByteArray spoilt = doc;
                spoilt[at] = c;
                QCOMPARE(same(spoilt), QString());
            }
            QCOMPARE(same(QByteArray(doc).insert(at, doc[at])), QString());
            QCOMPARE(same(QByteArray(doc).remove(at, 1)), QString());
        }
    }
};

QTEST_MAIN(TstHostileDocuments)
#include "tst_hostile_documents.moc"
