#include "common/TestEnv.h"
#include "notes/NoteDocument.h"
#include "notes/NoteFind.h"
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>
#include <memory>

// Find in a long note's document, cut into pieces at the real cut size, against the stored text.
namespace {
constexpr int kPiece = int(NoteDocument::kPieceChars);

std::unique_ptr<QTextDocument> build(const QString &body) {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("t"));
    n.body = body;
    return std::unique_ptr<QTextDocument>(NoteDocument::build(n, {QFont(), Qt::black, QColor()}));
}

// The stored offset of a document position: the cuts before it are no characters.
int storedOffset(const QTextDocument &doc, int pos) {
    int cuts = 0;
    for (QTextBlock b = doc.firstBlock(); b.isValid() && b.position() <= pos; b = b.next())
        cuts += NoteDocument::continues(b);
    return pos - cuts;
}

int cutCount(const QTextDocument &doc) {
    int n = 0;
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next())
        n += NoteDocument::continues(b);
    return n;
}

// The matches from stored offset from on, as if a line began there, that start before stored offset to.
std::vector<NoteFind::Range> storedMatches(const QString &body, const QString &query, int from = 0,
                                           int to = -1) {
    std::vector<NoteFind::Range> out = NoteFind::textMatches(body.mid(from), query, 1'000'000);
    for (NoteFind::Range &r : out)
        r.start += from;
    if (to >= 0) std::erase_if(out, [to](const NoteFind::Range &r) { return r.start >= to; });
    return out;
}

// Runs the search whole or a paragraph at a time, and compares its matches with want: each starts
// where the stored text's does and reads, its cuts left out, as the stored text.
QString compare(const QTextDocument &doc, const QString &body, const QString &query, bool sliced,
                int from = 0, int to = -1) {
    NoteFind::DocSearch search(&doc, query, &NoteDocument::continues, 1'000'000, from, to);
    int turns = 0;
    while (!search.run(sliced ? QDeadlineTimer(0) : QDeadlineTimer(QDeadlineTimer::Forever)))
        ++turns;
    const std::vector<NoteFind::Range> want =
        storedMatches(body, query, storedOffset(doc, from), to < 0 ? -1 : storedOffset(doc, to));
    const std::vector<NoteFind::Range> &got = search.matches();
    const QString where = QStringLiteral("“%1” from %2 to %3%4: ")
                              .arg(query.left(20))
                              .arg(from)
                              .arg(to)
                              .arg(sliced ? QStringLiteral(" sliced") : QString());
    for (size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
        if (i >= got.size()) return where + QStringLiteral("missed the match at %1").arg(want[i].start);
        if (i >= want.size()) return where + QStringLiteral("a match too many at %1").arg(got[i].start);
        const NoteFind::Range &r = got[i];
        if (storedOffset(doc, r.start) != want[i].start)
            return where + QStringLiteral("match %1 at %2, not %3")
                               .arg(i)
                               .arg(storedOffset(doc, r.start))
                               .arg(want[i].start);
        const QString text = NoteDocument::wholeText(doc, r.start, r.start + r.length);
        if (text.compare(body.mid(want[i].start, want[i].length)) != 0)
            return where +
                   QStringLiteral("match %1 at %2 reads “%3”").arg(i).arg(want[i].start).arg(text.left(20));
    }
    if (sliced && turns == 0 && from == 0 && to < 0 && doc.blockCount() > 1)
        return where + QStringLiteral("not sliced");
    return {};
}

// A body of long lines (cut into pieces, several at the bound itself, and emoji lines cut short) and
// short ones, of few letters so that matches are many and fall across the cuts.
QString randomBody(QRandomGenerator &rng) {
    QString body;
    while (body.size() < 3 * kPiece) {
        const int kind = int(rng.bounded(4));
        const int length = kind == 3 ? int(rng.bounded(200)) : kPiece + int(rng.bounded(2 * kPiece));
        QString line;
        line.reserve(length);
        while (line.size() < length) {
            if (kind == 0)
                line += QChar(u"aAb"[rng.bounded(3)]); // no space: cut at the bound
            else if (kind == 1)
                line += rng.bounded(30) ? QChar(u"ab"[rng.bounded(2)]) : QChar(u' ');
            else if (kind == 2)
                line += rng.bounded(3) ? QStringLiteral("😀") : QStringLiteral("a");
            else
                line += QChar(u"ab "[rng.bounded(3)]);
        }
        body += line + u'\n';
    }
    return body;
}
} // namespace

class TestDocSearch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useOffscreenWhenHeadless(); }

    // The matches in a long note's document, cut into pieces, are those of its stored text: also
    // the ones across a cut, none overlapping, at most the cap; and slices that stop after every
    // paragraph find the same.
    void documentSearchMatchesTheStoredText_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("query");
        // No spaces: the cuts fall at every piece's bound inside the repeated word.
        QString abc;
        while (abc.size() < 3 * kPiece + 500)
            abc += QStringLiteral("abcde");
        QTest::newRow("across every cut") << abc << QStringLiteral("deab");
        // Three a's at a time, the last match ending right at a cut or one past it.
        for (const int extra : {0, 1, 2})
            QTest::newRow(qPrintable(QStringLiteral("overlapping candidates %1").arg(extra)))
                << QString(2 * kPiece + extra, u'a') + u'\n' + QString(kPiece + 10, u'a')
                << QStringLiteral("AAA");
        QString words;
        for (int i = 0; words.size() < 3 * kPiece; ++i)
            words += (i % 7 ? QStringLiteral("Wörd ") : QStringLiteral("ÄpFel\n"));
        words += QStringLiteral("äpFEL").repeated(kPiece / 2);
        QTest::newRow("lines and case") << words << QStringLiteral("äpfel");
        // Pieces of emoji far shorter than the query: a match goes across two cuts and more.
        QString emoji;
        for (int i = 0; i < 400; ++i)
            emoji += i % 5 ? QStringLiteral("😀") : QStringLiteral("x");
        QTest::newRow("across pieces shorter than it") << emoji << emoji.mid(3, 140);
        QString mixed;
        auto *rng = QRandomGenerator::global();
        for (int i = 0; i < 3 * kPiece; ++i)
            mixed += QChar(u"ab \n"[rng->bounded(4)]);
        for (int i = 0; i < 3 * kPiece; ++i)
            mixed += QChar(u"ab"[rng->bounded(2)]) + (rng->bounded(40) ? QString() : QStringLiteral(" "));
        QTest::newRow("random") << mixed << QStringLiteral("ab a");
        QTest::newRow("nothing") << mixed << QStringLiteral("abba abba");
    }
    void documentSearchMatchesTheStoredText() {
        QFETCH(QString, body);
        QFETCH(QString, query);
        const std::unique_ptr<QTextDocument> doc = build(body);
        QVERIFY(doc);
        QVERIFY(cutCount(*doc) >= 2);
        for (bool sliced : {false, true}) {
            const QString wrong = compare(*doc, body, query, sliced);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        }
        const std::vector<NoteFind::Range> want = storedMatches(body, query);
        NoteFind::DocSearch capped(doc.get(), query, &NoteDocument::continues, 3);
        QVERIFY(capped.run(QDeadlineTimer(QDeadlineTimer::Forever)));
        QCOMPARE(capped.matches().size(), std::min<size_t>(3, want.size()));
    }

    // Random bodies and queries, some taken from the text around a cut: the same matches as the
    // stored text's, whole or sliced, over the whole document and from and to anywhere (inside the
    // first paragraph searched, at a cut, past the last match).
    void randomSearchesMatchTheStoredText() {
        QRandomGenerator rng(62);
        for (int round = 0; round < 6; ++round) {
            const QString body = randomBody(rng);
            const std::unique_ptr<QTextDocument> doc = build(body);
            std::vector<int> cuts;
            for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
                if (NoteDocument::continues(b)) cuts.push_back(b.position());
            QVERIFY(cuts.size() >= 2);
            for (int q = 0; q < 8; ++q) {
                // Around a cut most of the time, a few characters or more than a piece of emoji.
                const int cut = storedOffset(*doc, cuts[rng.bounded(quint32(cuts.size()))]);
                const int length = q % 4 == 3 ? 60 + int(rng.bounded(100)) : 2 + int(rng.bounded(5));
                const int at = q % 4 == 0 ? int(rng.bounded(body.size() - length))
                                          : std::max(0, cut - int(rng.bounded(quint32(length))));
                const QString query = q % 2 ? body.mid(at, length).toUpper() : body.mid(at, length);
                if (query.contains(u'\n') || query.front().isLowSurrogate() || query.back().isHighSurrogate())
                    continue;
                const int from = rng.bounded(2) ? 0 : int(rng.bounded(doc->characterCount() - 1));
                const int to = rng.bounded(2) ? -1 : from + int(rng.bounded(doc->characterCount() - from));
                for (const bool sliced : {false, true}) {
                    QString wrong = compare(*doc, body, query, sliced);
                    if (wrong.isEmpty()) wrong = compare(*doc, body, query, sliced, from, to);
                    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
                }
            }
        }
    }

    // A search from a place inside a paragraph (the find bar's region in sight) begins there as if a
    // line began there, and ends with the last match that starts before its end.
    void aRegionInsideAPieceBeginsAndEndsThere() {
        const QString body =
            QString(kPiece + 2000, u'a') + QStringLiteral("\nab ab ab\n") + QString(kPiece, u'b');
        const std::unique_ptr<QTextDocument> doc = build(body);
        QCOMPARE(cutCount(*doc), 1);
        for (const auto &[from, to] : std::vector<std::pair<int, int>>{{1, 10},
                                                                       {7, 8},
                                                                       {kPiece - 2, kPiece + 3},
                                                                       {kPiece + 1, kPiece + 7},
                                                                       {kPiece + 1995, -1},
                                                                       {100, 100}}) {
            for (const bool sliced : {false, true}) {
                const QString wrong = compare(*doc, body, QStringLiteral("aa"), sliced, from, to);
                QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            }
        }
        const QString wrong = compare(*doc, body, QStringLiteral("b a"), true, kPiece + 2004, kPiece + 2009);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }
};

QTEST_MAIN(TestDocSearch)
#include "tst_doc_search.moc"
