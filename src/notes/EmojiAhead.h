#pragma once
#include <QStringView>

namespace NoteDocument {
struct Style;

// Draws the colour emoji a long text starts with, a few per event-loop turn on the window's thread,
// while its document is built on a worker: the view's first paint of a screenful of emoji decoded
// every one's picture and put it in the font's glyph cache, all in that one paint. The cache is the
// font's on this thread (a worker's is its own), so the pictures are drawn here, each emoji alone
// in the text's font, looks and colour, into an image of its own; the fonts drawn with are held
// until the next text's emoji are drawn ahead, so the cache is still there when the view paints.
void drawEmojiAheadOf(QStringView start, const Style &style);
// How many emoji have been drawn ahead since the start (tests).
int emojiDrawnAhead();
} // namespace NoteDocument
