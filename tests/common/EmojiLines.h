#pragma once
// A long line of emoji shown in a note's text view, as the long note tests show it.
#include "common/RichNotes.h"
#include "notes/NoteDocument.h"
#include "notes/NoteTextView.h"
#include <QString>
#include <QTest>
#include <QTextDocument>

// unit repeated until the text holds at least chars characters.
inline QString emojiLine(const QString &unit, qsizetype chars) {
    QString s;
    while (s.size() < chars)
        s += unit;
    return s;
}

// The view shown at size with a document of the text, as the page builds it.
inline bool showText(NoteTextView &v, const QString &body, QSize size) {
    v.resize(size);
    v.setDocument(NoteDocument::build(textNote(body), {QFont(), Qt::black, {}}));
    v.document()->setParent(&v);
    v.show();
    return QTest::qWaitForWindowExposed(&v);
}
