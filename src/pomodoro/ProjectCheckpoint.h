#pragma once
#include <QString>
#include <QtGlobal>

// One step of a project, placed on the project's day axis by a start offset and a length in days.
// The numbers come from the user's document as they are, so sums over them saturate (see dayEnd).
struct ProjectCheckpoint {
    QString id;
    QString title;
    QString notes;
    qint64 durationDays = 3;
    qint64 startOffset = 0;
    bool completed = false;

    // A new step: fresh id, empty texts, 3 days from day 0, open.
    ProjectCheckpoint();
    ProjectCheckpoint(QString id, QString title, QString notes, qint64 durationDays, qint64 startOffset,
                      bool completed);

    // startOffset + durationDays, held at the 64-bit limits instead of wrapping.
    qint64 dayEnd() const;

    bool operator==(const ProjectCheckpoint &) const = default;
};

// a + b held at the 64-bit limits.
qint64 saturatingAdd(qint64 a, qint64 b);
