#include "exercises/ExerciseCategories.h"

#include "exercises/BuiltInExercises.h"

namespace ExerciseCategories {
QString name(ExerciseCategory c, AppLang lang) {
    switch (c) {
    case ExerciseCategory::health:
        return BuiltInExercises::text({.en = "Health",
                                       .es = "Salud",
                                       .de = "Gesundheit",
                                       .fr = "Santé",
                                       .uk = "Здоров'я",
                                       .pl = "Zdrowie"},
                                      lang);
    case ExerciseCategory::stretching:
        return BuiltInExercises::text({.en = "Stretching",
                                       .es = "Estiramiento",
                                       .de = "Dehnen",
                                       .fr = "Étirements",
                                       .uk = "Розтяжка",
                                       .pl = "Rozciąganie"},
                                      lang);
    case ExerciseCategory::relaxation:
        return BuiltInExercises::text({.en = "Relaxation",
                                       .es = "Relajación",
                                       .de = "Entspannung",
                                       .fr = "Relaxation",
                                       .uk = "Розслаблення",
                                       .pl = "Relaksacja"},
                                      lang);
    case ExerciseCategory::other:
        return BuiltInExercises::text(
            {.en = "Other", .es = "Otro", .de = "Sonstiges", .fr = "Autre", .uk = "Інше", .pl = "Inne"},
            lang);
    }
    return {};
}
} // namespace ExerciseCategories
