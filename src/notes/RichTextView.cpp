#include "notes/RichTextView.h"

#include "notes/FormatBar.h"
#include "notes/RtfCodec.h"
#include "ui/Fonts.h"
#include "ui/Theme.h"
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {
// One character format run of the selection.
struct Run {
    int start, end;
    QTextCharFormat fmt;
};

std::vector<Run> selectionRuns(QTextDocument *doc, int from, int to) {
    std::vector<Run> runs;
    for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() < to; b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const int s = std::max(from, f.position());
            const int e = std::min(to, f.position() + f.length());
            if (s < e) runs.push_back({s, e, f.charFormat()});
        }
    }
    return runs;
}

// The size a run is stored with (text without one: the base size), the document's sizes being shown
// scale times as large: a step is made on it, so it enlarges what is shown at every font scale.
double storedSizeOf(const QTextCharFormat &f, double scale) {
    const QFont font = f.font();
    if (font.pixelSize() > 0) return std::round(font.pixelSize() / scale);
    if (f.hasProperty(QTextFormat::FontPixelSize)) return std::round(f.intProperty(QTextFormat::FontPixelSize) / scale);
    return RichTextView::kDefaultSize;
}
} // namespace

RichTextView::RichTextView(QWidget *parent) : QTextEdit(parent) {
    setAcceptRichText(true);
    setUndoRedoEnabled(true);
    QFont f = Fonts::plainFont(kDefaultSize);
    document()->setDefaultFont(f);
    FloatingFormatBar::attach(this, [this](int code) { applyFmt(code); });
}

QWidget *RichTextView::formatBar() const { return FloatingFormatBar::barOf(this); }

void applyFormatCode(QTextDocument *doc, int from, int to, int code) {
    if (from >= to || code < 0 || code > 4) return;
    const auto runs = selectionRuns(doc, from, to);
    const double scale = RtfCodec::sizeScale(*doc);
    QTextCursor c(doc);
    c.beginEditBlock();
    for (const Run &r : runs) {
        QTextCharFormat change;
        switch (code) {
        case 0: change.setFontWeight(r.fmt.fontWeight() >= QFont::DemiBold ? QFont::Normal : QFont::Bold); break;
        case 1: change.setFontItalic(!r.fmt.fontItalic()); break;
        case 2: change.setFontUnderline(!r.fmt.fontUnderline()); break;
        case 3:
        case 4: {
            const double size = storedSizeOf(r.fmt, scale);
            const double next = code == 3 ? std::min(72.0, size + 2) : std::max(8.0, size - 2);
            change.setProperty(QTextFormat::FontPixelSize, qRound(next * scale));
            break;
        }
        }
        c.setPosition(r.start);
        c.setPosition(r.end, QTextCursor::KeepAnchor);
        c.mergeCharFormat(change);
    }
    c.endEditBlock();
}

void RichTextView::applyFmt(int code) {
    QTextCursor sel = textCursor();
    if (!sel.hasSelection() || code < 0 || code > 4 || isReadOnly()) return;
    const int from = sel.selectionStart(), to = sel.selectionEnd();
    applyFormatCode(document(), from, to, code);
    sel.setPosition(from);
    sel.setPosition(to, QTextCursor::KeepAnchor);
    setTextCursor(sel);
}

void RichTextView::pastePlain() {
    if (isReadOnly()) return;
    const QString text = QApplication::clipboard()->text();
    if (text.isEmpty()) return;
    textCursor().insertText(text);
}

void RichTextView::keyPressEvent(QKeyEvent *e) {
    const auto mods = e->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (mods == Qt::ControlModifier) {
        switch (e->key()) {
        case Qt::Key_B: applyFmt(0); e->accept(); return;
        case Qt::Key_I: applyFmt(1); e->accept(); return;
        case Qt::Key_U: applyFmt(2); e->accept(); return;
        default: break;
        }
    }
    if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && e->key() == Qt::Key_V) {
        pastePlain();
        e->accept();
    } else {
        QTextEdit::keyPressEvent(e);
    }
}

void RichTextView::insertFromMimeData(const QMimeData *source) {
    QTextCursor c = textCursor();
    c.beginEditBlock();
    QTextEdit::insertFromMimeData(source);
    // Highlights from other programs never come along, also on text that was there before.
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    for (const Run &r : selectionRuns(document(), 0, document()->characterCount())) {
        if (!r.fmt.hasProperty(QTextFormat::BackgroundBrush)) continue;
        QTextCursor rc(document());
        rc.setPosition(r.start);
        rc.setPosition(r.end, QTextCursor::KeepAnchor);
        QTextCharFormat f = r.fmt;
        f.clearBackground();
        rc.setCharFormat(f);
    }
    c.endEditBlock();
}

FmtBarButton::FmtBarButton(const QString &label, int idx, RichTextView *view, QWidget *parent)
    : QWidget(parent), label_(label), idx_(idx), view_(view) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    textColor_ = VF::theme() == AppTheme::dark ? QColor(Qt::white) : VF::text();
}

FmtBarButton::FmtBarButton(const QString &label, std::function<void()> action, QWidget *parent)
    : FmtBarButton(label, -1, nullptr, parent) {
    action_ = std::move(action);
}

void FmtBarButton::setLabelStyle(const QColor &color, bool scaled) {
    textColor_ = color;
    scaledLabel_ = scaled;
    update();
}

void FmtBarButton::setBackground(const QColor &c) {
    own_ = c;
    shown_ = c;
    update();
}

void FmtBarButton::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (shown_.isValid()) {
        p.setPen(Qt::NoPen);
        p.setBrush(shown_);
        p.drawRoundedRect(QRectF(rect()), 5, 5);
    }
    const QFont::Weight weight = idx_ == 0 || boldLabel_ ? QFont::Bold : QFont::Normal;
    p.setFont(scaledLabel_ ? Fonts::scaledFont(13, weight) : Fonts::plainFont(13, weight));
    p.setPen(textColor_);
    p.drawText(rect(), Qt::AlignCenter, label_);
}

void FmtBarButton::mousePressEvent(QMouseEvent *e) {
    e->accept();
    if (action_)
        action_();
    else if (view_)
        view_->applyFmt(idx_);
    shown_ = QColor::fromRgbF(1, 1, 1, 0.2f);
    update();
    QPointer<FmtBarButton> self(this);
    QTimer::singleShot(120, this, [self] {
        if (!self) return;
        self->shown_ = self->own_;
        self->update();
    });
}

QWidget *makeFormatBar(RichTextView *view, const QString &smallerTip, const QString &largerTip, QWidget *parent) {
    QPointer<RichTextView> tv(view);
    return makeFormatBar({[tv](int code) { if (tv) tv->applyFmt(code); }, [tv] { if (tv) tv->undo(); },
                          [tv] { if (tv) tv->redo(); }},
                         smallerTip, largerTip, parent);
}

QWidget *makeFormatBar(const FormatActions &act, const QString &smallerTip, const QString &largerTip, QWidget *parent) {
    auto *bar = new QWidget(parent);
    bar->setObjectName(QStringLiteral("formatBar"));
    bar->setFixedHeight(32);
    bar->setMinimumWidth(300);
    const bool dark = VF::theme() == AppTheme::dark;
    bar->setAutoFillBackground(true);
    QPalette pal = bar->palette();
    pal.setColor(QPalette::Window, dark ? QColor::fromRgbF(1, 1, 1, 0.14f) : QColor::fromRgbF(0.93f, 0.93f, 0.93f));
    bar->setPalette(pal);
    const QColor btnBg = dark ? QColor::fromRgbF(1, 1, 1, 0.22f) : QColor::fromRgbF(0.86f, 0.86f, 0.86f);
    struct Spec {
        QString label;
        int idx;
        QString tip;
    };
    const Spec specs[] = {{QStringLiteral("𝐁"), 0, QStringLiteral("Bold Ctrl+B")},
                          {QStringLiteral("𝐼"), 1, QStringLiteral("Italic Ctrl+I")},
                          {QStringLiteral("U̲"), 2, QStringLiteral("Underline Ctrl+U")},
                          {QStringLiteral("A−"), 4, smallerTip},
                          {QStringLiteral("A+"), 3, largerTip}};
    int x = 6;
    for (const Spec &s : specs) {
        const int w = s.label.size() > 2 || s.label.startsWith(QLatin1Char('A')) ? 38 : 34;
        const int idx = s.idx;
        auto *b = new FmtBarButton(s.label, [act, idx] { act.apply(idx); }, bar);
        b->setBoldLabel(idx == 0);
        b->setToolTip(s.tip);
        b->setBackground(btnBg);
        b->setGeometry(x, 3, w, 26);
        x += w + 4;
    }
    auto *sep = new QWidget(bar);
    sep->setAutoFillBackground(true);
    QPalette sp = sep->palette();
    sp.setColor(QPalette::Window, VF::border());
    sep->setPalette(sp);
    sep->setGeometry(x + 2, 6, 1, 20);
    x += 10;
    auto *undo = new FmtBarButton(QStringLiteral("↩"), act.undo, bar);
    undo->setToolTip(QStringLiteral("Undo Ctrl+Z"));
    undo->setBackground(btnBg);
    undo->setGeometry(x, 3, 32, 26);
    auto *redo = new FmtBarButton(QStringLiteral("↪"), act.redo, bar);
    redo->setToolTip(QStringLiteral("Redo Ctrl+Shift+Z"));
    redo->setBackground(btnBg);
    redo->setGeometry(x + 36, 3, 32, 26);
    return bar;
}
