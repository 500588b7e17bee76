#include "exercises/ExerciseEditor.h"
#include "ui/TextFit.h"

#include "exercises/EditorRules.h"
#include "exercises/RunnerContentView.h"
#include "platform/RecordJson.h"
#include "platform/Dialogs.h"
#include "ui/AW.h"
#include "ui/FadedScroller.h"
#include "ui/FlippedView.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include "ui/TintButton.h"
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <algorithm>

namespace {
ExerciseEditorController *g_current = nullptr;

namespace T {
QString createTitle() {
    return L::t({.en = "Create exercise", .es = "Crear ejercicio", .de = "Übung erstellen", .fr = "Créer un exercice",
                 .uk = "Створити вправу", .pl = "Utwórz ćwiczenie"});
}
QString editTitle() {
    return L::t({.en = "Edit exercise", .es = "Editar ejercicio", .de = "Übung bearbeiten", .fr = "Modifier l'exercice",
                 .uk = "Редагувати вправу", .pl = "Edytuj ćwiczenie"});
}
QString namePlaceholder() {
    return L::t({.en = "Exercise name", .es = "Nombre del ejercicio", .de = "Übungsname", .fr = "Nom de l'exercice",
                 .uk = "Назва вправи", .pl = "Nazwa ćwiczenia"});
}
QString steps() { return L::t({.en = "STEPS", .es = "PASOS", .de = "SCHRITTE", .fr = "ÉTAPES", .uk = "КРОКИ", .pl = "KROKI"}); }
QString addStep() {
    return L::t({.en = "Add step", .es = "Agregar paso", .de = "Schritt hinzufügen", .fr = "Ajouter une étape",
                 .uk = "Додати крок", .pl = "Dodaj krok"});
}
QString cancel() {
    return L::t({.en = "Cancel", .es = "Cancelar", .de = "Abbrechen", .fr = "Annuler", .uk = "Скасувати", .pl = "Anuluj"});
}
QString save() {
    return L::t({.en = "Save", .es = "Guardar", .de = "Speichern", .fr = "Enregistrer", .uk = "Зберегти", .pl = "Zapisz"});
}
QString remove() {
    return L::t({.en = "Remove", .es = "Eliminar", .de = "Entfernen", .fr = "Supprimer", .uk = "Видалити", .pl = "Usuń"});
}
QString enterName() {
    return L::t({.en = "Enter a name", .es = "Introduce un nombre", .de = "Namen eingeben", .fr = "Entrez un nom",
                 .uk = "Введіть назву", .pl = "Wpisz nazwę"});
}
QString step() { return L::t({.en = "Step", .es = "Paso", .de = "Schritt", .fr = "Étape", .uk = "Крок", .pl = "Krok"}); }
QString actionName() {
    return L::t({.en = "Action name", .es = "Nombre de acción", .de = "Aktionsname", .fr = "Nom de l'action",
                 .uk = "Назва дії", .pl = "Nazwa akcji"});
}
QString duration() {
    return L::t({.en = "Duration (sec):", .es = "Duración (seg):", .de = "Dauer (Sek):", .fr = "Durée (sec) :",
                 .uk = "Тривалість (сек):", .pl = "Czas trwania (sek):"});
}
QString photo(bool set) {
    return set ? L::t({.en = "Photo ✓", .es = "Foto ✓", .de = "Foto ✓", .fr = "Photo ✓", .uk = "Фото ✓", .pl = "Zdjęcie ✓"})
               : L::t({.en = "Photo…", .es = "Foto…", .de = "Foto…", .fr = "Photo…", .uk = "Фото…", .pl = "Zdjęcie…"});
}
QString link(bool set) {
    return set ? L::t({.en = "Link ✓", .es = "Enlace ✓", .de = "Link ✓", .fr = "Lien ✓", .uk = "Посилання ✓", .pl = "Link ✓"})
               : L::t({.en = "Link…", .es = "Enlace…", .de = "Link…", .fr = "Lien…", .uk = "Посилання…", .pl = "Link…"});
}
QString imageAlert() {
    return L::t({.en = "Image URL for step", .es = "URL de imagen para el paso", .de = "Bild-URL für Schritt",
                 .fr = "URL d'image pour l'étape", .uk = "URL зображення для кроку", .pl = "URL obrazka do kroku"});
}
QString imageInfo() {
    return L::t({.en = "Paste a direct link to an image (jpg, png, gif, webp). It will be shown inline — no browser opens.",
                 .es = "Pega un enlace directo a una imagen. Se mostrará integrada, sin abrir navegador.",
                 .de = "Direkte Bild-URL einfügen (jpg, png, gif, webp). Wird eingebettet angezeigt — kein Browser öffnet sich.",
                 .fr = "Collez un lien direct vers une image. Elle s'affichera en incrusté, sans ouvrir de navigateur.",
                 .uk = "Вставте пряме посилання на зображення (jpg, png, gif, webp). Воно відобразиться вбудовано — без "
                       "відкриття браузера.",
                 .pl = "Wklej bezpośredni link do obrazka (jpg, png, gif, webp). Wyświetli się wbudowany — bez otwierania "
                       "przeglądarki."});
}
QString linkAlert() {
    return L::t({.en = "Link for step", .es = "Enlace para el paso", .de = "Link für Schritt", .fr = "Lien pour l'étape",
                 .uk = "Посилання для кроку", .pl = "Link do kroku"});
}
} // namespace T

QColor alpha(QColor c, double a) {
    c.setAlphaF(float(a));
    return c;
}

QLabel *label(QWidget *parent, const QString &text, const QFont &f, const QColor &c) {
    auto *l = new FitLabel(parent);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, c);
    l->setPalette(pal);
    l->setText(text);
    return l;
}

void styleMedia(TintButton *b, const QString &title, bool set) {
    const QColor tint = set ? VF::accent() : VF::sub();
    b->setText(title);
    RunnerContentView::fitButton(b);
    b->setLook(tint, alpha(tint, 0.12), alpha(tint, 0.35));
}

// The step card: the card colour with a thin border and rounded corners.
class StepCard : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 10, 10);
        p.fillPath(path, VF::card());
        p.setPen(QPen(VF::border(), 0.5));
        p.drawPath(path);
    }
};

class ResizeWatcher : public QObject {
public:
    ResizeWatcher(QObject *parent, std::function<void()> fn) : QObject(parent), fn_(std::move(fn)) {}
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::Resize) fn_();
        return false;
    }

private:
    std::function<void()> fn_;
};

// The instruction box: Return makes a new line, never reaching the Save shortcut.
class InstructionEdit : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    bool event(QEvent *e) override {
        if (e->type() == QEvent::ShortcutOverride) {
            const int k = static_cast<QKeyEvent *>(e)->key();
            if (k == Qt::Key_Return || k == Qt::Key_Enter) {
                e->accept();
                return true;
            }
        }
        return QPlainTextEdit::event(e);
    }
};
} // namespace

bool StepLineEdit::event(QEvent *e) {
    if (e->type() == QEvent::ShortcutOverride) {
        const int k = static_cast<QKeyEvent *>(e)->key();
        if (k == Qt::Key_Return || k == Qt::Key_Enter) {
            e->accept();
            return true;
        }
    }
    return QLineEdit::event(e);
}

void EditorPanelHost::show(const std::optional<Exercise> &exercise, QWidget *parentWindow, Completion completion) {
    ExerciseEditorController::show(exercise, parentWindow, std::move(completion));
}

ExerciseEditorController *ExerciseEditorController::current() {
    return g_current;
}

void ExerciseEditorController::show(const std::optional<Exercise> &exercise, QWidget *parentWindow,
                                    ExerciseEditorHost::Completion completion) {
    if (g_current) {
        ExerciseEditorController *old = g_current;
        g_current = nullptr;
        if (old->panel_) old->panel_->hide();
        old->deleteLater(); // its completion is not called
    }
    g_current = new ExerciseEditorController(exercise, std::move(completion));
    g_current->showRelativeTo(parentWindow);
}

ExerciseEditorController::ExerciseEditorController(const std::optional<Exercise> &exercise,
                                                   ExerciseEditorHost::Completion completion)
    : completion_(std::move(completion)) {
    draft_ = exercise ? *exercise : EditorRules::newDraft(L::lang());
    storedCategory_ = draft_.category;
    panel_ = new QWidget(nullptr, Qt::Window);
    panel_->setObjectName(QStringLiteral("exerciseEditor"));
    panel_->setWindowTitle(exercise ? T::editTitle() : T::createTitle());
    panel_->resize(660, 700);
    panel_->setMinimumSize(520, 500);
    QPalette pal = panel_->palette();
    pal.setColor(QPalette::Window, VF::bg());
    panel_->setPalette(pal);
    panel_->setAutoFillBackground(true);
    buildUI(660, 700, !exercise);
}

ExerciseEditorController::~ExerciseEditorController() {
    if (g_current == this) g_current = nullptr;
    delete panel_.data();
}

void ExerciseEditorController::showRelativeTo(QWidget *parentWindow) {
    if (!panel_) return;
    if (parentWindow) {
        panel_->setParent(parentWindow, Qt::Window);
        panel_->move(parentWindow->geometry().center() - panel_->rect().center());
    } else if (QScreen *s = QGuiApplication::primaryScreen()) {
        panel_->move(s->availableGeometry().center() - panel_->rect().center());
    }
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
}

void ExerciseEditorController::buildUI(double W, double H, bool isNew) {
    root_ = new FlippedView(panel_);
    root_->setGeometry(0, 0, int(W), int(H));
    panel_->installEventFilter(new ResizeWatcher(panel_, [this] { layoutRoot(); }));
    titleLbl_ = label(root_, isNew ? T::createTitle() : T::editTitle(), Fonts::scaledFont(17, QFont::Bold), VF::text());
    emojiF_ = new QLineEdit(draft_.emoji, root_);
    emojiF_->setFont(Fonts::scaledFont(20));
    emojiF_->setAlignment(Qt::AlignCenter);
    nameF_ = new QLineEdit(draft_.name, root_);
    nameF_->setObjectName(QStringLiteral("nameField"));
    nameF_->setPlaceholderText(T::namePlaceholder());
    nameF_->setFont(Fonts::scaledFont(13));
    catPop_ = new QComboBox(root_);
    catPop_->setObjectName(QStringLiteral("categoryPopup"));
    catPop_->setFont(Fonts::scaledFont(13));
    const auto choice = EditorRules::categoryChoice(draft_.category, L::lang());
    catPop_->addItems(choice.items);
    catPop_->setCurrentIndex(choice.selected);
    stepsHdr_ = label(root_, T::steps(), Fonts::scaledFont(9, QFont::DemiBold), VF::muted());
    addBtn_ = new TintButton(QStringLiteral("＋ ") + T::addStep(), VF::accent(), 0.15, 0.45, 6, root_);
    addBtn_->setFont(Fonts::scaledFont(9, QFont::DemiBold));
    stepsScroll_ = new QScrollArea(root_);
    stepsScroll_->setFrameShape(QFrame::NoFrame);
    stepsScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stepsScroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    stepsScroll_->setVerticalScrollBar(new FadedScroller(Qt::Vertical));
    stepsScroll_->setStyleSheet(QStringLiteral("QScrollArea{background:transparent;}"));
    stepsFlip_ = new FlippedView;
    QPalette dp = stepsFlip_->palette();
    dp.setColor(QPalette::Window, VF::bg());
    stepsFlip_->setPalette(dp);
    stepsFlip_->setAutoFillBackground(true);
    stepsScroll_->setWidget(stepsFlip_);
    stepsScroll_->setWidgetResizable(false);
    stepsScroll_->viewport()->setAutoFillBackground(false);
    footer_ = new QWidget(root_);
    footer_->setAutoFillBackground(true);
    QPalette fp = footer_->palette();
    fp.setColor(QPalette::Window, VF::hdrBg());
    footer_->setPalette(fp);
    footerLine_ = new QWidget(footer_);
    footerLine_->setAutoFillBackground(true);
    QPalette lp = footerLine_->palette();
    lp.setColor(QPalette::Window, VF::border());
    footerLine_->setPalette(lp);
    cancelBtn_ = new TintButton(T::cancel(), VF::sub(), 0.25, 1, 8, footer_);
    cancelBtn_->setLook(VF::sub(), alpha(VF::border(), VF::border().alphaF() * 0.25), VF::border());
    cancelBtn_->setFont(Fonts::scaledFont(12));
    saveBtn_ = new TintButton(QStringLiteral("💾 ") + T::save(), VF::accent(), 0.15, 0.45, 8, footer_);
    saveBtn_->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    saveBtn_->setObjectName(QStringLiteral("saveButton"));

    QPointer<ExerciseEditorController> self(this);
    auto hold = [this](std::function<void()> fn) {
        auto *aw = new AW(std::move(fn), this);
        awStore_ << aw;
        return aw;
    };
    connect(addBtn_, &QPushButton::clicked, hold([self] { if (self) self->addStep(); }), &AW::run);
    connect(cancelBtn_, &QPushButton::clicked, hold([self] { if (self) self->doCancel(); }), &AW::run);
    connect(saveBtn_, &QPushButton::clicked, hold([self] { if (self) self->doSave(); }), &AW::run);
    // Return saves from the name and emoji fields; the step fields keep it for themselves.
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *sc = new QShortcut(QKeySequence(key), panel_);
        sc->setContext(Qt::WindowShortcut);
        connect(sc, &QShortcut::activated, this, [self] { if (self) self->doSave(); });
    }
    layoutRoot();
    buildStepRows();
}

void ExerciseEditorController::layoutRoot() {
    if (!panel_ || !root_) return;
    const int W = panel_->width(), H = panel_->height();
    root_->setGeometry(0, 0, W, H);
    const int dw = W - 660; // the header and steps stretch, the footer's Save keeps its right margin
    titleLbl_->setGeometry(20, 12, 620 + dw, 24);
    emojiF_->setGeometry(20, 46, 48, 30);
    nameF_->setGeometry(74, 46, 436 + dw, 30); // the pop-up is wider than designed: "Gesundheit" fits
    catPop_->setGeometry(516 + dw, 46, 124, 30);
    stepsHdr_->setGeometry(20, 88, 200, 14);
    addBtn_->setGeometry(530 + dw - 40, 86, 150, 20);
    stepsScroll_->setGeometry(0, 108, W, std::max(0, H - 108 - 64));
    footer_->setGeometry(0, H - 56, W, 56);
    footerLine_->setGeometry(yUp(56, 0, 55, W, 1));
    cancelBtn_->setGeometry(yUp(56, 20, 14, 100, 28));
    saveBtn_->setGeometry(yUp(56, W - 140, 14, 120, 28));
    for (TintButton *b : {addBtn_, cancelBtn_, saveBtn_}) RunnerContentView::fitButton(b);
}

void ExerciseEditorController::buildStepRows() {
    flushCurrentFields();
    qDeleteAll(stepAWStore_);
    stepAWStore_.clear();
    stepFieldRefs_.clear();
    qDeleteAll(stepsFlip_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly));
    const int sw = stepsScroll_->width();
    const double W = sw > 10 ? sw : 640;
    const double C = W - 28;
    QPointer<ExerciseEditorController> self(this);
    auto hold = [this](std::function<void()> fn) {
        auto *aw = new AW(std::move(fn), this);
        stepAWStore_ << aw;
        return aw;
    };
    const int n = int(draft_.steps.size());
    for (int i = 0; i < n; ++i) {
        const ExerciseStep &s = draft_.steps[size_t(i)];
        auto *card = new StepCard(stepsFlip_);
        card->setGeometry(14, 10 + 176 * i, int(C), 168);
        const double h = 168;
        auto *num = label(card, T::step() + QLatin1Char(' ') + QString::number(i + 1), Fonts::scaledFont(9, QFont::DemiBold),
                          VF::muted());
        num->setGeometry(yUp(h, 12, 150, 120, 14));
        auto *rm = new TintButton(QStringLiteral("✕"), QColor::fromRgbF(0.6f, 0.6f, 0.6f), 0, 0, 6, card);
        rm->setFont(Fonts::scaledFont(11, QFont::Medium));
        rm->setGeometry(yUp(h, C - 38, 146, 30, 20));
        auto *title = new StepLineEdit(s.title, card);
        title->setPlaceholderText(T::actionName());
        title->setFont(Fonts::scaledFont(12));
        title->setGeometry(yUp(h, 12, 124, C - 24, 24));
        auto *tv = new InstructionEdit(card);
        tv->setPlainText(s.instruction);
        tv->setFont(Fonts::scaledFont(11));
        QPalette tp = tv->palette();
        tp.setColor(QPalette::Base, VF::theme() == AppTheme::dark ? QColor::fromRgbF(0.12f, 0.12f, 0.12f) : QColor(Qt::white));
        tp.setColor(QPalette::Text, VF::text());
        tv->setPalette(tp);
        tv->setGeometry(yUp(h, 12, 48, C - 24, 60));
        auto *hidden = new QLineEdit(s.instruction, card);
        hidden->hide();
        auto *durLbl = label(card, QStringLiteral("⏱ ") + T::duration(), Fonts::scaledFont(10), VF::sub());
        durLbl->setGeometry(yUp(h, 12, 16, 150, 16));
        auto *dur = new StepLineEdit(QString::number(s.durationSecs), card);
        dur->setFont(Fonts::monoDigits(12, QFont::Medium));
        dur->setAlignment(Qt::AlignCenter);
        dur->setGeometry(yUp(h, 162, 14, 60, 22));
        auto *photo = new TintButton(QString(), VF::sub(), 0.12, 0.35, 7, card);
        auto *img = new TintButton(QString(), VF::sub(), 0.12, 0.35, 7, card);
        auto *lnk = new TintButton(QString(), VF::sub(), 0.12, 0.35, 7, card);
        for (TintButton *b : {photo, img, lnk}) b->setFont(Fonts::scaledFont(10, QFont::Medium));
        styleMedia(photo, QStringLiteral("🖼 ") + T::photo(s.imagePath.has_value()), s.imagePath.has_value());
        const bool hasImg = s.imageURL && !s.imageURL->isEmpty(), hasLink = s.videoURL && !s.videoURL->isEmpty();
        styleMedia(img, QStringLiteral("🌐 ") + (hasImg ? QStringLiteral("URL ✓") : QStringLiteral("URL…")), hasImg);
        styleMedia(lnk, QStringLiteral("🔗 ") + T::link(hasLink), hasLink);
        photo->setGeometry(yUp(h, 232, 14, 86, 24));
        img->setGeometry(yUp(h, 322, 14, 90, 24));
        lnk->setGeometry(yUp(h, 416, 14, 108, 24));
        for (TintButton *b : {photo, img, lnk}) RunnerContentView::fitButton(b);
        for (QWidget *w : card->findChildren<QWidget *>()) w->setToolTip(QString());

        connect(title, &QLineEdit::textEdited, this, [self, title] { if (self) self->textChanged(title); });
        connect(dur, &QLineEdit::textEdited, this, [self, dur] { if (self) self->textChanged(dur); });
        QPointer<QLineEdit> titleP(title), durP(dur);
        connect(title, &QLineEdit::returnPressed, hold([self, i, titleP] {
                    if (self && titleP && self->valid(i)) self->draft_.steps[size_t(i)].title = titleP->text();
                }),
                &AW::run);
        connect(hidden, &QLineEdit::returnPressed, hold([] {}), &AW::run);
        connect(dur, &QLineEdit::returnPressed, hold([self, i, durP] {
                    if (!self || !durP || !self->valid(i)) return;
                    const qint64 v = EditorRules::onReturn(durP->text());
                    self->draft_.steps[size_t(i)].durationSecs = v;
                    durP->setText(QString::number(v));
                }),
                &AW::run);
        // Leaving the field shows the length the step keeps: a number out of range is not saved.
        connect(dur, &QLineEdit::editingFinished, this, [self, i, durP] {
            if (self && durP && self->valid(i))
                durP->setText(QString::number(self->draft_.steps[size_t(i)].durationSecs));
        });
        connect(photo, &QPushButton::clicked, hold([self, i] { if (self) self->choosePhoto(i); }), &AW::run);
        connect(img, &QPushButton::clicked, hold([self, i] { if (self) self->editImageURL(i); }), &AW::run);
        connect(lnk, &QPushButton::clicked, hold([self, i] { if (self) self->editLink(i); }), &AW::run);
        connect(rm, &QPushButton::clicked, hold([self, i] { if (self) self->removeStep(i); }), &AW::run);
        stepFieldRefs_.append({title, hidden, tv, dur, photo, img, lnk});
        card->show();
    }
    const int docH = std::max(10 + 176 * n + 12, stepsScroll_->height() + 1);
    stepsFlip_->setGeometry(0, 0, int(W), docH);
    stepsFlip_->setMinimumSize(int(W), docH);
    stepsFlip_->resize(int(W), docH);
}

void ExerciseEditorController::textChanged(QLineEdit *field) {
    for (int i = 0; i < stepFieldRefs_.size(); ++i) {
        if (!valid(i)) continue;
        const StepFieldRefs &r = stepFieldRefs_[i];
        if (r.title == field) {
            draft_.steps[size_t(i)].title = field->text();
            return;
        }
        if (r.dur == field) {
            if (auto v = EditorRules::wholeNumber(field->text())) draft_.steps[size_t(i)].durationSecs = *v;
            return;
        }
    }
}

void ExerciseEditorController::flushCurrentFields() {
    for (int i = 0; i < stepFieldRefs_.size(); ++i) {
        if (!valid(i)) continue;
        const StepFieldRefs &r = stepFieldRefs_[i];
        ExerciseStep &s = draft_.steps[size_t(i)];
        if (r.title) s.title = r.title->text();
        if (r.instrTV)
            s.instruction = r.instrTV->toPlainText();
        else if (r.instr)
            s.instruction = r.instr->text();
        if (r.dur)
            if (auto v = EditorRules::wholeNumber(r.dur->text())) s.durationSecs = *v;
    }
}

void ExerciseEditorController::addStep() {
    flushCurrentFields();
    stepFieldRefs_.clear();
    draft_.steps.push_back({RecordJson::newId(), QStringLiteral("Action"), QStringLiteral("Description"), 20,
                            std::nullopt, std::nullopt, std::nullopt});
    buildStepRows();
}

void ExerciseEditorController::removeStep(int index) {
    if (!valid(index)) return;
    flushCurrentFields();
    // Forget the old cards first, so the rebuild's flush cannot write them into shifted indexes.
    stepFieldRefs_.clear();
    draft_.steps.erase(draft_.steps.begin() + index);
    buildStepRows();
}

void ExerciseEditorController::choosePhoto(int i) {
    if (!valid(i)) return;
    const QString path = Dialogs::get().openPath(panel_, QString(),
                                                 {QStringLiteral("Images (*.jpg *.jpeg *.png *.gif *.webp *.bmp)")});
    if (path.isEmpty() || !valid(i)) return;
    draft_.steps[size_t(i)].imagePath = path;
    if (TintButton *b = stepFieldRefs_.value(i).photo) {
        b->setText(QStringLiteral("🖼 ") + T::photo(true));
        RunnerContentView::fitButton(b);
        b->setLook(VF::accent(), b->background(), b->borderColor()); // only title and tint change
    }
}

void ExerciseEditorController::editImageURL(int i) {
    if (!valid(i)) return;
    auto *field = new QLineEdit;
    field->setFixedSize(380, 24);
    field->setPlaceholderText(QStringLiteral("https://example.com/photo.jpg"));
    field->setText(draft_.steps[size_t(i)].imageURL.value_or(QString()));
    Dialogs::Alert a{T::imageAlert(), T::imageInfo(), {T::save(), T::remove(), T::cancel()}, field, false, QColor()};
    const int answer = Dialogs::get().alert(panel_, a);
    const QString text = EditorRules::trimHorizontal(field->text());
    delete field;
    if (!valid(i) || (answer != 0 && answer != 1)) return;
    std::optional<QString> &v = draft_.steps[size_t(i)].imageURL;
    v = (answer == 0 && !text.isEmpty()) ? std::optional<QString>(text) : std::nullopt;
    if (TintButton *b = stepFieldRefs_.value(i).imageURL)
        styleMedia(b, QStringLiteral("🌐 ") + (v ? QStringLiteral("URL ✓") : QStringLiteral("URL…")), v.has_value());
}

void ExerciseEditorController::editLink(int i) {
    if (!valid(i)) return;
    auto *field = new QLineEdit;
    field->setFixedSize(380, 24);
    field->setPlaceholderText(QStringLiteral("https://…"));
    field->setText(draft_.steps[size_t(i)].videoURL.value_or(QString()));
    Dialogs::Alert a{T::linkAlert(),
                     QStringLiteral("Paste any link (YouTube, article, website, etc.). The built-in browser will open "
                                    "automatically for this step."),
                     {QStringLiteral("Save"), QStringLiteral("Remove Link"), QStringLiteral("Cancel")},
                     field,
                     false,
                     QColor()};
    const int answer = Dialogs::get().alert(panel_, a);
    const QString text = EditorRules::trimHorizontal(field->text());
    delete field;
    if (!valid(i) || (answer != 0 && answer != 1)) return;
    std::optional<QString> &v = draft_.steps[size_t(i)].videoURL;
    v = (answer == 0 && !text.isEmpty()) ? std::optional<QString>(text) : std::nullopt;
    if (TintButton *b = stepFieldRefs_.value(i).link) {
        b->setText(QStringLiteral("🔗 ") + T::link(v.has_value()));
        RunnerContentView::fitButton(b);
        b->setLook(v ? VF::accent() : VF::sub(), b->background(), b->borderColor());
    }
}

void ExerciseEditorController::doSave() {
    const QString name = EditorRules::trimHorizontal(nameF_->text());
    if (name.isEmpty()) {
        Dialogs::get().alert(panel_, {T::enterName(), QString(), {}, nullptr, false, QColor()});
        return;
    }
    flushCurrentFields();
    draft_.name = name;
    draft_.emoji = EditorRules::trimHorizontal(emojiF_->text()).isEmpty() ? QStringLiteral("💪") : emojiF_->text();
    draft_.category = EditorRules::categoryFor(catPop_->currentIndex(), storedCategory_, L::lang());
    if (panel_) panel_->hide();
    const Exercise result = draft_;
    auto done = std::move(completion_);
    if (g_current == this) g_current = nullptr;
    deleteLater();
    if (done) done(result);
}

void ExerciseEditorController::doCancel() {
    if (panel_) panel_->hide();
    auto done = std::move(completion_);
    if (g_current == this) g_current = nullptr;
    deleteLater();
    if (done) done(std::nullopt);
}
