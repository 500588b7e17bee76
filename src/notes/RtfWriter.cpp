#include "notes/RtfCodec.h"

#include <QColor>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextOption>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <functional>
#include <vector>

// The writer half of the RTF codec. Formatting is written as the words that change from one run to
// the next, so the output depends only on the text and its formats: reading it back and writing
// again gives the same bytes.

namespace {
struct RunAttrs {
    int font = 0;  // index in the font table; 0 = none given
    int size = 0;  // half-points; 0 = none given
    int color = 0; // index in the colour table; 0 = none given
    bool bold = false, italic = false, underline = false, strike = false;
    bool operator==(const RunAttrs &) const = default;
};

// Windows-1252 bytes 0x80..0x9F; the rest of 0xA0..0xFF is Latin-1.
constexpr char16_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                      0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

int cp1252Byte(char16_t ch) {
    if (ch >= 0xA0 && ch <= 0xFF) return ch;
    if (ch < 0x152 || ch > 0x2122) return -1; // outside the table (most of what is looked up: emoji)
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == ch && ch != 0xFFFD) return 0x80 + i;
    return -1;
}

// The most bytes a character is written as ("\\u-32768?").
constexpr qsizetype kMostBytesPerChar = 9;

void appendEscaped(QByteArray &out, QStringView s, bool fontName = false) {
    static const char hex[] = "0123456789abcdef";
    // Written in place, a character at a time, into room made for the most s can take (within what
    // the writer reserved, no growth): a line of emoji is millions of \\uN words, and each append
    // of its own cost more than the word.
    const qsizetype was = out.size();
    out.resize(was + s.size() * kMostBytesPerChar);
    char *const begin = out.data();
    char *p = begin + was;
    const auto put = [&p](const char *word, size_t n) {
        std::memcpy(p, word, n);
        p += n;
    };
    for (QChar qc : s) {
        const char16_t ch = qc.unicode();
        if (ch == '\\' || ch == '{' || ch == '}') {
            *p++ = '\\';
            *p++ = char(ch);
        } else if (ch == '\t') {
            put("\\tab ", 5);
        } else if (ch == QChar::LineSeparator) {
            put("\\line ", 6);
        } else if (ch == ';' && fontName) {
            continue; // ends a font table entry
        } else if (ch < 0x20 || ch == QChar::ObjectReplacementCharacter || ch == QChar::ParagraphSeparator) {
            continue;
        } else if (ch < 0x7F) {
            *p++ = char(ch);
        } else if (const int b = cp1252Byte(ch); b >= 0) {
            *p++ = '\\';
            *p++ = '\'';
            *p++ = hex[b >> 4];
            *p++ = hex[b & 0xF];
        } else {
            *p++ = '\\';
            *p++ = 'u';
            p = std::to_chars(p, p + 6, int(qint16(ch))).ptr;
            *p++ = '?';
        }
    }
    out.resize(p - begin);
}

// The fewest bytes appendEscaped() writes for s, known before anything is written.
qsizetype leastEscaped(QStringView s) {
    qsizetype n = 0;
    for (QChar qc : s) {
        const char16_t ch = qc.unicode();
        if (ch == QChar::ObjectReplacementCharacter || ch == QChar::ParagraphSeparator) continue; // left out
        if (ch >= 0x7F)
            n += 4; // \'hh or \uN?
        else if (ch >= 0x20 || ch == '\t')
            n += 1;
    }
    return n;
}

QString familyOf(const QTextCharFormat &f) {
    const QVariant fams = f.fontFamilies();
    if (fams.isValid()) {
        const QStringList l = fams.toStringList();
        if (!l.isEmpty() && !l.first().isEmpty()) return l.first();
    }
    return f.stringProperty(QTextFormat::FontFamily);
}

// The size a run is written with, from f; held is the run's format as the document holds it, whose
// font has a size relative to the document's (a heading's) worked out; scale is how much larger the
// document shows its sizes than they are stored.
int halfPoints(const QTextCharFormat &f, const QTextCharFormat &held, double scale) {
    int px = 0;
    if (f.hasProperty(QTextFormat::FontPixelSize)) {
        px = f.intProperty(QTextFormat::FontPixelSize);
    } else if (f.hasProperty(QTextFormat::FontPointSize)) {
        px = qRound(f.doubleProperty(QTextFormat::FontPointSize));
    } else if (f.intProperty(QTextFormat::FontSizeAdjustment) != 0) {
        px = RtfCodec::shownPixels(held.font());
    }
    if (px > 0) px = std::max(1, qRound(px / scale));
    return px > 0 ? std::min(px, 1000) * 2 : 0;
}

// Paragraph indents and tab stops, in twips.
struct ParaAttrs {
    int left = 0, first = 0;
    std::vector<std::pair<QTextOption::TabType, int>> tabs;
    bool operator==(const ParaAttrs &) const = default;
};

ParaAttrs paraAttrs(const QTextBlockFormat &bf) {
    ParaAttrs p;
    p.left = qRound(bf.leftMargin() * 20);
    p.first = qRound(bf.textIndent() * 20);
    for (const QTextOption::Tab &t : bf.tabPositions())
        p.tabs.emplace_back(t.type, qRound(t.position * 20));
    return p;
}

void appendPara(QByteArray &out, const ParaAttrs &p) {
    out += "\\pard";
    if (p.left) out += "\\li" + QByteArray::number(p.left);
    if (p.first) out += "\\fi" + QByteArray::number(p.first);
    for (const auto &[type, pos] : p.tabs) {
        if (type == QTextOption::RightTab) out += "\\tqr";
        if (type == QTextOption::CenterTab) out += "\\tqc";
        if (type == QTextOption::DelimiterTab) out += "\\tqdec";
        out += "\\tx" + QByteArray::number(pos);
    }
    out += ' ';
}

// The words that take a reader from the run before (was) to this one: only what changes, so a note
// of many runs in one font and size does not name them again at each.
// A font or size that goes has no word of its own to take it back: "\\plain" then clears all, and
// what this run has is named again.
void appendChange(QByteArray &out, const RunAttrs &was, const RunAttrs &now) {
    RunAttrs from = was;
    if ((was.font && !now.font) || (was.size && !now.size)) {
        out += "\\plain";
        from = RunAttrs{};
    }
    if (now.font != from.font) out += "\\f" + QByteArray::number(now.font);
    if (now.size != from.size) out += "\\fs" + QByteArray::number(now.size);
    if (now.bold != from.bold) out += now.bold ? "\\b" : "\\b0";
    if (now.italic != from.italic) out += now.italic ? "\\i" : "\\i0";
    if (now.underline != from.underline) out += now.underline ? "\\ul" : "\\ulnone";
    if (now.strike != from.strike) out += now.strike ? "\\strike" : "\\strike0";
    if (now.color != from.color) out += "\\cf" + QByteArray::number(now.color);
    out += ' ';
}
} // namespace

namespace {
// Bounds of the words around a run's text (a field's opening and its close, the changes of look) and
// of a paragraph's (its break and indents, and each tab stop's).
constexpr qsizetype kRunWordsBytes = 256;
constexpr qsizetype kParagraphBytes = 64;
constexpr qsizetype kTabBytes = 32;

// The writing of runs and paragraphs, with the tables of the fonts and colours they use (in order of
// first use) and the formatting in force between them.
struct Body {
    Body(QByteArray &o, const RtfCodec::WriteAs &a, double sc = 1.0) : out(o), as(a), scale(sc) {}
    QByteArray &out;
    const RtfCodec::WriteAs &as;
    double scale = 1.0;
    QStringList fonts;        // font table entries from \f1 on, in order of first use
    std::vector<QRgb> colors; // colour table entries from \cf1 on
    RunAttrs cur;
    ParaAttrs curPara, para;
    QString openHref;
    RunAttrs beforeField;
    bool lastEmpty = false; // the last paragraph had no text
    int paragraphs = 0;

    // Makes room for n bytes more before they are written. QByteArray's appends grow a full buffer
    // by copying it into a new one, both held meanwhile: the RTF of a note of megabytes was copied
    // whole at each growth, in one go (on the window's thread for a copy written a slice per turn).
    // Reserved, it grows where it lies (the allocator moves a large block's pages, not its bytes).
    void room(qsizetype n) {
        const qsizetype need = out.size() + n;
        if (need > out.capacity()) out.reserve(std::max(need, out.size() * 2));
    }

    int fontIndex(const QTextCharFormat &f) {
        const QString fam = familyOf(f);
        if (fam.isEmpty()) return 0;
        qsizetype idx = fonts.indexOf(fam);
        if (idx < 0) {
            fonts << fam;
            idx = fonts.size() - 1;
        }
        return int(idx) + 1;
    }
    int colorIndex(const QTextCharFormat &f) {
        if (f.foreground().style() == Qt::NoBrush) return 0;
        const QRgb rgb = f.foreground().color().rgb() & 0xFFFFFF;
        auto cit = std::find(colors.begin(), colors.end(), rgb);
        if (cit == colors.end()) {
            colors.push_back(rgb);
            cit = colors.end() - 1;
        }
        return int(cit - colors.begin()) + 1;
    }
    void header(QByteArray &to) const {
        to += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl{\\f0\\fnil Helvetica;}";
        for (qsizetype i = 0; i < fonts.size(); ++i) {
            to += "{\\f" + QByteArray::number(i + 1) + "\\fnil ";
            appendEscaped(to, fonts.at(i), true);
            to += ";}";
        }
        to += "}\n{\\colortbl;";
        for (QRgb c : colors)
            to += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) +
                  "\\blue" + QByteArray::number(qBlue(c)) + ';';
        to += "}\n";
    }
    // A field ends with its paragraph, and the formatting of its groups with it.
    void closeField() {
        if (openHref.isEmpty()) return;
        out += "}}";
        cur = beforeField;
        openHref.clear();
    }
    void newParagraph(const QTextBlock &b) {
        para = paraAttrs(b.blockFormat());
        newParagraph();
    }
    void newParagraph() {
        room(kParagraphBytes + qsizetype(para.tabs.size()) * kTabBytes);
        closeField();
        if (paragraphs++) out += "\\par\n";
        lastEmpty = true;
        // Paragraph words only where they change: a document without indents or tab stops has none.
        if (para != curPara) {
            appendPara(out, para);
            curPara = para;
        }
    }
    void run(const QTextCharFormat &f, const QTextCharFormat &held, QStringView text) {
        if (text.isEmpty()) return;
        const QString href = f.isAnchor() ? f.anchorHref() : QString();
        room((text.size() + href.size() * 3) * kMostBytesPerChar + kRunWordsBytes);
        lastEmpty = false;
        RunAttrs attrs;
        attrs.font = fontIndex(f);
        attrs.size = halfPoints(f, held, scale);
        attrs.color = colorIndex(f);
        attrs.bold = f.fontWeight() >= QFont::Bold;
        attrs.italic = f.fontItalic();
        // The underline the reader gives a link the file did not underline is not the text's own.
        attrs.underline = f.fontUnderline() && !(f.isAnchor() && f.boolProperty(RtfCodec::kLinkUnderline));
        attrs.strike = f.fontStrikeOut();
        if (href != openHref) {
            closeField();
            if (!href.isEmpty()) {
                out += "{\\field{\\*\\fldinst{HYPERLINK \"";
                QString quoted = href;
                quoted.replace(u'"', QStringLiteral("%22"));
                appendEscaped(out, quoted);
                out += "\"}}{\\fldrslt ";
                beforeField = cur;
            }
            openHref = href;
        }
        if (attrs != cur) {
            appendChange(out, cur, attrs);
            cur = attrs;
        }
        appendEscaped(out, text);
    }
    // The characters from..to of a fragment.
    void fragment(const QTextFragment &frag, int from, int to) {
        const QTextCharFormat held = frag.charFormat();
        const QTextCharFormat f = as.format ? as.format(held) : held;
        const QString whole = frag.text();
        const QStringView text = QStringView(whole).mid(from - frag.position(), to - from);
        if (as.separatorsBreak && as.separatorsBreak(held)) {
            // Paragraphs of the same look as the one they stand in.
            qsizetype start = 0;
            for (qsizetype at; (at = text.indexOf(QChar::LineSeparator, start)) >= 0; start = at + 1) {
                run(f, held, text.mid(start, at - start));
                newParagraph();
            }
            run(f, held, text.mid(start));
        } else {
            run(f, held, text);
        }
    }
    void end() {
        room(kParagraphBytes);
        closeField();
        // A last \\par only ends the paragraph before it; an empty last paragraph needs one more.
        if (paragraphs > 1 && lastEmpty) out += "\\par\n";
        out += "}";
    }
};

// Two walks over the document: the first finds the fonts and colours the tables at the start list,
// the second writes the text straight from the document, so nothing but the output is held (a note
// of megabytes is not copied run by run first). With take, out is handed over whenever it holds
// stretch bytes or more, and once more at the end; what take leaves in it stays at its front. False
// when the RTF would be longer than maxBytes.
bool writeTo(QByteArray &out, const QTextDocument &doc, qsizetype maxBytes, const RtfCodec::WriteAs &as,
             qsizetype stretch, const std::function<void(QByteArray &, bool)> &take,
             const std::function<bool()> &stop = {}) {
    Body w{out, as, RtfCodec::sizeScale(doc)};
    // A text that cannot fit within the bound is refused before any of it is written (a note of
    // megabytes would otherwise be written up to the bound first).
    qsizetype least = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid()) continue;
            if (maxBytes >= 0 && (least += leastEscaped(frag.text())) > maxBytes) return false;
            const QTextCharFormat held = frag.charFormat();
            // Only what is written as text is in the tables: not the look of a run of breaks alone.
            if (as.separatorsBreak && as.separatorsBreak(held)) {
                const QString text = frag.text();
                if (std::all_of(text.cbegin(), text.cend(),
                                [](QChar c) { return c == QChar::LineSeparator; }))
                    continue;
            }
            const QTextCharFormat f = as.format ? as.format(held) : held;
            w.fontIndex(f);
            w.colorIndex(f);
        }

    qsizetype handed = 0; // bytes take took from the front of out
    const auto over = [&] { return maxBytes >= 0 && handed + out.size() > maxBytes; };
    const auto handOver = [&](bool last) {
        if (!take || (!last && out.size() < stretch)) return;
        const qsizetype was = out.size();
        take(out, last);
        handed += was - out.size();
    };
    w.header(out);
    bool first = true;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (first || !as.goesOn || !as.goesOn(b)) w.newParagraph(b);
        first = false;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid()) continue;
            w.fragment(frag, frag.position(), frag.position() + frag.length());
            if (over()) return false;
            if (take && out.size() >= stretch && stop && stop()) return false;
            handOver(false);
        }
    }
    w.end();
    if (over()) return false;
    handOver(true);
    return true;
}

// Room left at the front of a range's RTF for its tables, which are known only once it is written:
// what they do not take is line ends, which readers skip.
constexpr qsizetype kHeaderRoom = 4096;
} // namespace

struct RtfCodec::RangeWriter::State {
    QByteArray out;
    WriteAs as;
    Body body{out, as};
    int at = 0;
    int begun = -1; // where the last paragraph begun begins
    bool drained = false; // the room for the tables taken out of out
};

RtfCodec::RangeWriter::RangeWriter(int from, const WriteAs &as) : s_(std::make_unique<State>()) {
    s_->as = as;
    s_->at = from;
    s_->out.fill('\n', kHeaderRoom);
}

RtfCodec::RangeWriter::~RangeWriter() = default;

int RtfCodec::RangeWriter::at() const {
    return s_->at;
}

void RtfCodec::RangeWriter::moved(int by) {
    if (s_->at < 0) return;
    s_->at += by;
    if (s_->begun >= 0) s_->begun += by;
}

qsizetype RtfCodec::RangeWriter::write(const QTextDocument &doc, int from, int to, qsizetype atMost) {
    State &s = *s_;
    if (s.at < 0) return 0;
    if (s.begun < 0) {
        s.body.scale = sizeScale(doc);
        // Room for the most the range can be written as, taken at once: written a slice at a time, it
        // never grows (a growth copies what is written so far, in one slice). Only the bytes written
        // are memory used; take() gives back the rest.
        s.out.reserve(kHeaderRoom + qsizetype(std::max(0, to - s.at)) * kMostBytesPerChar + kRunWordsBytes);
    }
    qsizetype done = 0;
    for (QTextBlock b = doc.findBlock(s.at); b.isValid() && b.position() <= to; b = b.next()) {
        // A paragraph begun once; one after the first only where it is not a piece of the one before.
        if (b.position() > s.begun) {
            if (s.begun < 0 || !s.as.goesOn || !s.as.goesOn(b)) s.body.newParagraph(b);
            s.begun = b.position();
        }
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid()) continue;
            const int start = std::max({s.at, from, frag.position()});
            const int end = std::min(to, frag.position() + frag.length());
            if (end <= start) continue;
            if (done >= atMost) {
                s.at = start;
                return done;
            }
            // A fragment may be a whole piece of a long line (thousands of emoji, nine bytes a UTF-16
            // unit): the slice ends within it. A run cut in two is written as the same bytes.
            const qsizetype left = atMost - done; // up to "all": no sum with it
            const int upTo = left < end - start ? start + int(left) : end;
            s.body.fragment(frag, start, upTo);
            done += upTo - start;
            s.at = upTo;
            if (upTo < end) return done;
        }
    }
    s.at = -1;
    return done;
}

QByteArray RtfCodec::RangeWriter::take() {
    State &s = *s_;
    s.body.end();
    QByteArray head;
    s.body.header(head);
    QByteArray out = std::move(s.out);
    if (head.size() <= kHeaderRoom) {
        std::memcpy(out.data(), head.constData(), size_t(head.size()));
        out.squeeze(); // shrunk where it lies
        return out;
    }
    head.append(QByteArrayView(out).sliced(kHeaderRoom));
    return head;
}

QByteArray RtfCodec::RangeWriter::drain() {
    State &s = *s_;
    const qsizetype skip = s.drained ? 0 : std::min(kHeaderRoom, s.out.size());
    s.drained = true;
    QByteArray part(s.out.constData() + skip, s.out.size() - skip);
    s.out.resize(0); // its room kept: the next part is written where this one was
    return part;
}

QByteArray RtfCodec::RangeWriter::head() {
    State &s = *s_;
    s.body.end();
    QByteArray head;
    s.body.header(head);
    // As take() gives it: tables shorter than their room are followed by the rest of it.
    if (head.size() < kHeaderRoom) head.append(kHeaderRoom - head.size(), '\n');
    return head;
}

namespace RtfCodec {
double sizeScale(const QTextDocument &doc) {
    const double scale = doc.property(kSizeScale).toDouble();
    return scale > 0 ? scale : 1.0;
}

int shownPixels(const QFont &font) {
    // Logical pixels are 1/96 inch, points 1/72.
    return font.pixelSize() > 0 ? font.pixelSize() : qRound(font.pointSizeF() * 96 / 72);
}

QByteArray write(const QTextDocument &doc, qsizetype maxBytes, const WriteAs &as) {
    QByteArray out;
    const qsizetype guess = qsizetype(doc.characterCount()) * 2 + 256;
    out.reserve(maxBytes < 0 ? guess : std::min(guess, maxBytes + 1));
    if (!writeTo(out, doc, maxBytes, as, 0, {})) return {};
    return out;
}

bool write(const QTextDocument &doc, qsizetype maxBytes, const WriteAs &as, qsizetype stretch,
           const std::function<void(QByteArray &, bool)> &take, const std::function<bool()> &stop) {
    QByteArray out;
    out.reserve(stretch + 1024);
    return writeTo(out, doc, maxBytes, as, std::max<qsizetype>(1, stretch), take, stop);
}
} // namespace RtfCodec
