#pragma once
#include <QCache>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QTextLayout>
#include <functional>
#include <memory>

class QFont;
class QPainter;

// Colour emoji are bitmaps: each time a text that holds one is laid out or measured, the font
// library decodes the emoji's PNG again (Qt keeps no glyph cache for such fonts), which costs more
// than the rest of a list row together. This keeps emoji drawn once into a pixmap, per text, font,
// pen colour, frame, flags, position within a device pixel and device pixel ratio, and copies that
// pixmap on later draws; keeps texts with words beside their emoji laid out, and the widths of texts
// holding emoji once measured. Bounded: the least recently used go first. For the window's thread only (elsewhere it draws directly).
class EmojiCache {
public:
    // Draws text (already cut for display) into frame as its painter is set up.
    using Render = std::function<void(QPainter &, const QRectF &frame)>;

    static EmojiCache &shared();
    explicit EmojiCache(qsizetype maxBytes = 6 * 1024 * 1024);

    // Whether text may hold a colour emoji: a character outside the basic plane, U+FE0F or one of
    // the symbol blocks emoji come from. Other texts gain nothing from the cache.
    static bool mayHoldEmoji(const QString &text);

    // Whether text is nothing but colour emoji (and spaces): characters of the emoji blocks beyond
    // the basic plane, those of the basic plane shown as emoji by default, or followed by U+FE0F.
    // Only such texts are kept as pixmaps: the text font's glyphs blend with what lies under them
    // (gamma, sub-pixel order), which a pixmap cannot repeat.
    static bool onlyEmoji(const QString &text);

    // Draws onto p what render(p, r) draws, clipped to r, from the pixmap kept for it (made on first
    // use). Returns false, having drawn nothing, where a pixmap cannot stand in for the text: one
    // that is not only emoji, a painter that is not a raster one on the window's thread, one that
    // rotates or shears, composes other than "source over", draws an opaque background or a pen
    // that is not a plain colour, flags that let the text run outside r, or a frame too large.
    bool draw(QPainter &p, const QRectF &r, int flags, const QString &text, const Render &render);
    // font's width for text as measure() gives it, measured once.
    double advance(const QFont &font, const QString &text, const std::function<double()> &measure);
    // text as elide() cuts it to width in font on a device of dpi, cut once.
    QString elided(const QFont &font, int dpi, const QString &text, double width,
                   const std::function<QString()> &elide);

    // font's line height (QFontMetricsF::height), measured once.
    double height(const QFont &font, const std::function<double()> &measure);

    // A text's emoji drawn ahead of use on a worker (EmojiPrep), where the page that shows the text
    // copies them from, and what placing the text in a frame needs.
    struct Prepared {
        struct Picture {
            QImage image; // the glyph's pixels, cut to where it draws
            QPoint at;    // image's top left from (the glyph's x, the baseline's y) on whole device pixels
            double x = 0; // the glyph's x in the line
        };
        QList<Picture> pictures;
        // The words beside them, each picture's characters replaced by a space letter-spaced to its
        // width (drawn here: they blend with what lies under them); empty for a lone emoji.
        QString words;
        QList<QPair<int, double>> spacers; // each spacer's place in words and its letter spacing
        double advance = 0; // the line's advance, which QPainter::drawText aligns
        double width = 0;   // the width of what it draws, which it clips to the frame
        double height = 0;  // the line's height
        double ascent = 0;  // from the line's top to its baseline
    };
    // Keeps what a worker made for text in font on a device of dpi: its width (as advance() gives it)
    // and the image, where there is one. On the window's thread.
    void addPrepared(const QString &text, const QFont &font, int dpi, double width, const Prepared &made);
    // Draws text as p.drawText(r, flags, text) draws it, its emoji from their prepared images: true, or
    // false having drawn nothing (nothing prepared for it, or a painter or flags a copy cannot serve).
    bool drawPrepared(QPainter &p, const QRectF &r, int flags, const QString &text);
    int preparedDrawn() const { return preparedDrawn_; }

    // A text with words beside its emoji, laid out: drawn again as it is, with no new measuring.
    struct LaidOut {
        QTextLayout layout;
        double height = 0;
    };
    // The layout lay() makes for text in p's font with flags in a frame width wide, made on first
    // use; null where layouts are not kept (a painter that is not a raster one on the window's
    // thread): the caller lays the text out itself.
    const LaidOut *laidOut(const QPainter &p, const QString &text, int flags, double width,
                           const std::function<std::unique_ptr<LaidOut>()> &lay);

    // How many pixmaps were drawn, widths measured and texts laid out since the start (for tests).
    int pixmapsMade() const { return pixmapsMade_; }
    int widthsMeasured() const { return widthsMeasured_; }
    int elisionsMade() const { return elisionsMade_; }
    int layoutsMade() const { return layoutsMade_; }
    void clear();

private:
    // Whether a copy of pixels drawn apart lands on p as drawing there would (see draw()).
    static bool blits(const QPainter &p, int flags);
    QHash<QString, Prepared> prepared_;
    QHash<QString, double> heights_;
    int preparedDrawn_ = 0;
    QCache<QString, QPixmap> pixmaps_;
    QCache<QString, double> widths_;
    QCache<QString, QString> elided_;
    QCache<QString, LaidOut> layouts_;
    int pixmapsMade_ = 0;
    int widthsMeasured_ = 0;
    int elisionsMade_ = 0;
    int layoutsMade_ = 0;
};
