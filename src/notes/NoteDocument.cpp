#include "notes/NoteDocument.h"

#include "notes/NoteDocumentParts.h"
#include "notes/NoteCodec.h"
#include "notes/PacedLayout.h"
#include "notes/PieceCuts.h"
#include "notes/RtfCodec.h"
#include "ui/Lang.h"
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <QTextLayout>
#include <limits>
#include <memory>
#include <optional>

namespace NoteDocument {

bool isLong(const Note &note) {
    // A few hundred colour emoji take as long to lay out as many thousand letters: a body holding
    // more than kLongEmoji of them is laid out as it is drawn too, not whole at once.
    return note.type == NoteType::text &&
           (note.body.size() > kLongChars || (note.body.size() > kLongEmoji && colourEmoji(note.body) > kLongEmoji));
}

bool continues(const QTextBlock &block) {
    return block.blockFormat().boolProperty(kContinues);
}

namespace {
// Characters the colour emoji font draws (or may draw: a guess too many only makes a piece shorter).
bool isColourEmoji(char32_t u) {
    const bool modifier = u >= 0x1F3FB && u <= 0x1F3FF; // a skin tone joins the emoji before it
    return (u >= 0x1F000 && u <= 0x1FAFF && !modifier) || (u >= 0x2300 && u <= 0x23FF) ||
           (u >= 0x2600 && u <= 0x27BF) || (u >= 0x2B00 && u <= 0x2BFF);
}

// Counts the colour emoji of a text character by character, from a boundary between characters as
// shown: a sequence joined by U+200D is one, and so is a flag, its two halves one picture of the
// colour font (pairing from the start of their run); counted as two, a line of flags was cut into
// twice as many pieces as its pictures called for.
class EmojiCount {
public:
    // Whether u starts a colour emoji.
    bool starts(char32_t u) {
        const bool half = u >= 0x1F1E6 && u <= 0x1F1FF;
        const bool starts = !joined_ && isColourEmoji(u) && !(half && halfOpen_);
        halfOpen_ = half && !halfOpen_;
        joined_ = u == 0x200D;
        return starts;
    }

private:
    bool joined_ = false;   // the character before was U+200D
    bool halfOpen_ = false; // the character before was a flag's first half
};

// The last boundary between characters as shown at or before cut, past start (itself one); -1 when
// there is none in reach.
qsizetype shownBoundary(QStringView line, qsizetype start, qsizetype cut) {
    // The boundaries are found in a window before the cut. It does not begin inside a run of flag
    // halves: they pair from the run's start.
    qsizetype from = std::max(start, cut - 256);
    if (from > start && line[from].isLowSurrogate()) --from;
    while (from > start && isRegionalIndicatorEnd(line, from))
        from -= 2;
    const qsizetype end = std::min(line.size(), cut + 16);
    QTextBoundaryFinder f(QTextBoundaryFinder::Grapheme, line.mid(from, end - from));
    f.setPosition(cut - from);
    if (f.isAtBoundary()) return cut;
    const qsizetype before = f.toPreviousBoundary();
    return before > 0 ? from + before : -1;
}

// A cut between the two halves of a flag moves before the flag. The halves pair from the start of
// their run, whatever comes before it (the boundary finder loses count after an emoji).
qsizetype pairedFlagCut(QStringView line, qsizetype start, qsizetype cut) {
    if (!isRegionalIndicatorAt(line, cut)) return cut;
    qsizetype halves = 0;
    for (qsizetype at = cut; at > start && isRegionalIndicatorEnd(line, at); at -= 2)
        ++halves;
    return halves % 2 && cut - 2 > start ? cut - 2 : cut;
}
} // namespace

int colourEmoji(QStringView text) {
    int n = 0;
    EmojiCount count;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            u = QChar::surrogateToUcs4(text[i], text[i + 1]), ++i;
        n += count.starts(u);
    }
    return n;
}

namespace {
// Where a piece from start that may run up to end is cut: at a space near end when there is one, at
// a boundary between characters as shown.
qsizetype cutBefore(QStringView line, qsizetype start, qsizetype end) {
    // A cut at a space keeps words whole; one is looked for in the last quarter of the piece.
    qsizetype cut = end;
    for (qsizetype i = end; i > end - (end - start) / 4; --i) {
        if (line[i - 1].isSpace()) {
            cut = i;
            break;
        }
    }
    const qsizetype shown = shownBoundary(line, start, cut);
    if (shown > start)
        cut = shown;
    else if (cut - 1 > start && line[cut - 1].isHighSurrogate())
        --cut; // one character of hundreds of marks
    return pairedFlagCut(line, start, cut);
}

// The start of the first character as shown of a piece from start, before end, that takes more than
// one unit and reaches past the piece's first kShapedChars: where the text engine may end a run it
// shapes (see kShapedChars); -1 when there is none.
qsizetype halvedCharacter(QStringView line, qsizetype start, qsizetype end) {
    const qsizetype from = start + kShapedChars;
    // Between two units below U+0300 (letters, digits, punctuation, spaces) nothing is joined.
    qsizetype at = from;
    while (at < end && line[at - 1].unicode() < 0x300 && line[at].unicode() < 0x300)
        ++at;
    if (at >= end) return -1;
    // The boundaries are found from a little before; not from inside a run of flag halves, which
    // pair from the run's start.
    qsizetype window = std::max(start, at - 64);
    if (window > start && line[window].isLowSurrogate()) --window;
    while (window > start && isRegionalIndicatorEnd(line, window))
        window -= 2;
    QTextBoundaryFinder f(QTextBoundaryFinder::Grapheme,
                          line.mid(window, std::min(line.size(), end + 16) - window));
    for (qsizetype before = 0, after = f.toNextBoundary(); after > 0 && window + before < end;
         before = after, after = f.toNextBoundary()) {
        if (after - before >= 2 && window + after > from) return window + before;
    }
    return -1;
}
} // namespace

std::vector<qsizetype> pieceStarts(QStringView line) {
    std::vector<qsizetype> starts;
    qsizetype start = 0;
    for (;;) {
        // The piece ends before its kPieceChars + 1st character or its kPieceEmoji + 1st emoji.
        qsizetype end = start;
        int emoji = 0;
        EmojiCount count;
        while (end < line.size()) {
            char32_t u = line[end].unicode();
            qsizetype n = 1;
            if (QChar::isHighSurrogate(u) && end + 1 < line.size() && line[end + 1].isLowSurrogate())
                u = QChar::surrogateToUcs4(line[end], line[end + 1]), n = 2;
            if (end + n - start > kPieceChars) break;
            if (count.starts(u) && ++emoji > kPieceEmoji) break;
            end += n;
        }
        // Or before a character the text engine would draw in halves.
        if (const qsizetype halved = halvedCharacter(line, start, end); halved > start) end = halved;
        if (end >= line.size()) break;
        const qsizetype cut = cutBefore(line, start, end);
        starts.push_back(cut);
        start = cut;
    }
    return starts;
}

std::vector<qsizetype> shapedCuts(QStringView text) {
    std::vector<qsizetype> cuts;
    for (qsizetype start = 0;;) {
        const qsizetype halved = halvedCharacter(text, start, text.size());
        if (halved <= start) break;
        const qsizetype cut = cutBefore(text, start, halved);
        if (cut <= start) break;
        cuts.push_back(cut);
        start = cut;
    }
    return cuts;
}

// How a document's text reads back (the document's kTextRule property).
enum TextRule {
    raw,     // as it is
    grouped, // short lines share a paragraph, broken by line separators: each one a line break
    rich,    // read from rich text: as the plain text of the editors reads it
};
constexpr const char *kTextRule = "mivoTextRule";

bool groupable(const QString &body) {
    // Characters the document would turn into paragraph breaks, or that grouping uses itself.
    for (const QChar ch : body)
        if (ch == u'\r' || ch == QChar::LineSeparator || ch == QChar::ParagraphSeparator || ch == QChar(0xFDD0) ||
            ch == QChar(0xFDD1))
            return false;
    return true;
}

// The plain text as paragraphs of at most kPieceChars and kPieceEmoji: short lines gathered into
// one of about kGroupChars, broken by line separators (unless group is false); a long line cut into pieces.
// continuing receives the pieces' paragraph numbers. With spill, the text is handed to it about
// kSpillChars at a time as it is made (and what is returned is the rest), so a text of tens of
// megabytes is not held a second time whole on its way into a document.
constexpr qsizetype kSpillChars = 1024 * 1024;
QString groupedText(const QString &body, std::vector<int> &continuing, bool group = true,
                    const std::function<void(QString &)> &spill = {}) {
    QString out;
    out.reserve(spill ? std::min(body.size(), kSpillChars) + kPieceChars
                      : body.size() + body.size() / kPieceChars + 16);
    const auto spillSome = [&] {
        if (spill && out.size() >= kSpillChars) {
            spill(out);
            out.resize(0); // keeps its buffer
        }
    };
    int paragraph = 0;
    qsizetype inParagraph = 0;
    int emojiInParagraph = 0;
    const auto newParagraph = [&] {
        out += QChar::ParagraphSeparator;
        ++paragraph;
        inParagraph = 0;
        emojiInParagraph = 0;
    };
    qsizetype at = 0;
    bool first = true;
    while (at <= body.size()) {
        qsizetype end = body.indexOf(u'\n', at);
        if (end < 0) end = body.size();
        const QStringView line = QStringView(body).mid(at, end - at);
        // A line of fewer characters than kPieceEmoji holds too few emoji to be cut.
        const std::vector<qsizetype> cuts =
            line.size() > kPieceEmoji ? pieceStarts(line) : std::vector<qsizetype>();
        const int emoji = cuts.empty() ? colourEmoji(line) : 0;
        if (!cuts.empty()) {
            if (!first) newParagraph();
            qsizetype from = 0;
            for (const qsizetype cut : cuts) {
                out += line.mid(from, cut - from);
                newParagraph();
                continuing.push_back(paragraph);
                from = cut;
                spillSome();
            }
            out += line.mid(from);
            inParagraph = kGroupChars; // the next line starts a paragraph of its own
        } else if (first) {
            out += line;
            inParagraph = line.size();
            emojiInParagraph = emoji;
        } else if (group && inParagraph + 1 + line.size() <= kGroupChars &&
                   emojiInParagraph + emoji <= kPieceEmoji) {
            out += QChar::LineSeparator;
            out += line;
            inParagraph += 1 + line.size();
            emojiInParagraph += emoji;
        } else {
            newParagraph();
            out += line;
            inParagraph = line.size();
            emojiInParagraph = emoji;
        }
        first = false;
        at = end + 1;
        spillSome();
    }
    return out;
}

// Cuts every paragraph longer than a piece (kPieceChars, kPieceEmoji) into pieces, of those holding
// from..to (to < 0: the end); with emojiOnly, only those holding more emoji than a piece. From the
// last paragraph back, so a cut leaves the positions before it as they are. False when the
// application quits meanwhile.
bool cutLongParagraphs(QTextCursor &c, int from, int to, bool emojiOnly) {
    const QTextDocument *doc = c.document();
    const int first = doc->findBlock(from).blockNumber();
    for (QTextBlock b = to < 0 ? doc->lastBlock() : doc->findBlock(to); b.isValid() && b.blockNumber() >= first;) {
        if (g_quitting) return false;
        const QTextBlock before = b.previous();
        // A piece of a line cut before is cut again only when it holds more emoji than a piece may.
        const QTextBlock after = b.next();
        const bool piece = continues(b) || (after.isValid() && continues(after));
        // Fewer characters hold too few emoji to be cut.
        if (b.length() - 1 > kPieceEmoji &&
            (emojiOnly || piece ? colourEmoji(b.text()) > kPieceEmoji || (!emojiOnly && b.length() - 1 > kPieceChars)
                                : true)) {
            const std::vector<qsizetype> starts = pieceStarts(b.text());
            const int base = b.position();
            QTextBlockFormat piece = b.blockFormat();
            piece.setProperty(kContinues, true);
            for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
                c.setPosition(base + int(*it));
                c.insertBlock(piece, c.charFormat());
            }
        }
        b = before;
    }
    return true;
}

namespace {
// Gathers the short paragraphs of a rich text (see gatherParagraphs) as far as they are whole: run
// again as more of them are made (a reader's), it goes on where it stopped, so the document never
// holds all of them as paragraphs of their own. A paragraph Qt drops keeps its place in the
// document's table of paragraphs, unused: gathered after the whole text was read, the 230 000 short
// paragraphs of a 20 MB note left 14 MB of that table held for nothing; gathered as they come, the
// table is used again for the next ones.
class Gatherer {
public:
    explicit Gatherer(QTextDocument &doc) : doc_(doc), c_(&doc) {}
    // Gathers the paragraphs before writing (all of them when it is not valid). False when the
    // application quits meanwhile.
    bool run(const QTextBlock &writing = {}) {
        const auto whole = [&](const QTextBlock &b) {
            return b.isValid() && (!writing.isValid() || b.position() < writing.position());
        };
        QTextBlock b = head_ < 0 ? doc_.firstBlock() : doc_.findBlock(head_);
        if (!whole(b)) return true;
        if (head_ < 0) open(b);
        c_.beginEditBlock(); // as in build: no paragraph laid out on the way
        bool quit = false;
        for (QTextBlock n = b.next(); whole(n); n = b.next()) {
            if ((quit = g_quitting)) break;
            if (!b.textList() && !n.textList() && n.blockFormat() == b.blockFormat()) {
                const QString text = n.text();
                const int more = colourEmoji(text);
                if (chars_ + 1 + text.size() <= kGroupChars && emoji_ + more <= kPieceEmoji) {
                    // The break between the two, in its own format, becomes a line separator; b
                    // keeps its format.
                    QTextCharFormat mark = n.charFormat();
                    mark.setProperty(kGathered, true);
                    c_.setPosition(n.position() - 1);
                    c_.setPosition(n.position(), QTextCursor::KeepAnchor);
                    c_.insertText(QString(QChar::LineSeparator), mark);
                    chars_ += 1 + text.size();
                    emoji_ += more;
                    // Found again: Qt drops an empty paragraph itself when its break goes, and the
                    // next one takes its place.
                    b = doc_.findBlock(head_);
                    continue;
                }
            }
            b = n;
            open(b);
        }
        c_.endEditBlock();
        return !quit;
    }

private:
    void open(const QTextBlock &b) {
        head_ = b.position();
        chars_ = b.length() - 1;
        emoji_ = colourEmoji(b.text());
    }
    QTextDocument &doc_;
    QTextCursor c_;
    int head_ = -1; // where the paragraph the next ones may join starts
    qsizetype chars_ = 0;
    int emoji_ = 0;
};
} // namespace

// The text and rich text go as soon as the document holds them, so a note handed over whole
// (buildLater) is not held beside the document while it is made. With takesText, a text that has
// rich text goes even before the rich text is read (it is then not needed): when that does not read,
// there is nothing and *unread is set.
QTextDocument *buildFrom(Note &note, const Style &style, bool takesText, bool *unread, QTextDocument *into) {
    std::unique_ptr<QTextDocument> doc(into ? into : new QTextDocument);
    doc->setUndoRedoEnabled(false);
    doc->setDefaultFont(style.font);
    doc->setDocumentMargin(style.margin);
    doc->setProperty(RtfCodec::kSizeScale, style.sizeScale);
    const qsizetype chars = note.body.size();
    if (takesText && note.bodyRTF) note.body = QString();
    // A long rich text's short paragraphs gathered, as a plain text's short lines are: as they are read.
    std::optional<Gatherer> gather;
    if (note.bodyRTF && chars > kLongChars) gather.emplace(*doc);
    bool quitReading = false;
    const bool rich = note.bodyRTF && RtfCodec::read(*note.bodyRTF, doc.get(), [&](const QTextBlock &writing) {
        if (gather && !quitReading) quitReading = !gather->run(writing);
    });
    if (note.bodyRTF && !rich && takesText) {
        if (unread) *unread = true;
        return nullptr;
    }
    note.bodyRTF.reset();
    if (rich) note.body = QString();
    // Few paragraphs, each quick to lay out: a view goes over every paragraph when it is set or
    // resized, so a text of many short lines gathers them.
    std::vector<int> continuing;
    const bool group = !rich && groupable(note.body);
    doc->setProperty(kTextRule, int(rich ? TextRule::rich : group ? TextRule::grouped : TextRule::raw));
    // One edit block for all that follows: a cursor moved outside one lays out its paragraph, and a
    // line of megabytes takes minutes to lay out.
    QTextCursor c(doc.get());
    c.beginEditBlock();
    if (!rich) {
        // Put in a megabyte at a time, so a quit does not wait for the whole; a grouped text as it is
        // made, not held whole beside the note's and the document's.
        bool quit = false;
        const auto put = [&](QString &part) {
            quit = quit || g_quitting;
            if (!quit) c.insertText(part);
        };
        if (group) {
            QString rest = groupedText(note.body, continuing, true, put);
            put(rest);
        } else {
            for (qsizetype at = 0; at < note.body.size() && !quit; at += kSpillChars) {
                QString part = note.body.mid(at, kSpillChars);
                put(part);
            }
        }
        note.body = QString();
        if (quit) return nullptr;
    }
    if (rich && gather && (quitReading || !gather->run())) return nullptr;
    if (!continuing.empty()) {
        QTextBlockFormat piece;
        piece.setProperty(kContinues, true);
        size_t next = 0;
        int n = 0;
        for (QTextBlock b = doc->firstBlock(); b.isValid() && next < continuing.size(); b = b.next(), ++n) {
            if (n != continuing[next]) continue;
            ++next;
            c.setPosition(b.position());
            c.setBlockFormat(piece);
        }
    }
    showTextColour(*doc, style.text, style.links);
    if (style.links.isValid()) {
        // Paragraph by paragraph (a piece of a line included: cuts fall at spaces).
        for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next()) {
            if (g_quitting) return nullptr;
            markLinks(c, b.position(), b.position(), style.links);
        }
    }
    if (!cutLongParagraphs(c)) return nullptr;
    c.setPosition(0);
    c.endEditBlock();
    // Each paragraph's layout object made here, not when a view first lays out the document; it
    // keeps its glyphs once laid out, so drawing it again does not measure them all again. A piece
    // of a line gets its own when it is first laid out (see PacedLayout): one for each of the
    // hundreds of thousands of a 50 MB line held 230 MB, most of them never shown.
    for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
        if (!continues(b)) b.layout()->setCacheEnabled(true);
    if (auto *made = into ? dynamic_cast<PacedLayout *>(doc->documentLayout()) : nullptr)
        made->endFill();
    else
        doc->setDocumentLayout(new PacedLayout(doc.get()));
    doc->setUndoRedoEnabled(true);
    doc->setModified(false);
    return doc.release();
}

QTextDocument *build(const Note &note, const Style &style) {
    Note shared = note; // shares the text: nothing is freed while the caller holds it
    return buildFrom(shared, style);
}

namespace {
// A paste with every break the document would make a paragraph of as a new line; line separators
// too unless the document keeps them as they are.
QString asLines(QString text, bool lineSeparators) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar &ch : text)
        if (ch == u'\r' || ch == QChar::ParagraphSeparator || ch == QChar(0xFDD0) || ch == QChar(0xFDD1) ||
            (lineSeparators && ch == QChar::LineSeparator))
            ch = u'\n';
    return text;
}
} // namespace

QTextCharFormat plainLook(const QTextCharFormat &before) {
    QTextCharFormat chars = unlinked(before);
    chars.clearProperty(kGathered);
    if (chars.isAnchor()) {
        chars.clearProperty(QTextFormat::IsAnchor);
        chars.clearProperty(QTextFormat::AnchorHref);
        chars.clearForeground();
        chars.setFontUnderline(false);
    }
    return chars;
}

int pasteText(QTextDocument &doc, int from, int to, const QString &text) {
    const bool copy = !doc.property(kTextRule).isValid(); // a short editor's, not a long text's
    if (copy) {
        // Read back as the editors' plain text: the line separators that gather short lines are line breaks.
        doc.setProperty(kTextRule, int(TextRule::rich));
        doc.setUndoRedoEnabled(false);
        doc.setPageSize(QSizeF()); // a copy keeps its editor's width; the view sets its own
        // Set before the paste: in an edit block, a plain layout only forgets the paragraphs' lines.
        if (!qobject_cast<QPlainTextDocumentLayout *>(doc.documentLayout()))
            doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
        doc.setUndoRedoEnabled(true);
    }
    // A text read back as it is keeps line separators: lines cannot share a paragraph there.
    const bool raw = doc.property(kTextRule).toInt() == TextRule::raw;
    std::vector<int> continuing;
    const QString paragraphs = groupedText(asLines(text, !raw), continuing, !raw);
    const int last = doc.characterCount() - 1;
    QTextCursor c(&doc);
    c.setPosition(std::clamp(from, 0, last)); // where undo puts the caret
    c.beginEditBlock();
    c.setPosition(std::clamp(to, c.position(), last), QTextCursor::KeepAnchor);
    const int pasteFrom = c.selectionStart();
    removeSelection(c);
    const QTextCharFormat chars = plainLook(c.charFormat());
    const int firstBlock = c.blockNumber();
    constexpr qsizetype kSlice = 1024 * 1024;
    for (qsizetype at = 0; at < paragraphs.size(); at += kSlice) {
        if (g_quitting) return -1;
        c.insertText(QStringView(paragraphs).mid(at, kSlice).toString(), chars);
    }
    const QTextCursor after = c; // follows the cuts made below
    // The paragraphs the paste made took the look of the one it went into: each is a new line unless
    // it is a piece of a pasted line.
    const int made = after.blockNumber() - firstBlock;
    size_t next = 0;
    QTextBlock b = doc.findBlockByNumber(firstBlock).next();
    for (int n = 1; n <= made && b.isValid(); ++n, b = b.next()) {
        const bool piece = next < continuing.size() && continuing[next] == n;
        next += piece;
        if (continues(b) == piece) continue;
        QTextBlockFormat f = b.blockFormat();
        if (piece)
            f.setProperty(kContinues, true);
        else
            f.clearProperty(kContinues);
        c.setPosition(b.position());
        c.setBlockFormat(f);
    }
    // The paste's first and last lines joined the text around them; the text before may hold a long
    // line too. Its addresses are not made links here: a format change per address would make undoing
    // and redoing the paste slow; pasteInto finds them, and they are made links after the paste a few
    // at a time (PastedLinks).
    // The cuts the paste broke are mended first: a paragraph is cut as if a character as shown
    // began at its start.
    mendCuts(c, pasteFrom, after.position(), [] {});
    if (!cutLongParagraphs(c)) return -1;
    c.endEditBlock();
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next())
        if (!continues(b)) b.layout(); // a piece's when it is first laid out (see build)
    // What was there before the paste may itself be unsaved: undoing the paste is no return to the
    // stored text.
    if (copy) doc.setModified(true);
    return after.position();
}

QString loadingText() {
    return L::t({.en = "Loading…", .es = "Cargando…", .de = "Wird geladen…", .fr = "Chargement…", .uk = "Завантаження…", .pl = "Wczytywanie…"});
}

int appendStoredText(QString &out, const QTextDocument &doc, int from, int at, int to, qsizetype atMost) {
    const int rule = doc.property(kTextRule).toInt();
    const qsizetype was = out.size();
    for (QTextBlock b = doc.findBlock(at); b.isValid() && b.position() <= to; b = b.next()) {
        // Stopped only where a paragraph or piece begins: its line break, if any, is added on return.
        if (out.size() - was >= atMost && b.position() > at) return b.position();
        if (b.position() > from && !continues(b)) out += u'\n';
        const int start = std::max(at, b.position());
        const int end = std::min(to, b.position() + b.length() - 1);
        if (end <= start) continue;
        const qsizetype begin = out.size();
        out += QStringView(b.text()).mid(start - b.position(), end - start);
        if (rule == TextRule::raw) continue;
        for (qsizetype i = begin; i < out.size(); ++i) {
            QChar &ch = out[i];
            if (ch == QChar::LineSeparator) ch = u'\n';
            else if (rule == TextRule::rich && ch == QChar::Nbsp) ch = u' ';
        }
    }
    return -1;
}

namespace {
// The text as stored from from to to, made in out; with take, out is handed over whenever it holds
// stretch characters or more, and once more at the end (last set): take removes from its front what
// it uses, and what it leaves stays there.
// With stop, asked at every stretch: once it holds, the rest is not read, nor handed over (false).
bool storedText(QString &out, const QTextDocument &doc, int from, int to, qsizetype stretch,
                const std::function<void(QString &, bool)> &take, const std::function<bool()> &stop = {}) {
    if (to < 0) to = doc.characterCount() - 1;
    for (int at = from; at >= 0;) {
        if (take && out.size() >= stretch) {
            if (stop && stop()) return false;
            take(out, false);
        }
        at = appendStoredText(out, doc, from, at, to,
                              take ? std::max<qsizetype>(1, stretch - out.size())
                                   : std::numeric_limits<qsizetype>::max());
    }
    if (take) take(out, true);
    return true;
}
} // namespace

QString wholeText(const QTextDocument &doc, int from, int to) {
    QString out;
    out.reserve(std::max(0, (to < 0 ? doc.characterCount() - 1 : to) - from));
    storedText(out, doc, from, to, 0, {});
    return out;
}

bool gatherParagraphs(QTextDocument &doc) {
    return Gatherer(doc).run();
}

void joinPieces(QTextDocument &doc) {
    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    QTextCursor c(&doc);
    c.beginEditBlock(); // no paragraph laid out on the way (see build)
    for (QTextBlock b = doc.lastBlock(); b.isValid();) {
        const QTextBlock before = b.previous();
        if (before.isValid() && continues(b)) {
            c.setPosition(b.position());
            c.deletePreviousChar();
        }
        b = before;
    }
    c.endEditBlock();
    doc.setUndoRedoEnabled(undo);
}

namespace {
// Whether a run's line separators stand for paragraph breaks of the rich text (see gatherParagraphs).
bool gatheredBreaks(const QTextCharFormat &held) {
    return held.hasProperty(kGathered);
}
} // namespace

QString richCopy(const QTextDocument &doc, int from, int to) {
    QTextDocument copy;
    copy.setUndoRedoEnabled(false);
    QTextCursor into(&copy);
    // In one edit block: each run put in on its own laid its paragraph out again to place the cursor
    // after it, which made a copy of a few thousand runs cost tens of milliseconds.
    into.beginEditBlock();
    // A selection that ends where a paragraph begins holds the break before it, as its text does:
    // that paragraph is one of the copy's, empty.
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        QTextBlockFormat line = b.blockFormat();
        line.clearProperty(kContinues);
        if (b.position() > from && !continues(b))
            into.insertBlock(line, QTextCharFormat());
        else if (b.position() == from)
            into.setBlockFormat(line);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const int s = std::max(from, f.position()), e = std::min(to, f.position() + f.length());
            if (s < e) into.insertText(f.text().mid(s - f.position(), e - s), storedFormat(f.charFormat()));
        }
    }
    into.endEditBlock();
    return QTextDocumentFragment(&copy).toHtml(); // as a part: no look of the document as a whole
}

RtfCodec::WriteAs storedWriteAs() {
    return {storedFormat, continues, gatheredBreaks};
}

Saved readText(const QTextDocument &doc, qsizetype maxRtfBytes) {
    Saved s;
    s.body = wholeText(doc);
    // Written as the document would be with the links and colour the view gave it taken out and its
    // pieces joined, without changing it: no edit of every run on the way (tens of megabytes of
    // formats for a long note).
    s.rtf = RtfCodec::write(doc, maxRtfBytes, {storedFormat, continues, gatheredBreaks});
    // Rich text the reader would refuse is not stored, and the text without it is not either (see storeInto).
    s.richUnwritten = s.rtf.isEmpty();
    return s;
}

namespace {
// encodeSaved() into out; with spooler, all but its last stretch goes there as it is made. False when
// stop held (out then holds a part).
bool encodeInto(QByteArray &out, SpooledBytes::Spooler *spooler, const QTextDocument &doc, const Note &fields,
                QString *preview, bool *richUnwritten, const std::function<bool()> &stop) {
    // Stretches of about this many characters or bytes: a few pages, against tens of megabytes whole.
    constexpr qsizetype kStretch = 64 * 1024;
    bool gaveUp = false;
    NoteCodec::TextParts parts;
    parts.body = [&](QByteArray &into) {
        QString text;
        text.reserve(kStretch + kPieceChars + 1);
        // The first stretch handed over holds the preview whole (or is the last), so what a stretch
        // leaves for the next one never comes into it twice.
        static_assert(kStretch > kPreviewChars);
        gaveUp = !storedText(
            text, doc, 0, -1, kStretch,
            [&](QString &t, bool last) {
                if (preview && preview->size() < kPreviewChars)
                    *preview += QStringView(t).first(std::min(t.size(), kPreviewChars - preview->size()));
                NoteCodec::appendBodyChars(into, t, last);
                if (spooler) spooler->spill(into);
            },
            stop);
        if (preview) *preview = NoteHead::previewOf(*preview);
    };
    parts.richText = [&](QByteArray &into) {
        // As readText() writes it, rich text the reader would refuse included.
        if (gaveUp) return false;
        const bool written = RtfCodec::write(
            doc, RtfCodec::kMaxBytes, {storedFormat, continues, gatheredBreaks}, kStretch,
            [&](QByteArray &bytes, bool last) {
                NoteCodec::appendBase64Stretch(into, bytes, last);
                if (spooler) spooler->spill(into);
            },
            [&] { return gaveUp = stop && stop(); });
        if (!written && !gaveUp && richUnwritten) *richUnwritten = true;
        return written;
    };
    NoteCodec::encodeNote(out, fields, parts);
    return !gaveUp;
}
} // namespace

QByteArray encodeSaved(const QTextDocument &doc, const Note &fields, QString *preview, bool *richUnwritten,
                       const std::function<bool()> &stop, bool *stopped) {
    QByteArray out;
    const bool whole = encodeInto(out, nullptr, doc, fields, preview, richUnwritten, stop);
    if (stopped) *stopped = !whole;
    if (!whole) return {};
    return out;
}

SpooledBytes encodeSpooled(const QTextDocument &doc, const Note &fields, const QByteArray &beside,
                           qint64 spoolFrom, QString *preview, bool *richUnwritten,
                           const std::function<bool()> &stop, bool *stopped) {
    {
        SpooledBytes::Spooler spooler(beside, spoolFrom);
        QByteArray out;
        QString seen;
        bool unwritten = false;
        const bool whole =
            encodeInto(out, &spooler, doc, fields, preview ? &seen : nullptr, &unwritten, stop);
        if (stopped) *stopped = !whole;
        if (!whole) return {};
        // Rich text refused after some went to the file: what encodeNote() takes back of it lies
        // there; made again in memory below.
        if (!(unwritten && spooler.spilled())) {
            if (auto spooled = spooler.finish(std::move(out))) {
                if (preview) *preview = std::move(seen);
                if (richUnwritten && unwritten) *richUnwritten = true;
                return std::move(*spooled);
            }
        }
    }
    // The file could not be written: the bytes are made again, in memory.
    if (preview) preview->clear();
    return encodeSaved(doc, fields, preview, richUnwritten, stop, stopped);
}
} // namespace NoteDocument
