#include "common/TestEnv.h"
#include "common/NoteTables.h"
#include "notes/NoteCodec.h"
#include "notes/NoteListImport.h"
#include "notes/NoteStore.h"
#include "platform/DataNotices.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include <QRandomGenerator>
#include <sqlite3.h>
#include <thread>
#include "platform/RecordJson.h"
#include <QtTest>

namespace {
struct Posts {
    QObject ctx;
    int count = 0;
    Posts() {
        Notifier::get().observe(Notify::notesChanged, &ctx, [this](QObject *) { ++count; });
    }
};

Note textNote(const QString &id) {
    Note n;
    n.id = id;
    n.type = NoteType::text;
    n.emoji = QStringLiteral("📝");
    n.title = QStringLiteral("Hi");
    n.body = QStringLiteral("b");
    n.createdInterval = 788918400;
    n.modifiedInterval = 788918400.5;
    return n;
}

// One note object with every required member; extra is spliced in before the closing brace.
QByteArray noteJson(const QByteArray &replace = {}, const QByteArray &extra = {}) {
    QByteArray o =
        "{\"id\":\"A\",\"type\":\"text\",\"emoji\":\"e\",\"title\":\"t\",\"body\":\"b\",\"link\":\"l\","
        "\"columns\":[{\"id\":\"C\",\"title\":\"c\"}],\"rows\":[],\"createdInterval\":1,\"modifiedInterval\":"
        "2.5";
    if (!replace.isEmpty()) {
        const qsizetype eq = replace.indexOf('=');
        const QList<QByteArray> parts{replace.left(eq), replace.mid(eq + 1)};
        const QByteArray key = '"' + parts[0] + "\":";
        const qsizetype at = o.indexOf(key);
        Q_ASSERT(at >= 0);
        qsizetype end = at + key.size();
        int depth = 0;
        for (; end < o.size(); ++end) {
            const char c = o[end];
            if (c == '[' || c == '{') ++depth;
            if (c == ']' || c == '}') --depth;
            if (depth == 0 && c == ',') break;
        }
        o = parts.size() > 1 && parts[1] == "DROP" ? o.left(at) + o.mid(end + 1)
                                                   : o.left(at) + key + parts[1] + o.mid(end);
    }
    return o + extra + '}';
}

// A string with what the encoder must escape, and text in other scripts.
QString oddText(QRandomGenerator &rng) {
    static const QStringList parts{"a", "Zeile", "\"", "\\", "\n", "\t", QString(QChar(1)), "/", "ü", "червоний",
                                   "🙂", "{\"x\":[1]}", " ", "\u2028"};
    QString s;
    for (int i = int(rng.bounded(4)); i > 0; --i) s += parts[rng.bounded(parts.size())];
    return s;
}

Note randomNote(QRandomGenerator &rng, int serial) {
    const bool table = rng.bounded(2);
    Note n(table ? NoteType::table : NoteType::text, oddText(rng), oddText(rng));
    n.id = QStringLiteral("N%1").arg(serial);
    n.createdInterval = 788918400 + serial * 0.25;
    n.modifiedInterval = n.createdInterval;
    if (!table) {
        n.body = oddText(rng);
        if (rng.bounded(2)) n.bodyRTF = oddText(rng).toUtf8();
        return n;
    }
    for (int c = int(rng.bounded(4)); c > 0; --c) n.columns.emplace_back(oddText(rng));
    for (int r = int(rng.bounded(6)); r > 0; --r) {
        QStringList cells;
        for (size_t c = 0; c < n.columns.size(); ++c) cells << oddText(rng);
        NoteRow row(cells);
        if (rng.bounded(3) == 0) row.cellsRTF[int(rng.bounded(12))] = oddText(rng).toUtf8();
        n.rows.push_back(row);
    }
    return n;
}

// One change as the notes page makes it, to a copy of a note.
void randomEdit(QRandomGenerator &rng, Note &n) {
    const size_t cols = n.columns.size(), rows = n.rows.size();
    switch (rng.bounded(8)) {
    case 0:
        n.title = oddText(rng);
        break;
    case 1:
        n.body = oddText(rng);
        n.bodyRTF = rng.bounded(2) ? std::optional<QByteArray>(oddText(rng).toUtf8()) : std::nullopt;
        break;
    case 2: // a cell, with or without rich text
        if (rows && cols) {
            NoteRow &r = n.rows[rng.bounded(quint32(rows))];
            const int c = int(rng.bounded(quint32(cols)));
            while (r.cells.size() <= c) r.cells << QString();
            r.cells[c] = oddText(rng);
            if (rng.bounded(2))
                r.cellsRTF[c] = oddText(rng).toUtf8();
            else
                r.cellsRTF.erase(c);
        }
        break;
    case 3: { // a row inserted
        QStringList cells;
        for (size_t c = 0; c < cols; ++c) cells << oddText(rng);
        n.rows.insert(n.rows.begin() + rng.bounded(quint32(rows + 1)), NoteRow(cells));
        break;
    }
    case 4:
        if (rows) n.rows.erase(n.rows.begin() + rng.bounded(quint32(rows)));
        break;
    case 5: // rows moved
        if (rows > 1) std::swap(n.rows[rng.bounded(quint32(rows))], n.rows[rng.bounded(quint32(rows))]);
        break;
    case 6: // a column added
        n.columns.emplace_back(oddText(rng));
        for (NoteRow &r : n.rows) r.cells << oddText(rng);
        break;
    default: // a column deleted
        if (cols) {
            const int c = int(rng.bounded(quint32(cols)));
            n.columns.erase(n.columns.begin() + c);
            for (NoteRow &r : n.rows)
                if (c < r.cells.size()) r.cells.removeAt(c);
        }
    }
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes) {
    const QString p = dir.filePath(name);
    QFile f(p);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(bytes);
    return p;
}
} // namespace


// Runs the notes page's import through the scripted panels and waits for it to end (the file is
// read on a worker); whether the notes were replaced.
static bool runNotesImport(NoteStore &store) {
    auto replaced = std::make_shared<std::optional<bool>>();
    NoteListImport::run(&store, nullptr, store, [replaced](bool r) { *replaced = r; });
    if (!QTest::qWaitFor([&] { return replaced->has_value(); }, 20000)) return false;
    return replaced->value_or(false);
}

class TestNoteStore : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void documentBytesForATextAndATableNote() {
        Note text = textNote(QStringLiteral("N1"));
        Note table = textNote(QStringLiteral("N2"));
        table.type = NoteType::table;
        table.title = QStringLiteral("Q\"/\n");
        table.body.clear();
        table.bodyRTF = QByteArray("r");
        table.imageBase64 = QStringLiteral("AAA");
        table.columns = {NoteTableColumn(QStringLiteral("C1"), QStringLiteral("Name"))};
        NoteRow row;
        row.id = QStringLiteral("R1");
        row.cells = {QStringLiteral("a"), QStringLiteral("ü")};
        row.cellsRTF = {{10, QByteArray("y")}, {2, QByteArray("x")}};
        NoteRow bare;
        bare.id = QStringLiteral("R2");
        table.rows = {row, bare};
        const std::vector<Note> both{text, table};
        const QByteArray expected(
            "[{\"id\":\"N1\",\"type\":\"text\",\"emoji\":\"📝\",\"title\":\"Hi\",\"body\":\"b\",\"link\":\"\","
            "\"columns\":[],\"rows\":[],\"createdInterval\":788918400,\"modifiedInterval\":788918400.5},"
            "{\"id\":\"N2\",\"type\":\"table\",\"emoji\":\"📝\",\"title\":\"Q\\\"/"
            "\\n\",\"body\":\"\",\"bodyRTF\":\"cg==\","
            "\"imageBase64\":\"AAA\",\"link\":\"\",\"columns\":[{\"id\":\"C1\",\"title\":\"Name\"}],"
            "\"rows\":[{\"id\":\"R1\",\"cells\":[\"a\",\"ü\"],\"cellsRTF\":{\"2\":\"eA==\",\"10\":\"eQ==\"}},"
            "{\"id\":\"R2\",\"cells\":[],\"cellsRTF\":{}}],"
            "\"createdInterval\":788918400,\"modifiedInterval\":788918400.5}]");
        QCOMPARE(encodeNotes(both), expected);
        const auto back = decodeNotes(encodeNotes(both));
        QVERIFY(back);
        QCOMPARE(back->at(1), table);
        QCOMPARE(back->at(0), text);
    }

    // A note decoded from bytes handed over reads as from bytes only looked at: the same note and row
    // places (none where the bytes are not in the written form); a text lets go of its bytes, a table
    // keeps them as they were, and bytes shared with another holder are left alone.
    void decodingHandedOverBytesReadsTheSame() {
        Note text = textNote(QStringLiteral("N1"));
        text.body = QString(3000, QChar(u'é'));
        text.bodyRTF = QByteArray(500, 'r');
        const Note table = tableNote(QStringLiteral("T"), 2, {{QStringLiteral("a"), QStringLiteral("ü")}, {QStringLiteral("b")}});
        for (const Note &n : {text, table}) {
            QByteArray written;
            NoteCodec::encodeNote(written, n, {}, nullptr);
            QByteArray spaced = written;
            spaced.insert(1, "  ");
            for (const QByteArray &bytes : {written, spaced}) {
                const auto looked = NoteCodec::decodeHeld(bytes);
                QVERIFY(looked);
                QCOMPARE(looked->note, n);
                QByteArray shared = bytes; // another holder keeps bytes
                const auto fromShared = NoteCodec::decodeHeldInPlace(shared);
                QVERIFY(fromShared);
                QCOMPARE(fromShared->note, n);
                QCOMPARE(shared, bytes);
                QByteArray own(bytes.constData(), bytes.size());
                const auto handed = NoteCodec::decodeHeldInPlace(own);
                QVERIFY(handed);
                QCOMPARE(handed->note, n);
                QCOMPARE(handed->rows.size(), looked->rows.size());
                for (size_t i = 0; i < looked->rows.size(); ++i) {
                    QCOMPARE(handed->rows[i].at, looked->rows[i].at);
                    QCOMPARE(handed->rows[i].len, looked->rows[i].len);
                }
                QCOMPARE(own, n.rows.empty() ? QByteArray() : bytes);
            }
        }
        QByteArray cut("{\"id\":");
        QVERIFY(!NoteCodec::decodeHeldInPlace(cut));
    }

    // A note's rich text is read straight from bytes handed over before they are parsed, and its
    // Base64 taken out of them: the note read is the one read from the same bytes only looked at,
    // whichever member the parse takes (the last of a repeated one, none written with an
    // escape), and bytes it refuses are refused.
    void richTextReadBeforeTheParseIsTheOneTheParseTakes_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray rich = ",\"bodyRTF\":\"e3J0Zg==\"";
        QTest::newRow("rich") << noteJson({}, rich);
        QTest::newRow("spaced") << noteJson("rows= [ ] ", " , \"bodyRTF\" :  \"e3J0Zg==\" ");
        QTest::newRow("then none") << noteJson({}, rich + ",\"bodyRTF\":null");
        QTest::newRow("none, then rich") << noteJson({}, ",\"bodyRTF\":null" + rich);
        QTest::newRow("two, the last counts") << noteJson({}, ",\"bodyRTF\":\"eA==\"" + rich);
        QTest::newRow("last written with an escape")
            << noteJson({}, rich + ",\"bodyRT\\u0046\":\"eA==\"");
        QTest::newRow("last written with an escape, empty")
            << noteJson({}, rich + ",\"bodyRT\\u0046\":\"\"");
        QTest::newRow("escaped slash") << noteJson({}, ",\"bodyRTF\":\"P\\/8=\"");
        QTest::newRow("unused bits set") << noteJson({}, ",\"bodyRTF\":\"e3J0Zh==\"");
        QTest::newRow("not Base64") << noteJson({}, ",\"bodyRTF\":\"e3J0Z_==\"");
        QTest::newRow("in a row's cell") << noteJson("rows=[{\"id\":\"R\",\"cells\":[\"x\"],\"cellsRTF\":{\"0\":\"eA==\"}}]", rich);
        QTest::newRow("rows again, empty last")
            << noteJson("rows=[{\"id\":\"R\",\"cells\":[],\"cellsRTF\":{}}]", rich + ",\"rows\":[]");
        QTest::newRow("rows again, full last")
            << noteJson({}, rich + ",\"rows\":[{\"id\":\"R\",\"cells\":[],\"cellsRTF\":{}}]");
        QTest::newRow("inside another member")
            << noteJson({}, rich + ",\"x\":{\"bodyRTF\":\"eA==\",\"rows\":[]}");
        QTest::newRow("byte order mark") << "\xef\xbb\xbf" + noteJson({}, rich);
        QTest::newRow("unclosed") << noteJson({}, rich).chopped(1);
        QTest::newRow("trailing bytes") << noteJson({}, rich) + "x";
    }
    void richTextReadBeforeTheParseIsTheOneTheParseTakes() {
        QFETCH(QByteArray, bytes);
        const auto looked = NoteCodec::decodeHeld(bytes); // parsed as they are
        QByteArray own(bytes.constData(), bytes.size());
        const auto handed = NoteCodec::decodeHeldInPlace(own);
        QCOMPARE(handed.has_value(), looked.has_value());
        if (looked) QCOMPARE(handed->note, looked->note);
    }

    // Copies of a table note share their rows' cells (the store's, the page's, a save's on a worker):
    // encoded on several threads at once, each gives the bytes of the note encoded alone, and the
    // cells stay where they were. Literal and empty cells have no buffer of their own, the ones an
    // encode that wrote its input would have replaced under the other threads.
    void copiesSharingCellsEncodeOnManyThreadsAtOnce() {
        const auto rows = [] {
            QList<QStringList> rows;
            for (int r = 0; r < 2000; ++r)
                rows << QStringList{QStringLiteral("\"ü\" 🙂"), QString(), QStringLiteral("literal cell text"),
                                    QStringLiteral("")};
            return rows;
        };
        const Note note = table(4, rows());
        Note twin = note; // the same note with cells of its own
        const QList<QStringList> twinCells = rows();
        for (size_t r = 0; r < twin.rows.size(); ++r) twin.rows[r].cells = twinCells[qsizetype(r)];
        const QByteArray alone = encodeNotes({twin});
        const QChar *firstCell = note.rows[0].cells[0].constData();
        std::vector<QByteArray> got(4);
        std::vector<std::thread> threads;
        for (QByteArray &out : got)
            threads.emplace_back([copy = note, &out] {
                for (int round = 0; round < 3; ++round) out = encodeNotes({copy});
            });
        QByteArray here;
        for (int round = 0; round < 3; ++round) here = encodeNotes({note});
        for (std::thread &t : threads) t.join();
        QCOMPARE(here, alone);
        for (const QByteArray &out : got) QCOMPARE(out, alone);
        QCOMPARE(note.rows[0].cells[0].constData(), firstCell);
    }

    void strictNoteDecoding_data() {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<bool>("ok");
        QTest::newRow("complete") << '[' + noteJson() + ']' << true;
        QTest::newRow("empty array") << QByteArray("[]") << true;
        QTest::newRow("bodyRTF and image null")
            << '[' + noteJson({}, ",\"bodyRTF\":null,\"imageBase64\":null") + ']' << true;
        QTest::newRow("bodyRTF valid") << '[' + noteJson({}, ",\"bodyRTF\":\"e3J0Zg==\"") + ']' << true;
        QTest::newRow("bodyRTF unpadded") << '[' + noteJson({}, ",\"bodyRTF\":\"e3J0Zg\"") + ']' << false;
        QTest::newRow("bodyRTF whitespace")
            << '[' + noteJson({}, ",\"bodyRTF\":\"e3J0 Zg==\"") + ']' << false;
        QTest::newRow("bodyRTF line break")
            << '[' + noteJson({}, ",\"bodyRTF\":\"e3J0\\nZg==\"") + ']' << false;
        QTest::newRow("bodyRTF url alphabet")
            << '[' + noteJson({}, ",\"bodyRTF\":\"e3J0Z_==\"") + ']' << false;
        QTest::newRow("bodyRTF number") << '[' + noteJson({}, ",\"bodyRTF\":5") + ']' << false;
        QTest::newRow("image number") << '[' + noteJson({}, ",\"imageBase64\":5") + ']' << false;
        QTest::newRow("no link") << '[' + noteJson("link=DROP") + ']' << false;
        QTest::newRow("link null") << '[' + noteJson("link=null") + ']' << false;
        QTest::newRow("type list") << '[' + noteJson("type=\"list\"") + ']' << false;
        QTest::newRow("single object") << noteJson() << false;
        QTest::newRow("float stamps") << '[' + noteJson("createdInterval=1.5e9") + ']' << true;
        QTest::newRow("stamp as text") << '[' + noteJson("createdInterval=\"1\"") + ']' << false;
        QTest::newRow("column without title") << '[' + noteJson("columns=[{\"id\":\"C\"}]") + ']' << false;
        QTest::newRow("row not an object") << '[' + noteJson("rows=[\"x\"]") + ']' << false;
        QTest::newRow("row null") << '[' + noteJson("rows=[null]") + ']' << false;
        QTest::newRow("one bad note of two") << '[' + noteJson() + ',' + noteJson("emoji=1") + ']' << false;
        QTest::newRow("not json") << QByteArray("[{") << false;
        // What the general parser reads, the fast one must read too.
        QTest::newRow("repeated member, last counts") << '[' + noteJson("id=5", ",\"id\":\"B\"") + ']' << true;
        QTest::newRow("repeated member, last wrong") << '[' + noteJson({}, ",\"link\":5") + ']' << false;
        QTest::newRow("byte order mark") << "\xef\xbb\xbf[" + noteJson() + ']' << true;
        QTest::newRow("integer beyond 64 bits") << '[' + noteJson("createdInterval=123456789012345678901234") + ']'
                                                << true;
        QTest::newRow("lone surrogate") << '[' + noteJson("title=\"\\ud800\"") + ']' << false;
    }
    void strictNoteDecoding() {
        QFETCH(QByteArray, doc);
        QFETCH(bool, ok);
        QCOMPARE(decodeNotes(doc).has_value(), ok);
    }

    // A document in the written form is taken as it is, and one with a text written otherwise is
    // written anew: a character that must be escaped is seen wherever it stands in a text, and one
    // that need not be is left as it is.
    void textsIndexInTheirWrittenForm() {
        const QList<QChar> chars{QChar(0x01), QChar(0x1F), QChar('"'), QChar('\\'), QChar(' '), QChar(0x7F),
                                 QChar(0xE9), QChar(0x2028)};
        for (const QChar c : chars) {
            for (const int at : {0, 5, 15, 16, 17, 31, 40}) {
                QString text(41, QLatin1Char('x'));
                text[at] = c;
                Note n = tableNote(QStringLiteral("T"), 2, {{text, QStringLiteral("b")}});
                n.title = text;
                n.body = text;
                const QByteArray doc = encodeNotes({n});
                const auto ix = NoteCodec::index(doc);
                QVERIFY(ix);
                QVERIFY2(ix->doc.constData() == doc.constData(), qPrintable(QString::number(c.unicode())));
                // The same note with its cell's text written with every character escaped.
                QByteArray cell = "\"";
                for (const QChar ch : text) cell += QStringLiteral("\\u%1").arg(ch.unicode(), 4, 16, QLatin1Char('0')).toLatin1();
                cell += '"';
                QByteArray other = doc;
                const QByteArray written = RecordJson::Json(text.toStdString()).dump().c_str();
                const qsizetype cellAt = other.indexOf("\"cells\":[") + 9;
                QVERIFY(other.mid(cellAt).startsWith(written));
                other.replace(cellAt, written.size(), cell);
                const auto again = NoteCodec::index(other);
                QVERIFY(again);
                QCOMPARE(again->doc, doc);
            }
        }
    }

    // Rich text is Base64 in one form only: every byte outside the alphabet is refused wherever it
    // stands (within the first sixteen bytes, across their end, among the last few), padding only at
    // the end.
    void base64IsTakenInItsOneFormOnly() {
        const QByteArray alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const QByteArray good = QByteArray("Rich text, some forty-two bytes long: ok..").toBase64();
        QVERIFY(!good.contains('='));
        QVERIFY(strictBase64(good));
        QStringList wrong;
        for (int b = 0; b < 256; ++b) {
            for (const int at : {0, 7, 15, 16, 17, 31, 32, int(good.size()) - 1}) {
                QByteArray text = good;
                text[at] = char(b);
                const bool padding = b == '=' && at == good.size() - 1;
                if (strictBase64(text).has_value() != (alphabet.contains(char(b)) || padding))
                    wrong << QStringLiteral("byte %1 at %2").arg(b).arg(at);
            }
        }
        QCOMPARE(wrong.join(", "), QString());
        QVERIFY(strictBase64(good.chopped(2) + "=="));
        QVERIFY(strictBase64(good.chopped(1) + "="));
        QVERIFY(!strictBase64(good.chopped(3) + "==="));
        QVERIFY(!strictBase64("==" + good.chopped(2)));
        QVERIFY(!strictBase64(good.left(20) + "=" + good.mid(21)));
    }

    // Rich text of any length is written as the Base64 of the whole, also where it is made a piece at
    // a time: lengths about a piece and around a few pieces, ending with no, one or two padding marks.
    void longRichTextIsWrittenAsTheBase64OfTheWhole() {
        QRandomGenerator rng(5);
        for (const qsizetype size : {qsizetype(1), qsizetype(2), qsizetype(3), qsizetype(49151), qsizetype(49152),
                                     qsizetype(49153), qsizetype(3 * 49152 + 1), qsizetype(3 * 49152 + 2)}) {
            QByteArray rtf(size, Qt::Uninitialized);
            for (char &c : rtf) c = char(rng.bounded(256));
            Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Rich"));
            n.bodyRTF = rtf;
            QByteArray cell = rtf.left(size / 2 + 1);
            NoteRow row(QStringList{QStringLiteral("a")});
            row.cellsRTF[0] = cell;
            n.rows.push_back(row);
            const QByteArray doc = encodeNotes({n});
            QVERIFY2(doc.contains("\"bodyRTF\":\"" + rtf.toBase64() + "\","), qPrintable(QString::number(size)));
            QVERIFY(doc.contains("\"0\":\"" + cell.toBase64() + "\"}"));
            const auto back = decodeNotes(doc);
            QVERIFY(back && back->size() == 1);
            QCOMPARE(back->front().bodyRTF, std::optional<QByteArray>(rtf));
        }
    }

    void rowsDecodeMemberByMember_data() {
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<bool>("freshId");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<int>("rtfCount");
        QTest::newRow("cells only") << QByteArray("{\"cells\":[\"a\"]}") << true << QStringList{"a"} << 0;
        QTest::newRow("cells as a string")
            << QByteArray("{\"id\":\"R\",\"cells\":\"a\",\"cellsRTF\":{\"0\":\"eA==\"}}") << false
            << QStringList{} << 1;
        QTest::newRow("cells with a number")
            << QByteArray("{\"id\":\"R\",\"cells\":[\"a\",1]}") << false << QStringList{} << 0;
        QTest::newRow("id a number") << QByteArray("{\"id\":7,\"cells\":[\"a\"]}") << true << QStringList{"a"}
                                     << 0;
        QTest::newRow("rtf key x")
            << QByteArray(
                   "{\"id\":\"R\",\"cells\":[\"a\",\"b\"],\"cellsRTF\":{\"0\":\"eA==\",\"x\":\"eA==\"}}")
            << false << QStringList{"a", "b"} << 0;
        QTest::newRow("rtf bad base64")
            << QByteArray("{\"id\":\"R\",\"cells\":[\"a\"],\"cellsRTF\":{\"0\":\"!!\"}}") << false
            << QStringList{"a"} << 0;
        QTest::newRow("rtf value number")
            << QByteArray("{\"id\":\"R\",\"cellsRTF\":{\"0\":\"eA==\",\"1\":5}}") << false << QStringList{}
            << 0;
        QTest::newRow("rtf null") << QByteArray("{\"id\":\"R\",\"cells\":null,\"cellsRTF\":null}") << false
                                  << QStringList{} << 0;
        QTest::newRow("rtf two keys")
            << QByteArray("{\"id\":\"R\",\"cellsRTF\":{\"10\":\"eA==\",\"2\":\"eQ==\"}}") << false
            << QStringList{} << 2;
    }
    void rowsDecodeMemberByMember() {
        QFETCH(QByteArray, row);
        QFETCH(bool, freshId);
        QFETCH(QStringList, cells);
        QFETCH(int, rtfCount);
        const auto notes = decodeNotes('[' + noteJson("rows=[" + row + "]") + ']');
        QVERIFY(notes);
        const NoteRow &r = notes->at(0).rows.at(0);
        if (freshId)
            QCOMPARE(r.id.size(), 36);
        else
            QCOMPARE(r.id, QStringLiteral("R"));
        QCOMPARE(r.cells, cells);
        QCOMPARE(int(r.cellsRTF.size()), rtfCount);
    }

    void storeOperationsWriteThenPost() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        NoteStore store;
        Posts posts;
        Note a = textNote(QStringLiteral("A"));
        store.add(a);
        QCOMPARE(posts.count, 1);
        QCOMPARE(store.notes().at(0).createdInterval, 788918400.0); // add keeps the note's stamps
        QCOMPARE(decodeNotes(prefs.prefs().data(QString::fromLatin1(kNotes)))->size(), size_t(1));

        a.title = QStringLiteral("changed");
        store.update(a);
        QCOMPARE(posts.count, 2);
        QCOMPARE(store.notes().at(0).title, QStringLiteral("changed"));
        QCOMPARE(store.notes().at(0).modifiedInterval, clock.refSeconds());

        Note ghost = textNote(QStringLiteral("nobody"));
        store.update(ghost);
        QCOMPARE(posts.count, 2);

        store.remove(QStringLiteral("nobody"));
        QCOMPARE(posts.count, 3); // also when nothing matched
        store.add(textNote(QStringLiteral("A")));
        store.add(textNote(QStringLiteral("B")));
        store.remove(QStringLiteral("A"));
        QCOMPARE(store.notes().size(), size_t(1)); // every twin goes
        QCOMPARE(store.notes().at(0).id, QStringLiteral("B"));

        NoteStore reloaded;
        QCOMPARE(reloaded.notes(), store.notes());
        // A removal that finds nothing writes nothing, also where a save would splice.
        QVERIFY(prefs.prefs().flush());
        const auto stored = prefs.prefs().version(QString::fromLatin1(kNotes));
        reloaded.remove(QStringLiteral("nobody"));
        QVERIFY(!prefs.prefs().hasPending());
        QCOMPARE(prefs.prefs().version(QString::fromLatin1(kNotes)), stored);
    }

    // Whatever the page does, the bytes a save writes are those of encoding every note anew, and a
    // note decoded again from its bytes is the note.
    void incrementalSavesWriteWhatAFullEncodeWrites() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        QRandomGenerator rng(26);
        auto store = std::make_unique<NoteStore>();
        std::vector<Note> model;
        int serial = 0;
        for (int step = 0; step < 600; ++step) {
            const quint32 op = model.empty() ? 0 : rng.bounded(20);
            if (op < 3) {
                model.push_back(randomNote(rng, serial++));
                store->add(model.back());
            } else if (op < 4) {
                const QString id = model[rng.bounded(quint32(model.size()))].id;
                std::erase_if(model, [&](const Note &n) { return n.id == id; });
                store->remove(id);
            } else if (op < 5) { // another launch: the store loads what was saved
                store = std::make_unique<NoteStore>();
                QCOMPARE(store->decodedCount(), 0);
            } else if (op < 6) { // the store lets go of notes no longer in use
                for (const Note &n : model) store->find(n.id);
                QCoreApplication::processEvents();
                QVERIFY(store->decodedCount() <= 3);
            } else {
                if (op < 9) // the preferences let go of the document once it is written: this save goes in
                            // its place
                    prefs.prefs().flush();
                const size_t i = rng.bounded(quint32(model.size()));
                Note copy = *store->find(model[i].id);
                QVERIFY(copy == model[i]);
                for (int k = int(rng.bounded(3)); k >= 0; --k) randomEdit(rng, copy);
                store->update(copy);
                model[i] = copy;
                model[i].modifiedInterval = clock.refSeconds();
            }
            QCOMPARE(prefs.prefs().data(QString::fromLatin1(kNotes)), encodeNotes(model));
            QCOMPARE(store->notes(), std::vector<NoteHead>(model.begin(), model.end()));
            clock.advance(1.5);
        }
    }

    // After a relaunch the preferences no longer hold the document's bytes, so a save may go in their
    // place: a note removed or added then still changes the document's layout.
    void notesComeAndGoAfterARelaunch() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        QRandomGenerator rng(36);
        std::vector<Note> model;
        for (int i = 0; i < 40; ++i)
            model.push_back(randomNote(rng, i));
        prefs.prefs().setData(QString::fromLatin1(kNotes), encodeNotes(model));
        const auto relaunch = [&] {
            QVERIFY(prefs.prefs().flush());
            prefs.reopen();
            NoteStore::resetForTests();
            QCOMPARE(NoteStore::shared().notes().size(), model.size());
            QCoreApplication::processEvents(); // the load's clean-up runs
        };
        for (int round = 0; round < 3; ++round) {
            relaunch();
            // Each note's bytes come back from the database when it is asked for.
            for (size_t k = 0; k < model.size(); k += 7)
                QCOMPARE(*NoteStore::shared().find(model[k].id), model[k]);
            const QString gone = model[rng.bounded(quint32(model.size()))].id;
            std::erase_if(model, [&](const Note &n) { return n.id == gone; });
            NoteStore::shared().remove(gone);
            QVERIFY(prefs.prefs().flush());
            QCOMPARE(prefs.prefs().data(QString::fromLatin1(kNotes)), encodeNotes(model));

            relaunch();
            model.push_back(randomNote(rng, 100 + round));
            NoteStore::shared().add(model.back());
            QVERIFY(prefs.prefs().flush());
            QCOMPARE(prefs.prefs().data(QString::fromLatin1(kNotes)), encodeNotes(model));
        }
        // A write the preferences do not take (frozen after a restore) leaves the store its own copy.
        relaunch();
        prefs.prefs().setFrozen(true);
        Note edited = *NoteStore::shared().find(model[3].id);
        edited.title = QStringLiteral("kept in memory");
        NoteStore::shared().update(edited);
        NoteStore::shared().remove(model[5].id);
        QCOMPARE(NoteStore::shared().find(model[3].id)->title, QStringLiteral("kept in memory"));
        for (size_t k = 6; k < model.size(); k += 5)
            QCOMPARE(*NoteStore::shared().find(model[k].id), model[k]);
        model[3] = *NoteStore::shared().find(model[3].id);
        model.erase(model.begin() + 5);
        QCOMPARE(NoteStore::shared().document(), encodeNotes(model));
        prefs.prefs().setFrozen(false);
        NoteStore::resetForTests();
    }

    // The document read back at a save is not the one the store let go of (here another program wrote
    // an empty list over it): the store writes nothing spliced from it, shows what is stored, and keeps
    // the change aside as a notes list of its own.
    void aSaveNeverSplicesIntoBytesItDidNotLetGoOf() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        QRandomGenerator rng(7);
        std::vector<Note> model;
        for (int i = 0; i < 30; ++i) {
            model.push_back(randomNote(rng, i));
            model.back().body = QString(4000, QChar(u'a' + i % 26)); // the document is kept on disk
        }
        prefs.prefs().setData(QString::fromLatin1(kNotes), encodeNotes(model));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        NoteStore::resetForTests();
        QCOMPARE(NoteStore::shared().notes().size(), model.size());
        QCoreApplication::processEvents();

        Note edited = *NoteStore::shared().find(model[4].id);
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(qPrintable(prefs.path()), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000); // as any program, it waits while Mivo's writer commits
        QCOMPARE(sqlite3_exec(other, "UPDATE prefs SET value = CAST('[]' AS BLOB) WHERE key = 'savedNotes'",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(other);
        edited.title = QStringLiteral("kept aside");
        NoteStore::shared().update(edited);
        QVERIFY(prefs.prefs().flush());
        QCOMPARE(prefs.prefs().data(QString::fromLatin1(kNotes)), QByteArray("[]"));
        QVERIFY(NoteStore::shared().notes().empty());
        QStringList copies;
        for (const QString &k : prefs.prefs().keys())
            if (k.startsWith(QStringLiteral("savedNotes.unreadable-"))) copies << k;
        QCOMPARE(copies.size(), 1);
        const auto kept = decodeNotes(prefs.prefs().data(copies.front()));
        QVERIFY(kept && kept->size() == model.size()); // every note held, with the edit
        QCOMPARE(kept->at(4).title, edited.title);
        DataNotices::get().take();
        NoteStore::resetForTests();
    }

    // A document not in the written form (spaces, other key order, escapes, members the notes do not
    // have, rich text keys out of order) loads as the general decoder reads it; the first save
    // writes it in the written form, and a document in the written form is kept as it is.
    void documentsInAnotherFormLoadAsDecoded() {
        const QByteArray row = "{\"cellsRTF\":{\"10\":\"eQ==\",\"01\":\"eB==\",\"1\":\"eA==\"},"
                               "\"extra\":[{}],\"cells\":[\"a\\u00e9\\/\",\"\\ud83d\\ude42\"],\"id\":\"R\"}";
        const QByteArray doc = "[ " + noteJson("rows=[" + row + ", {\"id\":\"S\",\"cells\":null}]",
                                               ", \"bodyRTF\" : \"eR==\", \"more\":{\"x\":1}") +
                               " ,\n" + noteJson("id=\"B\"") + "]\n";
        const auto decoded = decodeNotes(doc);
        QVERIFY(decoded);
        QCOMPARE(decoded->at(0).rows.at(0).cellsRTF, (std::map<int, QByteArray>{{1, "x"}, {10, "y"}}));
        TempPrefs prefs;
        prefs.prefs().setData(QString::fromLatin1(kNotes), doc);
        NoteStore store;
        QCOMPARE(store.document(), encodeNotes(*decoded));
        QCOMPARE(*store.find(QStringLiteral("A")), decoded->at(0));
        QCOMPARE(store.notes().at(1), NoteHead(decoded->at(1)));

        const QByteArray written = encodeNotes({tableNote(QStringLiteral("T"), 2, {{"a", "b"}, {"c"}})});
        prefs.prefs().setData(QString::fromLatin1(kNotes), written);
        QVERIFY(NoteCodec::index(written)->doc.constData() == written.constData()); // no copy made
    }

    // The store holds a document it loaded from another form: a change to one note moves every note
    // after it, changed or not, and each is found where it lies now.
    void aSaveOfAHeldDocumentMovesEveryNoteAfterTheChange() {
        TempPrefs prefs;
        std::vector<Note> model;
        for (int i = 0; i < 4; ++i) {
            model.push_back(textNote(QStringLiteral("N%1").arg(i)));
            model.back().body = QString(300, QChar(u'a' + i));
        }
        QByteArray spaced = encodeNotes(model);
        spaced.replace("},{", "}, {"); // as another writer spaces it: the store holds it re-encoded
        QCOMPARE(spaced.count("}, {"), 3);
        prefs.prefs().setData(QString::fromLatin1(kNotes), spaced);
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        NoteStore store;
        Note longer = *store.find(model[0].id);
        longer.body += QString(500, QChar(u'z'));
        store.update(longer);
        model[0] = *store.find(model[0].id);
        const Note *third = store.find(model[2].id);
        QVERIFY(third);
        Note moved = *third;
        moved.title = QStringLiteral("moved");
        store.update(moved);
        model[2] = *store.find(model[2].id);
        QVERIFY(prefs.prefs().flush());
        for (const Note &n : model) {
            const Note *found = store.find(n.id);
            QVERIFY2(found, qPrintable(n.id));
            QCOMPARE(*found, n);
        }
        QCOMPARE(prefs.prefs().data(QString::fromLatin1(kNotes)), encodeNotes(model));
    }

    // save() writes the document at once, with a note whose bytes are still being made on a worker.
    void aSaveWaitsForTheNotesBeingEncoded() {
        TempPrefs prefs;
        NoteStore store;
        Note large = textNote(QStringLiteral("L"));
        large.body = QString(400 * 1024, QChar(u'l')); // encoded on a worker
        store.add(large);
        store.save();
        const auto stored = decodeNotes(prefs.prefs().data(QString::fromLatin1(kNotes)));
        QVERIFY(stored);
        QCOMPARE(stored->size(), size_t(1));
        QCOMPARE(stored->front(), large);
    }

    // A large text is held once, decoded, and only while it is the note in use: not beside its bytes,
    // not once another note is used, and its saved bytes not once the disk holds them.
    void aLargeTextIsHeldOnlyWhileInUse() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        Note large = textNote(QStringLiteral("L"));
        large.body = QString(400 * 1024, QChar(u'l'));
        large.bodyRTF = QByteArray(100 * 1024, 'r');
        Note table = tableNote(QStringLiteral("T"), 2, {{QStringLiteral("a"), QStringLiteral("b")}});
        prefs.prefs().setData(QString::fromLatin1(kNotes),
                              encodeNotes({textNote(QStringLiteral("S")), large, table}));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        NoteStore::resetForTests();
        NoteStore &store = NoteStore::shared();
        QCoreApplication::processEvents(); // the load's clean-up runs

        QCOMPARE(*store.find(QStringLiteral("L")), large);
        QCOMPARE(store.heldBytes(), qsizetype(0));
        // A table keeps its bytes while decoded: a change copies its unchanged rows from them.
        QVERIFY(store.find(QStringLiteral("T")));
        QVERIFY(store.heldBytes() > 0);
        QVERIFY(store.find(QStringLiteral("S")));
        QCoreApplication::processEvents();
        QCOMPARE(store.decodedCount(), 2); // the small note and the table; the large text goes
        QCOMPARE(*store.find(QStringLiteral("L")), large); // decoded again when asked for

        // Saved, its new bytes are kept till the disk holds them, then let go of, though it is shown.
        Note edited = large;
        edited.body += QStringLiteral(" and more");
        store.update(edited);
        QVERIFY(store.settle(10000));
        QVERIFY(store.heldBytes() >= edited.body.size());
        QVERIFY(prefs.prefs().flush());
        QTRY_VERIFY(store.heldBytes() < 1024);
        QCOMPARE(store.find(QStringLiteral("L"))->body, edited.body);
        NoteStore::resetForTests();
        prefs.reopen();
        NoteStore reloaded;
        QCOMPARE(reloaded.find(QStringLiteral("L"))->body, edited.body);
    }

    // A table's version follows its cells, as a text note's follows its text: a page that measured its
    // rows tells by it whether they changed. A new title keeps it; a cell changed, a row added or moved
    // gives another.
    void aTablesVersionFollowsItsCells() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        NoteStore &store = NoteStore::shared();
        const QString id = QStringLiteral("T");
        store.replaceAll({tableNote(id, 2, {{QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("c")}})});
        quint64 v = store.textVersion(id);
        QVERIFY(v != 0);

        Note n = *store.find(id);
        n.title = QStringLiteral("New title");
        store.update(n);
        QCOMPARE(store.textVersion(id), v);
        store.update(*store.find(id)); // the same rows again
        QCOMPARE(store.textVersion(id), v);

        n = *store.find(id);
        n.rows[1].cells[0] = QStringLiteral("changed");
        store.update(n);
        QVERIFY(store.textVersion(id) != v);
        v = store.textVersion(id);

        n = *store.find(id);
        std::swap(n.rows[0], n.rows[1]);
        store.update(n);
        QVERIFY(store.textVersion(id) != v);
        v = store.textVersion(id);

        n = *store.find(id);
        n.rows.push_back(NoteRow(QStringList{QStringLiteral("new")}));
        store.update(n);
        QVERIFY(store.textVersion(id) != v);
    }

    // A page that holds a large text in a document of its own has the store let go of its decoded
    // copy; asked again, the store gives back the very note, and nothing stored changes. A change
    // lent while it is still being encoded is neither lost nor read from a half-made note.
    void aLentTextComesBackWhole() {
        TempPrefs prefs;
        Note large = textNote(QStringLiteral("L"));
        large.body = QString(300 * 1024, QChar(u'l'));
        large.bodyRTF = QByteArray(100 * 1024, 'r');
        Note small = textNote(QStringLiteral("S"));
        small.body = QStringLiteral("short");
        prefs.prefs().setData(QString::fromLatin1(kNotes), encodeNotes({small, large}));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        NoteStore::resetForTests();
        NoteStore &store = NoteStore::shared();
        const QString id = QStringLiteral("L");

        QVERIFY(store.find(id));
        const quint64 v = store.textVersion(id);
        QVERIFY(v != 0);
        QVERIFY(!store.lendText(id, v + 1));                  // a document made of another version
        QVERIFY(store.find(QStringLiteral("S")));
        QVERIFY(!store.lendText(QStringLiteral("S"), store.textVersion(QStringLiteral("S")))); // small
        QVERIFY(store.lendText(id, v));
        QVERIFY(store.textLent(id));
        const Note *fields = store.findFields(id);
        QVERIFY(fields && fields->body.isEmpty() && !fields->bodyRTF);
        QCOMPARE(fields->title, large.title);
        QCOMPARE(store.textVersion(id), v);

        QCOMPARE(*store.find(id), large); // decoded again, whole
        QVERIFY(!store.textLent(id));
        QCOMPARE(store.textVersion(id), v); // the same text
        Note retitled = *store.find(id);
        retitled.title = QStringLiteral("New title");
        store.update(retitled);
        QCOMPARE(store.textVersion(id), v); // only the title changed

        // Lent again while its change is being encoded.
        Note edited = *store.find(id);
        edited.body += QStringLiteral(" and more");
        store.update(edited);
        const quint64 w = store.textVersion(id);
        QVERIFY(w != v);
        QVERIFY(store.lendText(id, w));
        edited = Note(); // the store's encode holds the only copy now
        QCOMPARE(store.find(id)->body.size(), large.body.size() + 9);
        QVERIFY(store.lendText(id, w));
        store.save();
        QVERIFY(prefs.prefs().flush());
        const auto stored = decodeNotes(prefs.prefs().data(QString::fromLatin1(kNotes)));
        QVERIFY(stored && stored->size() == 2);
        QCOMPARE(stored->at(1).body, large.body + QStringLiteral(" and more"));
        QCOMPARE(stored->at(1).bodyRTF, large.bodyRTF);
        QCOMPARE(stored->at(1).title, QStringLiteral("New title"));

        // A page that no longer holds it has it decoded on a worker.
        QVERIFY(store.textLent(id));
        bool done = false;
        QVERIFY(store.decodeInBackground(id, &store, [&] { done = true; }));
        QTRY_VERIFY(done);
        QCOMPARE(store.find(id)->body, large.body + QStringLiteral(" and more"));
        NoteStore::resetForTests();
    }

    void anUnreadableDocumentIsKeptAsideBeforeAnySave() {
        TempPrefs prefs;
        const QByteArray bad = '[' + noteJson("link=DROP") + ']';
        prefs.prefs().setData(QString::fromLatin1(kNotes), bad);
        NoteStore store;
        QVERIFY(store.notes().empty());
        QVERIFY(store.loadReport().existed);
        QVERIFY(!store.loadReport().decoded);
        QVERIFY(!store.loadReport().keptAsideKey.isEmpty());
        store.add(textNote(QStringLiteral("new")));
        QCOMPARE(prefs.prefs().data(store.loadReport().keptAsideKey), bad);
    }

    void importReplacesEverythingAfterConfirmation() {
        TempPrefs prefs;
        TestDialogs dialogs;
        QTemporaryDir dir;
        NoteStore store;
        store.add(textNote(QStringLiteral("old")));
        Posts posts;
        // Twins in the file: later ones get fresh ids, so removing one cannot take the other along.
        const QString path =
            writeFile(dir, "n.json", '[' + noteJson() + ',' + noteJson() + ',' + noteJson("id=\"B\"") + ']');

        dialogs.openPathAnswers = {path};
        dialogs.alertAnswers = {1}; // Cancel
        QVERIFY(!runNotesImport(store));
        QCOMPARE(store.notes().at(0).id, QStringLiteral("old"));
        QCOMPARE(dialogs.alertsShown.last(),
                 QStringLiteral(
                     "Replace all notes?|3 notes will be imported. All current notes will be replaced."));

        dialogs.openPathAnswers = {path};
        dialogs.alertAnswers = {0};
        QVERIFY(runNotesImport(store));
        QCOMPARE(posts.count, 1);
        QCOMPARE(store.notes().size(), size_t(3));
        QCOMPARE(store.notes().at(0).id, QStringLiteral("A"));
        QVERIFY(store.notes().at(1).id != QStringLiteral("A"));
        QCOMPARE(store.notes().at(2).id, QStringLiteral("B"));
        store.remove(QStringLiteral("A"));
        QCOMPARE(store.notes().size(), size_t(2));

        const QString empty = writeFile(dir, "e.json", "[]");
        dialogs.openPathAnswers = {empty};
        dialogs.alertAnswers = {0};
        QVERIFY(runNotesImport(store));
        QVERIFY(store.notes().empty());
    }

    void unreadableOrInvalidImportsSayImportError_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing file") << QByteArray() << false;
        QTest::newRow("object, not array") << noteJson() << true;
        QTest::newRow("garbage") << QByteArray("\x00\xff", 2) << true;
    }
    void unreadableOrInvalidImportsSayImportError() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, exists);
        TempPrefs prefs;
        TestDialogs dialogs;
        QTemporaryDir dir;
        NoteStore store;
        store.add(textNote(QStringLiteral("keep")));
        dialogs.openPathAnswers = {exists ? writeFile(dir, "x.json", bytes) : dir.filePath("none.json")};
        QVERIFY(!runNotesImport(store));
        QCOMPARE(dialogs.alertsShown, QStringList{"Import error|Invalid Mivo Notes JSON."});
        QCOMPARE(store.notes().size(), size_t(1));
    }

    void oversizedImportFilesAreRefusedUnread() {
        QTemporaryDir dir;
        const QString path = writeFile(dir, "big.json", "[" + QByteArray(100, ' ') + "]");
        QCOMPARE(NoteListImport::read(path, 50).error, NoteListImport::ReadError::tooLarge);
        QCOMPARE(NoteListImport::read(path, 500).error, NoteListImport::ReadError::none);
    }
};

QTEST_MAIN(TestNoteStore)
#include "tst_note_store.moc"
