#include "app/ContrastCheck.h"
#include "common/TestEnv.h"
#include "ui/Fonts.h"
#include "ui/Theme.h"
#include "ui/ThemePalette.h"
#include <QCheckBox>
#include <QLabel>
#include <QStyleOptionButton>
#include <QVBoxLayout>
#include <QtTest>

// The contrast the render walks measure, and the check boxes of the dark theme.
class TstThemeContrast : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void initTestCase() { Fonts::applyAppFont(); }
    void lowContrastIsFoundUnlessTheDesignGivesBothColours();
    void checkBoxesStandOutInTheDarkTheme();
};

namespace {
QLabel *coloured(QWidget *parent, const QString &text, const QColor &ink, const QColor &back) {
    auto *l = new QLabel(text, parent);
    l->setObjectName(text);
    l->setFont(Fonts::plainFont(14));
    l->setAutoFillBackground(true);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, ink);
    p.setColor(QPalette::Window, back);
    l->setPalette(p);
    return l;
}
} // namespace

void TstThemeContrast::lowContrastIsFoundUnlessTheDesignGivesBothColours() {
    TempPrefs prefs;
    VF::setTheme(AppTheme::silver);
    QWidget w;
    auto *v = new QVBoxLayout(&w);
    const QColor note = QColor::fromRgbF(0.5f, 0.78f, 1.0f);
    QColor noteTint = note;
    noteTint.setAlphaF(0.18f);
    // Light blue on pale blue of Mivo's own choosing: too faint, and not excused.
    v->addWidget(coloured(&w, QStringLiteral("faint"), QColor(150, 190, 240), QColor(215, 230, 250)));
    // The text-note accent on its own tint: as faint, but both colours are the design's.
    v->addWidget(coloured(&w, QStringLiteral("design"), note, ContrastCheck::over(noteTint, VF::bg())));
    // Plain text on the page reads.
    v->addWidget(coloured(&w, QStringLiteral("plain"), ContrastCheck::over(VF::text(), VF::bg()), VF::bg()));
    w.resize(300, 160);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QStringList low;
    const QStringList bad = ContrastCheck::findLowContrast(&w, w.grab().toImage(), &w, ContrastCheck::designInks(), &low);
    QVERIFY2(bad.size() == 1, qPrintable(bad.join(QLatin1Char(10)) + " / " + low.join(QLatin1Char(10))));
    QVERIFY2(bad.first().contains(QStringLiteral("(faint)")), qPrintable(bad.join('\n')));
    QCOMPARE(low.size(), 1);
    QVERIFY2(low.first().contains(QStringLiteral("(design)")), qPrintable(low.join('\n')));
    QCOMPARE(ContrastCheck::ratio(Qt::white, Qt::black), 21.0);
}

// The square of a check box reads against a dark window: its outline at least 3:1 against the window,
// also inside a dialog that sets its own palette.
void TstThemeContrast::checkBoxesStandOutInTheDarkTheme() {
    TempPrefs prefs;
    VF::setTheme(AppTheme::dark);
    ThemePalette::applyToApp();
    QWidget window;
    ThemePalette::applyTo(&window);
    window.setAutoFillBackground(true);
    auto *box = new QCheckBox(&window);
    ThemePalette::applyToCheckBox(box);
    box->setGeometry(20, 20, 22, 22);
    window.resize(80, 60);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage img = window.grab().toImage();
    QStyleOptionButton opt;
    opt.initFrom(box);
    const QRect square = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, box).translated(box->pos());
    double best = 1;
    for (int y = square.top(); y <= square.bottom(); ++y)
        for (int x = square.left(); x <= square.right(); ++x)
            best = std::max(best, ContrastCheck::ratio(img.pixelColor(x, y), VF::bg()));
    QVERIFY2(best >= 3.0, qPrintable(QString::number(best)));
    VF::setTheme(AppTheme::silver);
    ThemePalette::applyToApp();
}

QTEST_MAIN(TstThemeContrast)
#include "tst_theme_contrast.moc"
