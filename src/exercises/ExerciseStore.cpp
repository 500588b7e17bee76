#include "exercises/ExerciseStore.h"

#include "exercises/BuiltInExercises.h"
#include "exercises/ExerciseCategories.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "platform/RecordJson.h"
#include "platform/SharedObjects.h"
#include <algorithm>
#include <memory>

namespace {

std::vector<Exercise> userOnly(const std::vector<Exercise> &list) {
    std::vector<Exercise> out;
    for (const Exercise &e : list)
        if (!e.isBuiltIn) out.push_back(e);
    return out;
}
} // namespace

ExerciseStore &ExerciseStore::shared() {
    return SharedObjects::get().of<ExerciseStore>();
}

void ExerciseStore::resetForTests() {
    SharedObjects::get().drop<ExerciseStore>();
}

ExerciseStore::ExerciseStore(QObject *parent) : QObject(parent) {
    exercises_ = BuiltInExercises::make(L::lang());
    pending_ = loadDocument<std::vector<Exercise>>(
        QString::fromLatin1(kExerciseLibrary),
        [](const QByteArray &b) { return ExerciseJson::decodeList(b); },
        [this](std::vector<Exercise> &&stored, const DocumentLoad &r) {
            load_ = r;
            for (Exercise &e : userOnly(stored))
                exercises_.push_back(std::move(e));
            pending_.clear();
        });
    Notifier::get().observe(Notify::languageChanged, this, [this](QObject *) { reseedBuiltIn(); });
}

bool ExerciseStore::isBuiltInId(const QString &id) {
    static const QStringList ids = {"builtin-eyes",   "builtin-neck", "builtin-wrist", "builtin-back",
                                    "builtin-breath", "builtin-box",  "builtin-belly", "builtin-sigh"};
    return ids.contains(id);
}

const Exercise *ExerciseStore::find(const QString &id) const {
    pending_.wait();
    auto it =
        std::find_if(exercises_.begin(), exercises_.end(), [&](const Exercise &e) { return e.id == id; });
    return it == exercises_.end() ? nullptr : &*it;
}

void ExerciseStore::save() {
    pending_.wait();
    saveDocument(QString::fromLatin1(kExerciseLibrary), exportJSON());
}

void ExerciseStore::changed() {
    save();
    Notifier::get().post(QString::fromLatin1(Notify::exercisesChanged), this);
}

void ExerciseStore::add(const Exercise &e) {
    pending_.wait();
    exercises_.push_back(e);
    changed();
}

void ExerciseStore::update(const Exercise &e) {
    pending_.wait();
    auto it =
        std::find_if(exercises_.begin(), exercises_.end(), [&](const Exercise &x) { return x.id == e.id; });
    if (it == exercises_.end()) return;
    *it = e;
    changed();
}

void ExerciseStore::remove(const QString &id) {
    pending_.wait();
    std::erase_if(exercises_, [&](const Exercise &e) { return e.id == id; });
    changed();
}

std::vector<std::pair<QString, std::vector<Exercise>>> ExerciseStore::byCategory() const {
    pending_.wait();
    // Groups in order of first appearance, so the groups after the fixed four keep a stable order.
    std::vector<std::pair<QString, std::vector<Exercise>>> groups;
    for (const Exercise &e : exercises_) {
        auto it =
            std::find_if(groups.begin(), groups.end(), [&](const auto &g) { return g.first == e.category; });
        if (it == groups.end())
            groups.push_back({e.category, {e}});
        else
            it->second.push_back(e);
    }
    std::vector<std::pair<QString, std::vector<Exercise>>> out;
    const AppLang lang = L::lang();
    for (ExerciseCategory c : ExerciseCategories::fixedOrder) {
        const QString name = ExerciseCategories::name(c, lang);
        auto it = std::find_if(groups.begin(), groups.end(), [&](const auto &g) { return g.first == name; });
        if (it == groups.end()) continue;
        out.push_back(std::move(*it));
        groups.erase(it);
    }
    for (auto &g : groups)
        out.push_back(std::move(g));
    return out;
}

QByteArray ExerciseStore::exportJSON() const {
    pending_.wait();
    return ExerciseJson::encodeList(userOnly(exercises_));
}

std::optional<QByteArray> ExerciseStore::exportOne(const QString &id) const {
    const Exercise *e = find(id);
    if (!e) return std::nullopt;
    return ExerciseJson::encodeOne(*e);
}

bool ExerciseStore::importOne(const QByteArray &data) {
    pending_.wait();
    auto e = ExerciseJson::decodeOne(data);
    if (!e) return false;
    e->isBuiltIn = false;
    if (isBuiltInId(e->id)) e->id = RecordJson::newId();
    auto it =
        std::find_if(exercises_.begin(), exercises_.end(), [&](const Exercise &x) { return x.id == e->id; });
    if (it != exercises_.end())
        *it = std::move(*e);
    else
        exercises_.push_back(std::move(*e));
    changed();
    return true;
}

int ExerciseStore::importJSON(const QByteArray &data) {
    pending_.wait();
    auto list = ExerciseJson::decodeList(data);
    if (!list) return -1;
    int added = 0;
    for (Exercise &e : *list) {
        // A built-in's id is skipped even while that built-in is deleted from the list, so no user
        // exercise ever shares an id with a built-in.
        if (find(e.id) || isBuiltInId(e.id)) continue;
        e.isBuiltIn = false;
        exercises_.push_back(std::move(e));
        ++added;
    }
    changed();
    return added;
}

void ExerciseStore::reseedBuiltIn() {
    pending_.wait();
    std::vector<Exercise> kept = userOnly(exercises_);
    exercises_ = BuiltInExercises::make(L::lang());
    for (Exercise &e : kept)
        exercises_.push_back(std::move(e));
    Notifier::get().post(QString::fromLatin1(Notify::exercisesChanged), this);
}
