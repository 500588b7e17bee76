#include "pomodoro/ProjectCheckpoint.h"

#include "platform/RecordJson.h"
#include <limits>

ProjectCheckpoint::ProjectCheckpoint() : id(RecordJson::newId()) {}

ProjectCheckpoint::ProjectCheckpoint(QString id, QString title, QString notes, qint64 durationDays,
                                     qint64 startOffset, bool completed)
    : id(std::move(id)), title(std::move(title)), notes(std::move(notes)), durationDays(durationDays),
      startOffset(startOffset), completed(completed) {}

qint64 ProjectCheckpoint::dayEnd() const {
    return saturatingAdd(startOffset, durationDays);
}

qint64 saturatingAdd(qint64 a, qint64 b) {
    qint64 r;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}
