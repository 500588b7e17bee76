#pragma once
#include "ui/Lang.h"
#include <QString>

// The four fixed category names the library groups by first; the built-ins use the first three.
enum class ExerciseCategory { health, stretching, relaxation, other };

namespace ExerciseCategories {
inline constexpr ExerciseCategory fixedOrder[] = {ExerciseCategory::health, ExerciseCategory::stretching,
                                                  ExerciseCategory::relaxation, ExerciseCategory::other};
QString name(ExerciseCategory c, AppLang lang);
} // namespace ExerciseCategories
