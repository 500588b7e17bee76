#include "ui/DisplayText.h"
#include <QtTest>

// The copy of a user's text that displays measure: short texts as they are, long ones cut at a
// character boundary with "…", never longer than the bound.
class TstDisplayText : public QObject {
    Q_OBJECT
private slots:
    void shortTextsAreTheTextItself() {
        const QString s(DisplayText::kMaxShownChars, QLatin1Char('a'));
        QCOMPARE(DisplayText::cut(s).constData(), s.constData()); // no copy made
        QCOMPARE(DisplayText::cut(QString()), QString());
    }

    void cuts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("max");
        QTest::addColumn<QString>("cut");
        const QString smile = QStringLiteral("😀"); // a surrogate pair
        const QString accented = QStringLiteral("e\u0301");
        QTest::newRow("one over") << QStringLiteral("abcdef") << qsizetype(5) << QStringLiteral("abcd…");
        QTest::newRow("pair at the cut") << "abc" + smile + "de" << qsizetype(5) << QStringLiteral("abc…");
        QTest::newRow("pair before the cut") << "ab" + smile + "def" << qsizetype(5) << "ab" + smile + "…";
        QTest::newRow("combining mark at the cut")
            << "abc" + accented + "xy" << qsizetype(5) << QStringLiteral("abc…");
        QTest::newRow("nothing fits") << smile + smile << qsizetype(2) << QStringLiteral("…");
        QTest::newRow("no room") << QStringLiteral("ab") << qsizetype(0) << QString();
    }
    void cuts() {
        QFETCH(QString, text);
        QFETCH(qsizetype, max);
        QFETCH(QString, cut);
        QCOMPARE(DisplayText::cut(text, max), cut);
    }

    // A title of 10 MB costs a copy of its first few thousand characters.
    void hugeTextsAreCutToTheBound() {
        const QString huge(10 * 1024 * 1024, QLatin1Char('x'));
        const QString shown = DisplayText::cut(huge);
        QCOMPARE(shown.size(), DisplayText::kMaxShownChars);
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QVERIFY(huge.startsWith(shown.chopped(1)));
    }
};

QTEST_MAIN(TstDisplayText)
#include "tst_display_text.moc"
