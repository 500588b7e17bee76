#include "exercises/ExerciseHistory.h"

#include "platform/Keys.h"
#include <memory>

namespace {
std::unique_ptr<ExerciseHistory> g_shared;
} // namespace

ExerciseHistory &ExerciseHistory::shared() {
    if (!g_shared) g_shared = std::make_unique<ExerciseHistory>();
    return *g_shared;
}

void ExerciseHistory::resetForTests() {
    g_shared.reset();
}

ExerciseHistory::ExerciseHistory(QObject *parent) : QObject(parent) {
    doc_.load(QString::fromLatin1(kExerciseHistory), ExerciseHistoryJson::decode);
}

void ExerciseHistory::add(const ExerciseRecord &record) {
    doc_.append(record);
    doc_.save();
}
