#include "notes/RichPaste.h"

#include "notes/NoteDocumentParts.h"
#include "notes/PastedLists.h"
#include "notes/PieceCuts.h"
#include "notes/RtfCodec.h"
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <algorithm>

namespace RichPaste {
void read(QTextDocument &pasted, const QString &html, const QFont &font) {
    pasted.setUndoRedoEnabled(false);
    pasted.setDefaultFont(font);
    pasted.setHtml(html);
    PastedLists::asText(pasted);
}

void readRtf(QTextDocument &pasted, const QByteArray &rtf, const QFont &font, double sizeScale) {
    pasted.setUndoRedoEnabled(false);
    pasted.setDefaultFont(font);
    pasted.setProperty(RtfCodec::kSizeScale, sizeScale);
    RtfCodec::read(rtf, &pasted);
}

bool put(QTextCursor &c, const QTextDocument &pasted, const Look &look) {
    c.beginEditBlock();
    c.removeSelectedText();
    for (QTextBlock b = pasted.firstBlock(); b.isValid(); b = b.next()) {
        if (NoteDocument::g_quitting) return false;
        if (b != pasted.firstBlock()) {
            // A line of its own, even where it breaks a piece of a long line.
            QTextBlockFormat line = PastedLists::withIndents(c.blockFormat(), b.blockFormat());
            line.clearProperty(NoteDocument::kContinues);
            c.insertBlock(line);
        } else if (c.atBlockStart() && PastedLists::hasIndents(b.blockFormat())) {
            c.setBlockFormat(PastedLists::withIndents(c.blockFormat(), b.blockFormat()));
        }
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            QString t = f.text();
            t.remove(QChar::ObjectReplacementCharacter);
            t.replace(QChar::LineSeparator, QChar::ParagraphSeparator);
            if (t.isEmpty()) continue;
            QTextCharFormat fmt = f.charFormat();
            fmt.clearBackground();
            fmt.clearProperty(QTextFormat::ObjectType);
            // Each run at the size it is shown in, in pixels as the note holds sizes: a heading's
            // size relative to the text, or one in points, would be stored as no size at all (and
            // another editor shows a run without one at its own default).
            fmt.clearProperty(QTextFormat::FontSizeAdjustment);
            fmt.clearProperty(QTextFormat::FontPointSize);
            fmt.setProperty(QTextFormat::FontPixelSize, RtfCodec::shownPixels(f.charFormat().font()));
            // A link the page gave no colour of its own gets the palette's from Qt: not the text's,
            // so not stored; it is shown in the links' colour, as the note shown again shows it.
            if (fmt.isAnchor() && fmt.foreground() == look.paletteLink) {
                fmt.clearForeground();
                if (look.autoLinks.isValid()) {
                    fmt.setForeground(look.autoLinks);
                    fmt.setProperty(NoteDocument::kShownColour, true);
                }
            }
            c.insertText(t, fmt);
        }
    }
    c.endEditBlock();
    return true;
}

int paste(QTextDocument &doc, int from, int to, const QTextDocument &pasted, const Look &look) {
    const int last = doc.characterCount() - 1;
    QTextCursor c(&doc);
    c.setPosition(std::clamp(from, 0, last)); // where undo puts the caret
    c.beginEditBlock();
    c.setPosition(std::clamp(to, c.position(), last), QTextCursor::KeepAnchor);
    const int pasteFrom = c.selectionStart();
    NoteDocument::removeSelection(c);
    if (!put(c, pasted, look)) return -1;
    const QTextCursor after = c; // follows the cuts made below
    // The cuts the paste broke are mended first: a paragraph is cut as if a character as shown began
    // at its start.
    NoteDocument::mendCuts(c, pasteFrom, after.position(), [] {});
    if (!NoteDocument::cutLongParagraphs(c, pasteFrom, after.position())) return -1;
    if (look.autoLinks.isValid())
        NoteDocument::relinkEdited(doc, pasteFrom, after.position(), look.autoLinks);
    c.endEditBlock();
    for (QTextBlock b = doc.findBlock(pasteFrom); b.isValid() && b.position() <= after.position();
         b = b.next())
        b.layout();
    return after.position();
}
} // namespace RichPaste
