#include "common/TestEnv.h"
#include "exercises/EditorRules.h"
#include "exercises/ExerciseEditor.h"
#include "ui/Lang.h"
#include <QComboBox>
#include <QPlainTextEdit>
#include <QtTest>

namespace {
Exercise three() {
    Exercise e;
    e.id = QStringLiteral("mine");
    e.name = QStringLiteral("Mine");
    e.emoji = QStringLiteral("🧘");
    e.category = QStringLiteral("Health");
    e.accentHex = QStringLiteral("3366FF");
    for (int i = 1; i <= 3; ++i)
        e.steps.push_back({QString::number(i), QStringLiteral("S%1").arg(i), QStringLiteral("I%1").arg(i), 30, {}, {}, {}});
    return e;
}
} // namespace

class TstEditor : public QObject {
    Q_OBJECT
    std::unique_ptr<TempPrefs> prefs;
    std::unique_ptr<TestDialogs> dialogs;
    std::optional<std::optional<Exercise>> result; // set when the completion ran

    ExerciseEditorController *open(const std::optional<Exercise> &e) {
        result.reset();
        ExerciseEditorController::show(e, nullptr, [this](std::optional<Exercise> x) { result = x; });
        ExerciseEditorController *c = ExerciseEditorController::current();
        QApplication::setActiveWindow(c->panel());
        return c;
    }

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        prefs = std::make_unique<TempPrefs>();
        dialogs = std::make_unique<TestDialogs>();
    }
    void cleanup() {
        if (auto *c = ExerciseEditorController::current()) c->doCancel();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        dialogs.reset();
        prefs.reset();
    }

    void wholeNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("value"); // -1: not a whole number
        QTest::newRow("plain") << "30" << qint64(30);
        QTest::newRow("plus") << "+5" << qint64(5);
        QTest::newRow("zero") << "0" << qint64(0);
        QTest::newRow("a day") << "86400" << qint64(86400);
        QTest::newRow("past a day") << "86401" << qint64(-1);
        QTest::newRow("negative") << "-5" << qint64(-1);
        QTest::newRow("leading blank") << " 30" << qint64(-1);
        QTest::newRow("letters") << "abc" << qint64(-1);
        QTest::newRow("empty") << "" << qint64(-1);
        QTest::newRow("overflow") << "99999999999999999999" << qint64(-1);
        QTest::newRow("arabic-indic digits") << "٣٠" << qint64(-1);
    }
    void wholeNumbers() {
        QFETCH(QString, text);
        QFETCH(qint64, value);
        const auto v = EditorRules::wholeNumber(text);
        QCOMPARE(v ? *v : -1, value);
        QCOMPARE(EditorRules::onReturn(text), value < 0 ? 20 : value);
    }

    void categories() {
        using EditorRules::categoryChoice;
        QCOMPARE(categoryChoice(QStringLiteral("Dehnen"), AppLang::en).selected, 1); // another language's word
        QCOMPARE(categoryChoice(QStringLiteral("Інше"), AppLang::fr).selected, 3);
        const auto odd = categoryChoice(QStringLiteral("Yoga"), AppLang::en);
        QCOMPARE(odd.items.size(), 5);
        QCOMPARE(odd.selected, 4);
        QCOMPARE(EditorRules::categoryFor(4, QStringLiteral("Yoga"), AppLang::en), QStringLiteral("Yoga"));
        QCOMPARE(EditorRules::categoryFor(-1, QStringLiteral("Yoga"), AppLang::en), QStringLiteral("Health"));

        L::setLang(AppLang::de);
        auto *c = open(std::nullopt);
        QCOMPARE(c->categoryPopup()->currentText(), QStringLiteral("Sonstiges"));
        c->nameField()->setText(QStringLiteral("  Neu\t"));
        c->emojiField()->setText(QStringLiteral("  "));
        c->doSave();
        QVERIFY(result && *result);
        QCOMPARE((*result)->name, QStringLiteral("Neu"));
        QCOMPARE((*result)->emoji, QStringLiteral("💪"));
        QCOMPARE((*result)->category, QStringLiteral("Sonstiges"));
        QCOMPARE((*result)->steps.size(), size_t(1));
        QCOMPARE((*result)->steps[0].title, QStringLiteral("Action 1"));
        L::setLang(AppLang::en);

        Exercise yoga = three();
        yoga.category = QStringLiteral("Yoga");
        open(yoga)->doSave();
        QCOMPARE((*result)->category, QStringLiteral("Yoga")); // saved unchanged
        QCOMPARE((*result)->id, QStringLiteral("mine"));
        QCOMPARE((*result)->accentHex, QStringLiteral("3366FF"));
    }

    void durationTypingReturnAndSave() {
        auto *c = open(three());
        QLineEdit *dur = c->stepFields()[0].dur;
        dur->selectAll();
        QTest::keyClicks(dur, QStringLiteral("abc"));
        QCOMPARE(c->draft().steps[0].durationSecs, 30); // unchanged while typing
        QTest::keyClick(dur, Qt::Key_Return);
        QCOMPARE(c->draft().steps[0].durationSecs, 20);
        QCOMPARE(dur->text(), QStringLiteral("20")); // the field shows what the step keeps
        QVERIFY(!result); // Return in a step field ends the field, it does not save
        dur->setText(QStringLiteral("abc"));
        QLineEdit *dur2 = c->stepFields()[1].dur;
        dur2->selectAll();
        QTest::keyClicks(dur2, QStringLiteral("45"));
        QCOMPARE(c->draft().steps[1].durationSecs, 45);
        dur2->selectAll();
        QTest::keyClicks(dur2, QStringLiteral("-5"));
        QCOMPARE(dur2->text(), QStringLiteral("-5"));
        Q_EMIT dur2->editingFinished(); // leaving the field: out of range, it shows the kept 45
        QCOMPARE(dur2->text(), QStringLiteral("45"));
        QTest::keyClick(c->nameField(), Qt::Key_Return); // Return in the name field saves
        QVERIFY(result && *result);
        QCOMPARE((*result)->steps[0].durationSecs, 20);
        QCOMPARE((*result)->steps[1].durationSecs, 45);
    }

    void removingAStepKeepsTheOthersTexts() {
        auto *c = open(three());
        c->stepFields()[0].title->setText(QStringLiteral("first typed"));
        c->stepFields()[2].instrTV->setPlainText(QStringLiteral("third typed"));
        c->stepFields()[2].dur->setText(QStringLiteral("12"));
        c->removeStep(1);
        QCOMPARE(c->draft().steps.size(), size_t(2));
        QCOMPARE(c->draft().steps[0].title, QStringLiteral("first typed"));
        QCOMPARE(c->draft().steps[1].title, QStringLiteral("S3"));
        QCOMPARE(c->draft().steps[1].instruction, QStringLiteral("third typed"));
        QCOMPARE(c->draft().steps[1].durationSecs, 12);
        QCOMPARE(c->stepFields().size(), 2);
        c->addStep();
        QCOMPARE(c->draft().steps[1].instruction, QStringLiteral("third typed"));
        QCOMPARE(c->draft().steps[2].title, QStringLiteral("Action"));
        c->removeStep(0);
        c->removeStep(0);
        c->removeStep(0);
        c->removeStep(0); // nothing left: nothing happens
        c->nameField()->setText(QStringLiteral("Empty"));
        c->doSave();
        QVERIFY(result && *result);
        QVERIFY((*result)->steps.empty());
    }

    void blankNameAndReplacedEditor() {
        auto *c = open(three());
        c->nameField()->setText(QStringLiteral(" \t "));
        c->doSave();
        QCOMPARE(dialogs->alertsShown, QStringList{"Enter a name|"});
        QVERIFY(!result);
        QCOMPARE(ExerciseEditorController::current(), c);
        int firstCalls = 0;
        ExerciseEditorController::show(three(), nullptr, [&](std::optional<Exercise>) { ++firstCalls; });
        QVERIFY(ExerciseEditorController::current() != c);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!result); // the replaced editor's completion never runs
        ExerciseEditorController::current()->doCancel();
        QCOMPARE(firstCalls, 1);
    }
};

QTEST_MAIN(TstEditor)
#include "tst_editor.moc"
