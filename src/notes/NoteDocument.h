#pragma once
#include "notes/Note.h"
#include "notes/RtfCodec.h"
#include "platform/Deadline.h"
#include "platform/SpooledBytes.h"
#include <QColor>
#include <QFont>
#include <QTextFormat>
#include <functional>
#include <vector>

class QObject;
class QTextBlock;
class QTextCursor;
class QTextDocument;
class QWidget;

// A text note's document, as the one view of every text note (NoteTextView) shows it. A long one is
// built on a worker (the rich text read, the text colour set, the addresses marked as links) and laid
// out only as far as the view draws it. A line longer than kPieceChars is cut into pieces, each its
// own paragraph marked as continuing the one before, so no paragraph takes long to lay out (a view
// shows each piece going on along the row where the one before it ends: see PacedLayout); a shorter
// one too where a character of it would otherwise be drawn in halves (see kShapedChars); short
// lines of a plain text share paragraphs, so there are few to go over. Reading the text back joins
// the pieces, so what is saved is exactly what the document holds.
namespace NoteDocument {
// Bodies longer than this, or holding more colour emoji than kLongEmoji, are shown and edited this
// way (see isLong).
inline constexpr qsizetype kLongChars = 8 * 1024;
// A text up to this long is read for Save on the window's thread (its rich text is written in a few
// milliseconds), and the view shows on the document just edited; a longer one is read on a worker.
inline constexpr qsizetype kSaveHereChars = 96 * 1024;
// About as many emoji as a note laid out whole at once may hold (a tenth of a millisecond each).
inline constexpr int kLongEmoji = 128;
// A paste into a long text longer than this is put in on a worker (see NoteTextView::onLongPaste).
inline constexpr qsizetype kPasteLaterChars = 64 * 1024;
// The longest piece of a line laid out at once: about what lays out within one event-loop turn, so
// an ordinary paragraph of words is never cut for its length.
inline constexpr qsizetype kPieceChars = 16 * 1024;
// The most units (UTF-16) the text engine shapes as one run, counted from where a paragraph, a change
// of script, format or direction starts one: a character as shown that spans a run's end is drawn in
// halves (a flag as its two letters, a joined family as its people). So a piece past its first this
// many units holds only characters of one unit each (see pieceStarts).
inline constexpr qsizetype kShapedChars = 4096;
// Short lines of a plain text are gathered into paragraphs of about this many characters.
inline constexpr qsizetype kGroupChars = 2000;
// The most colour emoji in one paragraph. Measuring one takes the font library about a hundred
// times as long as a letter: the text engine asks the colour font for each emoji's advance at every
// layout of its paragraph, and its picture is decoded for that each time (the font's glyphs are not
// kept, nor their advances, and no font setting we can make changes it). So a paragraph of emoji is
// cut far shorter than one of words: it is laid out again at every key typed in it, and a screenful
// of them is laid out a piece or a few per event-loop turn, at least one per turn, whatever it costs
// (an emoji takes a tenth of a millisecond, twice that on a busy machine: 24 of them fit a turn with
// the rest of its work; 48 took twice the turn). The cut shows no break: its pieces go on along one
// another's rows.
inline constexpr int kPieceEmoji = 24;
// The paragraph property of a piece that continues the line before it.
inline constexpr int kContinues = QTextFormat::UserProperty + 0x70c;
// What a detected link's characters looked like before they were made a link (see markLinks).
inline constexpr int kLinkWasUnderline = QTextFormat::UserProperty + 0x70d;
inline constexpr int kLinkWasColour = QTextFormat::UserProperty + 0x70e;
// The theme's text colour, put by the view on text that has no colour of its own: taken out again
// before the text is saved, so a note never keeps the colour of the theme it was edited in.
inline constexpr int kShownColour = QTextFormat::UserProperty + 0x710;
// A link's own colour, kept while the link is shown in the links' colour (see showTextColour).
inline constexpr int kLinkOwnColour = QTextFormat::UserProperty + 0x712;
// Marks a line separator that stands for a paragraph break of the rich text: short paragraphs of a
// long rich text share a paragraph of the document (see gatherParagraphs), and are paragraphs again
// in what is saved.
inline constexpr int kGathered = QTextFormat::UserProperty + 0x711;
// Marks a format the layout gives the look of its lines (an emoji's font), never one of the text.
inline constexpr int kLayoutLook = QTextFormat::UserProperty + 0x70f;

bool isLong(const Note &note);

struct Style {
    QFont font;
    QColor text;
    QColor links; // detected addresses become links in this colour; none when invalid
    qreal margin = 4; // between the text and the view's edges
    // The font scale the font was made at: every size of the text is shown this many times as large
    // as it is stored (see RtfCodec::kSizeScale).
    double sizeScale = 1.0;
};

// Where the pieces of one line start (offsets from 1 to line.size() - 1, ascending): each piece at
// most kPieceChars long and holding at most kPieceEmoji emoji, ending before a character of more than
// one unit that would reach past its first kShapedChars, cut at a space near its end when there is
// one, and never inside a character as shown (a surrogate pair, a letter and its marks, a flag, an
// emoji sequence joined by U+200D or with its modifier).
std::vector<qsizetype> pieceStarts(QStringView line);
// How many of the characters in text are drawn from the colour emoji font (a joined sequence counts
// once): what makes a paragraph slow to lay out.
int colourEmoji(QStringView text);

// The note's document, built on the calling thread: no parent, a plain text layout, undo on, not
// modified. Safe to call on a worker; none once the application quits.
QTextDocument *build(const Note &note, const Style &style);
// The text as stored, from position from to position to (-1: the end): pieces joined again, other
// paragraphs ending in a line break. A plain text reads back character for character (a document
// that gathered short lines into a paragraph reads its line separators as line breaks: bodies that
// hold a line separator are not gathered); one read from rich text reads as the editors' plain text
// (line separators as line breaks, no-break spaces as spaces).
QString wholeText(const QTextDocument &doc, int from = 0, int to = -1);
// The same a part at a time: appends to out the text of from..to (to not -1) going on from at (from,
// or where the call before stopped), until to or until about atMost characters are added, stopping
// only where a paragraph or piece begins. Returns where to go on from, -1 once to is reached.
int appendStoredText(QString &out, const QTextDocument &doc, int from, int at, int to, qsizetype atMost);
// Removes the cuts between pieces, so the document holds one paragraph per line again.
void joinPieces(QTextDocument &doc);
// Gathers the short paragraphs of a rich text into paragraphs of about kGroupChars, each break a line
// separator marked kGathered with the break's own format, where neighbours look alike (the same
// paragraph format, no list); a view goes over every paragraph when it is set or resized, and keeps
// a layout for each. False when the application quits meanwhile.
bool gatherParagraphs(QTextDocument &doc);
bool continues(const QTextBlock &block);

// Makes the web addresses in the paragraphs holding from..to links drawn in colour, each marked as
// detected (RichTextView::kAutoLinkProperty) with the look its characters had, which the rich text
// writer gives back: what a view finds is shown, never stored. A link already there stays.
void markLinks(QTextCursor &c, int from, int to, const QColor &colour);
// Makes the detected links of the paragraphs holding from..to match their text again after an edit,
// as part of the edit's undo step: an address typed out or pasted becomes one, a link typed on or cut
// short follows its address, text typed right after one is no link. Links put in on purpose stay.
// Returns whether anything changed.
bool relinkEdited(QTextDocument &doc, int from, int to, const QColor &colour);
// Every format of the text goes (sizes, weights, colours, links, the paragraphs' looks; the cuts
// between pieces stay) and the web addresses written out become links of the text's own, in
// linkColour and underlined: links that are saved. The undo steps go too. False when the
// application quits meanwhile (the text is then left part done). Safe on a worker for a document
// no view shows.
bool linkAddresses(QTextDocument &doc, const QColor &linkColour, const QColor &textColour);
// A detected link's format as it was before it was made a link; any other format as it is.
QTextCharFormat unlinked(QTextCharFormat f);
// Gives every run without a colour of its own the theme's text colour, and every link the links'
// colour (when valid), as shown only: each marked kShownColour, which storedFormat() takes out again
// (giving a link its own colour back). The text's own colours stay.
void showTextColour(QTextDocument &doc, const QColor &text, const QColor &links = {});
// The format a run is stored with: without the link the view found in it or the colour it was shown in.
QTextCharFormat storedFormat(const QTextCharFormat &shown);
// Whether any text of doc may have a look of its own (a font, size, colour, weight, link, indent,
// list): none of its formats stores more than plain text does. Asks the document's formats, not
// its runs, so it costs the same for a note of megabytes; a look once given and taken off again
// still counts.
bool mayCarryLooks(const QTextDocument &doc);

// Builds the document on a pool thread; done gets it on receiver's thread, moved there and owned by
// the caller. When receiver is gone by then, the document is deleted.
void buildLater(const Note &note, const Style &style, QObject *receiver, std::function<void(QTextDocument *)> done);
// The same with the note handed over: its text is let go of as the document takes it in, that of a
// note with rich text before the rich text is read, so the text is never held beside the whole
// document. When the rich text does not read, done gets nullptr: build again from the note without
// its rich text (its text is shown plain, as build() shows it then).
void buildLater(Note &&note, const Style &style, QObject *receiver, std::function<void(QTextDocument *)> done);

// A long paste into a document: the characters from..to are replaced by text as plain text, in one
// step that undo takes back (after the steps before it): long lines in pieces, short lines gathered
// (not in a text read back as it is), no link carried on from the text before (its addresses are
// not made links here: see pasteInto). Into a short editor's document (or a copy of one), every kind of
// line break is a new line; the document gets a plain text layout, reads back as the editors' plain
// text (see wholeText), loses its undo steps and is left modified. Returns the position after the
// paste; -1 when the application quits meanwhile. Safe on a worker for a document no view shows.
int pasteText(QTextDocument &doc, int from, int to, const QString &text);
// The rich text (HTML) of the document's characters from..to, in the looks the note stores: the
// colour a view gives uncoloured text and the links it found are left out (pasted, they would be
// kept as the note's own), and the pieces of a line are one paragraph again.
QString richCopy(const QTextDocument &doc, int from, int to);
// How a document is written as RTF in the looks the note stores (as Save writes it): for a copy too
// long to be made HTML, the same written a part at a time (see RtfCodec::RangeWriter).
RtfCodec::WriteAs storedWriteAs();
// A web address found in a document: where it was (document positions), its text then, and what it
// opens.
struct FoundLink {
    int start = 0;
    int length = 0;
    QString text;
    QString href;
};
// The web addresses in the paragraphs holding from..to, as markLinks() finds them.
std::vector<FoundLink> findLinks(const QTextDocument &doc, int from, int to);
// Makes the characters start..end a detected link to href in colour, as markLinks() does: each run
// keeps the look it had for the rich text writer to give back.
void markLink(QTextCursor &c, int start, int end, const QString &href, const QColor &colour);

// The same on a pool thread into doc itself (a long text's), which no view may show until done
// gets it back; it has no parent meanwhile, and is deleted when receiver is gone by then. done also
// gets the web addresses of the lines pasted, found there after the paste (see PastedLinks). The
// paste is a long step (see longStep).
void pasteInto(QTextDocument *doc, int from, int to, const QString &text, QObject *receiver,
               std::function<void(QTextDocument *, int, std::vector<FoundLink>)> done);
// Runs edit on doc on a pool thread, as pasteInto does; done gets doc back with what edit returned.
// An edit that returns -1 (the application quits) deletes doc there.
void editLater(QTextDocument *doc, std::function<int(QTextDocument &)> edit, QObject *receiver,
               std::function<void(QTextDocument *, int)> done);
// Runs edit (on doc, on a worker) as a step whose undo and redo are made on a worker too: at once
// they would hold the window as long as the edit. Returns what edit returns.
int longStep(QTextDocument &doc, const std::function<int()> &edit);
// Whether doc's next undo (or redo) is that of such a step.
bool longStepNext(const QTextDocument &doc, bool redo);
// A step made at once takes the place of the long ones above top (the undo stack's size after it).
void keepLongStepsBelow(QTextDocument &doc, int top);
// Deletes a document no view shows any more: a long one on a pool thread (freeing megabytes of text
// and layouts held the window for a fifth of a second), a short one later on its own thread.
void discard(QTextDocument *doc);
// What a long note's view shows while its document is being built.
QString loadingText();

struct Saved {
    QString body;
    QByteArray rtf;
    // Made in their place when the note's fields come with the document (readKeeping): see encodeSaved.
    SpooledBytes record;
    QString preview;
    // The rich text would be larger than the reader takes (RtfCodec::kMaxBytes): none was written.
    bool richUnwritten = false;
};
// Puts the text and rich text read into note, unless the rich text could not be written: the note
// then keeps the text and rich text it has (never its text without its formats), and false tells
// the caller to say so.
bool storeInto(Note &note, const Saved &s);
// What the user is told when a note's text was not saved because its rich text could not be written.
void alertRichTextNotSaved(QWidget *parent);
// The first characters of a note's text its head's preview is made of (NoteHead::previewOf).
inline constexpr qsizetype kPreviewChars = NoteHead::kPreviewChars + 1;
// The text as stored and its rich text (none, and richUnwritten set, when the rich text would be
// larger than maxRtfBytes): the links the view found and the colour it gave taken out, the pieces
// joined. The document stays as it is.
Saved readText(const QTextDocument &doc, qsizetype maxRtfBytes = RtfCodec::kMaxBytes);
// Takes the document (which no view may show any more), reads it as readText() does on a pool
// thread and deletes it there; done gets the text on receiver's thread unless receiver is gone.
void readLater(QTextDocument *doc, QObject *receiver, std::function<void(const Saved &)> done);
// The note's bytes as NoteCodec::encodeNote() writes fields with the text and rich text readText()
// reads from the document (fields' own are not read), written from the document a stretch at a time:
// neither the text nor the rich text is held whole beside the document and the bytes. preview, when
// given, gets the head's preview of the text (NoteHead::previewOf).
// richUnwritten, when given, is set when the rich text could not be written (the bytes then hold none).
// stop, when given, is asked between stretches: once it holds, the encode gives up and nothing comes
// back (empty bytes, *stopped set).
QByteArray encodeSaved(const QTextDocument &doc, const Note &fields, QString *preview = nullptr,
                       bool *richUnwritten = nullptr, const std::function<bool()> &stop = {},
                       bool *stopped = nullptr);
// The bytes of a record this large or larger go to a file beside the database as they are made.
inline constexpr qint64 kSpoolRecordFrom = 4 << 20;
// encodeSaved()'s bytes, the same byte for byte, spooled to a file with no name in the folder of
// `beside` (SpooledBytes::Spooler) once they reach spoolFrom: a record of tens of megabytes is never
// held whole. Where no file can be made or written, they are made in memory, as encodeSaved() makes them.
SpooledBytes encodeSpooled(const QTextDocument &doc, const Note &fields, const QByteArray &beside,
                           qint64 spoolFrom = kSpoolRecordFrom, QString *preview = nullptr,
                           bool *richUnwritten = nullptr, const std::function<bool()> &stop = {},
                           bool *stopped = nullptr);
// The same as readLater for a note with these fields, but the document is not deleted, and what comes
// back is the note's bytes (Saved::record, Saved::preview) made by encodeSaved(): done gets the document
// back with them, to own (it is what the text was read from, so a page can go on showing it instead of
// building it again from the text). When receiver is gone by then, it is deleted.
void readKeeping(QTextDocument *doc, const Note &fields, QObject *receiver,
                 std::function<void(Saved &, QTextDocument *)> done);
// At quit, when the event loop no longer runs: waits for the saves readLater() started and hands each
// its text at once, in the order they were started, so that they reach the store before the database
// closes. False when one was not read by the deadline (it, and those after it, are not stored).
bool settleSaves(const Deadline &deadline);
inline bool settleSaves(int timeoutMs) {
    return settleSaves(Deadline(timeoutMs));
}
} // namespace NoteDocument
