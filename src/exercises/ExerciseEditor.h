#pragma once
#include "exercises/ExerciseHosts.h"
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

class AW;
class FlippedView;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QScrollArea;
class TintButton;

// A step card's one-line field. Return ends the field (its own rule runs) instead of reaching the
// editor's Save shortcut: a user moving through several cards must not save half-way, and a
// duration's "Return gives 20" rule would otherwise never run.
class StepLineEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    bool event(QEvent *e) override;
};

// The exercise editor: emoji, name, category and the list of step cards, working on a private
// copy of the exercise that reaches the caller only through the completion (on Save, or nothing on
// Cancel). The title-bar button only hides the panel. One editor at a time (current()).
class ExerciseEditorController : public QObject {
    Q_OBJECT
public:
    ExerciseEditorController(const std::optional<Exercise> &exercise, ExerciseEditorHost::Completion completion);
    ~ExerciseEditorController() override;

    static void show(const std::optional<Exercise> &exercise, QWidget *parentWindow,
                     ExerciseEditorHost::Completion completion);
    static ExerciseEditorController *current();

    void showRelativeTo(QWidget *parentWindow);
    void doSave();
    void doCancel();
    void addStep();
    void removeStep(int index);
    void flushCurrentFields();
    void buildStepRows();

    QWidget *panel() const { return panel_; }
    const Exercise &draft() const { return draft_; }
    QLineEdit *emojiField() const { return emojiF_; }
    QLineEdit *nameField() const { return nameF_; }
    QComboBox *categoryPopup() const { return catPop_; }
    TintButton *saveButton() const { return saveBtn_; }
    TintButton *addButton() const { return addBtn_; }

    struct StepFieldRefs {
        QPointer<QLineEdit> title;
        QPointer<QLineEdit> instr; // hidden, the instruction as built
        QPointer<QPlainTextEdit> instrTV;
        QPointer<QLineEdit> dur;
        QPointer<TintButton> photo, imageURL, link;
    };
    const QList<StepFieldRefs> &stepFields() const { return stepFieldRefs_; }

private:
    void buildUI(double W, double H, bool isNew);
    void layoutRoot();
    void textChanged(QLineEdit *field);
    void choosePhoto(int i);
    void editImageURL(int i);
    void editLink(int i);
    bool valid(int i) const { return i >= 0 && i < int(draft_.steps.size()); }

    QPointer<QWidget> panel_;
    Exercise draft_;
    QString storedCategory_;
    ExerciseEditorHost::Completion completion_;
    QList<AW *> awStore_;
    QList<AW *> stepAWStore_;
    QList<StepFieldRefs> stepFieldRefs_;
    QLineEdit *emojiF_ = nullptr;
    QLineEdit *nameF_ = nullptr;
    QComboBox *catPop_ = nullptr;
    FlippedView *stepsFlip_ = nullptr;
    QScrollArea *stepsScroll_ = nullptr;
    QWidget *root_ = nullptr;
    QLabel *titleLbl_ = nullptr;
    QLabel *stepsHdr_ = nullptr;
    TintButton *addBtn_ = nullptr;
    QWidget *footer_ = nullptr;
    QWidget *footerLine_ = nullptr;
    TintButton *cancelBtn_ = nullptr;
    TintButton *saveBtn_ = nullptr;
};

// The host the exercises page opens editors through.
class EditorPanelHost : public ExerciseEditorHost {
public:
    void show(const std::optional<Exercise> &exercise, QWidget *parentWindow, Completion completion) override;
};
