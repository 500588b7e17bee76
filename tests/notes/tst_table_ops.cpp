#include "common/NoteTables.h"
#include "common/TestEnv.h"
#include "notes/TableOps.h"
#include <QtTest>

using namespace TableOps;

class TestTableOps : public QObject {
    Q_OBJECT
private slots:
    void swapCarriesRichTextAndPads() {
        Note n = table(3, {{"a", "b", "c"}, {"d"}});
        n.rows[0].cellsRTF[0] = "RTF-a";
        QVERIFY(swapCells(n, {0, 0}, {1, 2}));
        QCOMPARE(cells(n), (QList<QStringList>{{"", "b", "c"}, {"d", "", "a"}}));
        QVERIFY(n.rows[0].cellsRTF.empty());
        QCOMPARE(n.rows[1].cellsRTF.at(2), QByteArray("RTF-a"));
    }
    void swapOutsideTableChangesNothing_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::newRow("row gone") << 5 << 0;
        QTest::newRow("column gone") << 0 << 3;
        QTest::newRow("negative") << -1 << 0;
    }
    void swapOutsideTableChangesNothing() {
        QFETCH(int, row);
        QFETCH(int, col);
        Note n = table(3, {{"a", "b", "c"}, {"d"}});
        const Note before = n;
        QVERIFY(!swapCells(n, {row, col}, {1, 0}));
        QVERIFY(!swapCells(n, {1, 0}, {row, col}));
        QCOMPARE(n, before);
    }
    void blockMoveDownByOne() {
        Note n = table(2, {{"a", "b"}, {"c", "d"}, {"", ""}});
        n.rows[1].cellsRTF[1] = "RTF-d";
        QVERIFY(moveBlock(n, CellRect::span({0, 0}, {1, 1}), 1, 0));
        QCOMPARE(cells(n), (QList<QStringList>{{"", ""}, {"a", "b"}, {"c", "d"}}));
        QVERIFY(n.rows[1].cellsRTF.empty());
        QCOMPARE(n.rows[2].cellsRTF.at(1), QByteArray("RTF-d"));
    }
    void blockMoveRefusedWhenDataWouldFallOut() {
        Note n = table(2, {{"a", "b"}, {"c", "d"}});
        const Note before = n;
        QVERIFY(!moveBlock(n, CellRect::span({0, 0}, {1, 1}), 1, 0));
        QCOMPARE(n, before);
        // empty cells may fall off the edge
        Note m = table(2, {{"a", "b"}, {"", ""}, {"", ""}});
        QVERIFY(moveBlock(m, CellRect::span({0, 0}, {1, 1}), 1, 0));
        QCOMPARE(cells(m), (QList<QStringList>{{"", ""}, {"a", "b"}, {"", ""}}));
    }
    void blockMoveRefusedWhenSourceGone() {
        Note n = table(2, {{"a", "b"}});
        const Note before = n;
        QVERIFY(!moveBlock(n, CellRect::span({0, 0}, {1, 1}), 0, 0));
        QCOMPARE(n, before);
    }
    void deleteColumnShiftsRichTextKeys() {
        Note n = table(3, {{"a", "b", "c"}, {"d"}});
        n.rows[0].cellsRTF = {{0, "R0"}, {1, "R1"}, {2, "R2"}};
        QVERIFY(deleteColumn(n, 1));
        QCOMPARE(n.columns.size(), size_t(2));
        QCOMPARE(cells(n), (QList<QStringList>{{"a", "c"}, {"d"}}));
        QCOMPARE(n.rows[0].cellsRTF, (std::map<int, QByteArray>{{0, "R0"}, {1, "R2"}}));
        QVERIFY(!deleteColumn(n, 2));
    }
    void cellTextChangeDropsRichText() {
        NoteRow r(QStringList{"x"});
        r.cellsRTF[0] = "R";
        setCellText(r, 0, "x");
        QCOMPARE(r.cellsRTF.size(), size_t(1));
        setCellText(r, 0, "y");
        QVERIFY(r.cellsRTF.empty());
        setCellText(r, 2, "z"); // typed into a short row's trailing cell: kept
        QCOMPARE(r.cells, (QStringList{"y", "", "z"}));
    }
    void widths() {
        QCOMPARE(tableWidth({100, 100, 100}, 500), 396.0);
        QCOMPARE(tableWidth({300, 300}, 500), 600.0);
        QCOMPARE(columnWidth(40, 400), 300.0);
        QCOMPARE(columnWidth(290, 400), 320.0);
        QCOMPARE(columnWidth(10, 20), 44.0);
        QCOMPARE(resizedWidth(150, -200), 60.0);
        QCOMPARE(columnLetter(26), QStringLiteral("A"));
        QCOMPARE(columnLetter(25), QStringLiteral("Z"));
    }
    void changedSinceOpened() {
        Note n = table(1, {{"a"}});
        QVERIFY(!changedSince(n, nullptr));
        QVERIFY(!changedSince(n, &n));
        Note m = n;
        m.modifiedInterval += 5;
        QVERIFY(changedSince(n, &m));
    }
};

QTEST_MAIN(TestTableOps)
#include "tst_table_ops.moc"
