#pragma once
#include <QString>

// The breathing phase a step of a built-in breathing exercise shows, read from its title. The runner
// drives its breathing circle with it; the built-ins' titles in every language are written to give
// the same phase step by step.
enum class BreathePhase { inhale, hold, exhale, none };

namespace BreathPhases {
// True for the four built-in breathing exercises ("builtin-breath", "-box", "-belly", "-sigh").
bool isBreathingExercise(const QString &exerciseId);
// From the title alone, lower-cased, by plain substring search: a hold word first, then an exhale
// word, otherwise inhale.
BreathePhase fromTitle(const QString &title);
// none for every exercise but the four breathing ones.
BreathePhase forStep(const QString &exerciseId, const QString &stepTitle);
} // namespace BreathPhases
