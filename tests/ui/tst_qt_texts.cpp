#include "common/TestEnv.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "ui/Fonts.h"
#include "ui/Lang.h"
#include "ui/QtTexts.h"
#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>
#include <memory>

// Qt's own texts (a field's context menu, standard buttons) follow the interface language, also
// when it changes while they are shown.
class TstQtTexts : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void cleanup() { QtTexts::apply(AppLang::en); }
    void fieldMenuInEveryLanguage_data();
    void fieldMenuInEveryLanguage();
    void switchesLiveWithTheLanguage();
    void followsTheFontScale();
};

namespace {
QStringList menuTexts(QLineEdit &field) {
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList out;
    for (QAction *a : menu->actions())
        if (!a->isSeparator()) out << a->text().remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0);
    return out;
}
} // namespace

void TstQtTexts::fieldMenuInEveryLanguage_data() {
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("paste");
    QTest::addColumn<QString>("selectAll");
    QTest::newRow("en") << "en" << "Paste" << "Select All";
    QTest::newRow("es") << "es" << "Pegar" << "Seleccionar todo";
    QTest::newRow("de") << "de" << "Einfügen" << "Alles auswählen";
    QTest::newRow("fr") << "fr" << "Coller" << "Tout sélectionner";
    QTest::newRow("uk") << "uk" << "Вставити" << "Виділити все";
    QTest::newRow("pl") << "pl" << "Wklej" << "Zaznacz wszystko";
}

void TstQtTexts::fieldMenuInEveryLanguage() {
    QFETCH(QString, lang);
    QFETCH(QString, paste);
    QFETCH(QString, selectAll);
    QVERIFY2(QtTexts::apply(AppLangs::fromRaw(lang).value()), qPrintable("no Qt translations in " + QtTexts::directory()));
    QLineEdit field;
    const QStringList texts = menuTexts(field);
    QVERIFY2(texts.contains(paste), qPrintable(texts.join(" | ")));
    QVERIFY2(texts.contains(selectAll), qPrintable(texts.join(" | ")));
}

void TstQtTexts::switchesLiveWithTheLanguage() {
    TempPrefs prefs;
    QObject life;
    QtTexts::follow(&life);
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Cancel"));
    L::setLang(AppLang::uk);
    Notifier::get().post(QLatin1String(Notify::languageChanged));
    // A button shown before the change is retitled, as Mivo's own texts are.
    QTRY_COMPARE(box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Скасувати"));
    QLineEdit field;
    QVERIFY(menuTexts(field).contains(QStringLiteral("Вставити")));
    L::setLang(AppLang::en);
    Notifier::get().post(QLatin1String(Notify::languageChanged));
    QTRY_COMPARE(box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Cancel"));
}

// Qt's menus and dialogs take the application font, which follows the font scale.
void TstQtTexts::followsTheFontScale() {
    const double base = Fonts::appPointSize();
    Fonts::applyAppFont(1.3);
    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QCOMPARE(menu->font().pointSizeF(), base * 1.3);
    QCOMPARE(QFontInfo(menu->font()).family(), QStringLiteral("Inter"));
    Fonts::applyAppFont(1.0);
    QCOMPARE(QApplication::font().pointSizeF(), base);
}

QTEST_MAIN(TstQtTexts)
#include "tst_qt_texts.moc"
