#pragma once
// Whether every text reads against what is drawn behind it: the contrast of its ink with its
// background, measured on the window as grabbed, at least 3:1 (the accessibility guidelines' floor
// for large text; Mivo's own colours aim at 4.5:1). A pair of colours that the design itself gives
// may stay below it: those pairs are listed, each with where it comes from.
#include "exercises/BuiltInExercises.h"
#include "exercises/ExercisesView.h"
#include "pomodoro/TaskCat.h"
#include "ui/Theme.h"
#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QWidget>
#include <cmath>
#include <optional>

namespace ContrastCheck {
inline constexpr double kFloor = 3.0;

// Relative luminance and contrast ratio as the accessibility guidelines define them.
inline double luminance(const QColor &c) {
    auto ch = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * ch(c.redF()) + 0.7152 * ch(c.greenF()) + 0.0722 * ch(c.blueF());
}
inline double ratio(const QColor &a, const QColor &b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
// c drawn over the opaque colour under it.
inline QColor over(const QColor &c, const QColor &under) {
    const float a = c.alphaF();
    return QColor::fromRgbF(c.redF() * a + under.redF() * (1 - a), c.greenF() * a + under.greenF() * (1 - a),
                            c.blueF() * a + under.blueF() * (1 - a));
}

// A text's two colours as drawn.
struct Ink {
    QColor ink, background;
    double contrast = 1;
};

// The background is the colour that covers most of the frame; the ink is the colour of most contrast
// with it among those that recur in the glyphs' box (a glyph's solid strokes repeat one colour, the
// blend at its edges does not), so a text is judged by its strongest strokes, never by its
// antialiasing. Nothing there but the background: no measure.
inline std::optional<Ink> measure(const QImage &img, const QRect &frame, const QRect &glyphs) {
    const QRect f = frame.intersected(img.rect()), g = glyphs.intersected(img.rect());
    if (f.width() < 4 || f.height() < 4 || g.width() < 2 || g.height() < 2) return std::nullopt;
    // Backgrounds may be gradients (the style's buttons): colours a few steps apart count as one, and
    // the background is the mean of the commonest such band.
    QHash<QRgb, int> bands;
    for (int y = f.top(); y <= f.bottom(); ++y)
        for (int x = f.left(); x <= f.right(); ++x) ++bands[img.pixel(x, y) & 0xF0F0F0];
    QRgb band = 0;
    int most = -1;
    for (auto it = bands.cbegin(); it != bands.cend(); ++it)
        if (it.value() > most) most = it.value(), band = it.key();
    qint64 r = 0, gr = 0, b = 0, n = 0;
    for (int y = f.top(); y <= f.bottom(); ++y)
        for (int x = f.left(); x <= f.right(); ++x)
            if (const QRgb px = img.pixel(x, y); (px & 0xF0F0F0) == band) r += qRed(px), gr += qGreen(px), b += qBlue(px), ++n;
    const QRgb bg = qRgb(int(r / n), int(gr / n), int(b / n));
    QHash<QRgb, int> inGlyphs;
    for (int y = g.top(); y <= g.bottom(); ++y)
        for (int x = g.left(); x <= g.right(); ++x) ++inGlyphs[img.pixel(x, y) & 0xFFFFFF];
    Ink out{QColor(bg), QColor(bg), 1};
    for (auto it = inGlyphs.cbegin(); it != inGlyphs.cend(); ++it) {
        if (it.value() < 3) continue;
        if (const double r = ratio(QColor(it.key()), QColor(bg)); r > out.contrast) out = Ink{QColor(it.key()), QColor(bg), r};
    }
    // Below this nothing stands out from the background: no text was drawn there (a frame caught
    // between paints), not a faint one: the faintest text the design has reads at 1.4:1.
    if (out.contrast < 1.25) return std::nullopt;
    return out;
}

// Where a widget's text lies (in the widget), leading emoji left out: they are pictures, not ink.
inline QRect glyphBox(QWidget *w, const QString &shown, Qt::Alignment align, QRect area) {
    const QFontMetricsF fm(w->font());
    qsizetype letters = 0;
    while (letters < shown.size() && !shown[letters].isLetterOrNumber()) ++letters;
    const QString picture = shown.left(letters);
    bool hasEmoji = false;
    for (QChar c : picture) hasEmoji |= c.isSurrogate() || c.category() == QChar::Symbol_Other;
    const double skip = hasEmoji ? fm.horizontalAdvance(picture) : 0;
    const QSize size(int(std::ceil(std::min<double>(fm.horizontalAdvance(shown), area.width()))), int(std::ceil(fm.height())));
    QRect box = QStyle::alignedRect(w->layoutDirection(), align, size, area);
    box.setLeft(box.left() + int(std::ceil(skip)));
    // The line's middle half holds the strokes; above and below are ascenders, descenders and air.
    return box.adjusted(0, box.height() / 4, 0, -box.height() / 4).intersected(area);
}

inline bool near(const QColor &a, const QColor &b, int tol = 10) {
    return std::abs(a.red() - b.red()) <= tol && std::abs(a.green() - b.green()) <= tol && std::abs(a.blue() - b.blue()) <= tol;
}

// A text colour the design gives (its alpha drawn over whatever is behind), with where it is given.
struct DesignInk {
    QColor ink;
    QString where;
};

// The surfaces the design lays its texts on, in the current theme: the palette's, the task panel's
// own and its band, plain white (the dialogs' default buttons), and those under the faint veils the
// design lays over them (the calendar's weekday row, the timer's figure cards, list rows).
inline QList<QColor> designSurfaces() {
    const bool dark = VF::theme() == AppTheme::dark;
    QList<QColor> base{VF::bg(), VF::card(), VF::hdrBg(), VF::sidebar(), VF::today(), VF::activeSide(), QColor(Qt::white),
                       dark ? QColor::fromRgbF(0.07f, 0.11f, 0.08f) : QColor::fromRgbF(0.96f, 0.96f, 0.98f),
                       dark ? QColor::fromRgbF(0.05f, 0.09f, 0.06f) : QColor::fromRgbF(0.88f, 0.88f, 0.92f)};
    QList<QColor> out = base;
    for (const QColor &s : base)
        for (const QColor &veil : {QColor::fromRgbF(1, 1, 1, 0.03f), QColor::fromRgbF(1, 1, 1, 0.05f), QColor::fromRgbF(1, 1, 1, 0.07f),
                                   QColor::fromRgbF(0, 0, 0, 0.06f)})
            out << over(veil, s);
    return out;
}

inline bool onDesignSurface(const QColor &background) {
    for (const QColor &s : designSurfaces())
        if (near(s, background, 8)) return true;
    return false;
}

// The colours the design tints its controls with: the accent, the categories', the phases', the
// exercises' (built-in ones and a new one's), the delete reds and the reset orange.
inline QList<QColor> designTints() {
    QList<QColor> out{VF::accent(), VF::accentDim(), QColor::fromRgbF(1.0f, 0.4f, 0.4f), QColor::fromRgbF(1.0f, 0.35f, 0.35f),
                      QColor::fromRgbF(1.0f, 0.353f, 0.0f), QColor::fromRgbF(0.5f, 0.78f, 1.0f),
                      QColor::fromRgbF(0.2f, 0.72f, 0.42f), QColor::fromRgbF(0.31f, 0.62f, 1.0f),
                      QColor::fromRgbF(0.22f, 0.8f, 0.6f), QColor::fromRgbF(0.9f, 0.3f, 0.3f),
                      ExercisesView::hexColor(QStringLiteral("22C970"))};
    for (TaskCat c : TaskCats::allCases) out << TaskCats::color(c);
    for (const Exercise &e : BuiltInExercises::make(AppLang::en)) out << ExercisesView::hexColor(e.accentHex);
    return out;
}

// The design's tinted controls: a title in one of its tint colours on a fill of the same colour at a
// low alpha (0.08 to 0.35) over one of its surfaces (header buttons, Save, Delete, Run, the runner's
// Pause, the chosen theme card).
inline bool designTint(const Ink &m) {
    bool tint = false;
    for (const QColor &c : designTints()) tint = tint || near(c, m.ink, 8);
    if (!tint) return false;
    for (const QColor &surface : designSurfaces())
        for (int a = 8; a <= 35; ++a) {
            QColor tint = m.ink;
            tint.setAlphaF(float(a / 100.0));
            if (near(over(tint, surface), m.background, 6)) return true;
        }
    return false;
}

// Whether both colours of a measured pair are the design's own: a tinted control, or a design ink on
// a design surface.
inline bool allowed(const QList<DesignInk> &inks, const Ink &m) {
    if (designTint(m)) return true;
    if (!onDesignSurface(m.background)) return false;
    for (const DesignInk &d : inks)
        if (near(over(d.ink, m.background), m.ink, 10)) return true;
    return false;
}

// Every label, button, check box and field under root (shown in window, grabbed as img) whose text
// reads at less than kFloor against its background and whose pair is not in the allowed list.
// designLow, when given, collects the texts under kFloor that the design's own colours excuse, so
// the walk can list them too.
inline QStringList findLowContrast(QWidget *window, const QImage &img, QWidget *root, const QList<DesignInk> &inks,
                                   QStringList *designLow = nullptr) {
    QStringList out;
    for (QWidget *w : root->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(window) || !w->isEnabled() || w->width() < 4 || w->height() < 4) continue;
        QString text;
        QRect area = w->rect();
        Qt::Alignment align = Qt::AlignCenter;
        if (auto *l = qobject_cast<QLabel *>(w)) {
            if (!l->pixmap().isNull() || l->text().isEmpty()) continue;
            text = l->text();
            const bool block = l->wordWrap() || text.contains(QLatin1Char('\n')) || l->textFormat() == Qt::RichText ||
                               (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
            area = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
            align = block ? Qt::Alignment() : l->alignment();
            if (block) text.clear(); // the whole frame is the glyphs' box
        } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            text = b->text().remove(QLatin1Char('&'));
            if (text.isEmpty()) continue;
            if (qobject_cast<QCheckBox *>(b) || qobject_cast<QRadioButton *>(b)) {
                const int skip = b->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, b) +
                                 b->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, b);
                area.setLeft(skip);
                align = Qt::AlignLeft | Qt::AlignVCenter;
            }
        } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
            if (e->text().isEmpty() || e->echoMode() != QLineEdit::Normal) continue;
            text = e->text();
            area = e->rect().adjusted(6, 2, -6, -2);
            align = (e->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
        } else {
            continue;
        }
        const QRect visible = w->visibleRegion().boundingRect();
        if (visible.isEmpty()) continue;
        const QRect glyphs = text.isEmpty() ? area : glyphBox(w, text, align, area);
        const QPoint at = w->mapTo(window, QPoint(0, 0));
        const auto m = measure(img, visible.translated(at), glyphs.intersected(visible).translated(at));
        if (!m || m->contrast >= kFloor) continue;
        const QString shown = qobject_cast<QLabel *>(w) ? static_cast<QLabel *>(w)->text() : text;
        const QString what = QStringLiteral("%1 \"%2\" (%3): contrast %4:1, ink %5 on %6")
                                 .arg(QString::fromLatin1(w->metaObject()->className()), shown.left(40),
                                      w->objectName().isEmpty() ? QStringLiteral("unnamed") : w->objectName())
                                 .arg(m->contrast, 0, 'f', 1)
                                 .arg(m->ink.name(), m->background.name());
        if (!allowed(inks, *m))
            out << what;
        else if (designLow)
            *designLow << what;
    }
    return out;
}
} // namespace ContrastCheck

namespace ContrastCheck {
// The design's text colours that read under kFloor on some of its surfaces, in the current theme,
// each with where it is given.
inline QList<DesignInk> designInks() {
    QList<DesignInk> out{
        {VF::muted(), QStringLiteral("theme palette: muted text (dark and mint)")},
        {VF::sub(), QStringLiteral("theme palette: secondary text")},
        {VF::accent(), QStringLiteral("theme palette: the accent as text (mint)")},
        {QColor::fromRgbF(0.5f, 0.78f, 1.0f), QStringLiteral("notes: the text-note accent (selected card title, kind label, Edit)")},
        {QColor::fromRgbF(0.5f, 0.78f, 1.0f, 0.85f), QStringLiteral("notes: the kind label, the text-note accent at 0.85")},
        {QColor::fromRgbF(1.0f, 0.353f, 0.0f), QStringLiteral("sidebar: the brand label's orange in every theme")},
        {QColor::fromRgbF(0.9f, 0.35f, 0.35f, 0.7f), QStringLiteral("calendar: Saturday and Sunday in the weekday row")},
        {QColor::fromRgbF(0.98f, 0.65f, 0.18f), QStringLiteral("exercises: the playlist's Resume tint")},
        {QColor::fromRgbF(1.0f, 0.35f, 0.35f), QStringLiteral("settings and finances: Erase Everything's and the expense red")},
        {QColor::fromRgbF(0.13f, 0.77f, 0.37f), QStringLiteral("finances: the income green in every theme")},
        {VF::theme() == AppTheme::dark ? QColor::fromRgbF(1, 1, 1, 0.3f) : QColor::fromRgbF(0, 0, 0, 0.5f),
         QStringLiteral("pomodoro: the figure cards' captions")},
    };
    // The timer's heading in its phase's colour at 0.75 (focus blue, short-break green, long-break orange).
    for (QColor phase : {QColor::fromRgbF(0.31f, 0.62f, 1.0f), QColor::fromRgbF(0.22f, 0.8f, 0.6f), QColor::fromRgbF(1.0f, 0.353f, 0.0f)}) {
        phase.setAlphaF(0.75f);
        out.append({phase, QStringLiteral("pomodoro: the timer's heading in its phase's colour at 0.75")});
    }
    for (TaskCat c : TaskCats::allCases)
        out.append({TaskCats::color(c), QStringLiteral("board: the category colours (task panel's header line)")});
    return out;
}
} // namespace ContrastCheck
