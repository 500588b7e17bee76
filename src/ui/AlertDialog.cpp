#include "ui/AlertDialog.h"

#include "ui/Fonts.h"
#include "ui/TextFit.h"
#include "ui/Theme.h"
#include "ui/ThemePalette.h"
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr double kMinWidth = 380;
// A path wider than this widens the alert no further: it is cut in the middle instead.
constexpr double kPathMaxWidth = 640;

QLabel *wrapped(const QString &text, const QFont &font) {
    auto *l = new QLabel(text);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    l->setWordWrap(true);
    return l;
}

// A file path quoted in the text, on a line of its own: whole where it fits, else cut in the middle
// with "…" (both ends of a path tell which file it is), its full text in the tool tip. Wrapped with
// the sentence around it, a path broke after any "/" and read as several.
class PathLabel : public QLabel {
public:
    PathLabel(const QString &path, const QFont &font) : path_(path) {
        setTextFormat(Qt::PlainText);
        setFont(font);
        setProperty(TextFit::kElidesProperty, true);
        setTextInteractionFlags(Qt::TextSelectableByMouse);
        setText(path);
    }
    QSize sizeHint() const override {
        const QFontMetrics fm(font());
        const int whole = fm.horizontalAdvance(path_) + 2;
        // Within what a window may take of the screen when it is first sized (two thirds; the
        // margins aside): a wider alert would be narrowed to that after its height was set for its
        // width, cutting its text.
        const QScreen *sc = screen();
        const int room = sc ? sc->availableGeometry().width() / 2 : whole;
        return {std::min({whole, int(VF::scaled(kPathMaxWidth)), room}), fm.height()};
    }
    QSize minimumSizeHint() const override { return {1, QFontMetrics(font()).height()}; }

protected:
    void resizeEvent(QResizeEvent *e) override {
        QLabel::resizeEvent(e);
        const QString shown = fontMetrics().elidedText(path_, Qt::ElideMiddle, contentsRect().width());
        if (shown != text()) setText(shown);
        setToolTip(shown == path_ ? QString() : path_);
    }

private:
    QString path_;
};

// The alert's text as pieces shown one under the other: the text wrapped, each path quoted in it on a
// line of its own. What follows a path on its line goes with it when it is only punctuation, else
// starts the next piece of text.
void addText(QVBoxLayout *outer, const QString &text, const QStringList &paths, const QFont &font) {
    auto *v = new QVBoxLayout;
    v->setSpacing(2);
    outer->addLayout(v);
    QStringList pending;
    const auto flush = [&] {
        qsizetype from = 0;
        while (from < pending.size() && pending[from].isEmpty()) ++from;
        // A blank line between paragraphs, one of which ends with a path, stays a gap.
        if (from > 0 && v->count() > 0) v->addSpacing(QFontMetrics(font).height());
        qsizetype to = pending.size();
        while (to > from && pending[to - 1].isEmpty()) --to;
        if (to > from) {
            QLabel *l = wrapped(pending.mid(from, to - from).join(QLatin1Char('\n')), font);
            l->setObjectName(QStringLiteral("alertText"));
            l->setTextInteractionFlags(Qt::TextSelectableByMouse);
            v->addWidget(l);
        }
        pending.clear();
    };
    for (QString line : text.split(QLatin1Char('\n'))) {
        for (;;) {
            qsizetype at = -1;
            QString path;
            for (const QString &p : paths)
                if (const qsizetype i = p.isEmpty() ? -1 : line.indexOf(p); i >= 0 && (at < 0 || i < at)) {
                    at = i;
                    path = p;
                }
            if (at < 0) break;
            if (const QString lead = line.left(at).trimmed(); !lead.isEmpty()) pending << lead;
            flush();
            QString rest = line.mid(at + path.size());
            const qsizetype word = rest.indexOf(QLatin1Char(' '));
            const QString glued = word < 0 ? rest : rest.left(word);
            if (std::all_of(glued.begin(), glued.end(), [](QChar c) { return c.isPunct(); })) {
                path += glued;
                rest = rest.mid(glued.size());
            }
            auto *l = new PathLabel(path, font);
            l->setObjectName(QStringLiteral("alertPath"));
            v->addWidget(l);
            line = rest.trimmed();
            if (line.isEmpty()) break;
        }
        pending << line;
    }
    flush();
}
} // namespace

AlertDialog::AlertDialog(const Dialogs::Alert &a, QWidget *parent) : QDialog(parent), accessory_(a.accessory) {
    setObjectName(QStringLiteral("alertDialog"));
    setWindowTitle(a.title);
    ThemePalette::applyTo(this);
    setAutoFillBackground(true);
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(20, 18, 20, 16);
    v->setSpacing(10);
    auto *title = wrapped(a.title, Fonts::scaledFont(14, QFont::Bold));
    title->setObjectName(QStringLiteral("alertTitle"));
    v->addWidget(title);
    if (!a.text.isEmpty()) addText(v, a.text, a.paths, Fonts::scaledFont(12.5));
    if (a.accessory) v->addWidget(a.accessory);
    auto *row = new QHBoxLayout;
    row->addStretch();
    const QStringList buttons = a.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : a.buttons;
    for (int i = int(buttons.size()) - 1; i >= 0; --i) {
        auto *b = new QPushButton(buttons[i]);
        b->setObjectName(QStringLiteral("alertButton%1").arg(i));
        b->setFont(Fonts::scaledFont(13));
        b->setFocusPolicy(Qt::NoFocus);
        if (i == 0) {
            b->setDefault(true);
            if (a.firstButtonTint.isValid()) {
                QPalette pal = b->palette();
                pal.setColor(QPalette::ButtonText, a.firstButtonTint);
                b->setPalette(pal);
            }
        }
        connect(b, &QPushButton::clicked, this, [this, i] {
            chosen_ = i;
            accept();
        });
        row->addWidget(b);
    }
    v->addLayout(row);
    setMinimumWidth(int(VF::scaled(kMinWidth)));
}

AlertDialog::~AlertDialog() {
    if (accessory_ && accessory_->parent()) accessory_->setParent(nullptr);
}
