#pragma once
#include <QByteArray>
#include <QTextEdit>
#include <QUrl>
#include <optional>

// The text of one table-note cell. It never takes a click: the cell beneath receives it and asks
// linkURL() which link, if any, lies under the pointer.
class CellLinkTextView : public QTextEdit {
    Q_OBJECT
public:
    explicit CellLinkTextView(QWidget *parent = nullptr);

    // Builds a read-only, transparent cell text of frame's width: the RTF when rtfData reads as
    // RTF (its styles and links kept, recoloured in textColor), else text in font and textColor;
    // then every web address found by our detection rule becomes a link in linkColor, underlined.
    static CellLinkTextView *make(const QString &text, const QFont &font, const QColor &textColor,
                                  const QColor &linkColor, const QRect &frame,
                                  const std::optional<QByteArray> &rtfData = std::nullopt);

    // The openable link under a point given in the window's coordinates: none outside this view,
    // beside the end of a line, or on text without a link.
    std::optional<QUrl> linkURL(const QPointF &windowPos) const;
};
