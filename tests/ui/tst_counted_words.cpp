// A count in a sentence takes the form its number asks for, wherever the app writes one: Ukrainian
// and Polish have three (1 and 21 are not 5, 22 is not 25, 166 is not 2), English two.
#include "common/NoteTables.h"
#include "common/TestEnv.h"
#include "exercises/ExercisesTexts.h"
#include "finance/FinStatCard.h"
#include "notes/NoteGrid.h"
#include "notes/NoteListImport.h"
#include "pomodoro/PomListRows.h"
#include "pomodoro/Project.h"
#include "ui/Lang.h"
#include <QtTest>
#include <functional>
#include <map>

Q_DECLARE_METATYPE(AppLang)

namespace {
using Place = std::function<QString(int n)>;

// The drag ghost over a selection of n cells (n ≥ 2), as a block of rows × columns.
QString ghost(int n) {
    int rows = 1;
    for (int r = 2; r * r <= n; ++r)
        if (n % r == 0) rows = r;
    const Note note = tableNote(QStringLiteral("T"), 1, {{"a"}});
    NoteGrid::Selection sel;
    sel.anchor = NoteGrid::CellPos{0, 0};
    sel.end = NoteGrid::CellPos{rows - 1, n / rows - 1};
    const NoteGrid g(note, {100}, {}, 500, &sel, nullptr);
    return g.ghostText({0, 0});
}

const std::map<QString, Place> &places() {
    static const std::map<QString, Place> p = {
        {"finance card",
         [](int n) {
             FinStatCard card(QStringLiteral("💰"), QStringLiteral("Income"), Qt::green);
             card.update(10, n, 0.5, QStringLiteral("₴ "));
             return card.lineText();
         }},
        {"exercise steps", [](int n) { return ExTexts::stepsCount(n); }},
        {"exercises imported", [](int n) { return ExTexts::addedCount(n); }},
        {"project row",
         [](int n) {
             Project p;
             p.checkpoints.resize(size_t(n));
             return PomListRows::projectRow(p).subtitle;
         }},
        {"cells dragged", [](int n) { return ghost(n); }},
        {"notes to import", [](int n) { return NoteListImport::confirmText(n); }},
    };
    return p;
}

// Each place's text for n in the forms one, few and many, with %1 for the number.
struct Forms {
    QString place;
    AppLang lang;
    QString one, few, many;
};
const QList<Forms> kForms = {
    {"finance card", AppLang::uk, "%1 запис", "%1 записи", "%1 записів"},
    {"finance card", AppLang::pl, "%1 wpis", "%1 wpisy", "%1 wpisów"},
    {"finance card", AppLang::en, "%1 entry", "%1 entries", "%1 entries"},
    {"exercise steps", AppLang::uk, "%1 крок", "%1 кроки", "%1 кроків"},
    {"exercise steps", AppLang::pl, "%1 krok", "%1 kroki", "%1 kroków"},
    {"exercise steps", AppLang::en, "%1 step", "%1 steps", "%1 steps"},
    {"exercises imported", AppLang::uk, "%1 вправу додано.", "%1 вправи додано.", "%1 вправ додано."},
    {"exercises imported", AppLang::pl, "%1 ćwiczenie dodano.", "%1 ćwiczenia dodano.", "%1 ćwiczeń dodano."},
    {"exercises imported", AppLang::en, "%1 exercise added.", "%1 exercises added.", "%1 exercises added."},
    {"project row", AppLang::uk, "0/%1 крок · 0%", "0/%1 кроки · 0%", "0/%1 кроків · 0%"},
    {"project row", AppLang::pl, "0/%1 krok · 0%", "0/%1 kroki · 0%", "0/%1 kroków · 0%"},
    {"project row", AppLang::en, "0/%1 step · 0%", "0/%1 steps · 0%", "0/%1 steps · 0%"},
    {"cells dragged", AppLang::uk, "⠿ %1 клітинка", "⠿ %1 клітинки", "⠿ %1 клітинок"},
    {"cells dragged", AppLang::pl, "⠿ %1 komórka", "⠿ %1 komórki", "⠿ %1 komórek"},
    {"cells dragged", AppLang::en, "⠿ %1 cell", "⠿ %1 cells", "⠿ %1 cells"},
    {"notes to import", AppLang::uk, "%1 нотатку буде імпортовано. Поточні нотатки буде замінено.",
     "%1 нотатки буде імпортовано. Поточні нотатки буде замінено.",
     "%1 нотаток буде імпортовано. Поточні нотатки буде замінено."},
    {"notes to import", AppLang::pl, "%1 notatka zostanie zaimportowana. Obecne notatki zostaną zastąpione.",
     "%1 notatki zostaną zaimportowane. Obecne notatki zostaną zastąpione.",
     "%1 notatek zostanie zaimportowanych. Obecne notatki zostaną zastąpione."},
    {"notes to import", AppLang::en, "%1 note will be imported. All current notes will be replaced.",
     "%1 notes will be imported. All current notes will be replaced.",
     "%1 notes will be imported. All current notes will be replaced."},
};

// Written out rather than worked out: 21 is "one" in Ukrainian only, 166 is "many" everywhere.
const QString &formFor(const Forms &f, int n) {
    switch (f.lang) {
    case AppLang::uk:
        return n == 1 || n == 21 ? f.one : n == 2 || n == 22 ? f.few : f.many;
    case AppLang::pl:
        return n == 1 ? f.one : n == 2 || n == 22 ? f.few : f.many;
    default:
        return n == 1 ? f.one : f.many;
    }
}
} // namespace

class TstCountedWords : public QObject {
    Q_OBJECT
    TempPrefs prefs;

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void cleanupTestCase() { L::setLang(AppLang::en); }

    void everyCountTakesItsForm_data() {
        QTest::addColumn<QString>("place");
        QTest::addColumn<AppLang>("lang");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        for (const Forms &f : kForms) {
            for (int n : {0, 1, 2, 5, 21, 22, 25, 166}) {
                // One cell dragged shows its text, a project without steps says so in words.
                if ((f.place == QLatin1String("cells dragged") && n < 2) || (f.place == QLatin1String("project row") && n == 0))
                    continue;
                const QString &form = formFor(f, n);
                QTest::addRow("%s %s %d", qPrintable(f.place), qPrintable(AppLangs::rawValue(f.lang)), n)
                    << f.place << f.lang << n << form.arg(n);
            }
        }
    }
    void everyCountTakesItsForm() {
        QFETCH(QString, place);
        QFETCH(AppLang, lang);
        QFETCH(int, n);
        L::setLang(lang);
        QTEST(places().at(place)(n), "expected");
    }
};

QTEST_MAIN(TstCountedWords)
#include "tst_counted_words.moc"
