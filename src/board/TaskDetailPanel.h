#pragma once
#include "pomodoro/Task.h"
#include <QWidget>

class LinkTextView;
class QLabel;
class QLineEdit;
class TintButton;

// The task board's free-standing panel for one task: its title and text to edit, done or not, and
// deletion after a confirmation. Not modal; several can be open at once. It acts on the store by the
// task's id, so a move or toggle made on the board meanwhile is kept: the toggle stores the state the
// panel shows, and Save writes only the title and the text.
class TaskDetailPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCloseAfterToggleMs = 450;

    TaskDetailPanel(const Task &task, QWidget *mainWindow);
    // Centres the panel on the screen, shows it in front and puts the cursor in the title.
    void present();

    QString taskId() const { return task_.id; }
    bool shownDone() const { return done_; }
    QLineEdit *titleField() const { return titleField_; }
    LinkTextView *textView() const { return textView_; }
    QString badgeText() const;
    QString toggleTitle() const;

    void toggleDone();
    // False when the title is blank (the panel stays open as typed).
    bool save();
    void confirmDelete();

protected:
    void resizeEvent(QResizeEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    void layoutParts();
    bool editedSinceSave() const;

    Task task_;
    bool done_ = false;
    QString savedTitle_, savedText_;
    QLabel *catLine_ = nullptr, *badge_ = nullptr, *date_ = nullptr, *cap1_ = nullptr, *cap2_ = nullptr;
    QLineEdit *titleField_ = nullptr;
    LinkTextView *textView_ = nullptr;
    TintButton *deleteBtn_ = nullptr, *toggleBtn_ = nullptr, *saveBtn_ = nullptr;
};
