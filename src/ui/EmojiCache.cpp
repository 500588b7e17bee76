#include "ui/EmojiCache.h"

#include <QFont>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPainter>
#include <QTextLayout>
#include <QThread>
#include <cmath>
#include <utility>

namespace {
// A frame larger than this (in device pixels) is drawn directly: a page of wrapped text is not kept.
constexpr double kMaxPixels = 512.0 * 256.0;
constexpr qsizetype kMaxWidths = 4096;
constexpr qsizetype kMaxLayouts = 512;
// Positions within a device pixel are kept to this step; a text lands within 1/128 of a pixel of
// where a direct draw puts it.
constexpr double kSubPixelSteps = 64.0;

QString fontKey(const QFont &font) {
    return font.key() + QLatin1Char('/') + font.families().join(QLatin1Char(','));
}

// The characters of the basic plane shown as emoji by default (Unicode's Emoji_Presentation): the
// text fonts have no glyph of their own for them, so the colour font draws them without U+FE0F.
bool emojiByDefault(char16_t u) {
    static constexpr std::pair<char16_t, char16_t> kRanges[] = {
        {0x231A, 0x231B}, {0x23E9, 0x23EC}, {0x23F0, 0x23F0}, {0x23F3, 0x23F3}, {0x25FD, 0x25FE},
        {0x2614, 0x2615}, {0x2648, 0x2653}, {0x267F, 0x267F}, {0x2693, 0x2693}, {0x26A1, 0x26A1},
        {0x26AA, 0x26AB}, {0x26BD, 0x26BE}, {0x26C4, 0x26C5}, {0x26CE, 0x26CE}, {0x26D4, 0x26D4},
        {0x26EA, 0x26EA}, {0x26F2, 0x26F3}, {0x26F5, 0x26F5}, {0x26FA, 0x26FA}, {0x26FD, 0x26FD},
        {0x2705, 0x2705}, {0x270A, 0x270B}, {0x2728, 0x2728}, {0x274C, 0x274C}, {0x274E, 0x274E},
        {0x2753, 0x2755}, {0x2757, 0x2757}, {0x2795, 0x2797}, {0x27B0, 0x27B0}, {0x27BF, 0x27BF},
        {0x2B1B, 0x2B1C}, {0x2B50, 0x2B50}, {0x2B55, 0x2B55}};
    for (const auto &[from, to] : kRanges)
        if (u >= from && u <= to) return true;
    return false;
}

bool onWindowThread() {
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Pixmaps need the GUI side of the application.
bool canKeepPixmaps() {
    return onWindowThread() && qobject_cast<QGuiApplication *>(QCoreApplication::instance());
}
} // namespace

EmojiCache &EmojiCache::shared() {
    static EmojiCache cache;
    return cache;
}

EmojiCache::EmojiCache(qsizetype maxBytes)
    : pixmaps_(maxBytes), widths_(kMaxWidths), elided_(kMaxWidths), layouts_(kMaxLayouts) {}

bool EmojiCache::mayHoldEmoji(const QString &text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (c.isSurrogate() || u == 0xFE0F || emojiByDefault(u) || (u >= 0x2300 && u <= 0x23FF) ||
            (u >= 0x2600 && u <= 0x27BF) || (u >= 0x2B00 && u <= 0x2BFF) || u == 0x3030 || u == 0x303D ||
            u == 0x3297 || u == 0x3299)
            return true;
    }
    return false;
}

bool EmojiCache::onlyEmoji(const QString &text) {
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t u = QChar::surrogateToUcs4(c, text[++i]);
            if (!((u >= 0x1F000 && u <= 0x1FAFF) || (u >= 0xE0020 && u <= 0xE007F))) return false;
            any = true;
        } else if (c.isSpace() || c.unicode() == 0xFE0F || c.unicode() == 0x200D || c.unicode() == 0x20E3) {
            continue;
        } else if (emojiByDefault(c.unicode()) || (i + 1 < text.size() && text[i + 1].unicode() == 0xFE0F)) {
            any = true; // an emoji, or the emoji form asked for, which the colour font gives
        } else {
            return false;
        }
    }
    return any;
}

void EmojiCache::clear() {
    prepared_.clear();
    heights_.clear();
    pixmaps_.clear();
    widths_.clear();
    elided_.clear();
    layouts_.clear();
}

bool EmojiCache::blits(const QPainter &p, int flags) {
    return p.isActive() && p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Raster && canKeepPixmaps() &&
           !(flags & Qt::TextDontClip) && p.compositionMode() == QPainter::CompositionMode_SourceOver &&
           p.backgroundMode() == Qt::TransparentMode && p.pen().style() != Qt::NoPen &&
           p.pen().brush().style() == Qt::SolidPattern;
}

bool EmojiCache::draw(QPainter &p, const QRectF &r, int flags, const QString &text, const Render &render) {
    if (!blits(p, flags) || !onlyEmoji(text) || r.isEmpty()) return false;
    // Only a scale (the device pixel ratio) and a move: the pixmap then lands on whole device pixels.
    const QTransform &t = p.deviceTransform();
    if (t.type() > QTransform::TxScale || t.m11() != t.m22() || t.m11() <= 0) return false;
    const double dpr = t.m11();
    if (r.width() * r.height() * dpr * dpr > kMaxPixels) return false;
    // The pixmap must resolve point sizes as the painter's device does.
    static const int pixmapDpiX = QPixmap(1, 1).logicalDpiX(), pixmapDpiY = QPixmap(1, 1).logicalDpiY();
    if (p.device()->logicalDpiX() != pixmapDpiX || p.device()->logicalDpiY() != pixmapDpiY) return false;

    const QPointF at = t.map(r.topLeft());
    const QPointF whole(std::floor(at.x()), std::floor(at.y()));
    const QPointF frac(std::round((at.x() - whole.x()) * kSubPixelSteps) / kSubPixelSteps,
                       std::round((at.y() - whole.y()) * kSubPixelSteps) / kSubPixelSteps);
    const QColor colour = p.pen().color();
    const QString key = text + QChar(0x1F) + fontKey(p.font()) +
                        QString::asprintf("|%llx|%x|%x|%d|%.4f|%.4f|%.5f|%.5f|%.5f",
                                          static_cast<unsigned long long>(colour.rgba64()), unsigned(flags),
                                          unsigned(p.renderHints().toInt()), int(p.layoutDirection()),
                                          r.width(), r.height(), frac.x(), frac.y(), dpr);
    const QPointF origin = r.topLeft() - frac / dpr; // where the pixmap's first pixel lands, whole
    if (const QPixmap *kept = pixmaps_.object(key)) {
        p.drawPixmap(origin, *kept);
        return true;
    }
    const QSize device(int(std::ceil(r.width() * dpr + frac.x())),
                       int(std::ceil(r.height() * dpr + frac.y())));
    auto pm = std::make_unique<QPixmap>(device);
    pm->setDevicePixelRatio(dpr);
    pm->fill(Qt::transparent);
    {
        QPainter q(pm.get());
        q.setRenderHints(p.renderHints());
        q.setLayoutDirection(p.layoutDirection());
        q.setFont(p.font());
        q.setPen(p.pen());
        q.translate(frac / dpr);
        render(q, QRectF(QPointF(0, 0), r.size()));
    }
    ++pixmapsMade_;
    p.drawPixmap(origin, *pm);
    const qsizetype bytes = qsizetype(device.width()) * device.height() * 4;
    pixmaps_.insert(key, pm.release(), bytes);
    return true;
}

double EmojiCache::advance(const QFont &font, const QString &text, const std::function<double()> &measure) {
    if (!onWindowThread()) return measure();
    const QString key = text + QChar(0x1F) + fontKey(font);
    if (const double *kept = widths_.object(key)) return *kept;
    const double w = measure();
    ++widthsMeasured_;
    widths_.insert(key, new double(w));
    return w;
}

double EmojiCache::height(const QFont &font, const std::function<double()> &measure) {
    if (!onWindowThread()) return measure();
    const QString key = fontKey(font);
    if (const auto kept = heights_.constFind(key); kept != heights_.cend()) return *kept;
    const double h = measure();
    if (heights_.size() < kMaxWidths) heights_.insert(key, h);
    return h;
}

void EmojiCache::addPrepared(const QString &text, const QFont &font, int dpi, double width, const Prepared &made) {
    if (!onWindowThread()) return;
    const QString key = text + QChar(0x1F) + fontKey(font);
    if (!widths_.contains(key)) widths_.insert(key, new double(width));
    if (made.pictures.isEmpty()) return;
    // Each language and font scale prepares its own: those of earlier ones go once the cache is full.
    if (prepared_.size() >= kMaxLayouts) prepared_.clear();
    prepared_.insert(key + QStringLiteral("|%1").arg(dpi), made);
}

bool EmojiCache::drawPrepared(QPainter &p, const QRectF &r, int flags, const QString &text) {
    if (prepared_.isEmpty() || r.isEmpty() || !blits(p, flags) || p.layoutDirection() == Qt::RightToLeft ||
        (flags & ~(Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask | Qt::TextSingleLine)))
        return false;
    const QTransform &t = p.deviceTransform();
    if (t.type() > QTransform::TxTranslate || p.device()->logicalDpiX() != p.device()->logicalDpiY()) return false;
    const auto it = prepared_.constFind(text + QChar(0x1F) + fontKey(p.font()) +
                                        QStringLiteral("|%1").arg(p.device()->logicalDpiY()));
    if (it == prepared_.cend()) return false;
    const Prepared &m = *it;
    // The line's origin where QPainter::drawText puts one line in r.
    double xoff = 0, yoff = 0;
    if (flags & Qt::AlignRight)
        xoff = r.width() - m.advance;
    else if (flags & Qt::AlignHCenter)
        xoff = (r.width() - m.advance) / 2;
    if (flags & Qt::AlignBottom)
        yoff = r.height() - m.height;
    else if (flags & Qt::AlignVCenter)
        yoff = (r.height() - m.height) / 2;
    // Placed as the text engine places a line: its origin in 1/64 pixel steps (taken down), each glyph
    // from there; a colour glyph lands on whole device pixels, its x taken down, its baseline rounded.
    const auto fixed = [](double v) { return std::trunc(v * 64.0) / 64.0; };
    const QPointF o(r.x() + xoff, r.y() + yoff);
    const double x0 = fixed(o.x()), base = fixed(o.y()) + m.ascent;
    // Clipped to r where the line does not lie inside it, as drawText clips.
    const bool clip = !r.contains(QRectF(r.x() + (flags & Qt::AlignRight    ? r.width() - m.width
                                                  : flags & Qt::AlignHCenter ? (r.width() - m.width) / 2
                                                                             : 0),
                                             o.y(), m.width, m.height));
    if (clip) {
        p.save();
        p.setClipRect(r, Qt::IntersectClip);
    }
    if (!m.words.isEmpty()) {
        QTextLayout words(m.words, p.font());
        QList<QTextLayout::FormatRange> spacing;
        for (const auto &[at, width] : m.spacers) {
            QTextCharFormat f;
            f.setFontLetterSpacingType(QFont::AbsoluteSpacing);
            f.setFontLetterSpacing(width);
            spacing.append({at, 1, f});
        }
        words.setFormats(spacing);
        QTextOption option(Qt::AlignLeft);
        option.setWrapMode(QTextOption::ManualWrap);
        words.setTextOption(option);
        words.beginLayout();
        QTextLine line = words.createLine();
        line.setLineWidth(0x01000000);
        line.setPosition(QPointF(0, 0));
        words.endLayout();
        // On the baseline the line with its emoji has.
        words.draw(&p, QPointF(o.x(), o.y() + m.ascent - line.ascent()));
    }
    for (const Prepared::Picture &pic : m.pictures) {
        const QPointF glyph = t.map(QPointF(x0 + pic.x, base));
        const QPoint device(int(std::floor(fixed(glyph.x()))) + pic.at.x(),
                            int(std::floor(fixed(glyph.y()) + 0.5)) + pic.at.y());
        p.drawImage(QPointF(device) - QPointF(t.dx(), t.dy()), pic.image);
    }
    if (clip) p.restore();
    ++preparedDrawn_;
    return true;
}

QString EmojiCache::elided(const QFont &font, int dpi, const QString &text, double width,
                           const std::function<QString()> &elide) {
    if (!onWindowThread()) return elide();
    const QString key = text + QChar(0x1F) + fontKey(font) + QString::asprintf("|%.4f|%d", width, dpi);
    if (const QString *kept = elided_.object(key)) return *kept;
    QString cut = elide();
    ++elisionsMade_;
    elided_.insert(key, new QString(cut));
    return cut;
}

const EmojiCache::LaidOut *EmojiCache::laidOut(const QPainter &p, const QString &text, int flags, double width,
                                               const std::function<std::unique_ptr<LaidOut>()> &lay) {
    if (!p.isActive() || !p.paintEngine() || p.paintEngine()->type() != QPaintEngine::Raster || !onWindowThread())
        return nullptr;
    // The font as the painter's device resolves it: its key, and the device's resolution.
    const QString key = text + QChar(0x1F) + fontKey(p.font()) +
                        QString::asprintf("|%x|%.4f|%d", unsigned(flags), width, p.device()->logicalDpiY());
    if (const LaidOut *kept = layouts_.object(key)) return kept;
    std::unique_ptr<LaidOut> made = lay();
    ++layoutsMade_;
    LaidOut *raw = made.get();
    layouts_.insert(key, made.release());
    return raw;
}
