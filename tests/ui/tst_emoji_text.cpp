#include "common/TestEnv.h"
#include "finance/FinanceView.h"
#include "settings/SupportView.h"
#include "stats/StatsContentView.h"
#include "stats/StatsModel.h"
#include "ui/Theme.h"
#include "ui/EmojiCache.h"
#include "ui/EmojiPrep.h"
#include "ui/EmojiText.h"
#include "ui/Fonts.h"
#include "ui/NoFocusRingStyle.h"
#include "ui/TextFit.h"
#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetricsF>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QtTest>
#include <cmath>

// ❤️ (U+2764 U+FE0F) and the other emoji the text font also has an outline glyph for draw in colour,
// in painted texts, labels (single line and wrapped), kit labels and pop-ups.
class TstEmojiText : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void initTestCase() {
        Fonts::applyAppFont();
        NoFocusRingStyle::install(); // as the app does
    }
    void paintedTextsDrawTheHeartInColour();
    void widgetsDrawTheHeartInColour();
    void pagesDrawTheHeartInColour();
    void emojiAreDrawnOncePerFontAndColour();
    void aLineCutToItsFrameIsCutAndLaidOutOnce();
    void aTextSaidToFitIsNoWiderThanItsFrame();
    void emojiDrawnAheadLandWhereDrawTextPutsThem();
};

namespace {
const QString kHeartText = QStringLiteral("❤️ Expense");

// Pixels of the colour heart: a strong red no text colour of the app uses.
int redPixels(const QImage &img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            n += c.red() > 180 && c.green() < 100 && c.blue() < 100;
        }
    return n;
}

// A page built and shown as the page switcher shows it.
template <class P> std::unique_ptr<P> openPage() {
    auto page = std::make_unique<P>();
    page->resize(979, 760);
    page->setup();
    page->show();
    if (!QTest::qWaitForWindowExposed(page.get())) return nullptr;
    page->refresh();
    QCoreApplication::processEvents();
    return page;
}

QImage painted(const std::function<void(QPainter &)> &paint) {
    QImage img(320, 80, QImage::Format_ARGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setFont(Fonts::plainFont(20));
    p.setPen(Qt::black);
    paint(p);
    return img;
}
} // namespace

void TstEmojiText::paintedTextsDrawTheHeartInColour() {
    QVERIFY(EmojiText::needsColourFont(kHeartText));
    QVERIFY(!EmojiText::needsColourFont(QStringLiteral("💚 Income"))); // the text font has no 💚: it falls back by itself
    QVERIFY(redPixels(painted([](QPainter &p) {
                EmojiText::draw(p, QRectF(0, 0, 320, 80), Qt::AlignLeft | Qt::AlignVCenter, kHeartText);
            })) > 20);
    // Wrapped over lines, and in the kit's fitting draw (also when it has to cut the text).
    QVERIFY(redPixels(painted([](QPainter &p) {
                EmojiText::draw(p, QRectF(0, 0, 120, 80), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                                QStringLiteral("❤️ Your support keeps Mivo alive"));
            })) > 20);
    QVERIFY(redPixels(painted([](QPainter &p) {
                TextFit::drawText(p, nullptr, QRectF(0, 0, 90, 80), Qt::AlignLeft | Qt::AlignVCenter,
                                  QStringLiteral("❤️ Health and a long tail"));
            })) > 20);
    // The colour heart is wider than the outline one: measures follow what is drawn.
    QVERIFY(EmojiText::advance(Fonts::plainFont(20), kHeartText) >
            QFontMetricsF(Fonts::plainFont(20)).horizontalAdvance(kHeartText));
}

void TstEmojiText::widgetsDrawTheHeartInColour() {
    QLabel line(kHeartText);
    line.setFont(Fonts::plainFont(20));
    line.resize(300, 40);
    QVERIFY(redPixels(line.grab().toImage()) > 20);

    QLabel wrapped(QStringLiteral("❤️  Your support directly funds development time and keeps Mivo alive."));
    wrapped.setFont(Fonts::plainFont(16));
    wrapped.setWordWrap(true);
    wrapped.resize(200, 120);
    QVERIFY(redPixels(wrapped.grab().toImage()) > 20);

    FitLabel fit(kHeartText);
    fit.setFont(Fonts::plainFont(20));
    fit.resize(300, 40);
    QVERIFY(redPixels(fit.grab().toImage()) > 20);

    QComboBox combo;
    combo.setFont(Fonts::plainFont(20));
    combo.addItem(QStringLiteral("💚 Income"));
    combo.addItem(kHeartText);
    combo.setCurrentIndex(1);
    EmojiText::colourItems(&combo);
    combo.resize(260, 40);
    QVERIFY(redPixels(combo.grab().toImage()) > 20);
    combo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&combo));
    combo.showPopup(); // the list the pop-up opens
    QTRY_VERIFY(combo.view()->isVisible());
    QVERIFY(redPixels(combo.view()->grab().toImage()) > 20);
    combo.hidePopup();
}

// Where the heart was drawn in outline: the support page's title and third card, the finance type
// pop-up's "❤️ Expense" and the statistics' Health row.
void TstEmojiText::pagesDrawTheHeartInColour() {
    TempPrefs prefs;
    VF::setTheme(AppTheme::silver);
    {
        auto support = openPage<SupportView>();
        QVERIFY(support);
        int hearts = 0;
        for (QLabel *l : support->findChildren<QLabel *>()) {
            if (!l->isVisible() || !l->text().startsWith(QStringLiteral("❤️"))) continue;
            QVERIFY2(redPixels(l->grab().toImage()) > 20, qPrintable(l->text()));
            ++hearts;
        }
        QCOMPARE(hearts, 2);
    }
    {
        auto finance = openPage<FinanceView>();
        QVERIFY(finance);
        QComboBox *type = finance->typePopup();
        QVERIFY(type);
        type->setCurrentIndex(type->findText(QStringLiteral("❤️"), Qt::MatchStartsWith));
        QVERIFY(type->currentIndex() >= 0);
        QVERIFY(redPixels(type->grab().toImage()) > 20);
        type->showPopup();
        QTRY_VERIFY(type->view()->isVisible());
        QVERIFY(redPixels(type->view()->grab().toImage()) > 20);
        type->hidePopup();
    }
    {
        StatsModel model;
        model.tasks.title = QStringLiteral("Tasks");
        model.tasks.rows.push_back({QStringLiteral("❤️"), QStringLiteral("Health"), QStringLiteral("3"), 0.5, Qt::blue, false});
        StatsContentView stats;
        stats.setModel(model, 600);
        QVERIFY(redPixels(stats.grab().toImage()) > 20);
    }
}

// Colour emoji are decoded from PNG at every layout; the cache draws each text once per font, colour,
// frame, position within a pixel and pixel ratio, and copies it after that, as a direct draw shows it.
void TstEmojiText::emojiAreDrawnOncePerFontAndColour() {
    // Only texts the colour font draws whole are kept: the text font's glyphs blend with what lies
    // under them, which a pixmap cannot repeat.
    for (const char *e : {"📝", "⏰", "❤️", "🏃‍♀️", "1️⃣", "🍅 🍅"})
        QVERIFY2(EmojiCache::onlyEmoji(QString::fromUtf8(e)), e);
    for (const char *t : {"", " ", "❤", "✕", "📝 Note", "→", "₴"})
        QVERIFY2(!EmojiCache::onlyEmoji(QString::fromUtf8(t)), t);
    EmojiCache &cache = EmojiCache::shared();
    cache.clear();
    const QString note = QStringLiteral("📝");
    const QFont small = Fonts::plainFont(18), large = Fonts::plainFont(24);
    auto draw = [&](const QFont &f, const QColor &c, const QRectF &r, const QString &text, int extra = 0) {
        QImage img(120, 80, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setFont(f);
        p.setPen(c);
        EmojiText::draw(p, r, Qt::AlignCenter | extra, text);
        return img;
    };
    const int made = cache.pixmapsMade();
    const QImage first = draw(small, Qt::black, QRectF(10, 10, 30, 30), note);
    QCOMPARE(cache.pixmapsMade(), made + 1);
    // The same text elsewhere, by whole pixels: the kept pixmap, in the same place relative to its frame.
    const QImage moved = draw(small, Qt::black, QRectF(50, 30, 30, 30), note);
    QCOMPARE(cache.pixmapsMade(), made + 1);
    QCOMPARE(moved.copy(50, 30, 30, 30), first.copy(10, 10, 30, 30));
    draw(large, Qt::black, QRectF(10, 10, 30, 30), note);       // another size
    draw(small, QColor(Qt::red), QRectF(10, 10, 30, 30), note); // another pen
    draw(small, Qt::black, QRectF(10.5, 10, 30, 30), note);     // half a pixel over
    QCOMPARE(cache.pixmapsMade(), made + 4);

    // Drawn from the cache as a direct draw draws it (a text that may run outside its frame is
    // always drawn directly), for an emoji and one asked for by U+FE0F, on whole pixels or between.
    const QString heart = QStringLiteral("❤️");
    for (const QString &text : {note, heart})
        for (const double off : {0.0, 0.25, 0.5, 0.75}) {
            const QRectF r(4 + off, 20 + off, 112, 40);
            const QImage direct = draw(small, Qt::darkBlue, r, text, Qt::TextDontClip);
            const QImage kept = draw(small, Qt::darkBlue, r, text);
            QVERIFY(redPixels(direct) > 20 || text == note);
            int worst = 0;
            for (int y = 0; y < direct.height(); ++y)
                for (int x = 0; x < direct.width(); ++x) {
                    const QRgb a = direct.pixel(x, y), b = kept.pixel(x, y);
                    worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                      std::abs(qBlue(a) - qBlue(b))});
                }
            QVERIFY2(worst <= 3,
                     qPrintable(QStringLiteral("%1 at %2: off by %3").arg(text).arg(r.x()).arg(worst)));
        }
    // Words beside an emoji, and a rotated painter, draw directly and keep no pixmap; the words'
    // layout is kept, and drawn again as it was.
    const int before = cache.pixmapsMade(), laid = cache.layoutsMade();
    const QImage words = draw(small, Qt::black, QRectF(4, 20, 112, 40), kHeartText);
    QVERIFY(redPixels(words) > 20);
    QCOMPARE(draw(small, Qt::black, QRectF(4, 20, 112, 40), kHeartText), words);
    QCOMPARE(cache.layoutsMade(), laid + 1);
    QImage turned(120, 120, QImage::Format_ARGB32_Premultiplied);
    turned.fill(Qt::white);
    {
        QPainter p(&turned);
        p.setFont(small);
        p.translate(60, 0);
        p.rotate(30);
        EmojiText::draw(p, QRectF(0, 0, 110, 40), Qt::AlignLeft | Qt::AlignVCenter, heart);
    }
    QCOMPARE(cache.pixmapsMade(), before);
    QVERIFY(redPixels(turned) > 20);
    // Widths are measured once per text and font.
    const int measured = cache.widthsMeasured();
    const double w = EmojiText::advance(small, kHeartText);
    QCOMPARE(EmojiText::advance(small, kHeartText), w);
    QVERIFY(EmojiText::advance(large, kHeartText) > w);
    QCOMPARE(cache.widthsMeasured(), measured + 2);
}

// A list's line of emoji and words, wider than its frame: drawn exactly as the text cut with "…" is
// drawn, cut and laid out once however often it is painted, and cut again for a frame of another width.
void TstEmojiText::aLineCutToItsFrameIsCutAndLaidOutOnce() {
    EmojiCache &cache = EmojiCache::shared();
    cache.clear();
    const QString preview = QStringLiteral("🙂🎉🔥😀🚀 words 🌟💡🍀🎈😎 example 🙂🎉🔥");
    const QFont font = Fonts::plainFont(10);
    const auto paint = [&](const std::function<void(QPainter &)> &draw) {
        QImage img(260, 40, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setFont(font);
        p.setPen(Qt::darkGray);
        draw(p);
        return img;
    };
    const int flags = Qt::AlignLeft | Qt::AlignVCenter;
    for (const double width : {120.0, 200.0}) {
        const QRectF r(6, 8, width, 18);
        const int cut = cache.elisionsMade(), laid = cache.layoutsMade();
        const QImage first = paint([&](QPainter &p) { EmojiText::drawElided(p, r, flags, preview); });
        const QImage again = paint([&](QPainter &p) { EmojiText::drawElided(p, r, flags, preview); });
        QCOMPARE(again, first);
        QCOMPARE(cache.elisionsMade(), cut + 1);
        QCOMPARE(cache.layoutsMade(), laid + 1);
        const QImage direct = paint([&](QPainter &p) {
            p.drawText(r, flags, QFontMetricsF(p.font(), p.device()).elidedText(preview, Qt::ElideRight, r.width()));
        });
        QCOMPARE(first, direct);
    }
}

// A label whose emoji are not measured because its text surely fits must really fit: otherwise its
// end is cut without "…". Emoji, flags, joined families, keycaps, symbols, at three sizes, in frames
// from a little narrower to a little wider than the text.
void TstEmojiText::aTextSaidToFitIsNoWiderThanItsFrame() {
    const QStringList texts = {QStringLiteral("🔕"), QStringLiteral("⚙️  Settings"), QStringLiteral("🇺🇦🇵🇱🇩🇪"),
                               QStringLiteral("👨‍👩‍👧‍👦 family"), QStringLiteral("1️⃣#️⃣ keys"), QStringLiteral("✓ ✅ ⏱ 🍅 WWW"),
                               QStringLiteral("🙂🎉🔥😀🚀🌟💡🍀🎈😎"), QStringLiteral("Sprachänderungen 🌐")};
    int fits = 0;
    for (const double size : {9.0, 13.0, 26.0}) {
        const QFont font = Fonts::plainFont(size);
        for (const QString &text : texts) {
            const double w = EmojiText::advance(font, text);
            for (const double frame : {w * 0.9, w, w * 1.5, w * 3})
                if (EmojiText::surelyFits(font, text, frame)) {
                    ++fits;
                    QVERIFY2(w <= frame, qPrintable(QStringLiteral("%1 at %2: %3 wide, said to fit %4")
                                                        .arg(text).arg(size).arg(w).arg(frame)));
                }
        }
        QVERIFY(!EmojiText::surelyFits(font, QStringLiteral("no emoji"), 1000)); // measured as before
    }
    QVERIFY(fits > 0); // a frame wide enough is told without measuring
    // A kit label of one emoji in a frame a little wider than the emoji (a page's icons) is drawn
    // without measuring its text first: measuring decodes the emoji's picture, which the draw
    // decodes again. The colour font's width is measured once for the font.
    EmojiCache &cache = EmojiCache::shared();
    cache.clear();
    const QFont font = Fonts::plainFont(17);
    const int frame = int(std::ceil(EmojiText::advance(font, QStringLiteral("🔔")))) + 3;
    QVERIFY(frame < 1.5 * QFontMetricsF(font).height()); // told apart from a frame 1.5 lines wide
    const int measured = cache.widthsMeasured();
    for (const char *icon : {"🔔", "📦", "🎨", "🌐", "🗂"}) {
        FitLabel l(QString::fromUtf8(icon));
        l.setFont(font);
        l.resize(frame, 30);
        l.grab();
        QVERIFY2(!l.isElided(), icon);
    }
    QVERIFY2(cache.widthsMeasured() <= measured + 1, qPrintable(QString::number(cache.widthsMeasured() - measured)));
}

// Emoji drawn ahead on a worker and copied where the page draws their text land on the pixels
// QPainter::drawText gives them, and the words beside them too, in any alignment, frame and position
// within a pixel (a colour glyph lands on whole pixels: its x taken down, its baseline rounded), in
// the fonts the pages use, with the colour font first or behind the text font, in any pen (the colour
// font ignores it). What a copy cannot stand in for is drawn as before.
void TstEmojiText::emojiDrawnAheadLandWhereDrawTextPutsThem() {
    EmojiCache &cache = EmojiCache::shared();
    cache.clear();
    QFont bold = Fonts::plainFont(13);
    bold.setWeight(QFont::DemiBold);
    const QList<QFont> fonts = {Fonts::plainFont(10), bold, Fonts::plainFont(20.8), Fonts::plainFont(36.4),
                                EmojiText::colourFirst(Fonts::plainFont(17.25)), Fonts::monoDigits(14)};
    // ⏱ is the colour font's by default. ✓ comes from a text font (in the pen's colour), ⚙️ asks for
    // the emoji form (drawn another way), a family is a joined sequence, a flag a pair of letters and
    // a thumb takes a skin tone: those are drawn as before.
    const QStringList copied = {QStringLiteral("🍅"), QStringLiteral("⏱"), QStringLiteral("🍅🔥"),
                                QStringLiteral("🍅  Помодоро"), QStringLiteral("1. 🧠 Work 25 min, no distractions"),
                                QStringLiteral("⏸ Pause"), QStringLiteral("✓ done 📥"), QStringLiteral("Total ✅ ")};
    const QStringList asBefore = {QStringLiteral("✓"), QStringLiteral("⚙️"), QStringLiteral("👨‍👩‍👧 family"),
                                  QStringLiteral("🇺🇦 UA"), QStringLiteral("👍🏽 ok"), QStringLiteral("no emoji")};
    QList<EmojiPrep::Text> texts;
    for (const QFont &f : fonts)
        for (const QString &t : copied + asBefore) texts.append({t, f});
    EmojiPrep::prepareNow(texts, QImage(1, 1, QImage::Format_ARGB32).logicalDpiY());
    const auto paint = [&](const QFont &f, const QColor &pen, const std::function<void(QPainter &)> &draw) {
        QImage img(240, 72, QImage::Format_ARGB32_Premultiplied);
        img.fill(QColor(0x30, 0x40, 0x50));
        QPainter p(&img);
        p.setFont(f);
        p.setPen(pen);
        p.translate(3, 2); // a widget's place in its window
        draw(p);
        return img;
    };
    const int aligns[] = {Qt::AlignCenter, Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignRight | Qt::AlignBottom,
                          Qt::AlignLeft | Qt::AlignTop, Qt::AlignHCenter | Qt::AlignTop};
    for (const QFont &f : fonts)
        for (const QString &t : copied + asBefore)
            for (const int align : aligns)
                for (int step = 0; step < 12; ++step) {
                    // Frames a whole or a fraction of a pixel over and wide, down to 1/128 of one;
                    // the last ones lower than the line, which drawText clips.
                    const double fx = step * 5 / 64.0 + (step % 3) / 128.0, fy = step * 11 % 64 / 64.0 + (step % 2) / 128.0;
                    const QRectF r(4 + fx, 5 + fy, 200 + step % 3 + fx, step > 9 ? 14 : 44 + step % 2);
                    const QColor pen = step % 2 ? QColor(Qt::white) : QColor(Qt::darkBlue);
                    const QImage direct = paint(f, pen, [&](QPainter &p) { p.drawText(r, align, t); });
                    const int drawn = cache.preparedDrawn();
                    const QImage kept = paint(f, pen, [&](QPainter &p) { EmojiText::drawPlain(p, r, align, t); });
                    QCOMPARE(cache.preparedDrawn() > drawn, copied.contains(t));
                    if (!copied.contains(t)) continue;
                    int worst = 0;
                    for (int y = 0; y < direct.height(); ++y)
                        for (int x = 0; x < direct.width(); ++x) {
                            const QRgb a = direct.pixel(x, y), b = kept.pixel(x, y);
                            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                              std::abs(qBlue(a) - qBlue(b))});
                        }
                    QVERIFY2(worst <= 3, qPrintable(QStringLiteral("%1 at %2 px in (%3, %4, %5 × %6), flags %7: off by %8")
                                                        .arg(t).arg(f.pointSizeF() * 96 / 72).arg(r.x()).arg(r.y())
                                                        .arg(r.width()).arg(r.height()).arg(align).arg(worst)));
                }
    // The kit's label draws from the copy; widths and the fonts' line heights are taken as the worker
    // measured them.
    const int drawn = cache.preparedDrawn(), measured = cache.widthsMeasured();
    FitLabel label(copied[3]);
    label.setFont(fonts[1]);
    label.resize(200, 30);
    label.grab();
    QCOMPARE(cache.preparedDrawn(), drawn + 1);
    QCOMPARE(EmojiText::advance(fonts[0], copied[2]), EmojiText::measure(fonts[0], copied[2]));
    QCOMPARE(EmojiText::height(fonts[2]), QFontMetricsF(fonts[2]).height());
    QCOMPARE(cache.widthsMeasured(), measured);
    // Texts prepared for one language after another: the last ones are always kept.
    QList<EmojiPrep::Text> many;
    for (int i = 0; i < 600; ++i) many.append({QStringLiteral("🍅 %1").arg(i), fonts[0]});
    EmojiPrep::prepareNow(many, QImage(1, 1, QImage::Format_ARGB32).logicalDpiY());
    const int last = cache.preparedDrawn();
    paint(fonts[0], Qt::black, [&](QPainter &p) { EmojiText::drawPlain(p, QRectF(0, 0, 200, 30), Qt::AlignLeft, many.last().text); });
    QCOMPARE(cache.preparedDrawn(), last + 1);
}

QTEST_MAIN(TstEmojiText)
#include "tst_emoji_text.moc"
