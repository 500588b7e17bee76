#pragma once
#include <QFont>
#include <QRectF>
#include <QString>

class QComboBox;
class QPainter;

// Emoji in colour wherever a text is drawn. The interface font has outline glyphs of its own for a few
// characters that are also emoji (❤ U+2764, ⚠ U+26A0, ☀ U+2600…); Qt 6.4 takes the first family that
// has a character and ignores the U+FE0F after it that asks for the emoji form, so "❤️ Expense" drew
// a black outline heart. These helpers draw such characters from the colour font (as the sidebar
// always did for its icons) and the rest of the text from the text font.
namespace EmojiText {
// Whether text holds a character that only these helpers draw in colour.
bool needsColourFont(const QString &text);
// font with the colour emoji font as its first family: for a text that is nothing but emoji.
QFont colourFirst(const QFont &font);
// Draws text in r with the painter's font and pen, as QPainter::drawText(r, flags, text) would
// (alignment, Qt::TextWordWrap, Qt::TextSingleLine, mnemonics), emoji in colour. Like advance(), it
// takes the text cut for display (DisplayText::cut).
void draw(QPainter &p, const QRectF &r, int flags, const QString &text);
// Draws text on one line as draw() does, cut at the end with "…" where it is wider than r. A text that
// may hold emoji is cut and laid out once (see EmojiCache): measuring it decodes every emoji in it.
void drawElided(QPainter &p, const QRectF &r, int flags, const QString &text);
// Draws text as QPainter::drawText(r, flags, text) does (the font's own choice of glyphs), a text
// of nothing but emoji from pixmaps kept for it (see EmojiCache).
void drawPlain(QPainter &p, const QRectF &r, int flags, const QString &text);
// The width of one line of text in font, drawn as draw() draws it.
double advance(const QFont &font, const QString &text);
// The same, measured every time, on any thread.
double measure(const QFont &font, const QString &text);
// font's line height (QFontMetricsF::height), measured once (or ahead, see EmojiPrep).
double height(const QFont &font);
// Whether one line of text is surely no wider than width in font, told without measuring its emoji
// (measuring one decodes its picture): each character that may come from the colour font counts as
// wider than any emoji is drawn, the rest is measured in the text font. False says only that
// advance() must tell; always false for a text without such characters.
bool surelyFits(const QFont &font, const QString &text, double width);
// Makes combo's list draw its items with their emoji in colour (the style's own pop-up list draws
// them with the text font alone). The pop-up then shows as a list under the field.
void colourItems(QComboBox *combo);
} // namespace EmojiText
