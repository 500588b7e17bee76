#include "common/DocRows.h"
#include "common/EmojiLines.h"
#include "common/RichNotes.h"
#include "common/TestEnv.h"
#include "notes/NoteDocument.h"
#include "notes/NoteTextView.h"
#include "notes/PacedLayout.h"
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>
#include <cmath>

// A character as shown of more than one unit (a flag, a joined family) is drawn whole in a long line
// of ordinary text, wherever it falls: the text engine shapes a paragraph in runs of a few thousand
// units, and one cut between two runs is drawn in halves (a flag as its two letters).
namespace {
const QString kFlag = QStringLiteral("🇫🇷"), kFamily = QStringLiteral("👨‍👩‍👧");

// Words of chars characters, with each character put at its offset.
QString lineWith(int chars, const QList<std::pair<int, QString>> &put) {
    QString s = wordsLine(chars);
    for (const auto &[at, c] : put)
        s.replace(at, c.size(), c);
    return s;
}

qreal widthOf(const QTextLine &line, qsizetype from, qsizetype to) {
    return line.cursorToX(int(to)) - line.cursorToX(int(from));
}

// The flags and families of the view's text that it draws wider than alone (none drawn: "none").
QString halvedCharacters(const QTextDocument &doc) {
    rowsInOrder(doc); // every paragraph laid out
    QStringList halved;
    int drawn = 0;
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        for (const QString &one : {kFlag, kFamily}) {
            QTextLayout alone(one, doc.defaultFont());
            alone.setFormats(NoteDocument::emojiLooks(one));
            alone.beginLayout();
            const QTextLine line = alone.createLine();
            alone.endLayout();
            const qreal want = widthOf(line, 0, one.size());
            for (qsizetype at = text.indexOf(one); at >= 0; at = text.indexOf(one, at + 1), ++drawn) {
                const qreal shown = widthOf(b.layout()->lineForTextPosition(int(at)), at, at + one.size());
                if (std::abs(shown - want) > 0.5)
                    halved << QStringLiteral("%1 at %2 of a paragraph: %3 wide, %4 alone")
                                  .arg(one)
                                  .arg(at)
                                  .arg(shown)
                                  .arg(want);
            }
        }
    }
    return drawn ? halved.join(QStringLiteral("; ")) : QStringLiteral("none");
}
} // namespace

class TestLongNoteShaping : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // Shown, after a key typed before it moves it across a run's end, and after a half taken out of a
    // run of flags moves the cut after it (the piece beyond takes a half more, moving what it holds);
    // the text stored stays the note's, and undo gives the line back as it was.
    void aCharacterAcrossARunsEndIsDrawnWhole_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("typeAt"); // -1: nothing typed
        QTest::addColumn<int>("halfAt"); // the first unit of a flag half taken out; -1: none
        for (const int chars : {4 * 1024 + 300, 12 * 1024, 17 * 1024}) {
            QList<std::pair<int, QString>> across; // a flag and a family in turn across each run's end
            for (int end = 4096; end + 8 < chars; end += 4096)
                across.push_back(across.size() % 2 ? std::pair(end - 2, kFamily) : std::pair(end - 2, kFlag));
            QTest::addRow("%d KB shown", chars / 1024) << lineWith(chars, across) << -1 << -1;
        }
        QTest::addRow("4 KB typed before a flag") << lineWith(4 * 1024 + 300, {{4088, kFlag}}) << 10 << -1;
        QTest::addRow("12 KB typed before a family") << lineWith(12 * 1024, {{4084, kFamily}}) << 10 << -1;
        // Cut after the 24th flag (as many emoji as a piece may hold); the flag after is 4 units
        // short of its piece's run's end.
        QString flags =
            QStringLiteral("intro words ") + QStringLiteral("🇩🇪🇯🇵🇮🇹").repeated(10) + wordsLine(6000);
        const qsizetype cut = NoteDocument::pieceStarts(flags).front();
        QCOMPARE(cut, 12 + 24 * 4);
        flags.replace(cut + 4092, kFlag.size(), kFlag);
        QTest::addRow("a flag half taken out") << flags << -1 << 12;
    }
    void aCharacterAcrossARunsEndIsDrawnWhole() {
        QFETCH(QString, line);
        QFETCH(int, typeAt);
        QFETCH(int, halfAt);
        NoteTextView v;
        QVERIFY(showText(v, line, {600, 400}));
        QCOMPARE(halvedCharacters(*v.document()), QString());
        QString want = line;
        if (typeAt >= 0 || halfAt >= 0) {
            QTextCursor c(v.document());
            c.setPosition(std::max(typeAt, halfAt));
            if (halfAt >= 0) c.setPosition(halfAt + 2, QTextCursor::KeepAnchor);
            v.setTextCursor(c);
        }
        if (typeAt >= 0)
            QTest::keyClicks(&v, QStringLiteral("typed ")), want.insert(typeAt, QStringLiteral("typed "));
        if (halfAt >= 0) QTest::keyClick(&v, Qt::Key_Delete), want.remove(halfAt, 2);
        QCoreApplication::processEvents();
        QCOMPARE(halvedCharacters(*v.document()), QString());
        QCOMPARE(v.wholeText(), want);
        QCOMPARE(NoteDocument::readText(*v.document()).body, want);
        while (v.document()->isUndoAvailable())
            v.document()->undo();
        QCOMPARE(v.wholeText(), line);
        QCOMPARE(halvedCharacters(*v.document()), QString());
    }

    // Lines of words with characters of many units strewn among them (flags in runs, families, skin
    // tones, marks, keycaps) and letters of one unit beyond Latin: past its first run's length, a
    // piece holds only characters of one unit each, and the pieces read back as the line.
    void noPieceHoldsACharacterOfManyUnitsPastARun() {
        const QStringList many{kFlag + kFlag + QStringLiteral("🇩🇪"), kFamily, QStringLiteral("👍🏽"),
                               QStringLiteral("e\u0301\u0323"), QStringLiteral("1\uFE0F\u20E3")};
        const QStringList one{QStringLiteral("слово "), QStringLiteral("漢字"), QStringLiteral("word ")};
        QRandomGenerator random(7);
        for (int n = 0; n < 40; ++n) {
            QString line;
            const int rare = 1 + random.bounded(800); // one unit in rare or so starts a character of many
            while (line.size() < 6000 + n * 1000)
                line += random.bounded(rare) ? one[random.bounded(one.size())]
                                             : many[random.bounded(many.size())];
            qsizetype from = 0;
            QString back;
            std::vector<qsizetype> cuts = NoteDocument::pieceStarts(line);
            cuts.push_back(line.size());
            for (const qsizetype cut : cuts) {
                const QString piece = line.mid(from, cut - from);
                QTextBoundaryFinder shown(QTextBoundaryFinder::Grapheme, piece);
                for (qsizetype at = shown.toNextBoundary(), before = 0; at > 0;
                     before = at, at = shown.toNextBoundary())
                    QVERIFY2(
                        at - before == 1 || at <= NoteDocument::kShapedChars,
                        qPrintable(QStringLiteral("line %1, piece at %2: %3").arg(n).arg(from).arg(before)));
                back += piece;
                from = cut;
            }
            QCOMPARE(back, line);
        }
    }
};

QTEST_MAIN(TestLongNoteShaping)
#include "tst_long_note_shaping.moc"
