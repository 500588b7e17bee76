#include "exercises/BreathPhase.h"
#include "exercises/BuiltInExercises.h"
#include <QtTest>

namespace {
QString phases(const Exercise &e) {
    QString out;
    for (const ExerciseStep &s : e.steps) {
        switch (BreathPhases::forStep(e.id, s.title)) {
        case BreathePhase::inhale:
            out += 'I';
            break;
        case BreathePhase::hold:
            out += 'H';
            break;
        case BreathePhase::exhale:
            out += 'E';
            break;
        case BreathePhase::none:
            out += '-';
            break;
        }
    }
    return out;
}
} // namespace

// The built-ins are written in six languages; the runner reads a breathing step's phase from its
// title, so every translation must give each step the phase its English title gives.
class TstBuiltinBreathing : public QObject {
    Q_OBJECT
private slots:
    void classifier_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("phase");
        const QString box = QStringLiteral("builtin-box");
        QTest::newRow("hold empty") << box << "Hold (empty)" << int(BreathePhase::hold);
        QTest::newRow("leer halten") << box << "Leer halten" << int(BreathePhase::hold);
        QTest::newRow("breath out") << box << "Breath out slowly" << int(BreathePhase::exhale);
        QTest::newRow("breathe in has no word") << box << "Breathe in" << int(BreathePhase::inhale);
        QTest::newRow("capitals") << box << "EXHALE NOW" << int(BreathePhase::exhale);
        QTest::newRow("hold before exhale") << box << "Exhale and hold" << int(BreathePhase::hold);
        QTest::newRow("cyrillic capitals") << box << "ВИДИХ" << int(BreathePhase::exhale);
        QTest::newRow("other exercise") << "builtin-neck"
                                        << "Hold" << int(BreathePhase::none);
        QTest::newRow("user exercise") << "A1B2"
                                       << "Exhale" << int(BreathePhase::none);
    }
    void classifier() {
        QFETCH(QString, id);
        QFETCH(QString, title);
        QFETCH(int, phase);
        QCOMPARE(int(BreathPhases::forStep(id, title)), phase);
    }

    void englishPhasesAreAsDesigned() {
        const auto en = BuiltInExercises::make(AppLang::en);
        QCOMPARE(phases(en[0]), QStringLiteral("---"));
        QCOMPARE(phases(en[4]), QStringLiteral("IHEIHE"));
        QCOMPARE(phases(en[5]), QStringLiteral("IHEHIHEH"));
        QCOMPARE(phases(en[6]), QStringLiteral("IIEIEIE"));
        QCOMPARE(phases(en[7]), QStringLiteral("IIEIIEIIE"));
    }

    void everyLanguageGivesTheSamePhases_data() {
        QTest::addColumn<int>("lang");
        for (AppLang l : AppLangs::allCases)
            QTest::newRow(qPrintable(AppLangs::rawValue(l))) << int(l);
    }
    void everyLanguageGivesTheSamePhases() {
        QFETCH(int, lang);
        const auto en = BuiltInExercises::make(AppLang::en);
        const auto other = BuiltInExercises::make(AppLang(lang));
        QCOMPARE(other.size(), en.size());
        for (std::size_t i = 0; i < en.size(); ++i) {
            const Exercise &a = en[i], &b = other[i];
            QCOMPARE(b.id, a.id);
            QCOMPARE(b.emoji, a.emoji);
            QCOMPARE(b.accentHex, a.accentHex);
            QCOMPARE(b.steps.size(), a.steps.size());
            QVERIFY2(phases(b) == phases(a), qPrintable(b.id + ": " + phases(b) + " vs " + phases(a)));
            QVERIFY(!b.name.isEmpty() && !b.category.isEmpty());
            for (std::size_t s = 0; s < a.steps.size(); ++s) {
                QCOMPARE(b.steps[s].durationSecs, a.steps[s].durationSecs);
                QVERIFY(!b.steps[s].title.isEmpty() && !b.steps[s].instruction.isEmpty());
                QVERIFY(!b.steps[s].id.isEmpty() && b.steps[s].id != a.steps[s].id);
                // A title repeated within an exercise in English is repeated in every language.
                for (std::size_t t = 0; t < s; ++t)
                    QCOMPARE(b.steps[s].title == b.steps[t].title, a.steps[s].title == a.steps[t].title);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TstBuiltinBreathing)
#include "tst_builtin_breathing.moc"
