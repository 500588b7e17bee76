#pragma once
#include <QTextEdit>
#include <QUrl>
#include <optional>

// A text view in which a press on a web link opens it in the default browser; everywhere else it is
// a plain text view (its owner decides whether it is editable). A press on a link never moves the
// cursor or selects anything. Links are character anchors; only http, https and mailto addresses
// open (see WebLinks). The pointer is a pointing hand over a link.
class LinkTextView : public QTextEdit {
    Q_OBJECT
public:
    explicit LinkTextView(QWidget *parent = nullptr);

    // Turns the web addresses in the current text into links drawn in linkColor.
    void detectLinks(const QColor &linkColor);
    // The openable link under a point of the viewport, if the point lies on one of its characters
    // (a point beside the end of a line is on no character).
    std::optional<QUrl> linkAt(const QPointF &viewportPos) const;
    // For text that is mostly one link: a press on the link starts a selection like any press, and
    // the link opens on a release that did not move and selected nothing, so the text can be copied.
    void setLinksSelectable(bool on) { linksSelectable_ = on; }

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    bool linksSelectable_ = false;
    std::optional<QUrl> pressedLink_;
    QPointF pressPos_;
};
