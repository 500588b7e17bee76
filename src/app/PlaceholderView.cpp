#include "app/PlaceholderView.h"

#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Theme.h"
#include <QLabel>

PlaceholderView::PlaceholderView(const QString &title, const QString &emoji, QWidget *parent)
    : QWidget(parent), label_(new QLabel(this)) {
    QPalette p = palette();
    p.setColor(QPalette::Window, VF::bg());
    setPalette(p);
    setAutoFillBackground(true);
    label_->setText(emoji + QLatin1Char('\n') + title);
    label_->setAlignment(Qt::AlignCenter);
    label_->setFont(Fonts::scaledFont(18, QFont::Medium));
    QPalette lp = label_->palette();
    lp.setColor(QPalette::WindowText, VF::sub());
    label_->setPalette(lp);
}

QString PlaceholderView::text() const { return label_->text(); }

QString PlaceholderView::capitalized(const QString &id) {
    QString out = id.toLower();
    bool start = true;
    for (QChar &c : out) {
        if (c.isLetterOrNumber()) {
            if (start) c = c.toUpper();
            start = false;
        } else {
            start = true;
        }
    }
    return out;
}

void PlaceholderView::resizeEvent(QResizeEvent *) {
    label_->setGeometry(yUp(height(), (width() - 400) / 2.0, (height() - 60) / 2.0, 400, 60));
}
