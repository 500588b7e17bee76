#pragma once
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// One finished exercise run, as the runner records it and statistics reads it. The date is the day,
// month and year of the user's calendar when the run was recorded; durationSecs is the exercise's
// planned length (the sum of its steps).
struct ExerciseRecord {
    QString id;
    QString name;
    QString emoji;
    qint64 day = 0;
    qint64 month = 0;
    qint64 year = 0;
    qint64 durationSecs = 0;

    // A new record with a fresh id, dated today (Clock::today()).
    static ExerciseRecord make(const QString &name, const QString &emoji, qint64 durationSecs);
    bool operator==(const ExerciseRecord &) const = default;
};

// The exerciseHistory document: a compact JSON array of records, oldest first, the seven keys in
// field order. Decoding is strict: every key with its type; one bad record makes it unreadable.
namespace ExerciseHistoryJson {
QByteArray encode(const std::vector<ExerciseRecord> &records);
// One record's object, as encode writes it.
void append(QByteArray &out, const ExerciseRecord &r);
std::optional<std::vector<ExerciseRecord>> decode(const QByteArray &bytes);
} // namespace ExerciseHistoryJson
