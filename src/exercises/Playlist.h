#pragma once
#include "exercises/Exercise.h"
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// One place in the playlist. uid tells places apart, so one exercise can stand there several times.
struct PlaylistEntry {
    QString uid;
    QString exID;
    static PlaylistEntry make(const QString &exID); // with a fresh uid
    bool operator==(const PlaylistEntry &) const = default;
};

// The playlistState document: the entries and how far the current run got.
struct PlaylistSavedState {
    QStringList entryExIDs;
    QStringList entryUIDs;
    qint64 completedCount = 0;
    qint64 currentExIdx = 0;
    qint64 currentStep = 0;
    qint64 remainingSecs = 0;
    bool operator==(const PlaylistSavedState &) const = default;
};

namespace PlaylistJson {
// One compact object with the six keys in field order.
QByteArray encode(const PlaylistSavedState &s);
// All six keys required with their types; anything else is no saved state.
std::optional<PlaylistSavedState> decode(const QByteArray &bytes);
} // namespace PlaylistJson

// The geometry and gesture rules of the playlist's drag and drop, apart from the views.
namespace PlaylistRules {
inline constexpr double kRowH = 40;
inline constexpr double kRowGap = 6;
inline constexpr double kTopPad = 8;
inline constexpr double kPitch = kRowH + kRowGap;
inline constexpr double kDragStart = 4; // a press becomes a drag beyond this distance
inline constexpr double kTapMax = 5;    // a release closer than this, without a drag, is a tap

inline bool startsDrag(double distance) {
    return distance > kDragStart;
}
inline bool isTap(double distance, bool dragStarted) {
    return !dragStarted && distance < kTapMax;
}
// The row boundary nearest to y (top-left origin of the drop view): 0 … entryCount.
int insertionIndex(double y, int entryCount);
// The y of the insertion line's top edge for index i.
inline double insertionLineY(int i) {
    return i * kPitch + kTopPad - 3 - 1.5;
}
// Tells a click from a drag for one press on a row: a press becomes a drag once the pointer is
// more than kDragStart from where it went down (reported once); a release closer than kTapMax
// without a drag is a tap. Distances are straight lines in window coordinates.
class RowGesture {
public:
    void press(double x, double y);
    // True exactly once per press: when this move starts the drag.
    bool move(double x, double y);
    // True when the release is a tap.
    bool release(double x, double y) const;
    bool dragStarted() const { return dragStarted_; }

private:
    double downX_ = 0, downY_ = 0;
    bool dragStarted_ = false;
    bool pressed_ = false;
};
// "" for an empty playlist, "0%" before the first finish, else the truncated share, e.g. "66%".
QString percentText(qsizetype entries, qint64 completed);
} // namespace PlaylistRules

// Where a resumed run starts: the index into the resolved run list, the step and its seconds left
// (0 = the whole step).
struct PlaylistResume {
    qsizetype fromExIdx = 0;
    qint64 step = 0;
    qint64 remainingSecs = 0;
};

// The playlist of the exercises page and its stored progress, kept apart from the views. Every
// change that the user can see is written at once, so Resume and the next start show what the user
// sees: after a drop, reorder or remove the next exercise to play is the one after the finished ones.
class PlaylistModel {
public:
    // Exercises by id (the library); entries whose id gives nothing are left out of runs.
    using Resolver = std::function<const Exercise *(const QString &id)>;
    explicit PlaylistModel(Resolver resolve);

    const std::vector<PlaylistEntry> &entries() const { return entries_; }
    qint64 completedCount() const { return completed_; }
    bool hasSavedState() const;

    // Restores entries and count from playlistState; missing or unreadable data changes nothing
    // (unreadable bytes are kept aside, as for every stored document).
    void load();
    // Reads playlistState as load() does, without a model: at launch, so unreadable bytes are kept
    // aside and told with the rest, not when the exercises page is first opened.
    static void checkStored();
    // The playlist's exercises that exist, in order.
    std::vector<Exercise> resolvedRun() const;

    void drop(const QString &exID);
    // Moves the entry with uid to insertion index k (counted before the move). False when no entry
    // has that uid.
    bool reorder(const QString &uid, int k);
    // Removes every entry with uid; an emptied playlist deletes playlistState.
    void remove(const QString &uid);
    void clear();

    // A run from the start: count 0, the state names the first exercise at its full first step.
    // Returns the run (empty: nothing to run, nothing changed).
    std::vector<Exercise> startRun();
    // One exercise of a run finished. run is the list the run was started with (for the next first
    // step's length when started from the beginning); resumed runs store 0 seconds.
    void exerciseFinished(const std::vector<Exercise> &run, bool resumed);
    // Reloads the stored state and gives where to resume, or nothing (no state, an index before the
    // start or past the end). The run from that point is resolvedRun() from fromExIdx on.
    std::optional<PlaylistResume> resume();

private:
    void save(qint64 currentExIdx, qint64 remainingSecs);
    void saveAtCompleted() { save(completed_, 0); }
    void restore(const PlaylistSavedState &s);
    static std::optional<PlaylistSavedState> stored();

    Resolver resolve_;
    std::vector<PlaylistEntry> entries_;
    qint64 completed_ = 0;
};
