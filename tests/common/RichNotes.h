#pragma once
#include "notes/Note.h"
#include "notes/NoteDocument.h"
#include "notes/RtfCodec.h"
#include <QColor>
#include <QMap>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTest>

// Text notes as users write them, and what their stored rich text holds.

// A data function's rows for a short text note and a long one (past NoteDocument::kLongChars, built
// and shown a piece at a time): 4 KB and 12 KB, in the int column named.
inline void shortAndLongRows(const char *column) {
    QTest::addColumn<int>(column);
    QTest::newRow("4 KB") << 4 * 1024;
    QTest::newRow("12 KB") << 12 * 1024;
}

// A text note of body, titled after its id.
inline Note textNote(const QString &id, const QString &body) {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Text ") + id);
    n.id = id;
    n.body = body;
    return n;
}
// The note a test of one note edits.
inline Note textNote(const QString &body) {
    return textNote(QStringLiteral("P"), body);
}

// Words of varied length on one line, so cuts fall at spaces.
inline QString wordsLine(int chars) {
    QString s;
    for (int i = 0; s.size() < chars; ++i)
        s += QStringLiteral("word%1 ").arg(i % 97);
    return s.left(chars);
}

// A paste of many lines, long and short, with emoji (one at a cut), a CRLF and an address.
inline QString bigPaste() {
    QString s = QStringLiteral("see https://example.org/p\r\n");
    for (int i = 0; i < 40; ++i)
        s += wordsLine(3000 + i) + QStringLiteral("😀\n") + QStringLiteral("short %1\n").arg(i);
    return s + QString(NoteDocument::kPieceChars - 1, u'e') + QStringLiteral("😀tail");
}

// A rich note of about chars characters as a user writes one: bold, italic, a larger size, a colour,
// a link put in under a text of its own, addresses typed out, bullet lines.
inline Note richNote(const QString &id, int chars) {
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat plain, bold, italic, big, red, link;
    bold.setFontWeight(QFont::Bold);
    italic.setFontItalic(true);
    big.setProperty(QTextFormat::FontPixelSize, 17);
    red.setForeground(QColor(200, 30, 30));
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://mivo.example/home"));
    link.setFontUnderline(true);
    for (int i = 0; doc.characterCount() < chars; ++i) {
        c.insertText(QStringLiteral("Paragraph %1 has ").arg(i), plain);
        c.insertText(QStringLiteral("bold words"), bold);
        c.insertText(QStringLiteral(", "), plain);
        c.insertText(QStringLiteral("some italic"), italic);
        c.insertText(QStringLiteral(" and "), plain);
        c.insertText(QStringLiteral("a bigger size"), big);
        c.insertText(QStringLiteral(" in "), plain);
        c.insertText(QStringLiteral("red"), red);
        c.insertText(QStringLiteral(", see https://example.org/p%1 or www.example.com/q%1 and ").arg(i),
                     plain);
        c.insertText(QStringLiteral("our home page"), link);
        c.insertText(QStringLiteral(" for more of it.\n• a bullet line %1\n• another bullet\n").arg(i),
                     plain);
    }
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Text ") + id);
    n.id = id;
    n.body = doc.toPlainText();
    n.bodyRTF = RtfCodec::write(doc);
    return n;
}

// The links and underlines a stored rich text holds: each run's text with its address and
// whether it is underlined.
inline QStringList linksAndUnderlines(const QByteArray &rtf) {
    QTextDocument doc;
    if (!RtfCodec::read(rtf, &doc)) return {QStringLiteral("unreadable")};
    QStringList out;
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isAnchor() || f.fontUnderline())
                out << it.fragment().text() + u'|' + f.anchorHref() + u'|' +
                           QString::number(f.fontUnderline());
        }
    return out;
}

// The colours a note's text has of its own, and how many characters have each.
inline QMap<QString, int> colours(const QByteArray &rtf) {
    QTextDocument doc;
    if (!RtfCodec::read(rtf, &doc)) return {{QStringLiteral("unreadable"), 0}};
    QMap<QString, int> out;
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.hasProperty(QTextFormat::ForegroundBrush))
                out[f.foreground().color().name()] += it.fragment().length();
        }
    return out;
}

// About `bytes` of numbered lines ("Line 0007 lorem ipsum dolor sit amet consectetur"), a bold word
// in each, each ending in `tail`. With needles, " sit NEEDLE amet" in every fifth line instead (counted
// there), none in the last lines, so the first match is not where a view opens at the end.
inline Note numberedNote(const QString &id, int bytes, int *needles = nullptr,
                         const QString &tail = QStringLiteral(" sit amet consectetur")) {
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat plain, bold;
    bold.setFontWeight(QFont::Bold);
    if (needles) *needles = 0;
    for (int i = 0; doc.characterCount() < bytes; ++i) {
        if (i > 0) c.insertBlock();
        c.insertText(QStringLiteral("Line %1 lorem ipsum ").arg(i, 4, 10, QLatin1Char('0')), plain);
        c.insertText(QStringLiteral("dolor"), bold);
        if (needles && i % 5 == 2 && doc.characterCount() < bytes - 400) {
            c.insertText(QStringLiteral(" sit NEEDLE amet"), plain);
            ++*needles;
        } else {
            c.insertText(tail, plain);
        }
    }
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Text ") + id);
    n.id = id;
    n.body = doc.toPlainText();
    n.bodyRTF = RtfCodec::write(doc);
    return n;
}
