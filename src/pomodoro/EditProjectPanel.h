#pragma once
#include "pomodoro/Project.h"
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

class AW;
class FlippedView;
class QLineEdit;
class QPlainTextEdit;
class QScrollArea;
class TintButton;

// The free-standing window that edits one project: name, emoji, description, added photos and the
// steps (title, notes, start day and length). Edits stay in the window until "Save changes"; closing
// it discards them. On save the project is read again from the store and the edits are laid over it,
// so step completion changed meanwhile (in the detail) is kept; a project deleted meanwhile is
// reported and the window stays open. It deletes itself when closed.
class EditProjectPanel : public QWidget {
    Q_OBJECT
public:
    explicit EditProjectPanel(const Project &project, QWidget *parent = nullptr);

    QString projectId() const { return projectId_; }
    // Called with the project id after a successful save, before the window closes.
    std::function<void(const QString &)> onSaved;

    // Shows the window in front and puts the cursor in the name field.
    void open();

    // The working state, for tests.
    const std::vector<ProjectCheckpoint> &workingSteps() const { return steps_; }
    const QStringList &workingPhotos() const { return photos_; }

    void addStep();
    void deleteStep(std::size_t index);
    void addPhoto();
    // Returns true when the project was stored (and the window is closing).
    bool save();

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    struct StepFields {
        QPointer<QLineEdit> title, notes, off, dur;
    };
    void buildDocument();
    void rebuildThumbs();
    void flushCurrentFields();
    void rebuildSteps(bool flushFirst = true);
    void updatePhotoButton();
    void layoutFrame();

    QString projectId_;
    QStringList photos_;
    std::vector<ProjectCheckpoint> steps_;
    std::vector<StepFields> rowFields_;
    QList<AW *> rowTargets_;

    QWidget *bar_ = nullptr;
    QWidget *barLine_ = nullptr;
    TintButton *saveBtn_ = nullptr;
    QScrollArea *scroll_ = nullptr;
    FlippedView *doc_ = nullptr;
    QWidget *strip_ = nullptr;
    QLineEdit *emoji_ = nullptr;
    QLineEdit *name_ = nullptr;
    QPlainTextEdit *desc_ = nullptr;
    TintButton *photoBtn_ = nullptr;
    QScrollArea *thumbs_ = nullptr;
    FlippedView *thumbDoc_ = nullptr;
    FlippedView *rows_ = nullptr;
};
