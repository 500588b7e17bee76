#pragma once
#include "ui/EmojiCache.h"
#include <QFont>
#include <QList>
#include <QString>

// Emoji a page is known to show, drawn on a worker before the page is first shown: decoding a colour
// emoji's picture (and loading the emoji font at each size) is most of a page's first show where its
// labels hold emoji, and font engines are per thread, so a worker's own draw is copied instead. The
// window's thread then copies the pixels (EmojiCache::drawPrepared) and takes the texts' widths and
// the fonts' line heights as measured there.
namespace EmojiPrep {
struct Text {
    QString text;
    QFont font; // as the page sets it on its painter or label
};

// What a worker makes for text in font on a device of dpi, on any thread. An image only for one
// emoji drawn whole by the colour font in any pen (several glyphs land each on its own whole pixel,
// which one copy cannot follow); its width and line metrics always.
struct Made {
    EmojiCache::Prepared prepared;
    double width = 0;        // EmojiText::advance's width
    double height = 0;       // the font's line height
    double colourHeight = 0; // the line height of the font with the colour font first
};
Made make(const QString &text, const QFont &font, int dpi);

// The resolution of the window's devices.
int screenDpi();
// On the window's thread: makes texts on a worker and keeps what it made in EmojiCache::shared()
// once it is handed back (a text drawn before then is drawn as before).
void prepare(const QList<Text> &texts);
// The same, made here and kept at once (tests).
void prepareNow(const QList<Text> &texts, int dpi = screenDpi());
} // namespace EmojiPrep
