#pragma once
#include "exercises/Exercise.h"
#include "platform/Document.h"
#include <QObject>
#include <utility>
#include <vector>

// The exercise library: the eight built-ins first (rebuilt in the interface language at start and
// at every languageChanged, never stored), then the user's own exercises in their stored order. Only
// the user's exercises are written, as the exerciseLibrary document. Every change posts
// exercisesChanged with the store as sender. Main thread only.
class ExerciseStore : public QObject {
    Q_OBJECT
public:
    // The process-wide store, created and loaded on first use.
    static ExerciseStore &shared();
    // Drops the shared store; the next shared() loads again from the current preferences domain.
    static void resetForTests();

    // Starts loading exerciseLibrary (every use of the store waits for it; an unreadable document is kept
    // aside and the user's list starts empty; stored records marked as built-in are dropped), seeds the
    // built-ins and follows language changes.
    explicit ExerciseStore(QObject *parent = nullptr);

    const std::vector<Exercise> &exercises() const {
        pending_.wait();
        return exercises_;
    }
    // The first exercise with that id, or nullptr.
    const Exercise *find(const QString &id) const;
    const DocumentLoad &loadReport() const {
        pending_.wait();
        return load_;
    }

    // Appends unchanged, saves, posts.
    void add(const Exercise &e);
    // Replaces the first exercise with that id in place; does nothing at all when there is none.
    void update(const Exercise &e);
    // Removes every exercise with that id (built-ins too, until the next reseed); always saves and posts.
    void remove(const QString &id);

    // Groups in list order: the four fixed category names of the current language first (Health,
    // Stretching, Relaxation, Other), then any other category text in order of first appearance.
    std::vector<std::pair<QString, std::vector<Exercise>>> byCategory() const;

    // The user's exercises as a JSON array.
    QByteArray exportJSON() const;
    // The first exercise with that id as a JSON object; nothing when there is none.
    std::optional<QByteArray> exportOne(const QString &id) const;
    // One exercise object: becomes the user's own and replaces the first exercise with its id, or is
    // appended. A copy whose id is a built-in's gets a fresh id, so later edits and deletes reach the
    // copy and never the built-in. False (and nothing changed) when the data is not one exercise.
    bool importOne(const QByteArray &data);
    // A JSON array of exercises: those whose id is not in the library yet are added as the user's
    // own. The number added, or -1 (nothing changed) when the data is not such an array. Saves and
    // posts also when nothing was added.
    int importJSON(const QByteArray &data);

    // Rebuilds the built-ins in the current language, keeping the user's exercises behind them; posts.
    void reseedBuiltIn();
    // Writes the user's exercises; posts nothing.
    void save();

    static bool isBuiltInId(const QString &id);

private:
    void changed();

    std::vector<Exercise> exercises_;
    DocumentLoad load_;
    PendingLoad pending_; // last: dropped before what it would fill
};
