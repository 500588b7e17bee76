#include "ui/EmojiPrep.h"
#include "platform/Background.h"
#include "ui/EmojiText.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSet>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <optional>
#include <cmath>
#include <vector>

namespace {
QImage drawn(const QString &text, const QFont &font, int dpi, const QSize &size, int pad, QColor pen,
             QPainter::RenderHints hints, QRectF *line) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    const int dpm = int(std::lround(dpi / 0.0254));
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    img.fill(Qt::transparent);
    QPainter q(&img);
    q.setRenderHints(hints);
    q.setFont(font);
    q.setPen(pen);
    q.drawText(QRectF(pad, pad, size.width() - 2 * pad, size.height() - 2 * pad),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text, line);
    return img;
}

// The smallest rectangle holding every pixel drawn.
QRect drawnArea(const QImage &img) {
    int left = img.width(), top = img.height(), right = -1, bottom = -1;
    for (int y = 0; y < img.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(row[x])) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}
} // namespace

namespace EmojiPrep {
int screenDpi() {
    const QScreen *s = qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QGuiApplication::primaryScreen()
                                                                                      : nullptr;
    return s ? int(std::lround(s->logicalDotsPerInchY())) : 96;
}

namespace {
const QString kColourFamily = QStringLiteral("Noto Color Emoji");

QImage device(int dpi) {
    QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    const int dpm = int(std::lround(dpi / 0.0254));
    probe.setDotsPerMeterX(dpm);
    probe.setDotsPerMeterY(dpm);
    return probe;
}

// One glyph of the colour font drawn alone, from (its x, the baseline) on whole pixels; none where the
// text is not one such glyph, or a text font draws it (in the pen's colour).
std::optional<EmojiCache::Prepared::Picture> picture(const QString &text, const QFont &font, int dpi) {
    const QImage probe = device(dpi);
    QTextLayout layout(text, QFont(font, &probe), &probe);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) return std::nullopt;
    line.setLineWidth(1e6);
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() != 1 || runs[0].glyphIndexes().size() != 1) return std::nullopt;
    const int pad = int(std::ceil(2 * line.height()));
    const QSize size(int(std::ceil(line.naturalTextWidth())) + 2 * pad, int(std::ceil(line.height())) + 2 * pad);
    QRectF placed, again;
    const QImage img = drawn(text, font, dpi, size, pad, Qt::black, QPainter::TextAntialiasing, &placed);
    // The colour font's own pixels, whatever the pen and the smoothing asked for: else not kept.
    if (drawn(text, font, dpi, size, pad, Qt::white, QPainter::Antialiasing | QPainter::SmoothPixmapTransform,
              &again) != img ||
        again != placed)
        return std::nullopt;
    const QRect area = drawnArea(img);
    if (area.isEmpty()) return std::nullopt;
    EmojiCache::Prepared::Picture pic;
    pic.image = img.copy(area);
    pic.at = area.topLeft() - QPoint(pad, int(std::floor(pad + line.ascent() + 0.5)));
    return pic;
}
} // namespace

Made make(const QString &text, const QFont &font, int dpi) {
    Made out;
    out.width = EmojiText::measure(font, text);
    out.height = QFontMetricsF(font).height();
    out.colourHeight = QFontMetricsF(EmojiText::colourFirst(font)).height();
    // One line of the colour font's glyphs and words (a symbol such as ⏱ it draws by default
    // included); a joined sequence, or the emoji form asked for by U+FE0F (drawn another way), is not.
    if (!EmojiCache::mayHoldEmoji(text) || text.contains(QLatin1Char('\n')) || text.contains(QChar(0x200D)) ||
        text.contains(QChar(0xFE0F)))
        return out;
    const QImage probe = device(dpi);
    const QFont onDevice(font, &probe);
    QTextLayout layout(text, onDevice, &probe);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) return out;
    line.setLineWidth(1e6);
    layout.endLayout();
    EmojiCache::Prepared &p = out.prepared;
    const QFontMetricsF fm(onDevice);
    const QChar spacer(0x2003);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = std::max<qsizetype>(1, graphemes.toNextBoundary() - i);
        const QString c = text.mid(i, n);
        std::optional<EmojiCache::Prepared::Picture> pic;
        // Only an emoji of one character (one of a flag's pair, or one with its skin tone, would draw
        // another picture alone).
        if (EmojiCache::mayHoldEmoji(c) && c.toUcs4().size() == 1) {
            const QList<QGlyphRun> runs = layout.glyphRuns(int(i), int(n));
            if (runs.size() == 1 && runs[0].glyphIndexes().size() == 1 &&
                runs[0].rawFont().familyName() == kColourFamily)
                if ((pic = picture(c, font, dpi))) pic->x = runs[0].positions().value(0).x();
        }
        if (pic) {
            p.pictures.append(*pic);
            const double width = line.cursorToX(int(i + n)) - line.cursorToX(int(i));
            p.spacers.append({int(p.words.size()), width - fm.horizontalAdvance(spacer)});
            p.words += spacer;
        } else {
            p.words += c;
        }
        i += n;
    }
    if (p.pictures.isEmpty()) return out;
    if (p.words.size() == p.pictures.size() && p.pictures.size() == 1) {
        p.words.clear(); // a lone emoji: its picture alone
        p.spacers.clear();
    }
    QImage img(1, 1, QImage::Format_ARGB32_Premultiplied);
    img.setDotsPerMeterX(probe.dotsPerMeterX());
    img.setDotsPerMeterY(probe.dotsPerMeterY());
    QRectF placed;
    {
        QPainter q(&img);
        q.setFont(font);
        placed = q.boundingRect(QRectF(0, 0, 1e6, 1e6), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
    p.advance = line.horizontalAdvance();
    p.width = placed.width();
    p.height = placed.height();
    p.ascent = line.ascent();
    return out;
}

namespace {
void keep(const QList<Text> &texts, const std::vector<Made> &made, int dpi) {
    EmojiCache &cache = EmojiCache::shared();
    for (qsizetype i = 0; i < texts.size() && i < qsizetype(made.size()); ++i) {
        const Text &t = texts[i];
        const Made &m = made[size_t(i)];
        cache.addPrepared(t.text, t.font, dpi, m.width, m.prepared);
        cache.height(t.font, [&] { return m.height; });
        cache.height(EmojiText::colourFirst(t.font), [&] { return m.colourHeight; });
    }
}
} // namespace

void prepare(const QList<Text> &texts) {
    if (texts.isEmpty() || !QCoreApplication::instance()) return;
    // What EmojiText::surelyFits measures for each font, too.
    QList<Text> all = texts;
    QSet<QString> fonts;
    for (const Text &t : texts)
        if (const QString key = t.font.key() + t.font.families().join(QLatin1Char(',')); !fonts.contains(key)) {
            fonts.insert(key);
            all.append({QStringLiteral("😀"), t.font});
        }
    const int dpi = screenDpi();
    // The worker has the texts to itself until it hands back (the window's thread does not draw with
    // these fonts): it resolves them to font engines of its own.
    Background::run<std::vector<Made>>(
        QCoreApplication::instance(),
        [own = all, dpi] {
            std::vector<Made> out;
            out.reserve(size_t(own.size()));
            for (const Text &t : own) out.push_back(make(t.text, t.font, dpi));
            return out;
        },
        [all, dpi](std::vector<Made> made) { keep(all, made, dpi); },
        Background::Options(QStringLiteral("emoji drawn ahead"), Background::AtQuit::end));
}

void prepareNow(const QList<Text> &texts, int dpi) {
    std::vector<Made> made;
    for (const Text &t : texts) made.push_back(make(t.text, t.font, dpi));
    keep(texts, made, dpi);
}
} // namespace EmojiPrep
