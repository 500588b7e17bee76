#pragma once
// What the tests of long notes (pieces, saves, pastes) share.
#include "common/RichNotes.h"
#include "common/ShownNotesPage.h"
#include "common/TestEnv.h"
#include "notes/NoteCodec.h"
#include "notes/NoteStore.h"
#include "notes/NoteTextView.h"
#include "notes/NotesView.h"
#include "notes/RtfCodec.h"
#include "platform/Background.h"
#include "ui/Fonts.h"
#include "ui/Theme.h"
#include "ui/WebLinks.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QThreadPool>
#include <QtTest>
#include <memory>

namespace LongNoteTest {
inline constexpr int kPiece = int(NoteDocument::kPieceChars);

inline NoteDocument::Style style() {
    return {QFont(), Qt::black, Qt::blue};
}

// Every piece within the bound, every piece past the first of a line marked, no pair cut.
inline void checkPieces(const QTextDocument &doc) {
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next()) {
        QVERIFY(b.length() - 1 <= NoteDocument::kPieceChars);
        if (NoteDocument::continues(b)) QVERIFY(b.previous().isValid());
        const QString t = b.text();
        if (!t.isEmpty()) QVERIFY(!t.front().isLowSurrogate());
    }
}

// The stored offset of a document position: the cuts before it are no characters.
inline int storedOffset(const QTextDocument &doc, int pos) {
    int cuts = 0;
    for (QTextBlock b = doc.firstBlock(); b.isValid() && b.position() <= pos; b = b.next()) cuts += NoteDocument::continues(b);
    return pos - cuts;
}

// The document position of a stored offset.
inline int docPosition(const QTextDocument &doc, int stored) {
    int pos = stored;
    for (QTextBlock b = doc.firstBlock(); b.isValid() && b.position() <= pos; b = b.next()) pos += NoteDocument::continues(b);
    return pos;
}

inline void settle() {
    for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
}

inline void placeCursor(NoteTextView &v, int pos) {
    QTextCursor c(v.document());
    c.setPosition(pos);
    v.setTextCursor(c);
}

// Notes a save writes: rich paragraphs; long lines cut into pieces with emoji and formats across the
// cuts, bullets and characters RTF and JSON escape, and a line of emoji; a plain line; no text.
inline Note savedNote(int which) {
    if (which == 0) return richNote(QStringLiteral("R"), 300000);
    if (which == 2) return textNote(QStringLiteral("P"), wordsLine(5 * kPiece) + QStringLiteral("\"😀\""));
    if (which == 3) return textNote(QStringLiteral("E"), QString());
    QTextDocument src;
    QTextCursor c(&src);
    QTextCharFormat plain, bold, red;
    bold.setFontWeight(QFont::Bold);
    red.setForeground(QColor(200, 30, 30));
    for (int line = 0; line < 3; ++line) {
        for (int i = 0; src.characterCount() < (line + 1) * 3 * kPiece; ++i) {
            c.insertText(wordsLine(37 + i % 11), plain);
            c.insertText(QStringLiteral("😀👍🏽"), i % 2 ? bold : red);
        }
        c.insertBlock();
        c.insertText(QStringLiteral("• a bullet { with \\ braces } ünd “quotes”"), plain);
        c.insertBlock();
    }
    c.insertText(QStringLiteral("🎉").repeated(2000), bold);
    Note n = textNote(QStringLiteral("L"), src.toPlainText());
    n.bodyRTF = RtfCodec::write(src);
    n.link = QStringLiteral("https://example.com/stored");
    return n;
}

// Whether every paragraph from the view's top down to its bottom edge has its lines.
inline bool screenLaidOut(const NoteTextView &v) {
    qreal y = 0;
    QTextBlock b = v.document()->findBlockByLineNumber(v.verticalScrollBar()->value());
    for (; b.isValid() && y < v.viewport()->height(); b = b.next()) {
        if (b.layout()->lineCount() == 0) return false;
        y += v.document()->documentLayout()->blockBoundingRect(b).height();
    }
    return true;
}
} // namespace LongNoteTest
