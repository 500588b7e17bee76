#include "notes/PastedLists.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <vector>

namespace PastedLists {
namespace {
// How far each level of a list goes in, and where its items' text starts: room for "10." and more.
constexpr qreal kLevelIndent = 24;

QString marker(const QTextBlock &b, const QTextList *list) {
    switch (list->format().style()) {
    case QTextListFormat::ListCircle:
        return QStringLiteral("◦");
    case QTextListFormat::ListSquare:
        return QStringLiteral("▪");
    case QTextListFormat::ListDisc:
        return QStringLiteral("•");
    default:
        break;
    }
    const QString numbered = list->itemText(b);
    return numbered.isEmpty() ? QStringLiteral("•") : numbered;
}
} // namespace

void asText(QTextDocument &pasted) {
    struct Item {
        int position;
        QString marker;
        int level;
    };
    // Numbered from the lists as they are, before any item leaves its list.
    std::vector<Item> items;
    for (QTextBlock b = pasted.firstBlock(); b.isValid(); b = b.next())
        if (const QTextList *list = b.textList())
            items.push_back({b.position(), marker(b, list), std::max(1, list->format().indent())});
    QTextCursor c(&pasted);
    // From the last: the positions before each insertion stay as they were.
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        c.setPosition(it->position);
        QTextBlock b = c.block();
        if (QTextList *list = b.textList()) list->remove(b);
        QTextBlockFormat bf = c.blockFormat();
        bf.setIndent(0);
        bf.setLeftMargin(kLevelIndent * it->level);
        bf.setTextIndent(-kLevelIndent);
        bf.setTabPositions({QTextOption::Tab(kLevelIndent * it->level, QTextOption::LeftTab)});
        c.setBlockFormat(bf);
        // In the look of the item's first characters.
        QTextCursor first(b);
        first.movePosition(QTextCursor::NextCharacter);
        c.insertText(it->marker + QLatin1Char('\t'), b.length() > 1 ? first.charFormat() : c.charFormat());
    }
}

bool hasIndents(const QTextBlockFormat &f) {
    return f.leftMargin() != 0 || f.textIndent() != 0 || !f.tabPositions().isEmpty();
}

QTextBlockFormat withIndents(QTextBlockFormat into, const QTextBlockFormat &pasted) {
    into.setLeftMargin(pasted.leftMargin());
    into.setTextIndent(pasted.textIndent());
    into.setTabPositions(pasted.tabPositions());
    return into;
}
} // namespace PastedLists
