#pragma once
#include "pomodoro/ProjectCheckpoint.h"
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// A named piece of work with photos (file paths) and ordered steps on a day axis.
struct Project {
    QString id;
    QString name;
    QString emoji;
    QString description;
    QStringList imagePaths;
    std::vector<ProjectCheckpoint> checkpoints;
    double createdDateInterval = 0; // seconds since 2001-01-01 00:00 UTC

    Project() = default;
    // A new project: fresh id, no photos, no steps, created now (Clock).
    Project(const QString &name, const QString &emoji, const QString &description);

    QDateTime createdDate() const;
    // The length of the day axis: the largest step end, at least 0.
    qint64 totalDays() const;
    // Completed steps over all steps; 0 without steps.
    double progress() const;

    bool operator==(const Project &) const = default;
};

// The largest startOffset + durationDays over the steps, starting from 0 (sums saturate).
qint64 totalDaysOf(const std::vector<ProjectCheckpoint> &steps);

// The savedProjects document: a compact JSON array of projects, keys in field order, steps nested.
QByteArray encodeProjects(const std::vector<Project> &projects);
// One project's object, as encodeProjects writes it.
void appendProject(QByteArray &out, const Project &p);
// Nothing when the bytes are not such an array or any project or step lacks a key or has a mistyped one.
std::optional<std::vector<Project>> decodeProjects(const QByteArray &bytes);
