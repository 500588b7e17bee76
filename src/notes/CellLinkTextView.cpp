#include "notes/CellLinkTextView.h"

#include "notes/RtfCodec.h"
#include "ui/WebLinks.h"
#include <QAbstractTextDocumentLayout>
#include <QTextCursor>
#include <QTextDocument>

CellLinkTextView::CellLinkTextView(QWidget *parent) : QTextEdit(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    viewport()->setAttribute(Qt::WA_TransparentForMouseEvents);
}

CellLinkTextView *CellLinkTextView::make(const QString &text, const QFont &font, const QColor &textColor,
                                         const QColor &linkColor, const QRect &frame,
                                         const std::optional<QByteArray> &rtfData) {
    auto *v = new CellLinkTextView;
    v->setGeometry(frame);
    v->setReadOnly(true);
    v->setTextInteractionFlags(Qt::NoTextInteraction);
    v->setFrameShape(QFrame::NoFrame);
    v->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    v->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    v->viewport()->setAutoFillBackground(false);
    QPalette pal = v->palette();
    pal.setColor(QPalette::Base, Qt::transparent);
    v->setPalette(pal);
    v->setLineWrapMode(QTextEdit::FixedPixelWidth);
    v->setLineWrapColumnOrWidth(frame.width());

    QTextDocument *doc = v->document();
    doc->setDocumentMargin(0);
    doc->setDefaultFont(font);
    QTextOption opt = doc->defaultTextOption();
    opt.setWrapMode(QTextOption::WordWrap);
    doc->setDefaultTextOption(opt);

    if (!rtfData || !RtfCodec::read(*rtfData, doc)) {
        doc->clear();
        QTextCursor c(doc);
        QTextCharFormat f;
        f.setFont(font);
        c.insertText(text, f);
    }
    QTextCursor all(doc);
    all.select(QTextCursor::Document);
    QTextCharFormat color;
    color.setForeground(textColor);
    all.mergeCharFormat(color);
    WebLinks::applyDetected(doc, linkColor);
    return v;
}

std::optional<QUrl> CellLinkTextView::linkURL(const QPointF &windowPos) const {
    const QWidget *win = window();
    const QPointF p = win == this ? windowPos : mapFrom(win, windowPos);
    if (!rect().contains(p.toPoint()) || document()->isEmpty()) return std::nullopt;
    const QPointF inViewport = viewport()->mapFrom(this, p);
    const QString href = document()->documentLayout()->anchorAt(inViewport);
    if (href.isEmpty()) return std::nullopt;
    return WebLinks::fromLinkValue(href);
}
