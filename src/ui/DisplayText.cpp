#include "ui/DisplayText.h"

#include <QTextBoundaryFinder>
#include <algorithm>

namespace DisplayText {
QString cut(const QString &text, qsizetype max) {
    if (text.size() <= max) return text;
    if (max < 1) return QString();
    // Only the start of the text is looked at: the cut lies within its first max characters.
    const QString head = text.left(max + 1);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, head);
    graphemes.setPosition(max - 1); // room for the "…"
    if (!graphemes.isAtBoundary()) graphemes.toPreviousBoundary();
    const qsizetype keep = std::max<qsizetype>(0, graphemes.position());
    return head.left(keep) + QChar(0x2026);
}
} // namespace DisplayText
