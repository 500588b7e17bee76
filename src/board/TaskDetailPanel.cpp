#include "board/TaskDetailPanel.h"

#include "board/BoardRules.h"
#include "board/BoardUi.h"
#include "platform/Dialogs.h"
#include "pomodoro/PomDialogRules.h"
#include "pomodoro/TaskStore.h"
#include "ui/TintButton.h"
#include "ui/CommonAlerts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/LinkTextView.h"
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>

using namespace BoardUi;

namespace {
constexpr int kW = 520, kH = 480, kMinW = 420, kMinH = 380;
const QColor kDeleteTint = QColor::fromRgbF(1.0f, 0.4f, 0.4f);

QColor rgb(double r, double g, double b) {
    return QColor::fromRgbF(float(r), float(g), float(b));
}
QColor panelBg() {
    return dark() ? rgb(0.07, 0.11, 0.08) : rgb(0.96, 0.96, 0.98);
}
QColor bandBg() {
    return dark() ? rgb(0.05, 0.09, 0.06) : rgb(0.88, 0.88, 0.92);
}
QColor faint() {
    return dark() ? grey(1, 0.35) : grey(0, 0.55);
}

TaskCat catOf(const Task &t) {
    return TaskCats::fromRaw(t.category).value_or(TaskCat::work);
}

QString doneWord() {
    return L::t(
        {.en = "DONE", .es = "HECHO", .de = "ERLEDIGT", .fr = "FAIT", .uk = "ВИКОНАНО", .pl = "GOTOWE"});
}
QString openWord() {
    return L::t({.en = "IN PROGRESS",
                 .es = "EN PROGRESO",
                 .de = "IN BEARBEITUNG",
                 .fr = "EN COURS",
                 .uk = "В ПРОЦЕСІ",
                 .pl = "W TOKU"});
}
QString deleteWord() {
    return L::t({.en = "Delete",
                 .es = "Eliminar",
                 .de = "Löschen",
                 .fr = "Supprimer",
                 .uk = "Видалити",
                 .pl = "Usuń"});
}

// A button at least as wide as the design's frame, wider when its title needs it.
double buttonWidth(const TintButton *b, double designW) {
    return std::max(designW, b->fontMetrics().horizontalAdvance(b->text()) + 20.0);
}
} // namespace

TaskDetailPanel::TaskDetailPanel(const Task &task, QWidget *mainWindow)
    : QWidget(mainWindow, Qt::Window), task_(task), done_(task.completed), savedTitle_(task.title),
      savedText_(task.description) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("taskDetailPanel"));
    resize(kW, kH);
    setMinimumSize(kMinW, kMinH);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, panelBg());
    if (dark()) {
        pal.setColor(QPalette::Base, rgb(0.07, 0.12, 0.08));
        pal.setColor(QPalette::Text, grey(1, 0.85));
        pal.setColor(QPalette::WindowText, grey(1, 0.85));
        pal.setColor(QPalette::PlaceholderText, grey(1, 0.35));
    }
    setPalette(pal);
    setAutoFillBackground(true);

    const TaskCat cat = catOf(task_);
    const QColor cc = TaskCats::color(cat);
    catLine_ = label(this, 11, QFont::Bold, cc);
    setFitted(catLine_, TaskCats::emoji(cat) + QStringLiteral("  ") + TaskCats::display(cat).toUpper());
    // The window is named as its header reads, not after the program (window lists, task bars).
    setWindowTitle(TaskCats::emoji(cat) + QStringLiteral("  ") + TaskCats::display(cat));
    badge_ = label(this, 10, QFont::DemiBold, done_ ? cc : faint(), Qt::AlignRight | Qt::AlignVCenter);
    setFitted(badge_, done_ ? QStringLiteral("✓  ") + doneWord() : QStringLiteral("◯  ") + openWord());
    date_ = label(this, 11, QFont::Normal, faint());
    date_->setFont(Fonts::monoDigits(11));
    setFitted(date_, taskDateText(task_));
    const QColor capCol = dark() ? grey(1, 0.28) : grey(0, 0.45);
    cap1_ = label(this, 10, QFont::DemiBold, capCol);
    setFitted(cap1_, L::t({.en = "TASK TITLE",
                           .es = "TÍTULO DE LA TAREA",
                           .de = "AUFGABENTITEL",
                           .fr = "TITRE DE LA TÂCHE",
                           .uk = "ЗАГОЛОВОК ЗАВДАННЯ",
                           .pl = "TYTUŁ ZADANIA"}));
    titleField_ = new QLineEdit(task_.title, this);
    titleField_->setObjectName(QStringLiteral("titleField"));
    titleField_->setPlaceholderText(QStringLiteral("Task title"));
    titleField_->setFont(Fonts::scaledFont(14, QFont::Medium));
    cap2_ = label(this, 10, QFont::DemiBold, capCol);
    setFitted(cap2_, L::t({.en = "TEXT  —  links https://… clickable",
                           .es = "TEXTO  —  enlaces clicables",
                           .de = "TEXT  —  Links klickbar",
                           .fr = "TEXTE  —  liens cliquables",
                           .uk = "ТЕКСТ  —  посилання https://… клікабельні",
                           .pl = "TEKST  —  linki https://… klikalne"}));
    textView_ = new LinkTextView(this);
    textView_->setObjectName(QStringLiteral("textView"));
    textView_->setAcceptRichText(false);
    textView_->setFont(Fonts::scaledFont(13));
    textView_->setPlainText(task_.description);
    textView_->document()->setDocumentMargin(10);
    textView_->setFrameShape(QFrame::NoFrame);
    QPalette tp = textView_->palette();
    tp.setColor(QPalette::Base, dark() ? rgb(0.07, 0.12, 0.08) : rgb(0.97, 0.97, 0.99));
    tp.setColor(QPalette::Text, dark() ? grey(1, 0.85) : grey(0, 0.85));
    textView_->setPalette(tp);
    textView_->detectLinks(cc);
    // The link colouring is formatting, not an edit: what the user changes is compared with this.
    savedText_ = textView_->toPlainText();

    deleteBtn_ = new TintButton(QStringLiteral("🗑  ") + deleteWord(), kDeleteTint, 0.12, 0.35, 8, this);
    deleteBtn_->setFont(Fonts::scaledFont(12, QFont::Medium));
    deleteBtn_->setObjectName(QStringLiteral("deleteButton"));
    toggleBtn_ = new TintButton(toggleTitle(), done_ ? grey(1, 0.4) : cc, 0.15, 0.4, 8, this);
    toggleBtn_->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    toggleBtn_->setObjectName(QStringLiteral("toggleButton"));
    saveBtn_ = new TintButton(QStringLiteral("💾  ") + L::t({.en = "Save",
                                                            .es = "Guardar",
                                                            .de = "Speichern",
                                                            .fr = "Enregistrer",
                                                            .uk = "Зберегти",
                                                            .pl = "Zapisz"}),
                              cc, 0.15, 0.45, 8, this);
    saveBtn_->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    saveBtn_->setObjectName(QStringLiteral("saveButton"));

    connect(toggleBtn_, &QPushButton::clicked, this, [this] { toggleDone(); });
    connect(saveBtn_, &QPushButton::clicked, this, [this] { save(); });
    connect(titleField_, &QLineEdit::returnPressed, this, [this] { save(); });
    connect(deleteBtn_, &QPushButton::clicked, this, [this] { confirmDelete(); });
    layoutParts();
}

QString TaskDetailPanel::toggleTitle() const {
    return done_ ? QStringLiteral("↩  Undo done") : QStringLiteral("✅  Done");
}
QString TaskDetailPanel::badgeText() const {
    return badge_->property("fullText").toString();
}

void TaskDetailPanel::present() {
    if (QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect a = s->availableGeometry();
        move(a.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    activateWindow();
    QTimer::singleShot(0, titleField_, [this] { titleField_->setFocus(); });
}

void TaskDetailPanel::resizeEvent(QResizeEvent *e) {
    QWidget::resizeEvent(e);
    layoutParts();
}

void TaskDetailPanel::layoutParts() {
    const double W = width(), H = height();
    const double bandY = 0; // header band: (0, H − 80, W, 80)
    place(catLine_, QRect(20, int(bandY + 80 - 34 - 16), 240, 16));
    place(badge_, QRect(int(W - 156), int(bandY + 80 - 34 - 16), 140, 16));
    place(date_, QRect(20, int(bandY + 80 - 16 - 16), 200, 16));
    place(cap1_, yUp(H, 20, H - 104, W - 40, 14));
    titleField_->setGeometry(yUp(H, 20, H - 142, W - 40, 34));
    place(cap2_, yUp(H, 20, H - 164, W - 40, 14));
    const double h = std::max(H - 234, 60.0);
    textView_->setGeometry(yUp(H, 20, 56, W - 40, h));
    deleteBtn_->setGeometry(yUp(H, 14, 13, buttonWidth(deleteBtn_, 110), 28));
    const double sw = buttonWidth(saveBtn_, 110), tw = buttonWidth(toggleBtn_, 128);
    saveBtn_->setGeometry(yUp(H, W - 14 - sw, 13, sw, 28));
    toggleBtn_->setGeometry(yUp(H, W - 14 - sw - 6 - tw, 13, tw, 28));
}

void TaskDetailPanel::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const double W = width(), H = height();
    const QColor cc = TaskCats::color(catOf(task_));
    p.fillRect(QRectF(0, 0, W, 80), bandBg());
    p.fillRect(QRectF(0, 80, W, 1), alpha(cc, 0.22));
    p.fillRect(QRectF(0, H - 56, W, 56), bandBg());
    p.fillRect(QRectF(0, H - 56, W, 1), dark() ? grey(1, 0.06) : grey(0, 0.1));
    p.fillRect(QRectF(0, 0, 4, H), cc);
    // The text area's rounded frame.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(dark() ? grey(1, 0.1) : grey(0, 0.12), 1));
    p.drawRoundedRect(QRectF(textView_->geometry()).adjusted(-0.5, -0.5, 0.5, 0.5), 8, 8);
}

bool TaskDetailPanel::editedSinceSave() const {
    return titleField_->text() != savedTitle_ || textView_->toPlainText() != savedText_;
}

void TaskDetailPanel::toggleDone() {
    done_ = !done_;
    task_.completed = done_;
    // The state the panel now shows is what is stored, whatever happened to the record meanwhile.
    TaskStore::shared().setCompleted(task_.id, done_);
    const QColor cc = TaskCats::color(catOf(task_));
    toggleBtn_->setText(toggleTitle());
    toggleBtn_->setLook(done_ ? grey(1, 0.4) : cc, toggleBtn_->background(), toggleBtn_->borderColor());
    QPalette bp = badge_->palette();
    bp.setColor(QPalette::WindowText, done_ ? cc : grey(1, 0.35));
    badge_->setPalette(bp);
    setFitted(badge_, done_ ? QStringLiteral("✓  DONE") : QStringLiteral("◯  IN PROGRESS"));
    layoutParts();
    // Closes by itself shortly after, unless the user has typed something not yet saved.
    QTimer::singleShot(kCloseAfterToggleMs, this, [this] {
        if (!editedSinceSave()) close();
    });
}

bool TaskDetailPanel::save() {
    const QString title = PomDialogRules::trimSpacesTabs(titleField_->text());
    if (title.isEmpty()) return false;
    const QString text = PomDialogRules::trimWhitespace(textView_->toPlainText());
    task_.title = title;
    task_.description = text;
    TaskStore::shared().updateText(task_.id, title, text);
    savedTitle_ = titleField_->text();
    savedText_ = textView_->toPlainText();
    close();
    return true;
}

void TaskDetailPanel::confirmDelete() {
    Dialogs::Alert a;
    a.title = L::t({.en = "Delete task?",
                    .es = "¿Eliminar la tarea?",
                    .de = "Aufgabe löschen?",
                    .fr = "Supprimer la tâche ?",
                    .uk = "Видалити завдання?",
                    .pl = "Usunąć zadanie?"});
    a.text = QStringLiteral("«") + task_.title + QStringLiteral("» will be permanently deleted.");
    a.buttons = {deleteWord(), cancelTitle()};
    a.warning = true;
    QPointer<TaskDetailPanel> self(this);
    if (Dialogs::get().alert(this, a) != 0) return;
    TaskStore::shared().remove(task_.id);
    if (self) self->close();
}
