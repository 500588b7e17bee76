#include "notes/LongNoteText.h"

#include "notes/FormatBar.h"
#include "notes/HtmlText.h"
#include "notes/NoteCodec.h"
#include "notes/PacedLayout.h"
#include "notes/PieceCuts.h"
#include "notes/RichTextView.h"
#include "notes/RtfCodec.h"
#include "platform/Background.h"
#include "platform/StoreLoader.h"
#include "ui/Lang.h"
#include "ui/WebLinks.h"
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <QTextLayout>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>

namespace LongNote {

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
    bool joined = false; // the character before was U+200D
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            u = QChar::surrogateToUcs4(text[i], text[i + 1]), ++i;
        if (!joined && isColourEmoji(u)) ++n;
        joined = u == 0x200D;
    }
    return n;
}

std::vector<qsizetype> pieceStarts(QStringView line) {
    std::vector<qsizetype> starts;
    qsizetype start = 0;
    for (;;) {
        // The piece ends before its kPieceChars + 1st character or its kPieceEmoji + 1st emoji.
        qsizetype end = start;
        int emoji = 0;
        bool joined = false;
        while (end < line.size()) {
            char32_t u = line[end].unicode();
            qsizetype n = 1;
            if (QChar::isHighSurrogate(u) && end + 1 < line.size() && line[end + 1].isLowSurrogate())
                u = QChar::surrogateToUcs4(line[end], line[end + 1]), n = 2;
            if (end + n - start > kPieceChars) break;
            if (!joined && isColourEmoji(u) && ++emoji > kPieceEmoji) break;
            joined = u == 0x200D;
            end += n;
        }
        if (end >= line.size()) break;
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
        cut = pairedFlagCut(line, start, cut);
        starts.push_back(cut);
        start = cut;
    }
    return starts;
}

namespace {
// Set as the application quits: a document still being built is of no use any more, and the
// process does not wait for it.
std::atomic<bool> g_quitting{false};

void watchQuit() {
    static const bool hooked = [] {
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { g_quitting = true; });
        return true;
    }();
    (void)hooked;
}
} // namespace

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
bool cutLongParagraphs(QTextCursor &c, int from = 0, int to = -1, bool emojiOnly = false) {
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
// The runs of equal format from..to, as (start, end, format).
struct FormatRun {
    int start, end;
    QTextCharFormat fmt;
};
std::vector<FormatRun> formatRuns(const QTextDocument &doc, int from, int to) {
    std::vector<FormatRun> runs;
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() < to; b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const int s = std::max(from, f.position()), e = std::min(to, f.position() + f.length());
            if (s < e) runs.push_back({s, e, f.charFormat()});
        }
    return runs;
}
} // namespace

QTextCharFormat unlinked(QTextCharFormat f) {
    if (!f.boolProperty(RichTextView::kAutoLinkProperty)) return f;
    f.clearProperty(QTextFormat::IsAnchor);
    f.clearProperty(QTextFormat::AnchorHref);
    f.clearProperty(RichTextView::kAutoLinkProperty);
    if (f.hasProperty(kLinkWasUnderline))
        f.setProperty(QTextFormat::TextUnderlineStyle, f.property(kLinkWasUnderline));
    else
        f.clearProperty(QTextFormat::TextUnderlineStyle);
    if (f.hasProperty(kLinkWasColour))
        f.setForeground(f.brushProperty(kLinkWasColour));
    else
        f.clearForeground();
    f.clearProperty(kLinkWasUnderline);
    f.clearProperty(kLinkWasColour);
    return f;
}

void markLink(QTextCursor &c, int start, int end, const QString &href, const QColor &colour) {
    for (const FormatRun &r : formatRuns(*c.document(), start, end)) {
        QTextCharFormat f = r.fmt;
        if (f.hasProperty(QTextFormat::TextUnderlineStyle))
            f.setProperty(kLinkWasUnderline, f.property(QTextFormat::TextUnderlineStyle));
        if (f.hasProperty(QTextFormat::ForegroundBrush))
            f.setProperty(kLinkWasColour, f.foreground());
        f.setAnchor(true);
        f.setAnchorHref(href);
        f.setProperty(RichTextView::kAutoLinkProperty, true);
        f.setForeground(colour);
        f.setFontUnderline(true);
        c.setPosition(r.start);
        c.setPosition(r.end, QTextCursor::KeepAnchor);
        c.setCharFormat(f);
    }
}

void markLinks(QTextCursor &c, int from, int to, const QColor &colour) {
    const QTextDocument &doc = *c.document();
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        const int base = b.position();
        for (const WebLinks::Match &m : WebLinks::find(b.text())) {
            const auto runs = formatRuns(doc, base + m.start, base + m.start + m.length);
            // A link put in on purpose keeps its text as it is.
            if (std::any_of(runs.begin(), runs.end(), [](const FormatRun &r) { return r.fmt.isAnchor(); }))
                continue;
            markLink(c, base + m.start, base + m.start + m.length, m.url.toString(QUrl::FullyEncoded), colour);
        }
    }
}

std::vector<FoundLink> findLinks(const QTextDocument &doc, int from, int to) {
    std::vector<FoundLink> out;
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        if (g_quitting) break;
        const QString text = b.text();
        for (const WebLinks::Match &m : WebLinks::find(text))
            out.push_back({b.position() + m.start, m.length, text.mid(m.start, m.length), m.url.toString(QUrl::FullyEncoded)});
    }
    return out;
}

namespace {
bool ownLink(const QTextCharFormat &f) {
    return f.isAnchor() && !f.boolProperty(RichTextView::kAutoLinkProperty);
}

// Whether the detected links of b differ from what its addresses ask for (see markLinks).
bool linksStale(const QTextDocument &doc, const QTextBlock &b, const QList<WebLinks::Match> &matches) {
    const int base = b.position();
    const std::vector<FormatRun> runs = formatRuns(doc, base, base + b.length() - 1);
    std::vector<QString> want(size_t(std::max(0, b.length())));
    for (const WebLinks::Match &m : matches) {
        const int s = base + m.start, e = s + m.length;
        if (std::any_of(runs.begin(), runs.end(),
                        [&](const FormatRun &r) { return r.start < e && r.end > s && ownLink(r.fmt); }))
            continue;
        std::fill(want.begin() + m.start, want.begin() + m.start + m.length,
                  m.url.toString(QUrl::FullyEncoded));
    }
    for (const FormatRun &r : runs) {
        if (ownLink(r.fmt)) continue;
        const QString has =
            r.fmt.boolProperty(RichTextView::kAutoLinkProperty) ? r.fmt.anchorHref() : QString();
        for (int i = r.start; i < r.end; ++i)
            if (want[size_t(i - base)] != has) return true;
    }
    return false;
}
} // namespace

bool relinkEdited(QTextDocument &doc, int from, int to, const QColor &colour) {
    QTextCursor c(&doc);
    bool editing = false;
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        if (!linksStale(doc, b, WebLinks::find(b.text()))) continue;
        if (!editing) c.joinPreviousEditBlock(), editing = true; // the link belongs to the keystroke
        // Found again from the text as it is, each detected link first given its own look back.
        const int base = b.position();
        for (const FormatRun &r : formatRuns(doc, base, base + b.length() - 1)) {
            if (!r.fmt.boolProperty(RichTextView::kAutoLinkProperty)) continue;
            c.setPosition(r.start);
            c.setPosition(r.end, QTextCursor::KeepAnchor);
            c.setCharFormat(unlinked(r.fmt));
        }
        markLinks(c, base, base, colour);
    }
    if (editing) c.endEditBlock();
    return editing;
}

bool linkAddresses(QTextDocument &doc, const QColor &linkColour, const QColor &textColour) {
    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    QTextCursor c(&doc);
    // One edit block: no paragraph is laid out on the way (see build).
    c.beginEditBlock();
    QTextCharFormat base;
    base.setForeground(textColour);
    base.setProperty(kShownColour, true);
    c.select(QTextCursor::Document);
    c.setCharFormat(base);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setForeground(linkColour);
    link.setFontUnderline(true);
    bool whole = true;
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next()) {
        if (g_quitting) {
            whole = false;
            break;
        }
        QTextBlockFormat plain;
        if (continues(b)) plain.setProperty(kContinues, true);
        if (b.blockFormat() != plain) {
            c.setPosition(b.position());
            c.setBlockFormat(plain);
        }
        for (const WebLinks::Match &m : WebLinks::find(b.text())) {
            link.setAnchorHref(m.url.toString(QUrl::FullyEncoded));
            c.setPosition(b.position() + m.start);
            c.setPosition(b.position() + m.start + m.length, QTextCursor::KeepAnchor);
            c.setCharFormat(link);
        }
    }
    c.endEditBlock();
    doc.setUndoRedoEnabled(undo);
    return whole;
}

void showTextColour(QTextDocument &doc, const QColor &colour, const QColor &links) {
    QTextCharFormat fg;
    fg.setForeground(colour);
    fg.setProperty(kShownColour, true);
    QTextCharFormat linkFg = fg;
    if (links.isValid()) linkFg.setForeground(links);
    QTextCursor c(&doc);
    const std::vector<FormatRun> runs = formatRuns(doc, 0, doc.characterCount());
    const auto coloured = [](const FormatRun &r) { return r.fmt.hasProperty(QTextFormat::ForegroundBrush); };
    const auto link = [](const FormatRun &r) { return r.fmt.isAnchor(); };
    const bool whole = std::none_of(runs.begin(), runs.end(), coloured);
    if (whole) {
        c.select(QTextCursor::Document);
        c.mergeCharFormat(fg);
    }
    for (const FormatRun &r : runs) {
        if (link(r) && links.isValid()) {
            // A link is drawn in the links' colour whatever colour it has; its own is kept for the save.
            QTextCharFormat own = linkFg;
            if (coloured(r) && !r.fmt.boolProperty(kShownColour))
                own.setProperty(kLinkOwnColour, r.fmt.foreground());
            c.setPosition(r.start);
            c.setPosition(r.end, QTextCursor::KeepAnchor);
            c.mergeCharFormat(own);
            continue;
        }
        if (coloured(r) || whole) continue;
        c.setPosition(r.start);
        c.setPosition(r.end, QTextCursor::KeepAnchor);
        c.mergeCharFormat(fg);
    }
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

// The text and rich text go as soon as the document holds them, so a note handed over whole
// (buildLater) is not held beside the document while it is made. With takesText, a text that has
// rich text goes even before the rich text is read (it is then not needed): when that does not read,
// there is nothing and *unread is set.
QTextDocument *buildFrom(Note &note, const Style &style, bool takesText = false, bool *unread = nullptr) {
    auto doc = std::make_unique<QTextDocument>();
    doc->setUndoRedoEnabled(false);
    doc->setDefaultFont(style.font);
    doc->setDocumentMargin(style.margin);
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
    // keeps its glyphs once laid out, so drawing it again does not measure them all again.
    for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
        b.layout()->setCacheEnabled(true);
    doc->setDocumentLayout(new PacedLayout(doc.get()));
    doc->setUndoRedoEnabled(true);
    doc->setModified(false);
    return doc.release();
}
} // namespace

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

// The look a plain paste takes from the text before it: all of it but its link.
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
} // namespace

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
    for (QTextBlock b = doc.firstBlock(); b.isValid(); b = b.next()) b.layout();
    // What was there before the paste may itself be unsaved: undoing the paste is no return to the
    // stored text.
    if (copy) doc.setModified(true);
    return after.position();
}

void discard(QTextDocument *doc) {
    if (!doc) return;
    if (doc->characterCount() <= kLongChars) {
        doc->deleteLater();
        return;
    }
    doc->setParent(nullptr);
    doc->moveToThread(nullptr); // pulled by the worker
    Background::detached([doc] {
        doc->moveToThread(QThread::currentThread());
        delete doc;
        // The heap keeps what a worker freed (each worker has an arena of its own): the megabytes
        // of the document go back to the system, not only to the allocator.
        StoreLoader::trimHeapLater();
    });
}

QString loadingText() {
    return L::t({.en = "Loading…", .es = "Cargando…", .de = "Wird geladen…", .fr = "Chargement…", .uk = "Завантаження…", .pl = "Wczytywanie…"});
}

namespace {
// The text as stored from from to to, made in out; with take, out is handed over whenever it holds
// stretch characters or more, and once more at the end (last set): take removes from its front what
// it uses, and what it leaves stays there.
void storedText(QString &out, const QTextDocument &doc, int from, int to, qsizetype stretch,
                const std::function<void(QString &, bool)> &take) {
    if (to < 0) to = doc.characterCount() - 1;
    const int rule = doc.property(kTextRule).toInt();
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        if (take && out.size() >= stretch) take(out, false);
        if (b.position() > from && !continues(b)) out += u'\n';
        const int start = std::max(from, b.position());
        const int end = std::min(to, b.position() + b.length() - 1);
        if (end <= start) continue;
        const qsizetype was = out.size();
        out += QStringView(b.text()).mid(start - b.position(), end - start);
        if (rule == TextRule::raw) continue;
        for (qsizetype i = was; i < out.size(); ++i) {
            QChar &ch = out[i];
            if (ch == QChar::LineSeparator) ch = u'\n';
            else if (rule == TextRule::rich && ch == QChar::Nbsp) ch = u' ';
        }
    }
    if (take) take(out, true);
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
// A document made or edited on a worker, on its way to the receiver's thread. It belongs to no thread
// meanwhile: the receiver's thread takes it, and one no receiver takes any more is freed where it is
// dropped, on a worker.
struct Handed {
    std::unique_ptr<QTextDocument> doc;
    int caret = -1;
    bool unread = false;
};

std::unique_ptr<QTextDocument> pull(QTextDocument *doc) {
    doc->moveToThread(QThread::currentThread());
    return std::unique_ptr<QTextDocument>(doc);
}

std::unique_ptr<QTextDocument> let(std::unique_ptr<QTextDocument> doc) {
    if (doc) doc->moveToThread(nullptr);
    return doc;
}

// Quitting stops them (g_quitting) and waits for them to end: a document must not be laid out once
// the application is gone.
Background::Options working(const char *what) {
    return {QString::fromLatin1(what), Background::AtQuit::end, {}};
}

void startBuild(Note &&note, bool takesText, const Style &style, QObject *receiver,
                std::function<void(QTextDocument *)> done) {
    watchQuit();
    Background::run<Handed>(
        receiver,
        [note = std::move(note), takesText, style]() mutable {
            // Its own copy, let go of as the document is made (see buildFrom).
            Note own = std::move(note);
            const bool large = own.body.size() > kLongChars;
            Handed h;
            h.doc.reset(g_quitting ? nullptr : buildFrom(own, style, takesText, &h.unread));
            // Reading the rich text and cutting the lines left as much again freed in this worker's
            // arena.
            if (large) StoreLoader::trimHeapLater();
            h.doc = let(std::move(h.doc));
            return h;
        },
        [done = std::move(done)](Handed h) {
            if (h.unread)
                done(nullptr);
            else if (h.doc)
                done(pull(h.doc.release()).release());
        },
        working("a note's document being built"));
}
} // namespace

void buildLater(const Note &note, const Style &style, QObject *receiver, std::function<void(QTextDocument *)> done) {
    startBuild(Note(note), false, style, receiver, std::move(done));
}

void buildLater(Note &&note, const Style &style, QObject *receiver, std::function<void(QTextDocument *)> done) {
    startBuild(std::move(note), true, style, receiver, std::move(done));
}

void pasteInto(QTextDocument *doc, int from, int to, const QString &text, QObject *receiver,
               std::function<void(QTextDocument *, int, std::vector<FoundLink>)> done) {
    // Written by the worker before it hands the document back, read after.
    auto links = std::make_shared<std::vector<FoundLink>>();
    editLater(
        doc,
        [from, to, text, links](QTextDocument &d) {
            const int caret = pasteText(d, from, to, text);
            if (caret >= 0) *links = findLinks(d, std::min(from, caret), caret);
            return caret;
        },
        receiver, [links, done = std::move(done)](QTextDocument *d, int caret) { done(d, caret, std::move(*links)); });
}

void editLater(QTextDocument *doc, std::function<int(QTextDocument &)> edit, QObject *receiver,
               std::function<void(QTextDocument *, int)> done) {
    watchQuit();
    doc->setParent(nullptr);
    doc->moveToThread(nullptr); // pulled by the worker
    Background::run<Handed>(
        receiver,
        [doc, edit = std::move(edit)] {
            Handed h;
            h.doc = pull(doc);
            h.caret = g_quitting ? -1 : edit(*h.doc);
            if (h.caret < 0) h.doc.reset();
            h.doc = let(std::move(h.doc));
            return h;
        },
        [done = std::move(done)](Handed h) {
            if (h.doc) done(pull(h.doc.release()).release(), h.caret);
        },
        working("a note's document being edited"));
}

namespace {

// Whether a run's line separators stand for paragraph breaks of the rich text (see gatherParagraphs).
bool gatheredBreaks(const QTextCharFormat &held) {
    return held.hasProperty(kGathered);
}

} // namespace

QTextCharFormat storedFormat(const QTextCharFormat &shown) {
    QTextCharFormat f = unlinked(shown);
    if (f.boolProperty(kShownColour)) {
        f.clearForeground();
        f.clearProperty(kShownColour);
        if (f.isAnchor() && f.hasProperty(kLinkOwnColour)) f.setForeground(f.brushProperty(kLinkOwnColour));
    }
    f.clearProperty(kLinkOwnColour);
    return f;
}

namespace {
// Quitting hands these back before the database is closed (settleSaves): the page stores the text
// only once it comes back.
void startRead(QTextDocument *doc, QObject *receiver, std::function<void(Saved &, QTextDocument *)> done,
               bool keep, std::optional<Note> fields = std::nullopt) {
    struct Read {
        Saved saved;
        std::unique_ptr<QTextDocument> doc; // when kept
    };
    doc->setParent(nullptr);
    doc->moveToThread(nullptr); // pulled by the worker
    Background::run<Read>(
        receiver,
        [doc, keep, fields = std::move(fields)] {
            Read r;
            std::unique_ptr<QTextDocument> own = pull(doc);
            if (fields)
                r.saved.record = encodeSaved(*own, *fields, &r.saved.preview, &r.saved.richUnwritten);
            else
                r.saved = readText(*own);
            if (keep) r.doc = let(std::move(own));
            return r;
        },
        [done = std::move(done)](Read r) {
            std::unique_ptr<QTextDocument> kept = r.doc ? pull(r.doc.release()) : nullptr;
            done(r.saved, kept.release());
        },
        {QStringLiteral("a long note's save"), Background::AtQuit::handBack, {}});
}
} // namespace

QString richCopy(const QTextDocument &doc, int from, int to) {
    QTextDocument copy;
    copy.setUndoRedoEnabled(false);
    QTextCursor into(&copy);
    for (QTextBlock b = doc.findBlock(from); b.isValid() && b.position() < to; b = b.next()) {
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
    return QTextDocumentFragment(&copy).toHtml(); // as a part: no look of the document as a whole
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

QByteArray encodeSaved(const QTextDocument &doc, const Note &fields, QString *preview, bool *richUnwritten) {
    // Stretches of about this many characters or bytes: a few pages, against tens of megabytes whole.
    constexpr qsizetype kStretch = 64 * 1024;
    QByteArray out;
    NoteCodec::TextParts parts;
    parts.body = [&](QByteArray &into) {
        QString text;
        text.reserve(kStretch + kPieceChars + 1);
        // The first stretch handed over holds the preview whole (or is the last), so what a stretch
        // leaves for the next one never comes into it twice.
        static_assert(kStretch > kPreviewChars);
        storedText(text, doc, 0, -1, kStretch, [&](QString &t, bool last) {
            if (preview && preview->size() < kPreviewChars)
                *preview += QStringView(t).first(std::min(t.size(), kPreviewChars - preview->size()));
            NoteCodec::appendBodyChars(into, t, last);
        });
    };
    parts.richText = [&](QByteArray &into) {
        // As readText() writes it, rich text the reader would refuse included.
        const bool written = RtfCodec::write(
            doc, RtfCodec::kMaxBytes, {storedFormat, continues, gatheredBreaks}, kStretch,
            [&](QByteArray &bytes, bool last) { NoteCodec::appendBase64Stretch(into, bytes, last); });
        if (!written && richUnwritten) *richUnwritten = true;
        return written;
    };
    NoteCodec::encodeNote(out, fields, parts);
    return out;
}

void readLater(QTextDocument *doc, QObject *receiver, std::function<void(const Saved &)> done) {
    startRead(doc, receiver, [done = std::move(done)](Saved &s, QTextDocument *) { done(s); }, false);
}

void readKeeping(QTextDocument *doc, const Note &fields, QObject *receiver,
                 std::function<void(Saved &, QTextDocument *)> done) {
    startRead(doc, receiver, std::move(done), true, fields);
}

bool settleSaves(const Deadline &deadline) {
    return Background::finishAll(deadline, Background::AtQuit::handBack).isEmpty();
}
} // namespace LongNote

// ---- the view ----

LongTextView::LongTextView(QWidget *parent) : QPlainTextEdit(parent) {
    setUndoRedoEnabled(true);
    viewport()->setMouseTracking(true);
    FloatingFormatBar::attach(this, [this](int code) { applyFmt(code); });
    // The caret's blink asks where the caret is, which the view finds by going over the paragraphs
    // from the top of the screen to it: while the view is still making its way to a caret put far
    // away (Ctrl+End), that laid out two screenfuls of long pieces at once (30 ms).
    for (QObject *o : children())
        if (o->inherits("QWidgetTextControl")) o->installEventFilter(this);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] { countSharedRowsOnce(); });
}

LongTextView::~LongTextView() {
    settleCopies(0, std::numeric_limits<int>::max());
}

bool LongTextView::eventFilter(QObject *watched, QEvent *e) {
    if (e->type() == QEvent::Timer && watched->inherits("QWidgetTextControl")) {
        const LongNote::PacedLayout::Pacing pacing(document(), this);
        watched->event(e);
        return true;
    }
    return QPlainTextEdit::eventFilter(watched, e);
}

void LongTextView::setDocument(QTextDocument *doc) {
    // Marks (a find's) are cursors of the document they were made in: the view keeps them across a
    // new document, and the next marks set made it measure the old ones again, in a document maybe
    // gone by then (a crash). They go with their document, while it is still there to say where
    // they were.
    if (doc != document() && !extraSelections().isEmpty()) {
        const LongNote::PacedLayout::Pacing marksGo(document(), this);
        setExtraSelections({});
    }
    // The document may go to a worker or away: nothing copied stays standing on it.
    if (doc != document()) settleCopies(0, std::numeric_limits<int>::max());
    const LongNote::PacedLayout::Pacing pacing(doc, this);
    placeNow();
    tellLineWidth(doc);
    QPlainTextEdit::setDocument(doc);
    // After the view's own sizing of its range (connected before this), which may leave it as it
    // was (none) and tell nothing.
    if (QAbstractTextDocumentLayout *layout = doc ? doc->documentLayout() : nullptr)
        connect(layout, &QAbstractTextDocumentLayout::documentSizeChanged, this, &LongTextView::countSharedRowsOnce,
                Qt::UniqueConnection);
    if (doc)
        connect(doc, &QTextDocument::undoCommandAdded, this, &LongTextView::newStep, Qt::UniqueConnection);
}

// The view gives the paragraphs its viewport's width (when it wraps there): told before it lays
// anything out at that width.
void LongTextView::tellLineWidth(QTextDocument *doc) {
    if (auto *paced = doc ? dynamic_cast<LongNote::PacedLayout *>(doc->documentLayout()) : nullptr)
        paced->setLineWidth(lineWrapMode() == WidgetWidth ? viewport()->width() - 2 * doc->documentMargin() : 0);
}

void LongTextView::paintEvent(QPaintEvent *e) {
    {
        const LongNote::PacedLayout::Pacing pacing(document(), this, true);
        QPlainTextEdit::paintEvent(e);
        drawRowsGoneOn(e->rect());
    }
    auto *paced = dynamic_cast<LongNote::PacedLayout *>(document()->documentLayout());
    // A view laid out whole has no range of its own once every paragraph has its height; one guessed
    // while its range was sized (a turn spent before the screen was drawn) is laid out and the range
    // sized again, even where drawing put nothing off.
    if (!paced || !laysOutEveryParagraph()) return;
    if (paced->puttingOff() || paced->guessedHeights()) {
        layOutRestLater();
    } else if (paced->takeReshaped()) {
        // Pieces laid out again since the range was sized: sized again on the lines they have now
        // (every paragraph is laid out, so nothing more is).
        emit paced->documentSizeChanged(paced->documentSize());
    }
}

// A view resized while hidden learns its size when shown: told now (the view places its viewport,
// whose size it lays the text out at), so the document is laid out at the width it is drawn at, and
// once.
void LongTextView::placeNow() {
    for (QWidget *w : {static_cast<QWidget *>(this), viewport()}) {
        if (!w->testAttribute(Qt::WA_PendingResizeEvent)) continue;
        QResizeEvent placed(w->size(), QSize());
        w->setAttribute(Qt::WA_PendingResizeEvent, false);
        QCoreApplication::sendEvent(w, &placed);
    }
}

bool LongTextView::layOutWithinTurn() {
    placeNow();
    auto *paced = dynamic_cast<LongNote::PacedLayout *>(document()->documentLayout());
    if (!paced) return true;
    {
        // At least one paragraph, whatever it costs, as when drawing.
        const LongNote::PacedLayout::Pacing pacing(document(), this, true);
        for (QTextBlock b = document()->firstBlock(); b.isValid(); b = b.next()) {
            if (b.layout() && b.layout()->lineCount() > 0) continue;
            paced->blockBoundingRect(b);
            if (b.layout() && b.layout()->lineCount() == 0) return false; // put off to the next turn
        }
    }
    // Heights guessed for paragraphs put off meanwhile sized the range: sized again on the real ones.
    paced->rangeFitted();
    emit paced->documentSizeChanged(paced->documentSize());
    return true;
}

int LongTextView::wholeHeight() {
    placeNow();
    // The paragraphs' own layouts measured, the lines the view then draws: a short note was laid out
    // twice, once apart for its card's height and again here, and the lines measured apart could
    // come out shorter than the ones drawn.
    QTextDocument *doc = document();
    QAbstractTextDocumentLayout *layout = doc->documentLayout();
    // The view scrolls unless its paragraphs (the last one with the margin below it) fit what it
    // shows less the margin above and the pixel it keeps free below the last line.
    qreal h = doc->documentMargin();
    for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
        h += layout->blockBoundingRect(b).height();
    return int(std::ceil(h)) + 1;
}

// A view that scrolls counts a paragraph not laid out as one row: the range of one showing a note
// long only for its emoji (a few thousand characters) stopped at half the text until the reader
// had drawn every piece. Such a note, like one laid out whole, has every paragraph laid out over the
// next turns; a long text is not, its range growing as it is read.
bool LongTextView::laysOutEveryParagraph() const {
    return verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff || document()->characterCount() <= LongNote::kLongChars;
}

void LongTextView::layOutRestLater() {
    if (restQueued_) return;
    restQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        restQueued_ = false;
        auto *paced = dynamic_cast<LongNote::PacedLayout *>(document()->documentLayout());
        if (!paced || !laysOutEveryParagraph()) return;
        {
            // At least one paragraph per turn, whatever it costs (a piece of emoji may take longer than the
            // turn has), as when drawing.
            const LongNote::PacedLayout::Pacing pacing(document(), this, true);
            for (QTextBlock b = document()->firstBlock(); b.isValid(); b = b.next()) {
                if (b.layout() && b.layout()->lineCount() > 0) continue;
                paced->blockBoundingRect(b);
                if (paced->puttingOff()) {
                    layOutRestLater();
                    return;
                }
            }
        }
        // Every paragraph has its real height now: the view sizes its range again.
        paced->rangeFitted();
        emit paced->documentSizeChanged(paced->documentSize());
    });
}

// Qt draws a paragraph only when the area to draw reaches into its own rows; the first line of a
// piece that goes on along the row before it (see PacedLayout) is drawn here when the area holds
// only that row (the caret blinking there, a selection made along it).
void LongTextView::drawRowsGoneOn(const QRect &area) {
    const QAbstractTextDocumentLayout::PaintContext context = getPaintContext();
    std::optional<QPainter> painter;
    QPointF offset = contentOffset();
    for (QTextBlock b = firstVisibleBlock(); b.isValid() && offset.y() <= viewport()->height(); b = b.next()) {
        const QRectF r = blockBoundingRect(b).translated(offset);
        QTextLayout *tl = b.layout();
        const bool drawn = r.bottom() >= area.top() && r.top() <= area.bottom();
        if (!drawn && b.isVisible() && LongNote::continues(b) && tl && tl->lineCount() > 0 &&
            tl->lineAt(0).y() < 0 && tl->lineAt(0).rect().translated(offset).intersects(area)) {
            QList<QTextLayout::FormatRange> selections;
            for (const QAbstractTextDocumentLayout::Selection &sel : context.selections) {
                const int from = std::max(sel.cursor.selectionStart(), b.position()) - b.position();
                const int to = std::min(sel.cursor.selectionEnd(), b.position() + b.length() - 1) - b.position();
                if (from < to) selections.push_back({from, to - from, sel.format});
            }
            if (!painter) painter.emplace(viewport());
            tl->draw(&*painter, offset, selections, area);
            const int caret = context.cursorPosition - b.position();
            if (caret >= 0 && caret < b.length()) tl->drawCursor(&*painter, offset, caret, cursorWidth());
        }
        offset.ry() += r.height();
    }
}

void LongTextView::wheelEvent(QWheelEvent *e) {
    // Laid out whole, without a scroll bar: the page around it scrolls.
    if (verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff && !(e->modifiers() & Qt::ControlModifier)) {
        e->ignore();
        return;
    }
    QPlainTextEdit::wheelEvent(e);
}

void LongTextView::scrollContentsBy(int dx, int dy) {
    // The view finds its new top by going over every paragraph between the old one and it: a jump
    // across a long note lays out only what the turn has time for, and draws again when the rest is.
    const LongNote::PacedLayout::Pacing pacing(document(), this);
    QPlainTextEdit::scrollContentsBy(dx, dy);
}

void LongTextView::placeCaret(const QTextCursor &c) {
    {
        const LongNote::PacedLayout::Pacing pacing(document(), this);
        setTextCursor(c);
    }
    keepCaretInView(c.position());
}

// The caret is shown or hidden: the view measures its place by going over the paragraphs from the
// top of the screen to it, which need not all be laid out at once (in a long note's editor just
// built, or left for the find field, that took 35-70 ms).
void LongTextView::focusInEvent(QFocusEvent *e) {
    const LongNote::PacedLayout::Pacing pacing(document(), this);
    QPlainTextEdit::focusInEvent(e);
}

void LongTextView::focusOutEvent(QFocusEvent *e) {
    const LongNote::PacedLayout::Pacing pacing(document(), this);
    QPlainTextEdit::focusOutEvent(e);
}

void LongTextView::keepCaretInView(int caret, int turns) {
    const auto *layout = dynamic_cast<const LongNote::PacedLayout *>(document()->documentLayout());
    if (!layout || !layout->puttingOff() || turns <= 0) return;
    QTimer::singleShot(0, this, [this, caret, turns] {
        // The user moved on meanwhile: the caret is where they put it.
        if (textCursor().position() != caret) return;
        {
            const LongNote::PacedLayout::Pacing pacing(document(), this);
            ensureCursorVisible();
        }
        keepCaretInView(caret, turns - 1);
    });
}

void LongTextView::resizeEvent(QResizeEvent *e) {
    const LongNote::PacedLayout::Pacing pacing(document(), this);
    tellLineWidth(document());
    // Qt lays every paragraph out again when the width seems to change. A view placed while hidden
    // (the detail built again around it, as when the find bar is shown) is told its size on show
    // with no old size: when the lines shown are as wide as they were, laying out the screenful
    // again (10-20 ms for a long note) is skipped.
    // The width is judged by a row of its own: the first line of a piece of a line may go on along
    // the row before it, as wide as what was left there (a place kept in the middle of a line of
    // emoji, after a save, laid the whole line out again twice).
    if (e->oldSize().width() != e->size().width() && lineWrapMode() == WidgetWidth) {
        const qreal margin = document()->documentMargin();
        std::optional<qreal> wide;
        int looked = 0;
        for (QTextBlock b = firstVisibleBlock(); b.isValid() && !wide && looked < 8; b = b.next(), ++looked) {
            const QTextLayout *tl = b.layout();
            for (int i = 0; tl && i < tl->lineCount() && !wide; ++i)
                if (const QTextLine line = tl->lineAt(i); line.x() == margin) wide = line.width();
        }
        if (wide && *wide + 2 * margin == qreal(viewport()->width())) {
            QResizeEvent same(e->size(), QSize(e->size().width(), e->oldSize().height()));
            QPlainTextEdit::resizeEvent(&same);
            return;
        }
    }
    QPlainTextEdit::resizeEvent(e);
}

void LongTextView::showEvent(QShowEvent *e) {
    const LongNote::PacedLayout::Pacing pacing(document(), this);
    QPlainTextEdit::showEvent(e);
}

void LongTextView::userEdit(const std::function<void()> &edit, bool typing, bool pasting) {
    int from = -1, to = -1;
    QTextDocument *doc = document();
    // A paste is laid out once, its paragraphs already cut into pieces: put into a piece of a line
    // of emoji as it was, it made a paragraph of hundreds of emoji that was laid out at once (and
    // again at every key typed in it). Nothing in the edit may ask where the caret is meanwhile.
    QTextCursor whole(doc);
    const int charsBefore = doc->characterCount();
    // Undo puts the caret where the cursor that began its step was.
    whole.setPosition(textCursor().selectionStart());
    if (pasting) whole.beginEditBlock();
    // A selection across a paragraph's start that is taken out joins the paragraph it ends in to the
    // text before the selection: the joined one is a piece or a new line as the first one was.
    const QTextCursor sel = textCursor();
    const QTextBlock first = doc->findBlock(sel.selectionStart());
    const bool acrossStart = sel.hasSelection() && first.position() == sel.selectionStart() &&
                             sel.selectionEnd() >= first.position() + first.length();
    const int selStart = sel.selectionStart(), selEnd = sel.selectionEnd();
    const bool firstContinues = LongNote::continues(first);
    const auto conn = connect(doc, &QTextDocument::contentsChange, this, [&from, &to](int pos, int, int added) {
        from = from < 0 ? pos : std::min(from, pos);
        to = std::max(to, pos + added);
    });
    // An edit that may change the links shown is a step of its own, which the links made for it join,
    // so that undo takes both back together. Typing far from any address keeps running into one step.
    const QString shown = first.text();
    const bool ownStep = autoLinks_.isValid() &&
                         (!typing || sel.hasSelection() || shown.contains(QLatin1String("://")) ||
                          shown.contains(QLatin1String("www."), Qt::CaseInsensitive));
    QTextCursor step(doc);
    if (ownStep) step.beginEditBlock();
    edit();
    if (ownStep) step.endEditBlock(); // the change is reported here
    disconnect(conn);
    // Inside the paste's block the change is reported only at its end: the selection replaced by
    // what the count of characters grew by.
    const auto pastedEnd = [&] { return selEnd + doc->characterCount() - charsBefore; };
    if (pasting) {
        const bool changed = selEnd != selStart || doc->characterCount() != charsBefore;
        from = changed ? selStart : -1;
        to = changed ? pastedEnd() : -1;
    }
    if (from < 0) {
        if (pasting) whole.endEditBlock();
        return;
    }
    // A paragraph that begins inside what was just put in was typed or pasted: a new line.
    QTextCursor c(doc);
    bool editing = false;
    if (const QTextBlock joined = doc->findBlock(selStart);
        acrossStart && joined.position() == selStart && LongNote::continues(joined) != firstContinues) {
        c.joinPreviousEditBlock(), editing = true;
        QTextBlockFormat f = joined.blockFormat();
        if (firstContinues)
            f.setProperty(LongNote::kContinues, true);
        else
            f.clearProperty(LongNote::kContinues);
        c.setPosition(joined.position());
        c.setBlockFormat(f);
    }
    for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        if (b.position() <= from || !LongNote::continues(b)) continue;
        if (!editing) c.joinPreviousEditBlock(), editing = true;
        QTextBlockFormat f = b.blockFormat();
        f.clearProperty(LongNote::kContinues);
        c.setPosition(b.position());
        c.setBlockFormat(f);
    }
    // What was typed or pasted is no gathered paragraph break, whatever it took its look from.
    for (const LongNote::FormatRun &r : LongNote::formatRuns(*doc, from, to)) {
        if (!r.fmt.hasProperty(LongNote::kGathered)) continue;
        if (!editing) c.joinPreviousEditBlock(), editing = true;
        QTextCharFormat f = r.fmt;
        f.clearProperty(LongNote::kGathered);
        c.setPosition(r.start);
        c.setPosition(r.end, QTextCursor::KeepAnchor);
        c.setCharFormat(f);
    }
    LongNote::mendCuts(c, from, to, [&] {
        if (!editing) c.joinPreviousEditBlock(), editing = true;
    });
    if (editing) c.endEditBlock();
    if (pasting) {
        // A paste of words a little past a piece's length lays out in about the same time: its
        // paragraphs are cut only for their emoji, so the find bar's marks after it stay as they are.
        LongNote::cutLongParagraphs(whole, from, to, true);
        to = pastedEnd(); // past the cuts
        whole.endEditBlock();
        // The view finds the caret by going over the paragraphs from the top of the screen to it:
        // those the cuts made are laid out over the next turns, as after Ctrl+End.
        QTextCursor caret(doc);
        caret.setPosition(to);
        placeCaret(caret);
    }
    linkEdited(from, to);
    if (ownStep) {
        // The view placed the caret before the text was laid out.
        const LongNote::PacedLayout::Pacing pacing(document(), this);
        ensureCursorVisible();
    }
}

void LongTextView::linkEdited(int from, int to) {
    if (autoLinks_.isValid()) LongNote::relinkEdited(*document(), from, to, autoLinks_);
}

void LongTextView::keyPressEvent(QKeyEvent *e) {
    const auto mods = e->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (mods == Qt::ControlModifier && !isReadOnly()) {
        switch (e->key()) {
        case Qt::Key_B: applyFmt(0); e->accept(); return;
        case Qt::Key_I: applyFmt(1); e->accept(); return;
        case Qt::Key_U: applyFmt(2); e->accept(); return;
        default: break;
        }
    }
    if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && e->key() == Qt::Key_V && !isReadOnly()) {
        pastePlain();
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::Paste) && !isReadOnly()) {
        // Not through the key's own handling, which places the view on the caret at once when done,
        // going over (and laying out) every piece the paste was cut into: the paste places it paced.
        paste();
        e->accept();
        return;
    }
    if (isReadOnly() &&
        (e->matches(QKeySequence::MoveToStartOfDocument) || e->matches(QKeySequence::MoveToEndOfDocument))) {
        // A reader has no caret to move: the view goes to the top or the end.
        verticalScrollBar()->triggerAction(e->matches(QKeySequence::MoveToEndOfDocument)
                                               ? QAbstractSlider::SliderToMaximum
                                               : QAbstractSlider::SliderToMinimum);
        e->accept();
        return;
    }
    const bool toEnd = e->matches(QKeySequence::MoveToEndOfLine) || e->matches(QKeySequence::SelectEndOfLine);
    if (toEnd || e->matches(QKeySequence::MoveToStartOfLine) || e->matches(QKeySequence::SelectStartOfLine)) {
        QPlainTextEdit::keyPressEvent(e);
        if (textInteractionFlags() & Qt::TextSelectableByKeyboard)
            toRowEdge(toEnd, e->matches(QKeySequence::SelectEndOfLine) || e->matches(QKeySequence::SelectStartOfLine));
        return;
    }
    if (isReadOnly()) {
        QPlainTextEdit::keyPressEvent(e);
        return;
    }
    if (e->matches(QKeySequence::Undo) || e->matches(QKeySequence::Redo)) {
        undoRedo(e->matches(QKeySequence::Redo));
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::Cut)) {
        cut();
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::MoveToEndOfDocument) || e->matches(QKeySequence::SelectEndOfDocument) ||
        e->matches(QKeySequence::MoveToStartOfDocument) || e->matches(QKeySequence::SelectStartOfDocument)) {
        // The caret's paragraph is laid out at once; those the view goes over to place it, as the
        // turn has time (a screenful of long pieces took 60 ms). The view places it again on the
        // next turns, until they are laid out.
        {
            const LongNote::PacedLayout::Pacing pacing(document(), this);
            QPlainTextEdit::keyPressEvent(e);
        }
        keepCaretInView(textCursor().position());
        return;
    }
    const QString typed = e->text();
    const bool edits = (!typed.isEmpty() && typed.front().isPrint() && !(mods & Qt::ControlModifier)) ||
                       e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete ||
                       e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Tab ||
                       e->matches(QKeySequence::DeleteEndOfLine) ||
                       e->matches(QKeySequence::DeleteCompleteLine);
    // A long removal is made on a worker, the copies standing on the text made there first.
    if (mods == Qt::NoModifier && (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete) &&
        removeLater()) {
        e->accept();
        return;
    }
    if (edits) settleCopiesAroundSelection();
    QTextCursor c = textCursor();
    if (!c.hasSelection() && mods == Qt::NoModifier && (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete)) {
        // The cut between two pieces is no character: the one beyond it goes.
        const bool back = e->key() == Qt::Key_Backspace;
        bool crossed = false;
        if (back) {
            while (c.atBlockStart() && LongNote::continues(c.block())) c.movePosition(QTextCursor::PreviousCharacter), crossed = true;
        } else {
            while (c.atBlockEnd() && LongNote::continues(c.block().next())) c.movePosition(QTextCursor::NextCharacter), crossed = true;
        }
        if (crossed) {
            if (back ? !c.atStart() : !c.atEnd()) back ? c.deletePreviousChar() : c.deleteChar();
            bool mending = false;
            QTextCursor mend(document());
            LongNote::mendCuts(mend, c.position(), c.position(),
                               [&] { mend.joinPreviousEditBlock(), mending = true; });
            if (mending) mend.endEditBlock();
            setTextCursor(c);
            e->accept();
            return;
        }
    }
    if (caretOnScreen()) {
        userEdit([this, e] { QPlainTextEdit::keyPressEvent(e); }, true);
        return;
    }
    // A key typed with the caret off the screen (the reader scrolled away, or a find showed another
    // place) takes the view back to it over every paragraph between: those are laid out as the turn
    // has time, as after Ctrl+End (two screens of long pieces took 50 ms at once).
    userEdit(
        [this, e] {
            const LongNote::PacedLayout::Pacing pacing(document(), this);
            QPlainTextEdit::keyPressEvent(e);
        },
        true);
    keepCaretInView(textCursor().position());
}

bool LongTextView::caretOnScreen() const {
    const QTextBlock caret = textCursor().block();
    QTextBlock b = firstVisibleBlock();
    if (!b.isValid() || caret.blockNumber() < b.blockNumber()) return false;
    // Measured by the layouts themselves: asking the view would lay out what it goes over.
    qreal y = contentOffset().y();
    for (; b.isValid() && y < viewport()->height(); b = b.next()) {
        const QTextLayout *tl = b.layout();
        if (!tl || tl->lineCount() == 0) return false;
        if (b == caret) return true;
        y += tl->boundingRect().bottom(); // as the view counts: a piece's row shared with the one before is that one's
    }
    return false;
}

// Qt takes End and Home to the ends of the caret's line in its paragraph; a row that a piece goes
// on along (see PacedLayout) holds the ends of two paragraphs, and the keys go to the row's ends.
void LongTextView::toRowEdge(bool end, bool select) {
    const auto onRow = [](const QTextBlock &piece) {
        const QTextLayout *tl = piece.isValid() && LongNote::continues(piece) ? piece.layout() : nullptr;
        return tl && tl->lineCount() > 0 && tl->lineAt(0).y() < 0;
    };
    const auto mode = select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    QTextCursor c = textCursor();
    const int was = c.position();
    if (end) {
        while (c.atBlockEnd() && onRow(c.block().next())) {
            c.setPosition(c.block().next().position(), mode);
            c.movePosition(QTextCursor::EndOfLine, mode);
        }
    } else {
        while (c.atBlockStart() && onRow(c.block())) {
            c.setPosition(c.position() - 1, mode);
            c.movePosition(QTextCursor::StartOfLine, mode);
        }
    }
    if (c.position() != was) setTextCursor(c);
}

void LongTextView::inputMethodEvent(QInputMethodEvent *e) {
    if (!e->commitString().isEmpty() || e->replacementLength() > 0) settleCopiesAroundSelection();
    userEdit([this, e] { QPlainTextEdit::inputMethodEvent(e); }, true);
}

void LongTextView::insertFromMimeData(const QMimeData *source) {
    if (!isReadOnly()) settleCopiesAroundSelection(source);
    QString text = source && source->hasText() ? source->text() : QString();
    if (!isReadOnly() && source && source->hasHtml()) {
        // The bound is on what a rich paste takes in, the HTML's own text: a clipboard may offer
        // far more of it than plain text, or none. Past it, the paste goes in as plain text.
        const QString html = source->html();
        QString shown = HtmlText::plainText(html);
        if (shown.size() <= LongNote::kPieceChars) {
            userEdit([this, &html] { insertRich(html); }, false, true);
            return;
        }
        if (text.isEmpty()) text = std::move(shown);
    }
    if (isReadOnly()) return;
    if (text.size() <= LongNote::kPieceChars) {
        // As a plain text editor pastes (in the look of the caret's text), but without placing the
        // view on the caret before the paste is cut into pieces.
        userEdit(
            [this, &text] {
                if (text.isEmpty()) return;
                QTextCursor c = textCursor();
                c.insertText(text);
            },
            false, true);
        return;
    }
    QTextCursor c = textCursor();
    if (onLongPaste && text.size() > LongNote::kPasteLaterChars) {
        const auto take = onLongPaste; // a copy: the handler may replace this view's document
        take(text, c.selectionStart(), c.selectionEnd());
        return;
    }
    // A long paste goes in as plain text, its long lines in pieces like those of an opened note: a
    // line of megabytes in one paragraph would take minutes to lay out. A carriage return would make
    // a paragraph of its own: a line ended the Windows way is one line.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    c.beginEditBlock();
    LongNote::removeSelection(c);
    const int pastedFrom = c.position();
    const QTextCharFormat chars = c.charFormat();
    QTextBlockFormat line = c.blockFormat(), piece = line;
    line.clearProperty(LongNote::kContinues);
    piece.setProperty(LongNote::kContinues, true);
    qsizetype at = 0;
    while (at <= text.size()) {
        qsizetype end = text.indexOf(u'\n', at);
        if (end < 0) end = text.size();
        const QString one = text.mid(at, end - at);
        qsizetype from = 0;
        for (const qsizetype cut : LongNote::pieceStarts(one)) {
            c.insertText(one.mid(from, cut - from), chars);
            c.insertBlock(piece, chars);
            from = cut;
        }
        c.insertText(one.mid(from), chars);
        if (end < text.size()) c.insertBlock(line, chars);
        at = end + 1;
    }
    QTextCursor mend(document());
    LongNote::mendCuts(mend, pastedFrom, c.position(), [] {});
    c.endEditBlock();
    setTextCursor(c);
    linkEdited(pastedFrom, c.position());
}

void LongTextView::pastePlain() {
    if (isReadOnly()) return;
    QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty()) return;
    settleCopiesAroundSelection();
    if (text.size() > LongNote::kPieceChars) {
        // A long paste goes in as plain text anyway, its long lines in pieces.
        QMimeData plain;
        plain.setText(text);
        insertFromMimeData(&plain);
        return;
    }
    // A line ended the Windows way is one line, not a line and an empty one.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    userEdit(
        [this, &text] {
            QTextCursor c = textCursor();
            c.removeSelectedText();
            c.insertText(text, LongNote::plainLook(c.charFormat()));
        },
        false, true);
}

// A rich paste keeps its characters' formats, without highlights (as the rich editors do); its
// paragraphs become lines. Tables, lists and pictures the text view could not lay out become their
// text.
void LongTextView::insertRich(const QString &html) {
    QTextDocument pasted;
    pasted.setDefaultFont(document()->defaultFont());
    pasted.setHtml(html);
    QTextCursor c = textCursor();
    c.beginEditBlock();
    c.removeSelectedText();
    for (QTextBlock b = pasted.firstBlock(); b.isValid(); b = b.next()) {
        if (b != pasted.firstBlock()) c.insertBlock();
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            QString t = f.text();
            t.remove(QChar::ObjectReplacementCharacter);
            t.replace(QChar::LineSeparator, QChar::ParagraphSeparator);
            if (t.isEmpty()) continue;
            QTextCharFormat fmt = f.charFormat();
            fmt.clearBackground();
            fmt.clearProperty(QTextFormat::ObjectType);
            // Each run at the size it is shown in, in pixels as the note stores sizes: a heading's
            // size relative to the text, or one in points, would be stored as no size at all (and
            // another editor shows a run without one at its own default).
            fmt.clearProperty(QTextFormat::FontSizeAdjustment);
            fmt.clearProperty(QTextFormat::FontPointSize);
            fmt.setProperty(QTextFormat::FontPixelSize, RtfCodec::shownPixels(f.charFormat().font()));
            // A link the page gave no colour of its own gets the palette's from Qt: not the text's,
            // so not stored; it is shown in the links' colour, as the note shown again shows it.
            if (fmt.isAnchor() && fmt.foreground() == QGuiApplication::palette().link()) {
                fmt.clearForeground();
                if (autoLinks_.isValid()) {
                    fmt.setForeground(autoLinks_);
                    fmt.setProperty(LongNote::kShownColour, true);
                }
            }
            c.insertText(t, fmt);
        }
    }
    c.endEditBlock();
}

void LongTextView::applyFmt(int code) {
    QTextCursor sel = textCursor();
    if (!sel.hasSelection() || isReadOnly()) return;
    const int from = sel.selectionStart(), to = sel.selectionEnd();
    const bool offerAgain = settleCopies(from, to);
    applyFormatCode(document(), from, to, code);
    sel.setPosition(from);
    sel.setPosition(to, QTextCursor::KeepAnchor);
    setTextCursor(sel);
    // The selection is still there, in its new looks.
    if (offerAgain)
        QGuiApplication::clipboard()->setMimeData(createMimeDataFromSelection(), QClipboard::Selection);
}

// Qt finds the paragraph whose row a point is on by the rows the paragraphs begin; on a row that a
// piece goes on along (see PacedLayout) it finds the paragraph before the piece, and gives the end of
// its text for every point past it. The piece's character there instead; -1 anywhere else.
int LongTextView::pieceAt(const QPointF &pos) const {
    const QTextCursor found = cursorForPosition(pos.toPoint());
    QTextBlock b = found.block();
    if (found.position() != b.position() + b.length() - 1) return -1;
    QPointF offset = blockBoundingGeometry(b).translated(contentOffset()).topLeft();
    for (QTextBlock next = b.next(); next.isValid() && LongNote::continues(next); b = next, next = next.next()) {
        offset.ry() += blockBoundingRect(b).height();
        const QTextLayout *tl = next.layout();
        if (!tl || tl->lineCount() == 0 || tl->lineAt(0).y() >= 0) return -1;
        const QTextLine first = tl->lineAt(0);
        const QRectF row = first.rect().translated(offset);
        if (pos.y() < row.top() || pos.y() >= row.bottom() || pos.x() < row.left()) return -1;
        // A piece all on the row may have the next one go on after it.
        if (tl->lineCount() > 1 || pos.x() < row.left() + first.naturalTextWidth())
            return next.position() + first.xToCursor(pos.x() - offset.x());
    }
    return -1;
}

QString LongTextView::linkAt(const QPointF &pos) const {
    const int at = pieceAt(pos);
    if (at < 0) return anchorAt(pos.toPoint());
    QTextCursor c(document());
    c.setPosition(at + 1);
    return c.charFormat().anchorHref();
}

// The caret goes where a point on a row a piece goes on along is (see pieceAt).
void LongTextView::placeAtPiece(const QPointF &pos, bool extend) {
    const int at = pieceAt(pos);
    if (at < 0) return;
    QTextCursor c = textCursor();
    c.setPosition(at, extend ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    setTextCursor(c);
}

void LongTextView::mousePressEvent(QMouseEvent *e) {
    pressPos_ = e->position();
    pressedLink_ = isReadOnly() && e->button() == Qt::LeftButton ? linkAt(e->position()) : QString();
    QPlainTextEdit::mousePressEvent(e);
    if (e->button() == Qt::LeftButton) placeAtPiece(e->position(), e->modifiers() & Qt::ShiftModifier);
}

void LongTextView::mouseMoveEvent(QMouseEvent *e) {
    QPlainTextEdit::mouseMoveEvent(e);
    if (e->buttons() & Qt::LeftButton) placeAtPiece(e->position(), true);
    // A view that links addresses as they are typed shows its links as links while editing too.
    const bool pointing = isReadOnly() || autoLinks_.isValid();
    if (e->buttons() == Qt::NoButton)
        viewport()->setCursor(pointing && !linkAt(e->position()).isEmpty() ? Qt::PointingHandCursor
                                                                                       : Qt::IBeamCursor);
}

void LongTextView::mouseReleaseEvent(QMouseEvent *e) {
    QPlainTextEdit::mouseReleaseEvent(e);
    const QString link = std::exchange(pressedLink_, QString());
    if (link.isEmpty() || textCursor().hasSelection() || (e->position() - pressPos_).manhattanLength() > 4) return;
    if (linkAt(e->position()) != link) return;
    if (const auto url = WebLinks::fromLinkValue(link)) WebLinks::open(*url);
}
