// Load and save times of the task and project stores at sizes well beyond everyday use:
// 20 000 tasks, and 500 projects with 20 steps each. A save runs after every change, so it has to stay
// far below a frame.
#include "platform/Keys.h"
#include "platform/Prefs.h"
#include "pomodoro/ProjectStore.h"
#include "pomodoro/TaskStore.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include "BenchUtil.h"

namespace {
constexpr int kRuns = 15;

std::vector<Task> makeTasks(int n) {
    static const char *cats[] = {"work", "health", "personal", "projects"};
    std::vector<Task> out;
    for (int i = 0; i < n; ++i) {
        Task t(QStringLiteral("Task number %1 with a title of ordinary length").arg(i),
               QString::fromLatin1(cats[i % 4]),
               i % 3 ? QString()
                     : QStringLiteral("Notes for %1, see https://example.com/item/%1\nsecond line").arg(i));
        t.day = 1 + i % 28;
        t.month = 1 + i % 12;
        t.year = 2024 + i % 3;
        t.completed = i % 2;
        out.push_back(std::move(t));
    }
    return out;
}

std::vector<Project> makeProjects(int n, int steps) {
    std::vector<Project> out;
    for (int i = 0; i < n; ++i) {
        Project p(QStringLiteral("Project %1").arg(i), QStringLiteral("📁"),
                  QStringLiteral("A description of project %1 that runs for a sentence or two.").arg(i));
        p.imagePaths = {QStringLiteral("/home/user/Pictures/project-%1-a.jpg").arg(i)};
        for (int s = 0; s < steps; ++s) {
            ProjectCheckpoint c;
            c.title = QStringLiteral("Step %1 of project %2").arg(s).arg(i);
            c.notes = s % 2 ? QStringLiteral("Some notes") : QString();
            c.startOffset = s * 2;
            c.durationDays = 3 + s % 4;
            c.completed = s % 3 == 0;
            p.checkpoints.push_back(std::move(c));
        }
        out.push_back(std::move(p));
    }
    return out;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Prefs prefs(dir.filePath(QStringLiteral("mivo.sqlite3")));
    Prefs::install(&prefs);

    {
        TaskStore store;
        store.replaceAll(makeTasks(20000));
        const QByteArray doc = encodeTasks(store.tasks());
        std::printf("20 000 tasks (document %.2f MB), median of %d runs:\n", doc.size() / 1e6, kRuns);
        report("encode", medianMs([&] { (void)encodeTasks(store.tasks()); }));
        report("decode", medianMs([&] { (void)decodeTasks(doc); }));
        report("save() (encode + hand to preferences)", medianMs([&] { store.save(); }));
        report("save() + commit to disk", medianMs([&] {
                   store.save();
                   prefs.flush();
               }));
        report("load (new store from preferences)", medianMs([&] { TaskStore loaded; }));
        report("toggle one task (save + post)", medianMs([&] { store.toggle(store.tasks()[10000].id); }));
    }
    {
        ProjectStore store;
        for (Project &p : makeProjects(500, 20))
            store.add(p); // 500 saves on the way in
        prefs.flush();
        const QByteArray doc = encodeProjects(store.projects());
        std::printf("500 projects x 20 steps (document %.2f MB), median of %d runs:\n", doc.size() / 1e6,
                    kRuns);
        report("encode", medianMs([&] { (void)encodeProjects(store.projects()); }));
        report("decode", medianMs([&] { (void)decodeProjects(doc); }));
        Project edited = store.projects()[250];
        report("update one project (save + post)", medianMs([&] {
                   edited.checkpoints[0].completed = !edited.checkpoints[0].completed;
                   store.update(edited);
               }));
        report("update + commit to disk", medianMs([&] {
                   store.update(edited);
                   prefs.flush();
               }));
        report("load (new store from preferences)", medianMs([&] { ProjectStore loaded; }));
    }
    Prefs::install(nullptr);
    return 0;
}
