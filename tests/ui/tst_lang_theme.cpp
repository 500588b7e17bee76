#include "platform/Keys.h"
#include "common/TestEnv.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QtTest>

class TstLangTheme : public QObject {
    Q_OBJECT
private slots:
    void pickerTakesSpanishFourth_data();
    void pickerTakesSpanishFourth();
    void unknownOrWrongTypedLanguageIsEnglishAndStaysStored();
    void themeFallsBackToSilver();
    void fontScaleFallbacks_data();
    void fontScaleFallbacks();
    void datesInWords_data();
    void datesInWords();
};

void TstLangTheme::datesInWords_data() {
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("withDay");
    // A month and year alone take the month's own (nominative) name; with a day, the form of a date.
    QTest::newRow("en") << "en" << "December 2026" << "Monday, December 7";
    QTest::newRow("es") << "es" << "Diciembre 2026" << "lunes, 7 de diciembre";
    QTest::newRow("de") << "de" << "Dezember 2026" << "Montag, 7. Dezember";
    QTest::newRow("fr") << "fr" << "Décembre 2026" << "lundi 7 décembre";
    QTest::newRow("uk") << "uk" << "Грудень 2026" << "понеділок, 7 грудня";
    QTest::newRow("pl") << "pl" << "Grudzień 2026" << "poniedziałek, 7 grudnia";
}

void TstLangTheme::datesInWords() {
    QFETCH(QString, lang);
    QFETCH(QString, title);
    QFETCH(QString, withDay);
    const AppLang l = AppLangs::fromRaw(lang).value();
    QCOMPARE(L::monthYear(QDate(2026, 12, 7), l), title);
    QCOMPARE(L::monthYear(2026, 12, l), title);
    QCOMPARE(L::weekdayDayMonth(QDate(2026, 12, 7), l), withDay);
    QCOMPARE(L::capitalizeWords(QStringLiteral("de marzo DE 2026")), QStringLiteral("De Marzo De 2026"));
}

void TstLangTheme::pickerTakesSpanishFourth_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("en") << "en" << "Resume";
    QTest::newRow("de") << "de" << "Fortsetzen";
    QTest::newRow("fr") << "fr" << "Reprendre";
    QTest::newRow("es") << "es" << "Reanudar";
    QTest::newRow("uk") << "uk" << "Продовжити";
    QTest::newRow("pl") << "pl" << "Wznów";
}

void TstLangTheme::pickerTakesSpanishFourth() {
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    TempPrefs t;
    t.prefs().setString(kLanguage, stored);
    QCOMPARE(L::s("Resume", "Fortsetzen", "Reprendre", "Reanudar", "Продовжити", "Wznów"), expected);
    QCOMPARE(L::t({.en = "Resume", .es = "Reanudar", .de = "Fortsetzen", .fr = "Reprendre", .uk = "Продовжити", .pl = "Wznów"}),
             expected);
}

void TstLangTheme::unknownOrWrongTypedLanguageIsEnglishAndStaysStored() {
    TempPrefs t;
    QCOMPARE(L::lang(), AppLang::en);
    for (const char *bad : {"EN", "ru", "", "ua"}) {
        t.prefs().setString(kLanguage, bad);
        QCOMPARE(L::lang(), AppLang::en);
        QCOMPARE(t.prefs().string(kLanguage).value(), QString::fromLatin1(bad));
    }
    t.prefs().setInt(kLanguage, 3);
    QCOMPARE(L::lang(), AppLang::en);
}

void TstLangTheme::themeFallsBackToSilver() {
    TempPrefs t;
    QCOMPARE(VF::theme(), AppTheme::silver);
    for (const char *bad : {"Dark", "blue", ""}) {
        t.prefs().setString(kTheme, bad);
        QCOMPARE(VF::theme(), AppTheme::silver);
    }
    VF::setTheme(AppTheme::mint);
    QCOMPARE(t.prefs().string(kTheme).value(), QStringLiteral("mint"));
}

void TstLangTheme::fontScaleFallbacks_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<double>("scaled10");
    QTest::newRow("missing") << QVariant() << 10.0;
    QTest::newRow("1.3") << QVariant(1.3) << 13.0;
    QTest::newRow("zero") << QVariant(0.0) << 10.0;
    QTest::newRow("negative") << QVariant(-1.0) << 10.0;
    QTest::newRow("nan") << QVariant(std::nan("")) << 10.0;
    QTest::newRow("numeric string") << QVariant(QStringLiteral("1.15")) << 11.5;
    QTest::newRow("word") << QVariant(QStringLiteral("big")) << 10.0;
}

void TstLangTheme::fontScaleFallbacks() {
    QFETCH(QVariant, stored);
    QFETCH(double, scaled10);
    TempPrefs t;
    if (stored.typeId() == QMetaType::Double) t.prefs().setDouble(kFontScale, stored.toDouble());
    if (stored.typeId() == QMetaType::QString) t.prefs().setString(kFontScale, stored.toString());
    QVERIFY(qAbs(VF::scaled(10) - scaled10) < 1e-9);
}

QTEST_GUILESS_MAIN(TstLangTheme)
#include "tst_lang_theme.moc"
