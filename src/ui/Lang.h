#pragma once
#include <QDate>
#include <QString>
#include <array>
#include <optional>

// The interface language. The case order is the index order of every table by language.
enum class AppLang { en, es, de, fr, uk, pl };

namespace AppLangs {
inline constexpr std::array<AppLang, 6> allCases{AppLang::en, AppLang::es, AppLang::de,
                                                 AppLang::fr, AppLang::uk, AppLang::pl};
QString rawValue(AppLang l);
std::optional<AppLang> fromRaw(const QString &raw); // exact, case-sensitive
QString displayName(AppLang l);
QString localeId(AppLang l);       // "en", "es", ...
QString regionLocaleId(AppLang l); // "en_US", "es_ES", ...
} // namespace AppLangs

// One text in the six languages. Fill it with designated initialisers so the compiler checks the
// order: Tr{.en = "Pause", .es = "Pausa", .de = "Pause", .fr = "Pause", .uk = "Пауза", .pl = "Pauza"}.
struct Tr {
    const char *en = "";
    const char *es = "";
    const char *de = "";
    const char *fr = "";
    const char *uk = "";
    const char *pl = "";
};

namespace L {
// Read at every use from the preferences domain (or a VF::HeldLook); English when missing or unknown.
AppLang lang();
// Stores the raw value; posts nothing (the writer posts languageChanged).
void setLang(AppLang l);
// The six texts in the order English, German, French, Spanish, Ukrainian, Polish.
QString s(const char *en, const char *de, const char *fr, const char *es, const char *uk, const char *pl);
// The text of a Tr for the current language.
QString t(const Tr &tr);
// The text of a Tr in a given language.
QString t(const Tr &tr, AppLang l);

// The form a counted noun takes after a whole number. Ukrainian: one for 1, 21, 31… (not 11), few
// for 2–4, 22–24… (not 12–14), many for the rest; Polish the same but one only for 1; French one
// for 0 and 1; English, German and Spanish one for 1; "few" only in Ukrainian and Polish.
enum class Plural { one, few, many };
Plural plural(qint64 n, AppLang l);
// A noun in its three forms, each in the six languages; a language without a few form never reads it.
struct PluralTr {
    Tr one, few, many;
};
// "3 рядки": the number, a space and the form the number asks for in the current language.
QString counted(qint64 n, const PluralTr &forms);
QString counted(qint64 n, const PluralTr &forms, AppLang l);
// The form alone, for a count written apart from its noun: "кроків" for "3/5 кроків".
QString form(qint64 n, const PluralTr &forms);
QString form(qint64 n, const PluralTr &forms, AppLang l);

// Dates in words, for every page alike.
// Every word's first letter upper case, its other letters lower case: "De Marzo De 2026".
QString capitalizeWords(const QString &s);
// A month and year standing alone, as a title: the month's standalone (nominative) name, capitalised:
// "December 2026", "Грудень 2026", "Grudzień 2026" (never the "грудня" of a date with a day).
QString monthYear(int year, int month, AppLang l);
QString monthYear(const QDate &d, AppLang l);
// A weekday with its day and month in the language's own order: "Monday, December 7",
// "lunes, 7 de diciembre", "Montag, 7. Dezember", "lundi 7 décembre", "понеділок, 7 грудня",
// "poniedziałek, 7 grudnia".
QString weekdayDayMonth(const QDate &d, AppLang l);
} // namespace L
