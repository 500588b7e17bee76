#include "ui/AlertDialog.h"

#include "ui/Fonts.h"
#include "ui/Theme.h"
#include "ui/ThemePalette.h"
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr double kMinWidth = 380;

QLabel *wrapped(const QString &text, const QFont &font) {
    auto *l = new QLabel(text);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    l->setWordWrap(true);
    return l;
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
    if (!a.text.isEmpty()) {
        auto *text = wrapped(a.text, Fonts::scaledFont(12.5));
        text->setObjectName(QStringLiteral("alertText"));
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        v->addWidget(text);
    }
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
