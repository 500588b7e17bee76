#include "exercises/EditorRules.h"

#include "exercises/ExerciseCategories.h"
#include "platform/RecordJson.h"
#include <QRegularExpression>
#include <algorithm>

namespace EditorRules {

std::optional<qint64> wholeNumber(const QString &text) {
    static const QRegularExpression re(QStringLiteral("^[+-]?[0-9]+$"));
    if (!re.match(text).hasMatch()) return std::nullopt;
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    if (!ok || v < 0 || v > ExerciseJson::kMaxStepSecs) return std::nullopt;
    return v;
}

qint64 onReturn(const QString &text) {
    return wholeNumber(text).value_or(20);
}

QStringList cats(AppLang lang) {
    QStringList out;
    for (ExerciseCategory c : ExerciseCategories::fixedOrder) out << ExerciseCategories::name(c, lang);
    return out;
}

CategoryChoice categoryChoice(const QString &stored, AppLang lang) {
    CategoryChoice c{cats(lang), 0};
    for (AppLang l : AppLangs::allCases) {
        const int i = int(cats(l).indexOf(stored));
        if (i >= 0) {
            c.selected = i;
            return c;
        }
    }
    if (!stored.isEmpty()) {
        c.items << stored;
        c.selected = 4;
    }
    return c;
}

QString categoryFor(int index, const QString &stored, AppLang lang) {
    const QStringList four = cats(lang);
    if (index == 4 && !stored.isEmpty() && categoryChoice(stored, lang).items.size() == 5) return stored;
    return four[std::clamp(index, 0, int(four.size()) - 1)];
}

Exercise newDraft(AppLang lang) {
    Exercise e;
    e.id = RecordJson::newId();
    e.name = QString();
    e.emoji = QStringLiteral("💪");
    e.category = cats(lang)[3];
    e.steps.push_back({RecordJson::newId(), QStringLiteral("Action 1"), QStringLiteral("Description of first action"), 20,
                       std::nullopt, std::nullopt, std::nullopt});
    e.isBuiltIn = false;
    e.accentHex = QStringLiteral("22C970");
    return e;
}

QString trimHorizontal(const QString &s) {
    qsizetype a = 0, b = s.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (a < b && blank(s[a])) ++a;
    while (b > a && blank(s[b - 1])) --b;
    return s.mid(a, b - a);
}
} // namespace EditorRules
