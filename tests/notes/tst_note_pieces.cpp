#include "common/RichNotes.h"
#include "common/TestEnv.h"
#include "notes/NoteTextView.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>
#include <memory>

// The cuts between the pieces of a long line are the view's own: whatever is typed, removed or pasted
// across them, the text read back is the text a plain string edited the same way holds.
namespace {
constexpr int kPiece = int(NoteDocument::kPieceChars);

NoteDocument::Style style() {
    return {QFont(), Qt::black, Qt::blue};
}

// The document position of a stored offset: each cut before it is one position more.
int docPosition(const QTextDocument &doc, int stored) {
    int pos = stored;
    for (QTextBlock b = doc.firstBlock(); b.isValid() && b.position() <= pos; b = b.next())
        pos += NoteDocument::continues(b);
    return pos;
}

// The stored offsets of the cuts between pieces.
std::vector<int> cuts(const QTextDocument &doc) {
    std::vector<int> out;
    int pieces = 0;
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next())
        if (NoteDocument::continues(b)) out.push_back(b.position() - ++pieces);
    return out;
}

// Empty when every cut falls between two characters as shown in the stored text; else where one does not.
QString cutInsideACharacter(const QTextDocument &doc, const QString &stored) {
    QTextBoundaryFinder f(QTextBoundaryFinder::Grapheme, stored);
    for (const int cut : cuts(doc)) {
        f.setPosition(cut);
        if (!f.isAtBoundary())
            return QStringLiteral("cut at %1 inside %2").arg(cut).arg(stored.mid(std::max(0, cut - 6), 12));
    }
    return {};
}

// Flags, several to a piece, in one long line after a word.
QString flagsLine(int flags) {
    QString s = QStringLiteral("flags ");
    for (int i = 0; i < flags; ++i)
        s += i % 3 ? QStringLiteral("🇺🇦") : QStringLiteral("🇵🇱");
    return s;
}

// Long lines of every kind the cuts must keep whole, and short ones between them.
QString mixedBody() {
    QString emoji;
    for (int i = 0; i < 300; ++i)
        emoji += QStringList{QStringLiteral("👨‍👩‍👧"), QStringLiteral("👍🏽"),
                             QStringLiteral("é"), QStringLiteral("x"), QStringLiteral("❤️")}[i % 5];
    return wordsLine(kPiece + 3000) + QStringLiteral("\nshort line\n") + QString(kPiece + 900, u'a') + u'\n' +
           flagsLine(200) + QStringLiteral("\n\n") + emoji + u'\n' + wordsLine(2 * kPiece + 10) +
           QStringLiteral("\nend");
}

class Model {
public:
    Model(const QString &body, quint32 seed) : text(body), rng(seed) {}
    QString text;
    QRandomGenerator rng;

    // A boundary between characters as shown, near a cut half of the time.
    int position(const QTextDocument &doc) {
        int at = int(rng.bounded(text.size() + 1));
        const std::vector<int> c = cuts(doc);
        if (!c.empty() && rng.bounded(2))
            at = std::clamp(c[rng.bounded(quint32(c.size()))] + int(rng.bounded(7)) - 3, 0, int(text.size()));
        QTextBoundaryFinder f(QTextBoundaryFinder::Grapheme, text);
        f.setPosition(at);
        if (!f.isAtBoundary()) at = int(f.toPreviousBoundary());
        return at;
    }
    QString pasted() {
        static const QStringList small = {QStringLiteral("x"),
                                          QStringLiteral("two words"),
                                          QStringLiteral("a\nb"),
                                          QStringLiteral("\n"),
                                          QStringLiteral("🇺"),
                                          QStringLiteral("🇺🇦"),
                                          QStringLiteral("\u0301"),
                                          QStringLiteral("\u200D"),
                                          QStringLiteral("🏽"),
                                          QStringLiteral("😀 smile"),
                                          QStringLiteral("line\n\nmore ")};
        switch (rng.bounded(10)) {
        case 0:
            return wordsLine(kPiece + int(rng.bounded(3000)));
        case 1:
            return QString(kPiece + int(rng.bounded(300)), u'p') + u'\n' + flagsLine(int(rng.bounded(40)));
        default:
            return small[rng.bounded(quint32(small.size()))];
        }
    }
};
} // namespace

class TestNotePieces : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // A long paste over a selection that starts at the first character of a piece and ends in the next
    // line stores exactly the text pasted, without a line break at the cut.
    void aPasteFromAPiecesStartStoresNoBreak() {
        const QString body = QString(17'000, u'a') + u'\n' + QString(7'000, u'b');
        for (const QString &pasted : {QString(70'000, u'c'), wordsLine(70'000)}) {
            std::unique_ptr<QTextDocument> doc(NoteDocument::build(textNote(body), style()));
            QCOMPARE(NoteDocument::wholeText(*doc), body);
            const int from = kPiece + 1, to = 17'102; // a piece's start .. into the next line
            QVERIFY(NoteDocument::continues(doc->findBlock(from)));
            QCOMPARE(doc->findBlock(from).position(), from);
            NoteDocument::pasteText(*doc, from, to, pasted);
            const QString want = body.left(from - 1) + pasted + body.mid(to - 1);
            QCOMPARE(NoteDocument::wholeText(*doc), want);
            doc->undo();
            QCOMPARE(NoteDocument::wholeText(*doc), body);
        }
    }

    // Random edits across the cuts, through the document (long pastes, as a worker makes them) and
    // through the view (keys, Backspace and Delete beside a cut, pastes of every length), read back
    // as a plain string edited the same way reads; no cut ever falls inside a character as shown.
    void editsAcrossCutsStoreWhatAPlainStringHolds_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {2u, 3u, 4u, 5u, 6u})
            QTest::newRow(qPrintable(QString::number(seed))) << seed;
    }
    void editsAcrossCutsStoreWhatAPlainStringHolds() {
        QFETCH(quint32, seed);
        Model m(mixedBody(), seed);
        NoteTextView view;
        view.resize(400, 300);
        view.setDocument(NoteDocument::build(textNote(m.text), style()));
        QTextDocument &doc = *view.document();
        doc.setParent(&view);
        QCOMPARE(NoteDocument::wholeText(doc), m.text);
        QVERIFY(cuts(doc).size() > 10);
        for (int step = 0; step < 110; ++step) {
            int a = m.position(doc), b = m.position(doc);
            if (a > b) std::swap(a, b);
            if (m.rng.bounded(3) == 0) b = a;
            QString what;
            switch (m.rng.bounded(5)) {
            case 0: { // a long paste on a worker
                const QString text = m.pasted();
                NoteDocument::pasteText(doc, docPosition(doc, a), docPosition(doc, b), text);
                m.text.replace(a, b - a, text);
                what = QStringLiteral("pasteText");
                break;
            }
            case 1: { // a key over the selection
                QTextCursor c(&doc);
                c.setPosition(docPosition(doc, a));
                c.setPosition(docPosition(doc, b), QTextCursor::KeepAnchor);
                view.setTextCursor(c);
                const bool enter = m.rng.bounded(4) == 0;
                QTest::keyClick(&view, enter ? Qt::Key_Return : Qt::Key_Q, Qt::NoModifier);
                m.text.replace(a, b - a, enter ? QStringLiteral("\n") : QStringLiteral("q"));
                what = QStringLiteral("key");
                break;
            }
            case 2:
            case 3: { // Backspace or Delete of a plain character, from either side of a cut
                const bool back = m.rng.bounded(2);
                const int gone = back ? a - 1 : a;
                const auto plain = [&](int i) {
                    return i < 0 || i >= m.text.size() || m.text[i].unicode() < 0x7f;
                };
                if (gone < 0 || gone >= m.text.size() || !plain(gone) || !plain(gone - 1) || !plain(gone + 1))
                    continue;
                int pos = docPosition(doc, a);
                const QTextBlock at = doc.findBlock(pos);
                if (at.position() == pos && NoteDocument::continues(at) && m.rng.bounded(2))
                    --pos; // before the cut
                QTextCursor c(&doc);
                c.setPosition(pos);
                view.setTextCursor(c);
                QTest::keyClick(&view, back ? Qt::Key_Backspace : Qt::Key_Delete);
                m.text.remove(gone, 1);
                what = back ? QStringLiteral("Backspace") : QStringLiteral("Delete");
                break;
            }
            default: { // a paste into the view
                const QString text = m.pasted();
                QTextCursor c(&doc);
                c.setPosition(docPosition(doc, a));
                c.setPosition(docPosition(doc, b), QTextCursor::KeepAnchor);
                view.setTextCursor(c);
                QGuiApplication::clipboard()->setText(text);
                view.paste();
                m.text.replace(a, b - a, text);
                what = QStringLiteral("paste");
                break;
            }
            }
            const QString got = NoteDocument::wholeText(doc);
            if (got != m.text) {
                qsizetype d = 0;
                while (d < got.size() && d < m.text.size() && got[d] == m.text[d])
                    ++d;
                QFAIL(qPrintable(QStringLiteral("step %1 (%2 over %3..%4): differs at %5: %6 | %7")
                                     .arg(step)
                                     .arg(what)
                                     .arg(a)
                                     .arg(b)
                                     .arg(d)
                                     .arg(got.mid(std::max<qsizetype>(0, d - 5), 12),
                                          m.text.mid(std::max<qsizetype>(0, d - 5), 12))));
            }
            const QString broken = cutInsideACharacter(doc, m.text);
            QVERIFY2(broken.isEmpty(),
                     qPrintable(QStringLiteral("step %1 (%2): ").arg(step).arg(what) + broken));
        }
        // Every step undone, the text is the body again, its cuts whole.
        while (doc.isUndoAvailable())
            doc.undo();
        QVERIFY(NoteDocument::wholeText(doc) == mixedBody());
        QVERIFY2(cutInsideACharacter(doc, mixedBody()).isEmpty(),
                 qPrintable(cutInsideACharacter(doc, mixedBody())));
    }

    // One flag half typed or pasted before a line of flags, or the first half of a flag replaced,
    // pairs every half after it otherwise: the cuts move with the pairs, so none splits a flag, and
    // undo brings back the line and its cuts as they were.
    void aFlagHalfMovesTheCutsAfterIt() {
        const QString body = QStringLiteral("top\n") + flagsLine(300);
        const QString half = QStringLiteral("🇩");
        for (int way = 0; way < 4; ++way) {
            NoteTextView view;
            view.resize(400, 300);
            view.setDocument(NoteDocument::build(textNote(body), style()));
            QTextDocument &doc = *view.document();
            doc.setParent(&view);
            QVERIFY(cuts(doc).size() > 10);
            QVERIFY(cutInsideACharacter(doc, body).isEmpty());
            const int flag = int(body.indexOf(QStringLiteral("🇵🇱")));
            QString want = body;
            if (way == 0) { // pasted before the first flag
                QTextCursor c(&doc);
                c.setPosition(flag);
                view.setTextCursor(c);
                QGuiApplication::clipboard()->setText(half);
                view.paste();
                want.insert(flag, half);
            } else if (way == 1) { // the first flag's first half replaced
                QTextCursor c(&doc);
                c.setPosition(flag);
                c.setPosition(flag + 2, QTextCursor::KeepAnchor);
                view.setTextCursor(c);
                QGuiApplication::clipboard()->setText(half);
                view.paste();
                want.replace(flag, 2, half);
            } else if (way == 2) { // taken out with Backspace after it
                QTextCursor c(&doc);
                c.setPosition(flag + 2);
                c.setPosition(flag, QTextCursor::KeepAnchor);
                view.setTextCursor(c);
                QTest::keyClick(&view, Qt::Key_Backspace);
                want.remove(flag, 2);
            } else { // a long paste ending in one half
                NoteDocument::pasteText(doc, flag, flag, half);
                want.insert(flag, half);
            }
            QCOMPARE(NoteDocument::wholeText(doc), want);
            QVERIFY2(cutInsideACharacter(doc, want).isEmpty(),
                     qPrintable(QString::number(way) + cutInsideACharacter(doc, want)));
            doc.undo();
            QCOMPARE(NoteDocument::wholeText(doc), body);
            QVERIFY2(cutInsideACharacter(doc, body).isEmpty(), qPrintable(cutInsideACharacter(doc, body)));
        }
    }
};

QTEST_MAIN(TestNotePieces)
#include "tst_note_pieces.moc"
