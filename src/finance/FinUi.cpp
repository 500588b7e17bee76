#include "finance/FinUi.h"

#include "ui/DisplayText.h"
#include "ui/Geometry.h"
#include <QFontMetricsF>
#include <cmath>

namespace FinUi {
namespace {
constexpr char kFullText[] = "finFullText";
}

void setElided(QLabel *label, const QString &text) {
    label->setProperty(kFullText, text);
    reElide(label);
}

void reElide(QLabel *label) {
    const QString full = DisplayText::cut(label->property(kFullText).toString());
    const QFontMetricsF fm(label->font());
    const int room = label->width() - 2;
    if (room <= 0 || fm.horizontalAdvance(full) <= room) {
        label->setText(full);
        label->setToolTip(QString());
        return;
    }
    label->setText(fm.elidedText(full, Qt::ElideRight, room));
    label->setToolTip(full);
}

void placeText(QWidget *w, double parentH, double x, double y, double width, double height) {
    const double need = std::ceil(QFontMetricsF(w->font()).height()) + 2;
    const double h = std::max(height, need);
    w->setGeometry(yUp(parentH, x, y + height - h, width, h));
    if (auto *l = qobject_cast<QLabel *>(w)) reElide(l);
}
} // namespace FinUi
