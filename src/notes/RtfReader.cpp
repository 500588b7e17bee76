#include "notes/RtfCodec.h"

#include <QColor>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextOption>
#include <map>
#include <vector>

// The reader half of the RTF codec. One pass over the bytes with an explicit group stack, so nesting
// costs heap, not C stack, and is cut off at kMaxDepth.

namespace {
enum class Dest { text, skip, fontTable, colorTable, fieldInst };

struct GroupState {
    QTextCharFormat fmt;
    Dest dest = Dest::text;
    bool rslt = false; // this group is a field's shown result
    int uc = 1;        // fallback characters to drop after \uN
    int codePage = -1; // of the current font; 0 = the document's, -1 = the default font's (\deffN)
};

struct FontEntry {
    QString name;
    int codePage = 0;
};

constexpr char16_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                      0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

// The code page of a font's \fcharset; 0 leaves the document's own (ANSI) code page in force.
int charsetCodePage(int charset) {
    switch (charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    default:
        return 0;
    }
}

QByteArray codecName(int codePage) {
    switch (codePage) {
    case 65001:
        return "UTF-8";
    case 10000:
        return "macintosh";
    case 932:
        return "Shift_JIS";
    case 936:
        return "GBK";
    case 949:
        return "EUC-KR";
    case 950:
        return "Big5";
    case 437:
        return "IBM437";
    case 850:
        return "IBM850";
    default:
        return "windows-" + QByteArray::number(codePage);
    }
}

// Code-page bytes to text: Windows-1252 and -1251 from our own tables, other code pages through the
// platform's converters (one per code page, made once), Windows-1252 when there is none.
class ByteDecoder {
public:
    QString decode(const QByteArray &bytes, int codePage) {
        QString out;
        if (codePage == 1251) {
            out.reserve(bytes.size());
            for (char c : bytes) {
                const auto b = uchar(c);
                out += b < 0x80   ? QChar(b)
                       : b < 0xC0 ? QChar(kCp1251High[b - 0x80])
                                  : QChar(char16_t(0x0410 + b - 0xC0));
            }
            return out;
        }
        if (codePage != 1252 && codePage != 0) {
            if (codePage != cachedCp_) {
                cachedCp_ = codePage;
                cached_ = QStringDecoder(codecName(codePage).constData(), QStringDecoder::Flag::Stateless);
            }
            if (cached_.isValid()) {
                QString s = cached_.decode(bytes);
                if (!cached_.hasError()) return s;
                cached_.resetState();
            }
        }
        out.reserve(bytes.size());
        for (char c : bytes) {
            const auto b = uchar(c);
            out += (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
        }
        return out;
    }

private:
    int cachedCp_ = 0;
    QStringDecoder cached_;
};

bool isSkippedDestination(const QByteArray &w) {
    static const char *const names[] = {
        "stylesheet", "info",       "pict",         "expandedcolortbl", "listtable", "listoverridetable",
        "generator",  "themedata",  "latentstyles", "header",           "headerl",   "headerr",
        "headerf",    "footer",     "footerl",      "footerr",          "footerf",   "footnote",
        "object",     "datastore",  "rsidtbl",      "xmlnstbl",         "mmathPr",   "colorschememapping",
        "shppict",    "nonshppict", "filetbl",      "revtbl",           "pgdsctbl",  "xe",
        "tc",         "private"};
    for (const char *n : names)
        if (w == n) return true;
    return false;
}

class Parser {
public:
    Parser(const QByteArray &in, QTextDocument *doc, const std::function<void(const QTextBlock &)> &ended)
        : in_(in), cur_(doc), paragraphEnded_(ended), sizeScale_(RtfCodec::sizeScale(*doc)) {}

    bool run() {
        if (!in_.startsWith("{\\rtf")) return false;
        const qsizetype n = in_.size();
        while (i_ < n) {
            const char c = in_.at(i_++);
            if (c == '{') {
                flush();
                dropChars_ = 0; // what \uN skips never reaches past a brace
                starPending_ = false;
                if (int(stack_.size()) >= RtfCodec::kMaxDepth) return false;
                stack_.push_back(stack_.empty() ? GroupState{} : stack_.back());
                stack_.back().rslt = false;
            } else if (c == '}') {
                flush();
                dropChars_ = 0;
                starPending_ = false;
                if (stack_.empty()) return false;
                closeGroup();
                if (stack_.empty()) return true;
            } else if (stack_.empty()) {
                return false;
            } else if (c == '\\') {
                control();
            } else if (c == '\r' || c == '\n') {
                continue;
            } else if (uchar(c) >= 0x80) {
                rawByte(uchar(c));
            } else if (uchar(c) >= 0x20 || c == '\t') {
                textChar(QChar(uchar(c)));
            }
        }
        flush();
        return started_; // an unclosed document still shows what it had
    }

private:
    GroupState &top() { return stack_.back(); }

    int codePage() {
        int cp = top().codePage;
        if (cp < 0) {
            // No \fN yet: the default font's code page (the font table may come after \deffN).
            const auto it = fonts_.find(defaultFont_);
            cp = it == fonts_.end() ? 0 : it->second.codePage;
        }
        return cp ? cp : docCodePage_;
    }

    // Bytes of the code page wait here so that multi-byte code pages decode whole characters.
    void rawByte(uchar b) {
        if (dropChars_ > 0) {
            --dropChars_;
            return;
        }
        if (top().dest == Dest::skip) return;
        bytes_ += char(b);
    }

    void textChar(QChar ch) {
        if (dropChars_ > 0) {
            --dropChars_;
            return;
        }
        decodePending();
        route(ch);
    }

    void decodePending() {
        if (bytes_.isEmpty()) return;
        const QString s = decoder_.decode(bytes_, codePage());
        bytes_.clear();
        for (QChar ch : s)
            route(ch);
    }

    void route(QChar ch) {
        switch (top().dest) {
        case Dest::skip:
            return;
        case Dest::fontTable:
            if (ch == u';')
                commitFont();
            else
                fontName_ += ch;
            return;
        case Dest::colorTable:
            if (ch == u';') commitColor();
            return;
        case Dest::fieldInst:
            fieldInst_ += ch;
            return;
        case Dest::text:
            started_ = true;
            pending_ += ch;
            return;
        }
    }

    void flush() {
        decodePending();
        if (!pending_.isEmpty() && !stack_.empty()) {
            cur_.insertText(pending_, top().fmt);
            endsWithPar_ = false;
        }
        pending_.clear();
    }

public:
    // The last \par ends the last paragraph; it opens no empty one after it (editors that end every
    // paragraph with \par would otherwise leave the caret of an edit on a line of its own).
    void dropFinalParagraphMark() {
        if (!endsWithPar_ || !cur_.block().text().isEmpty() || cur_.blockNumber() == 0) return;
        QTextCursor c(cur_);
        c.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
        const QTextBlockFormat last = c.block().blockFormat();
        c.removeSelectedText();
        c.setBlockFormat(last);
    }

private:

    void commitFont() {
        fonts_[curFont_] = FontEntry{fontName_.trimmed(), curFontCp_};
        fontName_.clear();
        curFontCp_ = 0;
    }

    void commitColor() {
        colors_.push_back(colorSet_ ? QColor(red_, green_, blue_) : QColor());
        red_ = green_ = blue_ = 0;
        colorSet_ = false;
    }

    void closeGroup() {
        const GroupState closing = stack_.back();
        stack_.pop_back();
        if (closing.dest == Dest::fontTable && !stack_.empty() && stack_.back().dest != Dest::fontTable &&
            !fontName_.trimmed().isEmpty())
            commitFont(); // a last entry without its ';'
        if (closing.rslt && rsltStart_ >= 0) {
            static const QRegularExpression re(QStringLiteral("HYPERLINK\\s+(?:\"([^\"]*)\"|([^\\s\"]+))"));
            const QRegularExpressionMatch m = re.match(fieldInst_);
            const QString href =
                m.hasMatch() ? (m.captured(1).isNull() ? m.captured(2) : m.captured(1)) : QString();
            if (!href.isEmpty() && cur_.position() > rsltStart_) {
                // A link is drawn as one (underlined) even where the file did not say \ul: it opens
                // when clicked, so it must not look like plain text. That underline is marked as the
                // reader's, so that writing the text again does not add a \ul the file never had.
                std::vector<std::pair<int, int>> plain; // the result's runs not underlined
                QTextDocument *doc = cur_.document();
                for (QTextBlock b = doc->findBlock(rsltStart_); b.isValid() && b.position() < cur_.position();
                     b = b.next())
                    for (auto it = b.begin(); !it.atEnd(); ++it) {
                        const QTextFragment frag = it.fragment();
                        const int s = std::max(rsltStart_, frag.position());
                        const int e = std::min(cur_.position(), frag.position() + frag.length());
                        if (s < e && !frag.charFormat().fontUnderline()) plain.emplace_back(s, e);
                    }
                QTextCursor c(doc);
                c.setPosition(rsltStart_);
                c.setPosition(cur_.position(), QTextCursor::KeepAnchor);
                QTextCharFormat f;
                f.setAnchor(true);
                f.setAnchorHref(href);
                c.mergeCharFormat(f);
                QTextCharFormat shown;
                shown.setFontUnderline(true);
                shown.setProperty(RtfCodec::kLinkUnderline, true);
                for (const auto &[from, to] : plain) {
                    c.setPosition(from);
                    c.setPosition(to, QTextCursor::KeepAnchor);
                    c.mergeCharFormat(shown);
                }
            }
            rsltStart_ = -1;
        }
    }

    void control() {
        if (i_ >= in_.size()) return;
        const char c = in_.at(i_);
        if (std::isalpha(uchar(c))) {
            controlWord();
            return;
        }
        ++i_;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            textChar(QChar(c));
            break;
        case '~':
            textChar(QChar(0x00A0));
            break;
        case '_':
            textChar(QChar(0x2011));
            break;
        case '\'': {
            // Exactly two hex digits; anything else (" 4", "4x") is not a byte and is dropped.
            if (i_ + 2 <= in_.size() && std::isxdigit(uchar(in_.at(i_))) &&
                std::isxdigit(uchar(in_.at(i_ + 1)))) {
                rawByte(uchar(in_.mid(i_, 2).toUInt(nullptr, 16)));
                i_ += 2;
            }
            break;
        }
        case '*':
            // A destination this reader does not know, unless the word after it is one it knows.
            flush();
            starPending_ = top().dest != Dest::skip;
            top().dest = Dest::skip;
            break;
        case '\n':
        case '\r':
            word("par", false, 0);
            break;
        default:
            break;
        }
    }

    void controlWord() {
        const qsizetype s = i_;
        while (i_ < in_.size() && std::isalpha(uchar(in_.at(i_))))
            ++i_;
        const QByteArray w = in_.mid(s, i_ - s);
        const qsizetype n0 = i_;
        if (i_ < in_.size() && in_.at(i_) == '-') ++i_;
        const qsizetype d0 = i_;
        while (i_ < in_.size() && std::isdigit(uchar(in_.at(i_))))
            ++i_;
        const bool hasNum = i_ > d0;
        int num = 0;
        if (hasNum) {
            // Long digit runs clamp instead of overflowing.
            const qint64 v =
                i_ - d0 > 10 ? std::numeric_limits<int>::max() : in_.mid(d0, i_ - d0).toLongLong();
            const qint64 clamped = std::min<qint64>(v, std::numeric_limits<int>::max());
            num = int(d0 > n0 ? -clamped : clamped);
        } else {
            i_ = n0;
        }
        if (i_ < in_.size() && in_.at(i_) == ' ') ++i_;
        word(w, hasNum, num);
    }

    void word(const QByteArray &w, bool hasNum, int num) {
        if (w == "u") {
            // Signed 16-bit in the file; surrogate pairs come as two \u and join in the text.
            textChar(QChar(char16_t(num & 0xFFFF)));
            dropChars_ = top().uc;
            return;
        }
        if (w == "bin") {
            // Raw bytes follow; they are never text or control words.
            flush();
            if (hasNum && num > 0) i_ = std::min<qsizetype>(in_.size(), i_ + num);
            dropChars_ = 0;
            return;
        }
        dropChars_ = 0;
        flush();
        GroupState &g = top();
        const bool on = !hasNum || num != 0;
        if (g.dest == Dest::skip) {
            // Inside a skipped destination every word is ignored, but for the one right after \*
            // that names a destination this reader knows.
            const bool known = w == "fonttbl" || w == "colortbl" || w == "fldinst" || w == "fldrslt";
            if (!std::exchange(starPending_, false) || !known) return;
        }

        if (g.dest == Dest::fontTable) {
            if (w == "f" && hasNum) {
                if (!fontName_.trimmed().isEmpty()) commitFont();
                curFont_ = num;
                fontName_.clear();
                curFontCp_ = 0;
            } else if (w == "fcharset" && hasNum) {
                curFontCp_ = charsetCodePage(num);
            } else if (w == "cpg" && hasNum && num > 0) {
                curFontCp_ = num;
            } else if (isSkippedDestination(w) || w == "panose" || w == "falt") {
                g.dest = Dest::skip;
            }
            return;
        }
        if (g.dest == Dest::colorTable) {
            if (w == "red" && hasNum)
                red_ = std::clamp(num, 0, 255), colorSet_ = true;
            else if (w == "green" && hasNum)
                green_ = std::clamp(num, 0, 255), colorSet_ = true;
            else if (w == "blue" && hasNum)
                blue_ = std::clamp(num, 0, 255), colorSet_ = true;
            return;
        }

        if (w == "fonttbl") {
            g.dest = Dest::fontTable;
            fontName_.clear();
        } else if (w == "colortbl") {
            g.dest = Dest::colorTable;
            colors_.clear();
        } else if (isSkippedDestination(w)) {
            g.dest = Dest::skip;
        } else if (w == "fldinst") {
            g.dest = Dest::fieldInst;
            fieldInst_.clear();
        } else if (w == "fldrslt") {
            g.dest = Dest::text;
            g.rslt = true;
            rsltStart_ = cur_.position();
        } else if (g.dest == Dest::fieldInst) {
            return;
        } else if (w == "deff" && hasNum) {
            defaultFont_ = num;
        } else if (w == "pard") {
            setParagraph([](QTextBlockFormat &bf) {
                bf.setTabPositions({});
                bf.setLeftMargin(0);
                bf.setTextIndent(0);
            });
            tabType_ = QTextOption::LeftTab;
        } else if (w == "tqr" || w == "tqc" || w == "tqdec") {
            tabType_ = w == "tqr" ? QTextOption::RightTab : w == "tqc" ? QTextOption::CenterTab : QTextOption::DelimiterTab;
        } else if (w == "tx" && hasNum && num >= 0) {
            // Tab stops in twips; the document's units are points.
            const QTextOption::TabType type = std::exchange(tabType_, QTextOption::LeftTab);
            const QTextOption::Tab tab(std::min(num, kMaxTwips) / 20.0, type,
                                       type == QTextOption::DelimiterTab ? QChar(u'.') : QChar());
            setParagraph([&](QTextBlockFormat &bf) {
                QList<QTextOption::Tab> tabs = bf.tabPositions();
                if (tabs.size() < 64) tabs.append(tab); // no editor sets more; keeps hostile input cheap
                bf.setTabPositions(tabs);
            });
        } else if (w == "li" && hasNum) {
            setParagraph([&](QTextBlockFormat &bf) { bf.setLeftMargin(std::clamp(num, 0, kMaxTwips) / 20.0); });
        } else if (w == "fi" && hasNum) {
            setParagraph([&](QTextBlockFormat &bf) { bf.setTextIndent(std::clamp(num, -kMaxTwips, kMaxTwips) / 20.0); });
        } else if (w == "ansicpg" && hasNum && num > 0) {
            docCodePage_ = num;
        } else if (w == "mac") {
            docCodePage_ = 10000;
        } else if (w == "pc") {
            docCodePage_ = 437;
        } else if (w == "pca") {
            docCodePage_ = 850;
        } else if (w == "par" || w == "row" || w == "sect" || w == "page") {
            cur_.insertBlock();
            started_ = true;
            endsWithPar_ = true;
            if (paragraphEnded_) paragraphEnded_(cur_.block());
        } else if (w == "line") {
            textChar(QChar(QChar::LineSeparator));
        } else if (w == "tab" || w == "cell") {
            textChar(u'\t');
        } else if (w == "emdash") {
            textChar(QChar(0x2014));
        } else if (w == "endash") {
            textChar(QChar(0x2013));
        } else if (w == "bullet") {
            textChar(QChar(0x2022));
        } else if (w == "lquote") {
            textChar(QChar(0x2018));
        } else if (w == "rquote") {
            textChar(QChar(0x2019));
        } else if (w == "ldblquote") {
            textChar(QChar(0x201C));
        } else if (w == "rdblquote") {
            textChar(QChar(0x201D));
        } else if (w == "b") {
            g.fmt.setFontWeight(on ? QFont::Bold : QFont::Normal);
        } else if (w == "i") {
            g.fmt.setFontItalic(on);
        } else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw" || w == "uldash" || w == "ulth") {
            g.fmt.setFontUnderline(on);
        } else if (w == "ulnone") {
            g.fmt.setFontUnderline(false);
        } else if (w == "strike" || w == "striked") {
            g.fmt.setFontStrikeOut(on);
        } else if (w == "fs" && hasNum && num > 0 && num <= 2000) {
            g.fmt.setProperty(QTextFormat::FontPixelSize, qRound(num / 2.0 * sizeScale_));
        } else if (w == "f" && hasNum) {
            const auto it = fonts_.find(num);
            if (it != fonts_.end()) {
                if (!it->second.name.isEmpty()) g.fmt.setFontFamilies(QStringList{it->second.name});
                g.codePage = it->second.codePage;
            }
        } else if (w == "cf" && hasNum) {
            if (num >= 0 && size_t(num) < colors_.size() && colors_[size_t(num)].isValid())
                g.fmt.setForeground(colors_[size_t(num)]);
            else
                g.fmt.clearForeground();
        } else if (w == "plain") {
            g.fmt = QTextCharFormat();
        } else if (w == "uc" && hasNum && num >= 0 && num < 10) {
            g.uc = num;
        }
    }

    // Paragraph properties stay with the paragraphs that follow (\par copies them) until \pard.
    template <class F> void setParagraph(F change) {
        QTextBlockFormat bf = cur_.blockFormat();
        const QTextBlockFormat before = bf;
        change(bf);
        if (bf != before) cur_.setBlockFormat(bf);
    }

    const QByteArray &in_;
    QTextCursor cur_;
    const std::function<void(const QTextBlock &)> &paragraphEnded_;
    const double sizeScale_;
    qsizetype i_ = 0;
    std::vector<GroupState> stack_;
    QString pending_;
    QByteArray bytes_;
    ByteDecoder decoder_;
    int docCodePage_ = 1252;
    std::map<int, FontEntry> fonts_;
    int curFont_ = 0;
    int curFontCp_ = 0;
    QString fontName_;
    std::vector<QColor> colors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorSet_ = false;
    QString fieldInst_;
    int rsltStart_ = -1;
    int dropChars_ = 0;
    int defaultFont_ = 0;
    bool starPending_ = false; // the last token was \* in a group that was not skipped
    bool started_ = false;
    bool endsWithPar_ = false; // nothing was written since the last \par
    QTextOption::TabType tabType_ = QTextOption::LeftTab; // of the next \tx
    static constexpr int kMaxTwips = 20 * 2000;
};
} // namespace

namespace RtfCodec {
bool read(const QByteArray &rtf, QTextDocument *doc) {
    return read(rtf, doc, {});
}

bool read(const QByteArray &rtf, QTextDocument *doc, const std::function<void(const QTextBlock &)> &paragraphEnded) {
    doc->clear();
    if (rtf.size() > kMaxBytes) return false;
    // Loading is no edit a user could undo; and inside one edit block the cursor does not lay out the
    // growing paragraph after every run, which made long paragraphs quadratic.
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    bool ok = false;
    {
        QTextCursor block(doc);
        block.beginEditBlock();
        Parser p(rtf, doc, paragraphEnded);
        ok = p.run();
        if (ok) p.dropFinalParagraphMark();
        block.endEditBlock();
    }
    if (!ok) doc->clear();
    doc->setUndoRedoEnabled(undo);
    return ok;
}
} // namespace RtfCodec
