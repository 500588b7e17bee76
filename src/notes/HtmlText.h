#pragma once
#include <QString>
#include <QStringView>

// The text an HTML clipboard holds, as a rich text view takes it in: tags left out (and what the
// head, styles, scripts and comments hold), character references read, runs of white space one
// space except in preformatted text, a line break for each <br> and between blocks. Made in one pass
// over the markup without building a document, so a paste can be measured before it is taken in.
namespace HtmlText {
QString plainText(QStringView html);
} // namespace HtmlText
