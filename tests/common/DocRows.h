#pragma once
// Rows of a note's document, as the long note tests compare them.
#include "notes/NoteDocument.h"
#include <QAbstractTextDocumentLayout>
#include <QList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <cmath>

// Where the rows of the whole text start, as offsets into the stored text: every paragraph laid out
// in order, as a reader scrolling down from the top has them, and its lines placed as a view places
// them. A piece that goes on along the row where the one before it ends starts no row.
inline QList<int> rowsInOrder(const QTextDocument &doc) {
    QAbstractTextDocumentLayout *layout = doc.documentLayout();
    QList<int> rows;
    qreal top = 0, lastRow = -1;
    int cuts = 0; // the cuts before a paragraph are no characters of the text
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next()) {
        cuts += NoteDocument::continues(b);
        const qreal height = layout->blockBoundingRect(b).height();
        const QTextLayout *tl = b.layout();
        for (int i = 0; i < tl->lineCount(); ++i) {
            const QTextLine line = tl->lineAt(i);
            const qreal baseline = std::round(top + line.y() + line.ascent());
            if (baseline > lastRow) rows.push_back(b.position() + line.textStart() - cuts);
            lastRow = std::max(lastRow, baseline);
        }
        top += height;
    }
    return rows;
}
