#include "ui/RtfReader.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>
#include <vector>

namespace {
// Deeper than any editor writes; a limit keeps hostile input from growing the stack without end.
constexpr size_t kMaxDepth = 256;

struct GroupState {
    QTextCharFormat fmt;
    bool skip = false; // inside a destination we do not show
    bool inst = false; // inside a field's instruction
    bool rslt = false; // inside a field's shown result
    int uc = 1;        // characters to drop after \uN
};

bool isSkippedDestination(const QByteArray &w) {
    static const char *const names[] = {"fonttbl",   "colortbl",         "stylesheet",   "info",
                                        "pict",      "expandedcolortbl", "listtable",    "listoverridetable",
                                        "generator", "themedata",        "latentstyles", "header",
                                        "footer",    "object",           "datastore",    "rsidtbl",
                                        "xmlnstbl",  "mmathPr"};
    for (const char *n : names)
        if (w == n) return true;
    return false;
}

QChar cp1252(uchar b) {
    static const char16_t high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                      0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    if (b >= 0x80 && b < 0xA0) return QChar(high[b - 0x80]);
    return QChar(b);
}

class Parser {
public:
    Parser(const QByteArray &in, QTextDocument *doc) : in_(in), cur_(doc) {}

    bool run() {
        if (!in_.startsWith("{\\rtf")) return false;
        while (i_ < in_.size()) {
            const char c = in_.at(i_++);
            if (c == '{') {
                flush();
                if (stack_.size() >= kMaxDepth) return false;
                stack_.push_back(stack_.empty() ? GroupState{} : stack_.back());
                stack_.back().rslt = false;
            } else if (c == '}') {
                flush();
                if (stack_.empty()) return false;
                closeGroup();
                if (stack_.empty()) return true;
            } else if (stack_.empty()) {
                return false;
            } else if (c == '\\') {
                controlSymbol();
            } else if (c != '\r' && c != '\n') {
                text(cp1252(uchar(c)));
            }
        }
        flush();
        return started_; // an unclosed document still shows what it had
    }

private:
    GroupState &top() { return stack_.back(); }

    void text(QChar ch) {
        started_ = true;
        if (dropChars_ > 0) {
            --dropChars_;
            return;
        }
        if (top().skip) return;
        if (top().inst)
            fieldInst_ += ch;
        else
            pending_ += ch;
    }

    void flush() {
        if (!pending_.isEmpty() && !stack_.empty()) cur_.insertText(pending_, top().fmt);
        pending_.clear();
    }

    void closeGroup() {
        const GroupState closing = stack_.back();
        stack_.pop_back();
        if (closing.rslt && rsltStart_ >= 0) {
            static const QRegularExpression re(QStringLiteral("HYPERLINK\\s+\"([^\"]*)\""));
            const QRegularExpressionMatch m = re.match(fieldInst_);
            if (m.hasMatch() && cur_.position() > rsltStart_) {
                QTextCursor c(cur_.document());
                c.setPosition(rsltStart_);
                c.setPosition(cur_.position(), QTextCursor::KeepAnchor);
                QTextCharFormat f;
                f.setAnchor(true);
                f.setAnchorHref(m.captured(1));
                c.mergeCharFormat(f);
            }
            rsltStart_ = -1;
        }
    }

    void controlSymbol() {
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
            text(QChar(c));
            break;
        case '~':
            text(QChar(0x00A0));
            break;
        case '_':
            text(QChar(0x2011));
            break;
        case '\'': {
            bool ok = false;
            const uint b = in_.mid(i_, 2).toUInt(&ok, 16);
            i_ += 2;
            if (ok) text(cp1252(uchar(b)));
            break;
        }
        case '*':
            top().skip = true;
            break; // a destination we do not know unless a word below knows it
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
        while (i_ < in_.size() && i_ - n0 < 10 && std::isdigit(uchar(in_.at(i_))))
            ++i_;
        const bool hasNum = i_ > n0 && !(i_ == n0 + 1 && in_.at(n0) == '-');
        const int num = hasNum ? in_.mid(n0, i_ - n0).toInt() : 0;
        if (!hasNum) i_ = n0;
        if (i_ < in_.size() && in_.at(i_) == ' ') ++i_;
        word(w, hasNum, num);
    }

    void word(const QByteArray &w, bool hasNum, int num) {
        GroupState &g = top();
        if (w == "u") {
            text(QChar(char16_t(num < 0 ? num + 65536 : num)));
            dropChars_ = g.uc;
            return;
        }
        dropChars_ = 0;
        flush();
        const bool on = !hasNum || num != 0;
        if (isSkippedDestination(w))
            g.skip = true;
        else if (w == "fldinst") {
            g.skip = false;
            g.inst = true;
            fieldInst_.clear();
        } else if (w == "fldrslt") {
            g.skip = false;
            g.rslt = true;
            rsltStart_ = cur_.position();
        } else if (w == "par") {
            if (!g.skip && !g.inst) {
                cur_.insertBlock();
                started_ = true;
            }
        } else if (w == "line")
            text(QChar(QChar::LineSeparator));
        else if (w == "tab")
            text(u'\t');
        else if (w == "emdash")
            text(QChar(0x2014));
        else if (w == "endash")
            text(QChar(0x2013));
        else if (w == "bullet")
            text(QChar(0x2022));
        else if (w == "lquote")
            text(QChar(0x2018));
        else if (w == "rquote")
            text(QChar(0x2019));
        else if (w == "ldblquote")
            text(QChar(0x201C));
        else if (w == "rdblquote")
            text(QChar(0x201D));
        else if (w == "b")
            g.fmt.setFontWeight(on ? QFont::Bold : QFont::Normal);
        else if (w == "i")
            g.fmt.setFontItalic(on);
        else if (w == "ul")
            g.fmt.setFontUnderline(on);
        else if (w == "ulnone")
            g.fmt.setFontUnderline(false);
        else if (w == "strike")
            g.fmt.setFontStrikeOut(on);
        else if (w == "fs" && hasNum && num > 0 && num <= 2000)
            g.fmt.setProperty(QTextFormat::FontPixelSize, qRound(num / 2.0));
        else if (w == "plain")
            g.fmt = QTextCharFormat();
        else if (w == "uc" && hasNum && num >= 0 && num < 10)
            g.uc = num;
    }

    const QByteArray &in_;
    QTextCursor cur_;
    qsizetype i_ = 0;
    std::vector<GroupState> stack_;
    QString pending_;
    QString fieldInst_;
    int rsltStart_ = -1;
    int dropChars_ = 0;
    bool started_ = false;
};
} // namespace

namespace RtfReader {
bool read(const QByteArray &rtf, QTextDocument *doc) {
    doc->clear();
    Parser p(rtf, doc);
    if (p.run()) return true;
    doc->clear();
    return false;
}
} // namespace RtfReader
