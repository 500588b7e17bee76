#pragma once
#include <QColor>
#include <QString>
#include <QStringList>

class QWidget;

// Alerts and file panels, behind one seam so tests can script the answers.
class Dialogs {
public:
    struct Alert {
        QString title;
        QString text;
        QStringList buttons;          // first is the default; empty means one "OK"
        QWidget *accessory = nullptr; // optional extra widget shown under the text
        bool warning = false;
        QColor firstButtonTint;       // the first button's title colour; invalid: the style's own
        // File paths quoted in the text: each is shown on a line of its own, whole where it fits,
        // else cut in the middle.
        QStringList paths = {};
    };
    virtual ~Dialogs() = default;
    // Returns the index of the button chosen (0 for the first); -1 when dismissed.
    virtual int alert(QWidget *parent, const Alert &a) = 0;
    // The chosen path, or empty when cancelled. filters as "JSON (*.json)".
    virtual QString savePath(QWidget *parent, const QString &title, const QString &proposedName,
                             const QStringList &filters) = 0;
    virtual QString openPath(QWidget *parent, const QString &title, const QStringList &filters) = 0;
    // Several files at once, in the order chosen; empty when cancelled.
    virtual QStringList openPaths(QWidget *parent, const QString &title, const QStringList &filters) = 0;

    static Dialogs &get();
    static void install(Dialogs *d); // takes no ownership
    static bool isInstalled();       // false while every question is answered "cancel"
};
