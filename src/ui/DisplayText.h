#pragma once
#include <QString>

// Texts from the user's data as the interface shows them. A stored text may be of any length (a
// document another program wrote can hold a title of 50 MB), while a line or a short block shows a
// few hundred characters, and measuring or laying out a text costs by its whole length. So whatever
// measures, elides or lays out a user's text takes this copy of it first.
namespace DisplayText {
// More than the widest line or label can show at any font scale.
inline constexpr qsizetype kMaxShownChars = 4096;

// text itself when it has at most max characters (UTF-16 units); else its first characters up to a
// character boundary (a surrogate pair or a base with its combining marks is kept whole or left out),
// followed by "…", max characters at most in all.
QString cut(const QString &text, qsizetype max = kMaxShownChars);
} // namespace DisplayText
