#pragma once
#include "exercises/Exercise.h"
#include "ui/Lang.h"
#include <QStringList>
#include <optional>

// The exercise editor's rules, apart from its widgets.
namespace EditorRules {
// A step length typed by the user: an optional sign and digits only, within 0…86 400 seconds.
// Anything else (blanks, letters, an out-of-range or overflowing number) is not a whole number.
std::optional<qint64> wholeNumber(const QString &text);
// The value Return gives a duration field: the number, or 20 when the text is not one.
qint64 onReturn(const QString &text);

// The four category words in lang, in the store's order.
QStringList cats(AppLang lang);
// The category pop-up: the four words of the current language, and the stored category as a fifth
// item when it is none of the four words in any language. selected is the entry to pre-select.
struct CategoryChoice {
    QStringList items;
    int selected = 0;
};
CategoryChoice categoryChoice(const QString &stored, AppLang lang);
// The category saved for the pop-up's index: a fifth item keeps the stored text unchanged.
QString categoryFor(int index, const QString &stored, AppLang lang);

// The working copy of a new exercise.
Exercise newDraft(AppLang lang);
// Trims spaces and tabs (not line breaks) at both ends.
QString trimHorizontal(const QString &s);
} // namespace EditorRules
