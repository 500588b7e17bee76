#include "pomodoro/TaskCat.h"

#include "ui/Lang.h"

namespace TaskCats {
QString rawValue(TaskCat c) {
    switch (c) {
    case TaskCat::work:
        return QStringLiteral("work");
    case TaskCat::health:
        return QStringLiteral("health");
    case TaskCat::personal:
        return QStringLiteral("personal");
    case TaskCat::projects:
        return QStringLiteral("projects");
    }
    return {};
}

std::optional<TaskCat> fromRaw(const QString &raw) {
    for (TaskCat c : allCases)
        if (rawValue(c) == raw) return c;
    return std::nullopt;
}

QString display(TaskCat c) {
    switch (c) {
    case TaskCat::work:
        return L::t(
            {.en = "Work", .es = "Trabajo", .de = "Arbeit", .fr = "Travail", .uk = "Робота", .pl = "Praca"});
    case TaskCat::health:
        return L::t({.en = "Health",
                     .es = "Salud",
                     .de = "Gesundheit",
                     .fr = "Santé",
                     .uk = "Здоров'я",
                     .pl = "Zdrowie"});
    case TaskCat::personal:
        return L::t({.en = "Personal",
                     .es = "Personal",
                     .de = "Persönlich",
                     .fr = "Personnel",
                     .uk = "Особисте",
                     .pl = "Osobiste"});
    case TaskCat::projects:
        return L::t({.en = "Projects",
                     .es = "Proyectos",
                     .de = "Projekte",
                     .fr = "Projets",
                     .uk = "Проекти",
                     .pl = "Projekty"});
    }
    return {};
}

QString emoji(TaskCat c) {
    switch (c) {
    case TaskCat::work:
        return QStringLiteral("💼");
    case TaskCat::health:
        return QStringLiteral("🏃");
    case TaskCat::personal:
        return QStringLiteral("⭐\uFE0F");
    case TaskCat::projects:
        return QStringLiteral("🚀");
    }
    return {};
}

QString bigIcon(TaskCat c) {
    switch (c) {
    case TaskCat::work:
        return QStringLiteral("🎯");
    case TaskCat::health:
        return QStringLiteral("❤\uFE0F");
    case TaskCat::personal:
        return QStringLiteral("👤");
    case TaskCat::projects:
        return QStringLiteral("🎨");
    }
    return {};
}

QColor color(TaskCat c) {
    switch (c) {
    case TaskCat::work:
        return QColor::fromRgbF(0.31f, 0.62f, 1.0f);
    case TaskCat::health:
        return QColor::fromRgbF(0.22f, 0.8f, 0.6f);
    case TaskCat::personal:
        return QColor::fromRgbF(1.0f, 0.353f, 0.0f);
    case TaskCat::projects:
        return QColor::fromRgbF(0.9f, 0.4f, 0.7f);
    }
    return {};
}
} // namespace TaskCats
