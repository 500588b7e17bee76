#pragma once
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// One timed step of an exercise.
struct ExerciseStep {
    QString id;
    QString title;
    QString instruction;
    qint64 durationSecs = 0;
    std::optional<QString> imagePath;
    std::optional<QString> imageURL;
    std::optional<QString> videoURL; // any web link; opened in the browser window

    bool operator==(const ExerciseStep &) const = default;
};

// An exercise of the library: the eight built-ins (isBuiltIn) or one of the user's own. category is
// display text in the language it was made in, not a code.
struct Exercise {
    QString id;
    QString name;
    QString emoji;
    QString category;
    std::vector<ExerciseStep> steps;
    bool isBuiltIn = false;
    QString accentHex = QStringLiteral("22C970");

    // The sum of the steps' lengths; saturates instead of overflowing.
    qint64 totalDuration() const;

    bool operator==(const Exercise &) const = default;
};

namespace ExerciseJson {
// Step lengths outside this range (damaged or hostile data) are clamped when read, never refused.
inline constexpr qint64 kMaxStepSecs = 86400;
qint64 clampStepSecs(qint64 s);

// Compact JSON: all seven exercise keys always; a step's three links only when they hold a value.
void appendExercise(QByteArray &out, const Exercise &e);
QByteArray encodeOne(const Exercise &e);
QByteArray encodeList(const std::vector<Exercise> &list);

// Strict reading: every required key with its type; one bad record makes the whole document
// unreadable. Step lengths are clamped to 0…kMaxStepSecs.
std::optional<Exercise> decodeOne(const QByteArray &bytes);
std::optional<std::vector<Exercise>> decodeList(const QByteArray &bytes);
} // namespace ExerciseJson
