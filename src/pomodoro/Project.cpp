#include "pomodoro/Project.h"

#include "platform/Clock.h"
#include "platform/RecordJson.h"
#include <algorithm>

using namespace RecordJson;

Project::Project(const QString &name, const QString &emoji, const QString &description)
    : id(newId()), name(name), emoji(emoji), description(description),
      createdDateInterval(Clock::get().refSeconds()) {}

QDateTime Project::createdDate() const {
    return Clock::fromRefSeconds(createdDateInterval);
}

qint64 totalDaysOf(const std::vector<ProjectCheckpoint> &steps) {
    qint64 total = 0;
    for (const ProjectCheckpoint &c : steps)
        total = std::max(total, c.dayEnd());
    return total;
}

qint64 Project::totalDays() const {
    return totalDaysOf(checkpoints);
}

double Project::progress() const {
    if (checkpoints.empty()) return 0.0;
    const auto done = std::count_if(checkpoints.begin(), checkpoints.end(),
                                    [](const ProjectCheckpoint &c) { return c.completed; });
    return double(done) / double(checkpoints.size());
}

namespace {
void appendStep(QByteArray &out, const ProjectCheckpoint &c) {
    appendKey(out.append('{'), "id");
    appendString(out, c.id);
    appendKey(out.append(','), "title");
    appendString(out, c.title);
    appendKey(out.append(','), "notes");
    appendString(out, c.notes);
    appendKey(out.append(','), "durationDays");
    appendInt(out, c.durationDays);
    appendKey(out.append(','), "startOffset");
    appendInt(out, c.startOffset);
    appendKey(out.append(','), "completed");
    appendBool(out, c.completed);
    out.append('}');
}
} // namespace

void appendProject(QByteArray &out, const Project &p) {
    appendKey(out.append('{'), "id");
    appendString(out, p.id);
    appendKey(out.append(','), "name");
    appendString(out, p.name);
    appendKey(out.append(','), "emoji");
    appendString(out, p.emoji);
    appendKey(out.append(','), "description");
    appendString(out, p.description);
    appendKey(out.append(','), "imagePaths");
    appendArray(out, p.imagePaths, [](QByteArray &o, const QString &path) { appendString(o, path); });
    appendKey(out.append(','), "checkpoints");
    appendArray(out, p.checkpoints, appendStep);
    appendKey(out.append(','), "createdDateInterval");
    appendDouble(out, p.createdDateInterval);
    out.append('}');
}

QByteArray encodeProjects(const std::vector<Project> &projects) {
    QByteArray out;
    appendArray(out, projects, appendProject);
    return out;
}

namespace {
std::optional<ProjectCheckpoint> decodeStep(Value o) {
    QString id, title, notes;
    qint64 duration = 0, start = 0;
    bool completed = false;
    if (!readString(o, "id", id) || !readString(o, "title", title) || !readString(o, "notes", notes) ||
        !readInt(o, "durationDays", duration) || !readInt(o, "startOffset", start) ||
        !readBool(o, "completed", completed))
        return std::nullopt;
    return ProjectCheckpoint(std::move(id), std::move(title), std::move(notes), duration, start, completed);
}
} // namespace

std::optional<std::vector<Project>> decodeProjects(const QByteArray &bytes) {
    return readArray(bytes, [](Value o) -> std::optional<Project> {
        Project p;
        if (!readString(o, "id", p.id) || !readString(o, "name", p.name) ||
            !readString(o, "emoji", p.emoji) || !readString(o, "description", p.description) ||
            !readStrings(o, "imagePaths", p.imagePaths) ||
            !readDouble(o, "createdDateInterval", p.createdDateInterval))
            return std::nullopt;
        const auto stepsValue = member(o, "checkpoints");
        simdjson::dom::array steps;
        if (!stepsValue || stepsValue->get_array().get(steps) != simdjson::SUCCESS) return std::nullopt;
        p.checkpoints.reserve(steps.size());
        for (const Value s : steps) {
            auto step = decodeStep(s);
            if (!step) return std::nullopt;
            p.checkpoints.push_back(std::move(*step));
        }
        return p;
    });
}
