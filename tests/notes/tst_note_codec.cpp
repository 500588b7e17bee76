#include "common/TestEnv.h"
#include "common/NoteJson.h"
#include "common/NoteTables.h"
#include "notes/NoteCodec.h"
#include "platform/RecordJson.h"
#include <QRandomGenerator>
#include <thread>
#include <QtTest>

// The stored notes document's bytes: what the encoder writes and what the decoders take or refuse.
class TestNoteCodec : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void documentBytesForATextAndATableNote() {
        Note text = stampedNote(QStringLiteral("N1"));
        Note table = stampedNote(QStringLiteral("N2"));
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
        Note text = stampedNote(QStringLiteral("N1"));
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
};

QTEST_MAIN(TestNoteCodec)
#include "tst_note_codec.moc"
