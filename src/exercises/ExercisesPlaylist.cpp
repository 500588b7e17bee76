// The playlist of the exercises page: its rows, its changes and its runs.
#include "exercises/ExerciseStore.h"
#include "exercises/ExerciseViews.h"
#include "exercises/ExercisesView.h"
#include "ui/TintButton.h"
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

void ExercisesView::rebuildPlaylist() {
    const auto &entries = playlist_.entries();
    const int n = int(entries.size());
    double w = playlistScroll_->width() > 0 ? playlistScroll_->width() : 260;
    playlistRunBtn_->setEnabled(n > 0);
    playlistClearBtn_->setEnabled(n > 0);
    playlistPctLbl_->setText(PlaylistRules::percentText(n, playlist_.completedCount()));
    playlistResumeBtn_->setVisible(n > 0 && playlist_.hasSavedState());
    layoutPlaylistBar();

    std::vector<PlaylistDropView::Row> rows;
    const ExerciseStore &store = ExerciseStore::shared();
    int slot = 0;
    for (int i = 0; i < n; ++i) {
        const Exercise *e = store.find(entries[size_t(i)].exID);
        if (!e) continue; // an entry whose exercise is gone gets no row, yet keeps its number
        rows.push_back({entries[size_t(i)].uid, e->emoji, e->name, hexColor(e->accentHex), i + 1,
                        i < playlist_.completedCount(), slot++});
    }
    const double viewH = std::max(60, playlistScroll_->height());
    if (PlaylistRules::kTopPad + double(rows.size()) * PlaylistRules::kPitch + 4 > viewH)
        w -= playlistScroll_->verticalScrollBar()->sizeHint().width();
    playlistDrop_->setRows(rows, n, w, viewH);
}

void ExercisesView::dropExercise(const QString &exID) {
    playlist_.drop(exID);
    requestParts(playlistPart);
}

void ExercisesView::reorderPlaylist(const QString &uid, int index) {
    if (playlist_.reorder(uid, index)) requestParts(playlistPart);
}

void ExercisesView::removePlaylistEntry(const QString &uid) {
    playlist_.remove(uid);
    requestParts(playlistPart);
}

void ExercisesView::clearPlaylist() {
    playlist_.clear();
    requestParts(playlistPart);
}

void ExercisesView::launchPlaylist() {
    if (playlist_.entries().empty()) return;
    if (playlist_.resolvedRun().empty()) return;
    closeRunner();
    const std::vector<Exercise> run = playlist_.startRun();
    requestParts(playlistPart);
    ExerciseRunner *r = openRunner(run, 0, std::nullopt);
    if (!r) return;
    QPointer<ExercisesView> self(this);
    // The runner reports from inside its own handling of the exercise's end: apply it afterwards.
    r->onExerciseComplete = [self, run] {
        if (!self) return;
        QTimer::singleShot(0, self.data(), [self, run] {
            if (!self) return;
            self->playlist_.exerciseFinished(run, false);
            self->requestParts(playlistPart);
        });
    };
    r->showAndRaise();
}

void ExercisesView::resumePlaylist() {
    const auto at = playlist_.resume();
    requestParts(playlistPart);
    if (!at) return;
    const std::vector<Exercise> all = playlist_.resolvedRun();
    const std::vector<Exercise> run(all.begin() + at->fromExIdx, all.end());
    ExerciseRunner *r = openRunner(run, at->step, at->remainingSecs);
    if (!r) return;
    QPointer<ExercisesView> self(this);
    r->onExerciseComplete = [self] {
        if (!self) return;
        QTimer::singleShot(0, self.data(), [self] {
            if (!self) return;
            self->playlist_.exerciseFinished({}, true);
            self->requestParts(playlistPart);
        });
    };
    r->showAndRaise();
}
