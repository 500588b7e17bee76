#pragma once
#include <QTextBlockFormat>

class QTextDocument;

// A note's text view shows no lists and its stored rich text keeps none: a rich paste's list items
// keep their bullets and numbers as text instead, each item a paragraph with a hanging indent
// ("•", a tab, the item's text; wrapped lines under the text), the form rich text written by other
// programs gives a list (and read back the same).
namespace PastedLists {
// Turns every list item of pasted into such a paragraph.
void asText(QTextDocument &pasted);
bool hasIndents(const QTextBlockFormat &f);
// into, with the indents and tab stops of pasted (none where pasted has none).
QTextBlockFormat withIndents(QTextBlockFormat into, const QTextBlockFormat &pasted);
} // namespace PastedLists
