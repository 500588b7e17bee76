#pragma once
#include <QWidget>

class QLabel;

// Stands in for a page id that matches no page: the emoji, a line break and the title, centred.
class PlaceholderView : public QWidget {
    Q_OBJECT
public:
    PlaceholderView(const QString &title, const QString &emoji, QWidget *parent = nullptr);
    QString text() const;

    // "task board" -> "Task Board": first letter of each word upper case, the rest lower case.
    static QString capitalized(const QString &id);

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    QLabel *label_;
};
