#pragma once
#include "ui/Lang.h"
#include <QString>

class QObject;

// The texts Qt draws itself (file dialogs, a text field's context menu, standard buttons) in the
// interface language, from Qt's own translations (Debian qt6-translations-l10n). Without them Qt
// speaks English whatever the user chose.
namespace QtTexts {
// Loads Qt's translations for l in place of the ones loaded before (English needs none) and returns
// whether they were found. Installing sends every widget a LanguageChange, so open dialogs retranslate.
bool apply(AppLang l);
// Applies the current language now and again at each languageChanged, for the life of context.
void follow(QObject *context);
// Where Qt's translation files are looked for.
QString directory();
} // namespace QtTexts
