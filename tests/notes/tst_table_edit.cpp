#include "common/NoteTables.h"
#include "common/TestEnv.h"
#include "notes/NoteFind.h"
#include "notes/RtfCodec.h"
#include "notes/TableClipboard.h"
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

using namespace TableClipboard;

namespace {
QByteArray rtf(const QString &text) {
    QTextDocument d;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCursor(&d).insertText(text, bold);
    return RtfCodec::write(d);
}
} // namespace

class TestTableEdit : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void copyGivesTabSeparatedLines() {
        const Note n = table(3, {{"a", "b", "c"}, {"d", "e", "f"}, {"g"}});
        QCOMPARE(blockText(copyBlock(n, CellRect::span({1, 2}, {0, 0}))), QStringLiteral("a\tb\tc\nd\te\tf"));
        // Past the last row: only rows that exist; past a row's cells: empty texts.
        QCOMPARE(blockText(copyBlock(n, CellRect::span({2, 0}, {9, 3}))), QStringLiteral("g\t\t\t"));
        QVERIFY(copyBlock(n, CellRect::span({3, 0}, {4, 1})).empty());
        QCOMPARE(blockText({}), QString());
    }

    void pasteClipsAtTheTableEdge() {
        Note n = table(3, {{"1", "2", "3"}, {"4", "5", "6"}});
        n.rows[0].cellsRTF[1] = rtf(QStringLiteral("2"));
        paste(n, {0, 1}, blockFromText(QStringLiteral("x\ty\tz\nu\tv\tw\nlost")));
        QCOMPARE(cells(n), (QList<QStringList>{{"1", "x", "y"}, {"4", "u", "v"}}));
        QVERIFY(n.rows[0].cellsRTF.empty()); // pasted cells are plain
        Note shortRows = table(3, {{}});
        paste(shortRows, {0, 2}, blockFromText(QStringLiteral("p")));
        QCOMPARE(cells(shortRows), (QList<QStringList>{{"", "", "p"}}));
        Note outside = table(2, {{"a"}});
        paste(outside, {5, 5}, blockFromText(QStringLiteral("p")));
        QCOMPARE(cells(outside), (QList<QStringList>{{"a"}}));
    }

    void pasteFromASpreadsheetDoesNotBlankTheNextRow() {
        Note n = table(2, {{"a", "b"}, {"c", "d"}, {"keep", "me"}});
        paste(n, {0, 0}, blockFromText(QStringLiteral("1\t2\r\n3\t4\r\n")));
        QCOMPARE(cells(n), (QList<QStringList>{{"1", "2"}, {"3", "4"}, {"keep", "me"}}));
        paste(n, {2, 0}, blockFromText(QStringLiteral("x\n")));
        QCOMPARE(n.rows[2].cells, (QStringList{"x", "me"}));
        QCOMPARE(blockFromText(QString()).size(), size_t(1));
        QCOMPARE(blockFromText(QStringLiteral("a\n\n")).size(), size_t(2)); // only one line break is dropped
    }

    void clearEmptiesOnlyCellsInsideTheTable() {
        Note n = table(3, {{"a", "b", "c"}, {"d"}});
        n.rows[1].cellsRTF[0] = rtf(QStringLiteral("d"));
        clear(n, CellRect::span({0, 1}, {5, 7}));
        QCOMPARE(cells(n), (QList<QStringList>{{"a", "", ""}, {"d", "", ""}}));
        clear(n, CellRect::span({1, 0}, {1, 0}));
        QCOMPARE(n.rows[1].cells.at(0), QString());
        QVERIFY(n.rows[1].cellsRTF.empty());
    }

    void cellEditorSavesByIdAfterRowsMoved() {
        Note n = table(2, {{"r0"}, {"r1a", "r1b"}});
        const auto ids = cellIds(n, 1, 1);
        QVERIFY(ids);
        QVERIFY(!cellIds(n, 2, 0));
        n.rows.erase(n.rows.begin()); // the row above goes while the editor is open
        QVERIFY(saveCell(n, ids->first, ids->second, QStringLiteral("new"), rtf(QStringLiteral("new"))));
        QCOMPARE(n.rows[0].cells, (QStringList{"r1a", "new"}));
        QVERIFY(n.rows[0].cellsRTF.count(1));
        QVERIFY(saveCell(n, ids->first, ids->second, QStringLiteral("plain"), std::nullopt));
        QVERIFY(n.rows[0].cellsRTF.empty());
        const Note before = n;
        QVERIFY(!saveCell(n, QStringLiteral("gone"), ids->second, QStringLiteral("x"), std::nullopt));
        n.columns.pop_back();
        QVERIFY(!saveCell(n, ids->first, ids->second, QStringLiteral("x"), std::nullopt));
        QCOMPARE(n.rows, before.rows);
        // A short row is padded up to the column.
        Note padded = table(3, {{}});
        QVERIFY(saveCell(padded, padded.rows[0].id, padded.columns[2].id, QStringLiteral("z"), std::nullopt));
        QCOMPARE(padded.rows[0].cells, (QStringList{"", "", "z"}));
    }

    void textFindIsCaseInsensitiveInPlace() {
        using R = NoteFind::Range;
        QCOMPARE(NoteFind::textMatches(QStringLiteral("aaaa"), QStringLiteral("aa")),
                 (std::vector<R>{{0, 2}, {2, 2}}));
        QCOMPARE(NoteFind::textMatches(QStringLiteral("note NOTE noté"), QStringLiteral("Note")),
                 (std::vector<R>{{0, 4}, {5, 4}}));
        // Ranges stay ranges of the shown text even where lower-casing changes lengths (İ).
        const QString text = QStringLiteral("İİ x İx");
        const auto m = NoteFind::textMatches(text, QStringLiteral("x"));
        QCOMPARE(m.size(), size_t(2));
        QCOMPARE(text.mid(m[1].start, m[1].length), QStringLiteral("x"));
        QCOMPARE(NoteFind::textMatches(QStringLiteral("ПРИВІТ привіт"), QStringLiteral("привіт")).size(),
                 size_t(2));
        QCOMPARE(NoteFind::textMatches(QString(600, u'a'), QStringLiteral("a")).size(), size_t(501));
        QVERIFY(NoteFind::textMatches(QStringLiteral("abc"), QString()).empty());
    }

    void findSearchesWhatTheNoteShows() {
        Note n;
        n.body = QStringLiteral("stale plain");
        n.bodyRTF = rtf(QStringLiteral("fresh rich"));
        QCOMPARE(NoteFind::shownText(n), QStringLiteral("fresh rich"));
        n.bodyRTF = QByteArray("broken");
        QCOMPARE(NoteFind::shownText(n), QStringLiteral("stale plain"));
    }

    void tableFindOrdersCellsThenTitles() {
        Note n = table(2, {{"Apple", "x", "apple beyond the columns"}, {"pineAPPLE"}});
        n.columns[1].title = QStringLiteral("Apples");
        n.rows[0].cellsRTF[1] = rtf(QStringLiteral("rich apple"));
        using P = CellPos;
        QCOMPARE(NoteFind::tableMatches(n, QStringLiteral("apple")),
                 (std::vector<P>{{0, 0}, {0, 1}, {1, 0}, {-1, 1}}));
        // Plain cells match as QString::contains matches them: any case of letters beyond ASCII, a
        // cell exactly the query or shorter than it, the query at either end.
        const Note plain = table(1, {{"ÄPFEL und Birnen"}, {"äpfel"}, {"äpfe"}, {"Birnen, Äpfel"}, {""}});
        for (const QString &q : {QStringLiteral("äpfel"), QStringLiteral("ÄPFEL"), QStringLiteral("n")}) {
            std::vector<P> want;
            for (int r = 0; r < int(plain.rows.size()); ++r)
                if (plain.rows[size_t(r)].cells.at(0).contains(q, Qt::CaseInsensitive))
                    want.push_back({r, 0});
            QCOMPARE(NoteFind::tableMatches(plain, q), want);
        }
        QCOMPARE(NoteFind::tableMatches(plain, QStringLiteral("äpfel")).size(), size_t(3));
    }

    void stepsWrapBothWays() {
        QCOMPARE(NoteFind::step(0, -1, 5), 4);
        QCOMPARE(NoteFind::step(4, 1, 5), 0);
        QCOMPARE(NoteFind::step(2, 1, 5), 3);
        QCOMPARE(NoteFind::step(0, 1, 0), 0);
        QCOMPARE(NoteFind::countText(2, 12), QStringLiteral("3 / 12"));
    }
};

QTEST_MAIN(TestTableEdit)
#include "tst_table_edit.moc"
