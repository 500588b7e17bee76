#pragma once
#include <QObject>
#include <QPointer>
#include <functional>

class QAbstractScrollArea;
class QWidget;

// The small floating bar with bold, italic and underline ("B", "I", "U̲") that an editable text
// view shows over its selection while it has the focus: centred over the selection's first line,
// below the line after the selection when the view has no room above it, always inside the view. It follows
// the selection as the view scrolls, is resized or lays its text out again, and hides while the selection is
// out of view, when the selection goes, the view loses the focus or becomes read-only. Its buttons never take
// the focus, so the selection stays and can be formatted again.
class FloatingFormatBar : public QObject {
    Q_OBJECT
public:
    // Gives view (a QTextEdit or a QPlainTextEdit) the bar; apply gets the format code of a click
    // (0 bold, 1 italic, 2 underline). It lives as long as the view.
    static FloatingFormatBar *attach(QAbstractScrollArea *view, std::function<void(int)> apply);
    // The bar of a view; null until a selection first asks for it.
    static QWidget *barOf(const QAbstractScrollArea *view);

    QWidget *bar() const { return bar_; }
    // Shows, moves or hides the bar for the view's selection as it is now.
    void place();
    // The same once the events of this turn are handled (several asks make one).
    void placeLater();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    FloatingFormatBar(QAbstractScrollArea *view, std::function<void(int)> apply);

    QAbstractScrollArea *view_;
    QObject *viewport_ = nullptr; // compared only: the view may be going when it reports
    std::function<void(int)> apply_;
    QPointer<QWidget> bar_;
    bool placeQueued_ = false;
};
