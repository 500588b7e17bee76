#include "ui/WidgetDialogs.h"

#include "ui/Fonts.h"
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

int WidgetDialogs::alert(QWidget *parent, const Alert &a) {
    QDialog d(parent ? parent->window() : nullptr);
    d.setWindowTitle(a.title);
    d.setWindowModality(Qt::ApplicationModal);
    auto *v = new QVBoxLayout(&d);
    v->setContentsMargins(20, 18, 20, 16);
    v->setSpacing(10);
    // Titles and texts quote user data (file names, titles): never read them as markup.
    auto *title = new QLabel(a.title);
    title->setTextFormat(Qt::PlainText);
    title->setFont(Fonts::plainFont(14, QFont::Bold));
    title->setWordWrap(true);
    v->addWidget(title);
    if (!a.text.isEmpty()) {
        auto *text = new QLabel(a.text);
        text->setTextFormat(Qt::PlainText);
        text->setWordWrap(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        v->addWidget(text);
    }
    if (a.accessory) v->addWidget(a.accessory);
    auto *row = new QHBoxLayout;
    row->addStretch();
    const QStringList buttons = a.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : a.buttons;
    int chosen = -1;
    // Buttons read right to left, the first (default) one rightmost.
    for (int i = int(buttons.size()) - 1; i >= 0; --i) {
        auto *b = new QPushButton(buttons[i]);
        b->setFocusPolicy(Qt::NoFocus);
        if (i == 0) b->setDefault(true);
        if (i == 0 && a.firstButtonTint.isValid()) {
            QPalette pal = b->palette();
            pal.setColor(QPalette::ButtonText, a.firstButtonTint);
            b->setPalette(pal);
        }
        QObject::connect(b, &QPushButton::clicked, &d, [&d, &chosen, i] {
            chosen = i;
            d.accept();
        });
        row->addWidget(b);
    }
    v->addLayout(row);
    d.setMinimumWidth(380);
    d.exec();
    if (a.accessory) a.accessory->setParent(nullptr); // the caller owns it and reads it afterwards
    return chosen;
}

QString WidgetDialogs::savePath(QWidget *parent, const QString &title, const QString &proposedName,
                                const QStringList &filters) {
    return QFileDialog::getSaveFileName(parent, title, QDir::home().filePath(proposedName),
                                        filters.join(QStringLiteral(";;")));
}

QString WidgetDialogs::openPath(QWidget *parent, const QString &title, const QStringList &filters) {
    return QFileDialog::getOpenFileName(parent, title, QDir::homePath(), filters.join(QStringLiteral(";;")));
}

QStringList WidgetDialogs::openPaths(QWidget *parent, const QString &title, const QStringList &filters) {
    return QFileDialog::getOpenFileNames(parent, title, QDir::homePath(), filters.join(QStringLiteral(";;")));
}

void WidgetDialogs::installAsDefault() {
    static WidgetDialogs real;
    Dialogs::install(&real);
}
