#pragma once
#include "exercises/Exercise.h"
#include "ui/Lang.h"
#include <vector>

// The eight exercises the program ships: program data, never stored. Built in the given language,
// each step with a fresh id; exercise ids, emoji, colours and step lengths are the same in every
// language. Breathing step titles carry the words the runner's breathing classifier looks for, so a
// step's phase does not depend on the language.
namespace BuiltInExercises {
std::vector<Exercise> make(AppLang lang);
// The text of tr in lang (whatever the current interface language).
QString text(const Tr &tr, AppLang lang);
} // namespace BuiltInExercises
