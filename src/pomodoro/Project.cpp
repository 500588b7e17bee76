#include "pomodoro/Project.h"

#include "platform/Clock.h"
#include "pomodoro/RecordJson.h"
#include <algorithm>

using namespace RecordJson;

Project::Project(const QString &name, const QString &emoji, const QString &description)
    : id(newId()), name(name), emoji(emoji), description(description),
      createdDateInterval(Clock::get().refSeconds()) {}

QDateTime Project::createdDate() const { return Clock::fromRefSeconds(createdDateInterval); }

qint64 totalDaysOf(const std::vector<ProjectCheckpoint> &steps) {
    qint64 total = 0;
    for (const ProjectCheckpoint &c : steps) total = std::max(total, c.dayEnd());
    return total;
}

qint64 Project::totalDays() const { return totalDaysOf(checkpoints); }

double Project::progress() const {
    if (checkpoints.empty()) return 0.0;
    const auto done = std::count_if(checkpoints.begin(), checkpoints.end(),
                                    [](const ProjectCheckpoint &c) { return c.completed; });
    return double(done) / double(checkpoints.size());
}

QByteArray encodeProjects(const std::vector<Project> &projects) {
    OrderedJson doc = OrderedJson::array();
    for (const Project &p : projects) {
        OrderedJson paths = OrderedJson::array();
        for (const QString &s : p.imagePaths) paths.push_back(str(s));
        OrderedJson steps = OrderedJson::array();
        for (const ProjectCheckpoint &c : p.checkpoints) {
            OrderedJson s;
            s["id"] = str(c.id);
            s["title"] = str(c.title);
            s["notes"] = str(c.notes);
            s["durationDays"] = c.durationDays;
            s["startOffset"] = c.startOffset;
            s["completed"] = c.completed;
            steps.push_back(std::move(s));
        }
        OrderedJson o;
        o["id"] = str(p.id);
        o["name"] = str(p.name);
        o["emoji"] = str(p.emoji);
        o["description"] = str(p.description);
        o["imagePaths"] = std::move(paths);
        o["checkpoints"] = std::move(steps);
        o["createdDateInterval"] = p.createdDateInterval;
        doc.push_back(std::move(o));
    }
    return dump(doc);
}

namespace {
std::optional<ProjectCheckpoint> decodeStep(const Json &o) {
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
    const auto doc = parse(bytes);
    if (!doc || !doc->is_array()) return std::nullopt;
    std::vector<Project> out;
    out.reserve(doc->size());
    for (const Json &o : *doc) {
        Project p;
        if (!readString(o, "id", p.id) || !readString(o, "name", p.name) || !readString(o, "emoji", p.emoji) ||
            !readString(o, "description", p.description) || !readStrings(o, "imagePaths", p.imagePaths) ||
            !readDouble(o, "createdDateInterval", p.createdDateInterval))
            return std::nullopt;
        auto steps = o.find("checkpoints");
        if (steps == o.end() || !steps->is_array()) return std::nullopt;
        p.checkpoints.reserve(steps->size());
        for (const Json &s : *steps) {
            auto step = decodeStep(s);
            if (!step) return std::nullopt;
            p.checkpoints.push_back(std::move(*step));
        }
        out.push_back(std::move(p));
    }
    return out;
}
