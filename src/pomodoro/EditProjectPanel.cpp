#include "pomodoro/EditProjectPanel.h"

#include "platform/Dialogs.h"
#include "pomodoro/PhotoCache.h"
#include "pomodoro/PomBox.h"
#include "pomodoro/PomDialogRules.h"
#include "pomodoro/PomUi.h"
#include "pomodoro/ProjectStore.h"
#include "ui/TintButton.h"
#include "ui/AW.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QGuiApplication>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QScreen>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>
#include <cmath>

using namespace PomUi;

namespace {
constexpr double kDocW = 640;
constexpr double kBarH = 56;
constexpr double kCardH = 76;
constexpr double kCardPitch = 84;
const QColor kDialogColour = QColor::fromRgbF(0.5f, 0.78f, 1.0f);
const QColor kDeleteColour = QColor::fromRgbF(1.0f, 0.4f, 0.4f);

// A photo thumbnail with rounded corners; a click opens the file.
class Thumb : public QWidget {
public:
    Thumb(QString path, QWidget *parent) : QWidget(parent), path_(std::move(path)) {
        img_ = PhotoCache::shared().image(path_);
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        if (img_.isNull()) return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(rect()), 8, 8);
        p.setClipPath(clip);
        const QSizeF s = QSizeF(img_.size()).scaled(size(), Qt::KeepAspectRatio);
        p.drawImage(QRectF((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height()), img_);
    }
    void mouseReleaseEvent(QMouseEvent *e) override {
        // A click, like a button's: the left button released over the photo.
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) PhotoFiles::open(path_);
    }

private:
    QString path_;
    QImage img_;
};

QLineEdit *field(QWidget *parent, const QString &text, double size, QFont::Weight w = QFont::Normal) {
    auto *f = new QLineEdit(text, parent);
    f->setFont(Fonts::scaledFont(size, w));
    return f;
}

QLabel *caption(QWidget *parent, const QString &text, double size = 9) {
    return label(parent, text, size, QFont::DemiBold, VF::muted());
}
} // namespace

EditProjectPanel::EditProjectPanel(const Project &project, QWidget *parent)
    : QWidget(parent, Qt::Window), projectId_(project.id), photos_(project.imagePaths), steps_(project.checkpoints) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(L::t({.en = "Edit project", .es = "Editar proyecto", .de = "Projekt bearbeiten", .fr = "Modifier le projet",
                         .uk = "Редагувати проект", .pl = "Edytuj projekt"}));
    setMinimumSize(480, 560);
    resize(640, 920);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, VF::bg());
    setPalette(p);

    scroll_ = scrollArea(this, &doc_);
    buildDocument();
    emoji_->setText(project.emoji);
    name_->setText(project.name);
    desc_->setPlainText(project.description);
    updatePhotoButton();
    rebuildThumbs();
    rebuildSteps();

    bar_ = new PomBox(VF::sidebar(), 0, this);
    barLine_ = new PomBox(VF::border(), 0, bar_);
    saveBtn_ = new TintButton(QStringLiteral("💾  ") + L::t({.en = "Save changes", .es = "Guardar cambios", .de = "Änderungen speichern",
                                                            .fr = "Enregistrer les modifications", .uk = "Зберегти зміни",
                                                            .pl = "Zapisz zmiany"}),
                              VF::accent(), 0.15, 0.45, 8, bar_);
    saveBtn_->setObjectName(QStringLiteral("saveButton"));
    saveBtn_->setFont(Fonts::scaledFont(13, QFont::DemiBold));
    connect(saveBtn_, &QPushButton::clicked, AW::attach(saveBtn_, [this] { save(); }), &AW::run);
    layoutFrame();
}

void EditProjectPanel::buildDocument() {
    strip_ = new PomBox(kDialogColour, 0, doc_);
    strip_->setGeometry(0, 0, int(kDocW), 4);
    emoji_ = field(doc_, {}, 22);
    emoji_->setObjectName(QStringLiteral("emojiField"));
    emoji_->setAlignment(Qt::AlignCenter);
    emoji_->setGeometry(24, 20, 52, 36);
    name_ = field(doc_, {}, 16, QFont::DemiBold);
    name_->setObjectName(QStringLiteral("nameField"));
    name_->setPlaceholderText(L::t({.en = "Project name", .es = "Nombre del proyecto", .de = "Projektname", .fr = "Nom du projet",
                                    .uk = "Назва проекту", .pl = "Nazwa projektu"}));
    name_->setGeometry(84, 20, 532, 36);
    caption(doc_, QStringLiteral("DESCRIPTION · links https://… clickable"))->setGeometry(24, 70, 592, 12);
    desc_ = new QPlainTextEdit(doc_);
    desc_->setObjectName(QStringLiteral("descriptionField"));
    desc_->setFont(Fonts::scaledFont(14));
    QPalette dp = desc_->palette();
    dp.setColor(QPalette::Base, VF::theme() == AppTheme::dark ? QColor::fromRgbF(0.12f, 0.12f, 0.12f) : QColor(Qt::white));
    dp.setColor(QPalette::Text, VF::text());
    desc_->setPalette(dp);
    desc_->document()->setDocumentMargin(10);
    desc_->setGeometry(24, 86, 592, 380);
    caption(doc_, QStringLiteral("PROJECT PHOTOS"))->setGeometry(24, 478, 200, 12);
    photoBtn_ = new TintButton({}, VF::sub(), 0.12, 0.35, 8, doc_);
    photoBtn_->setObjectName(QStringLiteral("photoButton"));
    photoBtn_->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    photoBtn_->setGeometry(24, 494, 592, 28);
    connect(photoBtn_, &QPushButton::clicked, AW::attach(photoBtn_, [this] { addPhoto(); }), &AW::run);
    thumbs_ = new QScrollArea(doc_);
    thumbs_->setFrameShape(QFrame::NoFrame);
    thumbs_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    thumbs_->setWidgetResizable(false);
    thumbs_->viewport()->setAutoFillBackground(false);
    applyFadedScroller(thumbs_);
    thumbDoc_ = new FlippedView;
    thumbs_->setWidget(thumbDoc_);
    thumbs_->setGeometry(24, 530, 592, 90);
    auto *rule = new PomBox(VF::border(), 0, doc_);
    rule->setGeometry(24, 628, 592, 1);
    caption(doc_, QStringLiteral("STEPS / CHECKPOINTS  (Gantt chart built automatically)"))->setGeometry(24, 640, 592, 12);
    rows_ = new FlippedView(doc_);
    rows_->setGeometry(24, 660, 592, 40);
}

void EditProjectPanel::layoutFrame() {
    const int W = width(), H = height();
    bar_->setGeometry(yUp(H, 0, 0, W, kBarH));
    barLine_->setGeometry(yUp(kBarH, 0, 55, W, 1));
    saveBtn_->setGeometry(yUp(kBarH, 24, 11, W - 48, 34));
    scroll_->setGeometry(yUp(H, 0, kBarH, W, H - kBarH));
    strip_->setGeometry(0, 0, std::max(W, int(kDocW)), 4);
    doc_->resize(std::max(W, int(kDocW)), doc_->height());
    bar_->raise();
}

void EditProjectPanel::resizeEvent(QResizeEvent *e) {
    QWidget::resizeEvent(e);
    layoutFrame();
}

void EditProjectPanel::open() {
    if (QScreen *scr = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(scr->availableGeometry().center());
        move(r.topLeft());
    }
    show();
    raise();
    activateWindow();
    QTimer::singleShot(0, name_, [n = name_] { n->setFocus(); });
}

void EditProjectPanel::updatePhotoButton() {
    const bool any = !photos_.isEmpty();
    photoBtn_->setText(
        QStringLiteral("🖼  ") +
        (any ? QString::number(photos_.size()) + QLatin1Char(' ') +
                   L::t({.en = "photo(s)", .es = "foto(s)", .de = "Foto(s)", .fr = "photo(s)", .uk = "фото", .pl = "zdjęcie(-cia)"}) +
                   QStringLiteral("  ✓")
             : L::t({.en = "Add photo", .es = "Agregar foto", .de = "Foto hinzufügen", .fr = "Ajouter une photo", .uk = "Додати фото",
                     .pl = "Dodaj zdjęcie"})));
    const QColor tint = any ? VF::accent() : VF::sub();
    photoBtn_->setLook(tint, alpha(tint, 0.12), alpha(tint, 0.35));
}

void EditProjectPanel::addPhoto() {
    const QStringList paths = Dialogs::get().openPaths(
        this, QString(), {QStringLiteral("Images (*.png *.jpg *.jpeg *.gif *.bmp *.webp *.tif *.tiff *.heic)")});
    if (paths.isEmpty()) return;
    photos_ << paths;
    updatePhotoButton();
    rebuildThumbs();
}

void EditProjectPanel::rebuildThumbs() {
    clearChildren(thumbDoc_);
    const double sw = 592;
    if (photos_.isEmpty()) {
        label(thumbDoc_,
              L::t({.en = "No photos added", .es = "Sin fotos", .de = "Keine Fotos", .fr = "Aucune photo", .uk = "Фото не додано",
                    .pl = "Brak zdjęć"}),
              11, QFont::Normal, VF::muted(), Qt::AlignCenter)
            ->setGeometry(yUp(90, 0, 34, sw, 16));
        thumbDoc_->setGeometry(0, 0, int(sw), 90);
    } else {
        for (int i = 0; i < photos_.size(); ++i) {
            auto *t = new Thumb(photos_[i], thumbDoc_);
            t->setObjectName(QStringLiteral("thumb"));
            t->setGeometry(yUp(90, 82 * i, 8, 74, 74));
        }
        thumbDoc_->setGeometry(0, 0, int(std::max(82.0 * photos_.size() + 4, sw)), 90);
    }
    for (QWidget *w : thumbDoc_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) w->show();
}

void EditProjectPanel::flushCurrentFields() {
    for (std::size_t i = 0; i < rowFields_.size() && i < steps_.size(); ++i) {
        const StepFields &f = rowFields_[i];
        ProjectCheckpoint &s = steps_[i];
        if (f.title) s.title = f.title->text();
        if (f.notes) s.notes = f.notes->text();
        if (f.off) s.startOffset = PomDialogRules::stepStart(f.off->text(), s.startOffset);
        if (f.dur) s.durationDays = PomDialogRules::stepLength(f.dur->text());
    }
}

void EditProjectPanel::rebuildSteps(bool flushFirst) {
    if (flushFirst) flushCurrentFields();
    rowFields_.clear();
    // A delete or add button of the old rows may be the one being clicked: its target goes later.
    for (AW *aw : std::as_const(rowTargets_)) aw->deleteLater();
    rowTargets_.clear();
    clearChildren(rows_);

    const double rw = 592;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        const ProjectCheckpoint &s = steps_[i];
        auto *card = new PomBox(alpha(VF::card(), 0.6), 10, rows_);
        card->setBorder(VF::border(), 0.5);
        card->setGeometry(QRectF(0, kCardPitch * double(i), rw, kCardH).toRect());
        auto *badge = new PomBox(alpha(VF::accent(), 0.18), 11, card);
        badge->setGeometry(yUp(kCardH, 10, 27, 22, 22));
        QLabel *num = label(badge, QString::number(i + 1), 10, QFont::Bold, VF::accent(), Qt::AlignCenter);
        num->setFont(Fonts::monoDigits(10, QFont::Bold));
        num->setGeometry(yUp(22, 0, 4, 22, 14));
        QLineEdit *title = field(card, s.title, 12);
        title->setObjectName(QStringLiteral("stepTitle_%1").arg(i));
        title->setPlaceholderText(L::t({.en = "Step name", .es = "Nombre del paso", .de = "Schrittname", .fr = "Nom de l'étape",
                                        .uk = "Назва кроку", .pl = "Nazwa kroku"}));
        title->setGeometry(yUp(kCardH, 40, 38, 336, 24));
        QLineEdit *notes = field(card, s.notes, 10);
        notes->setObjectName(QStringLiteral("stepNotes_%1").arg(i));
        notes->setFrame(false);
        notes->setPlaceholderText(L::t({.en = "Description (optional)", .es = "Descripción (opcional)",
                                        .de = "Beschreibung (optional)", .fr = "Description (facultatif)",
                                        .uk = "Опис (необов'язково)", .pl = "Opis (opcjonalny)"}));
        QPalette np = notes->palette();
        np.setColor(QPalette::Base, Qt::transparent);
        np.setColor(QPalette::Text, VF::sub());
        notes->setPalette(np);
        notes->setGeometry(yUp(kCardH, 40, 9, 492, 18));
        QLineEdit *off = field(card, QString::number(s.startOffset), 11);
        off->setFont(Fonts::monoDigits(11));
        off->setObjectName(QStringLiteral("stepStart_%1").arg(i));
        off->setAlignment(Qt::AlignCenter);
        off->setGeometry(yUp(kCardH, 380, 38, 46, 24));
        // A caption longer than its field runs on to the left, where the row has room under the title.
        QLabel *fromCap =
            caption(card, L::t({.en = "From day", .es = "Desde el día", .de = "Ab Tag", .fr = "À partir du jour", .uk = "З дня", .pl = "Od dnia"}), 8);
        const double fromW = std::max(46.0, std::ceil(QFontMetricsF(fromCap->font()).horizontalAdvance(fromCap->text())) + 2);
        fromCap->setGeometry(yUp(kCardH, 426 - fromW, 24, fromW, 10));
        QLineEdit *dur = field(card, QString::number(std::max<qint64>(1, s.durationDays)), 11);
        dur->setFont(Fonts::monoDigits(11));
        dur->setObjectName(QStringLiteral("stepLength_%1").arg(i));
        dur->setAlignment(Qt::AlignCenter);
        dur->setGeometry(yUp(kCardH, 434, 38, 46, 24));
        caption(card, L::t({.en = "Days", .es = "Días", .de = "Tage", .fr = "Jours", .uk = "Дні", .pl = "Dni"}), 8)
            ->setGeometry(yUp(kCardH, 434, 24, 46, 10));
        for (QLabel *l : card->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly)) l->setAlignment(Qt::AlignCenter);
        if (fromW > 46) fromCap->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto *del = new TintButton(QStringLiteral("✕"), kDeleteColour, 0.12, 0.32, 7, card);
        del->setObjectName(QStringLiteral("deleteStep_%1").arg(i));
        del->setFont(Fonts::scaledFont(11, QFont::Medium));
        del->setGeometry(yUp(kCardH, 546, 25, 38, 26));
        auto *aw = new AW([this, i] { deleteStep(i); }, this);
        rowTargets_ << aw;
        connect(del, &QPushButton::clicked, aw, &AW::run);
        rowFields_.push_back({title, notes, off, dur});
    }
    const double count = double(steps_.size());
    auto *add = new TintButton(QStringLiteral("＋  ") + L::t({.en = "Add step", .es = "Agregar paso", .de = "Schritt hinzufügen",
                                                             .fr = "Ajouter une étape", .uk = "Додати крок", .pl = "Dodaj krok"}),
                               VF::accent(), 0.15, 0.45, 8, rows_);
    add->setObjectName(QStringLiteral("addStepButton"));
    add->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    add->setGeometry(QRectF(0, kCardPitch * count, rw, 30).toRect());
    auto *aw = new AW([this] { addStep(); }, this);
    rowTargets_ << aw;
    connect(add, &QPushButton::clicked, aw, &AW::run);

    rows_->setGeometry(rows_->x(), rows_->y(), int(rw), int(std::max(kCardPitch * count + 38, 38.0)));
    for (QWidget *w : rows_->findChildren<QWidget *>()) w->show();
    const int visibleH = scroll_->viewport()->height();
    doc_->setGeometry(0, 0, std::max(width(), int(kDocW)),
                      int(std::max(double(rows_->y() + rows_->height() + 20), double(visibleH))));
}

void EditProjectPanel::addStep() {
    // The new step follows the last step as it was last written back, not as typed since.
    ProjectCheckpoint s = PomDialogRules::newStepAfter(steps_);
    steps_.push_back(s);
    rebuildSteps();
    // The name is what the user types next: the new step's field takes it, scrolled into view.
    if (QLineEdit *title = rowFields_.empty() ? nullptr : rowFields_.back().title) {
        scroll_->ensureWidgetVisible(title, 0, 40);
        title->setFocus(Qt::OtherFocusReason);
    }
}

void EditProjectPanel::deleteStep(std::size_t index) {
    flushCurrentFields();
    if (index < steps_.size()) steps_.erase(steps_.begin() + std::ptrdiff_t(index));
    rebuildSteps(false);
}

bool EditProjectPanel::save() {
    flushCurrentFields();
    if (PomDialogRules::trimSpacesTabs(name_->text()).isEmpty()) {
        Dialogs::Alert a;
        a.title = L::t({.en = "Enter project name", .es = "Introduce un nombre", .de = "Projektname eingeben",
                        .fr = "Entrez un nom de projet", .uk = "Введіть назву проекту", .pl = "Wpisz nazwę projektu"});
        Dialogs::get().alert(this, a);
        return false;
    }
    const auto &ps = ProjectStore::shared().projects();
    const auto it = std::find_if(ps.begin(), ps.end(), [&](const Project &p) { return p.id == projectId_; });
    if (it == ps.end()) {
        // Saving would silently drop the edits; say so and keep them on screen.
        Dialogs::Alert a;
        a.title = L::t({.en = "Project not found", .es = "Proyecto no encontrado", .de = "Projekt nicht gefunden",
                        .fr = "Projet introuvable", .uk = "Проект не знайдено", .pl = "Nie znaleziono projektu"});
        a.text = L::t({.en = "This project was deleted while you were editing it. Your changes were not saved.",
                       .es = "Este proyecto se eliminó mientras lo editabas. Los cambios no se guardaron.",
                       .de = "Dieses Projekt wurde während der Bearbeitung gelöscht. Die Änderungen wurden nicht gespeichert.",
                       .fr = "Ce projet a été supprimé pendant sa modification. Les modifications n'ont pas été enregistrées.",
                       .uk = "Цей проект було видалено під час редагування. Зміни не збережено.",
                       .pl = "Ten projekt został usunięty podczas edycji. Zmiany nie zostały zapisane."});
        a.warning = true;
        Dialogs::get().alert(this, a);
        return false;
    }
    PomDialogRules::ProjectEdit edit{name_->text(), emoji_->text(), desc_->toPlainText(), photos_, steps_};
    const auto merged = PomDialogRules::mergeEdit(*it, edit);
    if (!merged) return false;
    ProjectStore::shared().update(*merged);
    if (onSaved) onSaved(projectId_);
    close();
    return true;
}
