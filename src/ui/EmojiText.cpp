#include "ui/EmojiText.h"
#include "ui/DisplayText.h"
#include "ui/EmojiCache.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace {
const QString kColourFamily = QStringLiteral("Noto Color Emoji");
constexpr char16_t kEmojiPresentation = 0xFE0F;

// The runs that must come from the colour font: each character followed by U+FE0F (with a keycap or
// a joined sequence that follows it).
QList<QTextLayout::FormatRange> colourRuns(const QString &text, const QFont &font) {
    QList<QTextLayout::FormatRange> out;
    QTextCharFormat format;
    format.setFont(EmojiText::colourFirst(font));
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] != QChar(kEmojiPresentation)) continue;
        qsizetype start = i - 1;
        if (text[start].isLowSurrogate() && start > 0) --start;
        qsizetype end = i + 1;
        // A keycap (U+20E3) or a joiner and what it joins stay with the emoji.
        while (end < text.size() && (text[end] == QChar(0x20E3) || text[end] == QChar(0x200D))) {
            end += text[end] == QChar(0x200D) ? 2 : 1;
            if (end < text.size() && text[end - 1].isHighSurrogate()) ++end;
        }
        end = std::min(end, text.size());
        if (!out.isEmpty() && out.last().start + out.last().length >= start) {
            out.last().length = int(end - out.last().start);
            continue;
        }
        out.append({int(start), int(end - start), format});
    }
    return out;
}

// The text as QPainter shows it with these flags: "&&" is "&", a lone "&" marks a mnemonic.
QString withoutMnemonics(const QString &text, int flags) {
    if (!(flags & (Qt::TextShowMnemonic | Qt::TextHideMnemonic))) return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

// A list item drawn as the style draws it, its text drawn by EmojiText::draw.
class ColourItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        if (!EmojiText::needsColourFont(opt.text)) {
            QStyledItemDelegate::paint(p, option, index);
            return;
        }
        const QString text = opt.text;
        opt.text.clear();
        const QWidget *w = opt.widget;
        QStyle *style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, p, w);
        opt.text = text; // the text's frame, as the style would place it
        const QRect r = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, w);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
        const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (opt.state & QStyle::State_Active) ? QPalette::Active
                                                                                : QPalette::Inactive;
        p->save();
        p->setFont(opt.font);
        p->setPen(opt.palette.color(group, (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText
                                                                                : QPalette::Text));
        EmojiText::draw(*p, r.adjusted(margin, 0, -margin, 0), int(opt.displayAlignment) | Qt::TextSingleLine, text);
        p->restore();
    }
};

// Lays text out in width (one line unless wrapping is asked for) and returns its height.
double layOut(QTextLayout &layout, double width, int flags) {
    QTextOption option(Qt::Alignment(flags & Qt::AlignHorizontal_Mask));
    const bool wrap = (flags & Qt::TextWordWrap) && !(flags & Qt::TextSingleLine);
    option.setWrapMode(wrap ? QTextOption::WordWrap : QTextOption::ManualWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    // Lines placed and the height counted as QPainter::drawText places them (the leading between lines,
    // each line on a whole pixel, its own height unrounded): a text centred in its frame lands where
    // the same text without emoji would, not a pixel higher.
    const double leading = QFontMetricsF(layout.font()).leading();
    double h = -leading;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(wrap ? width : std::max(width, 0.0));
        h = std::ceil(h + leading);
        line.setPosition(QPointF(0, h));
        h += line.ascent() + line.descent();
    }
    h = std::max(h, 0.0);
    layout.endLayout();
    return h;
}
} // namespace

namespace EmojiText {
namespace {
// Draws text from its layout, kept where it can be: measuring its emoji decodes them again.
void drawLaidOut(QPainter &p, const QRectF &r, int flags, const QString &text) {
    const auto lay = [&] {
        auto made = std::make_unique<EmojiCache::LaidOut>();
        // Its glyphs kept: a layout lets go of them once laid out, and each drawing measured the
        // text again, decoding every emoji in it.
        made->layout.setCacheEnabled(true);
        made->layout.setText(withoutMnemonics(text, flags));
        made->layout.setFont(p.font());
        made->layout.setFormats(colourRuns(made->layout.text(), p.font()));
        made->height = layOut(made->layout, r.width(), flags);
        return made;
    };
    // Laid out once where it can be kept: measuring the emoji decodes them again.
    std::unique_ptr<EmojiCache::LaidOut> own;
    const EmojiCache::LaidOut *laid = EmojiCache::shared().laidOut(p, text, flags, r.width(), lay);
    if (!laid) laid = (own = lay()).get();
    const double h = laid->height;
    double y = r.top();
    if (flags & Qt::AlignVCenter)
        y += (r.height() - h) / 2;
    else if (flags & Qt::AlignBottom)
        y += r.height() - h;
    const bool clip = !(flags & Qt::TextDontClip);
    if (clip) {
        p.save();
        p.setClipRect(r, Qt::IntersectClip);
    }
    laid->layout.draw(&p, QPointF(r.left(), y));
    if (clip) p.restore();
}

// Draws text as draw() does, without the cache.
void drawDirect(QPainter &p, const QRectF &r, int flags, const QString &text) {
    if (!needsColourFont(text)) {
        p.drawText(r, flags, text);
        return;
    }
    drawLaidOut(p, r, flags, text);
}

// The width advance() gives, measured.
double measured(const QFont &font, const QString &text) {
    QTextLayout layout(text, font);
    if (needsColourFont(text)) layout.setFormats(colourRuns(text, font));
    layOut(layout, 1e6, Qt::AlignLeft);
    return layout.lineCount() > 0 ? layout.lineAt(0).naturalTextWidth() : 0.0;
}
} // namespace

bool needsColourFont(const QString &text) { return text.size() > 1 && text.indexOf(QChar(kEmojiPresentation), 1) > 0; }

QFont colourFirst(const QFont &font) {
    QFont f = font;
    QStringList families = font.families().isEmpty() ? QStringList{font.family()} : font.families();
    families.removeAll(kColourFamily);
    families.prepend(kColourFamily);
    f.setFamilies(families);
    return f;
}

void draw(QPainter &p, const QRectF &r, int flags, const QString &whole) {
    const QString text = DisplayText::cut(whole); // what a frame can show: never laid out whole
    // Drawn ahead where QPainter::drawText draws it (see EmojiPrep).
    if (!needsColourFont(text) && EmojiCache::shared().drawPrepared(p, r, flags, text)) return;
    const auto direct = [&](QPainter &q, const QRectF &frame) { drawDirect(q, frame, flags, text); };
    if (EmojiCache::mayHoldEmoji(text) && EmojiCache::shared().draw(p, r, flags, text, direct)) return;
    drawDirect(p, r, flags, text);
}

void drawElided(QPainter &p, const QRectF &r, int flags, const QString &whole) {
    const QString text = DisplayText::cut(whole);
    flags |= Qt::TextSingleLine;
    const QFontMetricsF fm(p.font(), p.device());
    const auto elide = [&] { return fm.elidedText(text, Qt::ElideRight, r.width()); };
    if (!EmojiCache::mayHoldEmoji(text)) {
        p.drawText(r, flags, elide());
        return;
    }
    const QString shown = EmojiCache::shared().elided(p.font(), p.device() ? p.device()->logicalDpiY() : 0, text,
                                                      r.width(), elide);
    const auto direct = [&](QPainter &q, const QRectF &frame) { drawLaidOut(q, frame, flags, shown); };
    if (EmojiCache::shared().draw(p, r, flags, shown, direct)) return;
    drawLaidOut(p, r, flags, shown);
}

void drawPlain(QPainter &p, const QRectF &r, int flags, const QString &text) {
    if (EmojiCache::shared().drawPrepared(p, r, flags, text)) return;
    const auto direct = [&](QPainter &q, const QRectF &frame) { q.drawText(frame, flags, text); };
    if (!EmojiCache::shared().draw(p, r, flags, text, direct)) direct(p, r);
}

void colourItems(QComboBox *combo) {
    if (combo) combo->setItemDelegate(new ColourItemDelegate(combo));
}

double advance(const QFont &font, const QString &whole) {
    const QString text = DisplayText::cut(whole);
    if (!EmojiCache::mayHoldEmoji(text)) return measured(font, text);
    return EmojiCache::shared().advance(font, text, [&] { return measured(font, text); });
}

double measure(const QFont &font, const QString &text) { return measured(font, DisplayText::cut(text)); }

double height(const QFont &font) {
    return EmojiCache::shared().height(font, [&] { return QFontMetricsF(font).height(); });
}

bool surelyFits(const QFont &font, const QString &whole, double width) {
    const QString text = DisplayText::cut(whole);
    QString rest;
    rest.reserve(text.size());
    int wide = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isSurrogate() || EmojiCache::mayHoldEmoji(QString(c))) {
            ++wide;
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
        } else {
            rest += c;
        }
    }
    if (wide == 0) return false;
    // An emoji is drawn as wide as the colour font's advance, the same for every picture in it (a
    // sequence drawn as one picture is counted once per character here), measured once per font; and
    // always within the text font's line height (1.2 em or more), counted at 1.5 lines. A pixel is kept
    // for the kerning the emoji's removal changed. Counted at 1.5 lines alone, a lone emoji in a frame
    // one line and a bit wide was measured before each first draw, decoding its picture twice.
    // The colour font's advance is measured (its picture decoded) only where 1.5 lines do not fit.
    const double line = height(font);
    const double words = rest.isEmpty() ? 0.0 : QFontMetricsF(font).horizontalAdvance(rest);
    if (words + wide * 1.5 * line + 1 <= width) return true;
    const double perEmoji = std::min(1.5 * line, advance(font, QStringLiteral("😀")));
    return words + wide * perEmoji + 1 <= width;
}

} // namespace EmojiText
