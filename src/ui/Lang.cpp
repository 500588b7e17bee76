#include "ui/Lang.h"

#include <QLocale>

#include "platform/Keys.h"
#include "platform/Prefs.h"
#include "ui/Theme.h"

namespace AppLangs {
QString rawValue(AppLang l) {
    switch (l) {
    case AppLang::en: return QStringLiteral("en");
    case AppLang::es: return QStringLiteral("es");
    case AppLang::de: return QStringLiteral("de");
    case AppLang::fr: return QStringLiteral("fr");
    case AppLang::uk: return QStringLiteral("uk");
    case AppLang::pl: return QStringLiteral("pl");
    }
    return QStringLiteral("en");
}

std::optional<AppLang> fromRaw(const QString &raw) {
    for (AppLang l : allCases)
        if (rawValue(l) == raw) return l;
    return std::nullopt;
}

QString displayName(AppLang l) {
    switch (l) {
    case AppLang::en: return QStringLiteral("🇬🇧  English");
    case AppLang::es: return QStringLiteral("🇪🇸  Español");
    case AppLang::de: return QStringLiteral("🇩🇪  Deutsch");
    case AppLang::fr: return QStringLiteral("🇫🇷  Français");
    case AppLang::uk: return QStringLiteral("🇺🇦  Українська");
    case AppLang::pl: return QStringLiteral("🇵🇱  Polski");
    }
    return {};
}

QString localeId(AppLang l) { return rawValue(l); }

QString regionLocaleId(AppLang l) {
    switch (l) {
    case AppLang::en: return QStringLiteral("en_US");
    case AppLang::es: return QStringLiteral("es_ES");
    case AppLang::de: return QStringLiteral("de_DE");
    case AppLang::fr: return QStringLiteral("fr_FR");
    case AppLang::uk: return QStringLiteral("uk_UA");
    case AppLang::pl: return QStringLiteral("pl_PL");
    }
    return QStringLiteral("en_US");
}
} // namespace AppLangs

namespace L {
AppLang lang() {
    if (const VF::Look *held = VF::heldLook()) return held->lang;
    const Prefs &p = Prefs::get();
    auto v = p.value(kLanguage);
    if (!v || !std::holds_alternative<QString>(*v)) return AppLang::en;
    return AppLangs::fromRaw(std::get<QString>(*v)).value_or(AppLang::en);
}

void setLang(AppLang l) { Prefs::get().setString(kLanguage, AppLangs::rawValue(l)); }

QString s(const char *en, const char *de, const char *fr, const char *es, const char *uk, const char *pl) {
    switch (lang()) {
    case AppLang::en: return QString::fromUtf8(en);
    case AppLang::de: return QString::fromUtf8(de);
    case AppLang::fr: return QString::fromUtf8(fr);
    case AppLang::es: return QString::fromUtf8(es);
    case AppLang::uk: return QString::fromUtf8(uk);
    case AppLang::pl: return QString::fromUtf8(pl);
    }
    return QString::fromUtf8(en);
}

QString t(const Tr &tr, AppLang l) {
    switch (l) {
    case AppLang::en: return QString::fromUtf8(tr.en);
    case AppLang::es: return QString::fromUtf8(tr.es);
    case AppLang::de: return QString::fromUtf8(tr.de);
    case AppLang::fr: return QString::fromUtf8(tr.fr);
    case AppLang::uk: return QString::fromUtf8(tr.uk);
    case AppLang::pl: return QString::fromUtf8(tr.pl);
    }
    return QString::fromUtf8(tr.en);
}

QString t(const Tr &tr) { return t(tr, lang()); }

Plural plural(qint64 n, AppLang l) {
    n = n < 0 ? -n : n;
    const qint64 last = n % 10, lastTwo = n % 100;
    const bool fewEnding = last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14);
    switch (l) {
    case AppLang::uk:
        if (last == 1 && lastTwo != 11) return Plural::one;
        return fewEnding ? Plural::few : Plural::many;
    case AppLang::pl:
        if (n == 1) return Plural::one;
        return fewEnding ? Plural::few : Plural::many;
    case AppLang::fr: return n <= 1 ? Plural::one : Plural::many;
    case AppLang::en:
    case AppLang::es:
    case AppLang::de: break;
    }
    return n == 1 ? Plural::one : Plural::many;
}

QString form(qint64 n, const PluralTr &forms, AppLang l) {
    const Plural p = plural(n, l);
    return t(p == Plural::one ? forms.one : p == Plural::few ? forms.few : forms.many, l);
}

QString form(qint64 n, const PluralTr &forms) { return form(n, forms, lang()); }

QString counted(qint64 n, const PluralTr &forms, AppLang l) {
    return QString::number(n) + QLatin1Char(' ') + form(n, forms, l);
}

QString counted(qint64 n, const PluralTr &forms) { return counted(n, forms, lang()); }

QString capitalizeWords(const QString &s) {
    QString out = s.toLower();
    bool start = true;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i].isLetter()) {
            if (start) out[i] = out[i].toUpper();
            start = false;
        } else {
            start = out[i].isSpace();
        }
    }
    return out;
}

QString monthYear(int year, int month, AppLang l) {
    if (month < 1 || month > 12) return {};
    const QLocale loc(AppLangs::localeId(l));
    return capitalizeWords(loc.standaloneMonthName(month, QLocale::LongFormat) + QLatin1Char(' ') + QString::number(year));
}

QString monthYear(const QDate &d, AppLang l) { return d.isValid() ? monthYear(d.year(), d.month(), l) : QString(); }

QString weekdayDayMonth(const QDate &d, AppLang l) {
    // With a day, the month takes its form inside a date ("7 грудня"), which "MMMM" gives.
    const char *pattern = "dddd, MMMM d";
    switch (l) {
    case AppLang::en: break;
    case AppLang::es: pattern = "dddd, d 'de' MMMM"; break;
    case AppLang::de: pattern = "dddd, d. MMMM"; break;
    case AppLang::fr: pattern = "dddd d MMMM"; break;
    case AppLang::uk:
    case AppLang::pl: pattern = "dddd, d MMMM"; break;
    }
    return QLocale(AppLangs::localeId(l)).toString(d, QString::fromLatin1(pattern));
}
} // namespace L
