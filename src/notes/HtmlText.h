#pragma once
#include <QString>
#include <QStringView>

// The text an HTML clipboard holds, as a rich text view takes it in: tags left out (and what the
// head, styles, scripts and comments hold), character references read, runs of white space one
// space except in preformatted text, a line break for each <br> and between blocks. Made in one pass
// over the markup without building a document, so a paste can be measured before it is taken in.
namespace HtmlText {
// With atMost, it stops once it holds more than atMost characters: a paste is measured only as far
// as the bounds it is held to (reading all of 5 MB of text held the window 400 ms).
QString plainText(QStringView html, qsizetype atMost = -1);
} // namespace HtmlText
