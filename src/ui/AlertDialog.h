#pragma once
#include "platform/Dialogs.h"
#include <QDialog>
#include <QPointer>

// An alert as a dialog: the title, the text, the caller's accessory under it and the buttons, read
// right to left with the first (the default) rightmost. It is drawn in the current theme's colours
// and its fonts and minimum width follow the font scale. Titles and texts quote user data (file
// names, titles), so they are never read as markup.
class AlertDialog : public QDialog {
    Q_OBJECT
public:
    AlertDialog(const Dialogs::Alert &a, QWidget *parent);
    // The accessory belongs to the caller: it is handed back, not deleted with the dialog.
    ~AlertDialog() override;
    // The index of the button clicked (0 for the first); -1 until one is.
    int chosen() const { return chosen_; }

private:
    QPointer<QWidget> accessory_;
    int chosen_ = -1;
};
