#include "exercises/ExerciseHistory.h"

#include "platform/Keys.h"
#include "platform/SharedObjects.h"
#include <memory>

ExerciseHistory &ExerciseHistory::shared() {
    return SharedObjects::get().of<ExerciseHistory>();
}

void ExerciseHistory::resetForTests() {
    SharedObjects::get().drop<ExerciseHistory>();
}

ExerciseHistory::ExerciseHistory(QObject *parent) : QObject(parent) {
    doc_.load(QString::fromLatin1(kExerciseHistory), ExerciseHistoryJson::decode);
}

void ExerciseHistory::add(const ExerciseRecord &record) {
    doc_.append(record);
    doc_.save();
}
