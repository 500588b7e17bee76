#pragma once
#include "exercises/Exercise.h"
#include "exercises/ExerciseHosts.h"
#include "exercises/Playlist.h"
#include "ui/Page.h"
#include <QColor>
#include <QList>
#include <QPointer>
#include <optional>

class AW;
class DraggableDivider;
class ExerciseListView;
class PlaylistDropView;
class QLabel;
class QPushButton;
class QScrollArea;
class StepListView;
class TintButton;

// The "exercises" page: the exercise library by category on the left, the playlist below it, the
// selected exercise's detail on the right, split by a draggable divider. The runner and the editor
// are reached through ExerciseRunnerHost and ExerciseEditorHost.
//
// Redraws are requested (Page) and only the parts that changed are redrawn: a playlist change
// redraws the playlist, a selection the list and the detail.
class ExercisesView : public Page {
    Q_OBJECT
public:
    explicit ExercisesView(QWidget *parent = nullptr);
    ~ExercisesView() override;

    void setup() override;
    void refresh() override;

    // An exercise's colour from its accentHex; the theme's accent when the text holds no number.
    static QColor hexColor(const QString &text);
    // The list width for a page of width w: w × frac, at most 0.6 w, then at least 160.
    static double listWidth(double w, double frac);
    // The fraction stored for a divider dragged to x.
    static double fractionForDrag(double x, double w);

    // Actions, as the controls run them (also reached by tests).
    void selectExercise(const QString &id);
    void openEditor(const std::optional<Exercise> &exercise);
    void startExercise(const Exercise &exercise);
    void confirmDelete(const Exercise &exercise);
    void doExport();
    void doImport();
    void doExportOne(const Exercise &exercise);
    void doImportOne();
    void dropExercise(const QString &exID);
    void reorderPlaylist(const QString &uid, int index);
    void removePlaylistEntry(const QString &uid);
    void clearPlaylist();
    void launchPlaylist();
    void resumePlaylist();

    std::optional<QString> selectedID() const { return selectedID_; }
    const PlaylistModel &playlist() const { return playlist_; }
    ExerciseRunner *runnerPanel() const { return runnerPanel_; }
    double listFrac() const { return listFrac_; }
    ExerciseListView *listView() const { return listContent_; }
    PlaylistDropView *playlistDrop() const { return playlistDrop_; }
    QWidget *detailHost() const { return detailHost_; }
    QPushButton *runButton() const;
    QPushButton *resumeButton() const;
    QPushButton *clearButton() const;
    QLabel *percentLabel() const { return playlistPctLbl_; }
    QLabel *titleLabel() const { return titleLblEx_; }

protected:
    void rebuild() override;
    void resizeEvent(QResizeEvent *e) override;

private:
    enum Part { listPart = 1, detailPart = 2, playlistPart = 4, allParts = 7 };
    void requestParts(int parts);
    void layoutFrame();
    void layoutPlaylistBar(double L, double B);
    void layoutPlaylistBar();
    struct PlaylistBarFit {
        double runW = 0, resW = 0, pctW = 0;
        int lines = 1;
    };
    PlaylistBarFit playlistBarFit(double L) const;
    double playlistBarHeight(double L) const;
    void rewireHeaderButtons();
    void rebuildList(double w);
    void rebuildDetail();
    void showDetail(const Exercise &e);
    void rebuildPlaylist();
    QWidget *parentWindow() const;
    ExerciseRunner *openRunner(const std::vector<Exercise> &exercises, qint64 fromStep,
                               std::optional<qint64> remainingSecs);
    void closeRunner();
    AW *newAW(std::function<void()> fn);
    void releaseAWs();

    QWidget *hdrBg_ = nullptr;
    QLabel *titleLblEx_ = nullptr;
    QLabel *subLblEx_ = nullptr;
    QPushButton *addBtnEx_ = nullptr;
    QPushButton *importBtnEx_ = nullptr;
    QPushButton *exportBtnEx_ = nullptr;
    QWidget *listPanel_ = nullptr;
    DraggableDivider *dividerEx_ = nullptr;
    QWidget *detailHost_ = nullptr;
    QScrollArea *listScroll_ = nullptr;
    ExerciseListView *listContent_ = nullptr;
    QWidget *playlistSep_ = nullptr;
    QWidget *playlistHdrBar_ = nullptr;
    QLabel *playlistTitleLbl_ = nullptr;
    TintButton *playlistRunBtn_ = nullptr;
    TintButton *playlistClearBtn_ = nullptr;
    TintButton *playlistResumeBtn_ = nullptr;
    QLabel *playlistPctLbl_ = nullptr;
    QScrollArea *playlistScroll_ = nullptr;
    PlaylistDropView *playlistDrop_ = nullptr;

    PlaylistModel playlist_;
    std::optional<QString> selectedID_;
    bool revealSelection_ = false; // the next list build scrolls the selected row into view
    QList<AW *> awStore_;
    QPointer<ExerciseRunner> runnerPanel_;
    static constexpr double hdrH = 70;
    static constexpr double plFrac = 0.42;
    double listFrac_ = 0.3;
    double lastListW_ = 0;
    int dirtyParts_ = 0;
    bool playlistLoaded_ = false;
};
