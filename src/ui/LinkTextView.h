#pragma once
#include <QTextEdit>
#include <QUrl>
#include <optional>

// A text view in which a press on a web link opens it in the default browser; everywhere else it is
// a plain text view (its owner decides whether it is editable). A press on a link never moves the
// cursor or selects anything. Links are character anchors; only http, https and mailto addresses
// open (see WebLinks).
class LinkTextView : public QTextEdit {
    Q_OBJECT
public:
    explicit LinkTextView(QWidget *parent = nullptr);

    // Turns the web addresses in the current text into links drawn in linkColor.
    void detectLinks(const QColor &linkColor);
    // The openable link under a point of the viewport, if the point lies on one of its characters
    // (a point beside the end of a line is on no character).
    std::optional<QUrl> linkAt(const QPointF &viewportPos) const;

protected:
    void mousePressEvent(QMouseEvent *e) override;
};
