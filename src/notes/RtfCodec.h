#pragma once
#include <QByteArray>
#include <QFont>
#include <QTextFormat>
#include <functional>
#include <memory>

class QTextBlock;
class QTextDocument;

// Rich text as RTF bytes, both ways, for note bodies and table cells (Qt reads and writes none).
//
// The writer produces: a font table and a colour table, bold, italic, underline, size (\fs, from the
// character's pixel size, which the app uses as its design points, or the size one relative to the
// document's works out to), foreground colour, each written only where it changes, \uN with \uc1
// for what the ANSI code page cannot hold (surrogate pairs as two \u), \'hh for Windows-1252, paragraphs
// (\par), line breaks (\line), tabs (\tab), HYPERLINK fields, and paragraph left and first-line indents
// and tab stops (\pard\li\fi\tqr\tqc\tqdec\tx, written only where they change). Its output is
// deterministic: write(read(write(d))) == write(d), and read(write(d)) keeps the text, each
// character's format and each paragraph's indents and tab stops.
//
// A \par ends a paragraph, so a document's last \par opens no empty paragraph after it (editors that
// end every paragraph with one would otherwise leave an empty line at the end); the writer ends a
// document whose last paragraph is empty with one \par more.
//
// The reader takes that subset plus what common editors write: code pages (\ansicpg, \fcharset) with
// \'hh, negative \uN and surrogate pairs as two \u, \ucN, \plain, strike-through, \cell/\row, the
// named quote and dash symbols, unknown destinations (\*), pictures and objects skipped, and the N raw
// bytes after \binN skipped. It treats its input as untrusted: no recursion on the input's nesting,
// a group depth limit, a size limit, work linear in the input.
namespace RtfCodec {
// The bound of both halves: larger inputs are refused unread, and nothing larger is written. The
// store keeps its notes in one database value, which the database holds up to a billion bytes, with
// a note's rich text in Base64: no stored rich text is larger than this, so every one reads, and
// whatever is written within it reads back.
inline constexpr qsizetype kMaxBytes = 750'000'000;
// Set by the reader, with the underline, on a link's characters the file did not underline: a link
// is drawn underlined, and the writer writes no \ul for them.
inline constexpr int kLinkUnderline = QTextFormat::UserProperty + 0x720;
// Deeper nesting than any editor writes is refused.
inline constexpr int kMaxDepth = 256;

// The size in pixels the font is drawn at: sizes are stored in pixels (\fs is twice the pixel size).
int shownPixels(const QFont &font);
// The dynamic property of a document that shows every size the font scale times as large as it is
// stored: the reader gives it each stored size times that, the writer stores each size it holds
// divided by it, so the stored sizes are the same at every font scale. None: 1.
inline constexpr char kSizeScale[] = "mivoSizeScale";
double sizeScale(const QTextDocument &doc);

// Replaces doc's content by the rich text. Returns false, leaving doc empty, for data that is not RTF,
// is too large or nests too deeply; a truncated document keeps what came before the cut.
bool read(const QByteArray &rtf, QTextDocument *doc);
// The same, calling paragraphEnded after each paragraph break it puts in, with the paragraph it goes
// on writing into: the paragraphs before that one are whole. paragraphEnded may change them (the
// reader holds no place in them) as long as every character stays where it is.
bool read(const QByteArray &rtf, QTextDocument *doc,
          const std::function<void(const QTextBlock &writing)> &paragraphEnded);
// How write() reads a document, when it is to be written otherwise than it is held: the format each
// run is written with, the paragraphs written as going on from the one before (no break between),
// and the runs (by their format as held) whose line separators are written as paragraph breaks.
struct WriteAs {
    std::function<QTextCharFormat(const QTextCharFormat &)> format;
    std::function<bool(const QTextBlock &)> goesOn;
    std::function<bool(const QTextCharFormat &)> separatorsBreak;
};
// The RTF of the whole document; empty when it would be longer than maxBytes (-1: no bound).
QByteArray write(const QTextDocument &doc, qsizetype maxBytes = -1, const WriteAs &as = {});
// The same bytes handed over a stretch at a time, so that the whole is never held: take gets the bytes
// not yet taken whenever there are stretch or more of them, and the rest at the end (last set), and
// removes from their front what it uses (what it leaves comes again with the next ones). False when
// the RTF would be longer than maxBytes, or stop gave it up (asked before a stretch is handed over):
// take has then had part of it.
bool write(const QTextDocument &doc, qsizetype maxBytes, const WriteAs &as, qsizetype stretch,
           const std::function<void(QByteArray &bytes, bool last)> &take, const std::function<bool()> &stop = {});
// The RTF of a document's characters from..to, as write() writes a document holding them alone (the
// paragraph from is in as the first), written a part at a time while the document may change
// elsewhere between the parts: only its runs' formats and the bytes written so far are held.
class RangeWriter {
public:
    RangeWriter(int from, const WriteAs &as);
    ~RangeWriter();
    // Writes on from at() until to, stopping after at most atMost characters (within a run if need
    // be: the bytes are those of a write in one go); returns how many characters it wrote. at() is -1
    // once to is reached.
    qsizetype write(const QTextDocument &doc, int from, int to, qsizetype atMost);
    int at() const;
    // The characters not written yet moved by by (text before them changed).
    void moved(int by);
    // The RTF, once written whole; the writer is spent.
    QByteArray take();
    // The same RTF handed over in parts instead, so that it is never held whole: drain() takes out
    // the bytes written since it was last called, which follow the tables; once to is reached, head()
    // ends the RTF (its last bytes then come with drain()) and gives what goes before all of them.
    // head() + every drain() in order == take().
    QByteArray drain();
    QByteArray head();

private:
    struct State;
    std::unique_ptr<State> s_;
};
} // namespace RtfCodec
