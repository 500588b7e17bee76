#include "notes/EmojiAhead.h"

#include "notes/NoteDocument.h"
#include "notes/PacedLayout.h"
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QTimer>
#include <QtMath>
#include <memory>
#include <vector>

namespace NoteDocument {
namespace {
// Drawn per turn: a picture decoded and cached costs about a millisecond on a busy machine.
constexpr int kPerTurn = 2;
// The most told apart at a text's start: a screenful holds far fewer.
constexpr int kMostEmoji = 64;

int g_drawn = 0;

struct Ahead : QObject {
    QStringList emoji;
    QFont font;
    QColor colour;
    qsizetype next = 0;
    std::vector<std::unique_ptr<QTextLayout>> held; // hold their font engines, with the glyphs drawn
    void step() {
        for (int n = 0; n < kPerTurn && next < emoji.size(); ++n)
            draw(emoji.at(next++));
        if (next < emoji.size()) QTimer::singleShot(0, this, [this] { step(); });
    }
    void draw(const QString &one) {
        auto tl = std::make_unique<QTextLayout>(one, font);
        QTextCharFormat fg;
        fg.setForeground(colour);
        QList<QTextLayout::FormatRange> formats{{0, int(one.size()), fg}};
        formats += emojiLooks(one);
        tl->setFormats(formats);
        tl->setCacheEnabled(true);
        tl->beginLayout();
        QTextLine line = tl->createLine();
        tl->endLayout();
        if (!line.isValid()) return;
        const qreal dpr = qApp ? qApp->devicePixelRatio() : 1.0;
        QImage image(QSize(qCeil((line.naturalTextWidth() + 8) * dpr), qCeil((line.height() + 2) * dpr)),
                     QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setPen(colour);
        tl->draw(&p, QPointF(0, 0));
        held.push_back(std::move(tl));
        ++g_drawn;
    }
};

QPointer<Ahead> g_ahead;
} // namespace

void drawEmojiAheadOf(QStringView start, const Style &style) {
    QStringList emoji;
    QTextBoundaryFinder chars(QTextBoundaryFinder::Grapheme, start.data(), start.size());
    for (qsizetype from = 0, to = chars.toNextBoundary(); to > 0 && emoji.size() < kMostEmoji;
         from = to, to = chars.toNextBoundary()) {
        const QStringView one = start.sliced(from, to - from);
        const char16_t first = one.front().unicode();
        const bool coloured = (first >= 0xD83C && first <= 0xD83E && one.size() >= 2) || one.contains(QChar(0xFE0F));
        if (coloured && !emoji.contains(one)) emoji << one.toString();
    }
    if (emoji.isEmpty()) return;
    delete g_ahead; // the fonts of the text before are let go of
    auto *ahead = new Ahead;
    ahead->moveToThread(qApp->thread());
    ahead->emoji = std::move(emoji);
    ahead->font = style.font;
    ahead->colour = style.text;
    g_ahead = ahead;
    QTimer::singleShot(0, ahead, [ahead] { ahead->step(); });
}

int emojiDrawnAhead() {
    return g_drawn;
}
} // namespace NoteDocument
