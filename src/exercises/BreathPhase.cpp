#include "exercises/BreathPhase.h"

#include <QStringList>

namespace BreathPhases {
bool isBreathingExercise(const QString &id) {
    return id == QLatin1String("builtin-breath") || id == QLatin1String("builtin-box") ||
           id == QLatin1String("builtin-belly") || id == QLatin1String("builtin-sigh");
}

BreathePhase fromTitle(const QString &title) {
    static const QStringList holdWords = {QStringLiteral("hold"),        QStringLiteral("halten"),
                                          QStringLiteral("retenir"),     QStringLiteral("retener"),
                                          QStringLiteral("затримка"),    QStringLiteral("zatrzyma"),
                                          QStringLiteral("leer halten"), QStringLiteral("empty")};
    static const QStringList exhaleWords = {
        QStringLiteral("exhale"), QStringLiteral("breath out"), QStringLiteral("ausatmen"),
        QStringLiteral("wydech"), QStringLiteral("expir"),      QStringLiteral("exhalar"),
        QStringLiteral("видих"),  QStringLiteral("видихни"),    QStringLiteral("выдох")};
    const QString t = title.toLower();
    for (const QString &w : holdWords)
        if (t.contains(w)) return BreathePhase::hold;
    for (const QString &w : exhaleWords)
        if (t.contains(w)) return BreathePhase::exhale;
    return BreathePhase::inhale;
}

BreathePhase forStep(const QString &exerciseId, const QString &stepTitle) {
    return isBreathingExercise(exerciseId) ? fromTitle(stepTitle) : BreathePhase::none;
}
} // namespace BreathPhases
